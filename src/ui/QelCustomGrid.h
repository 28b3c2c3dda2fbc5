#pragma once

// The base grid widget: a grid of cells whose first rows and columns stay in place while the rest
// scrolls. Sizes come from a TGridGeometry (0 hides a line); the widget paints only the cells in view
// through DrawCell, keeps a current cell, maps points to cells, lets the user size columns by dragging
// a border in the fixed rows, and offers a read-only in-place editor. Subclasses (the pivot grid view,
// the data grid) paint the cells and take the mouse through the protected hooks.

#include "support/GridGeometry.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QCursor>
#include <QFlags>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

class QLineEdit;
class QPainter;

namespace kubrix {

//! A cell address; a component is -1 where a point lies outside every column or row.
struct TGridCoord {
    int Col = -1;
    int Row = -1;
    bool Valid() const { return Col >= 0 && Row >= 0; }
    friend bool operator==(const TGridCoord&, const TGridCoord&) = default;
};

//! A block of cells, corners included.
struct TGridRange {
    int Left = 0;
    int Top = 0;
    int Right = -1;
    int Bottom = -1;
    bool Contains(int col, int row) const { return col >= Left && col <= Right && row >= Top && row <= Bottom; }
    bool SingleCell() const { return Left == Right && Top == Bottom; }
};

class TQelCustomGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    //! Behaviour switches.
    enum TGridOption {
        goColSizing = 0x1,  //!< the user may size columns by dragging a border in the fixed rows
        goEditing = 0x2,    //!< F2 or Enter opens the in-place editor on the current cell
        goRangeSelect = 0x4,  //!< a press selects a cell; a drag, Shift+click or Shift+arrows a block
    };
    Q_DECLARE_FLAGS(TGridOptions, TGridOption)

    //! How a cell is being painted.
    enum TCellStateFlag {
        csFixed = 0x1,     //!< in a fixed row or column
        csSelected = 0x2,  //!< the current cell
        csFocused = 0x4,   //!< the current cell while the grid has the keyboard focus
    };
    Q_DECLARE_FLAGS(TCellState, TCellStateFlag)

    //! Silver, the header colour of the pivot grid.
    static constexpr QRgb SilverRgb = 0xFFC0C0C0;
    //! Grey of the grid lines.
    static constexpr QRgb GridGreyRgb = 0xFF808080;
    //! Smallest width a user can drag a column to.
    static constexpr int MinDragWidth = 4;
    //! Distance in pixels from a column border within which a press starts sizing.
    static constexpr int SizingMargin = 2;

    //! A grid with a geometry of its own.
    explicit TQelCustomGrid(QWidget* parent = nullptr);
    //! A grid over a geometry owned elsewhere, which must outlive the grid (or be replaced first).
    explicit TQelCustomGrid(TGridGeometry* geometry, QWidget* parent = nullptr);
    ~TQelCustomGrid() override;

    //! The geometry read and written by the grid.
    TGridGeometry& Geometry() { return *Geom; }
    const TGridGeometry& Geometry() const { return *Geom; }
    //! Switches to another geometry (owned elsewhere); nullptr goes back to a fresh geometry of its own.
    void SetGeometry(TGridGeometry* geometry);

    //! Line counts, fixed counts and sizes (shorthands for the geometry's axes).
    int ColCount() const { return Geom->Cols().Count(); }
    int RowCount() const { return Geom->Rows().Count(); }
    int FixedCols() const { return Geom->Cols().FixedCount(); }
    int FixedRows() const { return Geom->Rows().FixedCount(); }
    void SetColCount(int count) { Geom->Cols().SetCount(count); }
    void SetRowCount(int count) { Geom->Rows().SetCount(count); }
    void SetFixedCols(int count) { Geom->Cols().SetFixedCount(count); }
    void SetFixedRows(int count) { Geom->Rows().SetFixedCount(count); }
    int ColWidth(int col) const { return Geom->Cols().Size(col); }
    int RowHeight(int row) const { return Geom->Rows().Size(row); }
    //! Sets a width as the user does: the actual and the remembered width.
    void SetColWidth(int col, int width) { Geom->Cols().SetSize(col, width); }
    void SetRowHeight(int row, int height) { Geom->Rows().SetSize(row, height); }
    int DefaultColWidth() const { return Geom->Cols().DefaultSize(); }
    int DefaultRowHeight() const { return Geom->Rows().DefaultSize(); }
    void SetDefaultColWidth(int width) { Geom->Cols().SetDefaultSize(width); }
    void SetDefaultRowHeight(int height) { Geom->Rows().SetDefaultSize(height); }

