#pragma once
// The placed fields of one list of the pivot: an axis (vertical XAxis or horizontal YAxis)
// with the tree of its values and the list of its rows in display order, or the data list
// whose fields are summed into the cells (the sums live on the vertical axis's nodes).

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "pivot/OLAPField.h"
#include "pivot/OLAPNode.h"
#include "support/Variant.h"

namespace kubrix {

class TQelKubrix;

//! Sizes at which building the trees and the sums changes method (the results are the same
//! either way; a test may lower them to check every method on small data).
struct TPivotTuning {
    //! Largest space of value paths an axis deals its records by with tables indexed by path.
    std::uint64_t DensePaths = std::uint64_t{1} << 24;
    //! Largest table of node pairs the sums are gathered in.
    std::size_t DenseCells = std::size_t{1} << 22;
    //! Fewest records worth a second thread for the sums and for a field's dictionary.
    std::size_t ParallelRecords = 200000;
};
//! The process's tuning.
TPivotTuning& PivotTuning();

//! One placed field.
class TQelOLAPVisibleField {
public:
    //! Name under which the field was placed.
    std::string FieldName;
    //! The pivot field; not owned.
    TQelOLAPField* OLAPField = nullptr;
};

class TQelOLAPVisibleFields {
public:
    TQelOLAPVisibleFields(TQelKubrix& grid, bool isAxis);
    ~TQelOLAPVisibleFields();
    TQelOLAPVisibleFields(const TQelOLAPVisibleFields&) = delete;
    TQelOLAPVisibleFields& operator=(const TQelOLAPVisibleFields&) = delete;

    // ---- placed fields
    //! Places a field (taking it off every other list); raises "Field not found: " + name.
    TQelOLAPVisibleField& Add(const std::string& name);
    //! Removes the first placed field of that exact name; nothing when none.
    void Del(const std::string& name);
    //! The placed field at index.
    TQelOLAPVisibleField& Field(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    //! Position of the placed field that refers to field, -1 when none.
    int IndexOf(const TQelOLAPField* field) const;
    //! Axes: ClearIndex; data list: ClearData; then removes every placed field.
    void Clear();
    //! Holds back change notification until the matching EndUpdate.
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    //! Change notification: axes rebuild the tree, the data list the sums; then the grid updates.
    void Update(TQelOLAPVisibleField* item);

    // ---- tree (axes)
    //! Frees the tree and its sums; empties Rows, RecordLeaves and IndexNames.
    void ClearIndex();
    //! Builds the tree from every record; raises "Не реализовано" when a tree with fields
    //! exists. A value missing from a dictionary raises and leaves the axis as it was.
    void UpdateIndexData();
    //! Numbers the rows: every node but the root in post-order.
    void FillRows();
    int RowCount() const { return static_cast<int>(Rows.size()); }
    //! Number of levels of the built tree (fields it was built for).
    int LevelCount() const { return static_cast<int>(levelFields_.size()); }
    //! The pivot field of a level of the built tree.
    TQelOLAPField* LevelField(int level) const { return levelFields_.at(static_cast<std::size_t>(level)); }
    //! Re-sorts the children lists one level above level by that level's comparison.
    void SortLevel(int level);

    bool GetExpanded(const TOLAPNode* node) const;
    void SetExpanded(TOLAPNode* node, bool flag);
    //! The node's value is selected and some included record lies below it.
    bool GetVisible(const TOLAPNode* node) const;
    //! Recomputes Visible and FirstVisibleRow of every node.
    void UpdateNodesVisible();
    //! The node a row of node stands for: its outermost collapsed ancestor, or itself.
    TOLAPNode* LastVisibleNode(TOLAPNode* node) const;
    //! Appends to list the records under row's ancestor at level (those not held yet).
    void GetRecsFromRow(int row, int level, std::vector<std::int32_t>& list) const;
    //! The node reached by a path of values (a one-dimensional array, element k for level k).
    TOLAPNode* FindNodeByValue(const Variant& values) const;

    //! Text of a header cell at a level for an axis row, with three flags: the row is a group's
    //! own (subtotal) row, the cell is that group's own-level cell, the row is the first visible
    //! row of the cell's group. All false and the text empty past the rows.
    void FieldText(int level, int row, std::string& text, bool& groupRow, bool& ownLevel, bool& firstRow) const;

    // ---- aggregation (data list)
    //! Discards all sums and recomputes them from the records.
    void UpdateCalcData();
    //! Releases the sums of every vertical node.
    void ClearData();
    //! Sum of data field dataIndex for the nodes vertical row xRow and horizontal row yRow
    //! stand for; false (value untouched) when no record is counted there.
    bool DataValue(int xRow, int yRow, double& value, int dataIndex) const;
    bool DataValue(const TOLAPNode* xNode, const TOLAPNode* yNode, double& value, int dataIndex) const;
    //! The cell text: the sum as "%.2n", or empty.
    void DataText(int xRow, int yRow, std::string& text, int dataIndex) const;
    //! After the horizontal rows were renumbered: moves every sum entry from key k to
    //! newKey[k + 1] (keys outside the table stay) and re-sorts the entries.
    void RemapSumKeys(const std::vector<std::int32_t>& newKey);
    //! Whether the sums add up record (by its position in the full list): it passes the value
    //! filters and both its leaves are shown.
    bool RecordCounted(std::int32_t record) const;
    //! Whether the sums add up every record held.
    bool AllRecordsCounted() const;
    //! The next UpdateCalcData keeps the sums when the trees, the data fields and the counted
    //! records are those they were computed for (rows were only reordered since).
    void KeepSumsOnce(bool flag) { keepSums_ = flag; }

    //! Root of the tree, nullptr until built.
    std::unique_ptr<TOLAPNode> Root;
    const bool IsAxis;
    //! Every node but the root, in row order.
    std::vector<TOLAPNode*> Rows;
    //! Entry i: the leaf of record i.
    std::vector<TOLAPNode*> RecordLeaves;
    //! Names the tree was built for (data list: the data fields' names); empty: no tree.
    std::vector<std::string> IndexNames;

    TQelKubrix& Grid() const { return grid_; }

private:
    friend class TQelKubrix;
    //! Removes, without notification, every placed field referring to field and any tree
    //! built over it (the field is about to be destroyed).
    void ForgetField(const TQelOLAPField* field);
    void Changed(TQelOLAPVisibleField* item);
    TOLAPNode* NewNode();
    bool HasIncludedRecords(const TOLAPNode* node) const;
    bool VisitVisible(std::vector<TOLAPNode*>& list, bool parent);
    bool MarkIncluded(TOLAPNode* node, const std::vector<std::uint8_t>& included);
    void ReleaseSums(TOLAPNode* node);

    TQelKubrix& grid_;
    std::vector<std::unique_ptr<TQelOLAPVisibleField>> items_;
    int updateCount_ = 0;
    //! The pivot field of each level of the built tree.
    std::vector<TQelOLAPField*> levelFields_;
    //! Every node but the root (stable addresses).
    std::deque<TOLAPNode> nodes_;
    // Data list: what the sums were last computed for.
    bool keepSums_ = false;
    const TOLAPNode* sumsX_ = nullptr;
    const TOLAPNode* sumsY_ = nullptr;
    int sumsFields_ = 0;
    std::vector<std::uint8_t> sumsCounted_;
};

}  // namespace kubrix
