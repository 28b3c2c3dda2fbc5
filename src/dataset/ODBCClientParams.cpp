// The dataset's statements besides the select (re-read, insert, delete), how their
// parameters take values from records and buffers, ":name" parameter texts, and re-reading
// one record.
#include <cstring>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCQuery.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/ScopeGuard.h"
#include "support/Text.h"

namespace kubrix {

namespace {

//! A parameter named "OLD_" + field (any letter case) reads the before-image.
bool IsOldName(std::string_view name) {
    return name.size() > 4 && CompareTextIgnoreCase(name.substr(0, 4), "OLD_") == 0;
}

//! The type a parameter is bound as for a field type the binder has no form of its own for.
TFieldType ParamTypeOf(TFieldType type) {
    switch (type) {
        case ftDate:
        case ftTime:
        case ftTimeStamp: return ftDateTime;
        case ftFMTBcd: return ftBCD;
        case ftLargeint:
        case ftWideString:
        case ftFixedChar: return ftString;
        default: return type;
    }
}

//! A byte that continues a parameter name: Latin letters, digits, "_", and every byte of a
//! multi-byte UTF-8 character (the Cyrillic letters of names).
bool IsNameByte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
}

}  // namespace

// ---------------------------------------------------------------- statements

const std::string& TQelODBCClient::GetSQL_Resync() const { return resync_->SQL(); }
void TQelODBCClient::SetSQL_Resync(const std::string& text) { resync_->SetSQL(text); }
TQelODBCParams& TQelODBCClient::SQL_Resync_Params() { return resync_->Parameters(); }
const std::string& TQelODBCClient::GetSQL_Delete() const { return delete_->SQL(); }
void TQelODBCClient::SetSQL_Delete(const std::string& text) { delete_->SetSQL(text); }
TQelODBCParams& TQelODBCClient::SQL_Delete_Params() { return delete_->Parameters(); }
const std::string& TQelODBCClient::GetSQL_Insert() const { return insert_->SQL(); }
void TQelODBCClient::SetSQL_Insert(const std::string& text) { insert_->SetSQL(text); }
TQelODBCParams& TQelODBCClient::SQL_Insert_Params() { return insert_->Parameters(); }

void TQelODBCClient::Loaded() {
    loading_ = false;
    if (StoredActive) Open();
}

// ---------------------------------------------------------------- parameter values

void TQelODBCClient::CheckParamName(TQelODBCParam& param) {
    const std::string& name = param.GetName();
    for (TFieldDef* def : FieldDefList()) {
        if (CompareTextIgnoreCase(def->Name, name) != 0) continue;
        param.DataType = ParamTypeOf(def->DataType);
        param.Precision = def->Precision;
        param.Size = def->Size;
        return;
    }
}

void TQelODBCClient::SetParams(TQelODBCQuery& statement) {
    TQelODBCParams& params = statement.Parameters();
    for (int i = 0; i < params.Count(); ++i) {
        TQelODBCParam& p = params[i];
        const std::string& name = p.GetName();
        const bool old = IsOldName(name);
        if (TField* field = FindField(old ? name.substr(4) : name); field && RecordPos >= 0 && RecordPos < RealRecordCount())
            GetFieldValueFromBuffer(field, RecordPos, p.Value, old ? "old" : "new");
        if (OnGetParamValue) OnGetParamValue(*this, RecordPos, p);
    }
}

void TQelODBCClient::SetParamValue(TQelODBCParam& param) {
    TRecordBuffer buffer = PostBuffer;
    if (!buffer) GetActiveRecBuf(buffer);
    int index = -1;
    if (buffer) {
        std::memcpy(&index, buffer + RecIndexOfs, 4);
        const std::string& name = param.GetName();
        const bool old = IsOldName(name);
        if (TField* field = FindField(old ? name.substr(4) : name)) {
            const bool hasOld = old && buffer[RecBufSize] != 0;
            GetFieldValueFromBuffer(field, hasOld ? buffer + RecBufSize + 1 : buffer, param.Value);
        }
    }
    if (OnGetParamValue) OnGetParamValue(*this, index, param);
}

void TQelODBCClient::AssignSelectParamsFrom(TDataSet& master) {
    TQelODBCParams& params = select_->Parameters();
    for (int i = 0; i < params.Count(); ++i) {
        TQelODBCParam& p = params[i];
        if (TField* field = master.FindField(p.GetName())) {
            p.Value = field->GetAsVariant();
        } else if (!OnGetParamValue && !p.GetName().empty()) {
            throw Exception("UPDATE:Поле \"" + p.GetName() + "\" не найдено:\r" + select_->SQL());
        }
    }
}

