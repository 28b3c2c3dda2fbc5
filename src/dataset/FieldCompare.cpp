#include "dataset/FieldCompare.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "dataset/Collation.h"
#include "dataset/StoredValue.h"
#include "support/Bcd.h"
#include "support/Variant.h"

namespace kubrix {

namespace {

template <class T>
T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Zero-terminated text within a slot of len bytes.
std::string_view SlotText(const void* p, std::size_t len) {
    const char* s = static_cast<const char*>(p);
    return std::string_view(s, strnlen(s, len));
}

std::u16string SlotWide(const void* p, std::size_t len) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    std::u16string w;
    for (std::size_t i = 0; i + 1 < len; i += 2) {
        auto c = static_cast<char16_t>(b[i] | (b[i + 1] << 8));
        if (c == 0) break;
        w.push_back(c);
    }
    return w;
}

int CompareDoubles(double a, double b, bool total) {
    if (a > b) return 1;
    if (a >= b) return 0;
    if (!total || !(std::isnan(a) || std::isnan(b))) return -1;
    // Total order: NaN first, NaNs equal.
    if (std::isnan(a) && std::isnan(b)) return 0;
    return std::isnan(a) ? -1 : 1;
}

// Null and empty first, then numbers (booleans and dates among them), then text, then
// anything else by its type code: a total order for mixed Variant values.
int VariantRank(const Variant& v) {
    if (v.IsEmptyOrNull()) return 0;
    if (v.IsNumeric()) return 1;
    if (v.IsText()) return 2;
    return 3;
}

int CompareVariants(const Variant& a, const Variant& b, bool caseInsensitive, bool total) {
    const int ra = VariantRank(a), rb = VariantRank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    switch (ra) {
    case 1:
        if (a.Type() == VT_CY && b.Type() == VT_CY) return Order(a.RawInt(), b.RawInt());
        if ((a.Type() == VT_I8 || a.Type() == VT_I4 || a.Type() == VT_I2) &&
            (b.Type() == VT_I8 || b.Type() == VT_I4 || b.Type() == VT_I2))
            return Order(a.RawInt(), b.RawInt());
        return CompareDoubles(a.ToDouble(), b.ToDouble(), total);
    case 2:
        if (a.Type() == VT_BSTR && b.Type() == VT_BSTR) return CompareWideByLocale(a.RawWide(), b.RawWide(), caseInsensitive);
        return CompareTextByLocale(a.ToAnsi(), b.ToAnsi(), caseInsensitive);
    case 3: return Order(static_cast<int>(a.Type()), static_cast<int>(b.Type()));
    default: return 0;
    }
}

int Compare(const void* first, const void* second, TFieldType type, int size, bool caseInsensitive, bool total) {
    const std::size_t len = CalcFieldLen(type, size);
    switch (type) {
    case ftString:
    case ftFixedChar: return CompareTextByLocale(SlotText(first, len), SlotText(second, len), caseInsensitive);
    case ftWideString: return CompareWideByLocale(SlotWide(first, len), SlotWide(second, len), caseInsensitive);
    case ftGuid: return CompareTextByLocale(SlotText(first, len), SlotText(second, len), true);
    case ftSmallint: return Order(Load<std::int16_t>(first), Load<std::int16_t>(second));
    case ftWord: return Order(Load<std::uint16_t>(first), Load<std::uint16_t>(second));
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return Order(Load<std::int32_t>(first), Load<std::int32_t>(second));
    case ftLargeint: return Order(Load<std::int64_t>(first), Load<std::int64_t>(second));
    case ftBoolean: return Order(Load<std::uint16_t>(first) != 0, Load<std::uint16_t>(second) != 0);
    case ftFloat:
    case ftDateTime: return CompareDoubles(Load<double>(first), Load<double>(second), total);
    // Currency is stored as a count of ten-thousandths on every path of this dataset.
    case ftCurrency: return Order(Load<std::int64_t>(first), Load<std::int64_t>(second));
    case ftBCD: return BcdCompare(static_cast<const std::uint8_t*>(first), static_cast<const std::uint8_t*>(second));
    case ftBytes:
    case ftVarBytes: {
        const std::size_t n = std::min<std::size_t>(size > 0 ? static_cast<std::size_t>(size) : 0, len);
        const int c = n ? std::memcmp(first, second, n) : 0;
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case ftVariant: return CompareVariants(VariantSlotRead(static_cast<const std::uint8_t*>(first)),
                                           VariantSlotRead(static_cast<const std::uint8_t*>(second)), caseInsensitive, total);
    default: return 0;
    }
}

}  // namespace

int CompareFields(const void* first, const void* second, TFieldType type, int size, bool caseInsensitive) {
    return Compare(first, second, type, size, caseInsensitive, false);
}

int CompareFieldsTotal(const void* first, const void* second, TFieldType type, int size, bool caseInsensitive) {
    return Compare(first, second, type, size, caseInsensitive, true);
}

bool IsCollatedType(TFieldType type) {
    return type == ftString || type == ftFixedChar || type == ftWideString || type == ftGuid;
}

}  // namespace kubrix
