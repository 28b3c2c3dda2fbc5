#include "dataset/DataSet.h"

#include <algorithm>

#include "dataset/DataSource.h"
#include "support/Errors.h"
#include "support/Text.h"
#include "support/ScopeGuard.h"

namespace kubrix {

namespace {

std::vector<std::string> SplitNames(const std::string& names) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : names) {
        if (c == ';') {
            if (!Trim(cur).empty()) out.push_back(Trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!Trim(cur).empty()) out.push_back(Trim(cur));
    return out;
}

}  // namespace

//! Whether a field value matches a search key (text compared as text, numbers as numbers).
bool LocateValueMatches(const Variant& value, const Variant& key, const TLocateOptions& options) {
    if (key.IsEmptyOrNull() || value.IsEmptyOrNull()) return key.IsEmptyOrNull() && value.IsEmptyOrNull();
    if (value.IsText() || key.IsText() || options.CaseInsensitive || options.PartialKey) {
        std::string a = value.ToAnsi();
        std::string b = key.ToAnsi();
        if (options.PartialKey) a = a.substr(0, Utf8PrefixBytes(a, Utf8Length(b)));
        return options.CaseInsensitive ? CompareTextIgnoreCase(a, b) == 0 : a == b;
    }
    if (value.IsNumeric() && key.IsNumeric()) return value.ToDouble() == key.ToDouble();
    if (value.Type() == VT_DATE || key.Type() == VT_DATE) return value.ToDate() == key.ToDate();
    return value == key;
}

//! The key values of a search: one value, or the elements of an array for several fields.
std::vector<Variant> LocateKeys(std::size_t fieldCount, const Variant& keyValues) {
    std::vector<Variant> keys;
    if (fieldCount == 1) {
        keys.push_back(keyValues);
        return keys;
    }
    if (!keyValues.IsArray() || keyValues.ElementCount() != static_cast<std::int64_t>(fieldCount))
        DatabaseError("Wrong number of key values");
    for (std::int32_t i = keyValues.LowBound(); i <= keyValues.HighBound(); ++i) keys.push_back(keyValues.GetElement(i));
    return keys;
}

std::vector<std::string> SplitFieldNames(const std::string& names) { return SplitNames(names); }

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
    // Concrete datasets close in their own destructor; here only links are cut.
    for (TField* f : fields_) f->dataSet_ = nullptr;
    fields_.clear();
    auto sources = dataSources_;
    dataSources_.clear();
    for (TDataSource* s : sources) {
        s->dataSet_ = nullptr;
        s->NotifyLinks(TDataEvent::deUpdateState, 0);
    }
}