std::string TQelODBCClient::PrepareParams(const std::string& text, TQelODBCQuery& statement, bool append) {
    TQelODBCParams& params = statement.Parameters();
    if (!append) params.Clear();
    std::string out;
    out.reserve(text.size());
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // Quoted text is data, and "::" is a cast: neither holds a marker.
        if (c == '\'') quoted = !quoted;
        if (quoted || c != ':') {
            out += c;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == ':') {
            out += "::";
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && IsNameByte(static_cast<unsigned char>(text[end]))) ++end;
        if (end == i + 1) {
            out += c;
            continue;
        }
        const std::string name = text.substr(i + 1, end - i - 1);
        const bool old = IsOldName(name);
        TField* field = FindField(old ? name.substr(4) : name);
        if (!field && !OnGetParamValue) throw Exception("UPDATE:Поле \"" + name + "\" не найдено:\r" + text);
        TQelODBCParam& p = params.Add();
        p.ParamType = ptInput;
        p.FilterCaption = text;  // said again when the value cannot be found
        if (field) {
            p.DataType = ParamTypeOf(field->DataType());
            p.Size = field->Size();
            if (auto* bcd = dynamic_cast<TBCDField*>(field)) p.Precision = bcd->Precision;
        } else {
            p.DataType = ftString;
        }
        p.SetName(name);
        out += '?';
        i = end - 1;
    }
    return out;
}

// ---------------------------------------------------------------- re-reading a record

void TQelODBCClient::LoadRecord(TMemoryRecord* record) {
    if (dataFrom_ && record->SourceRecord()) {
        // A view's source re-reads the row it shares.
        if (!record->SourceRecord()->Loaded) dataFrom_->LoadRecord(record->SourceRecord());
        record->Loaded = true;
        return;
    }
    if (record->Loaded) return;
    record->Loaded = true;
    ScopeFail notLoaded([record] { record->Loaded = false; });
    ResyncData(record->GetIndex());
}

void TQelODBCClient::ResyncData(int index) {
    if (Trim(resync_->SQL()).empty()) return;
    const int saved = RecordPos;
    RecordPos = index;
    ScopeExit restore([this, saved] { RecordPos = saved; });
    SetParams(*resync_);
    BusyCursor busy(crSQLWait);
    resync_->RowSize = RecordSize;
    resync_->LongCount = BlobCount;
    resync_->MaxRowSize = RecordSize;  // the row replaces a record: it keeps the record's layout
    resync_->OnFieldsCreated = [this](TQelODBCQuery& q) { OnCreateODBCField(q); };
    ScopeExit close([this] { resync_->Close(); });
    resync_->Open();
    ReadRecordFromRecordset(*resync_);
    CalcTotals();
}

bool TQelODBCClient::ReadRecordFromRecordset(TQelODBCQuery& statement) {
    if (statement.Rows.empty() || RecordPos < 0 || RecordPos >= RealRecordCount()) return false;
    if (statement.RowSize != RecordSize) DatabaseError("The rows read do not match the record layout");
    TMemoryRecord* rec = Records[static_cast<std::size_t>(RecordPos)];
    rec->FreeOldImage();
    rec->EnsureData(RecordSize);
    TODBCRow row = std::move(statement.Rows.front());
    CopyDataArea(rec->Data, row.get());
    ReleaseVariantSlots(row.get());
    if (BlobCount > 0 && !statement.LongValues.empty() && statement.LongValues.front()) {
        rec->EnsureBlobs(static_cast<std::size_t>(BlobCount));
        TODBCLongValues blobs = std::move(statement.LongValues.front());
        for (int i = 0; i < BlobCount; ++i) rec->Blobs[i] = std::move(blobs[i]);
    }
    if (OnInitRecord) OnInitRecord(*this, RecordPos);
    return true;
}

bool TQelODBCClient::ReadRecordFromRecordset(TQelODBCQuery& statement, TRecordBuffer buffer) {
    if (statement.Rows.empty()) return false;
    if (statement.RowSize != RecordSize) DatabaseError("The rows read do not match the record layout");
    buffer[RecBufSize] = 0;
    TODBCRow row = std::move(statement.Rows.front());
    CopyDataArea(buffer, row.get());
    ReleaseVariantSlots(row.get());
    if (BlobCount > 0 && !statement.LongValues.empty() && statement.LongValues.front()) {
        TODBCLongValues blobs = std::move(statement.LongValues.front());
        for (int i = 0; i < BlobCount; ++i) *BlobAt(buffer, i) = std::move(blobs[i]);
    }
    return true;
}

}  // namespace kubrix
