#include "pivot/OLAPField.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <thread>

#include "pivot/Kubrix.h"
#include "pivot/OLAPValueHash.h"
#include "support/CursorStack.h"
#include "support/MemBlocks.h"
#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"
#include "support/Text.h"

namespace kubrix {

namespace {

const char* const kMsgNoCompare = "Не задан обработчик сравнения значений:";
const char* const kMsgNotFound = "-не найдено значение:";
const char* const kMsgMemoNotFound = "Не найдено значение";
const char* const kMsgUnhandledType = "Необрабатываемый тип поля.";
const char* const kMsgEmpty = "(ПУСТО)";

const std::uint8_t* Bytes(const void* p) { return static_cast<const std::uint8_t*>(p); }
const std::string& MemoText(const void* p) { return *static_cast<const std::string*>(p); }

template <typename T>
int Sign3(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Doubles in a total order (NaN after every number), so that the sorted lists stay sorted.
int CompareDoubles(double a, double b) {
    const bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb) return na == nb ? 0 : (na ? 1 : -1);
    return Sign3(a, b);
}

// The order an axis shows the values of a type in; the types without one cannot be placed.
TQelOLAPField::TCompare CompareFor(TFieldType type) {
    switch (type) {
        case ftString: return &TQelOLAPField::CompareValues_string;
        case ftSmallint: return &TQelOLAPField::CompareValues_smallint;
        case ftInteger: return &TQelOLAPField::CompareValues_integer;
        case ftBoolean: return &TQelOLAPField::CompareValues_boolean;
        case ftFloat: return &TQelOLAPField::CompareValues_float;
        case ftBCD: return &TQelOLAPField::CompareValues_bcd;
        case ftDateTime: return &TQelOLAPField::CompareValues_datetime;
        case ftMemo: return &TQelOLAPField::CompareValues_memo;
        default: return nullptr;
    }
}

}  // namespace

int CompareTextAsciiNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    return Sign3(a.size(), b.size());
}

// ---------------------------------------------------------------- TQelOLAPField

bool TQelOLAPField::TypeSupported(TFieldType type) { return CompareFor(type) != nullptr; }

TQelOLAPField::TQelOLAPField(TQelOLAPFields& owner, const TRecordField& field, int index) : owner_(owner) {
    TraceScope trace(this, "TQelOLAPField.Create");
    FieldIndex = index;
    DataType = field.DataType;
    FieldName = field.Name;
    ValueSize = field.SlotSize;
    FieldSize = field.Size;
    Offset = field.Offset;
    Codec = TValueCodec(DataType, FieldSize, static_cast<std::uint32_t>(std::max(ValueSize - 1, 0)));
    compare_ = CompareFor(DataType);
    if (!compare_) throw Exception(std::string(kMsgNoCompare) + FieldName);
}

TQelOLAPField::~TQelOLAPField() { ClearValues(); }

TQelKubrix& TQelOLAPField::Grid() const { return owner_.Grid(); }

std::string TQelOLAPField::Caption() const {
    const TRecordSource* records = Grid().Records();
    if (!records || FieldIndex < 0 || FieldIndex >= records->FieldCount()) return FieldName;
    return records->Field(FieldIndex).DisplayLabel;
}

const void* TQelOLAPField::RecordValue(const TRecordSource& records, int record) const {
    if (IsMemo()) {
        if (const std::string* text = records.BlobData(record, FieldIndex)) return text;
    } else if (Offset >= 0) {
        return records.RecordData(record) + Offset;
    }
    throw Exception(std::string(kMsgUnhandledType) + FieldName);
}

void TQelOLAPField::Changed() { owner_.Changed(this); }

// Null (flag 0) sorts first; both null are equal. Returns from the comparison when that
// decides; the typed comparison follows otherwise.
#define KUBRIX_NULLS(a, b)                                                   \
    do {                                                                     \
        const bool an = TValueCodec::IsNull(Bytes(a)), bn = TValueCodec::IsNull(Bytes(b)); \
        if (an || bn) {                                                      \
            const int r = an == bn ? 0 : (an ? -1 : 1);                      \
            return DescSort ? -r : r;                                        \
        }                                                                    \
    } while (0)

