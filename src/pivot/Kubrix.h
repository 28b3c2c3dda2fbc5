#pragma once
// The pivot grid's model: the pivot fields of the linked dataset, the vertical and
// horizontal axes, the data list and the per-record inclusion flags. It knows nothing of
// painting; a view reads it and a subclass lays the grid out (UpdateGridLayout).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/DataSource.h"
#include "pivot/KubrixCells.h"
#include "pivot/KubrixCommands.h"
#include "pivot/OLAPField.h"
#include "pivot/OLAPNode.h"
#include "pivot/OLAPVisibleFields.h"
#include "support/GridGeometry.h"
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

    // ---- grid layout (the rows and columns a view shows)
    //! Row heights, column widths (with the remembered widths), counts and fixed counts. A view
    //! displays this very object and listens to it; only the model writes it.
    TGridGeometry& Geometry() { return geometry_; }
    const TGridGeometry& Geometry() const { return geometry_; }
    //! The layout quantities for the placed fields and the built trees (what UpdateGrid lays out).
    TKubrixDims Dims() const;
    //! Axis row shown at a grid offset (row - fixed rows, or column - fixed columns); place 0 for
    //! XAxis, 1 for YAxis.
    int GridRowToIndRow(const TQelOLAPVisibleFields& axis, int place, int offset) const;
    //! Data field shown at a grid offset of the axis the data fields run along.
    int DataFldInd(const TQelOLAPVisibleFields& axis, int offset) const;
    //! Position of a column among the visible non-fixed columns (-1 for none up to it).
    int ColToYFldInd(int col) const;
    //! The same into pos; true when the column carries a horizontal caption or the data caption.
    //! Counting stops past the caption columns, so for a column further right pos is only known
    //! to be at least nY + dY (the result is false either way).
    bool ColToYFldInd(int col, int& pos) const;
    //! Heights of the data rows first..last from node visibility and expansion.
    void CheckRowsVisible(int first, int last);
    //! Widths of the data columns first..last; hidden widths are remembered.
    void CheckColsVisible(int first, int last);
    //! Shows as many spare columns as the horizontal captions need.
    void CheckAdditionalColsVisible();
    //! Toggles the vertical node under a header cell of a data row (check: only when all its
    //! ancestors are expanded); re-checks the rows of that value only.
    void RevertExpandedStateX(int col, int row, bool check);
    //! Toggles the horizontal node under a header cell of a data column.
    void RevertExpandedStateY(int col, int row, bool check);
    //! Re-checks the rows showing every vertical node of the value entry at level.
    void UpdateRowsVisible(int level, const TOLAPValueEntry* entry);
    //! Re-checks the columns showing every horizontal node of the value entry at level.
    void UpdateColsVisible(int level, const TOLAPValueEntry* entry);

    // ---- cells (what every cell shows; no painting here)
    //! Classifies a cell and fills its text and style.
    TKubrixCell CellInfo(int col, int row) const;
    //! The text a cell shows; empty where nothing is written.
    std::string GetEditText(int col, int row) const;
    //! The in-place editor may open on every cell but (0, 0); what is typed there changes nothing.
    bool CanEditShow(int col, int row) const { return col != 0 || row != 0; }

    // ---- mouse, menus and commands
    //! Cell at which the context menu was last opened; the menu commands work on it.
    std::int32_t MenuRow = 0, MenuCol = 0;
    //! The field whose caption a cell shows (place 0 vertical, 1 horizontal, index on the axis);
    //! false for every other cell, "Данные" included.
    bool CaptionFieldAt(int col, int row, int& place, int& index) const;
    //! Which context menu a right click on a cell opens.
    TKubrixMenu MenuAt(int col, int row) const;
    //! A right click on a cell: when a menu applies, remembers the cell in MenuRow/MenuCol.
    TKubrixMenu OpenMenuAt(int col, int row);
    //! Runs a menu command on the cell at MenuRow/MenuCol.
    void RunCommand(TKubrixCommand command);
    //! Caption menu: on the field of the caption cell at MenuRow/MenuCol.
    void menu_CollapseAll();
    void menu_ExpandAll();
    void menu_SortUp();
    void menu_SortDown();
    void menu_ShowTotal();
    void menu_HideTotal();
    //! Data menu: the rows ordered by the sums of the column at MenuCol (V), or the columns by the
    //! sums of the row at MenuRow (G).
    void menu_SortUpDataV();
    void menu_SortDownDataV();
    void menu_SortUpDataG();
    void menu_SortDownDataG();
    //! A press on a cell (any button, after the grid's own handling): the top-left cell opens the
    //! report editor when CanEditGrid is set.
    void CellPressed(int col, int row);
    //! A press inside the filter button of a caption cell: opens the value filter of its field.
    //! False (nothing done) when the cell is not the caption cell of a field.
    bool FilterButtonPressed(int col, int row);
    //! A double click on a cell: header cells toggle their node; data and total cells drill down.
    void CellDoubleClicked(int col, int row);
    //! Records behind a data or total cell, in the row's record order; nullopt for the grand
    //! total (every record) or a cell that is not a data or total cell.
    std::optional<std::vector<std::int32_t>> DrillDownRecords(int col, int row) const;
    //! The hint of a cell (HintText of its text); a view shows it when wider than the column.
    std::string HintAt(int col, int row) const { return HintText(GetEditText(col, row)); }

    // ---- configuration, state and data ordering
    //! Applies a layout from name lists ("Region;Year;": every name followed by ";", text
    //! after the last ";" ignored); raises "Field not found: " + name, keeping what was placed.
    void Config(const std::string& xFields, const std::string& yFields, const std::string& dFields,
                std::uint8_t dataPlace, std::uint8_t dataIndex);
    //! The grid state: [1, field list state, actual widths or null, remembered widths or null].
    void GetState(Variant& v) const;
    //! Restores a grid state (flags of every field's values, column widths).
    void SetState(const Variant& v);
    //! The whole layout as a string of storage-stream bytes.
    void GetFullState(std::string& s) const;
    std::string GetFullState() const { std::string s; GetFullState(s); return s; }
    //! Restores a whole layout; applies what can be read of malformed or cut bytes.
    void SetFullState(const std::string& s);
    //! Writes GetFullState to a file, replacing it only once the new bytes are on the disk;
    //! raises when it cannot be written (the old file then stays as it was).
    void SaveFullStateToFile(const std::string& fileName) const;
    //! SetFullState from a file's bytes; a missing file changes nothing, a file with no
    //! layout in it is refused. False when only part of the state could be read and applied.
    bool LoadFullStateFromFile(const std::string& fileName);

    //! Stores an ordering of the rows by data values; re-applies it at once outside a bracket.
    void SetVDataOrderBy(const Variant& v);
    //! Stores an ordering of the columns by data values; re-applies it at once outside a bracket.
    void SetGDataOrderBy(const Variant& v);
    //! Re-applies VDataOrderBy ('V') or GDataOrderBy ('G') after updating the grid.
    void RefreshDataOrder(char kind);
    //! Orders the vertical axis (horizontal false) by the sums in the column of colNode, or the
    //! horizontal axis by the sums in the row of rowNode; nullptr means the axis root (total).
    //! When store is set, remembers it in VDataOrderBy or GDataOrderBy. Nothing when the axis
    //! to order has no fields or no tree.
    void SortByData(bool horizontal, bool descending, const TOLAPNode* rowNode, const TOLAPNode* colNode,
                    int dataIndex, bool store);
    //! The value path of a node of an axis (one element per level down to it); empty array for
    //! the root or nullptr.
    Variant NodeToValues(const TQelOLAPVisibleFields& axis, const TOLAPNode* node) const;

    // ---- end of configuration, state and data ordering

    //! Called whenever the model shows a new state (after a layout, a toggle, a state restore); a
    //! view repaints. Whoever sets it clears it before it goes away.
    std::function<void()> OnRepaint;

    //! Number of UpdateGrid runs that did the work (for views that cache what they show).
    std::uint64_t GridUpdates() const { return gridUpdates_; }
    bool Destroying() const { return destroying_; }

