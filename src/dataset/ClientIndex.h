#pragma once
// A key index over one in-memory dataset: its records grouped by the raw stored value of
// one or more key fields, the groups in the order of CompareMemBlocks over the key slots
// (flag byte included), so that a key is found by binary search and a unique key can be
// enforced. The dataset builds every attached index when it opens, adds and removes records
// as they are posted and deleted, and empties the index when it closes.

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/Component.h"
#include "support/Variant.h"

namespace kubrix {

class TField;
class TMemoryRecord;
class TQelODBCClient;

class TQelODBCClientIndex : public TComponent {
public:
    //! Records sharing one key value, in the order they were added; never empty.
    using TGroup = std::vector<TMemoryRecord*>;

    explicit TQelODBCClientIndex(TComponent* owner = nullptr);
    ~TQelODBCClientIndex() override;

    TQelODBCClient* Data() const { return data_; }
    //! Leaves the old dataset (emptied, out of its Indexes), joins the new one and builds.
    void SetData(TQelODBCClient* dataSet);
    //! Key field names separated by ";".
    const std::string& FieldName() const { return fieldName_; }
    //! Stores the names and rebuilds.
    void SetFieldName(const std::string& names);
    bool Unique() const { return unique_; }
    //! Stores only: groups already holding several records stay.
    void SetUnique(bool value) { unique_ = value; }

    //! Rebuilds from the records of an open dataset (nothing while it is closed); a key field
    //! without a slot raises "Не получено смещение данных по полю " + name.
    void CreateData();
    //! Drops every group.
    void ClearData();
    //! Inserts a record (refused in a unique index by the rule of CheckAdd).
    void Add(TMemoryRecord* record);
    //! Inserts the record at index of the dataset's Records.
    void Add(int recordIndex);
    //! Removes a record (its key must be the one it was added with).
    void Delete(TMemoryRecord* record);
    //! Binary search for the group of a record's key; position is that group or, when not
    //! found, where a new group belongs.
    bool FindRecord(int& position, const TMemoryRecord* record) const;
    //! The same for a key value: one value, or an array with one element per key field, each
    //! turned into its field's stored form (a value that does not convert raises).
    bool FindRecord(int& position, const Variant& value) const;
    //! Record index of the group's first record (first one not deleted when changes stay
    //! in memory); -1 when none.
    int FindRecordByValue(const Variant& value) const;
    //! Appends the indexes of the group's records that are not deleted (positions in the
    //! full list while a record subset is in force).
    void AllRecordsByValue2(const Variant& value, std::vector<int>& list) const;
    //! Raises "Запись с заданным ключевым полем уже есть" when a record whose data area is
    //! area could not be added; self (a record being re-posted) does not count.
    void CheckAdd(const std::uint8_t* area, const TMemoryRecord* self) const;
    //! The dataset closed: no groups and no key fields until it opens again.
    void DataClosed();

    const std::vector<TGroup>& Groups() const { return groups_; }
    const std::vector<TField*>& KeyFields() const { return keyFields_; }
    const std::vector<std::int32_t>& KeyOffsets() const { return keyOffsets_; }
    const std::vector<int>& KeySizes() const { return keySizes_; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void ResolveKeyFields();
    //! CompareMemBlocks order of two data areas' key slots: -1, 0 or 1.
    int CompareAreas(const std::uint8_t* a, const std::uint8_t* b) const;
    bool Search(int& position, const std::uint8_t* area) const;
    //! The group at position refuses another record (self aside).
    bool Refuses(const TGroup& group, const TMemoryRecord* self) const;
    //! A key value as a data area holding only the key slots at their offsets; whole is set
    //! false when a text part is longer than a slot narrowed to the loaded values holds.
    std::vector<std::uint8_t> KeyArea(const Variant& value, bool& whole) const;

    TQelODBCClient* data_ = nullptr;
    std::string fieldName_;
    bool unique_ = false;
    std::vector<TGroup> groups_;
    std::vector<TField*> keyFields_;
    std::vector<std::int32_t> keyOffsets_;
    std::vector<int> keySizes_;
};

}  // namespace kubrix