void TDataSet::CheckActive() const {
    if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckInactive() const {
    if (Active()) DatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::SetActive(bool value) {
    if (value == Active()) return;
    if (value)
        DoOpen();
    else
        DoClose();
}

void TDataSet::DoOpen() {
    Fire(BeforeOpen, *this);
    {
        ScopeFail closeOnFailure([this] { CloseCursor(); });
        OpenCursor(false);
    }
    state_ = dsBrowse;
    modified_ = false;
    InternalFirst();
    bof_ = true;
    eof_ = GetRecord(activeBuffer_, TGetMode::gmNext, true) != TGetResult::grOK;
    DataEvent(TDataEvent::deUpdateState);
    DataEvent(TDataEvent::deDataSetChange);
    Fire(AfterOpen, *this);
}

void TDataSet::DoClose() {
    Fire(BeforeClose, *this);
    state_ = dsInactive;
    modified_ = false;
    bof_ = eof_ = true;
    CloseCursor();
    DataEvent(TDataEvent::deUpdateState);
    Fire(AfterClose, *this);
}

void TDataSet::OpenCursor(bool) {
    if (fields_.empty()) {
        if (fieldDefs_.Count() == 0) InternalInitFieldDefs();
        UpdateFieldDefList();
        CreateFields();
        defaultFields_ = true;
    } else {
        defaultFields_ = false;
        if (fieldDefs_.Count() == 0) InitFieldDefsFromFields();
        UpdateFieldDefList();
    }
    BindFields(true);
    InternalOpen();
    AllocateBuffers();
}

void TDataSet::CloseCursor() {
    FreeBuffers();
    InternalClose();
    BindFields(false);
    if (defaultFields_) {
        DestroyFields();
        defaultFields_ = false;
    }
}

void TDataSet::AllocateBuffers() {
    activeBuffer_ = AllocRecordBuffer();
    tempBuffer_ = AllocRecordBuffer();
    spareBuffer_ = AllocRecordBuffer();
    calcBuffer_ = nullptr;
}

void TDataSet::FreeBuffers() {
    if (activeBuffer_) FreeRecordBuffer(activeBuffer_);
    if (tempBuffer_) FreeRecordBuffer(tempBuffer_);
    if (spareBuffer_) FreeRecordBuffer(spareBuffer_);
    activeBuffer_ = tempBuffer_ = spareBuffer_ = calcBuffer_ = nullptr;
}

// ---------------------------------------------------------------- structure

void TDataSet::UpdateFieldDefList() {
    fieldDefList_ = fieldDefs_.Flattened();
    for (std::size_t i = 0; i < fieldDefList_.size(); ++i) fieldDefList_[i]->FieldNo = static_cast<int>(i) + 1;
}

void TDataSet::AddField(TField* field) { fields_.push_back(field); }

void TDataSet::RemoveField(TField* field) {
    fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
    FieldRemoved(field);
}

TField* TDataSet::FindField(const std::string& name) const {
    for (TField* f : fields_)
        if (CompareTextIgnoreCase(f->FieldName(), name) == 0) return f;
    return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
    TField* f = FindField(name);
    if (!f) DatabaseErrorFmt("Field '%s' not found", name);
    return f;
}

TField* TDataSet::FieldByNumber(int fieldNo) const {
    for (TField* f : fields_)
        if (f->fieldNo_ == fieldNo && fieldNo > 0) return f;
    return nullptr;
}

void TDataSet::InitFieldDefsFromFields() {
    if (fieldDefs_.Count() != 0) return;
    for (TField* f : fields_) {
        if (f->FieldKind() != fkData) continue;
        TFieldDef* d = fieldDefs_.Add(f->FieldName(), f->DataType(), f->Size(), f->Required());
        if (auto* bcd = dynamic_cast<TBCDField*>(f)) d->Precision = bcd->Precision;
    }
    UpdateFieldDefList();
}

void TDataSet::CreateFields() {
    for (TFieldDef* d : fieldDefList_) {
        TField* f = GetFieldClass(d->DataType)(this);
        f->fieldName_ = d->FullName();
        f->dataType_ = d->DataType;
        f->size_ = d->Size;
        f->required_ = d->Required;
        if (auto* bcd = dynamic_cast<TBCDField*>(f)) bcd->Precision = d->Precision;
        f->SetDataSet(this);
    }
}

void TDataSet::DestroyFields() {
    auto list = fields_;
    for (TField* f : list)
        if (f->Owner() == this) delete f;  // unlinks itself
        else f->SetDataSet(nullptr);
}

void TDataSet::BindFields(bool binding) {
    calcFieldsSize_ = 0;
    int calcNo = 0;
    for (TField* f : fields_) {
        if (!binding) {
            f->fieldNo_ = 0;
            f->offset_ = 0;
            continue;
        }
        if (f->FieldKind() == fkData) {
            TFieldDef* def = nullptr;
            for (TFieldDef* d : fieldDefList_)
                if (CompareTextIgnoreCase(d->FullName(), f->FieldName()) == 0) def = d;
            if (!def) DatabaseErrorFmt("Field '%s' not found", f->DisplayName());
            if (def->DataType != f->DataType()) DatabaseErrorFmt("Type mismatch for field '%s'", f->DisplayName());
            f->fieldNo_ = def->FieldNo;
            f->size_ = def->Size;
        } else {
            TFieldType t = f->DataType();
            if (t == ftVariant || t == ftWideString || t == ftUnknown || t == ftADT || t == ftDataSet || (t >= ftBlob && t <= ftTypedBinary) || t == ftOraBlob || t == ftOraClob)
                DatabaseErrorFmt("Field '%s' cannot be a calculated or lookup field", f->DisplayName());
            f->fieldNo_ = -(calcNo++);
            f->offset_ = calcFieldsSize_;
            calcFieldsSize_ += f->GetDataSize() + 1;
        }
    }
}

// ---------------------------------------------------------------- navigation

void TDataSet::UpdateCursorPos() {
    if (activeBuffer_ && !(bof_ && eof_) && state_ != dsInsert) InternalSetToRecord(activeBuffer_);
}

void TDataSet::ReadCurrentRecord() {
    UpdateCursorPos();
    TGetResult r = GetRecord(activeBuffer_, TGetMode::gmCurrent, false);
    if (r != TGetResult::grOK) r = GetRecord(activeBuffer_, TGetMode::gmNext, false);
    if (r != TGetResult::grOK) r = GetRecord(activeBuffer_, TGetMode::gmPrior, false);
    if (r == TGetResult::grOK) {
        if (bof_ && eof_) bof_ = eof_ = false;
    } else {
        bof_ = eof_ = true;
        InternalInitRecord(activeBuffer_);
    }
}

void TDataSet::First() {
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll, *this);
    InternalFirst();
    bof_ = true;
    eof_ = GetRecord(activeBuffer_, TGetMode::gmNext, true) != TGetResult::grOK;
    DataEvent(TDataEvent::deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll, *this);
    InternalLast();
    eof_ = true;
    bof_ = GetRecord(activeBuffer_, TGetMode::gmPrior, true) != TGetResult::grOK;
    DataEvent(TDataEvent::deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

int TDataSet::MoveBy(int distance) {
    CheckActive();
    CheckBrowseMode();
    int moved = 0;
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        Fire(BeforeScroll, *this);
        UpdateCursorPos();
        bof_ = eof_ = false;
        while (distance > 0) {
            if (GetRecord(spareBuffer_, TGetMode::gmNext, true) != TGetResult::grOK) {
                eof_ = true;
                break;
            }
            std::swap(spareBuffer_, activeBuffer_);
            ++moved;
            --distance;
        }
        while (distance < 0) {
            if (GetRecord(spareBuffer_, TGetMode::gmPrior, true) != TGetResult::grOK) {
                bof_ = true;
                break;
            }
            std::swap(spareBuffer_, activeBuffer_);
            --moved;
            ++distance;
        }
        if (moved != 0) DataEvent(TDataEvent::deDataSetScroll, moved);
        DoAfterScroll();
    }
    return moved;
}

void TDataSet::CursorMoved() {
    TGetResult r = GetRecord(activeBuffer_, TGetMode::gmCurrent, false);
    if (r == TGetResult::grOK)
        bof_ = eof_ = false;
    else
        ReadCurrentRecord();
    DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::Resync() {
    CheckActive();
    ReadCurrentRecord();
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    Resync();
    DataEvent(TDataEvent::deDataSetChange);
}

// ---------------------------------------------------------------- editing

void TDataSet::CheckEditState() const {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
        DatabaseError("Dataset not in edit or insert mode");
}

void TDataSet::Edit() {
    CheckActive();
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    CheckBrowseMode();
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset");
    Fire(BeforeEdit, *this);
    UpdateCursorPos();
    InternalEdit();
    SetState(dsEdit);
    DataEvent(TDataEvent::deRecordChange);
    Fire(AfterEdit, *this);
}

void TDataSet::Insert() { BeginInsert(false); }

void TDataSet::Append() { BeginInsert(true); }

void TDataSet::BeginInsert(bool append) {
    CheckActive();
    CheckBrowseMode();
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset");
    Fire(BeforeInsert, *this);
    Fire(BeforeScroll, *this);
    // Inserting goes before the current record; appending after the last one.
    if (append) InternalLast();
    else UpdateCursorPos();
    InternalInsert();
    InitRecord(activeBuffer_);
    if (append) SetBookmarkFlag(activeBuffer_, bfEOF);
    SetState(dsInsert);
    {
        ScopeFail cancelOnFailure([this] { Cancel(); });
        DoOnNewRecord();
    }
    modified_ = false;
    DataEvent(TDataEvent::deDataSetChange);
    Fire(AfterInsert, *this);
    DoAfterScroll();
}

void TDataSet::UpdateRecord() {
    CheckEditState();
    DataEvent(TDataEvent::deUpdateRecord);
}

void TDataSet::CheckRequiredFields() {
    for (TField* f : fields_)
        if (f->FieldKind() == fkData && f->Required() && !f->ReadOnly() && f->IsNull())
            DatabaseErrorFmt("Field '%s' must have a value", f->DisplayName());
}

void TDataSet::Post() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    UpdateRecord();
    DataEvent(TDataEvent::deCheckBrowseMode);
    DoBeforePost();
    CheckRequiredFields();
    InternalPost();
    SetState(dsBrowse);
    ReadCurrentRecord();
    DataEvent(TDataEvent::deDataSetChange);
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    Fire(BeforeCancel, *this);
    InternalCancel();
    SetState(dsBrowse);
    ReadCurrentRecord();
    DataEvent(TDataEvent::deDataSetChange);
    Fire(AfterCancel, *this);
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert) {
        Cancel();
        return;
    }
    if (IsEmpty()) DatabaseError("Cannot perform this operation on an empty dataset");
    if (state_ != dsEdit && state_ != dsBrowse) CheckBrowseMode();
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset");
    Fire(BeforeDelete, *this);
    Fire(BeforeScroll, *this);
    UpdateCursorPos();
    InternalDelete();
    SetState(dsBrowse);
    ReadCurrentRecord();
    DataEvent(TDataEvent::deDataSetChange);
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(TDataEvent::deCheckBrowseMode);
    if (state_ == dsEdit || state_ == dsInsert) {
        UpdateRecord();
        if (modified_)
            Post();
        else
            Cancel();
    } else if (state_ == dsSetKey) {
        SetState(dsBrowse);
    }
}

// ---------------------------------------------------------------- bookmarks

TBookmark TDataSet::GetBookmark() {
    if (!Active() || (bof_ && eof_) || bookmarkSize_ <= 0) return {};
    if (GetBookmarkFlag(activeBuffer_) != bfCurrent) return {};
    TBookmark b(static_cast<std::size_t>(bookmarkSize_));
    GetBookmarkData(activeBuffer_, b.data());
    return b;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    if (static_cast<int>(bookmark.size()) < bookmarkSize_) DatabaseError("Invalid bookmark");
    Fire(BeforeScroll, *this);
    InternalGotoBookmark(bookmark.data());
    CursorMoved();
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) { return false; }

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return -1;
    if (b.empty()) return 1;
    return a < b ? -1 : (b < a ? 1 : 0);
}

