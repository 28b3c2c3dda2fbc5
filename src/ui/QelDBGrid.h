#pragma once
// The data grid: shows the records of an in-memory dataset row by row, one column per field.
// It is a base grid in windowed-rows mode: its rows are the title row and as many data rows as
// fit, and a row shows the record at (first shown position + row); nothing is made per record,
// so a million records cost what the rows in view cost. On top of that: boolean cells drawn as
// check images and toggled by click or space, filter buttons in titles, a totals band, column
// group rows above the titles, hints of cut texts, a frame around the current row, Ctrl+F
// search, a columns editor, and a saved column layout in the storage stream form.

#include "ui/QelCustomGrid.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/DataSource.h"
#include "support/Variant.h"

class QListWidget;
class QToolButton;

namespace kubrix {

class TField;
class TQelODBCClient;
class TQelDBGrid;
class TfrmLocalSearch;
class TfrmColumnsEditor;

//! How the in-place editor offers values: typing only, a button with an action, or a drop-down list.
enum TEditStyle { esSimple, esEllipsis, esPickList };
//! A column's editor button: chosen from the column (pick list or not), always "...", or none.
enum TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };

//! Images for boolean values and filter buttons; an index outside the list draws nothing.
using TImageList = std::vector<QImage>;

//! The standard images: 0 unchecked, 1 checked, 8 true (checked), 9 false (unchecked), 43 filter,
//! 44 active filter, 55 a filter defined but off; the others are empty.
std::shared_ptr<const TImageList> StandardImageList();

// One column of the data grid: its field, title, width and the data grid's own settings.
class TQelColumn {
public:
    explicit TQelColumn(TQelDBGrid* grid);

    //! Position among the grid's columns.
    int Index() const;
    //! Moves the column to a position (clamped to the column count).
    void SetIndex(int index);

    //! The field shown (nullptr when the field name names none).
    TField* Field() const { return FieldPtr; }
    const std::string& FieldName() const { return FieldNameText; }
    void SetFieldName(const std::string& name);

    //! The title caption (the field's display label unless set).
    QString Title() const;
    void SetTitle(const QString& title) { TitleText = title; }

    //! Width in pixels: the current width, or for a hidden column the width it had while shown.
    int Width() const { return WidthPx; }
    //! Sets the width and calls the grid's OnColWidthChange.
    void SetWidth(int width);
    bool Visible() const { return IsVisible; }
    void SetVisible(bool value);

    //! Not editable in the grid (no toggling of booleans, no in-place editor).
    bool ReadOnly = false;
    //! Background of the column's data cells (invalid: the grid's colour).
    QColor Color;
    //! Items of the in-place editor's pick list.
    QStringList PickList;
    //! The editor's button for this column.
    TColumnButtonStyle ButtonStyle = cbsAuto;

    bool EnabledForEditor = true;
    std::shared_ptr<const TImageList> ImageList;
    int ImageList_TrueInd = 8;
    int ImageList_FalseInd = 9;
    int ImageList_FilterInd = 43;
    int ImageList_ActFilterInd = 44;
    int ImageList_NActFilterInd = 55;
    bool LocalFilter = true;
    std::string KeyField;
    //! Extra offset of the cell text (in/out).
    std::function<void(TQelColumn&, int&)> OnGetTextOfs;
    //! The path of the column's group: one name per line, outermost first.
    QStringList Group;
    std::string Guid;

    //! The filter is on (switching it on shows the column).
    bool Filtered() const { return IsFiltered; }
    void SetFiltered(bool value);
    std::string FilterText;
    Variant FilterValue;

    //! Whether the column's index is below the grid's FixedCols.
    bool Fixed() const;
    //! True adds the column to the frozen columns, moving it to the last frozen place (while
    //! FixedCols is below the column count - 1); false moves it out of them.
    void SetFixed(bool value);

    //! Copies every property and state of another column but its grid.
    void Assign(const TQelColumn& other);

private:
    friend class TQelDBGrid;
    TQelDBGrid* Grid;
    TField* FieldPtr = nullptr;
    std::string FieldNameText;
    QString TitleText;
    int WidthPx = 64;
    bool IsVisible = true;
    bool IsFiltered = false;
};

