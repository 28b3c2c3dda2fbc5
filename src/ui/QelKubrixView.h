#pragma once

// The pivot grid widget: shows a TQelKubrix model in a base grid. It displays the model's own grid
// geometry, paints every cell from the model's description of that cell (never working the layout out
// itself), and forwards the mouse to the model, which decides what a press, a double click or a menu
// command means. The view keeps only what belongs to the screen: the cell its menu was opened on, the
// hint, the column fitting. What the input asks of the model's owner (the report editor, the value
// filter, the drill-down) reaches the owner through the model's listener interface.

#include "pivot/Kubrix.h"
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

class TQelKubrixView : public TQelCustomGrid, private IKubrixListener {
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
    //! Opens the menu that fits a cell at a screen position (the cell is kept for the commands);
    //! false, with nothing shown, when no menu fits.
    bool PopupMenuAt(int col, int row, const QPoint& globalPos);
    //! Runs a menu command through the model on the cell where the menu was last opened.
    void RunMenuCommand(TKubrixCommand command);
    //! Cell at which the context menu was last opened; the menu commands work on it.
    int MenuCol() const { return MenuCell.Col; }
    int MenuRow() const { return MenuCell.Row; }

    //! The filter button of a cell rectangle (viewport coordinates, edges inclusive).
    static QRect BtnRect(const QRect& cell);
    //! The hint a cell would show: the model's hint text of the cell when it is wider than the
    //! column in the control's font; empty otherwise.
    QString HintFor(int col, int row) const;
    //! The hint shown now (empty when none).
    QString Hint() const { return HintText; }

    //! The model cell rectangle of a cell in viewport coordinates (empty when not shown).
    TKubrixRect ModelCellRect(int col, int row) const;
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
    //! Whether a viewport point lies on the filter button of a field caption cell (the model decides).
    bool OnFilterButton(TGridCoord cell, const QPoint& pos) const;
    void ShowHint(const QString& text, const QPoint& globalPos);
    void HideHint();
    //! The model shows a new state.
    void KubrixShown(TQelKubrix& grid) override;
    //! The width a cell's text needs in the grid font (0 for none).
    int TextWidthNeeded(int col, int row);
    //! The grid font in a style (bit 0 italic, bit 1 bold) with its metrics, made once per font.
    const QFont& StyledFont(const QFont& base, int style, const QFontMetrics*& metrics);

    TQelKubrix& Kubrix;
    QMenu* Menu = nullptr;
    TGridCoord MenuCell{0, 0};
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