// ---------------------------------------------------------------- searching

bool TDataSet::Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
    CheckBrowseMode();
    std::vector<TField*> fields;
    for (const auto& n : SplitNames(keyFields)) fields.push_back(FieldByName(n));
    if (fields.empty()) DatabaseError("No key fields");
    auto keys = LocateKeys(fields.size(), keyValues);
    TBookmark saved = GetBookmark();
    bool found = false;
    DisableControls();
    ScopeExit enable([this] { EnableControls(); });
    First();
    while (!eof_ && !found) {
        found = true;
        for (std::size_t i = 0; i < fields.size() && found; ++i)
            found = LocateValueMatches(fields[i]->GetAsVariant(), keys[i], options);
        if (!found) Next();
    }
    if (!found && !saved.empty()) GotoBookmark(saved);
    return found;
}

Variant TDataSet::Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultField) {
    TBookmark saved = GetBookmark();
    Variant result = Variant::Null();
    DisableControls();
    ScopeExit enable([this] { EnableControls(); });
    if (Locate(keyFields, keyValues)) result = FieldByName(resultField)->GetAsVariant();
    if (!saved.empty()) GotoBookmark(saved);
    return result;
}

// ---------------------------------------------------------------- controls and events

void TDataSet::DisableControls() { ++disableCount_; }

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        DataEvent(TDataEvent::deUpdateState);
        DataEvent(TDataEvent::deDataSetChange);
    }
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
    if (event == TDataEvent::deFieldChange) {
        auto* field = reinterpret_cast<TField*>(info);
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) {
            modified_ = true;
            if (calcFieldsSize_ > 0 && activeBuffer_ && (state_ == dsEdit || state_ == dsInsert)) GetCalcFields(activeBuffer_);
        }
        field->Change();
    }
    if (disableCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    auto sources = dataSources_;
    for (TDataSource* s : sources) s->DataEvent(event, info);
}