// The data grid's in-place editor: a line edit with, by its edit style, a "..." button that runs
// the grid's button action or a drop-down button opening the column's pick list.
class TQelDBGridInplaceEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TQelDBGridInplaceEdit(TQelDBGrid& grid, QWidget* parent);
    ~TQelDBGridInplaceEdit() override;

    TEditStyle EditStyle() const { return Style; }
    void SetEditStyle(TEditStyle style);
    //! The button at the right edge (hidden in the simple style).
    QToolButton* Button() const { return Btn; }
    //! The drop-down list (made on first drop-down) and whether it shows.
    QListWidget* PickListWidget() const { return List; }
    bool ListVisible() const;
    //! Fills the list from the column (and OnGetPickListitems) and shows it below the editor.
    void DropDown();
    //! Hides the list; accept takes its current item as the editor's text.
    void CloseUp(bool accept);
    //! The button's action: the drop-down, or the grid's button action.
    void EditButtonClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceButton();
    TQelDBGrid& Grid;
    TEditStyle Style = esSimple;
    QToolButton* Btn = nullptr;
    QListWidget* List = nullptr;
};

enum TTotalsInfoPlace { tipBottom = 0, tipTop = 1 };

// How the totals band looks and where it sits.
class TTotalsInfo {
public:
    TTotalsInfo();

    bool show_totals() const { return Show; }
    void Setshow_totals(bool value);
    QFont Font() const { return FontValue; }
    void SetFont(const QFont& font);
    QColor Color() const { return ColorValue; }
    void SetColor(const QColor& color);
    QColor BackColor() const { return BackColorValue; }
    void SetBackColor(const QColor& color);
    int Height() const { return HeightValue; }
    void SetHeight(int height);
    //! Empty: the field's own display; else the text of the total.
    std::string Format() const { return FormatValue; }
    void SetFormat(const std::string& format);
    TTotalsInfoPlace Place() const { return PlaceValue; }
    void SetPlace(TTotalsInfoPlace place);
    //! Copies every setting (not the handler).
    void Assign(const TTotalsInfo& other);

    std::function<void()> OnChange;

private:
    void Changed();
    bool Show = false;
    QFont FontValue;
    QColor ColorValue{230, 230, 230};
    QColor BackColorValue;
    int HeightValue = 18;
    std::string FormatValue;
    TTotalsInfoPlace PlaceValue = tipTop;
};

class TQelDBGrid : public TQelCustomGrid {
    Q_OBJECT

public:
    //! Width of the indicator column.
    static constexpr int IndicatorWidth = 11;
    //! Longest hint text before it is cut and "..." follows.
    static constexpr int MaxHintLength = 800;
    //! Longest group name kept.
    static constexpr int MaxGroupName = 255;

    explicit TQelDBGrid(QWidget* parent = nullptr);
    ~TQelDBGrid() override;

    //! The data source watched (owned elsewhere); its dataset must be a TQelODBCClient to show.
    TDataSource* DataSource() const { return Link.DataSource(); }
    void SetDataSource(TDataSource* source);
    //! The dataset shown, nullptr when none or not an in-memory dataset.
    TQelODBCClient* DataSet() const;

    // ---- columns
    int ColumnCount() const { return static_cast<int>(Columns.size()); }
    TQelColumn& Column(int index) const { return *Columns.at(static_cast<std::size_t>(index)); }
    //! Adds a column at the end.
    TQelColumn& AddColumn(const std::string& fieldName = {});
    void ClearColumns();
    //! Whether the columns were made from the fields (rebuilt when the dataset opens).
    bool DefaultColumns() const { return Defaults; }
    //! The first column whose field is field, nullptr when none.
    TQelColumn* ColumnByField(const TField* field) const;
    //! The selected (current) column, -1 when none.
    int SelectedIndex() const;
    void SetSelectedIndex(int index);
    TField* SelectedField() const;
    void SetSelectedField(const TField* field);

