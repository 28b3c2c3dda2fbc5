// Datasets that depend on another one: a view (DataFrom) shows the source's records, sharing
// their data areas and blob values, and follows the source's appends, removals, edits and
// closing; a detail (MasterData) takes its select parameters from the master's current record
// and is opened again when the master moves to a record with other values.
#include <algorithm>

#include "dataset/ClientIndex.h"
#include "dataset/ODBCClientTree2.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCQuery.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/ScopeGuard.h"
#include "support/Text.h"
#include "support/VariantOps.h"

namespace kubrix {
namespace {

constexpr const char* kMsgMasterInserting = "Ошибка инициализации параметров данных";
constexpr const char* kMsgNoRecord = "Не найдена запись";

template <class T>
void EraseValue(std::vector<T*>& list, const T* value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

}  // namespace

// ---------------------------------------------------------------- links

void TQelODBCClient::SetDataFrom(TQelODBCClient* source) {
    if (source == dataFrom_) return;
    if (source == this) DatabaseError("A dataset cannot show its own records");
    CheckInactive();
    if (dataFrom_) {
        EraseValue(dataFrom_->DataClients, this);
        RemoveFreeNotification(dataFrom_);
    }
    dataFrom_ = source;
    if (source) {
        // The view reads the source's data areas: its definitions are the source's.
        DestroyFields();
        FieldDefs().Clear();
        auto& defs = source->FieldDefs();
        for (int i = 0; i < defs.Count(); ++i) {
            const TFieldDef* d = defs.Items(i);
            TFieldDef* copy = FieldDefs().Add(d->Name, d->DataType, d->Size, d->Required);
            copy->Precision = d->Precision;
        }
        UpdateFieldDefList();
        source->DataClients.push_back(this);
        FreeNotification(source);
    }
    AllocRecordData = source == nullptr;
}

void TQelODBCClient::SetMasterData(TQelODBCClient* master) {
    if (master == masterData_) return;
    if (master == this) DatabaseError("A dataset cannot be its own master");
    if (masterData_) {
        EraseValue(masterData_->Details, this);
        RemoveFreeNotification(masterData_);
    }
    masterData_ = master;
    if (master) {
        if (std::find(master->Details.begin(), master->Details.end(), this) == master->Details.end())
            master->Details.push_back(this);
        FreeNotification(master);
    }
}

void TQelODBCClient::DetachLinks() {
    // Views close: their records point at this dataset's data.
    for (TQelODBCClient* client : std::vector<TQelODBCClient*>(DataClients)) {
        try {
            client->Close();
        } catch (...) {
            // A view's close handler failing must not keep it on data about to be freed.
        }
        client->dataFrom_ = nullptr;
        client->AllocRecordData = true;
        client->RemoveFreeNotification(this);
    }
    DataClients.clear();
    for (TQelODBCClient* detail : Details) {
        detail->masterData_ = nullptr;
        detail->RemoveFreeNotification(this);
    }
    Details.clear();
    SetMasterData(nullptr);
    SetNestedParent(nullptr);
    if (dataFrom_) {
        EraseValue(dataFrom_->DataClients, this);
        RemoveFreeNotification(dataFrom_);
        dataFrom_ = nullptr;
    }
}

// ---------------------------------------------------------------- master and detail

void TQelODBCClient::SetNestedParent(TQelODBCClient* parent) {
    if (parent == nestedParent_) return;
    if (parent == this) DatabaseError("A dataset cannot be nested in itself");
    if (nestedParent_) RemoveFreeNotification(nestedParent_);
    nestedParent_ = parent;
    if (parent) FreeNotification(parent);
}

void TQelODBCClient::TakeNestedParams() {
    TQelODBCClient& parent = *nestedParent_;
    if (!parent.Active()) return;
    TQelODBCParams& params = SQL_Select_Params();
    for (int i = 0; i < params.Count(); ++i) {
        const std::string& name = params[i].GetName();
        const bool old = name.size() > 4 && CompareTextIgnoreCase(name.substr(0, 4), "OLD_") == 0;
        TField* field = parent.FindField(old ? name.substr(4) : name);
        if (!field) continue;
        params[i].Value = old ? parent.GetStateFieldValue(dsOldValue, field) : field->AsVariant();
    }
}

bool TQelODBCClient::TakeMasterParams() {
    MasterEmpty = false;
    if (nestedParent_) TakeNestedParams();
    if (!masterData_) return true;
    if (masterData_->State() == dsInsert) throw Exception(kMsgMasterInserting);
    if (!masterData_->Active() || masterData_->IsEmpty()) {
        MasterEmpty = true;
        return false;
    }
    TQelODBCParams& params = SQL_Select_Params();
    for (int i = 0; i < params.Count(); ++i)
        if (TField* field = masterData_->FindField(params[i].GetName())) params[i].Value = field->AsVariant();
    return true;
}

bool TQelODBCClient::MasterParamsChanged(TQelODBCClient* detail) {
    TQelODBCParams& params = detail->SQL_Select_Params();
    const bool empty = !Active() || IsEmpty();
    for (int i = 0; i < params.Count(); ++i) {
        TField* field = FindField(params[i].GetName());
        if (!field) continue;
        const Variant current = empty ? Variant::Null() : field->AsVariant();
        if (current.IsEmptyOrNull() != params[i].Value.IsEmptyOrNull()) return true;
        if (!current.IsEmptyOrNull() && VarCompare(current, params[i].Value) != 0) return true;
    }
    return false;
}

void TQelODBCClient::RefreshDetails() {
    for (TQelODBCClient* detail : std::vector<TQelODBCClient*>(Details)) {
        if (!(detail->Active() || detail->MasterEmpty) || !MasterParamsChanged(detail)) continue;
        detail->DisableControls();
        ScopeExit enable([detail] { detail->EnableControls(); });
        detail->Close();
        detail->Open();
    }
}

void TQelODBCClient::DoAfterScroll() {
    RecordPos = GetActiveRecordIndex();
    if (State() != dsInsert) RefreshDetails();
    TDataSet::DoAfterScroll();
}

// ---------------------------------------------------------------- views

void TQelODBCClient::AdoptSourceLayout() {
    TQelODBCClient& source = *dataFrom_;
    if (!source.Active()) source.Open();
    // Every stored field reads the source field of its name at the source's offset.
    for (TField* f : Fields()) {
        IODBCField* odbc = AsODBCField(f);
        if (f->FieldKind() != fkData || !odbc || !IsStoredType(f->DataType())) continue;
        TField* sf = source.FindField(f->FieldName());
        IODBCField* sodbc = AsODBCField(sf);
        if (!sf || !sodbc || sf->DataType() != f->DataType())
            DatabaseErrorFmt("Field '%s' not found", f->DisplayName());
        odbc->SetDataOfs(sodbc->GetDataOfs());
        f->SetSlotLength(sf->SlotLength());
    }
    std::vector<TField*> blobs;
    for (TField* sf : source.BlobFields) {
        TField* f = FindField(sf->FieldName());
        if (!f) DatabaseErrorFmt("Field '%s' not found", sf->DisplayName());
        blobs.push_back(f);
    }
    BlobFields = std::move(blobs);
    BlobCount = source.BlobCount;
    variantSlots_ = source.variantSlots_;
    FieldOffsets = source.FieldOffsets;
    RecordSize = source.RecordSize;
    InitBufferPointers(false);
}

void TQelODBCClient::LoadFromSource() {
    BusyCursor busy;
    TQelODBCClient& source = *dataFrom_;
    SetCapacity(std::max(Capacity(), source.RealRecordCount()));
    AllocRecordData = false;
    ScopeExit allocAgain([this] { AllocRecordData = true; });
    for (TMemoryRecord* src : source.Records) {
        if (src->MainRecord()) continue;
        TMemoryRecord* r = AddRecord();
        r->ShareData(src->Data, src->Blobs);
        r->SetSourceRecord(src);
    }
    DataLoaded = true;
}

int TQelODBCClient::FindSourceRecord(const TMemoryRecord* source) const {
    for (std::size_t i = 0; i < Records.size(); ++i)
        if (Records[i]->SourceRecord() == source) return static_cast<int>(i);
    return -1;
}

void TQelODBCClient::SourceInserted(TMemoryRecord* record, int index) {
    for (TQelODBCClient* client : DataClients) {
        if (!client->Active()) continue;
        const int at = std::clamp(index, 0, client->RealRecordCount());
        client->AllocRecordData = false;
        TMemoryRecord* r;
        {
            ScopeExit allocAgain([client] { client->AllocRecordData = true; });
            r = client->InsertRecord(at);
        }
        r->ShareData(record->Data, record->Blobs);
        r->SetSourceRecord(record);
        for (TQelODBCClientIndex* keyIndex : client->Indexes) keyIndex->Add(r);
        if (client->Filtered()) client->FilterPostedRecord(r->GetIndex());
        if (client->Tree) client->Tree->InsertRecord(r);
        if (client->State() == dsBrowse) client->Resync();
    }
}

void TQelODBCClient::SourceEditing(TMemoryRecord* record, bool before) {
    for (TQelODBCClient* client : DataClients) {
        if (!client->Active()) continue;
        const int index = client->FindSourceRecord(record);
        if (index < 0) continue;
        TMemoryRecord* r = client->Records[static_cast<std::size_t>(index)];
        // The view's key indexes hold the record under the value about to change.
        if (before) {
            for (TQelODBCClientIndex* keyIndex : client->Indexes) keyIndex->Delete(r);
            continue;
        }
        for (TQelODBCClientIndex* keyIndex : client->Indexes) keyIndex->Add(r);
        if (client->Filtered()) client->FilterPostedRecord(index);
        if (client->Tree) client->Tree->UpdateRecord(r);
        if (client->State() == dsBrowse) client->Resync();
    }
}

void TQelODBCClient::SourceRemoving(TMemoryRecord* record) {
    for (TQelODBCClient* client : DataClients) {
        if (!client->Active()) continue;
        const int index = client->FindSourceRecord(record);
        if (index < 0) throw Exception(kMsgNoRecord);
        TMemoryRecord* r = client->Records[static_cast<std::size_t>(index)];
        if (client->Tree) client->Tree->DeleteRecord(r);
        client->RemoveRecord(r->GetIndex());
    }
}

void TQelODBCClient::ResyncClients() {
    for (TQelODBCClient* client : DataClients)
        if (client->Active() && client->State() == dsBrowse) {
            client->RecordPos = std::min(client->RecordPos, client->RealRecordCount());
            client->Resync();
        }
}

void TQelODBCClient::CloseClients() {
    for (TQelODBCClient* client : std::vector<TQelODBCClient*>(DataClients)) client->Close();
}

}  // namespace kubrix
