#pragma once
// Column rights of the current database user: may they update a given column of a given
// table? Decided from a permission catalogue that four datasets of the application expose
// (objects, columns, the user's roles, permission rows with column bit masks); answers are
// cached for the manager's lifetime, so later changes of rights in the database are not seen.
//
// Column bit mask ("Columns" of a permission row): the bytes in order, each read least
// significant bit first; bit 0 of the first byte means every column, bit n the column whose
// "colid" is n. A mask that is null or not a byte array grants nothing and denies every
// column: when the rights cannot be read, the column stays closed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dataset/Component.h"
#include "support/HashStrings.h"

namespace kubrix {

class TDataSet;
class TField;

//! The catalogue's numbers: action UPDATE, protect types GRANT and DENY.
inline constexpr int kActionUpdate = 197;
inline constexpr int kProtectGrant = 205;
inline constexpr int kProtectDeny = 206;

//! Whether mask has bit 0 (every column) or bit colId.
bool ColumnMaskCovers(const std::vector<std::uint8_t>& mask, int colId);

//! The table and column a field writes: the trimmed table name, and the trimmed text of the
//! update value script before its first "=" without surrounding "[" and "]". Both empty for
//! a field the record store does not hold.
struct TFieldColumn {
    std::string Table;
    std::string Column;
};
TFieldColumn FieldUpdateColumn(const TField* field);

class TQelAccessManager : public TComponent {
public:
    explicit TQelAccessManager(TComponent* owner = nullptr);
    ~TQelAccessManager() override;

    //! The tables: "name" (text), "id" (integer). Not owned; forgotten when destroyed.
    TDataSet* qObjects() const { return objects_; }
    void SetqObjects(TDataSet* value) { Assign(objects_, value); }
    //! The columns of every table: "id" (table id), "name", "colid" (from 1).
    TDataSet* qColumns() const { return columns_; }
    void SetqColumns(TDataSet* value) { Assign(columns_, value); }
    //! The roles of which the current user is a member: "name".
    TDataSet* qMembers() const { return members_; }
    void SetqMembers(TDataSet* value) { Assign(members_, value); }
    //! Permission rows: "id" (table id), "action", "ProtectType", "Columns" (bit mask).
    TDataSet* qProtects() const { return protects_; }
    void SetqProtects(TDataSet* value) { Assign(protects_, value); }

    //! All four datasets are assigned and open.
    bool Active() const;
    //! Whether the current user may update column of table; false when not Active (and then
    //! nothing is cached). Errors of the datasets pass through; the filter of qProtects is
    //! switched off before they leave.
    bool CanUpdate(const std::string& tableName, const std::string& columnName);
    //! The "id" of the table named tableName (any letter case); -1 when absent. Cached.
    int ObjId(const std::string& tableName);
    //! The "colid" of column columnName (any letter case) of table tableName; -1 when absent.
    int ColId(const std::string& tableName, const std::string& columnName);
    //! Member of "db_owner" (asked once).
    bool is_dbo();
    //! Member of "db_datawriter" (asked once).
    bool is_datawriter();
    //! Member of "db_denydatawriter" (asked once).
    bool is_denydatawriter();

    //! The column rule of the in-memory dataset: true when field checks its access, names a
    //! table and a column (FieldUpdateColumn), and CanUpdate refuses that column. Asked under
    //! the busy cursor.
    bool DeniesFieldUpdate(const TField* field);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void Assign(TDataSet*& slot, TDataSet* value);
    bool IsMember(std::optional<bool>& flag, const char* role);
    //! Walks the rows of qProtects of table objId and kind protectType; true at the first
    //! row whose mask covers colId.
    bool AnyRowCovers(int objId, int protectType, int colId, bool unreadableCovers);

    TDataSet* objects_ = nullptr;
    TDataSet* columns_ = nullptr;
    TDataSet* members_ = nullptr;
    TDataSet* protects_ = nullptr;
    TmwHashStrings objIds_;   // upper-cased table name -> id, -1 for none
    TmwHashStrings answers_;  // upper-cased "TABLE;COLUMN" -> 1 or 0
    std::optional<bool> dbo_, dataWriter_, denyDataWriter_;
};

}  // namespace kubrix
