#pragma once
// A parent/child hierarchy over the records of one in-memory dataset, described by integer
// columns of the records themselves: the record's key, its parent's key (0 at the top level),
// its order among its siblings and, optionally, the key of the record it is a shortcut to
// (whose children then appear again below it, as copies). While a tree is attached the
// dataset keeps its Records in tree order and shows only the records whose ancestors are all
// expanded; it builds the tree when it opens, reports every insert, edit and delete, and
// hands its OrderBy over.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataset/Component.h"
#include "dataset/DataSet.h"

namespace kubrix {

class TField;
class TMemoryRecord;
class TQelODBCClient;
class TQelODBCClientIndex;

//! One node of the tree; the root stands for no record.
struct TTreeNode {
    TMemoryRecord* Record = nullptr;
    std::int32_t Order = 0;
    std::int32_t Key = 0;
    std::int32_t ParentKey = 0;
    //! Key of the shortcut's target, 0 for a node that is no shortcut.
    std::int32_t Shortcut = 0;
    TTreeNode* Parent = nullptr;
    TTreeNode* NextSibling = nullptr;
    TTreeNode* FirstChild = nullptr;
    bool Expanded = false;
};

class TQelODBCClientTree2 : public TComponent {
public:
    explicit TQelODBCClientTree2(TComponent* owner = nullptr);
    ~TQelODBCClientTree2() override;

    // ---- settings
    TQelODBCClient* DataSet() const { return dataSet_; }
    //! Leaves the old dataset, joins the new one and builds the tree at once.
    void SetDataSet(TQelODBCClient* dataSet);
    //! Integer field holding the parent's key; 0 is the top level.
    TField* idParentField = nullptr;
    //! Integer field holding the order number among siblings.
    TField* OrderField = nullptr;
    //! Integer field holding the record's own key.
    TField* KeyField = nullptr;
    //! A key index of the same dataset on KeyField: finds a record by key.
    TQelODBCClientIndex* KeyIndex = nullptr;
    //! Optional integer field: a value other than 0 makes the record a shortcut.
    TField* ShortcutField = nullptr;
    //! Expanded state given to every new node.
    bool DefaultExpandedState = false;
    //! Renumber siblings after a delete (CorrectOrders).
    bool DoOrderCorrection = false;

    // ---- state
    bool Built() const { return built_; }
    bool Correcting() const { return correcting_; }
    TTreeNode* Root() const { return root_.get(); }
    //! The node of a record, nullptr when it has none.
    TTreeNode* NodeOf(const TMemoryRecord* record) const;
    //! Records of all nodes, sorted by record identity (parallel to Nodes).
    const std::vector<TMemoryRecord*>& NodeRecords() const { return nodeRecords_; }

    // ---- building
    //! Builds the tree from the records (the dataset's Records end up in tree order).
    void CreateTree();
    //! Frees every node; Built becomes false.
    void FreeData();
    //! Replaces the dataset's Records by a depth-first walk of the tree.
    void SortDataSet();
    //! Sets TreeVisible of every record from its ancestors' expanded state; the cursor moves
    //! back to a visible record.
    void ApplyExpandedState();
    //! Expands every ancestor of node and shows it.
    void ShowNode(TTreeNode* node);
    //! Expands or collapses a node and recomputes what is visible.
    void SetExpanded(TTreeNode* node, bool expanded);
    //! Copies the children of each shortcut's target below the shortcut.
    void FillShortcuts(std::vector<TTreeNode*>& list);
    //! Removes every copy and copies the shortcuts' children again; false when there was
    //! neither a copy nor a shortcut.
    bool RebuildShortcuts();

    // ---- the dataset's change paths
    //! Raises the message that refuses a record about to be posted (nothing is stored yet):
    //! an unknown parent, or a parent that is the record itself or one of its descendants.
    //! record is nullptr for an insert.
    void CheckPost(TRecordBuffer buffer, const TMemoryRecord* record);
    //! A record was inserted and stored.
    void InsertRecord(TMemoryRecord* record);
    //! A record's edit was posted.
    void UpdateRecord(TMemoryRecord* record);
    //! A record is about to be removed: refused for a record with children or one that
    //! shortcuts point to; a shortcut takes its copies along.
    void DeleteRecord(TMemoryRecord* record);
    //! Renumbers parent's children 0, 1, ... in one transaction (DoOrderCorrection only).
    void CorrectOrders(TTreeNode* parent);
    //! Orders every sibling group by the OrderBy text, a node placed by the extreme value
    //! along the chain of last children below it.
    void SortByOrder(const std::string& text);
    //! Every node keyed oldKey takes newKey, and so does every node whose parent key is oldKey.
    void ReplaceKey(std::int32_t oldKey, std::int32_t newKey);

    // ---- helpers
    //! Binary search of record in a list sorted by record identity.
    static bool FindRecord(int& position, const TMemoryRecord* record, const std::vector<TMemoryRecord*>& list);
    //! The previous sibling, nullptr for the first child.
    static TTreeNode* GetPriorNode(TTreeNode* node);
    //! Number of all descendants.
    static int ChildrenCount(const TTreeNode* node);
    //! Links node below parent by the insertion rule of later additions.
    static void AddNode(TTreeNode* parent, TTreeNode* node);
    //! Inserts the node and its record at their sorted place in the lists (which own the nodes).
    void AddRecordToBuf(std::unique_ptr<TTreeNode> node);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    //! Takes the node out of the lists and hands it over; nullptr when it is not there.
    std::unique_ptr<TTreeNode> RemoveFromBuf(TTreeNode* node);
    static void Unlink(TTreeNode* node);
    //! Links by the build rule (after equal orders).
    static void AddNodeBuilt(TTreeNode* parent, TTreeNode* node);
    static void LinkNode(TTreeNode* parent, TTreeNode* node, bool afterEqual);
    //! A node with the record's current values.
    std::unique_ptr<TTreeNode> NodeFromRecord(TMemoryRecord* record) const;
    std::int32_t BufferInt(TRecordBuffer buffer, TField* field) const;
    std::int32_t RecordInt(TMemoryRecord* record, TField* field) const;
    //! The live record keyed key through KeyIndex; nullptr when none.
    TMemoryRecord* RecordByKey(std::int32_t key) const;
    //! Frees a shortcut's copied subtree: its nodes and their records.
    void RemoveCopies(TTreeNode* node);
    //! TreeVisible of every record below top (top itself included, unless it is the root).
    void ApplyVisibility(TTreeNode* top);
    //! The cursor follows its record to its new index.
    void KeepCursorOn(TMemoryRecord* record);
    void ResyncDataSet();
    //! The cursor moves back from its record to the nearest visible one.
    void CursorToVisible();
    //! Moves a new node's record to its place in Records (which are otherwise in tree order).
    void PlaceRecord(TTreeNode* node);
    //! Keeps the counts of shortcut and copy nodes as a node joins (1) or leaves (-1) the lists.
    void Count(const TTreeNode* node, int delta);
    void ShowLoop(std::int32_t parentKey);
    void FreeDataQuiet();

    TQelODBCClient* dataSet_ = nullptr;
    bool built_ = false;
    bool correcting_ = false;
    std::unique_ptr<TTreeNode> root_;
    // Parallel lists sorted by record identity.
    std::vector<TMemoryRecord*> nodeRecords_;
    std::vector<std::unique_ptr<TTreeNode>> nodes_;
    int shortcutCount_ = 0;  // nodes that are shortcuts
    int copyCount_ = 0;      // nodes of copied records
};

}  // namespace kubrix
