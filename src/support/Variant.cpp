#include "support/Variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "support/DateTime.h"
#include "support/FormatSettings.h"
#include "support/Text.h"

namespace kubrix {

namespace {

bool IsIntegerCode(VarType t) {
    switch (t) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void CastError(VarType from, VarType to) {
    throw EVariantError("Could not convert variant of type (" + Variant::TypeName(from) +
                        ") into type (" + Variant::TypeName(to) + ")");
}

// Text that is no number (or no date): the message quotes the start of the text.
[[noreturn]] void TextError(const std::string& text, VarType from, VarType to) {
    std::string shown = text.substr(0, Utf8PrefixBytes(text, 40));
    if (shown.size() < text.size()) shown += "...";
    throw EVariantError("Could not convert variant of type (" + Variant::TypeName(from) + ") into type (" +
                        Variant::TypeName(to) + "): \"" + shown + "\" is not a valid " +
                        (to == VT_DATE ? "date" : "number"));
}

[[noreturn]] void OverflowError(VarType from, VarType to) {
    throw EVariantError("Overflow while converting variant of type (" + Variant::TypeName(from) +
                        ") into type (" + Variant::TypeName(to) + ")");
}

template <typename T>
T CheckedRange(double d, VarType from, VarType to) {
    if (std::isnan(d) || d < static_cast<double>(std::numeric_limits<T>::min()) - 0.5 ||
        d >= static_cast<double>(std::numeric_limits<T>::max()) + 0.5)
        OverflowError(from, to);
    // Automation conversions round half to even.
    return static_cast<T>(std::nearbyint(d));
}

// Integer text read exactly (a double would lose digits beyond 2^53); false when the text
// is not a plain integer, overflow raises.
bool TryParseInteger(const std::string& text, std::int64_t& out, VarType from, VarType to) {
    const std::string t = Trim(text);
    std::size_t start = 0;
    if (!t.empty() && t[0] == '+') start = 1;
    if (start == t.size()) return false;
    for (std::size_t k = start; k < t.size(); ++k)
        if (!(t[k] >= '0' && t[k] <= '9') && !(k == 0 && t[k] == '-')) return false;
    if (t == "-") return false;
    const auto r = std::from_chars(t.data() + start, t.data() + t.size(), out);
    if (r.ec == std::errc::result_out_of_range) OverflowError(from, to);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool IsArrayElementCode(VarType t) {
    return IsIntegerCode(t) || t == VT_I2 || t == VT_I4 || t == VT_R4 || t == VT_R8 || t == VT_CY ||
           t == VT_DATE || t == VT_BSTR || t == VT_STRING || t == VT_BOOL || t == VT_VARIANT;
}

std::int64_t IntegerOf(const Variant& v, VarType to);

template <typename T>
T CheckedInt(std::int64_t v, VarType from, VarType to) {
    if (v < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
        v > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
        OverflowError(from, to);
    return static_cast<T>(v);
}

}  // namespace

Variant::Variant(const Variant& other) { v_.i64 = 0; CopyFrom(other); }

Variant::Variant(Variant&& other) noexcept : vt_(other.vt_), v_(other.v_) {
    other.vt_ = VT_EMPTY;
    other.v_.i64 = 0;
}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        Clear();
        vt_ = other.vt_;
        v_ = other.v_;
        other.vt_ = VT_EMPTY;
        other.v_.i64 = 0;
    }
    return *this;
}

Variant::~Variant() { Clear(); }

void Variant::Clear() noexcept {
    if (vt_ == VT_STRING) delete v_.ansi;
    else if (vt_ == VT_BSTR) delete v_.wide;
    else if (vt_ & VT_ARRAY) delete v_.arr;
    vt_ = VT_EMPTY;
    v_.i64 = 0;
}

void Variant::CopyFrom(const Variant& other) {
    if (other.vt_ == VT_STRING) v_.ansi = new std::string(*other.v_.ansi);
    else if (other.vt_ == VT_BSTR) v_.wide = new std::u16string(*other.v_.wide);
    else if (other.vt_ & VT_ARRAY) v_.arr = new VariantArray(*other.v_.arr);
    else v_ = other.v_;
    vt_ = other.vt_;
}

Variant Variant::Null() { return FromCode(VT_NULL); }

Variant Variant::FromCode(VarType code) {
    Variant r;
    // A bare code never owns a payload; array, string and by-reference codes need one.
    if (code == VT_STRING || code == VT_BSTR || (code & (VT_ARRAY | VT_BYREF)) || code > VT_TYPEMASK)
        throw EVariantError("Invalid variant type");
    r.vt_ = code;
    return r;
}

#define KUBRIX_INT_FACTORY(Name, Type, Code) \
    Variant Variant::Name(Type v) { Variant r; r.vt_ = Code; r.v_.i64 = static_cast<std::int64_t>(v); return r; }
KUBRIX_INT_FACTORY(FromInt8, std::int8_t, VT_I1)
KUBRIX_INT_FACTORY(FromUInt8, std::uint8_t, VT_UI1)
KUBRIX_INT_FACTORY(FromInt16, std::int16_t, VT_I2)
KUBRIX_INT_FACTORY(FromUInt16, std::uint16_t, VT_UI2)
KUBRIX_INT_FACTORY(FromInt32, std::int32_t, VT_I4)
KUBRIX_INT_FACTORY(FromUInt32, std::uint32_t, VT_UI4)
KUBRIX_INT_FACTORY(FromInt64, std::int64_t, VT_I8)
#undef KUBRIX_INT_FACTORY

Variant Variant::FromUInt64(std::uint64_t v) { Variant r; r.vt_ = VT_UI8; r.v_.i64 = static_cast<std::int64_t>(v); return r; }
Variant Variant::FromSingle(float v) { Variant r; r.vt_ = VT_R4; r.v_.dbl = v; return r; }
Variant Variant::FromDouble(double v) { Variant r; r.vt_ = VT_R8; r.v_.dbl = v; return r; }
Variant Variant::FromCurrency(Currency v) { Variant r; r.vt_ = VT_CY; r.v_.i64 = v.Scaled; return r; }
Variant Variant::FromDate(double v) { Variant r; r.vt_ = VT_DATE; r.v_.dbl = v; return r; }
Variant Variant::FromBool(bool v) { Variant r; r.vt_ = VT_BOOL; r.v_.i64 = v ? -1 : 0; return r; }

Variant Variant::FromWide(std::u16string v) {
    Variant r;
    r.v_.wide = new std::u16string(std::move(v));
    r.vt_ = VT_BSTR;
    return r;
}

Variant Variant::FromAnsi(std::string v) {
    Variant r;
    r.v_.ansi = new std::string(std::move(v));
    r.vt_ = VT_STRING;
    return r;
}

void Variant::AssignAnsi(std::string_view text) {
    if (vt_ == VT_STRING) {
        v_.ansi->assign(text);
        return;
    }
    auto* fresh = new std::string(text);
    Clear();
    v_.ansi = fresh;
    vt_ = VT_STRING;
}

Variant Variant::MakeArray(VarType elemType, std::int32_t low, std::int32_t high) {
    if (!IsArrayElementCode(elemType)) throw EVariantError("Invalid variant array element type");
    if (static_cast<std::int64_t>(high) < static_cast<std::int64_t>(low) - 1)
        throw EVariantError("Invalid variant array bounds");
    auto* a = new VariantArray;
    a->ElementType = elemType;
    a->Low = low;
    a->High = high;
    const std::int64_t n = static_cast<std::int64_t>(high) - low + 1;
    try {
        if (elemType == VT_UI1) a->Bytes.assign(static_cast<std::size_t>(n), 0);
        else {
            // Typed elements start as zero (texts empty), variants as Empty.
            Variant zero;
            if (elemType == VT_STRING) zero = FromAnsi({});
            else if (elemType == VT_BSTR) zero = FromWide({});
            else if (elemType != VT_VARIANT) zero = FromInt32(0).ConvertTo(elemType);
            a->Items.assign(static_cast<std::size_t>(n), zero);
        }
    } catch (...) {
        delete a;
        throw;
    }
    Variant r;
    r.v_.arr = a;
    r.vt_ = static_cast<VarType>(VT_ARRAY | elemType);
    return r;
}

Variant Variant::FromBytes(const void* data, std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw EVariantError("Invalid variant array bounds");
    Variant r = MakeArray(VT_UI1, 0, static_cast<std::int32_t>(size) - 1);
    if (size) std::copy_n(static_cast<const std::uint8_t*>(data), size, r.v_.arr->Bytes.begin());
    return r;
}

bool Variant::IsNumeric() const noexcept {
    return IsIntegerCode(vt_) || vt_ == VT_R4 || vt_ == VT_R8 || vt_ == VT_CY || vt_ == VT_BOOL ||
           vt_ == VT_DATE;
}

const std::string& Variant::RawAnsi() const {
    if (vt_ != VT_STRING) CastError(vt_, VT_STRING);
    return *v_.ansi;
}

const std::u16string& Variant::RawWide() const {
    if (vt_ != VT_BSTR) CastError(vt_, VT_BSTR);
    return *v_.wide;
}

std::int32_t Variant::LowBound() const {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    return v_.arr->Low;
}

std::int32_t Variant::HighBound() const {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    return v_.arr->High;
}

std::int64_t Variant::ElementCount() const {
    return static_cast<std::int64_t>(HighBound()) - LowBound() + 1;
}

Variant Variant::GetElement(std::int32_t index) const {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    const VariantArray& a = *v_.arr;
    if (index < a.Low || index > a.High) throw EVariantError("Variant array index out of bounds");
    const auto i = static_cast<std::size_t>(static_cast<std::int64_t>(index) - a.Low);
    if (a.ElementType == VT_UI1) return FromUInt8(a.Bytes[i]);
    return a.Items[i];
}

void Variant::PutElement(std::int32_t index, const Variant& value) {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    VariantArray& a = *v_.arr;
    if (index < a.Low || index > a.High) throw EVariantError("Variant array index out of bounds");
    const auto i = static_cast<std::size_t>(static_cast<std::int64_t>(index) - a.Low);
    if (a.ElementType == VT_UI1) {
        a.Bytes[i] = CheckedInt<std::uint8_t>(IntegerOf(value, VT_UI1), value.Type(), VT_UI1);
    } else if (a.ElementType == VT_VARIANT || a.ElementType == value.Type()) {
        a.Items[i] = value;
    } else {
        a.Items[i] = value.ConvertTo(a.ElementType);
    }
}

const std::vector<std::uint8_t>& Variant::Bytes() const {
    if (!IsByteArray()) throw EVariantError("Variant is not a byte array");
    return v_.arr->Bytes;
}

std::vector<std::uint8_t>& Variant::MutableBytes() {
    if (!IsByteArray()) throw EVariantError("Variant is not a byte array");
    return v_.arr->Bytes;
}

// ---- conversions ----

double Variant::ToDouble() const {
    switch (vt_) {
    case VT_EMPTY: return 0;
    case VT_R4: case VT_R8: case VT_DATE: return v_.dbl;
    case VT_CY: return static_cast<double>(v_.i64) / 10000.0;
    case VT_BOOL: return v_.i64 ? -1.0 : 0.0;
    case VT_UI8: return static_cast<double>(static_cast<std::uint64_t>(v_.i64));
    case VT_STRING: case VT_BSTR: {
        const std::string text = ToAnsi();
        double d = 0;
        if (!TryParseNumber(text, d)) TextError(text, vt_, VT_R8);
        return d;
    }
    default:
        if (IsIntegerCode(vt_)) return static_cast<double>(v_.i64);
        CastError(vt_, VT_R8);
    }
}

namespace {

// The value as a 64-bit integer; errors name `to`, the type the caller asked for.
std::int64_t IntegerOf(const Variant& v, VarType to) {
    const VarType vt = v.Type();
    switch (vt) {
    case VT_EMPTY: return 0;
    case VT_BOOL: return v.RawInt() ? -1 : 0;
    case VT_R4: case VT_R8: case VT_DATE: return CheckedRange<std::int64_t>(v.RawDouble(), vt, to);
    case VT_CY: {
        // Round half to even on the 4 decimals.
        const std::int64_t q = v.RawInt() / 10000, r = v.RawInt() % 10000;
        if (r > 5000 || (r == 5000 && (q & 1))) return q + 1;
        if (r < -5000 || (r == -5000 && (q & 1))) return q - 1;
        return q;
    }
    case VT_UI8:
        if (v.RawInt() < 0) OverflowError(vt, to);
        return v.RawInt();
    case VT_STRING: case VT_BSTR: {
        const std::string text = v.ToAnsi();
        std::int64_t i = 0;
        if (TryParseInteger(text, i, vt, to)) return i;
        double d = 0;
        if (!TryParseNumber(text, d)) TextError(text, vt, to);
        return CheckedRange<std::int64_t>(d, vt, to);
    }
    default:
        if (IsIntegerCode(vt)) return v.RawInt();
        CastError(vt, to);
    }
}

}  // namespace

std::int64_t Variant::ToInt64() const { return IntegerOf(*this, VT_I8); }
std::int32_t Variant::ToInt32() const { return CheckedInt<std::int32_t>(IntegerOf(*this, VT_I4), vt_, VT_I4); }
std::int16_t Variant::ToInt16() const { return CheckedInt<std::int16_t>(IntegerOf(*this, VT_I2), vt_, VT_I2); }

Currency Variant::ToCurrency() const {
    switch (vt_) {
    case VT_CY: return Currency{v_.i64};
    case VT_EMPTY: return Currency{0};
    case VT_BOOL: return Currency{v_.i64 ? -10000 : 0};
    case VT_R4: case VT_R8: case VT_DATE:
        return Currency{CheckedRange<std::int64_t>(v_.dbl * 10000.0, vt_, VT_CY)};
    case VT_STRING: case VT_BSTR: {
        const std::string text = ToAnsi();
        std::int64_t s = 0;
        if (!TryParseCurrency(text, s)) {
            double d = 0;
            if (TryParseNumber(text, d)) OverflowError(vt_, VT_CY);
            TextError(text, vt_, VT_CY);
        }
        return Currency{s};
    }
    default: {
        if (vt_ == VT_UI8 && v_.i64 < 0) OverflowError(vt_, VT_CY);
        if (IsIntegerCode(vt_)) {
            if (v_.i64 > std::numeric_limits<std::int64_t>::max() / 10000 ||
                v_.i64 < std::numeric_limits<std::int64_t>::min() / 10000)
                OverflowError(vt_, VT_CY);
            return Currency{v_.i64 * 10000};
        }
        CastError(vt_, VT_CY);
    }
    }
}

bool Variant::ToBool() const {
    switch (vt_) {
    case VT_EMPTY: return false;
    case VT_R4: case VT_R8: case VT_DATE: return v_.dbl != 0;
    case VT_STRING: case VT_BSTR: {
        const std::string text = ToAnsi();
        const std::string s = Utf8Upper(Trim(text));
        if (s == "TRUE") return true;
        if (s == "FALSE") return false;
        double d = 0;
        if (!TryParseNumber(s, d)) TextError(text, vt_, VT_BOOL);
        return d != 0;
    }
    default:
        if (IsIntegerCode(vt_) || vt_ == VT_BOOL || vt_ == VT_CY) return v_.i64 != 0;
        CastError(vt_, VT_BOOL);
    }
}

double Variant::ToDate() const {
    switch (vt_) {
    case VT_DATE: return v_.dbl;
    case VT_STRING: case VT_BSTR: {
        // A date-time text, or a number of days.
        const std::string text = ToAnsi();
        double d = 0;
        if (TryParseDateTime(text, d) || TryParseNumber(text, d)) return d;
        TextError(text, vt_, VT_DATE);
    }
    default:
        if (!IsNumeric() && vt_ != VT_EMPTY) CastError(vt_, VT_DATE);
        return ToDouble();
    }
}

std::string Variant::ToAnsi() const {
    switch (vt_) {
    case VT_EMPTY: return {};
    case VT_NULL: CastError(vt_, VT_STRING);
    case VT_STRING: return *v_.ansi;
    case VT_BSTR: return Utf16ToUtf8(*v_.wide);
    case VT_BOOL: return v_.i64 ? "True" : "False";
    case VT_R4: return FormatFloatGeneral(v_.dbl, 7);
    case VT_R8: return FormatFloatGeneral(v_.dbl);
    case VT_CY: return CurrencyToText(v_.i64);
    case VT_DATE:
        try {
            return DateTimeToText(v_.dbl);
        } catch (const EDateTimeError&) {
            OverflowError(vt_, VT_STRING);
        }
    case VT_UI8: return std::to_string(static_cast<std::uint64_t>(v_.i64));
    default:
        if (IsIntegerCode(vt_)) return std::to_string(v_.i64);
        CastError(vt_, VT_STRING);
    }
}

std::u16string Variant::ToWide() const {
    if (vt_ == VT_BSTR) return *v_.wide;
    return Utf8ToUtf16(ToAnsi());
}

Variant Variant::ConvertTo(VarType code) const {
    if (code == vt_) return *this;
    switch (code) {
    case VT_EMPTY: return Variant();
    case VT_NULL: return Null();
    case VT_I1: return FromInt8(CheckedInt<std::int8_t>(IntegerOf(*this, code), vt_, code));
    case VT_UI1: return FromUInt8(CheckedInt<std::uint8_t>(IntegerOf(*this, code), vt_, code));
    case VT_I2: return FromInt16(ToInt16());
    case VT_UI2: return FromUInt16(CheckedInt<std::uint16_t>(IntegerOf(*this, code), vt_, code));
    case VT_I4: return FromInt32(ToInt32());
    case VT_UI4: return FromUInt32(CheckedInt<std::uint32_t>(IntegerOf(*this, code), vt_, code));
    case VT_I8: return FromInt64(ToInt64());
    case VT_UI8: {
        const std::int64_t v = IntegerOf(*this, code);
        if (v < 0) OverflowError(vt_, code);
        return FromUInt64(static_cast<std::uint64_t>(v));
    }
    case VT_R4: {
        const double d = ToDouble();
        if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()))
            OverflowError(vt_, code);
        return FromSingle(static_cast<float>(d));
    }
    case VT_R8: return FromDouble(ToDouble());
    case VT_CY: return FromCurrency(ToCurrency());
    case VT_DATE: return FromDate(ToDate());
    case VT_BOOL: return FromBool(ToBool());
    case VT_STRING: return FromAnsi(ToAnsi());
    case VT_BSTR: return FromWide(ToWide());
    case VT_VARIANT: return *this;
    default: CastError(vt_, code);
    }
}

