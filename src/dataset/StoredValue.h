#pragma once
// Stored value form shared by the dataset, the ODBC fetch, the key indexes and the pivot
// grid: one flag byte (0 null, non-zero present) followed by the value bytes of the
// field's slot length. All integers little-endian.
//
// Text is UTF-8: a string field of Size n keeps n characters, so its slot holds the
// longest legal UTF-8 value, 4 * n bytes, and the terminating zero (CalcFieldLen 4n + 1);
// a text is cut to n characters, never inside a character. Wide strings stay UTF-16
// (2n + 2 bytes). Currency is a signed 64-bit count of ten-thousandths in every path.

#include <cstdint>
#include <string>
#include <vector>

#include "support/FieldTypes.h"
#include "support/Variant.h"

namespace kubrix {

class TField;

//! Types a dataset field may have: 1..21, 23..26, 29..32, 35.
bool IsSupportedType(TFieldType type);
//! Types kept in the record data area: 1..14, 23..26, 29, 32, 35.
bool IsStoredType(TFieldType type);
//! Types held as byte strings outside the data area: 15..21, 30, 31.
bool IsBlobType(TFieldType type);

//! Length of a value in the data area (without the flag byte); 65535 at most.
std::uint16_t CalcFieldLen(TFieldType type, int size);
//! The same without the 16-bit limit (to detect layouts that do not fit).
std::uint32_t CalcFieldLenWide(TFieldType type, int size);

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

// A Variant kept in a 16-byte slot at any alignment. The slot owns the value: it must be
// released (VariantSlotClear) before its bytes are dropped or overwritten.
//! A copy of the stored Variant.
Variant VariantSlotRead(const std::uint8_t* slot);
//! Releases the stored Variant and stores a copy of value.
void VariantSlotAssign(std::uint8_t* slot, const Variant& value);
//! Releases the stored Variant and zeroes the 16 bytes.
void VariantSlotClear(std::uint8_t* slot);
//! Makes the bytes at dst (a raw byte copy of another slot, not owning) an owned deep copy.
void VariantSlotDetach(std::uint8_t* dst);

}  // namespace kubrix
