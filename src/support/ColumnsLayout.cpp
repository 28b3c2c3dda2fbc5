#include "support/ColumnsLayout.h"

#include <stdexcept>

#include "support/StorageStream.h"

namespace kubrix {

namespace {

// Element i of an array, or nothing when it lies outside the bounds.
std::optional<Variant> Element(const Variant& array, std::int64_t i) {
    if (!array.IsArray() || array.ElementCount() <= i) return std::nullopt;
    try {
        return array.GetElement(static_cast<std::int32_t>(array.LowBound() + i));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

template <class T, class F>
std::optional<T> Convert(const std::optional<Variant>& v, F convert) {
    if (!v || v->IsArray() || v->IsNull()) return std::nullopt;
    try {
        return static_cast<T>(convert(*v));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::int32_t> ToInt(const std::optional<Variant>& v) {
    return Convert<std::int32_t>(v, [](const Variant& x) { return x.ToInt32(); });
}
std::optional<bool> ToBool(const std::optional<Variant>& v) {
    return Convert<bool>(v, [](const Variant& x) { return x.ToBool(); });
}

Variant ColumnRecord(const TSavedColumn& c) {
    Variant rec = Variant::MakeArray(VT_VARIANT, 0, 5);
    rec.PutElement(0, Variant::FromAnsi(c.FieldName));
    rec.PutElement(1, Variant::FromInt32(c.Width));
    rec.PutElement(2, Variant::FromInt32(c.Index));
    rec.PutElement(3, Variant::FromBool(c.Visible.value_or(true)));
    rec.PutElement(4, Variant::FromBool(c.Totals.value_or(false)));
    rec.PutElement(5, c.FilterValue.value_or(Variant()));
    return rec;
}

}  // namespace

Variant SaveColumnRecords(const std::vector<TSavedColumn>& columns) {
    TQelStorageStream stream;
    for (const TSavedColumn& c : columns) stream.SaveValue(ColumnRecord(c));
    return stream.GetAsVariant();
}

Variant SaveColumnsLayout(const TSavedColumnsLayout& layout) {
    Variant v = Variant::MakeArray(VT_VARIANT, 0, 6);
    v.PutElement(0, Variant::FromUInt8(1));
    v.PutElement(1, SaveColumnRecords(layout.Columns));
    v.PutElement(2, layout.FormProps);
    v.PutElement(3, Variant::FromInt8(layout.TotalsPlace.value_or(1)));
    v.PutElement(4, Variant::FromInt32(layout.TotalsColor.value_or(0x00FFFFFF)));
    v.PutElement(5, Variant::FromInt32(layout.TotalsBackColor.value_or(0x00FFFFFF)));
    v.PutElement(6, Variant::FromInt32(layout.FixedCols.value_or(0)));
    return v;
}

std::vector<TSavedColumn> ReadColumnRecords(const Variant& bytes) {
    std::vector<TSavedColumn> out;
    if (!bytes.IsArray()) return out;
    TQelStorageStream stream;
    try {
        stream.SetAsVariant(bytes);
    } catch (const std::exception&) {
        return out;
    }
    Variant rec;
    while (out.size() < MaxSavedColumns && stream.LoadValue(rec) && rec.IsArray()) {
        const std::int64_t n = rec.ElementCount();
        TSavedColumn c;
        const std::optional<Variant> name = Element(rec, 0);
        const std::optional<std::int32_t> width = ToInt(Element(rec, 1));
        const std::optional<std::int32_t> index = ToInt(Element(rec, 2));
        if (!name || name->IsArray() || !width || !index) {
            rec = Variant();
            continue;
        }
        try {
            c.FieldName = name->ToAnsi();
        } catch (const std::exception&) {
            rec = Variant();
            continue;
        }
        c.Width = *width;
        c.Index = *index;
        if (n >= 4) c.Visible = ToBool(Element(rec, 3));
        if (n >= 5) c.Totals = ToBool(Element(rec, 4));
        if (n >= 6) c.FilterValue = Element(rec, 5);
        out.push_back(std::move(c));
        rec = Variant();
    }
    return out;
}

TSavedColumnsLayout ReadColumnsLayout(const Variant& stored) {
    TSavedColumnsLayout layout;
    if (!stored.IsArray()) return layout;
    const std::optional<std::int32_t> marker = ToInt(Element(stored, 0));
    if (!stored.IsByteArray() && marker && *marker == 1) {
        if (auto records = Element(stored, 1)) layout.Columns = ReadColumnRecords(*records);
        if (auto props = Element(stored, 2)) layout.FormProps = *props;
        if (auto place = ToInt(Element(stored, 3))) layout.TotalsPlace = static_cast<std::int8_t>(*place == 0 ? 0 : 1);
        layout.TotalsColor = ToInt(Element(stored, 4));
        layout.TotalsBackColor = ToInt(Element(stored, 5));
        layout.FixedCols = ToInt(Element(stored, 6));
        return layout;
    }
    layout.Columns = ReadColumnRecords(stored);
    return layout;
}

}  // namespace kubrix