int TQelOLAPField::CompareValues_string(const void* a, const void* b) const {
    KUBRIX_NULLS(a, b);
    const int r = CompareTextAsciiNoCase(Codec.Text(Bytes(a)), Codec.Text(Bytes(b)));
    return DescSort ? -r : r;
}

int TQelOLAPField::CompareValues_smallint(const void* a, const void* b) const {
    KUBRIX_NULLS(a, b);
    const int r = Sign3(Codec.AsInt64(Bytes(a)), Codec.AsInt64(Bytes(b)));
    return DescSort ? -r : r;
}

int TQelOLAPField::CompareValues_integer(const void* a, const void* b) const {
    KUBRIX_NULLS(a, b);
    const int r = Sign3(Codec.AsInt64(Bytes(a)), Codec.AsInt64(Bytes(b)));
    return DescSort ? -r : r;
}

int TQelOLAPField::CompareValues_boolean(const void* a, const void* b) const {
    KUBRIX_NULLS(a, b);
    const int r = Codec.Compare(Bytes(a), Bytes(b));
    return DescSort ? -r : r;
}

int TQelOLAPField::CompareValues_float(const void* a, const void* b) const {
    KUBRIX_NULLS(a, b);
    const int r = CompareDoubles(Codec.AsDouble(Bytes(a)), Codec.AsDouble(Bytes(b)));
    return DescSort ? -r : r;
}

int TQelOLAPField::CompareValues_bcd(const void* a, const void* b) const {
    KUBRIX_NULLS(a, b);
    // Decoding raises for a malformed amount, which has no place in the order.
    const int r = Sign3(Codec.Decode(Bytes(a)).ToCurrency().Scaled, Codec.Decode(Bytes(b)).ToCurrency().Scaled);
    return DescSort ? -r : r;
}

int TQelOLAPField::CompareValues_datetime(const void* a, const void* b) const {
    KUBRIX_NULLS(a, b);
    // Points in time to the millisecond, as the stored counts are read back.
    const double x = std::round(Codec.AsDouble(Bytes(a)) * MSecsPerDay);
    const double y = std::round(Codec.AsDouble(Bytes(b)) * MSecsPerDay);
    const int r = CompareDoubles(x, y);
    return DescSort ? -r : r;
}

#undef KUBRIX_NULLS

int TQelOLAPField::CompareValues_memo(const void* a, const void* b) const {
    const int r = CompareTextAsciiNoCase(MemoText(a), MemoText(b));
    return DescSort ? -r : r;
}

std::size_t TQelOLAPField::Search(const void* buffer, bool& found) const {
    std::size_t lo = 0, hi = Values.size();
    found = false;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const TOLAPValueEntry& e = *Values[mid];
        int c;
        if (IsMemo()) {
            c = CompareTextAsciiNoCase(e.Text, MemoText(buffer));
        } else {
            const int m = CompareMemBlocks(e.Value.data(), buffer, ValueSize);
            c = m == 0 ? 0 : (m == 1 ? -1 : 1);
        }
        if (c < 0) {
            lo = mid + 1;
        } else if (c > 0) {
            hi = mid;
        } else {
            found = true;
            return mid;
        }
    }
    return lo;
}

int TQelOLAPField::InsertAt(std::size_t pos, const void* buffer) {
    ForgetCodes();  // positions after pos move
    auto entry = std::make_unique<TOLAPValueEntry>();
    if (IsMemo()) {
        entry->Text = MemoText(buffer);
    } else {
        entry->Value.assign(Bytes(buffer), Bytes(buffer) + ValueSize);
    }
    Values.insert(Values.begin() + static_cast<std::ptrdiff_t>(pos), std::move(entry));
    return static_cast<int>(pos);
}

int TQelOLAPField::Add(const void* buffer) { return IsMemo() ? AddValueM(buffer) : AddValue(buffer); }

TOLAPValueEntry* TQelOLAPField::Find(const void* buffer) const {
    return IsMemo() ? FindValueM(buffer) : FindValue(buffer);
}