    //! The current cell (any cell, fixed ones included); -1 components when the grid has no lines.
    TGridCoord Current() const { return Cur; }
    int Col() const { return Cur.Col; }
    int Row() const { return Cur.Row; }
    //! Makes a cell current; cells outside the grid are ignored. Does not scroll.
    void SetCurrent(int col, int row);

    //! Whether the user selected cells (goRangeSelect): from a press on a cell until Escape, a
    //! change of the line counts or ClearSelection.
    bool HasSelection() const { return Selecting; }
    //! The selected block: from the cell where the selection began to the current cell.
    TGridRange Selection() const;
    void ClearSelection();

    //! The painting rectangle of a cell in viewport coordinates (its grid line excluded); an empty
    //! rectangle when the cell is hidden or lies wholly out of view.
    QRect CellRect(int col, int row) const;
    //! The cell under a viewport point.
    TGridCoord MouseCoord(const QPoint& pos) const;
    //! First scrolled column at the left edge of the scrolled area (ColCount() when there is none).
    int LeftCol() const;
    //! First scrolled row at the top edge of the scrolled area (RowCount() when there is none).
    int TopRow() const;
    //! Scrolls so that a scrolled line starts at the edge of the scrolled area (as far as possible).
    void SetLeftCol(int col);
    void SetTopRow(int row);
    //! Scrolls the least needed to bring a cell wholly into view (fixed lines need no scrolling).
    void ScrollToCell(int col, int row);

    TGridOptions Options() const { return Opts; }
    void SetOptions(TGridOptions options);

    //! Background of fixed cells; the palette's button colour by default.
    QColor FixedColor() const { return FixedClr; }
    void SetFixedColor(const QColor& color);
    //! Background of scrolled cells and of the area past the last cell; white by default.
    QColor Color() const { return CellClr; }
    void SetColor(const QColor& color);
    //! Grid lines: grey, one pixel wide by default; a line's size includes its grid line.
    QColor GridLineColor() const { return LineClr; }
    void SetGridLineColor(const QColor& color);
    int GridLineWidth() const { return LineWidth; }
    void SetGridLineWidth(int width);

    //! Bands of the given heights kept free above the first row and below the last visible row; a
    //! subclass paints them in PaintBands (a totals band, column group rows).
    void SetBands(int top, int bottom);
    int TopBand() const { return TopBandHeight; }
    int BottomBand() const { return BottomBandHeight; }

    //! Windowed rows: the rows are a window onto longer content that the subclass moves through
    //! itself (a data grid shows as many rows as fit and scrolls its records, not its rows). The
    //! rows then never scroll, and the vertical scroll bar belongs to the subclass.
    void SetRowsWindowed(bool value);
    bool IsRowsWindowed() const { return RowsWindowed; }
    //! Height of the area for the rows, between the bands.
    int RowAreaHeight() const;

