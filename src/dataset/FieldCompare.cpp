#include "dataset/FieldCompare.h"

#include <string_view>

#include "dataset/Collation.h"
#include "support/ValueCodec.h"
#include "support/Variant.h"

namespace kubrix {

namespace {

template <class T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Null and empty first, then numbers (booleans and dates among them), then text, then
// anything else by its type code: a total order for mixed Variant values.
int VariantRank(const Variant& v) {
    if (v.IsEmptyOrNull()) return 0;
    if (v.IsNumeric()) return 1;
    if (v.IsText()) return 2;
    return 3;
}

bool IsWholeNumber(const Variant& v) {
    const VarType t = v.Type();
    return t == VT_I2 || t == VT_I4 || t == VT_I8 || t == VT_I1 || t == VT_UI1 || t == VT_UI2 || t == VT_UI4;
}

int CompareDoubles(double a, double b, bool total) {
    const TValueCodec codec(ftFloat, 0);
    return codec.CompareValues(reinterpret_cast<const std::uint8_t*>(&a), reinterpret_cast<const std::uint8_t*>(&b), total);
}

int CompareVariants(const Variant& a, const Variant& b, bool caseInsensitive, bool total) {
    const int ra = VariantRank(a), rb = VariantRank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    switch (ra) {
    case 1:
        if ((a.Type() == VT_CY && b.Type() == VT_CY) || (IsWholeNumber(a) && IsWholeNumber(b)))
            return Order(a.ToInt64(), b.ToInt64());
        return CompareDoubles(a.ToDouble(), b.ToDouble(), total);
    case 2:
        if (a.Type() == VT_BSTR && b.Type() == VT_BSTR) return CompareWideByLocale(a.RawWide(), b.RawWide(), caseInsensitive);
        return CompareTextByLocale(a.ToAnsi(), b.ToAnsi(), caseInsensitive);
    case 3: return Order(static_cast<int>(a.Type()), static_cast<int>(b.Type()));
    default: return 0;
    }
}

// Text by the locale on top of the codec's reading; everything else is the codec's order.
}  // namespace

int CompareFieldValues(const void* first, const void* second, const TValueCodec& codec, bool caseInsensitive, bool total) {
    const auto* x = static_cast<const std::uint8_t*>(first);
    const auto* y = static_cast<const std::uint8_t*>(second);
    const TFieldType type = codec.Type();
    if (type == ftWideString) return CompareWideByLocale(codec.WideTextValue(x), codec.WideTextValue(y), caseInsensitive);
    if (IsCollatedType(type))
        return CompareTextByLocale(codec.TextValue(x), codec.TextValue(y), caseInsensitive || type == ftGuid);
    if (type == ftVariant) return CompareVariants(VariantSlotRead(x), VariantSlotRead(y), caseInsensitive, total);
    return codec.CompareValues(x, y, total);
}

int CompareFields(const void* first, const void* second, TFieldType type, int size, bool caseInsensitive) {
    return CompareFieldValues(first, second, TValueCodec(type, size), caseInsensitive, false);
}

int CompareFieldsTotal(const void* first, const void* second, TFieldType type, int size, bool caseInsensitive) {
    return CompareFieldValues(first, second, TValueCodec(type, size), caseInsensitive, true);
}

bool IsCollatedType(TFieldType type) {
    return type == ftString || type == ftFixedChar || type == ftWideString || type == ftGuid;
}

}  // namespace kubrix