int TQelOLAPField::AddValue(const void* buffer) {
    bool found;
    const std::size_t pos = Search(buffer, found);
    return found ? static_cast<int>(pos) : InsertAt(pos, buffer);
}

int TQelOLAPField::AddValueM(const void* buffer) {
    // Same search: for a memo field Search compares the texts.
    return AddValue(buffer);
}

int TQelOLAPField::IndexOfValue(const void* buffer) const {
    bool found;
    const std::size_t pos = Search(buffer, found);
    return found ? static_cast<int>(pos) : -1;
}

TOLAPValueEntry* TQelOLAPField::FindValue(const void* buffer) const {
    bool found;
    const std::size_t pos = Search(buffer, found);
    if (!found) throw Exception(FieldName + kMsgNotFound + ValueToText(buffer));
    return Values[pos].get();
}

TOLAPValueEntry* TQelOLAPField::FindValueM(const void* buffer) const {
    bool found;
    const std::size_t pos = Search(buffer, found);
    if (!found) throw Exception(kMsgMemoNotFound);
    return Values[pos].get();
}

void TQelOLAPField::ClearValues() {
    ForgetCodes();
    Values.clear();
    ValuesFilled = false;
}

void TQelOLAPField::DistinctIds(const std::vector<TQelOLAPField*>& fields, const TRecordSource& records,
                                std::vector<std::vector<std::int32_t>>& ids,
                                std::vector<std::vector<const void*>>& distinct) {
    const auto n = static_cast<std::size_t>(records.RecordCount());
    const std::size_t m = fields.size();
    ids.assign(m, std::vector<std::int32_t>(n));
    auto sets = [&] {
        std::vector<TOLAPBytesSet> out;
        for (const TQelOLAPField* f : fields)
            out.emplace_back(static_cast<std::size_t>(f->ValueSize), 1024, f->DataType == ftString);
        return out;
    };
    std::vector<TOLAPBytesSet> first = sets();
    // Every field's value of a record in one visit: the record is read from memory once.
    auto add = [&](std::vector<TOLAPBytesSet>& into, std::size_t i, const std::uint8_t* data) {
        for (std::size_t k = 0; k < m; ++k) ids[k][i] = into[k].Add(data + fields[k]->Offset);
    };
    if (n < PivotTuning().ParallelRecords) {
        for (std::size_t i = 0; i < n; ++i) add(first, i, records.RecordData(static_cast<int>(i)));
    } else {
        // Two halves hashed side by side, then the second half's numbers mapped into the
        // first's. The records are found here: the record source is read by one thread only.
        std::vector<const std::uint8_t*> rows(n);
        for (std::size_t i = 0; i < n; ++i) rows[i] = records.RecordData(static_cast<int>(i));
        const std::size_t half = n / 2;
        std::vector<TOLAPBytesSet> second = sets();
        std::exception_ptr failed;
        std::thread other([&] {
            try {
                for (std::size_t i = half; i < n; ++i) add(second, i, rows[i]);
            } catch (...) {
                failed = std::current_exception();
            }
        });
        try {
            for (std::size_t i = 0; i < half; ++i) add(first, i, rows[i]);
        } catch (...) {
            other.join();
            throw;
        }
        other.join();
        if (failed) std::rethrow_exception(failed);
        for (std::size_t k = 0; k < m; ++k) {
            std::vector<std::int32_t> into(second[k].Items().size());
            for (std::size_t j = 0; j < into.size(); ++j) into[j] = first[k].Add(second[k].Items()[j]);
            for (std::size_t i = half; i < n; ++i) ids[k][i] = into[static_cast<std::size_t>(ids[k][i])];
        }
    }
    distinct.resize(m);
    for (std::size_t k = 0; k < m; ++k) distinct[k] = first[k].Items();
}

