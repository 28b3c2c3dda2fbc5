#include "dataset/QelODBCClient.h"

#include <algorithm>
#include <cstring>

#include "dataset/ClientIndex.h"
#include "dataset/AccessManager.h"
#include "dataset/ClientIndex2.h"
#include "dataset/ODBCClientTree2.h"
#include "dataset/ODBCFields.h"
#include "odbc/ODBCQuery.h"
#include "support/Errors.h"
#include "support/ScopeGuard.h"

namespace kubrix {

TQelODBCClient::TQelODBCClient(TComponent* owner)
    : TDataSet(owner),
      select_(std::make_unique<TQelODBCQuery>()),
      resync_(std::make_unique<TQelODBCQuery>()),
      delete_(std::make_unique<TQelODBCQuery>()),
      insert_(std::make_unique<TQelODBCQuery>()),
      expression_(std::make_unique<TQelExpration>()) {
    expression_->SetDataSet(this);
    for (TQelODBCQuery* q : {select_.get(), resync_.get(), delete_.get(), insert_.get()}) {
        q->OnODBCError = [this](const std::string& s, const std::string& m) { CheckODBCError(s, m); };
        q->OnParamNameChange = [this](TQelODBCParam& p) { CheckParamName(p); };
    }
    delete_->FetchRows = false;
}

TQelODBCClient::~TQelODBCClient() {
    try {
        DetachLinks();
        SetConnection(nullptr);
        Close();
    } catch (...) {
        // A handler failing during destruction must not stop the release of the records.
    }
    if (Tree) Tree->SetDataSet(nullptr);
    ClearRecords();
    orderKeys_.clear();
    for (TQelODBCClientIndex* index : std::vector<TQelODBCClientIndex*>(Indexes)) index->SetData(nullptr);
    if (SecondIndex) SecondIndex->SetIndexData(nullptr);
}

void TQelODBCClient::Notification(TComponent* component, TOperation operation) {
    TDataSet::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    Indexes.erase(std::remove_if(Indexes.begin(), Indexes.end(),
                                 [&](TQelODBCClientIndex* i) { return static_cast<TComponent*>(i) == component; }),
                  Indexes.end());
    if (SecondIndex && static_cast<TComponent*>(SecondIndex) == component) SecondIndex = nullptr;
    if (dataFrom_ && static_cast<TComponent*>(dataFrom_) == component) {
        Close();
        dataFrom_ = nullptr;
        AllocRecordData = true;
    }
    if (masterData_ && static_cast<TComponent*>(masterData_) == component) masterData_ = nullptr;
    if (nestedParent_ && static_cast<TComponent*>(nestedParent_) == component) nestedParent_ = nullptr;
    const auto same = [component](TQelODBCClient* c) { return static_cast<TComponent*>(c) == component; };
    DataClients.erase(std::remove_if(DataClients.begin(), DataClients.end(), same), DataClients.end());
    Details.erase(std::remove_if(Details.begin(), Details.end(), same), Details.end());
    if (accessManager_ && static_cast<TComponent*>(accessManager_) == component) accessManager_ = nullptr;
}

TFieldClass TQelODBCClient::GetFieldClass(TFieldType type) const { return QelODBCFieldClass(type); }

// ---------------------------------------------------------------- layout

void TQelODBCClient::CalcDataSize(const TFieldDef* def, int& total) {
    if (IsStoredType(def->DataType)) total += static_cast<int>(CalcFieldLenWide(def->DataType, def->Size)) + 1;
    if (def->HasChildDefs()) {
        auto& children = const_cast<TFieldDef*>(def)->ChildDefs();
        for (int i = 0; i < children.Count(); ++i) CalcDataSize(children.Items(i), total);
    }
}

int TQelODBCClient::CalcRecordSize() const {
    int total = 0;
    auto& defs = const_cast<TQelODBCClient*>(this)->FieldDefs();
    for (int i = 0; i < defs.Count(); ++i) CalcDataSize(defs.Items(i), total);
    return total;
}

void TQelODBCClient::InitFieldDefsFromFields() {
    if (FieldDefs().Count() == 0) {
        for (TField* f : Fields())
            if (f->FieldKind() == fkData && !IsSupportedType(f->DataType()))
                DatabaseErrorFmt("Field '%s' is of an unknown type", f->DisplayName());
        orderKeys_.clear();
        TDataSet::InitFieldDefsFromFields();
    }
    UpdateFieldDefList();
    for (TField* f : Fields()) f->SetSlotLength(0);
    FieldOffsets.clear();
    std::int64_t offset = 0;
    for (TFieldDef* d : FieldDefList()) {
        FieldOffsets.push_back(static_cast<std::int32_t>(std::min<std::int64_t>(offset, INT32_MAX)));
        if (IsStoredType(d->DataType)) offset += static_cast<std::int64_t>(CalcFieldLenWide(d->DataType, d->Size)) + 1;
    }
    if (offset > 0xFFFF) DatabaseError("Record size " + std::to_string(offset) + " exceeds 65535 bytes");
}

void TQelODBCClient::LayOutSlots() {
    // Each stored definition in order; a field whose slot was widened brings its own length.
    FieldOffsets.clear();
    std::int64_t offset = 0;
    for (TFieldDef* d : FieldDefList()) {
        FieldOffsets.push_back(static_cast<std::int32_t>(std::min<std::int64_t>(offset, INT32_MAX)));
        if (!IsStoredType(d->DataType)) continue;
        const TField* f = FindField(d->FullName());
        offset += static_cast<std::int64_t>(f && AsODBCField(f) ? f->SlotLength() : CalcFieldLenWide(d->DataType, d->Size)) + 1;
    }
    if (offset > 0xFFFF) DatabaseError("Record size " + std::to_string(offset) + " exceeds 65535 bytes");
    BindFieldSlots();
    RecordSize = static_cast<std::uint16_t>(offset);
    InitBufferPointers(false);
}

void TQelODBCClient::BindFieldSlots() {
    variantSlots_.clear();
    const auto& defs = FieldDefList();
    for (std::size_t i = 0; i < defs.size() && i < FieldOffsets.size(); ++i)
        if (defs[i]->DataType == ftVariant) variantSlots_.push_back(FieldOffsets[i] + 1);
    for (TField* f : Fields()) {
        if (f->FieldKind() != fkData) continue;
        IODBCField* odbc = AsODBCField(f);
        if (!odbc) continue;
        odbc->SetDataOfs(-1);
        if (!IsStoredType(f->DataType())) continue;
        for (std::size_t i = 0; i < defs.size() && i < FieldOffsets.size(); ++i)
            if (defs[i]->FullName() == f->FieldName()) odbc->SetDataOfs(FieldOffsets[i]);
    }
}

void TQelODBCClient::InitBufferPointers(bool recompute) {
    if (recompute) {
        int size = CalcRecordSize();
        if (size > 0xFFFF) DatabaseError("Record size " + std::to_string(size) + " exceeds 65535 bytes");
        RecordSize = static_cast<std::uint16_t>(size);
    }
    BookmarkOfs = RecordSize + CalcFieldsSize();
    BlobOfs = BookmarkOfs + 8;
    ChangedOfs = BlobOfs;  // blob values are kept beside the buffer
    RecIndexOfs = ChangedOfs + FieldCount();
    RecBufSize = RecIndexOfs + 4;
}

std::uint8_t* TQelODBCClient::FindFieldData(std::uint8_t* area, const TField* field) {
    if (!area) return nullptr;
    IODBCField* f = AsODBCField(field);
    if (!f) return nullptr;
    std::int32_t ofs = f->GetDataOfs();
    return ofs < 0 ? nullptr : area + ofs;
}

int TQelODBCClient::BlobSlotOf(const TField* field) const {
    for (std::size_t i = 0; i < BlobFields.size(); ++i)
        if (BlobFields[i] == field) return static_cast<int>(i);
    return -1;
}

void* TQelODBCClient::GetRecordFieldData(const TField* field, int index) {
    TMemoryRecord* rec = GetMemoryRecord(index);
    if (field->DataType() == ftMemo) {
        int slot = BlobSlotOf(field);
        return slot >= 0 && rec->Blobs ? &rec->Blobs[slot] : nullptr;
    }
    return FindFieldData(rec->Data, field);
}

void TQelODBCClient::ReleaseVariantSlots(std::uint8_t* area) const {
    if (!area) return;
    for (std::int32_t ofs : variantSlots_) VariantSlotClear(area + ofs);
}

void TQelODBCClient::CopyDataArea(std::uint8_t* dst, const std::uint8_t* src) const {
    if (dst == src) return;
    ReleaseVariantSlots(dst);
    if (src)
        std::memcpy(dst, src, RecordSize);
    else
        std::memset(dst, 0, RecordSize);
    if (src)
        for (std::int32_t ofs : variantSlots_) VariantSlotDetach(dst + ofs);
}

// ---------------------------------------------------------------- open and close

void TQelODBCClient::OpenCursor(bool infoQuery) {
    if (FieldCount() > 0) FieldDefs().Clear();
    InitFieldDefsFromFields();
    CursorOpen = true;
    ScopeFail closedOnFailure([this] { CursorOpen = false; });
    TDataSet::OpenCursor(infoQuery);
}

void TQelODBCClient::InternalOpen() {
    SetBookmarkSize(4);
    BlobFields.clear();
    TotalFields.clear();
    for (TField* f : Fields()) {
        if (f->FieldKind() != fkData) continue;
        if (!IsSupportedType(f->DataType())) DatabaseErrorFmt("Field '%s' is of an unknown type", f->DisplayName());
        if (f->DataType() == ftBlob || f->DataType() == ftMemo) BlobFields.push_back(f);
        if ((dynamic_cast<TQelODBCBCDField*>(f) && static_cast<TQelODBCBCDField*>(f)->calc_total()) ||
            (dynamic_cast<TQelODBCIntegerField*>(f) && static_cast<TQelODBCIntegerField*>(f)->calc_total()) ||
            (dynamic_cast<TQelODBCSmallintField*>(f) && static_cast<TQelODBCSmallintField*>(f)->calc_total()))
            TotalFields.push_back(f);
    }
    BindFieldSlots();
    BlobCount = static_cast<int>(BlobFields.size());
    InitBufferPointers(true);
    if (dataFrom_) AdoptSourceLayout();
    if (!DataLoaded) LoadData();
    if (AfterDataLoad) {
        if (!DoResyncRecordOnFirstAccess) AfterDataLoad(*this);
    } else if (OnInitRecord) {
        for (int i = 0; i < RealRecordCount(); ++i) OnInitRecord(*this, i);
    }
    if (Tree) {
        // The tree finds parents through its key index, and then keeps the order itself.
        RebuildIndexes();
        Tree->CreateTree();
        InternalRefreshOrderBy();
    } else {
        InternalRefreshOrderBy();
        RebuildIndexes();
    }
    if (Filtered()) ApplyFilter(Filter());
    CalcTotals();
    RecordPos = -1;
}

void TQelODBCClient::RebuildIndexes() {
    for (TQelODBCClientIndex* index : Indexes) index->CreateData();
}

void TQelODBCClient::CheckUniqueIndexes(const std::uint8_t* area, const TMemoryRecord* self) const {
    for (const TQelODBCClientIndex* index : Indexes) index->CheckAdd(area, self);
}

void TQelODBCClient::InternalClose() {
    ClearRecords();
    // The next open loads new records and may bring other fields: the filter is compiled again.
    ResetFilterExpression();
    for (TQelODBCClientIndex* index : Indexes) index->DataClosed();
    for (TField* f : Fields()) {
        if (IODBCField* odbc = AsODBCField(f)) odbc->SetDataOfs(-1);
        f->SetSlotLength(0);
    }
    BlobFields.clear();
    BlobCount = 0;
    variantSlots_.clear();
    orderKeys_.clear();
    CursorOpen = false;
    DataLoaded = false;
    ColumnMap.clear();
    NextAutoIncValue = 1;
    for (TField* f : TotalFields)
        if (f->DataSet() == this) SetTotal(f, Variant::Null());
    TotalFields.clear();
}

// ---------------------------------------------------------------- records

TMemoryRecord* TQelODBCClient::AddRecord() {
    TouchStore();
    // Room first, so that the pushes below cannot fail; grown by doubling, since a reserve of
    // one more would copy the whole list at every record.
    const auto roomForOneMore = [](auto& list) {
        if (list.size() == list.capacity()) list.reserve(std::max<std::size_t>(16, list.size() * 2));
    };
    if (UnfilteredRecords) roomForOneMore(*UnfilteredRecords);
    roomForOneMore(recordStore_);
    auto rec = std::make_unique<TMemoryRecord>(this, true);
    TMemoryRecord* r = rec.get();
    recordStore_.push_back(std::move(rec));
    if (UnfilteredRecords) UnfilteredRecords->push_back(r);
    return r;
}

TMemoryRecord* TQelODBCClient::InsertRecord(int index) {
    if (index < 0 || index > RealRecordCount()) ListIndexError(index);
    TMemoryRecord* rec = AddRecord();
    rec->SetIndex(index);
    return rec;
}

TMemoryRecord* TQelODBCClient::GetMemoryRecord(int index) const {
    if (index < 0 || index >= RealRecordCount()) ListIndexError(index);
    return Records[static_cast<std::size_t>(index)];
}

TMemoryRecord* TQelODBCClient::FindRecordID(std::int32_t id) const {
    int i = FindRecordID_(id);
    return i < 0 ? nullptr : Records[static_cast<std::size_t>(i)];
}

int TQelODBCClient::FindRecordID_(std::int32_t id) const {
    // Mostly asked for the cursor's own record (every edit and post puts the cursor on it).
    if (RecordPos >= 0 && RecordPos < RealRecordCount() && Records[static_cast<std::size_t>(RecordPos)]->RecordID == id)
        return RecordPos;
    for (std::size_t i = 0; i < Records.size(); ++i)
        if (Records[i]->RecordID == id) return static_cast<int>(i);
    return -1;
}

TMemoryRecord* TQelODBCClient::CopyRecord(TMemoryRecord* record) {
    if (!record) DatabaseError("No record to copy");
    TMemoryRecord* main = record->MainRecord() ? record->MainRecord() : record;
    TMemoryRecord* copy = AddRecord();
    copy->SetMainRecord(main);
    if (!record->OwnsData()) {
        // Shared data stays shared: the copy points at the same source row.
        copy->ShareData(record->Data, record->Blobs);
        return copy;
    }
    if (record->Data) {
        copy->EnsureData(RecordSize);
        CopyDataArea(copy->Data, record->Data);
    }
    if (record->Blobs && BlobCount > 0) {
        copy->EnsureBlobs(static_cast<std::size_t>(BlobCount));
        for (int i = 0; i < BlobCount; ++i) copy->Blobs[i] = record->Blobs[i];
    }
    return copy;
}

void TQelODBCClient::RemoveRecord(int index) {
    TMemoryRecord* rec = GetMemoryRecord(index);
    TouchStore();
    // Views first: a view that lost track of the record refuses before anything goes.
    if (!DataClients.empty() && !rec->MainRecord()) SourceRemoving(rec);
    for (TQelODBCClientIndex* keyIndex : Indexes) keyIndex->Delete(rec);
    Records.erase(Records.begin() + index);
    if (UnfilteredRecords) {
        auto& all = *UnfilteredRecords;
        all.erase(std::remove(all.begin(), all.end(), rec), all.end());
    }
    // Newer records are removed more often: search the store from its end.
    auto owned = std::find_if(recordStore_.rbegin(), recordStore_.rend(), [rec](const auto& p) { return p.get() == rec; });
    ChangedRecords.erase(std::remove(ChangedRecords.begin(), ChangedRecords.end(), rec), ChangedRecords.end());
    if (owned != recordStore_.rend()) recordStore_.erase(std::next(owned).base());
    if (Records.empty() && (!UnfilteredRecords || UnfilteredRecords->empty())) LastRecordID = kNoRecordID;
}

void TQelODBCClient::ClearRecords() {
    TouchStore();
    if (!DataClients.empty()) CloseClients();  // views share the data about to be freed
    if (Tree) Tree->FreeData();  // its nodes point at the records
    for (TQelODBCClientIndex* index : Indexes) index->ClearData();
    if (UnfilteredRecords) {
        Records = std::move(*UnfilteredRecords);
        UnfilteredRecords.reset();
    }
    Records.clear();
    ChangedRecords.clear();
    recordStore_.clear();
    LastRecordID = kNoRecordID;
    RecordPos = -1;
}

void TQelODBCClient::SetCapacity(int value) {
    if (value < 0) throw EListError("List capacity out of bounds (" + std::to_string(value) + ")");
    if (static_cast<std::size_t>(value) > Records.capacity()) Records.reserve(static_cast<std::size_t>(value));
    // The store holds every record of the list (and those deleted from it).
    const std::size_t more = static_cast<std::size_t>(value) - std::min(Records.size(), static_cast<std::size_t>(value));
    if (recordStore_.size() + more > recordStore_.capacity()) recordStore_.reserve(recordStore_.size() + more);
}


// ---------------------------------------------------------------- searching

int TQelODBCClient::FindMatch(const std::string& keyFields, const Variant& keyValues, const TLocateOptions& options) {
    std::vector<TField*> fields;
    for (const auto& n : SplitFieldNames(keyFields)) fields.push_back(FieldByName(n));
    if (fields.empty()) DatabaseError("No key fields");
    auto keys = LocateKeys(fields.size(), keyValues);
    Variant v;
    for (int i = 0; i < RealRecordCount(); ++i) {
        TMemoryRecord* rec = Records[static_cast<std::size_t>(i)];
        if (!IsRecordVisible(rec)) continue;
        bool match = true;
        for (std::size_t k = 0; k < fields.size() && match; ++k) {
            GetFieldValueFromBuffer(fields[k], rec, v, "new");
            match = LocateValueMatches(v, keys[k], options);
        }
        if (match) return i;
    }
    return -1;
}

Variant TQelODBCClient::Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultField) {
    CheckActive();
    int index = FindMatch(keyFields, keyValues, {});
    Variant v = Variant::Null();
    if (index >= 0) GetFieldValueFromBuffer(FieldByName(resultField), index, v, "new");
    return v;
}

