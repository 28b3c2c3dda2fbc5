#pragma once
// The pivot grid's model: the pivot fields of its record source, the vertical and
// horizontal axes, the data list and the per-record inclusion flags. It knows nothing of
// painting: a view reads it, forwards the raw input to it, and hears through the listener
// interface what the model shows and what the input asks of the model's owner.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pivot/KubrixCells.h"
#include "pivot/KubrixCommands.h"
#include "pivot/OLAPField.h"
#include "pivot/OLAPNode.h"
#include "pivot/OLAPVisibleFields.h"
#include "support/GridGeometry.h"
#include "support/RecordSource.h"
#include "support/Variant.h"

namespace kubrix {

class TQelKubrix;

//! What the model tells the views and its owner. Every member has an empty default, so a
//! listener implements only what it serves; the model keeps any number of listeners.
class IKubrixListener {
public:
    //! The model shows a new state (a layout, a toggle, a command, a restored state): views repaint.
    virtual void KubrixShown(TQelKubrix& /*grid*/) {}
    //! The top-left cell was pressed while CanEditGrid is set: the owner opens the report editor.
    virtual void KubrixEditGrid(TQelKubrix& /*grid*/) {}
    //! The filter button of the caption cell (col, row) of a placed field was pressed: the owner
    //! opens the field's value filter below that cell (it then sets the entries' Selected flags
    //! and calls UpdateGrid).
    virtual void KubrixValueFilter(TQelKubrix& /*grid*/, TQelOLAPField& /*field*/, int /*col*/, int /*row*/) {}
    //! A data or total cell was double-clicked: the owner narrows the dataset to records, given
    //! by their position in the full record list (nullopt: every record again).
    virtual void KubrixDrillDown(TQelKubrix& /*grid*/, const std::optional<std::vector<std::int32_t>>& /*records*/) {}

protected:
    ~IKubrixListener() = default;
};

class TQelKubrix : private IRecordSourceListener {
public:
    TQelKubrix();
    virtual ~TQelKubrix();
    TQelKubrix(const TQelKubrix&) = delete;
    TQelKubrix& operator=(const TQelKubrix&) = delete;

    // ---- records
    //! Reads the records of source (nullptr: none) and follows its opening and closing; the
    //! source tells the model when it goes.
    void SetRecordSource(TRecordSource* source);
    TRecordSource* RecordSource() const { return source_; }
    //! The record source while it is active, else nullptr.
    const TRecordSource* Records() const { return source_ && source_->Active() ? source_ : nullptr; }
    //! Records the model reads: every record of an active source, 0 without one.
    int RecordCount() const;

    // ---- listeners
    //! Adds a listener (once); it is removed before it goes.
    void AddListener(IKubrixListener* listener);
    void RemoveListener(IKubrixListener* listener);

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
    //! The field whose caption a cell shows (place 0 vertical, 1 horizontal, index on the axis);
    //! false for every other cell, "Данные" included.
    bool CaptionFieldAt(int col, int row, int& place, int& index) const;
    //! Which context menu a right click on a cell opens (the view remembers the cell for the command).
    TKubrixMenu MenuAt(int col, int row) const;
    //! Runs a menu command on the cell (col, row) at which its menu was opened.
    void RunCommand(TKubrixCommand command, int col, int row);
    //! Caption menu: on the field of the caption cell (col, row).
    void menu_CollapseAll(int col, int row);
    void menu_ExpandAll(int col, int row);
    void menu_SortUp(int col, int row);
    void menu_SortDown(int col, int row);
    void menu_ShowTotal(int col, int row);
    void menu_HideTotal(int col, int row);
    //! Data menu on the cell (col, row): the rows ordered by the sums of its column (V), or the
    //! columns by the sums of its row (G).
    void menu_SortUpDataV(int col, int row);
    void menu_SortDownDataV(int col, int row);
    void menu_SortUpDataG(int col, int row);
    void menu_SortDownDataG(int col, int row);
    //! The node a grid line stands for (the node of a collapsed group, the root for a total line
    //! or an axis without fields) and the data field it shows; place 0 a row (XAxis), 1 a column.
    const TOLAPNode* LineNode(int place, int line, int& dataIndex) const;
    //! Whether the point (x, y) of a cell whose rectangle is cell lies on the filter button of a
    //! placed field's caption.
    bool OnFilterButton(int col, int row, const TKubrixRect& cell, int x, int y) const;
    //! A press of any button at (x, y) in a cell, before the grid handles it: on a filter button
    //! the listeners are asked for the field's value filter and true is returned (the press is
    //! used up); false otherwise.
    bool FilterButtonPressed(int col, int row, const TKubrixRect& cell, int x, int y);
    //! A press on a cell, after the grid's own handling (not the second press of a double click):
    //! the top-left cell asks the listeners for the report editor when CanEditGrid is set.
    void CellPressed(int col, int row);
    //! A double click on a cell: header cells toggle their node; data and total cells ask the
    //! listeners for a drill-down to their records.
    void CellDoubleClicked(int col, int row);
    //! Records behind a data or total cell, exactly those its sum adds up, in the row's record
    //! order; nullopt for a cell that adds up every record (the grand total without any value
    //! filtered out) or a cell that is not a data or total cell.
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
    //! Writes GetFullState to a file (overwritten); raises when it cannot be written.
    void SaveFullStateToFile(const std::string& fileName) const;
    //! SetFullState from a file's bytes; a missing file changes nothing.
    void LoadFullStateFromFile(const std::string& fileName);

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

    bool Destroying() const { return destroying_; }

protected:
    //! Lays the grid out after node visibility and before the sums; nothing in the model.
    virtual void UpdateGridLayout() {}
    //! Re-applies an ordering by data values (horizontal or vertical) at the end of an
    //! update bracket; the model has none to apply and updates the grid.
    virtual void ApplyDataOrderBy(bool horizontal);
    //! Shows the new state: tells the listeners.
    void Repaint();

private:
    friend class TQelOLAPFields;
    void RecordSourceChanged(TRecordSource& source, TRecordSourceChange change) override;
    //! The records appeared or went: the pivot fields are built anew.
    void RecordsChanged();
    //! Tells every listener (those removed meanwhile aside).
    void Tell(const std::function<void(IKubrixListener&)>& call);
    //! A pivot field is about to be destroyed: nothing may refer to it afterwards.
    void ReleaseField(const TQelOLAPField* field);

    //! Counts, fixed counts and sizes for the current trees (UpdateGrid steps 1, 3 and 4).
    void LayoutGrid();
    //! Whether the data row/column at an axis row is shown (CheckRowsVisible steps 2 to 4).
    bool AxisLineShown(const TQelOLAPVisibleFields& axis, int indRow) const;
    //! The caption field of the cell (col, row) with its axis, nullptr when none.
    TQelOLAPField* MenuField(int col, int row, TQelOLAPVisibleFields*& axis, int& level) const;
    void SetLevelExpanded(int col, int row, bool expanded);
    void SortMenuField(int col, int row, bool descending);
    void ShowTotalsMenuField(int col, int row, bool show);
    void SortMenuData(int col, int row, bool horizontal, bool descending);
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
    std::unique_ptr<TQelOLAPFields> fields_;
    TRecordSource* source_ = nullptr;
    std::vector<IKubrixListener*> listeners_;
};

}  // namespace kubrix
