// Editing the in-memory dataset and writing each posted change to the database: the insert,
// update and delete statements in a transaction of their own, the update command generated
// from the changed fields' scripts, changes kept in memory without DoPostToDB, automatic
// increments, column rights through the access manager and the texts generated from one base name.
#include <algorithm>
#include <cstring>

#include "dataset/AccessManager.h"
#include "dataset/ClientIndex.h"
#include "dataset/ODBCClientTree2.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCQuery.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/ScopeGuard.h"
#include "support/Text.h"

namespace kubrix {

namespace {

constexpr const char* kMsgNoKeyValue = "Не определено значение ключевого поля";
constexpr const char* kMsgRecordNotFound = "Не найдена запись";

//! work inside a transaction of its own when the caller has none open: committed when work
//! succeeds, rolled back when work or the commit fails. A caller's transaction is left alone.
template <class F>
void InOwnTransaction(TQelODBCConnection& connection, F&& work) {
    if (!connection.Connected()) connection.Connect();
    const bool own = !connection.InTransaction();
    if (own) connection.BeginTrans();
    ScopeFail rollback([&connection, own] {
        if (own) connection.RollbackTrans();
    });
    work();
    if (own) connection.CommitTrans();
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

}  // namespace

// ---------------------------------------------------------------- pending in-memory changes

void TQelODBCClient::MarkChanged(TMemoryRecord* record, TMemRecordStatus status) {
    if (record->UpdateStatus == mrsNone) ChangedRecords.push_back(record);
    record->UpdateStatus = status;
}

void TQelODBCClient::ClearChangedRecords() {
    for (TMemoryRecord* r : ChangedRecords) r->UpdateStatus = mrsNone;
    ChangedRecords.clear();
}

void TQelODBCClient::SetDoPostToDB(bool value) {
    ClearChangedRecords();
    DoPostToDB = value;
}

void TQelODBCClient::ClearChangedFlags(TMemoryRecord* record, TRecordBuffer buffer) {
    const auto n = static_cast<std::size_t>(FieldCount());
    if (buffer && n > 0) std::memset(buffer + ChangedOfs, 0, n);
    if (record && record->FieldChanged()) std::memset(record->MutableFieldChanged(), 0, n);
}

// ---------------------------------------------------------------- new records

void TQelODBCClient::SetAutoIncFields(TRecordBuffer buffer) {
    bool any = false;
    const std::int32_t value = AutoIncSign == snMinus ? -NextAutoIncValue : NextAutoIncValue;
    for (TField* f : Fields()) {
        if (f->FieldKind() != fkData) continue;
        const bool counted = f->DataType() == ftAutoInc ||
                             ((f->DataType() == ftSmallint || f->DataType() == ftInteger) &&
                              f->AutoGenerateValue() == TField::arAutoInc);
        if (!counted) continue;
        SetFieldValueInBuffer(f, buffer, Variant::FromInt32(value));
        any = true;
    }
    if (any) ++NextAutoIncValue;
}

void TQelODBCClient::DoOnNewRecord() {
    if (masterData_ && masterData_->Active() && !masterData_->KeyName.empty()) {
        TField* own = FindField(masterData_->KeyName);
        TField* masters = masterData_->FindField(masterData_->KeyName);
        if (own && masters) {
            // Lifted for the assignment only: the key is the master's, not the user's.
            const bool readOnly = own->ReadOnly();
            own->SetReadOnly(false);
            ScopeExit restore([own, readOnly] { own->SetReadOnly(readOnly); });
            own->SetAsVariant(masters->AsVariant());
        }
    }
    if (nestedParent_ && nestedParent_->Active() && !FieldsForUpdateFromMainDataSetBeforInsert.empty()) {
        for (const std::string& name : SplitFieldNames(FieldsForUpdateFromMainDataSetBeforInsert)) {
            TField* own = FindField(name);
            TField* parents = nestedParent_->FindField(name);
            if (own && parents) own->SetAsVariant(parents->AsVariant());
        }
    }
    TDataSet::DoOnNewRecord();
}

void TQelODBCClient::FieldRemoved(TField* field) {
    // A field object freed by its owner before the dataset closes must not be written to then.
    TotalFields.erase(std::remove(TotalFields.begin(), TotalFields.end(), field), TotalFields.end());
}

// ---------------------------------------------------------------- column rights

bool TQelODBCClient::FieldReadOnly(const TField* field) const {
    if (ReadOnly || field->ReadOnly()) return true;
    // Column rights are asked only of fields that exist in the database already.
    return accessManager_ && State() != dsInsert && accessManager_->DeniesFieldUpdate(field);
}

// ---------------------------------------------------------------- database writes

std::vector<std::string> TQelODBCClient::UpdatePieces(TRecordBuffer buffer, std::vector<bool>* checked) {
    std::vector<std::string> pieces;
    std::vector<bool> counts;  // per piece: an update that must meet its row
    std::vector<TField*> changed;
    for (TField* f : Fields())
        if (f->Index() >= 0 && f->Index() < FieldCount() && buffer[ChangedOfs + f->Index()] == 1) changed.push_back(f);
    if (!UpdateCommand.empty()) {
        if (!changed.empty()) {
            pieces.push_back(UpdateCommand);
            counts.push_back(true);
        }
    } else {
        struct Part {
            IODBCField* Odbc;
            std::string Key;
            bool Grouped;  // table name and key script: one statement per table and key
        };
        std::vector<Part> parts;
        for (TField* f : changed) {
            IODBCField* odbc = AsODBCField(f);
            if (!odbc) continue;
            const std::string table = odbc->GetTableName();
            const std::string key = odbc->GetUpdate_KeyScript();
            const std::string script = odbc->GetUpdateScript();
            const bool grouped = !table.empty() && !key.empty();
            if (!grouped && script.empty()) continue;
            parts.push_back({odbc, !table.empty() ? table + "-" + key : script, grouped});
        }
        // The exchange order of the update statements' text, kept as it was written.
        for (std::size_t i = 0; i < parts.size(); ++i)
            for (std::size_t j = i + 1; j < parts.size(); ++j)
                if (parts[j].Key < parts[i].Key) std::swap(parts[i], parts[j]);
        for (std::size_t i = 0; i < parts.size();) {
            std::size_t end = i + 1;
            while (end < parts.size() && parts[end].Key == parts[i].Key && parts[end].Grouped == parts[i].Grouped) ++end;
            if (parts[i].Grouped) {
                std::string values;
                for (std::size_t k = i; k < end; ++k)
                    values += (k > i ? ", " : "") + parts[k].Odbc->GetUpdate_ValueScript();
                std::string piece = ReplaceAll(Update_mask, "%TBL%", parts[i].Odbc->GetTableName());
                piece = ReplaceAll(piece, "%KEY%", parts[i].Odbc->GetUpdate_KeyScript());
                pieces.push_back(ReplaceAll(piece, "%VAL%", values));
                counts.push_back(true);
            } else {
                pieces.push_back(parts[i].Odbc->GetUpdateScript());
                counts.push_back(false);
            }
            i = end;
        }
        if (!pieces.empty() && !ResyncCommand.empty()) {
            pieces.push_back(ResyncCommand);
            counts.push_back(false);
        }
    }
    if (checked) *checked = std::move(counts);
    return pieces;
}

void TQelODBCClient::UpdateRecordToDB(TRecordBuffer buffer) {
    if (!connection_) return;
    std::vector<bool> checked;
    const std::vector<std::string> pieces = UpdatePieces(buffer, &checked);
    if (pieces.empty()) {
        buffer[RecBufSize] = 0;
        return;
    }
    if (!update_) {
        update_ = std::make_unique<TQelODBCQuery>();
        update_->OnODBCError = [this](const std::string& s, const std::string& m) { CheckODBCError(s, m); };
        // Posts of one form send the same text again: the server plans it once.
        update_->KeepPrepared = true;
    }
    TQelODBCQuery& statement = *update_;
    statement.SetConnection(connection_);
    const bool fetch = !ResyncCommand.empty() || !UpdateCommand.empty();
    statement.FetchRows = fetch;
    statement.SkipCountResults = fetch;
    const auto prepare = [&](const std::string& text, bool append) {
        statement.RowSize = RecordSize;
        statement.LongCount = BlobCount;
        statement.MaxRowSize = RecordSize;
        statement.OnFieldsCreated = [this](TQelODBCQuery& q) { OnCreateODBCField(q); };
        std::string sql = PrepareParams(text, statement, append);
        statement.SetGetParamValue([this](TQelODBCParam& p) { SetParamValue(p); });
        return sql;
    };
    PostBuffer = buffer;
    ScopeExit noPostBuffer([this] { PostBuffer = nullptr; });
    BusyCursor busy(crSQLWait);
    ScopeExit close([&statement] { statement.Close(); });
    if (!Update_CheckRowCount) {
        std::string command;
        statement.Parameters().Clear();
        for (const std::string& piece : pieces) command += "\r" + prepare(piece, true);
        statement.SetSQL(command);
        InOwnTransaction(*connection_, [&] { statement.Open(); });
    } else {
        // Each statement on its own, so that the rows each one changed are known.
        const auto run = [&] {
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                statement.Close();
                statement.SetSQL(prepare(pieces[i], false));
                statement.Open();
                if (checked[i] && statement.RowsAffected == 0) throw Exception(kMsgChangedByAnotherUser);
            }
        };
        // One statement outside a caller's transaction is a transaction of its own already (the
        // connection commits each statement); one that met no row changed nothing to undo. This
        // spares the two extra round trips of an explicit bracket on every post.
        if (pieces.size() == 1 && !connection_->InTransaction() && connection_->Connected())
            run();
        else
            InOwnTransaction(*connection_, run);
    }
    // Written: the buffer's values are the database's from now on.
    buffer[RecBufSize] = 0;
    if (fetch) ReadRecordFromRecordset(statement, buffer);
}

void TQelODBCClient::InsertRecordToDB(TRecordBuffer buffer) {
    if (!connection_ || Trim(insert_->SQL()).empty()) return;
    PostBuffer = buffer;
    ScopeExit noPostBuffer([this] { PostBuffer = nullptr; });
    insert_->SetGetParamValue([this](TQelODBCParam& p) { SetParamValue(p); });
    insert_->FetchRows = SQL_Insert_WithResync;
    insert_->SkipCountResults = SQL_Insert_WithResync;
    insert_->RowSize = RecordSize;
    insert_->LongCount = BlobCount;
    insert_->MaxRowSize = RecordSize;
    insert_->OnFieldsCreated = [this](TQelODBCQuery& q) { OnCreateODBCField(q); };
    BusyCursor busy(crSQLWait);
    ScopeExit close([this] { insert_->Close(); });
    // The buffer takes the returned row only once the insert is committed: a refused insert
    // leaves the values as the user gave them.
    TRecordBuffer before = AfterInsertToDB ? AllocRecordBuffer() : nullptr;
    ScopeExit freeBefore([this, &before] { FreeRecordBuffer(before); });
    InOwnTransaction(*connection_, [&] {
        insert_->Open();
        if (SQL_Insert_WithResync && !insert_->Rows.empty() && insert_->RowSize != RecordSize)
            DatabaseError("The rows read do not match the record layout");
        if (!KeyName.empty()) {
            TField* key = FindField(KeyName);
            Variant value;
            if (key && SQL_Insert_WithResync && !insert_->Rows.empty()) {
                // The key as the returned row has it.
                const std::uint8_t* slot = FindFieldData(insert_->Rows.front().get(), key);
                if (slot) DecodeStored(key, slot, value);
            } else if (key) {
                GetFieldValueFromBuffer(key, buffer, value);
            }
            if (key && value.IsEmptyOrNull()) throw Exception(kMsgNoKeyValue);
        }
    });
    if (before) {
        CopyDataArea(before, buffer);
        for (int i = 0; i < BlobCount; ++i) *BlobAt(before, i) = *BlobAt(buffer, i);
    }
    buffer[RecBufSize] = 0;
    if (SQL_Insert_WithResync) ReadRecordFromRecordset(*insert_, buffer);
    if (AfterInsertToDB) AfterInsertToDB(*this, before, buffer);
}

void TQelODBCClient::DeleteRecordFromDB(TMemoryRecord* record) {
    if (!connection_ || Trim(delete_->SQL()).empty()) return;
    BusyCursor busy(crSQLWait);
    TRecordBuffer buffer = AllocRecordBuffer();
    ScopeExit freeBuffer([this, &buffer] { FreeRecordBuffer(buffer); });
    RecordToBuffer(record, buffer);
    PostBuffer = buffer;
    ScopeExit noPostBuffer([this] { PostBuffer = nullptr; });
    delete_->SetGetParamValue([this](TQelODBCParam& p) { SetParamValue(p); });
    delete_->FetchRows = false;
    ScopeExit close([this] { delete_->Close(); });
    InOwnTransaction(*connection_, [&] { delete_->Open(); });
}

// ---------------------------------------------------------------- the framework's write operations

void TQelODBCClient::InternalPost() {
    TRecordBuffer rb = ActiveBuffer();
    postedRecord_ = nullptr;
    TMemoryRecord* rec = nullptr;
    if (State() == dsInsert) {
        // A unique key index or the tree refuses before anything is written.
        CheckUniqueIndexes(rb, nullptr);
        const std::int32_t nextAutoInc = NextAutoIncValue;
        ScopeFail sameNextValue([this, nextAutoInc] { NextAutoIncValue = nextAutoInc; });
        SetAutoIncFields(rb);
        if (Tree) Tree->CheckPost(rb, nullptr);
        if (DoPostToDB) InsertRecordToDB(rb);
        // A new record goes to the end, wherever the cursor stood; a tree then places it.
        int index = RealRecordCount();
        rec = AddRecord();
        {
            ScopeFail removeOnFailure([this, index] { RemoveRecord(index); });
            AssignMemoryRecord(rec, rb);
            for (TQelODBCClientIndex* keyIndex : Indexes) keyIndex->Add(rec);
        }
        if (!DoPostToDB) MarkChanged(rec, mrsInserted);
        std::memcpy(rb + RecIndexOfs, &index, 4);
        std::memcpy(rb + BookmarkOfs, &rec->RecordID, 4);
        rb[BookmarkOfs + 4] = bfCurrent;
        RecordPos = index;
        if (Filtered()) ++VisibleCount;
        if (Tree) {
            Tree->InsertRecord(rec);
            index = rec->GetIndex();
            std::memcpy(rb + RecIndexOfs, &index, 4);
            RecordPos = index;
        }
        if (!DataClients.empty()) SourceInserted(rec, index);
    } else {
        int index = GetActiveRecordIndex();
        rec = GetMemoryRecord(index);
        if (TMemoryRecord* main = rec->MainRecord()) {
            // A tree's copy stands for its main record: the edit goes there.
            rec = main;
            index = main->GetIndex();
            if (index < 0) ListIndexError(index);
        }
        RecordPos = index;
        CheckUniqueIndexes(rb, rec);
        if (Tree) Tree->CheckPost(rb, rec);
        // The record leaves the indexes under its old key and comes back under the key it has
        // at the end: the new one, or the old one when the write fails. Views hear of the
        // edit on both sides of it.
        for (TQelODBCClientIndex* keyIndex : Indexes) keyIndex->Delete(rec);
        SourceEditing(rec, true);
        {
            ScopeExit backIntoIndexes([&] {
                for (TQelODBCClientIndex* keyIndex : Indexes) keyIndex->Add(rec);
                SourceEditing(rec, false);
            });
            if (DoPostToDB) UpdateRecordToDB(rb);
            AssignMemoryRecord(rec, rb);
            if (!DoPostToDB && rec->UpdateStatus == mrsNone) MarkChanged(rec, mrsModified);
        }
        if (Tree && Tree->Built()) {
            // A tree's copies of the record show its new values.
            for (TMemoryRecord* copy : Records)
                if (copy->MainRecord() == rec && copy->OwnsData() && copy->Data && rec->Data) {
                    CopyDataArea(copy->Data, rec->Data);
                    for (int i = 0; i < BlobCount && copy->Blobs && rec->Blobs; ++i) copy->Blobs[i] = rec->Blobs[i];
                }
        }
        RecordPos = index;
        if (Tree) {
            Tree->UpdateRecord(rec);
            index = rec->GetIndex();
            std::memcpy(rb + RecIndexOfs, &index, 4);
            RecordPos = index;
        }
    }
    // Written to the database: nothing of the edit is pending any more. Without a connection
    // the dataset is edited in memory only and keeps what was changed.
    if (DoPostToDB && connection_) ClearChangedFlags(rec, rb);
    postedRecord_ = rec;
    if (OnInitRecord) OnInitRecord(*this, RecordPos);
    FilterPostedRecord(RecordPos);
}

void TQelODBCClient::InternalAddRecord(TRecordBuffer buffer, bool append) {
    const std::int32_t nextAutoInc = NextAutoIncValue;
    ScopeFail sameNextValue([this, nextAutoInc] { NextAutoIncValue = nextAutoInc; });
    CheckUniqueIndexes(buffer, nullptr);
    SetAutoIncFields(buffer);
    if (Tree) Tree->CheckPost(buffer, nullptr);
    if (DoPostToDB) InsertRecordToDB(buffer);
    int index = append || RecordPos < 0 ? RealRecordCount() : std::min(RecordPos + 1, RealRecordCount());
    TMemoryRecord* rec = InsertRecord(index);
    {
        ScopeFail removeOnFailure([this, index] { RemoveRecord(index); });
        AssignMemoryRecord(rec, buffer);
        for (TQelODBCClientIndex* keyIndex : Indexes) keyIndex->Add(rec);
    }
    RecordPos = index;
    if (!DoPostToDB) MarkChanged(rec, mrsInserted);
    if (DoPostToDB && connection_) ClearChangedFlags(rec, buffer);
    if (Filtered()) ++VisibleCount;
    if (Tree) {
        Tree->InsertRecord(rec);
        index = rec->GetIndex();
        RecordPos = index;
    }
    if (!DataClients.empty()) SourceInserted(rec, index);
    AddRecordToTotals(rec);
}

void TQelODBCClient::InternalDelete() {
    int index = GetActiveRecordIndex();
    if (index < 0 || index >= RealRecordCount()) return;
    TMemoryRecord* rec = Records[static_cast<std::size_t>(index)];
    if (TMemoryRecord* main = rec->MainRecord()) {
        // A tree's copy stands for its main record, which goes with all its copies.
        rec = main;
        if (main->GetIndex() >= 0) index = main->GetIndex();
    }
    const bool wasVisible = IsRecordVisible(rec);
    std::vector<Variant> totals = TotalsWithout(rec);
    const auto untree = [&] {
        if (!Tree || !Tree->Built()) return;
        // The tree refuses first (a record with children); a shortcut takes its copies
        // along, which moves the record. Its former siblings are renumbered after the delete.
        const TTreeNode* node = Tree->NodeOf(rec);
        TMemoryRecord* parent = node && node->Parent ? node->Parent->Record : nullptr;
        const bool hasParent = node && node->Parent;
        Tree->DeleteRecord(rec);
        correctParent_ = parent;
        correctPending_ = hasParent;
        if (rec->GetIndex() >= 0) index = rec->GetIndex();
    };
    const auto remove = [&] {
        untree();
        RemoveRecord(rec);
    };
    if (DoPostToDB) {
        if (connection_ && !Trim(delete_->SQL()).empty()) {
            // Written first, in the transaction: a tree that refuses rolls the delete back.
            InOwnTransaction(*connection_, [&] {
                DeleteRecordFromDB(rec);
                remove();
            });
        } else {
            remove();
        }
    } else if (rec->UpdateStatus == mrsInserted) {
        remove();
    } else {
        // Kept in memory until written, but out of the tree, which keeps its rules.
        untree();
        MarkChanged(rec, mrsDeleted);  // stays in Records, hidden
    }
    if (Filtered() && wasVisible) --VisibleCount;
    for (std::size_t i = 0; i < totals.size() && i < TotalFields.size(); ++i) SetTotal(TotalFields[i], totals[i]);
    RecordPos = std::min(index, RealRecordCount());
    ResyncClients();
}

void TQelODBCClient::RemoveRecord(TMemoryRecord* record) {
    TMemoryRecord* main = record->MainRecord() ? record->MainRecord() : record;
    std::vector<TMemoryRecord*> family{main};
    for (TMemoryRecord* r : AllRecords())
        if (r->MainRecord() == main) family.push_back(r);
    for (TMemoryRecord* r : family) {
        const int index = r->GetIndex();
        if (index < 0) DatabaseError(kMsgRecordNotFound);
        RemoveRecord(index);
    }
}

// ---------------------------------------------------------------- texts from one base name

void TQelODBCClient::SetOriginalTblName(const std::string& name) {
    originalTblName_ = name;
    if (name.empty() || loading_) return;
    const std::string key = "id" + name;
    select_->SetSQL("{call up" + name + "_Get}");
    if (connection_) {
        DescribeSelect();
        CreateFieldObjects();
    }
    // The columns in definition order; fields given in code stand for them without a connection.
    std::vector<TField*> columns;
    if (FieldDefs().Count() > 0) {
        for (int i = 0; i < FieldDefs().Count(); ++i)
            if (TField* f = FindField(FieldDefs().Items(i)->Name)) columns.push_back(f);
    } else {
        for (TField* f : Fields())
            if (f->FieldKind() == fkData) columns.push_back(f);
    }
    std::string list;
    for (TField* f : columns) {
        list += (list.empty() ? "[" : ", [") + f->FieldName() + "]";
        IODBCField* odbc = AsODBCField(f);
        if (!odbc || CompareTextIgnoreCase(f->FieldName(), key) == 0) {
            f->SetReadOnly(true);
            continue;
        }
        odbc->SetUpdate_ValueScript("[" + f->FieldName() + "]=:" + f->FieldName());
        odbc->SetUpdate_KeyScript(key + "=:" + key);
        odbc->SetTableName("v" + name);
    }
    DelQuestion = "Удалить запись?";
    KeyName = key;
    ResyncCommand = "exec up" + name + "_Get @" + key + "=:" + key;
    const TField* keyField = FindField(key);
    const TFieldType keyType = keyField ? keyField->DataType() : ftInteger;
    const auto oneKeyParam = [&](TQelODBCQuery& statement, const std::string& text) {
        statement.Parameters().Clear();
        statement.SetSQL(text);
        TQelODBCParam& p = statement.Parameters()[0];
        p.SetName(key);
        p.DataType = keyType;
        p.Value = Variant::Null();
    };
    oneKeyParam(*delete_, "delete v" + name + " where " + key + "=?");
    std::string marks;
    for (std::size_t i = 0; i + 1 < columns.size(); ++i) marks += "?,";
    insert_->Parameters().Clear();
    insert_->SetSQL("insert v" + name + "(" + list + ") values(" + marks + "?" + ")\r\nexec up" + name + "_Get @" + key +
                    "=@@identity");
    TQelODBCParams& params = insert_->Parameters();
    for (std::size_t i = 0; i < columns.size() && static_cast<int>(i) < params.Count(); ++i) {
        TQelODBCParam& p = params[static_cast<int>(i)];
        const TField* f = columns[i];
        const bool isKey = CompareTextIgnoreCase(f->FieldName(), key) == 0;
        p.SetName(isKey ? f->FieldName() + "_" : f->FieldName());
        p.DataType = isKey ? ftInteger : f->DataType();
        p.Size = f->Size();
        p.Value = isKey ? Variant::FromInt32(-1) : Variant::Null();
    }
    oneKeyParam(*resync_, "{call up" + name + "_Get (?)}");
    TblName = "v" + name;
}

}  // namespace kubrix
