#pragma once
// The stored form of one value in a record slot, for every field type: one flag byte
// (0 null, non-zero present) followed by the value bytes of the slot's length. All
// integers little-endian. This is the only place that knows how a type sits in a slot;
// the fetch, the record store, the field classes and the pivot ask a TValueCodec.
//
// Text is UTF-8 and zero-terminated inside its slot. A string field of Size n gets a slot
// that holds any legal value (4 n bytes and the zero), or, where nothing will be written,
// one as wide as the longest value loaded; a loaded value longer than the slot is kept whole
// by widening it, so a text slot may be longer or shorter than its Size asks for.
// Wide strings stay UTF-16 (2 n + 2 bytes). Currency is a signed 64-bit count of
// ten-thousandths in every path.

#include <cstdint>
#include <string>
#include <string_view>

#include "support/FieldTypes.h"
#include "support/Variant.h"

namespace kubrix {

//! Types a dataset field may have: 1..21, 23..26, 29..32, 35.
bool IsSupportedType(TFieldType type);
//! Types kept in the record data area: 1..14, 23..26, 29, 32, 35.
bool IsStoredType(TFieldType type);
//! Integer, floating, currency and decimal types: shown aligned right, totalled by grids.
bool IsNumericType(TFieldType type);
//! Types held as byte strings outside the data area: 15..21, 30, 31.
bool IsBlobType(TFieldType type);

//! Length of a value in the data area (without the flag byte); 65535 at most.
std::uint16_t CalcFieldLen(TFieldType type, int size);
//! The same without the 16-bit limit (to detect layouts that do not fit).
std::uint32_t CalcFieldLenWide(TFieldType type, int size);

//! C types a value is fetched as from a driver (the ODBC SQL_C_* codes).
enum TFetchType : std::int16_t {
    fcNone = 0,
    fcChar = 1,
    fcLong = 4,
    fcShort = 5,
    fcDouble = 8,
    fcDate = 9,
    fcTime = 10,
    fcTimeStamp = 11,
    fcTypeDate = 91,
    fcTypeTime = 92,
    fcTypeTimeStamp = 93,
    fcBinary = -2,
    fcBit = -7,
    fcWChar = -8,
    fcSBigInt = -25,
};

//! Layouts of the fetched date and time values (those of the driver interface).
struct TFetchedDate {
    std::int16_t Year;
    std::uint16_t Month, Day;
};
struct TFetchedTime {
    std::uint16_t Hour, Minute, Second;
};
struct TFetchedTimeStamp {
    std::int16_t Year;
    std::uint16_t Month, Day, Hour, Minute, Second;
    std::uint32_t Fraction;  // nanoseconds
};

//! What storing a fetched value came to.
enum class TStoreResult {
    Stored,      //!< the slot holds the value
    TooLong,     //!< text or bytes longer than the slot: nothing written, see NeededLength
    OutOfRange,  //!< a number the type cannot hold
    BadDate,     //!< a date or time that is no calendar point
    BadDecimal,  //!< decimal text that is no amount of the type
    Unhandled,   //!< the type keeps no value of that C type
};

//! The codec of one slot: a field type, its declared Size and the slot's value length.
class TValueCodec {
public:
    TValueCodec() = default;
    //! Length defaults to CalcFieldLen(type, size).
    TValueCodec(TFieldType type, int size);
    TValueCodec(TFieldType type, int size, std::uint32_t length);

    TFieldType Type() const { return type_; }
    //! Declared size (characters of text, bytes of binary, decimals of BCD).
    int Size() const { return size_; }
    //! Value bytes of the slot (the flag byte not counted).
    std::uint32_t Length() const { return length_; }
    //! Text and byte slots can be widened to keep a longer value whole.
    bool Widens() const;
    //! Slot length a value of n bytes (text without its zero) needs.
    std::uint32_t NeededLength(std::size_t n) const;

    //! The C type a value of this field is fetched as.
    TFetchType FetchType() const;
    //! Buffer bytes a fetch of C type ctype needs for one value (text: the slot's room).
    std::int64_t FetchLength(TFetchType ctype) const;

    //! Decode gives the type's Variant (false: a type the record store does not decode).
    bool Decodes() const;
    //! Encode stores a Variant of the type (false: a type it does not encode).
    bool Encodes() const;
    //! Whether Encode keeps value as a field of the declared Size keeps it: false only for
    //! text whose first Size characters need more bytes than a slot narrowed below the
    //! declared width holds.
    bool KeepsWhole(const Variant& value) const;