void TQelOLAPField::FillValuesOf(const std::vector<TQelOLAPField*>& fields) {
    std::vector<TQelOLAPField*> todo;
    for (TQelOLAPField* f : fields) {
        if (!f || f->ValuesFilled || f->IsMemo() || f->Offset < 0 || f->ValueSize <= 0) continue;
        if (std::find(todo.begin(), todo.end(), f) == todo.end()) todo.push_back(f);
    }
    if (todo.size() < 2) return;  // FillValues does the same for one
    const TRecordSource* records = todo.front()->Grid().Records();
    if (!records) return;
    for (const TQelOLAPField* f : todo)
        if (&f->Grid() != &todo.front()->Grid()) return;
    const std::uint64_t generation = records->Generation();
    std::vector<std::vector<std::int32_t>> ids;
    std::vector<std::vector<const void*>> distinct;
    DistinctIds(todo, *records, ids, distinct);
    for (std::size_t k = 0; k < todo.size(); ++k) todo[k]->TakeValues(*records, generation, ids[k], distinct[k]);
}

void TQelOLAPField::FillValues() {
    TraceScope trace(this, "TQelOLAPField.FillValues");
    const TRecordSource* records = Grid().Records();
    if (!records) return;
    const std::uint64_t generation = records->Generation();
    const int n = records->RecordCount();
    // Read every buffer before inserting, so that a failure leaves the dictionary as it was.
    // Non-memo values are made distinct by their bytes first: only the distinct ones are sorted.
    // Each record keeps the number of its distinct value, so that its code needs no second look-up.
    if (IsMemo()) {
        std::vector<const void*> buffers;
        buffers.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) buffers.push_back(RecordValue(*records, i));
        std::vector<std::int32_t> none;
        TakeValues(*records, generation, none, buffers);
        return;
    }
    if (Offset < 0 && n > 0) RecordValue(*records, 0);  // raises the error of a value kept nowhere
    std::vector<std::vector<std::int32_t>> ids;
    std::vector<std::vector<const void*>> distinct;
    DistinctIds({this}, *records, ids, distinct);
    TakeValues(*records, generation, ids.front(), distinct.front());
}

void TQelOLAPField::TakeValues(const TRecordSource& records, std::uint64_t generation, const std::vector<std::int32_t>& ids,
                               std::vector<const void*>& buffers) {
    const int n = records.RecordCount();
    const std::vector<const void*> byId = IsMemo() ? std::vector<const void*>() : buffers;
    // Sorted and merged rather than inserted one by one: many distinct values stay n log n.
    auto order = [this](const void* a, const void* b) {
        if (IsMemo()) return CompareTextAsciiNoCase(MemoText(a), MemoText(b));
        const int m = CompareMemBlocks(a, b, ValueSize);
        return m == 0 ? 0 : (m == 1 ? -1 : 1);
    };
    std::sort(buffers.begin(), buffers.end(), [&](const void* a, const void* b) { return order(a, b) < 0; });
    buffers.erase(std::unique(buffers.begin(), buffers.end(), [&](const void* a, const void* b) { return order(a, b) == 0; }),
                  buffers.end());
    std::vector<std::unique_ptr<TOLAPValueEntry>> merged;
    merged.reserve(Values.size() + buffers.size());
    std::size_t i = 0;
    for (const void* b : buffers) {
        while (i < Values.size() && order(Values[i]->Buffer(), b) < 0) merged.push_back(std::move(Values[i++]));
        if (i < Values.size() && order(Values[i]->Buffer(), b) == 0) continue;
        auto entry = std::make_unique<TOLAPValueEntry>();
        if (IsMemo()) {
            entry->Text = MemoText(b);
        } else {
            entry->Value.assign(Bytes(b), Bytes(b) + ValueSize);
        }
        merged.push_back(std::move(entry));
    }
    while (i < Values.size()) merged.push_back(std::move(Values[i++]));
    Values.swap(merged);
    ValuesFilled = true;

    // The records' codes, now that the positions are final.
    ForgetCodes();
    codes_.resize(static_cast<std::size_t>(n));
    if (IsMemo()) {
        for (int r = 0; r < n; ++r) codes_[static_cast<std::size_t>(r)] = IndexOfValue(RecordValue(records, r));
    } else {
        std::vector<std::int32_t> position(byId.size());
        for (std::size_t j = 0; j < byId.size(); ++j) position[j] = IndexOfValue(byId[j]);
        for (std::size_t r = 0; r < ids.size(); ++r) codes_[r] = position[static_cast<std::size_t>(ids[r])];
    }
    codesSource_ = &records;
    codesGeneration_ = generation;
}

