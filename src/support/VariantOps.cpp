#include "support/VariantOps.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace kubrix {

namespace {

enum class Cls { Empty, Whole, Money, Real, Date, Text, Bad };

Cls Classify(const Variant& v) {
    switch (v.Type()) {
    case VT_EMPTY: return Cls::Empty;
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_BOOL:
        return Cls::Whole;
    case VT_UI8: return v.RawInt() < 0 ? Cls::Real : Cls::Whole;
    case VT_CY: return Cls::Money;
    case VT_R4: case VT_R8: return Cls::Real;
    case VT_DATE: return Cls::Date;
    case VT_STRING: case VT_BSTR: return Cls::Text;
    default: return Cls::Bad;
    }
}

[[noreturn]] void InvalidOp() { throw EVariantError("Invalid variant operation"); }

std::int64_t WholeOf(const Variant& v) { return v.Type() == VT_BOOL ? (v.RawInt() ? -1 : 0) : v.RawInt(); }

// A number as the other side wants it: a date-time against a date, else a real.
double RealOf(const Variant& v, Cls other) {
    if (v.IsEmpty()) return 0;
    return other == Cls::Date ? v.ToDate() : v.ToDouble();
}

int Sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

template <class T>
int Sign(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// 8-bit text of a text value without copying when it is one already.
int CompareTexts(const Variant& a, const Variant& b) {
    const std::string sa = a.Type() == VT_STRING ? std::string() : a.ToAnsi();
    const std::string sb = b.Type() == VT_STRING ? std::string() : b.ToAnsi();
    const std::string& x = a.Type() == VT_STRING ? a.RawAnsi() : sa;
    const std::string& y = b.Type() == VT_STRING ? b.RawAnsi() : sb;
    const int c = x.compare(y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool TextEmpty(const Variant& v) { return v.Type() == VT_STRING ? v.RawAnsi().empty() : v.RawWide().empty(); }

void PutWhole(std::int64_t v, Variant& out) {
    if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
        out = Variant::FromInt32(static_cast<std::int32_t>(v));
    else
        out = Variant::FromInt64(v);
}

// The class arithmetic runs in: Text only for two texts (or a text and Empty).
Cls ArithClass(Cls a, Cls b) {
    if (a == Cls::Bad || b == Cls::Bad) InvalidOp();
    if (a == Cls::Date || b == Cls::Date) return Cls::Date;
    if (a == Cls::Real || b == Cls::Real) return Cls::Real;
    if ((a == Cls::Text || a == Cls::Empty) && (b == Cls::Text || b == Cls::Empty)) return Cls::Text;
    if (a == Cls::Text || b == Cls::Text) return Cls::Real;
    if (a == Cls::Money || b == Cls::Money) return Cls::Money;
    return Cls::Whole;
}

std::int64_t MoneyOf(const Variant& v) { return v.IsEmpty() ? 0 : v.ToCurrency().Scaled; }

void AddSub(const Variant& a, const Variant& b, Variant& out, bool subtract) {
    const Cls ca = Classify(a), cb = Classify(b);
    switch (ArithClass(ca, cb)) {
    case Cls::Text:
        if (subtract) {
            out = Variant::FromDouble(VarToReal(a) - VarToReal(b));
        } else {
            std::string s = a.IsEmpty() ? std::string() : a.ToAnsi();
            s += b.IsEmpty() ? std::string() : b.ToAnsi();
            out = Variant::FromAnsi(std::move(s));
        }
        return;
    case Cls::Whole: {
        std::int64_t r;
        const std::int64_t x = a.IsEmpty() ? 0 : WholeOf(a), y = b.IsEmpty() ? 0 : WholeOf(b);
        if (!(subtract ? __builtin_sub_overflow(x, y, &r) : __builtin_add_overflow(x, y, &r))) {
            PutWhole(r, out);
            return;
        }
        out = Variant::FromDouble(subtract ? static_cast<double>(x) - static_cast<double>(y)
                                           : static_cast<double>(x) + static_cast<double>(y));
        return;
    }
    case Cls::Money: {
        std::int64_t r;
        const std::int64_t x = MoneyOf(a), y = MoneyOf(b);
        if (!(subtract ? __builtin_sub_overflow(x, y, &r) : __builtin_add_overflow(x, y, &r))) {
            out = Variant::FromCurrency(Currency{r});
            return;
        }
        out = Variant::FromDouble((subtract ? static_cast<double>(x) - static_cast<double>(y)
                                            : static_cast<double>(x) + static_cast<double>(y)) / 10000.0);
        return;
    }
    case Cls::Date: {
        const double x = RealOf(a, Cls::Date), y = RealOf(b, Cls::Date);
        const bool bothDates = ca == Cls::Date && cb == Cls::Date;
        const double r = subtract ? x - y : x + y;
        out = subtract && bothDates ? Variant::FromDouble(r) : Variant::FromDate(r);
        return;
    }
    default:
        out = Variant::FromDouble(subtract ? VarToReal(a) - VarToReal(b) : VarToReal(a) + VarToReal(b));
    }
}

// Whether a value takes part in logic as a truth value rather than as bits.
bool IsLogical(const Variant& v) { return v.Type() == VT_BOOL || v.IsText(); }

std::int64_t BitsOf(const Variant& v) {
    if (v.IsEmpty()) return 0;
    return v.ToInt64();
}

}  // namespace

double VarToReal(const Variant& a) {
    if (a.IsEmpty()) return 0;
    if (Classify(a) == Cls::Bad) InvalidOp();
    return a.ToDouble();
}

int VarCompare(const Variant& a, const Variant& b) {
    const Cls ca = Classify(a), cb = Classify(b);
    if (ca == Cls::Bad || cb == Cls::Bad) InvalidOp();
    if (ca == Cls::Text && cb == Cls::Text) return CompareTexts(a, b);
    if (ca == Cls::Text && cb == Cls::Empty) return TextEmpty(a) ? 0 : 1;
    if (ca == Cls::Empty && cb == Cls::Text) return TextEmpty(b) ? 0 : -1;
    if (ca == Cls::Whole && cb == Cls::Whole) return Sign(WholeOf(a), WholeOf(b));
    if ((ca == Cls::Whole || ca == Cls::Money || ca == Cls::Empty) &&
        (cb == Cls::Whole || cb == Cls::Money || cb == Cls::Empty)) {
        // Exact: scaled amounts in 128 bits.
        auto scaled = [](const Variant& v, Cls c) -> __int128 {
            if (c == Cls::Empty) return 0;
            if (c == Cls::Money) return v.RawInt();
            return static_cast<__int128>(WholeOf(v)) * 10000;
        };
        return Sign(scaled(a, ca), scaled(b, cb));
    }
    if (ca == Cls::Empty && cb == Cls::Empty) return 0;
    return Sign(RealOf(a, cb), RealOf(b, ca));
}

void VarAdd(const Variant& a, const Variant& b, Variant& out) { AddSub(a, b, out, false); }

void VarSub(const Variant& a, const Variant& b, Variant& out) { AddSub(a, b, out, true); }

void VarMul(const Variant& a, const Variant& b, Variant& out) {
    const Cls ca = Classify(a), cb = Classify(b);
    if (ArithClass(ca, cb) == Cls::Whole) {
        std::int64_t r;
        const std::int64_t x = a.IsEmpty() ? 0 : WholeOf(a), y = b.IsEmpty() ? 0 : WholeOf(b);
        if (!__builtin_mul_overflow(x, y, &r)) {
            PutWhole(r, out);
            return;
        }
    }
    out = Variant::FromDouble(VarToReal(a) * VarToReal(b));
}

void VarNot(const Variant& a, Variant& out) {
    if (a.IsNull()) {
        out = Variant::Null();
        return;
    }
    if (Classify(a) == Cls::Bad) InvalidOp();
    if (IsLogical(a)) {
        out = Variant::FromBool(!a.ToBool());
        return;
    }
    PutWhole(~BitsOf(a), out);
}

void VarAnd(const Variant& a, const Variant& b, Variant& out) {
    if (a.IsNull() || b.IsNull()) {
        const Variant& other = a.IsNull() ? b : a;
        if (!other.IsNull() && IsLogical(other) && !other.ToBool()) out = Variant::FromBool(false);
        else out = Variant::Null();
        return;
    }
    if (Classify(a) == Cls::Bad || Classify(b) == Cls::Bad) InvalidOp();
    if (IsLogical(a) || IsLogical(b)) {
        const bool x = a.ToBool(), y = b.ToBool();
        out = Variant::FromBool(x && y);
        return;
    }
    PutWhole(BitsOf(a) & BitsOf(b), out);
}

void VarOr(const Variant& a, const Variant& b, Variant& out) {
    if (a.IsNull() || b.IsNull()) {
        const Variant& other = a.IsNull() ? b : a;
        if (!other.IsNull() && IsLogical(other) && other.ToBool()) out = Variant::FromBool(true);
        else out = Variant::Null();
        return;
    }
    if (Classify(a) == Cls::Bad || Classify(b) == Cls::Bad) InvalidOp();
    if (IsLogical(a) || IsLogical(b)) {
        const bool x = a.ToBool(), y = b.ToBool();
        out = Variant::FromBool(x || y);
        return;
    }
    PutWhole(BitsOf(a) | BitsOf(b), out);
}

}  // namespace kubrix