void TDataSet::DataChanged(TField* field) { DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field)); }

void TDataSet::SetState(TDataSetState value) {
    if (state_ == value) return;
    state_ = value;
    modified_ = false;
    DataEvent(TDataEvent::deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
    TDataSetState old = state_;
    state_ = value;
    return old;
}

void TDataSet::RestoreState(TDataSetState value) { state_ = value; }

// ---------------------------------------------------------------- records and fields

void TDataSet::InitRecord(TRecordBuffer buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
}

void TDataSet::ClearCalcFields(TRecordBuffer) {}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
    bool any = false;
    for (TField* f : fields_) any = any || f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup;
    if (!any && !OnCalcFields) return;
    TDataSetState saved = SetTempState(dsCalcFields);
    TRecordBuffer savedCalc = calcBuffer_;
    calcBuffer_ = buffer;
    ScopeExit restore([this, savedCalc, saved] {
        calcBuffer_ = savedCalc;
        RestoreState(saved);
    });
    ClearCalcFields(buffer);
    CalculateFields(buffer);
}

void TDataSet::CalculateFields(TRecordBuffer) {
    for (TField* f : fields_) {
        if (f->FieldKind() != fkLookup || !f->LookupDataSet || !f->LookupDataSet->Active()) continue;
        auto names = SplitNames(f->KeyFields);
        if (names.empty()) continue;
        Variant key;
        if (names.size() == 1) {
            key = FieldByName(names[0])->GetAsVariant();
        } else {
            key = Variant::MakeArray(VT_VARIANT, 0, static_cast<std::int32_t>(names.size()) - 1);
            for (std::size_t i = 0; i < names.size(); ++i)
                key.PutElement(static_cast<std::int32_t>(i), FieldByName(names[i])->GetAsVariant());
        }
        if (key.IsEmptyOrNull()) continue;
        f->SetAsVariant(f->LookupDataSet->Lookup(f->LookupKeyFields, key, f->LookupResultField));
    }
    Fire(OnCalcFields, *this);
}

bool TDataSet::GetFieldData(TField* field, void* buffer, bool) { return GetFieldData(field, buffer); }

void TDataSet::SetFieldData(TField* field, const void* buffer, bool) { SetFieldData(field, buffer); }

Variant TDataSet::GetStateFieldValue(TDataSetState state, TField* field) {
    TDataSetState saved = SetTempState(state);
    ScopeExit restore([this, saved] { RestoreState(saved); });
    return field->GetAsVariant();
}

}  // namespace kubrix