const std::vector<std::int32_t>& TQelOLAPField::RecordCodes() {
    const TRecordSource* records = Grid().Records();
    if (!records) {
        ForgetCodes();
        return codes_;
    }
    const std::size_t n = static_cast<std::size_t>(records->RecordCount());
    if (codesSource_ == records && codesGeneration_ == records->Generation() && codes_.size() == n) return codes_;
    TraceScope trace(this, "TQelOLAPField.RecordCodes");
    const std::uint64_t generation = records->Generation();
    std::vector<std::int32_t> codes(n);
    if (IsMemo() || ValueSize <= 0) {
        for (std::size_t r = 0; r < n; ++r) {
            const void* buffer = RecordValue(*records, static_cast<int>(r));
            const int pos = IndexOfValue(buffer);
            if (pos < 0) Find(buffer);  // raises the look-up error of the missing value
            codes[r] = pos;
        }
    } else {
        // Found by their bytes: equal bytes are the dictionary's equality.
        TOLAPBytesSet set(static_cast<std::size_t>(ValueSize), Values.size(), DataType == ftString);
        for (const auto& e : Values) set.Add(e->Value.data());
        for (std::size_t r = 0; r < n; ++r) {
            const void* buffer = RecordValue(*records, static_cast<int>(r));
            const std::int32_t pos = set.Find(buffer);
            if (pos < 0) Find(buffer);
            codes[r] = pos;
        }
    }
    codes_.swap(codes);
    codesSource_ = records;
    codesGeneration_ = generation;
    return codes_;
}

void TQelOLAPField::SetDescSort(bool flag) {
    TraceScope trace(this, "TQelOLAPField.SetDescSort");
    BusyCursor busy;
    DescSort = flag;
    Changed();
    int index = 0;
    const int place = FieldPlace(index);
    if (place != 1 && place != 2) return;
    TQelKubrix& grid = Grid();
    TQelOLAPVisibleFields& axis = place == 1 ? grid.XAxis : grid.YAxis;
    if (!axis.Root) return;
    // The tree's own levels decide: a tree keeps the fields it was built for.
    for (int level = 0; level < axis.LevelCount(); ++level) {
        if (axis.LevelField(level) != this) continue;
        axis.SortLevel(level);
        axis.FillRows();
        grid.UpdateGrid();
        return;
    }
}

void TQelOLAPField::SetShowTotals(bool flag) {
    TraceScope trace(this, "TQelOLAPField.SetShowTotals");
    ShowTotals = flag;
    Changed();
    Grid().UpdateGrid();
}

int TQelOLAPField::FieldPlace(int& index) const {
    TraceScope trace(this, "TQelOLAPField.FieldPlace");
    TQelKubrix& grid = Grid();
    const TQelOLAPVisibleFields* lists[] = {&grid.XAxis, &grid.YAxis, &grid.DataFields};
    for (int place = 0; place < 3; ++place) {
        const int i = lists[place]->IndexOf(this);
        if (i >= 0) {
            index = i;
            return place + 1;
        }
    }
    return 0;
}

void TQelOLAPField::Value(const void* buffer, Variant& v) const {
    TraceScope trace(this, "TQelOLAPField.Value");
    if (IsMemo()) {
        const std::string& s = MemoText(buffer);
        v = s.empty() ? Variant::Null() : Variant::FromAnsi(s);
        return;
    }
    v = Codec.Decode(Bytes(buffer));
    // A flag is an integer here, as paths of stored orderings hold it.
    if (v.Type() == VT_BOOL) v = Variant::FromInt32(v.ToBool() ? 1 : 0);
}