    //! The in-place editor: open on the current cell, showing GetEditText; typing changes nothing.
    bool EditorMode() const;
    void ShowEditor();
    void HideEditor();
    QLineEdit* InplaceEditor() const { return Editor; }

signals:
    //! The current cell changed.
    void currentChanged(int col, int row);
    //! A cell was double-clicked (after it became current).
    void cellDoubleClicked(int col, int row);
    //! A context menu was asked for over a cell (keyboard requests use the current cell).
    void contextMenuAtCell(int col, int row, const QPoint& globalPos);
    //! The user finished dragging a column border.
    void columnResized(int col, int width);

protected:
    //! Paints one cell. The rectangle is already filled with the cell's background, the painter's
    //! brush holds that colour, its pen the text colour, its font the grid's font, and it is clipped to
    //! the cell. The default writes GetEditText left-aligned.
    virtual void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState state);
    //! Text of a cell for the in-place editor (and the default painting); empty by default.
    virtual QString GetEditText(int col, int row) const;
    //! Whether the in-place editor may open on the current cell; true by default.
    virtual bool CanEditShow() const;
    //! Makes the in-place editor (once, as a child of the viewport); a plain line edit by default.
    virtual QLineEdit* CreateEditor();
    //! Called each time the editor is about to show on the current cell, its text already set.
    virtual void EditorShowing() {}
    //! Mouse hooks, given the cell under the mouse. The base press makes the cell current (left
    //! button) or starts sizing a column; the base move sizes a column and shows the sizing cursor over
    //! a border (restoring the previous cursor after); the base release ends sizing; the base double
    //! click emits cellDoubleClicked for the current cell.
    virtual void MouseDown(QMouseEvent* event, TGridCoord cell);
    virtual void MouseMove(QMouseEvent* event, TGridCoord cell);
    virtual void MouseUp(QMouseEvent* event, TGridCoord cell);
    virtual void DblClick(QMouseEvent* event, TGridCoord cell);
    //! The mouse left the grid.
    virtual void MouseLeave() {}
    //! A context menu was asked for over a cell; the base emits contextMenuAtCell.
    virtual void ContextMenuAt(TGridCoord cell, const QPoint& globalPos);
    //! Paints the reserved bands (see SetBands); nothing by default.
    virtual void PaintBands(QPainter& painter, const QRect& top, const QRect& bottom);
    //! Called after the geometry reported a change (scroll ranges are already updated).
    virtual void GeometryChanged(TGridChange) {}

    //! The column whose right border lies under a point in the fixed rows (sizing), -1 when none.
    int SizingColAt(const QPoint& pos) const;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // A run of visible lines in view: line index, start pixel and size.
    struct TSpan {
        int Line;
        int Pos;
        int Size;
    };

    int ScrollY() const;
    void Attach(TGridGeometry* geometry);
    void Detach();
    void OnGeometryChanged(TGridChange kind);
    void UpdateScrollBars();
    void PlaceEditor();
    int FixedWidth() const;
    int FixedHeight() const;
    int AreaBottom() const;
    std::int64_t LinePos(const TGridAxis& axis, int line, int scroll, int origin) const;
    void CollectSpans(const TGridAxis& axis, bool fixedPart, int scroll, int origin, int from, int to,
                      std::vector<TSpan>& out) const;
    void MoveCurrent(int col, int row);
    //! After the current cell moved by the user: a block grows from the anchor when extend, else
    //! the selection is the current cell alone.
    void SelectTo(bool extend);

    std::unique_ptr<TGridGeometry> OwnGeom;
    TGridGeometry* Geom = nullptr;
    int ListenerId = 0;
    TGridCoord Cur{0, 0};
    TGridCoord Anchor{0, 0};
    bool Selecting = false;
    bool DragSelecting = false;  // a press began a selection and the button is still down
    TGridOptions Opts;
    QColor FixedClr;
    QColor CellClr{Qt::white};
    QColor LineClr{QColor::fromRgb(GridGreyRgb)};
    int LineWidth = 1;
    int TopBandHeight = 0;
    int BottomBandHeight = 0;
    bool RowsWindowed = false;
    // Column sizing in progress.
    int SizingCol = -1;
    int SizingStartX = 0;
    int SizingStartWidth = 0;
    bool SplitCursorShown = false;
    QCursor CursorBeforeSplit;
    QLineEdit* Editor = nullptr;
    mutable std::vector<TSpan> ColSpans, RowSpans;  // reused between paints
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TQelCustomGrid::TGridOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(TQelCustomGrid::TCellState)

}  // namespace kubrix
