#include "dataset/QelODBCClient.h"

#include <algorithm>
#include <memory>

#include <sql.h>
#include <sqlext.h>

#include "odbc/ODBCQuery.h"

#include "dataset/ODBCFields.h"
#include "dataset/StoredValue.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/Text.h"
#include "support/ScopeGuard.h"
#include "support/Timings.h"

namespace kubrix {
namespace {

constexpr const char* kMsgNotImplemented = "Не реализовано.";
// Diagnostic texts kept per open; a driver may report any number.
constexpr std::size_t kMaxErrors = 1000;

// Stored companion entries come from the host's saved settings: each is checked before any
// field is built from it. Empty when the entry can become a field.
std::string CompanionProblem(const TFieldInfo& info) {
    const auto type = static_cast<TFieldType>(info.DataType);
    if (info.Name.empty()) return "пустое имя";
    if (!IsSupportedType(type) || type == ftADT || type == ftDataSet)
        return "неизвестный тип " + std::to_string(info.DataType);
    // Checked before the slot arithmetic, so that no size can overflow it.
    constexpr std::int32_t kMaxSize = 1 << 16;
    if (info.Size < 0 || info.Size > kMaxSize || CalcFieldLenWide(type, info.Size) > 0xFFFF)
        return "недопустимый размер " + std::to_string(info.Size);
    if (info.Precision < 0 || info.Precision > 255) return "недопустимая точность " + std::to_string(info.Precision);
    return {};
}

}  // namespace

void TQelODBCClient::SetConnection(TQelODBCConnection* connection) {
    if (connection == connection_) return;
    if (connection_) connection_->RemoveClient(this);
    connection_ = connection;
    if (connection_) connection_->AddClient(this);
    for (TQelODBCQuery* q : {select_.get(), resync_.get(), delete_.get(), insert_.get()}) q->SetConnection(connection);
}

void TQelODBCClient::ConnectionDestroyed(TQelODBCConnection* connection) {
    if (connection != connection_) return;
    Close();
    connection_ = nullptr;
    for (TQelODBCQuery* q : {select_.get(), resync_.get(), delete_.get(), insert_.get()}) q->SetConnection(nullptr);
}

const std::string& TQelODBCClient::GetSQL_Select() const { return select_->SQL(); }

TQelODBCParams& TQelODBCClient::SQL_Select_Params() { return select_->Parameters(); }

void TQelODBCClient::SetCheckRecordCount(bool value) { select_->CheckRecordCount = value; }

void TQelODBCClient::SetMaxRecordCount(int value) { select_->MaxRecordCount = value; }

void TQelODBCClient::CheckODBCError(const std::string& sqlState, const std::string& message) {
    if (Errors.size() < kMaxErrors) Errors.push_back(sqlState + message);
}

void TQelODBCClient::SetSQL_Select(const std::string& text) {
    const bool describe = !Trim(text).empty() && SQL_Select_InitFields && text != select_->SQL();
    select_->SetSQL(text);
    if (describe) {
        DescribeSelect();
        CreateFieldObjects();
    }
    if (OnSQL_SelectChange) OnSQL_SelectChange(*this);
}

void TQelODBCClient::DescribeSelect() {
    TimedScope timed(&TLoadTimings::DescribeMs);
    // Where the server describes the prepared select, the select runs once, on opening.
    if (select_->DescribePrepared()) {
        CopyStructure(*select_);
        return;
    }
    select_->OpenCursor();
    ScopeExit close([this] { select_->CloseCursor(); });
    CopyStructure(*select_);
}

void TQelODBCClient::CopyStructure(TQelODBCQuery& statement) {
    BusyCursor busy(crSQLWait);
    CheckInactive();
    DestroyFields();
    FieldDefs().Clear();
    for (int i = 0; i < statement.GetFieldCount(); ++i) {
        const auto& col = *statement.GetField(i);
        if (FieldDefs().Find(col.Name)) continue;
        int size = 0;
        switch (col.FieldType) {
            // Text keeps its declared number of characters; the slot is sized for UTF-8.
            case ftString:
            case ftBytes:
            case ftVarBytes:
            case ftWideString:
                size = static_cast<int>(col.ColumnSize);
                break;
            case ftGuid: size = 38; break;
            default: break;
        }
        if (!IsSupportedType(col.FieldType)) continue;
        TFieldDef* def = FieldDefs().Add(col.Name, col.FieldType, size, col.Required);
        if (col.FieldType == ftBCD) {
            def->Size = 4;
            def->Precision = 19;
        }
    }
    UpdateFieldDefList();
}

std::string TQelODBCClient::FieldComponentName(const std::string& fieldName, int defIndex) const {
    std::string tail = fieldName;
    if (!tail.empty() && tail[0] >= 'a' && tail[0] <= 'z') tail[0] = static_cast<char>(tail[0] - 'a' + 'A');
    bool plain = !tail.empty();
    for (char ch : tail)
        if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_'))
            plain = false;
    return plain ? Name() + tail : Name() + "Field" + std::to_string(defIndex);
}

void TQelODBCClient::CreateFieldObjects() {
    TComponent* owner = Owner() ? Owner() : this;
    fieldInfoNotices_.clear();
    const int defCount = FieldDefs().Count();
    for (int i = 0; i < defCount; ++i) {
        TFieldDef* d = FieldDefs().Items(i);
        TField* f = GetFieldClass(d->DataType)(owner);
        f->SetFieldName(d->Name);
        f->SetSize(d->Size);
        f->SetRequired(d->Required);
        if (auto* bcd = dynamic_cast<TBCDField*>(f)) bcd->Precision = d->Precision;
        f->SetDataSet(this);
        if (!Name().empty()) f->SetName(FieldComponentName(d->Name, i));
    }
    // Stored presentation: label and width of known columns, and their companion fields.
    if (!connection_) return;
    TFieldInfoStorage& store = connection_->FieldInfoStorage();
    for (int i = 0; i < defCount; ++i) {
        TFieldDef* d = FieldDefs().Items(i);
        int hit = store.IndexOf(d->Name, d->DataType, d->Precision, d->Size);
        if (hit < 0) continue;
        TField* master = FindField(d->Name);
        TFieldInfo info;
        store.GetFieldInfoM(hit, info);
        master->SetDisplayLabel(info.DisplayLabel);
        master->SetDisplayWidth(info.DisplayWidth);
        for (int k = 0; k < store.Count(hit); ++k) {
            store.GetFieldInfo(hit, k, info);
            if (FindField(info.Name)) continue;
            if (std::string problem = CompanionProblem(info); !problem.empty()) {
                // A bad entry is left out: the columns of the query still open.
                fieldInfoNotices_.push_back("Сведения о поле \"" + info.Name + "\" пропущены: " + problem);
                Errors.push_back(fieldInfoNotices_.back());
                continue;
            }
            const auto type = static_cast<TFieldType>(info.DataType);
            // The field is complete before it joins the dataset and its definition is added.
            std::unique_ptr<TField> f(GetFieldClass(type)(owner));
            f->SetFieldName(info.Name);
            f->SetSize(info.Size);
            if (auto* bcd = dynamic_cast<TBCDField*>(f.get())) bcd->Precision = info.Precision;
            f->SetReadOnly(true);
            f->SetDisplayLabel(info.DisplayLabel);
            f->SetDisplayWidth(std::max(info.DisplayWidth, 0));
            if (IODBCField* odbc = AsODBCField(f.get())) odbc->SetMasterField(master);
            f->SetDataSet(this);
            TField* added = f.release();
            TFieldDef* sub = FieldDefs().Add(info.Name, type, info.Size, false);
            sub->Precision = info.Precision;
            if (!Name().empty()) added->SetName(FieldComponentName(info.Name, FieldDefs().Count() - 1));
        }
    }
    UpdateFieldDefList();
}

void TQelODBCClient::SetActive(bool value) {
    if (loading_) {
        StoredActive = value;
        return;
    }
    // A detail of an empty master stays closed (MasterEmpty) until the master has a record.
    if (value && !Active() && !TakeMasterParams()) return;
    if (value != Active()) ClearChangedRecords();
    if (value && !Active()) {
        Errors.clear();
        // What was left out of the fields stays said while those fields are in use.
        Errors = fieldInfoNotices_;
    }
    if (value && !Active() && !dataFrom_ && FieldDefs().Count() == 0 && FieldCount() == 0 && connection_ &&
        !Trim(select_->SQL()).empty()) {
        DescribeSelect();  // no structure yet
    }
    TDataSet::SetActive(value);
    if (!value) {
        DataLoaded = false;
        ColumnMap.clear();
    }
}

void TQelODBCClient::OnCreateODBCField(TQelODBCQuery& statement) {
    statement.RowSize = RecordSize;
    statement.MaxRowSize = 0xFFFF;  // RecordSize is 16-bit
    statement.LongCount = BlobCount;
    for (int i = 0; i < statement.GetFieldCount(); ++i) {
        auto& col = *statement.GetField(i);
        TField* field = FindField(col.Name);
        if (!field) {
            col.Offset = -1;
            continue;
        }
        auto blob = std::find(BlobFields.begin(), BlobFields.end(), field);
        if (blob != BlobFields.end()) {
            col.Offset = static_cast<std::int32_t>(blob - BlobFields.begin());
            col.IsLong = true;
            // Memo text is read as text, other blobs as bytes.
            col.TargetType = field->Codec().FetchType();
            field->SetRequired(col.Required);
            continue;
        }
        field->SetRequired(col.Required);
        IODBCField* odbc = AsODBCField(field);
        if (!odbc) {
            col.Offset = -1;
            continue;
        }
        if (field->DataType() != col.FieldType) {
            // A column is read into a field of another type only as text, integer or boolean.
            const TFieldType to = field->DataType();
            if (to != ftString && to != ftInteger && to != ftBoolean)
                throw Exception(std::string(kMsgNotImplemented) + col.Name);
            col.TargetType = field->Codec().FetchType();
            col.FieldType = to;
        }
        col.Size = odbc->GetSize_();
        col.Offset = odbc->GetDataOfs();
        col.IsLong = false;
    }
}

void TQelODBCClient::AdoptRowLayout(const TQelODBCQuery& statement) {
    bool widened = false;
    for (int i = 0; i < statement.GetFieldCount(); ++i) {
        const TQelODBCField& col = *statement.GetField(i);
        if (col.Offset < 0 || col.IsLong) continue;
        TField* field = FindField(col.Name);
        if (!field || !AsODBCField(field) || static_cast<std::uint32_t>(col.Size) == field->SlotLength()) continue;
        field->SetSlotLength(static_cast<std::uint32_t>(col.Size));
        widened = true;
    }
    if (!widened) return;
    LayOutSlots();
    if (RecordSize != statement.RowSize) DatabaseError("The rows read do not match the record layout");
}

void TQelODBCClient::NarrowTextSlots() {
    bool narrowed = false;
    for (TField* f : Fields()) {
        if (f->FieldKind() != fkData || f->DataType() != ftString || !AsODBCField(f)) continue;
        f->SetSlotLength(1);  // the zero of an empty text
        narrowed = true;
    }
    if (narrowed) LayOutSlots();
}

void TQelODBCClient::LoadData() {
    if (dataFrom_) {
        LoadFromSource();
        return;
    }
    if ((!connection_ && !select_->Active()) || Trim(select_->SQL()).empty()) {
        DataLoaded = true;  // nothing to load: opens empty
        return;
    }
    BusyCursor busy(crSQLWait);
    if (!select_->Active()) {
        // Nothing will be written into the records: each text slot needs only the width of
        // its longest value, a fraction of the declared width's four bytes per character.
        if (ReadOnly && !DoResyncRecordOnFirstAccess && recordStore_.empty()) NarrowTextSlots();
        select_->RowSize = RecordSize;
        select_->LongCount = BlobCount;
        select_->OnFieldsCreated = [this](TQelODBCQuery& q) { OnCreateODBCField(q); };
        select_->OnFetchProgress = OnLoadProgress;
        if (OnGetParamValue)
            select_->SetGetParamValue([this](TQelODBCParam& p) { OnGetParamValue(*this, -1, p); });
        select_->Open();
    }
    AdoptRowLayout(*select_);
    struct CloseAtEnd {
        TQelODBCQuery& q;
        TQelODBCClient& ds;
        ~CloseAtEnd() {
            ds.AllocRecordData = true;
            q.Close();
        }
    } closeAtEnd{*select_, *this};
    ColumnMap.clear();
    for (TField* f : Fields()) {
        int column = -1;
        for (int i = 0; i < select_->GetFieldCount() && column < 0; ++i)
            if (CompareTextIgnoreCase(select_->GetField(i)->Name, f->FieldName()) == 0) column = i;
        ColumnMap.push_back(column);
    }
    const int rows = select_->RowCount();
    SetCapacity(static_cast<int>(Records.size()) + rows);
    AllocRecordData = false;
    for (int i = 0; i < rows; ++i) {
        TMemoryRecord* r = AddRecord();
        r->Loaded = !DoResyncRecordOnFirstAccess;
        // The row block becomes the record's data area as it is: no copy.
        r->OwnData(std::move(select_->Rows[static_cast<std::size_t>(i)]),
                   BlobCount > 0 ? std::move(select_->LongValues[static_cast<std::size_t>(i)]) : nullptr);
    }
    DataLoaded = true;
    RecordPos = 0;
}

}  // namespace kubrix