// ---------------------------------------------------------------- editing

void TQelODBCClient::InternalInsert() { insertIndex_ = RecordPos; }

void TQelODBCClient::InternalCancel() {}

void TQelODBCClient::DoAfterDelete() {
    if (correctPending_) {
        correctPending_ = false;
        if (Tree && Tree->Built()) {
            TTreeNode* parent = correctParent_ ? Tree->NodeOf(correctParent_) : Tree->Root();
            if (parent) Tree->CorrectOrders(parent);
        }
    }
    TDataSet::DoAfterDelete();
}

// ---------------------------------------------------------------- bookmarks and record numbers

void TQelODBCClient::GetBookmarkData(TRecordBuffer buffer, void* data) { std::memcpy(data, buffer + BookmarkOfs, 4); }

void TQelODBCClient::SetBookmarkData(TRecordBuffer buffer, const void* data) { std::memcpy(buffer + BookmarkOfs, data, 4); }

TBookmarkFlag TQelODBCClient::GetBookmarkFlag(TRecordBuffer buffer) {
    return static_cast<TBookmarkFlag>(buffer[BookmarkOfs + 4]);
}

void TQelODBCClient::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) { buffer[BookmarkOfs + 4] = flag; }

void TQelODBCClient::InternalGotoBookmark(const void* bookmark) {
    std::int32_t id;
    std::memcpy(&id, bookmark, 4);
    int index = FindRecordID_(id);
    if (index < 0) return;
    int old = RecordPos;
    RecordPos = index;
    if (!IsRecordVisible(Records[static_cast<std::size_t>(index)])) RecordPos = old;
}