protected:
    //! Lays the grid out after node visibility and before the sums; nothing in the model.
    virtual void UpdateGridLayout() {}
    //! Re-applies an ordering by data values (horizontal or vertical) at the end of an
    //! update bracket; the model has none to apply and updates the grid.
    virtual void ApplyDataOrderBy(bool horizontal);
    //! Shows the new state: tells OnRepaint.
    virtual void Repaint();
    //! Opens the report editor at the top-left cell; nothing in the model.
    virtual void EditGrid() {}
    //! Opens the value filter of a placed field (place 0 vertical, 1 horizontal) below its caption
    //! cell; nothing in the model. A view sets the entries' Selected flags and calls UpdateGrid.
    virtual void ShowValueFilter(TQelOLAPField& /*field*/, int /*col*/, int /*row*/) {}
    //! Narrows the dataset to records (nullopt: every record); nothing in the model.
    virtual void ApplyDrillDown(const std::optional<std::vector<std::int32_t>>& /*records*/) {}

private:
    friend class TQelKubrixDataLink;
    friend class TQelOLAPFields;
    //! The dataset opened or closed.
    void DataSetActiveChanged();
    //! A pivot field is about to be destroyed: nothing may refer to it afterwards.
    void ReleaseField(const TQelOLAPField* field);

    //! Counts, fixed counts and sizes for the current trees (UpdateGrid steps 1, 3 and 4).
    void LayoutGrid();
    //! Whether the data row/column at an axis row is shown (CheckRowsVisible steps 2 to 4).
    bool AxisLineShown(const TQelOLAPVisibleFields& axis, int indRow) const;
    //! The caption field of the cell at MenuRow/MenuCol with its axis, nullptr when none.
    TQelOLAPField* MenuField(TQelOLAPVisibleFields*& axis, int& level) const;
    void SetLevelExpanded(bool expanded);
    void SortMenuField(bool descending);
    void ShowTotalsMenuField(bool show);
    void SortMenuData(bool horizontal, bool descending);
    //! Text and style of a header value cell (the vertical or horizontal axis).
    void AxisCell(TKubrixCell& cell, const TQelOLAPVisibleFields& axis, int place, int offset, int position) const;
    //! Text and placement of a sum; nothing for a data index outside the data list.
    void SumCell(TKubrixCell& cell, int x, int y, int d) const;
    //! Visible non-fixed columns up to col inclusive, counting stops past limit.
    int VisibleColsUpTo(int col, int limit) const;
    //! UpdateRowsVisible (place 0) or UpdateColsVisible (place 1).
    void UpdateAxisLinesVisible(int place, int level, const TOLAPValueEntry* entry);

    TGridGeometry geometry_;
    bool destroying_ = false;
    std::uint64_t gridUpdates_ = 0;
    std::unique_ptr<TQelOLAPFields> fields_;
    TQelKubrixDataLink dataLink_;
};

}  // namespace kubrix