    // ---- reading
    static bool IsNull(const std::uint8_t* slot) { return slot == nullptr || slot[0] == 0; }
    //! The value as a Variant; Null when the flag is 0. Raises for a type kept elsewhere.
    Variant Decode(const std::uint8_t* slot) const;
    //! Text of a text slot (never read past the slot); empty for null.
    std::string_view Text(const std::uint8_t* slot) const;
    //! Bytes of a binary slot (fixed: Size bytes, variable: its count, within the slot).
    std::string_view Bytes(const std::uint8_t* slot) const;
    //! UTF-16 text of a wide slot, up to its zero, within the slot.
    std::u16string WideText(const std::uint8_t* slot) const;
    //! A number read straight from the slot: 0 for null and for types that are no number.
    double AsDouble(const std::uint8_t* slot) const;
    //! Integers and booleans exactly; others truncated from AsDouble.
    std::int64_t AsInt64(const std::uint8_t* slot) const;
    //! Types whose AsDouble equals the Variant's conversion (integers and floats).
    bool ReadsAsNumber() const;
    //! Copies the value bytes in the form the field classes exchange: at most n bytes.
    //! false (nothing copied) for null.
    bool ReadNative(const std::uint8_t* slot, void* out, std::size_t n) const;

    //! Raw order of two slots: null first; numbers, dates and currency by value; text and
    //! bytes bytewise; -1, 0 or 1.
    int Compare(const std::uint8_t* a, const std::uint8_t* b) const;
    //! Whether two slots hold the same stored value (flag and value bytes).
    bool Equal(const std::uint8_t* a, const std::uint8_t* b) const { return Compare(a, b) == 0; }

    // ---- writing (never past the slot)
    //! Null: flag 0, value bytes zeroed (a Variant slot releases its value).
    void SetNull(std::uint8_t* slot) const;
    //! Stores the Variant converted to the type; text is cut to Size characters, never inside
    //! one. A value that does not convert raises and leaves the slot as it was.
    void Encode(std::uint8_t* slot, const Variant& value) const;
    //! Stores native bytes in the form ReadNative gives (nullptr: null).
    void WriteNative(std::uint8_t* slot, const void* native, std::size_t n) const;
    //! Stores text whole; TooLong when it does not fit (the slot is left as it was).
    TStoreResult SetText(std::uint8_t* slot, std::string_view text) const;
    //! Stores bytes whole (binary types); TooLong when they do not fit.
    TStoreResult SetBytes(std::uint8_t* slot, std::string_view bytes) const;
    //! Stores an integer in an integer, float or boolean slot; OutOfRange when it does not fit.
    TStoreResult SetInt64(std::uint8_t* slot, std::int64_t value) const;
    TStoreResult SetDouble(std::uint8_t* slot, double value) const;
    //! Stores a date-time (days since 1899-12-30) in a date, time or date-time slot.
    TStoreResult SetDateTime(std::uint8_t* slot, double value) const;
    //! Stores an amount in a currency or BCD slot.
    TStoreResult SetCurrency(std::uint8_t* slot, Currency value) const;
    //! Stores a value fetched as C type ctype: data holds length bytes (text: without a zero).
    TStoreResult StoreFetched(std::uint8_t* slot, TFetchType ctype, const void* data, std::size_t length) const;

    // ---- the order the dataset sorts records by, on value bytes (no flag byte)
    //! Numbers by value (a NaN double gives -1 on either side, or, with totalOrder, equals
    //! NaN and sorts before every number), packed decimals by value at any precision,
    //! booleans false before true, fixed bytes over Size bytes and variable bytes over Size
    //! bytes from the count on, unsigned. Text compares bytewise here (callers collate it);
    //! Variants and types without an order give 0. -1, 0 or 1.
    int CompareValues(const std::uint8_t* x, const std::uint8_t* y, bool totalOrder) const;
    //! The comparison CompareValues makes, chosen once for the type: for sorting loops.
    using TValueOrder = int (*)(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec& codec);
    TValueOrder OrderFunction(bool totalOrder) const;
    //! Text of a text value, up to its zero, within the slot's length.
    std::string_view TextValue(const std::uint8_t* x) const;
    //! UTF-16 text of a wide value, up to its zero, within the slot's length.
    std::u16string WideTextValue(const std::uint8_t* x) const;

private:
    TFieldType type_ = ftUnknown;
    int size_ = 0;
    std::uint32_t length_ = 0;
};

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
