// Record visibility of the in-memory dataset: the filter expression and OnFilterRecord, record
// subsets, and Locate (by halves when the records are ordered by the key fields).
#include <algorithm>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/Text.h"
#include "support/ValueCodec.h"
#include "support/VariantOps.h"

namespace kubrix {

namespace {

// Stored types whose value the codec decodes exactly as the record accessors do.
bool ReadsDirect(TFieldType type) {
    switch (type) {
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat: case ftCurrency:
    case ftBCD: case ftDateTime: case ftAutoInc:
        return true;
    default:
        return false;
    }
}

const std::string kNewVersion = "new";
const std::string kOldVersion = "old";

// Puts RecordPos back however the scope ends.
class RecordPosScope {
public:
    explicit RecordPosScope(int& pos) : pos_(pos), saved_(pos) {}
    ~RecordPosScope() { pos_ = saved_; }
    RecordPosScope(const RecordPosScope&) = delete;
    RecordPosScope& operator=(const RecordPosScope&) = delete;

private:
    int& pos_;
    int saved_;
};

class ControlsOffScope {
public:
    explicit ControlsOffScope(TDataSet& ds) : ds_(ds) { ds_.DisableControls(); }
    ~ControlsOffScope() { ds_.EnableControls(); }
    ControlsOffScope(const ControlsOffScope&) = delete;
    ControlsOffScope& operator=(const ControlsOffScope&) = delete;

private:
    TDataSet& ds_;
};

}  // namespace

// ---------------------------------------------------------------- the filter language's reads

const void* TQelODBCClient::ExprFindField(std::string_view name) const {
    TField* field = FindField(std::string(name));
    if (!field) return nullptr;
    for (const auto& f : filterFields_)
        if (f->Field == field) return f.get();
    auto entry = std::make_unique<TFilterField>();
    entry->Field = field;
    entry->Odbc = field->FieldKind() == fkData ? AsODBCField(field) : nullptr;
    entry->Direct = entry->Odbc && ReadsDirect(field->DataType());
    if (entry->Direct) entry->Codec = TValueCodec(field->DataType(), field->Size());
    filterFields_.push_back(std::move(entry));
    return filterFields_.back().get();
}

void TQelODBCClient::ExprGetFieldValue(const void* field, bool old, Variant& value) {
    const auto& f = *static_cast<const TFilterField*>(field);
    if (f.Direct && RecordPos >= 0 && RecordPos < RealRecordCount()) {
        TMemoryRecord* rec = Records[static_cast<std::size_t>(RecordPos)];
        LoadRecord(rec);
        const std::uint8_t* area = old && rec->OldData() ? rec->OldData() : rec->Data;
        const std::int32_t ofs = f.Odbc->GetDataOfs();
        if (!area || ofs < 0 || TValueCodec::IsNull(area + ofs)) {
            value = Variant::Null();
        } else if (f.Codec.Type() == ftString) {
            // The buffer of the last text read is reused.
            value.AssignAnsi(f.Codec.Text(area + ofs));
        } else {
            value = f.Codec.Decode(area + ofs);
        }
        return;
    }
    GetFilterFieldValue(f.Field, old ? kOldVersion : kNewVersion, value);
}

void TQelODBCClient::GetFilterFieldValue(const TField* field, const std::string& version, Variant& value) {
    GetFieldValueFromBuffer(field, RecordPos, value, version);
}

void TQelODBCClient::ResetFilterExpression() {
    expression_->SetCode("");
    filterFields_.clear();
}

// ---------------------------------------------------------------- applying the filter

void TQelODBCClient::FilterRecord(int index) {
    TMemoryRecord* rec = Records[static_cast<std::size_t>(index)];  // callers check the index
    // The record is the cursor's for the evaluation and the handler, so that both read it.
    RecordPosScope pos(RecordPos);
    RecordPos = index;
    const Variant& result = expression_->Evaluate(filterResult_);
    // Null (an unknown outcome) does not let the record through.
    bool hide = result.IsEmptyOrNull() || !result.ToBool();
    if (OnFilterRecord()) OnFilterRecord()(*this, hide);
    rec->FilteredOut = hide;
}

void TQelODBCClient::ApplyFilterToRecord(int index, const std::string& text) {
    if (text.empty()) {
        GetMemoryRecord(index)->FilteredOut = false;
        return;
    }
    if (!expression_->Compiled() || expression_->Code() != Trim(text)) expression_->SetCode(text);
    GetMemoryRecord(index);  // the index must name a record
    FilterRecord(index);
}

void TQelODBCClient::ApplyFilter(const std::string& text) {
    BusyCursor busy;
    expression_->SetCode(text);
    VisibleCount = 0;
    const int count = RealRecordCount();
    const bool empty = text.empty();
    for (int i = 0; i < count; ++i) {
        if (empty) Records[static_cast<std::size_t>(i)]->FilteredOut = false;
        else FilterRecord(i);
        if (!Records[static_cast<std::size_t>(i)]->FilteredOut) ++VisibleCount;
    }
}

void TQelODBCClient::FilterPostedRecord(int index) {
    if (!CheckFilterAfterPost || !expression_->Compiled() || expression_->Code().empty()) return;
    if (index < 0 || index >= RealRecordCount()) return;
    TMemoryRecord* rec = Records[static_cast<std::size_t>(index)];
    const bool before = rec->FilteredOut;
    ApplyFilterToRecord(index, Filter());
    if (rec->FilteredOut != before) VisibleCount += rec->FilteredOut ? -1 : 1;
}

void TQelODBCClient::ResyncCursor() {
    Resync();
    DataEvent(TDataEvent::deDataSetChange);
}

void TQelODBCClient::SetFilterText(const std::string& text) {
    if (text != Filter() && Active() && Filtered()) ApplyFilter(text);
    TDataSet::SetFilterText(text);
    if (Active()) ResyncCursor();
}

void TQelODBCClient::SetFiltered(bool value) {
    if (!Active()) {
        TDataSet::SetFiltered(value);
        return;
    }
    if (value && (!expression_->Compiled() || Trim(Filter()) != expression_->Code())) ApplyFilter(Filter());
    CheckBrowseMode();
    if (value != Filtered()) {
        TDataSet::SetFiltered(value);
        CalcTotals();
        First();
    }
}

void TQelODBCClient::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (!Active()) {
        TDataSet::SetOnFilterRecord(std::move(handler));
        return;
    }
    CheckBrowseMode();
    TDataSet::SetOnFilterRecord(std::move(handler));
    if (Filtered()) First();
}

