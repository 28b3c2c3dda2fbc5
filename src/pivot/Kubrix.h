#pragma once
// The pivot grid's model: the pivot fields of the linked dataset, the vertical and
// horizontal axes, the data list and the per-record inclusion flags. It knows nothing of
// painting; a view reads it and a subclass lays the grid out (UpdateGridLayout).

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dataset/DataSource.h"
#include "pivot/OLAPField.h"
#include "pivot/OLAPNode.h"
#include "pivot/OLAPVisibleFields.h"
#include "support/Variant.h"

namespace kubrix {

class TQelKubrix;
class TQelODBCClient;

//! The grid's link to its data source: rebuilds the pivot fields when the dataset opens or closes.
class TQelKubrixDataLink : public TDataLink {
public:
    explicit TQelKubrixDataLink(TQelKubrix& grid) : grid_(grid) {}
    TQelKubrix& Grid() const { return grid_; }

protected:
    void ActiveChanged() override;

private:
    TQelKubrix& grid_;
};

class TQelKubrix {
public:
    TQelKubrix();
    virtual ~TQelKubrix();
    TQelKubrix(const TQelKubrix&) = delete;
    TQelKubrix& operator=(const TQelKubrix&) = delete;

    // ---- data source
    void SetDataSource(TDataSource* source) { dataLink_.SetDataSource(source); }
    TDataSource* GetDataSource() const { return dataLink_.DataSource(); }
    TQelKubrixDataLink& DataLink() { return dataLink_; }
    //! The linked dataset when it is an open in-memory dataset, else nullptr.
    TQelODBCClient* DataSet() const;
    //! Records the model reads: the linked dataset's record count, 0 without one.
    int RecordCount() const;

    // ---- properties (the layout reads them)
    //! The first column shows row numbers.
    bool RowNum = true;
    //! The first row shows column numbers.
    bool ColNum = true;
    //! The top-left cell opens the report editor.
    bool CanEditGrid = true;
    //! The total columns at the right are shown (from the next UpdateGrid).
    bool ShowRowTotal = true;
    //! The total rows at the bottom are shown (from the next UpdateGrid).
    bool ShowColTotal = true;
    //! 0: two or more data fields run along the rows; 1: along the columns.
    std::uint8_t DataPlace = 0;
    //! Header position at which the data fields are inserted among the axis levels.
    std::uint8_t DataIndex = 0;
    //! Orderings by data values (vertical, horizontal); unassigned when none.
    Variant VDataOrderBy, GDataOrderBy;

    void SetRowNum(bool value) { RowNum = value; UpdateGrid(); }
    void SetColNum(bool value) { ColNum = value; UpdateGrid(); }
    void SetDataPlace(std::uint8_t value) { DataPlace = value; UpdateGrid(); }
    void SetDataIndex(std::uint8_t value) { DataIndex = value; UpdateGrid(); }
    void SetShowRowTotal(bool value) { ShowRowTotal = value; }
    void SetShowColTotal(bool value) { ShowColTotal = value; }

    // ---- the model
    TQelOLAPFields& OLAPFields() { return *fields_; }
    const TQelOLAPFields& OLAPFields() const { return *fields_; }
    //! Vertical axis (values run down the rows).
    TQelOLAPVisibleFields XAxis;
    //! Horizontal axis (values run across the columns).
    TQelOLAPVisibleFields YAxis;
    //! Fields summed into the cells.
    TQelOLAPVisibleFields DataFields;
    //! Per record held: 1 when it passes the value filters of both axes; none without dataset.
    std::optional<std::vector<std::uint8_t>> RecordIncluded;

    // ---- updates
    void BeginUpdate() { ++UpdateLock; }
    //! On leaving the outermost bracket: re-applies the orderings by data values, or updates the grid.
    void EndUpdate();
    //! Depth of the update bracket.
    std::int32_t UpdateLock = 0;
    //! Record inclusion, node visibility, layout, sums, repaint; nothing inside a bracket.
    void UpdateGrid();

    //! Sizes RecordIncluded to the records held and clears the flags of filtered-out records.
    void CheckRecsVisible();
    //! CheckRecsVisible, then node visibility of both axes.
    void UpdateNodesVisible();
    //! Every ancestor of node below the root is expanded.
    bool IsNodeVisible(const TQelOLAPVisibleFields& axis, const TOLAPNode* node) const;

    //! Number of UpdateGrid runs that did the work (for views that cache what they show).
    std::uint64_t GridUpdates() const { return gridUpdates_; }
    bool Destroying() const { return destroying_; }

protected:
    //! Lays the grid out after node visibility and before the sums; nothing in the model.
    virtual void UpdateGridLayout() {}
    //! Re-applies an ordering by data values (horizontal or vertical) at the end of an
    //! update bracket; the model has none to apply and updates the grid.
    virtual void ApplyDataOrderBy(bool horizontal);
    //! Shows the new state; nothing in the model.
    virtual void Repaint() {}

private:
    friend class TQelKubrixDataLink;
    friend class TQelOLAPFields;
    //! The dataset opened or closed.
    void DataSetActiveChanged();
    //! A pivot field is about to be destroyed: nothing may refer to it afterwards.
    void ReleaseField(const TQelOLAPField* field);

    bool destroying_ = false;
    std::uint64_t gridUpdates_ = 0;
    std::unique_ptr<TQelOLAPFields> fields_;
    TQelKubrixDataLink dataLink_;
};

}  // namespace kubrix
