#pragma once
// Helpers of the dataset around the stored value form; the form itself (slot sizes,
// encode, decode, compare) is support/ValueCodec.h.

#include <cstdint>
#include <string>
#include <vector>

#include "support/FieldTypes.h"
#include "support/ValueCodec.h"
#include "support/Variant.h"

namespace kubrix {

class TField;

//! Compares count bytes: count/4 little-endian int32 words, then the rest as signed bytes.
//! 0 equal, 1 when a is smaller, 2 when a is greater.
int CompareMemBlocks(const void* a, const void* b, int count);

//! A search key in stored form, size bytes (callers pass CalcFieldLen + 1 of field),
//! filled by the Variant's own type. Raises Exception for kinds it does not handle.
std::vector<std::uint8_t> VariantToFieldData(const Variant& value, int size, const TField* field);
//! The same for a column given by its type, declared size (-1: unknown) and name.
std::vector<std::uint8_t> VariantToFieldData(const Variant& value, int size, TFieldType type, int fieldSize,
                                             const std::string& name);

//! defaultValue when value is Null (Unassigned is not Null), else value.
Variant isnull(const Variant& value, const Variant& defaultValue);
//! Shape of the array a Variant holds; Data points at the bytes of a byte array.
struct TVarArrayInfo {
    VarType ElementType = VT_EMPTY;
    std::int32_t LowBound = 0;
    std::int32_t HighBound = -1;
    const std::uint8_t* Data = nullptr;
};
//! The array a Variant holds; a Variant without an array raises EVariantError.
TVarArrayInfo GetVarArray(const Variant& value);

}  // namespace kubrix