void TQelODBCClient::FindFieldList(std::vector<TField*>& list, const std::string& names) const {
    list.clear();
    for (const auto& name : SplitFieldNames(names))
        if (TField* f = FindField(name)) list.push_back(f);
}

// ---------------------------------------------------------------- record subsets

void TQelODBCClient::SetRecordFilter(const std::vector<std::int32_t>* indexes) {
    if (!indexes && !UnfilteredRecords) return;
    BusyCursor busy;
    if (indexes) {
        const std::vector<TMemoryRecord*>& full = AllRecords();
        for (std::int32_t i : *indexes)
            if (i < 0 || static_cast<std::size_t>(i) >= full.size()) ListIndexError(i);
        // A record listed twice would sit twice in Records, and removing it would leave the
        // second entry dangling.
        std::vector<bool> taken(full.size(), false);
        std::vector<TMemoryRecord*> subset;
        subset.reserve(indexes->size());
        for (std::int32_t i : *indexes) {
            if (taken[static_cast<std::size_t>(i)]) continue;
            taken[static_cast<std::size_t>(i)] = true;
            subset.push_back(full[static_cast<std::size_t>(i)]);
        }
        TouchStore();
        if (!UnfilteredRecords) UnfilteredRecords = std::make_unique<std::vector<TMemoryRecord*>>(std::move(Records));
        Records = std::move(subset);
        RecordPos = -1;
    } else {
        TouchStore();
        Records = std::move(*UnfilteredRecords);
        UnfilteredRecords.reset();
    }
    if (Filtered()) ApplyFilter(Filter());
    if (Active()) ResyncCursor();
}

