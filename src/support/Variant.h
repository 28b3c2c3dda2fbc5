#pragma once
// A tagged value with the automation variant type codes: field values, pivot values,
// parameters and every persisted layout travel as Variant.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kubrix {

using VarType = std::uint16_t;

inline constexpr VarType VT_EMPTY = 0x0000;
inline constexpr VarType VT_NULL = 0x0001;
inline constexpr VarType VT_I2 = 0x0002;
inline constexpr VarType VT_I4 = 0x0003;
inline constexpr VarType VT_R4 = 0x0004;
inline constexpr VarType VT_R8 = 0x0005;
inline constexpr VarType VT_CY = 0x0006;
inline constexpr VarType VT_DATE = 0x0007;
inline constexpr VarType VT_BSTR = 0x0008;
inline constexpr VarType VT_DISPATCH = 0x0009;
inline constexpr VarType VT_ERROR = 0x000A;
inline constexpr VarType VT_BOOL = 0x000B;
inline constexpr VarType VT_VARIANT = 0x000C;
inline constexpr VarType VT_UNKNOWN = 0x000D;
inline constexpr VarType VT_DECIMAL = 0x000E;
inline constexpr VarType VT_I1 = 0x0010;
inline constexpr VarType VT_UI1 = 0x0011;
inline constexpr VarType VT_UI2 = 0x0012;
inline constexpr VarType VT_UI4 = 0x0013;
inline constexpr VarType VT_I8 = 0x0014;
inline constexpr VarType VT_UI8 = 0x0015;
//! 8-bit string; inside the process its bytes are UTF-8.
inline constexpr VarType VT_STRING = 0x0100;
inline constexpr VarType VT_ARRAY = 0x2000;
inline constexpr VarType VT_BYREF = 0x4000;
inline constexpr VarType VT_TYPEMASK = 0x0FFF;

//! Amount scaled by 10 000, held exactly.
struct Currency {
    std::int64_t Scaled = 0;
    friend bool operator==(Currency a, Currency b) { return a.Scaled == b.Scaled; }
};

//! Raised when a value does not convert to the requested kind, or an array is misused.
class EVariantError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct VariantArray;

//! 16 bytes: a 16-bit type code and an 8-byte payload; texts and arrays live on the heap,
//! owned by the value (copies are deep).
class Variant {
public:
    Variant() noexcept { v_.i64 = 0; }
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant();

    static Variant Null();
    static Variant FromInt8(std::int8_t v);
    static Variant FromUInt8(std::uint8_t v);
    static Variant FromInt16(std::int16_t v);
    static Variant FromUInt16(std::uint16_t v);
    static Variant FromInt32(std::int32_t v);
    static Variant FromUInt32(std::uint32_t v);
    static Variant FromInt64(std::int64_t v);
    static Variant FromUInt64(std::uint64_t v);
    static Variant FromSingle(float v);
    static Variant FromDouble(double v);
    static Variant FromCurrency(Currency v);
    //! Days since 1899-12-30, time of day as the fraction.
    static Variant FromDate(double v);
    static Variant FromBool(bool v);
    //! Wide (UTF-16) string.
    static Variant FromWide(std::u16string v);
    //! 8-bit string (UTF-8 bytes).
    static Variant FromAnsi(std::string v);
    //! Makes this value the 8-bit string text; a value that already holds an 8-bit string
    //! keeps its buffer, so repeated reads of one text field allocate nothing.
    void AssignAnsi(std::string_view text);
    //! A value of a kind that carries no payload here (Null, interface, dispatch, error, ...);
    //! text, array and by-reference codes raise EVariantError.
    static Variant FromCode(VarType code);
    //! A one-dimensional array with bounds low..high of elemType (VT_VARIANT for mixed, and
    //! for arrays nested in arrays). Variant elements start Empty, typed ones zero (texts
    //! empty). high < low - 1, or an element type that cannot be stored, raises EVariantError.
    //! The elements are allocated at once: callers reading bounds from untrusted bytes check
    //! them against the input first.
    static Variant MakeArray(VarType elemType, std::int32_t low, std::int32_t high);
    //! A byte array (VT_ARRAY | VT_UI1) with bounds 0..size-1.
    static Variant FromBytes(const void* data, std::size_t size);
    static Variant FromBytes(const std::vector<std::uint8_t>& bytes) { return FromBytes(bytes.data(), bytes.size()); }