void TQelOLAPField::ValueToText(const void* buffer, std::string& s) const {
    TraceScope trace(this, "TQelOLAPField.ValueToText");
    if (IsMemo()) {
        const std::string& t = MemoText(buffer);
        s = t.empty() ? kMsgEmpty : t;
        return;
    }
    if (TValueCodec::IsNull(Bytes(buffer))) {
        s = kMsgEmpty;
        return;
    }
    const Variant v = Codec.Decode(Bytes(buffer));
    switch (v.Type()) {
        case VT_BOOL: s = v.ToBool() ? "1" : "0"; break;
        case VT_R8: s = FormatFloatGeneral(v.ToDouble()); break;
        case VT_CY: s = FormatFloatGeneral(static_cast<double>(v.ToCurrency().Scaled) / 10000.0); break;
        case VT_DATE: {
            const TRecordSource* records = Grid().Records();
            const std::string format =
                records && FieldIndex >= 0 && FieldIndex < records->FieldCount() ? records->Field(FieldIndex).DisplayFormat : std::string();
            s = !format.empty() ? FormatDateTime(format, v.ToDate()) : DateTimeToText(v.ToDate());
            break;
        }
        default:
            if (v.IsText()) s = v.ToAnsi();
            else if (v.IsNumeric()) s = std::to_string(v.ToInt64());
            else throw Exception(std::string(kMsgUnhandledType) + FieldName);
            break;
    }
}

// ---------------------------------------------------------------- TQelOLAPFields

TQelOLAPFields::TQelOLAPFields(TQelKubrix& grid) : grid_(grid) {}

TQelOLAPFields::~TQelOLAPFields() = default;

void TQelOLAPFields::Changed(TQelOLAPField* field) {
    if (OnChange) OnChange(field);
}

TQelOLAPField& TQelOLAPFields::Items(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return *items_[static_cast<std::size_t>(index)];
}

TQelOLAPField* TQelOLAPFields::FindField(const std::string& name) const {
    for (const auto& f : items_) {
        if (f->FieldName == name) return f.get();
    }
    return nullptr;
}

TQelOLAPField& TQelOLAPFields::FieldByName(const std::string& name) const {
    TraceScope trace(this, "TQelOLAPFields.FieldByName");
    TQelOLAPField* f = FindField(name);
    if (!f) throw Exception("Field not found: " + name);
    return *f;
}

void TQelOLAPFields::FillFromData(const TRecordSource* records) {
    TraceScope trace(this, "TQelOLAPFields.FillFromData");
    if (!records) {
        for (const auto& f : items_) grid_.ReleaseField(f.get());
        items_.clear();
        Changed(nullptr);
        return;
    }
    // Plan first: a column the pivot cannot order fails the build before anything changes.
    std::vector<TQelOLAPField*> kept;
    std::vector<TRecordField> keptColumns;
    std::vector<int> keptIndex;
    std::vector<std::unique_ptr<TQelOLAPField>> added;
    for (int i = 0; i < records->FieldCount(); ++i) {
        const TRecordField column = records->Field(i);
        TQelOLAPField* same = FindField(column.Name);
        // The dictionary holds values of the old slot size: a column that changed it starts anew.
        if (same && same->DataType == column.DataType && same->ValueSize == column.SlotSize && std::find(kept.begin(), kept.end(), same) == kept.end()) {
            kept.push_back(same);
            keptColumns.push_back(column);
            keptIndex.push_back(i);
            continue;
        }
        added.push_back(std::make_unique<TQelOLAPField>(*this, column, i));
    }
    // A kept field reads its column where the new records keep it.
    for (std::size_t k = 0; k < kept.size(); ++k) {
        kept[k]->ForgetCodes();
        kept[k]->FieldIndex = keptIndex[k];
        kept[k]->Offset = keptColumns[k].Offset;
    }
    std::vector<std::unique_ptr<TQelOLAPField>> next;
    for (auto& f : items_) {
        if (std::find(kept.begin(), kept.end(), f.get()) != kept.end()) {
            next.push_back(std::move(f));
        } else {
            grid_.ReleaseField(f.get());
        }
    }
    for (auto& f : added) next.push_back(std::move(f));
    items_.swap(next);
    next.clear();  // the candidates no longer in the result, or whose type changed
    Changed(nullptr);
}

}  // namespace kubrix