// ---------------------------------------------------------------- locate

int TQelODBCClient::CompareLocateKeys(const std::vector<TField*>& fields, const std::vector<Variant>& keys, int index,
                                      const TLocateOptions& options) {
    Variant v;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        GetFieldValueFromBuffer(fields[k], index, v, "new");
        const Variant& key = keys[k];
        const bool vn = v.IsEmptyOrNull(), kn = key.IsEmptyOrNull();
        int c = 0;
        if (vn || kn) {
            c = vn && kn ? 0 : (vn ? 1 : -1);
        } else if (fields[k]->DataType() == ftString || fields[k]->DataType() == ftWideString) {
            std::string text = v.ToAnsi();
            const std::string keyText = key.ToAnsi();
            if (options.PartialKey) text.resize(Utf8PrefixBytes(text, Utf8Length(keyText)));
            c = options.CaseInsensitive ? CompareTextIgnoreCase(keyText, text) : keyText.compare(text);
            c = c < 0 ? -1 : (c > 0 ? 1 : 0);
        } else {
            c = VarCompare(key, v);
        }
        if (c != 0) return c;
    }
    return 0;
}

bool TQelODBCClient::LocateSearchesByHalves(const std::vector<TField*>& keyFields) const {
    if (keyFields.empty()) return false;
    std::string order = " " + keyFields[0]->FieldName() + " ASC";
    for (std::size_t k = 1; k < keyFields.size(); ++k) order += ", " + keyFields[k]->FieldName() + " ASC";
    return OrderBy().compare(0, order.size(), order) == 0;
}

bool TQelODBCClient::Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
    if (Trim(keyFields).empty()) throw Exception("Не задан список полей!");
    CheckBrowseMode();
    if (IsEmpty()) return false;
    std::vector<TField*> fields;
    for (const auto& name : SplitFieldNames(keyFields)) fields.push_back(FieldByName(name));
    const std::vector<Variant> keys = LocateKeys(fields.size(), keyValues);

    const int active = GetActiveRecordIndex();
    if (active >= 0 && active < RealRecordCount() && CompareLocateKeys(fields, keys, active, options) == 0) {
        DataEvent(TDataEvent::deDataSetChange);
        return true;
    }

    int found = -1;
    {
        ControlsOffScope disabled(*this);
        const int count = RealRecordCount();
        if (LocateSearchesByHalves(fields)) {
            int low = 0, high = count - 1;
            while (low <= high) {
                const int middle = low + (high - low) / 2;
                const int c = CompareLocateKeys(fields, keys, middle, options);
                if (c < 0) {
                    high = middle - 1;
                } else if (c > 0) {
                    low = middle + 1;
                } else {
                    found = middle;
                    while (found > 0 && CompareLocateKeys(fields, keys, found - 1, options) == 0) --found;
                    break;
                }
            }
            // Equal keys sit together: the first of them the cursor can show.
            while (found >= 0 && !IsRecordVisible(Records[static_cast<std::size_t>(found)])) {
                if (found + 1 < count && CompareLocateKeys(fields, keys, found + 1, options) == 0) ++found;
                else found = -1;
            }
        } else {
            for (int i = 0; i < count && found < 0; ++i)
                if (IsRecordVisible(Records[static_cast<std::size_t>(i)]) &&
                    CompareLocateKeys(fields, keys, i, options) == 0)
                    found = i;
        }
    }
    if (found < 0) return false;
    if (BeforeScroll) BeforeScroll(*this);
    RecordPos = found;
    CursorMoved();
    DoAfterScroll();
    DataEvent(TDataEvent::deDataSetChange);
    return true;
}

}  // namespace kubrix