void TQelODBCClient::InternalSetToRecord(TRecordBuffer buffer) { InternalGotoBookmark(buffer + BookmarkOfs); }

bool TQelODBCClient::BookmarkValid(const TBookmark& bookmark) {
    if (!CursorOpen || bookmark.size() < 4) return false;
    std::int32_t id;
    std::memcpy(&id, bookmark.data(), 4);
    if (id == kNoRecordID || id > LastRecordID) return false;
    TMemoryRecord* rec = FindRecordID(id);
    return rec && IsRecordVisible(rec);
}

int TQelODBCClient::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    auto idOf = [](const TBookmark& bm) {
        std::int32_t id = kNoRecordID;
        if (bm.size() >= 4) std::memcpy(&id, bm.data(), 4);
        return id;
    };
    std::int32_t ia = idOf(a), ib = idOf(b);
    if (ia == kNoRecordID && ib == kNoRecordID) return 0;
    if (ib == kNoRecordID) return 1;
    if (ia == kNoRecordID) return -1;
    if (ia == ib) return 0;
    int pa = FindRecordID_(ia), pb = FindRecordID_(ib);
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

int TQelODBCClient::GetRecNo() {
    CheckActive();
    UpdateCursorPos();
    if (RecordPos == -1) return RealRecordCount() > 0 ? 1 : 0;
    return RecordPos + 1;
}

void TQelODBCClient::SetRecNoImpl(int value) {
    if (value < 1 || value > RealRecordCount()) return;
    CheckBrowseMode();
    if (BeforeScroll) BeforeScroll(*this);
    RecordPos = value - 1;
    CursorMoved();
    DoAfterScroll();
}

int TQelODBCClient::GetRecordCount() {
    CheckActive();
    return RealRecordCount() + (State() == dsInsert ? 1 : 0);
}

}  // namespace kubrix
