#include "dataset/StoredValue.h"

#include <cstring>

#include "dataset/Field.h"
#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/Text.h"

namespace kubrix {

int CompareMemBlocks(const void* a, const void* b, int count) {
    const auto* pa = static_cast<const std::uint8_t*>(a);
    const auto* pb = static_cast<const std::uint8_t*>(b);
    if (count <= 0) return 0;
    const int words = count / 4;
    for (int i = 0; i < words; ++i) {
        std::int32_t x, y;
        std::memcpy(&x, pa + 4 * i, 4);
        std::memcpy(&y, pb + 4 * i, 4);
        if (x != y) return x < y ? 1 : 2;
    }
    for (int i = words * 4; i < count; ++i) {
        auto x = static_cast<std::int8_t>(pa[i]);
        auto y = static_cast<std::int8_t>(pb[i]);
        if (x != y) return x < y ? 1 : 2;
    }
    return 0;
}

namespace {

// Writes value bytes after the flag, never past the end of the key.
void PutValue(std::vector<std::uint8_t>& out, const void* bytes, std::size_t n) {
    if (out.size() < 2) return;
    n = std::min(n, out.size() - 1);
    std::memcpy(out.data() + 1, bytes, n);
}

// UTF-8 text as a string field stores it: at most Size characters, and room for the zero.
void PutText(std::vector<std::uint8_t>& out, const std::string& text, TFieldType type, int fieldSize) {
    if (text.empty() || out.size() < 2) return;  // flag stays 0 for an empty text
    std::size_t n = text.size();
    if (fieldSize >= 0 && (type == ftString || type == ftFixedChar))
        n = Utf8PrefixBytes(text, static_cast<std::size_t>(fieldSize));
    n = Utf8FitBytes(std::string_view(text).substr(0, n), out.size() - 1);
    out[0] = 1;
    PutValue(out, text.data(), n);
}

}  // namespace

std::vector<std::uint8_t> VariantToFieldData(const Variant& value, int size, const TField* field) {
    if (!field) return VariantToFieldData(value, size, ftUnknown, -1, std::string());
    return VariantToFieldData(value, size, field->DataType(), field->Size(), field->FieldName());
}

std::vector<std::uint8_t> VariantToFieldData(const Variant& value, int size, TFieldType type, int fieldSize,
                                             const std::string& name) {
    std::vector<std::uint8_t> out(size > 0 ? static_cast<std::size_t>(size) : 0, 0);
    auto setFlag = [&] { if (!out.empty()) out[0] = 1; };
    switch (value.Type()) {
    case VT_NULL: break;
    case VT_I2: {
        auto v = static_cast<std::int16_t>(value.RawInt());
        setFlag();
        PutValue(out, &v, 2);
        break;
    }
    case VT_I4: {
        auto v = static_cast<std::int32_t>(value.RawInt());
        setFlag();
        PutValue(out, &v, 4);
        break;
    }
    case VT_DATE: {
        std::uint8_t native[8];
        DateTimeToNative(ftDateTime, value.RawDouble(), native);
        setFlag();
        PutValue(out, native, 8);
        break;
    }
    case VT_STRING: PutText(out, value.RawAnsi(), type, fieldSize); break;
    case VT_BSTR: {
        const TFieldType ft = type;
        if (ft == ftString || ft == ftFixedChar) {
            PutText(out, Utf16ToUtf8(value.RawWide()), type, fieldSize);
        } else if (ft == ftWideString) {
            const std::u16string& w = value.RawWide();
            if (w.empty()) break;
            std::size_t units = w.size();
            if (fieldSize >= 0) units = std::min(units, static_cast<std::size_t>(fieldSize));
            if (out.size() >= 3) units = std::min(units, (out.size() - 3) / 2);
            else units = 0;
            // Never keep half of a surrogate pair.
            if (units > 0 && units < w.size() && w[units - 1] >= 0xD800 && w[units - 1] <= 0xDBFF) --units;
            setFlag();
            PutValue(out, w.data(), 2 * units);
        } else {
            throw Exception("Необрабатываемый тип поля:" + name);
        }
        break;
    }
    case VT_BOOL: {
        std::uint16_t w = value.RawInt() != 0 ? 0xFFFF : 0;
        setFlag();
        PutValue(out, &w, 2);
        break;
    }
    default: throw Exception("Необрабатываемый параметр." + std::to_string(value.Type()));
    }
    return out;
}

Variant isnull(const Variant& value, const Variant& defaultValue) {
    return value.IsNull() ? defaultValue : value;
}

TVarArrayInfo GetVarArray(const Variant& value) {
    if (!value.IsArray()) throw EVariantError("Invalid argument");
    TVarArrayInfo info;
    info.ElementType = value.ElementType();
    info.LowBound = value.LowBound();
    info.HighBound = value.HighBound();
    if (value.IsByteArray()) info.Data = value.Bytes().data();
    return info;
}

}  // namespace kubrix
