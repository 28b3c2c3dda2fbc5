#include "support/ValueCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "support/Bcd.h"
#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"
#include "support/Text.h"

namespace kubrix {

bool IsSupportedType(TFieldType t) {
    return (t >= 1 && t <= 21) || (t >= 23 && t <= 26) || (t >= 29 && t <= 32) || t == 35;
}

bool IsStoredType(TFieldType t) {
    return (t >= 1 && t <= 14) || (t >= 23 && t <= 26) || t == 29 || t == 32 || t == 35;
}

bool IsNumericType(TFieldType t) {
    switch (t) {
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftBCD: case ftAutoInc:
    case ftLargeint: case ftFMTBcd:
        return true;
    default:
        return false;
    }
}
bool IsBlobType(TFieldType t) { return (t >= 15 && t <= 21) || t == 30 || t == 31; }

std::uint32_t CalcFieldLenWide(TFieldType type, int size) {
    const std::uint32_t n = size > 0 ? static_cast<std::uint32_t>(std::min(size, 0x3FFFFFFF)) : 0;
    switch (type) {
    case ftString:
    case ftFixedChar: return 4 * n + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDataSet: return 4;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
    case ftLargeint: return 8;
    case ftBCD: return 34;
    case ftDate:
    case ftTime:
    case ftVariant: return 16;
    case ftBytes: return n;
    case ftVarBytes: return n + 2;
    case ftWideString: return 2 * n + 2;
    case ftGuid: return 39;
    case ftADT: return 0;
    default: return IsBlobType(type) ? 4 : 0;
    }
}

std::uint16_t CalcFieldLen(TFieldType type, int size) {
    std::uint32_t len = CalcFieldLenWide(type, size);
    return static_cast<std::uint16_t>(len > 0xFFFF ? 0xFFFF : len);
}

namespace {

template <class T>
T Load(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
int Sign3(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareBytes(std::string_view a, std::string_view b) {
    const int r = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (r != 0) return r < 0 ? -1 : 1;
    return Sign3(a.size(), b.size());
}

bool IsText(TFieldType t) { return t == ftString || t == ftFixedChar || t == ftGuid; }

// Decimal text from a driver is always written with "." whatever the process settings say.
const FormatSettings& DotSettings() {
    static const FormatSettings fs = [] {
        FormatSettings s;
        s.DecimalSeparator = '.';
        s.ThousandSeparator.clear();
        return s;
    }();
    return fs;
}

[[noreturn]] void Overflow(const Variant& value, const char* target) {
    throw EVariantError("Overflow while converting variant of type (" + Variant::TypeName(value.Type()) +
                        ") into type (" + target + ")");
}

std::vector<std::uint8_t> ArrayBytes(const Variant& value) {
    if (value.IsByteArray()) return value.Bytes();
    if (!value.IsArray()) throw EVariantError("Invalid argument");
    std::vector<std::uint8_t> out;
    for (std::int32_t i = value.LowBound(); i <= value.HighBound(); ++i) {
        std::int32_t b = value.GetElement(i).ToInt32();
        if (b < 0 || b > 255) Overflow(value, "Byte");
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

struct alignas(Variant) RawVariant {
    unsigned char bytes[sizeof(Variant)];
    Variant* get() { return std::launder(reinterpret_cast<Variant*>(bytes)); }
};

}  // namespace

// ---------------------------------------------------------------- TValueCodec

TValueCodec::TValueCodec(TFieldType type, int size) : TValueCodec(type, size, CalcFieldLen(type, size)) {}

TValueCodec::TValueCodec(TFieldType type, int size, std::uint32_t length) : type_(type), size_(size), length_(length) {}

bool TValueCodec::Widens() const {
    return type_ == ftString || type_ == ftFixedChar || type_ == ftVarBytes || type_ == ftWideString;
}

std::uint32_t TValueCodec::NeededLength(std::size_t n) const {
    const std::size_t cap = 0xFFFFFFFFu - 2;
    n = std::min(n, cap);
    switch (type_) {
    case ftString:
    case ftFixedChar:
    case ftGuid: return static_cast<std::uint32_t>(n + 1);
    case ftVarBytes: return static_cast<std::uint32_t>(n + 2);
    case ftWideString: return static_cast<std::uint32_t>((n & ~std::size_t{1}) + 2);
    default: return length_;
    }
}

bool TValueCodec::Decodes() const {
    switch (type_) {
    case ftString:
    case ftGuid:
    case ftSmallint:
    case ftInteger:
    case ftAutoInc:
    case ftWord:
    case ftBoolean:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDateTime:
    case ftBytes:
    case ftVarBytes:
    case ftWideString:
    case ftVariant: return true;
    default: return false;
    }
}

bool TValueCodec::Encodes() const { return Decodes(); }

bool TValueCodec::KeepsWhole(const Variant& value) const {
    // Only a narrowed slot can be too short: one of the declared width holds Size characters
    // (and a width capped at the 16-bit limit cuts as it always did).
    if (type_ != ftString || value.IsEmptyOrNull() || length_ >= CalcFieldLen(type_, size_)) return true;
    const std::string text = value.ToAnsi();
    return Utf8PrefixBytes(text, static_cast<std::size_t>(std::max(size_, 0))) + 1 <= length_;
}

TFetchType TValueCodec::FetchType() const {
    switch (type_) {
    case ftString:
    case ftFixedChar:
    case ftGuid:
    case ftBCD:
    case ftCurrency:
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: return fcChar;
    case ftSmallint:
    case ftWord: return fcShort;
    case ftInteger:
    case ftAutoInc:
    case ftBoolean: return fcLong;
    case ftLargeint: return fcSBigInt;
    case ftFloat: return fcDouble;
    case ftDateTime: return fcTimeStamp;
    case ftDate: return fcDate;
    case ftTime: return fcTime;
    case ftWideString: return fcWChar;
    default: return IsBlobType(type_) || type_ == ftBytes || type_ == ftVarBytes ? fcBinary : fcNone;
    }
}

std::int64_t TValueCodec::FetchLength(TFetchType ctype) const {
    switch (ctype) {
    case fcChar:
        if (type_ == ftBCD || type_ == ftCurrency) return 100;
        // A slot laid out narrower than its declared width still reads a declared-width value
        // in one call; the slot widens to keep it.
        if (type_ == ftString) return std::max<std::int64_t>(length_, CalcFieldLen(type_, size_));
        return static_cast<std::int64_t>(length_);
    case fcWChar: return static_cast<std::int64_t>(length_);
    case fcBinary:
        if (type_ == ftVarBytes) return length_ >= 2 ? static_cast<std::int64_t>(length_) - 2 : 0;
        return static_cast<std::int64_t>(length_);
    case fcShort: return 2;
    case fcLong: return 4;
    case fcSBigInt:
    case fcDouble: return 8;
    case fcBit: return 1;
    case fcTime:
    case fcTypeTime: return sizeof(TFetchedTime);
    case fcDate:
    case fcTypeDate:
    case fcTimeStamp:
    case fcTypeTimeStamp: return sizeof(TFetchedTimeStamp);
    default: return 0;
    }
}

std::string_view TValueCodec::Text(const std::uint8_t* slot) const {
    if (IsNull(slot) || length_ == 0) return {};
    const char* p = reinterpret_cast<const char*>(slot + 1);
    const void* zero = std::memchr(p, 0, length_);
    return std::string_view(p, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : length_);
}

std::string_view TValueCodec::Bytes(const std::uint8_t* slot) const {
    if (IsNull(slot)) return {};
    const char* p = reinterpret_cast<const char*>(slot + 1);
    if (type_ == ftVarBytes) {
        if (length_ < 2) return {};
        std::size_t n = Load<std::uint16_t>(slot + 1);
        n = std::min<std::size_t>(n, length_ - 2);
        return std::string_view(p + 2, n);
    }
    return std::string_view(p, std::min<std::size_t>(length_, size_ > 0 ? static_cast<std::size_t>(size_) : 0));
}

std::u16string TValueCodec::WideText(const std::uint8_t* slot) const {
    std::u16string w;
    if (IsNull(slot)) return w;
    const std::uint8_t* v = slot + 1;
    for (std::uint32_t i = 0; i + 1 < length_; i += 2) {
        auto c = static_cast<char16_t>(v[i] | (v[i + 1] << 8));
        if (c == 0) break;
        w.push_back(c);
    }
    return w;
}

Variant TValueCodec::Decode(const std::uint8_t* slot) const {
    if (IsNull(slot)) return Variant::Null();
    const std::uint8_t* v = slot + 1;
    switch (type_) {
    case ftString:
    case ftGuid: return Variant::FromAnsi(std::string(Text(slot)));
    case ftSmallint: return Variant::FromInt16(Load<std::int16_t>(v));
    case ftInteger:
    case ftAutoInc: return Variant::FromInt32(Load<std::int32_t>(v));
    case ftWord: return Variant::FromUInt16(Load<std::uint16_t>(v));
    case ftBoolean: return Variant::FromBool(Load<std::uint16_t>(v) != 0);
    case ftFloat: return Variant::FromDouble(Load<double>(v));
    case ftCurrency: return Variant::FromCurrency(Currency{Load<std::int64_t>(v)});
    case ftBCD: {
        TBcd bcd;
        std::memcpy(bcd.data(), v, bcd.size());
        return Variant::FromCurrency(BcdToCurrency(bcd));
    }
    case ftDateTime: return Variant::FromDate(NativeToDateTime(ftDateTime, v));
    case ftBytes: return Variant::FromBytes(v, static_cast<std::size_t>(std::max(size_, 0)));
    case ftVarBytes: {
        std::string_view b = Bytes(slot);
        return Variant::FromBytes(b.data(), b.size());
    }
    case ftWideString: return Variant::FromWide(WideText(slot));
    case ftVariant: return VariantSlotRead(v);
    default: throw Exception("Необрабатываемый тип поля.");
    }
}

bool TValueCodec::ReadsAsNumber() const {
    return type_ == ftSmallint || type_ == ftInteger || type_ == ftAutoInc || type_ == ftFloat;
}

double TValueCodec::AsDouble(const std::uint8_t* slot) const {
    if (IsNull(slot)) return 0.0;
    const std::uint8_t* v = slot + 1;
    switch (type_) {
    case ftSmallint: return Load<std::int16_t>(v);
    case ftInteger:
    case ftAutoInc: return Load<std::int32_t>(v);
    case ftWord: return Load<std::uint16_t>(v);
    case ftLargeint: return static_cast<double>(Load<std::int64_t>(v));
    case ftBoolean: return Load<std::uint16_t>(v) != 0 ? -1.0 : 0.0;
    case ftFloat: return Load<double>(v);
    case ftCurrency: return static_cast<double>(Load<std::int64_t>(v)) / 10000.0;
    case ftBCD: {
        Currency c;
        return TryBcdToCurrency(v, c) ? static_cast<double>(c.Scaled) / 10000.0 : 0.0;
    }
    case ftDateTime:
    case ftDate:
    case ftTime: return NativeToDateTime(type_, v);
    default: return 0.0;
    }
}

std::int64_t TValueCodec::AsInt64(const std::uint8_t* slot) const {
    if (IsNull(slot)) return 0;
    const std::uint8_t* v = slot + 1;
    switch (type_) {
    case ftSmallint: return Load<std::int16_t>(v);
    case ftInteger:
    case ftAutoInc: return Load<std::int32_t>(v);
    case ftWord: return Load<std::uint16_t>(v);
    case ftLargeint: return Load<std::int64_t>(v);
    case ftBoolean: return Load<std::uint16_t>(v) != 0 ? -1 : 0;
    default: {
        const double d = AsDouble(slot);
        if (!(d >= -9.2e18 && d <= 9.2e18)) return 0;
        return static_cast<std::int64_t>(d);
    }
    }
}

bool TValueCodec::ReadNative(const std::uint8_t* slot, void* out, std::size_t n) const {
    if (IsNull(slot)) return false;
    if (IsText(type_) && (length_ == 0 || slot[1] == 0)) return false;
    if (type_ == ftWideString && (length_ < 2 || (slot[1] == 0 && slot[2] == 0))) return false;
    if (!out) return true;
    switch (type_) {
    case ftVariant: *static_cast<Variant*>(out) = VariantSlotRead(slot + 1); break;
    case ftWideString: *static_cast<std::u16string*>(out) = WideText(slot); break;
    default: std::memcpy(out, slot + 1, n > 0 ? std::min<std::size_t>(length_, n) : length_);
    }
    return true;
}

int TValueCodec::Compare(const std::uint8_t* a, const std::uint8_t* b) const {
    const bool na = IsNull(a), nb = IsNull(b);
    if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
    const std::uint8_t* x = a + 1;
    const std::uint8_t* y = b + 1;
    switch (type_) {
    case ftString:
    case ftFixedChar:
    case ftGuid: return CompareBytes(Text(a), Text(b));
    case ftBytes:
    case ftVarBytes: return CompareBytes(Bytes(a), Bytes(b));
    case ftWideString: {
        const std::u16string s = WideText(a), t = WideText(b);
        return s < t ? -1 : (t < s ? 1 : 0);
    }
    case ftSmallint:
    case ftInteger:
    case ftAutoInc:
    case ftWord:
    case ftLargeint:
    case ftDataSet: return Sign3(AsInt64(a), AsInt64(b));
    case ftBoolean: return Sign3(Load<std::uint16_t>(x) != 0, Load<std::uint16_t>(y) != 0);
    case ftCurrency: return Sign3(Load<std::int64_t>(x), Load<std::int64_t>(y));
    case ftBCD: {
        Currency c, d;
        if (TryBcdToCurrency(x, c) && TryBcdToCurrency(y, d)) return Sign3(c.Scaled, d.Scaled);
        return CompareBytes(std::string_view(reinterpret_cast<const char*>(x), length_),
                            std::string_view(reinterpret_cast<const char*>(y), length_));
    }
    case ftFloat: return Sign3(Load<double>(x), Load<double>(y));
    case ftDateTime: return Sign3(Load<double>(x), Load<double>(y));
    case ftDate:
    case ftTime: return Sign3(Load<std::int32_t>(x), Load<std::int32_t>(y));
    case ftVariant: {
        const Variant s = VariantSlotRead(x), t = VariantSlotRead(y);
        return CompareBytes(s.ToAnsi(), t.ToAnsi());
    }
    default:
        return CompareBytes(std::string_view(reinterpret_cast<const char*>(x), length_),
                            std::string_view(reinterpret_cast<const char*>(y), length_));
    }
}

void TValueCodec::SetNull(std::uint8_t* slot) const {
    if (type_ == ftVariant) {
        slot[0] = 0;
        VariantSlotClear(slot + 1);
        return;
    }
    slot[0] = 0;
    std::memset(slot + 1, 0, length_);
}

void TValueCodec::Encode(std::uint8_t* slot, const Variant& value) const {
    if (type_ == ftVariant) {
        if (value.IsEmptyOrNull()) {
            SetNull(slot);
        } else {
            VariantSlotAssign(slot + 1, value);
            slot[0] = 1;
        }
        return;
    }
    if (value.IsEmptyOrNull()) {
        SetNull(slot);
        return;
    }
    // Every conversion happens before the slot is touched, so a value that does not
    // convert leaves the stored value as it was.
    const std::uint32_t len = length_;
    auto store = [&](const void* bytes, std::size_t n) {
        std::memset(slot + 1, 0, len);
        std::memcpy(slot + 1, bytes, std::min<std::size_t>(n, len));
        slot[0] = 1;
    };
    switch (type_) {
    case ftString: {
        std::string text = value.ToAnsi();
        std::size_t n = Utf8PrefixBytes(text, static_cast<std::size_t>(std::max(size_, 0)));
        n = Utf8FitBytes(std::string_view(text).substr(0, n), len > 0 ? len - 1 : 0);
        store(text.data(), n);
        break;
    }
    case ftSmallint: {
        std::int64_t v = value.ToInt64();
        if (v < INT16_MIN || v > INT16_MAX) Overflow(value, "Smallint");
        auto s = static_cast<std::int16_t>(v);
        store(&s, 2);
        break;
    }
    case ftWord: {
        std::int64_t v = value.ToInt64();
        if (v < 0 || v > UINT16_MAX) Overflow(value, "Word");
        auto w = static_cast<std::uint16_t>(v);
        store(&w, 2);
        break;
    }
    case ftInteger:
    case ftAutoInc: {
        std::int32_t v = value.ToInt32();
        store(&v, 4);
        break;
    }
    case ftBoolean: {
        std::uint16_t w = value.ToBool() ? 0xFFFF : 0;
        store(&w, 2);
        break;
    }
    case ftFloat: {
        double d = value.ToDouble();
        store(&d, 8);
        break;
    }
    case ftCurrency: {
        std::int64_t c = value.ToCurrency().Scaled;
        store(&c, 8);
        break;
    }
    case ftBCD: {
        TBcd bcd = CurrencyToBcd(value.ToCurrency(), 32, size_);
        store(bcd.data(), bcd.size());
        break;
    }
    case ftDateTime: {
        std::uint8_t native[8];
        DateTimeToNative(ftDateTime, value.ToDate(), native);
        store(native, 8);
        break;
    }
    case ftBytes: {
        std::vector<std::uint8_t> bytes = ArrayBytes(value);
        store(bytes.data(), std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(std::max(size_, 0))));
        break;
    }
    case ftVarBytes: {
        std::string bytes;
        if (value.IsArray()) {
            auto b = ArrayBytes(value);
            bytes.assign(b.begin(), b.end());
        } else {
            bytes = value.ToAnsi();
        }
        std::size_t room = len >= 2 ? std::min<std::size_t>(len - 2, 0xFFFF) : 0;
        auto n = static_cast<std::uint16_t>(
            std::min({bytes.size(), static_cast<std::size_t>(std::max(size_, 0)), room}));
        std::string out(2 + n, '\0');
        std::memcpy(out.data(), &n, 2);
        std::memcpy(out.data() + 2, bytes.data(), n);
        store(out.data(), out.size());
        break;
    }
    case ftWideString: {
        std::u16string w = value.ToWide();
        std::size_t units = std::min<std::size_t>(w.size(), static_cast<std::size_t>(std::max(size_, 0)));
        if (units > 0 && units < w.size() && w[units - 1] >= 0xD800 && w[units - 1] <= 0xDBFF) --units;
        std::string out(2 * units, '\0');
        for (std::size_t i = 0; i < units; ++i) {
            out[2 * i] = static_cast<char>(w[i] & 0xFF);
            out[2 * i + 1] = static_cast<char>(w[i] >> 8);
        }
        store(out.data(), out.size());
        break;
    }
    case ftGuid: {
        std::string text = value.ToAnsi();
        store(text.data(), Utf8FitBytes(text, len > 0 ? len - 1 : 0));
        break;
    }
    default: throw Exception("Необрабатываемый тип поля. ");
    }
}

void TValueCodec::WriteNative(std::uint8_t* slot, const void* native, std::size_t n) const {
    if (type_ == ftVariant) {
        const auto* v = static_cast<const Variant*>(native);
        if (!v || v->IsEmptyOrNull()) {
            SetNull(slot);
        } else {
            VariantSlotAssign(slot + 1, *v);
            slot[0] = 1;
        }
        return;
    }
    std::memset(slot + 1, 0, length_);
    slot[0] = native ? 1 : 0;
    if (!native) return;
    if (type_ == ftWideString) {
        const auto& w = *static_cast<const std::u16string*>(native);
        std::size_t units = std::min<std::size_t>(w.size(), length_ >= 2 ? (length_ - 2) / 2 : 0);
        for (std::size_t i = 0; i < units; ++i) {
            slot[1 + 2 * i] = static_cast<std::uint8_t>(w[i] & 0xFF);
            slot[2 + 2 * i] = static_cast<std::uint8_t>(w[i] >> 8);
        }
        return;
    }
    if (type_ == ftString || type_ == ftFixedChar) {
        // The caller's text may be longer than the field: keep Size whole characters.
        const char* text = static_cast<const char*>(native);
        std::string_view sv(text, strnlen(text, n > 0 ? n : length_));
        std::size_t keep = Utf8PrefixBytes(sv, static_cast<std::size_t>(std::max(size_, 0)));
        keep = Utf8FitBytes(sv.substr(0, keep), length_ > 0 ? length_ - 1 : 0);
        std::memcpy(slot + 1, sv.data(), keep);
        return;
    }
    std::memcpy(slot + 1, native, n > 0 ? std::min<std::size_t>(length_, n) : length_);
}

TStoreResult TValueCodec::SetText(std::uint8_t* slot, std::string_view text) const {
    if (!IsText(type_)) return TStoreResult::Unhandled;
    // A value is kept whole or not at all: a zero inside ends the text as it would be read.
    if (const void* zero = std::memchr(text.data(), 0, text.size()))
        text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()));
    if (text.size() + 1 > length_) return TStoreResult::TooLong;
    std::memcpy(slot + 1, text.data(), text.size());
    std::memset(slot + 1 + text.size(), 0, length_ - text.size());
    slot[0] = 1;
    return TStoreResult::Stored;
}

TStoreResult TValueCodec::SetBytes(std::uint8_t* slot, std::string_view bytes) const {
    if (type_ == ftVarBytes) {
        if (bytes.size() > 0xFFFF || length_ < 2 || bytes.size() > length_ - 2) return TStoreResult::TooLong;
        const auto n = static_cast<std::uint16_t>(bytes.size());
        std::memset(slot + 1, 0, length_);
        std::memcpy(slot + 1, &n, 2);
        std::memcpy(slot + 3, bytes.data(), bytes.size());
        slot[0] = 1;
        return TStoreResult::Stored;
    }
    if (type_ == ftBytes) {
        if (bytes.size() > length_) return TStoreResult::TooLong;
        std::memset(slot + 1, 0, length_);
        std::memcpy(slot + 1, bytes.data(), bytes.size());
        slot[0] = 1;
        return TStoreResult::Stored;
    }
    return TStoreResult::Unhandled;
}

TStoreResult TValueCodec::SetInt64(std::uint8_t* slot, std::int64_t value) const {
    auto put = [&](const void* p, std::size_t n) {
        std::memset(slot + 1, 0, length_);
        std::memcpy(slot + 1, p, std::min<std::size_t>(n, length_));
        slot[0] = 1;
        return TStoreResult::Stored;
    };
    switch (type_) {
    case ftSmallint: {
        if (value < INT16_MIN || value > INT16_MAX) return TStoreResult::OutOfRange;
        const auto v = static_cast<std::int16_t>(value);
        return put(&v, 2);
    }
    case ftWord: {
        if (value < 0 || value > UINT16_MAX) return TStoreResult::OutOfRange;
        const auto v = static_cast<std::uint16_t>(value);
        return put(&v, 2);
    }
    case ftInteger:
    case ftAutoInc: {
        if (value < INT32_MIN || value > INT32_MAX) return TStoreResult::OutOfRange;
        const auto v = static_cast<std::int32_t>(value);
        return put(&v, 4);
    }
    case ftLargeint: return put(&value, 8);
    case ftBoolean: {
        const std::uint16_t w = value != 0 ? 0xFFFF : 0;
        return put(&w, 2);
    }
    case ftFloat: return SetDouble(slot, static_cast<double>(value));
    default: return TStoreResult::Unhandled;
    }
}

TStoreResult TValueCodec::SetDouble(std::uint8_t* slot, double value) const {
    if (type_ != ftFloat) return TStoreResult::Unhandled;
    std::memset(slot + 1, 0, length_);
    std::memcpy(slot + 1, &value, std::min<std::size_t>(8, length_));
    slot[0] = 1;
    return TStoreResult::Stored;
}

TStoreResult TValueCodec::SetDateTime(std::uint8_t* slot, double value) const {
    if (type_ != ftDateTime && type_ != ftDate && type_ != ftTime) return TStoreResult::Unhandled;
    if (length_ < (type_ == ftDateTime ? 8u : 4u)) return TStoreResult::TooLong;
    std::uint8_t native[8] = {};
    DateTimeToNative(type_, value, native);  // raises outside the calendar range
    std::memset(slot + 1, 0, length_);
    std::memcpy(slot + 1, native, type_ == ftDateTime ? 8 : 4);
    slot[0] = 1;
    return TStoreResult::Stored;
}

TStoreResult TValueCodec::SetCurrency(std::uint8_t* slot, Currency value) const {
    if (type_ == ftCurrency) {
        std::memset(slot + 1, 0, length_);
        std::memcpy(slot + 1, &value.Scaled, std::min<std::size_t>(8, length_));
        slot[0] = 1;
        return TStoreResult::Stored;
    }
    if (type_ == ftBCD) {
        TBcd bcd{};
        if (!TryCurrencyToBcd(value, 32, 4, bcd)) return TStoreResult::BadDecimal;
        std::memset(slot + 1, 0, length_);
        std::memcpy(slot + 1, bcd.data(), std::min<std::size_t>(bcd.size(), length_));
        slot[0] = 1;
        return TStoreResult::Stored;
    }
    return TStoreResult::Unhandled;
}

TStoreResult TValueCodec::StoreFetched(std::uint8_t* slot, TFetchType ctype, const void* data, std::size_t length) const {
    const auto* p = static_cast<const std::uint8_t*>(data);
    auto fixed = [&](std::size_t n) { return length >= n; };
    switch (ctype) {
    case fcChar: {
        std::string_view text(reinterpret_cast<const char*>(p), length);
        if (type_ == ftBCD || type_ == ftCurrency) {
            std::int64_t scaled = 0;
            if (!TryParseCurrency(std::string(text.substr(0, std::min<std::size_t>(text.find('\0'), text.size()))),
                                  scaled, DotSettings()))
                return TStoreResult::BadDecimal;
            return SetCurrency(slot, Currency{scaled});
        }
        return SetText(slot, text);
    }
    case fcWChar: {
        if (type_ != ftWideString) return TStoreResult::Unhandled;
        std::size_t units = length / 2;
        for (std::size_t i = 0; i < units; ++i)
            if (p[2 * i] == 0 && p[2 * i + 1] == 0) {
                units = i;
                break;
            }
        if (2 * units + 2 > length_) return TStoreResult::TooLong;
        std::memset(slot + 1, 0, length_);
        std::memcpy(slot + 1, p, 2 * units);
        slot[0] = 1;
        return TStoreResult::Stored;
    }
    case fcBinary: return SetBytes(slot, std::string_view(reinterpret_cast<const char*>(p), length));
    case fcShort: return fixed(2) ? SetInt64(slot, Load<std::int16_t>(p)) : TStoreResult::Unhandled;
    case fcLong: return fixed(4) ? SetInt64(slot, Load<std::int32_t>(p)) : TStoreResult::Unhandled;
    case fcSBigInt: return fixed(8) ? SetInt64(slot, Load<std::int64_t>(p)) : TStoreResult::Unhandled;
    case fcBit: return fixed(1) ? SetInt64(slot, p[0]) : TStoreResult::Unhandled;
    case fcDouble: return fixed(8) ? SetDouble(slot, Load<double>(p)) : TStoreResult::Unhandled;
    case fcTime:
    case fcTypeTime: {
        if (!fixed(sizeof(TFetchedTime))) return TStoreResult::Unhandled;
        const auto t = Load<TFetchedTime>(p);
        TimeStampParts parts;
        parts.Hour = t.Hour, parts.Minute = t.Minute, parts.Second = t.Second;
        double dt = 0;
        if (!TryEncodeDateTime(parts, dt)) return TStoreResult::BadDate;
        return SetDateTime(slot, dt);
    }
    case fcDate:
    case fcTypeDate:
    case fcTimeStamp:
    case fcTypeTimeStamp: {
        // A date arrives in the first bytes of a time stamp buffer; the rest stays zero.
        TFetchedTimeStamp ts{};
        std::memcpy(&ts, p, std::min(length, sizeof ts));
        TimeStampParts parts;
        parts.Year = ts.Year, parts.Month = ts.Month, parts.Day = ts.Day;
        parts.Hour = ts.Hour, parts.Minute = ts.Minute, parts.Second = ts.Second;
        parts.MSec = static_cast<int>(ts.Fraction / 1000000);
        double dt = 0;
        if (!TryEncodeDateTime(parts, dt)) return TStoreResult::BadDate;
        return SetDateTime(slot, dt);
    }
    default: return TStoreResult::Unhandled;
    }
}

// ---------------------------------------------------------------- Variant slots

Variant VariantSlotRead(const std::uint8_t* slot) {
    RawVariant raw;
    std::memcpy(raw.bytes, slot, sizeof(Variant));
    return *raw.get();
}

void VariantSlotClear(std::uint8_t* slot) {
    RawVariant raw;
    std::memcpy(raw.bytes, slot, sizeof(Variant));
    raw.get()->~Variant();
    std::memset(slot, 0, sizeof(Variant));
}

void VariantSlotAssign(std::uint8_t* slot, const Variant& value) {
    Variant copy(value);  // copy first: value may live in this very slot
    VariantSlotClear(slot);
    RawVariant raw;
    std::memset(raw.bytes, 0, sizeof(Variant));
    new (raw.bytes) Variant(std::move(copy));
    std::memcpy(slot, raw.bytes, sizeof(Variant));
}

void VariantSlotDetach(std::uint8_t* dst) {
    Variant copy = VariantSlotRead(dst);
    RawVariant raw;
    std::memset(raw.bytes, 0, sizeof(Variant));
    new (raw.bytes) Variant(std::move(copy));
    std::memcpy(dst, raw.bytes, sizeof(Variant));
}

// ---------------------------------------------------------------- sort order

namespace {

int CompareDoubleValues(double a, double b, bool totalOrder) {
    if (a > b) return 1;
    if (a >= b) return 0;
    if (!totalOrder || !(std::isnan(a) || std::isnan(b))) return -1;
    if (std::isnan(a) && std::isnan(b)) return 0;
    return std::isnan(a) ? -1 : 1;
}

}  // namespace

namespace {

template <class T>
int OrderOf(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec&) {
    return Sign3(Load<T>(x), Load<T>(y));
}

int OrderBoolean(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec&) {
    return Sign3(Load<std::uint16_t>(x) != 0, Load<std::uint16_t>(y) != 0);
}

int OrderDouble(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec&) {
    return CompareDoubleValues(Load<double>(x), Load<double>(y), false);
}

int OrderDoubleTotal(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec&) {
    return CompareDoubleValues(Load<double>(x), Load<double>(y), true);
}

int OrderBcd(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec& codec) {
    return codec.Length() >= 34 ? BcdCompare(x, y) : 0;
}

int OrderBytes(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec& codec) {
    const std::size_t n = std::min<std::size_t>(codec.Size() > 0 ? static_cast<std::size_t>(codec.Size()) : 0, codec.Length());
    return CompareBytes(std::string_view(reinterpret_cast<const char*>(x), n),
                        std::string_view(reinterpret_cast<const char*>(y), n));
}

int OrderText(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec& codec) {
    return CompareBytes(codec.TextValue(x), codec.TextValue(y));
}

int OrderWide(const std::uint8_t* x, const std::uint8_t* y, const TValueCodec& codec) {
    const std::u16string s = codec.WideTextValue(x), t = codec.WideTextValue(y);
    return s < t ? -1 : (t < s ? 1 : 0);
}

int OrderNone(const std::uint8_t*, const std::uint8_t*, const TValueCodec&) { return 0; }

}  // namespace

TValueCodec::TValueOrder TValueCodec::OrderFunction(bool totalOrder) const {
    switch (type_) {
    case ftString:
    case ftFixedChar:
    case ftGuid: return OrderText;
    case ftWideString: return OrderWide;
    case ftSmallint: return OrderOf<std::int16_t>;
    case ftWord: return OrderOf<std::uint16_t>;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return OrderOf<std::int32_t>;
    case ftLargeint:
    case ftCurrency: return OrderOf<std::int64_t>;
    case ftBoolean: return OrderBoolean;
    case ftFloat:
    case ftDateTime: return totalOrder ? OrderDoubleTotal : OrderDouble;
    case ftBCD: return OrderBcd;
    case ftBytes:
    case ftVarBytes: return OrderBytes;
    default: return OrderNone;
    }
}

int TValueCodec::CompareValues(const std::uint8_t* x, const std::uint8_t* y, bool totalOrder) const {
    return OrderFunction(totalOrder)(x, y, *this);
}

std::string_view TValueCodec::TextValue(const std::uint8_t* x) const {
    const char* p = reinterpret_cast<const char*>(x);
    const void* zero = std::memchr(p, 0, length_);
    return std::string_view(p, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : length_);
}

std::u16string TValueCodec::WideTextValue(const std::uint8_t* x) const {
    std::u16string w;
    for (std::uint32_t i = 0; i + 1 < length_; i += 2) {
        auto c = static_cast<char16_t>(x[i] | (x[i + 1] << 8));
        if (c == 0) break;
        w.push_back(c);
    }
    return w;
}

}  // namespace kubrix
