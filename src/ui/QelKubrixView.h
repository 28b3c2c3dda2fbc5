#pragma once

// The pivot grid widget: shows a TQelKubrix model in a base grid. It displays the model's own grid
// geometry, paints every cell from the model's description of that cell (never working the layout out
// itself), and forwards the mouse to the model: a double-click on a header value expands or collapses
// it, a right click on a field caption or a data cell opens the matching menu, and the cell hint shows
// texts too wide for their column. The value filter popup, the report editor and the drill-down are
// left to whoever listens to the request signals.

#include "pivot/KubrixCells.h"
#include "pivot/KubrixCommands.h"
#include "ui/QelCustomGrid.h"

#include <QFont>
#include <QFontMetrics>
#include <QPoint>
#include <QRect>
#include <QString>

#include <utility>
#include <vector>

class QAction;
class QMenu;

namespace kubrix {

class TQelKubrix;

class TQelKubrixView : public TQelCustomGrid {
    Q_OBJECT

public:
    //! Header silver.
    static constexpr QRgb SilverRgb = 0xFFC0C0C0;
    //! Background of row and column numbers and of the filter buttons (the system's grey text).
    static constexpr QRgb GrayTextRgb = 0xFF808080;
    //! Text of row and column numbers.
    static constexpr QRgb WhiteRgb = 0xFFFFFFFF;
    //! A view of model, which must outlive the view.
    explicit TQelKubrixView(TQelKubrix& model, QWidget* parent = nullptr);
    ~TQelKubrixView() override;

    //! The model shown.
    TQelKubrix& Model() const { return Kubrix; }

    //! The context menu (built once; item visibility is set each time it opens).
    QMenu* PopupMenu() const { return Menu; }
    //! The menu's action of a command (nullptr for None).
    QAction* MenuAction(TKubrixCommand command) const;
    //! Opens the menu that fits a cell at a screen position (the model remembers the cell for the
    //! commands); false, with nothing shown, when no menu fits.
    bool PopupMenuAt(int col, int row, const QPoint& globalPos);
    //! Runs a menu command through the model on the cell where the menu was last opened.
    void RunMenuCommand(TKubrixCommand command);

    //! The filter button of a cell rectangle (viewport coordinates, edges inclusive).
    static QRect BtnRect(const QRect& cell);
    //! The hint a cell would show: the model's hint text of the cell when it is wider than the
    //! column in the control's font; empty otherwise.
    QString HintFor(int col, int row) const;
    //! The hint shown now (empty when none).
    QString Hint() const { return HintText; }

    //! Asks for the report editor at the top-left cell (what a click on that cell does).
    void EditGrid();
    //! Repaints after the model changed what cells show without changing the geometry.
    void Refresh();

    //! Column fitting: when limit is positive, every time the model shows a new state the shown
    //! columns are widened to their longest text in the grid font, up to limit pixels, so names
    //! and sums are not cut. Only the shown widths change: a column the user has sized, and the
    //! widths remembered for the saved state, are left alone. 0 (the default) turns it off.
    void SetColumnFitLimit(int limit);
    int ColumnFitLimit() const { return FitLimit; }
    //! Fits the columns now (nothing while the limit is 0).
    void FitColumns();
    //! Most rows a column is measured over (the first ones).
    static constexpr int FitRowLimit = 20000;
    //! Most cells one fitting measures: the header columns always, data columns from the left
    //! while the budget lasts (the rest keep their width).
    static constexpr int FitCellBudget = 100000;

// Besides calling the model's own entry points (whose hooks a model subclass may implement), the view
// reports the three requests that need a window, with the screen positions such a window opens at.
signals:
    //! The filter button of a field caption was clicked: place 0 vertical, 1 horizontal; the field's
    //! index on that axis; the screen position of the caption cell's bottom-left corner.
    void valueFilterRequested(int place, int fieldIndex, const QPoint& globalPos);
    //! The top-left cell was clicked while the model allows editing the report; the screen position of
    //! that cell's top-left corner.
    void editGridRequested(const QPoint& globalPos);
    //! A data or total cell was double-clicked.
    void drillDownRequested(int col, int row);

protected:
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState state) override;
    QString GetEditText(int col, int row) const override;
    bool CanEditShow() const override;
    void MouseDown(QMouseEvent* event, TGridCoord cell) override;
    void MouseMove(QMouseEvent* event, TGridCoord cell) override;
    void MouseUp(QMouseEvent* event, TGridCoord cell) override;
    void DblClick(QMouseEvent* event, TGridCoord cell) override;
    void MouseLeave() override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    //! Whether a viewport point lies on the filter button of a field caption cell.
    bool OnFilterButton(TGridCoord cell, const QPoint& pos, TKubrixCell* info = nullptr) const;
    void ShowHint(const QString& text, const QPoint& globalPos);
    void HideHint();
    //! The model shows a new state.
    void ModelRepainted();
    //! The width a cell's text needs in the grid font (0 for none).
    int TextWidthNeeded(int col, int row);
    //! The grid font in a style (bit 0 italic, bit 1 bold) with its metrics, made once per font.
    const QFont& StyledFont(const QFont& base, int style, const QFontMetrics*& metrics);

    TQelKubrix& Kubrix;
    QMenu* Menu = nullptr;
    std::vector<std::pair<TKubrixCommand, QAction*>> Commands;
    QString HintText;
    int FitLimit = 0;
    // The width given to each fitted column (0: not fitted).
    std::vector<int> FittedWidths;
    // Fonts and metrics by style for the current grid font: building them per cell costs more than
    // drawing the cell.
    QFont StyleBase;
    std::vector<QFont> StyleFonts;
    std::vector<QFontMetrics> StyleMetrics;
};

}  // namespace kubrix