    // ---- properties
    TTotalsInfo& TotalsInfo() { return Totals; }
    void SetTotalsInfo(const TTotalsInfo& other) { Totals.Assign(other); }
    //! Data columns frozen at the left (the base grid's fixed columns are these and the indicator).
    int FixedCols() const { return FixedColsValue; }
    void SetFixedCols(int value);
    bool ShowVerticalScroll() const { return VScroll; }
    void SetShowVerticalScroll(bool value);
    bool CanEditCols = true;
    QString ColumnsGroups() const;
    void SetColumnsGroups(const QString& text);
    bool ShowColumnsGroups() const { return ShowGroups; }
    void SetShowColumnsGroups(bool value);
    //! Depth of the column group tree (the number of group rows).
    int GroupDepth() const;
    std::function<void()> DeleteAction;
    bool CanExportToExcel = false;
    int WhatSave = 0;
    int SaveIndex = 0;
    //! The columns editor's window properties, kept between editor sessions.
    Variant EditorFormProps;

    // ---- events
    std::function<void(TQelColumn&, Qt::MouseButton)> OnFilterBtnClick;
    std::function<void(TQelColumn&, QStringList&)> OnGetPickListitems;
    //! May change the in-place editor's style for a column (in/out).
    std::function<void(TQelColumn&, TEditStyle&)> OnGetEditStyle;
    //! The "..." button of the in-place editor was pressed.
    std::function<void(TQelDBGrid&)> OnEditButtonClick;
    std::function<void(TQelColumn&)> OnColWidthChange;
    std::function<void()> OnEditColumns;
    std::function<void(TQelDBGrid&, TQelColumn&, bool&)> OnCanEditShow;
    std::function<void(TQelDBGrid&, TfrmLocalSearch&)> OnInitSearchForm;
    std::function<void(TQelDBGrid&, int col, int row, bool&)> OnDoHint;
    std::function<void()> BevoreMoveBy;
    std::function<void()> OnResize;
    //! Asked first about a wheel turn down (up); setting handled keeps the record where it is.
    std::function<void(TQelDBGrid&, Qt::KeyboardModifiers, QPoint, bool& handled)> OnMouseWheelDown, OnMouseWheelUp;

    // ---- operations
    //! The saved column layout (seven-element array, column records in the storage stream form).
    Variant GetColumnsAsVariant() const;
    //! Restores what a layout holds; malformed parts are skipped.
    void SetColumnsAsVariant(const Variant& layout);
    //! Flips the boolean field of the selected column in the current record (edit state, no post).
    void RevertBooleanValue();
    //! Opens the columns editor (or calls OnEditColumns).
    void EditColumns();
    //! The open columns editor, nullptr when none.
    TfrmColumnsEditor* ColumnsEditor() const;
    //! Shows the search window (made on first use).
    void ShowSearch();
    TfrmLocalSearch* SearchForm() const { return Search; }

    //! The in-place editor's style for a column: from its button style and pick list, then
    //! OnGetEditStyle.
    TEditStyle GetEditStyle(TQelColumn& column) const;
    //! The in-place editor, nullptr until it first opened.
    TQelDBGridInplaceEdit* InplaceEdit() const;

    // ---- records and rows
    //! Records shown by the dataset.
    int ShownRecordCount() const;
    //! Record index of the record at a shown position, -1 outside.
    int RecordAtPos(int pos) const;
    //! Shown position of the active record, -1 when none.
    int ActivePos() const;
    //! First shown position in the window.
    int TopPos() const { return Top; }
    //! Data rows that fit in the window.
    int WindowRows() const;
    //! Makes the record at a shown position current (scrolling it into view).
    void MoveToPos(int pos);
    //! Grid column of a column (the indicator is grid column 0), and back (-1 for the indicator).
    int GridColOf(int column) const { return column + 1; }
    int ColumnOfGridCol(int col) const { return col - 1; }
    //! The text a data cell shows (grid row from 1), empty outside the records.
    QString CellText(int column, int row) const;
    //! The hint text for a viewport point (empty: no hint there).
    QString HintAt(const QPoint& pos);
    //! The rectangle of a title's filter button (empty when the column shows none).
    QRect FilterButtonRect(int column) const;
    //! The text the totals band shows for a column (empty when it shows none).
    QString TotalText(int column) const;
    //! Band rectangle of the totals (empty when not shown).
    QRect TotalsRect() const;

