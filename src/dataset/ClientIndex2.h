#pragma once
// A second index: the records of one dataset grouped level by level over a list of key
// fields into a tree (one node per distinct raw key value at each level, the records at
// the last level), built on demand and written as a flat table of groups, with total rows
// for the enclosing groups, into another dataset (IndexData). Editing the records does
// not update it; setting Active again rebuilds it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataset/Component.h"
#include "support/FieldTypes.h"

namespace kubrix {

class TField;
class TMemoryRecord;
class TQelODBCClient;

class TQelODBCClientIndex2 : public TComponent {
public:
    //! A group of one level. Children are ordered by CompareMemBlocks of their Key.
    struct TNode {
        TNode* Parent = nullptr;
        //! Groups of the next level (all levels but the last).
        std::vector<std::unique_ptr<TNode>> Children;
        //! The records of the group, in the order they were added (last level only).
        std::vector<TMemoryRecord*> Records;
        //! The key slot bytes of this level, flag included (empty for the root).
        std::vector<std::uint8_t> Key;
        //! Identity written into the "_node" columns: 1, 2, ... in order of creation.
        std::int32_t Id = 0;
    };

    explicit TQelODBCClientIndex2(TComponent* owner = nullptr);
    ~TQelODBCClientIndex2() override;

    TQelODBCClient* Data() const { return data_; }
    //! Clears an active tree (not rebuilt), then stores.
    void SetData(TQelODBCClient* dataSet);
    //! Key field names separated by ";", outermost level first.
    const std::string& FieldName() const { return fieldName_; }
    //! Clears an active tree (not rebuilt), then stores.
    void SetFieldName(const std::string& names);
    bool Active() const { return active_; }
    //! True builds the tree and fills IndexData; false clears it. Raises "Нет набора
    //! данных", "Набор данных не открыт", "Нет списка полей индекса" or the missing slot
    //! message, leaving the index inactive.
    void SetActive(bool value);
    TQelODBCClient* IndexData() const { return indexData_; }
    //! Stores; that dataset's second index becomes this one; when active, fills it.
    void SetIndexData(TQelODBCClient* dataSet);

    //! Frees the tree; Active becomes false.
    void ClearData();
    //! Builds the tree from every record of Data.
    void CreateData();
    //! Places one record under node at level (0 for the root's children).
    void Add(TMemoryRecord* record, TNode* node, int level);
    //! Replaces IndexData's structure by the table of groups and writes one row per
    //! last-level group and one total row per enclosing group.
    void InitIndexData();

    //! The root while active, else nullptr.
    const TNode* Root() const { return root_.get(); }
    //! What the table needs of a key field, kept so that it outlives the field object.
    struct TKeyField {
        std::string Name;
        TFieldType DataType = ftUnknown;
        int Size = 0;
        bool Required = false;
        std::int32_t Offset = -1;
        int SlotSize = 0;  // flag byte included
    };
    const std::vector<TKeyField>& KeyFields() const { return keyFields_; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void ResolveKeyFields();
    std::unique_ptr<TNode> NewNode(TNode* parent, const std::uint8_t* key, int size);
    void WriteRows(const TNode* node, int level);
    void AppendRow(const TNode* deepest, int deepestLevel, bool total);

    TQelODBCClient* data_ = nullptr;
    TQelODBCClient* indexData_ = nullptr;
    std::string fieldName_;
    bool active_ = false;
    std::unique_ptr<TNode> root_;
    std::int32_t nextId_ = 0;
    std::vector<TKeyField> keyFields_;
    // IndexData's fields while it is written: key and "_node" per level, then "is_total".
    std::vector<TField*> outKeys_, outNodes_;
    TField* outTotal_ = nullptr;
};

}  // namespace kubrix