bool operator==(const Variant& a, const Variant& b) {
    if (a.vt_ != b.vt_) return false;
    if (a.vt_ == VT_STRING) return *a.v_.ansi == *b.v_.ansi;
    if (a.vt_ == VT_BSTR) return *a.v_.wide == *b.v_.wide;
    if (a.vt_ & VT_ARRAY) {
        const VariantArray& x = *a.v_.arr;
        const VariantArray& y = *b.v_.arr;
        return x.Low == y.Low && x.High == y.High && x.Bytes == y.Bytes && x.Items == y.Items;
    }
    if (a.vt_ == VT_R4 || a.vt_ == VT_R8 || a.vt_ == VT_DATE) return a.v_.dbl == b.v_.dbl;
    return a.v_.i64 == b.v_.i64;
}

std::string Variant::TypeName(VarType code) {
    if (code & VT_ARRAY) return "Array of " + TypeName(static_cast<VarType>(code & ~VT_ARRAY));
    switch (code) {
    case VT_EMPTY: return "Empty";
    case VT_NULL: return "Null";
    case VT_I2: return "Smallint";
    case VT_I4: return "Integer";
    case VT_R4: return "Single";
    case VT_R8: return "Double";
    case VT_CY: return "Currency";
    case VT_DATE: return "Date";
    case VT_BSTR: return "OleStr";
    case VT_DISPATCH: return "Dispatch";
    case VT_ERROR: return "Error";
    case VT_BOOL: return "Boolean";
    case VT_VARIANT: return "Variant";
    case VT_UNKNOWN: return "Unknown";
    case VT_DECIMAL: return "Decimal";
    case VT_I1: return "ShortInt";
    case VT_UI1: return "Byte";
    case VT_UI2: return "Word";
    case VT_UI4: return "LongWord";
    case VT_I8: return "Int64";
    case VT_UI8: return "UInt64";
    case VT_STRING: return "String";
    default: return "Unknown type " + std::to_string(code);
    }
}

}  // namespace kubrix