    //! Whether a field's totals switch applies (integer, small integer, float and BCD fields) and
    //! its value.
    static bool HasTotalSwitch(const TField* field);
    static bool TotalSwitch(const TField* field);
    static void SetTotalSwitch(TField* field, bool value);

signals:
    //! A data cell was double-clicked.
    void recordDoubleClicked(int column, int recordIndex);
    //! The dataset opened and the columns were bound to its fields (made anew when default).
    void columnsRebound();
    //! The records shown changed (opened, filtered, narrowed, edited).
    void recordsChanged();

protected:
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState state) override;
    QString GetEditText(int col, int row) const override;
    bool CanEditShow() const override;
    QLineEdit* CreateEditor() override;
    void EditorShowing() override;
    void MouseDown(QMouseEvent* event, TGridCoord cell) override;
    void MouseMove(QMouseEvent* event, TGridCoord cell) override;
    void MouseUp(QMouseEvent* event, TGridCoord cell) override;
    void DblClick(QMouseEvent* event, TGridCoord cell) override;
    void MouseLeave() override;
    void PaintBands(QPainter& painter, const QRect& top, const QRect& bottom) override;
    void GeometryChanged(TGridChange kind) override;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TQelColumn;
    friend class TQelDBGridInplaceEdit;
    class TGridLink : public TDataLink {
    public:
        explicit TGridLink(TQelDBGrid& grid) : Grid(grid) {}
        TQelDBGrid& Grid;

    protected:
        void ActiveChanged() override { Grid.LinkActiveChanged(); }
        void DataSetChanged() override { Grid.LinkDataSetChanged(); }
        void DataSetScrolled(int) override { Grid.LinkScrolled(); }
        void LayoutChanged() override { Grid.LinkActiveChanged(); }
        void RecordChanged(TField*) override {
            Grid.FloatTotalsValid = false;
            Grid.viewport()->update();
        }
        void EditingChanged() override { Grid.viewport()->update(); }
    };

    struct TGroup {
        QString Name;
        TGroup* Parent = nullptr;
        std::vector<std::unique_ptr<TGroup>> Children;
        int Left = 0, Right = 0;
        bool Placed = false;
    };

    void LinkActiveChanged();
    void LinkDataSetChanged();
    void LinkScrolled();
    void BuildDefaultColumns();
    void BindFields();
    void LayoutColumns();
    void LayoutRows();
    void UpdateBands();
    void UpdateVScroll();
    void RebuildVisibleMap();
    void SyncCurrent();
    void MoveRecord(int pos);
    void CommitEditor();
    void PrepareEditor();
    const std::vector<std::string>& RowTexts(int row) const;
    bool CellBool(int column, int recordIndex, bool& value) const;
    int TitleRowHeight() const;
    int GroupBandHeight() const;
    void ComputeGroupEdges();
    void PaintGroups(QPainter& painter, const QRect& band);
    void PaintTotals(QPainter& painter, const QRect& band);
    void ColumnsChanged();

    TGridLink Link{*this};
    std::vector<std::unique_ptr<TQelColumn>> Columns;
    bool Defaults = true;
    TTotalsInfo Totals;
    int FixedColsValue = 0;
    bool VScroll = true;
    bool ShowGroups = false;
    TGroup GroupRoot;
    // Shown records: identity over the record list unless something hides records, then the
    // indexes of the shown ones in order.
    bool MapIdentity = true;
    std::vector<int> VisibleMap;
    int Top = 0;
    int SelectedCol = 0;
    bool Syncing = false;
    bool LayingOut = false;
    bool FilterPressed = false;
    bool HandCursor = false;
    mutable std::vector<std::optional<std::vector<std::string>>> TextCache;
    // Totals of float fields, which the dataset sums but does not keep: summed here once per
    // change of the records.
    mutable std::vector<std::pair<const TField*, double>> FloatTotals;
    mutable bool FloatTotalsValid = false;
    QPointer<QWidget> Editor_;
    TfrmLocalSearch* Search = nullptr;
    QString EditorStartText;
};

}  // namespace kubrix