    //! The full type code, flag bits included.
    VarType Type() const noexcept { return vt_; }
    bool IsEmpty() const noexcept { return vt_ == VT_EMPTY; }
    bool IsNull() const noexcept { return vt_ == VT_NULL; }
    bool IsEmptyOrNull() const noexcept { return vt_ == VT_EMPTY || vt_ == VT_NULL; }
    bool IsArray() const noexcept { return (vt_ & VT_ARRAY) != 0; }
    bool IsByteArray() const noexcept { return vt_ == (VT_ARRAY | VT_UI1); }
    bool IsText() const noexcept { return vt_ == VT_STRING || vt_ == VT_BSTR; }
    //! Integers, floats, currency, boolean and date-time.
    bool IsNumeric() const noexcept;

    // Payload as held, no conversion; the caller checks Type() first.
    std::int64_t RawInt() const noexcept { return v_.i64; }
    double RawDouble() const noexcept { return v_.dbl; }
    const std::string& RawAnsi() const;
    const std::u16string& RawWide() const;

    // Arrays (one dimension).
    VarType ElementType() const noexcept { return static_cast<VarType>(vt_ & ~VT_ARRAY); }
    std::int32_t LowBound() const;
    std::int32_t HighBound() const;
    //! Number of elements (high - low + 1).
    std::int64_t ElementCount() const;
    //! The element at index as a Variant; an index outside the bounds raises EVariantError.
    Variant GetElement(std::int32_t index) const;
    //! Stores a copy of value at index, converted to the element type (unchanged for
    //! VT_VARIANT arrays, so arrays nest); a value that does not convert raises EVariantError.
    void PutElement(std::int32_t index, const Variant& value);
    //! The bytes of a byte array (low bound first).
    const std::vector<std::uint8_t>& Bytes() const;
    std::vector<std::uint8_t>& MutableBytes();

    // Conversions. Empty reads as 0, "" or false; Null, arrays and payload-less kinds do not
    // convert. Text is read with the current format settings (the settings' decimal separator
    // or "."). Floats round to integers half to even. A value that does not convert (text that
    // is no number) or does not fit raises EVariantError.
    std::int16_t ToInt16() const;
    std::int32_t ToInt32() const;
    std::int64_t ToInt64() const;
    double ToDouble() const;
    Currency ToCurrency() const;
    bool ToBool() const;
    //! Days since 1899-12-30; text may be a date-time ("dd.mm.yyyy hh:nn:ss", "yyyy-mm-dd ...")
    //! or a number of days.
    double ToDate() const;
    //! 8-bit (UTF-8) text; numbers use the current format settings: doubles with 15 and singles
    //! with 7 significant digits, currency exactly, date-time as "dd.mm.yyyy hh:nn:ss",
    //! booleans as "True" / "False".
    std::string ToAnsi() const;
    std::u16string ToWide() const;
    //! This value converted to the given scalar type code (VT_NULL and VT_EMPTY from anything).
    Variant ConvertTo(VarType code) const;

    //! Same type code and same payload (arrays element by element).
    friend bool operator==(const Variant& a, const Variant& b);
    friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

    //! Name of a type code for messages, e.g. "Integer", "String", "Array of Variant".
    static std::string TypeName(VarType code);

private:
    void Clear() noexcept;
    void CopyFrom(const Variant& other);

    VarType vt_ = VT_EMPTY;
    union {
        std::int64_t i64;
        double dbl;
        std::string* ansi;
        std::u16string* wide;
        VariantArray* arr;
    } v_;
};

static_assert(sizeof(Variant) == 16, "Variant must fit a 16-byte stored slot");

//! Storage of a one-dimensional array. Byte arrays keep their elements in Bytes,
//! all others in Items.
struct VariantArray {
    VarType ElementType = VT_VARIANT;
    std::int32_t Low = 0;
    std::int32_t High = -1;
    std::vector<std::uint8_t> Bytes;
    std::vector<Variant> Items;
};

}  // namespace kubrix
