#pragma once
// Comparison, arithmetic and logic of Variants, as the filter language uses them.
//
// Kinds: Empty reads as 0 (or "" against a text); integers and booleans (-1 / 0) are whole
// numbers; currency is exact; singles, doubles and dates are reals. Two texts compare byte by
// byte (so case-sensitively, in code point order); a text against a number is read as a
// number (as a date-time when the other side is a date). Null is the caller's business: these
// functions raise for it, as for arrays and the kinds that carry no value.

#include "support/Variant.h"

namespace kubrix {

//! -1, 0 or 1 by the order of a and b.
int VarCompare(const Variant& a, const Variant& b);
//! a + b: two texts are concatenated; whole numbers stay whole (wider, or real on overflow),
//! currency stays exact, a date plus a number is a date.
void VarAdd(const Variant& a, const Variant& b, Variant& out);
//! a - b: a date minus a number is a date, a date minus a date a real number of days.
void VarSub(const Variant& a, const Variant& b, Variant& out);
//! a * b: whole numbers stay whole (real on overflow), anything else is real.
void VarMul(const Variant& a, const Variant& b, Variant& out);
//! a as a real number (texts parsed, Empty 0); raises for what does not convert.
double VarToReal(const Variant& a);
//! Logical not of a boolean or a text ("True"/"False"/number), bitwise not of a number;
//! Null stays Null.
void VarNot(const Variant& a, Variant& out);
//! And / or: logical when either side is a boolean or a text, bitwise for two numbers.
//! Null is unknown: false and Null is false, true or Null is true, otherwise Null.
void VarAnd(const Variant& a, const Variant& b, Variant& out);
void VarOr(const Variant& a, const Variant& b, Variant& out);

}  // namespace kubrix
