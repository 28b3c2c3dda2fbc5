#include "dataset/AccessManager.h"

#include "dataset/DataSet.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"
#include "support/ScopeGuard.h"
#include "support/Text.h"

namespace kubrix {

bool ColumnMaskCovers(const std::vector<std::uint8_t>& mask, int colId) {
    auto bit = [&](std::size_t n) { return n / 8 < mask.size() && (mask[n / 8] >> (n % 8) & 1) != 0; };
    return bit(0) || (colId > 0 && bit(static_cast<std::size_t>(colId)));
}

TFieldColumn FieldUpdateColumn(const TField* field) {
    const IODBCField* odbc = field ? field->GetODBCInterface() : nullptr;
    if (!odbc) return {};
    TFieldColumn c;
    c.Table = Trim(odbc->GetTableName());
    const std::string script = odbc->GetUpdate_ValueScript();
    c.Column = Trim(script.substr(0, script.find('=')));
    if (!c.Column.empty() && c.Column.front() == '[') c.Column.erase(0, 1);
    if (!c.Column.empty() && c.Column.back() == ']') c.Column.pop_back();
    return c;
}

TQelAccessManager::TQelAccessManager(TComponent* owner) : TComponent(owner) {}

TQelAccessManager::~TQelAccessManager() = default;

void TQelAccessManager::Assign(TDataSet*& slot, TDataSet* value) {
    if (slot == value) return;
    TDataSet* old = slot;
    slot = value;
    // The old one may still fill another slot: it is watched while any slot holds it.
    if (old && old != objects_ && old != columns_ && old != members_ && old != protects_) RemoveFreeNotification(old);
    if (value) FreeNotification(value);
}

void TQelAccessManager::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    for (TDataSet** slot : {&objects_, &columns_, &members_, &protects_})
        if (*slot && static_cast<TComponent*>(*slot) == component) *slot = nullptr;
}

bool TQelAccessManager::Active() const {
    return objects_ && columns_ && members_ && protects_ && objects_->Active() && columns_->Active() &&
           members_->Active() && protects_->Active();
}

int TQelAccessManager::ObjId(const std::string& tableName) {
    const std::string key = Utf8Upper(tableName);
    if (int i = objIds_.IndexOf(key); i >= 0) return objIds_.GetItem(i)->Value;
    if (!objects_ || !objects_->Active()) return -1;  // not cached: the answer may come once it opens
    int id = -1;
    {
        TField* name = objects_->FieldByName("name");
        TField* idField = objects_->FieldByName("id");
        for (objects_->First(); !objects_->Eof(); objects_->Next())
            if (CompareTextIgnoreCase(name->AsString(), tableName) == 0) {
                id = idField->AsInteger();
                break;
            }
    }
    objIds_.GetItem(objIds_.Add(key))->Value = id;
    return id;
}

int TQelAccessManager::ColId(const std::string& tableName, const std::string& columnName) {
    const int objId = ObjId(tableName);
    if (objId < 0 || !columns_ || !columns_->Active()) return -1;
    TField* id = columns_->FieldByName("id");
    TField* name = columns_->FieldByName("name");
    TField* colId = columns_->FieldByName("colid");
    for (columns_->First(); !columns_->Eof(); columns_->Next())
        if (!id->IsNull() && id->AsInteger() == objId && CompareTextIgnoreCase(name->AsString(), columnName) == 0)
            return colId->AsInteger();
    return -1;
}

bool TQelAccessManager::IsMember(std::optional<bool>& flag, const char* role) {
    if (flag) return *flag;
    if (!members_ || !members_->Active()) return false;  // not cached, as above
    bool member = false;
    TField* name = members_->FieldByName("name");
    for (members_->First(); !members_->Eof() && !member; members_->Next()) member = name->AsString() == role;
    flag = member;
    return member;
}

bool TQelAccessManager::is_dbo() { return IsMember(dbo_, "db_owner"); }
bool TQelAccessManager::is_datawriter() { return IsMember(dataWriter_, "db_datawriter"); }
bool TQelAccessManager::is_denydatawriter() { return IsMember(denyDataWriter_, "db_denydatawriter"); }

bool TQelAccessManager::AnyRowCovers(int objId, int protectType, int colId, bool unreadableCovers) {
    protects_->SetFilterText("id=" + std::to_string(objId) + " AND action=" + std::to_string(kActionUpdate) +
                             " AND ProtectType=" + std::to_string(protectType));
    protects_->SetFiltered(true);
    TField* columns = protects_->FieldByName("Columns");
    for (protects_->First(); !protects_->Eof(); protects_->Next()) {
        const Variant mask = columns->GetAsVariant();
        if (mask.IsByteArray() ? ColumnMaskCovers(mask.Bytes(), colId) : unreadableCovers) return true;
    }
    return false;
}

bool TQelAccessManager::CanUpdate(const std::string& tableName, const std::string& columnName) {
    if (!Active()) return false;
    const std::string key = Utf8Upper(tableName) + ";" + Utf8Upper(columnName);
    if (int i = answers_.IndexOf(key); i >= 0) return answers_.GetItem(i)->Value != 0;
    bool answer = false;
    const int colId = ColId(tableName, columnName);
    if (colId >= 0) {
        if (is_dbo()) {
            answer = true;
        } else if (!is_denydatawriter()) {
            const int objId = ObjId(tableName);
            ScopeExit filterOff([&] { protects_->SetFiltered(false); });
            answer = is_datawriter() || AnyRowCovers(objId, kProtectGrant, colId, false);
            if (answer) answer = !AnyRowCovers(objId, kProtectDeny, colId, true);
        }
    }
    answers_.GetItem(answers_.Add(key))->Value = answer ? 1 : 0;
    return answer;
}

bool TQelAccessManager::DeniesFieldUpdate(const TField* field) {
    const IODBCField* odbc = field ? field->GetODBCInterface() : nullptr;
    if (!odbc || !odbc->GetCheckAccess()) return false;
    BusyCursor busy;
    const TFieldColumn c = FieldUpdateColumn(field);
    if (c.Table.empty() || c.Column.empty()) return false;
    return !CanUpdate(c.Table, c.Column);
}

void TQelODBCClient::SetAccessManager(TQelAccessManager* manager) {
    if (accessManager_ == manager) return;
    if (accessManager_) RemoveFreeNotification(accessManager_);
    accessManager_ = manager;
    if (manager) FreeNotification(manager);
}

}  // namespace kubrix
