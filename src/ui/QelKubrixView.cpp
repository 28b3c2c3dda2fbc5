#include "ui/QelKubrixView.h"

#include "support/CursorStack.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace kubrix {

namespace {

QColor InkColor(TKubrixCellInk ink, const QColor& normal) {
    switch (ink) {
    case TKubrixCellInk::Silver:
        return QColor::fromRgb(TQelKubrixView::SilverRgb);
    case TKubrixCellInk::White:
        return QColor::fromRgb(TQelKubrixView::WhiteRgb);
    case TKubrixCellInk::Normal:
        break;
    }
    return normal;
}

// Cell rectangles of the model are exclusive at the right and bottom.
TKubrixRect ToKubrixRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

}  // namespace

TQelKubrixView::TQelKubrixView(TQelKubrix& model, QWidget* parent)
    : TQelCustomGrid(&model.Geometry(), parent), Kubrix(model) {
    SetOptions(goColSizing | goEditing);
    // Fixed cells take the control's own colour; captions and numbers paint their own backgrounds.
    SetFixedColor(Color());

    Menu = new QMenu(this);
    for (const TKubrixMenuItem& item : KubrixMenuItems()) {
        const bool separator = item.Command == TKubrixCommand::None;
        QAction* action = separator ? Menu->addSeparator() : Menu->addAction(QString::fromUtf8(item.Caption));
        action->setData(static_cast<int>(item.Tag));
        if (separator) continue;
        const TKubrixCommand command = item.Command;
        Commands.emplace_back(command, action);
        connect(action, &QAction::triggered, this, [this, command] { RunMenuCommand(command); });
    }
    Kubrix.AddListener(this);
}

TQelKubrixView::~TQelKubrixView() {
    Kubrix.RemoveListener(this);
    HideHint();
}

QAction* TQelKubrixView::MenuAction(TKubrixCommand command) const {
    for (const auto& [c, action] : Commands)
        if (c == command) return action;
    return nullptr;
}

void TQelKubrixView::Refresh() { viewport()->update(); }

void TQelKubrixView::KubrixShown(TQelKubrix&) {
    // Other values now sit in the selected cells.
    ClearSelection();
    // A layout shows the columns with their remembered widths again, and a toggle shows columns
    // that were hidden: fit what is shown now.
    FitColumns();
    viewport()->update();
}

// ----------------------------------------------------------------------------------------------------
// Column fitting

void TQelKubrixView::SetColumnFitLimit(int limit) {
    FitLimit = std::max(0, limit);
    FitColumns();
}

int TQelKubrixView::TextWidthNeeded(int col, int row) {
    const TKubrixCell info = Kubrix.CellInfo(col, row);
    if (info.Text.empty()) return 0;
    const QFontMetrics* metrics = nullptr;
    StyledFont(font(), (info.Italic ? 1 : 0) | (info.Bold ? 2 : 0), metrics);
    int width = metrics->horizontalAdvance(QString::fromStdString(info.Text)) + 3;
    width += info.Align == TKubrixCellAlign::Left ? std::max(info.DX, 0) : 3;
    // The filter button sits at the right edge; the text must not run under it.
    if (info.FilterButton) {
        const TKubrixButtonMetrics button;
        width += button.Width + button.RightMargin;
    }
    return width;
}

void TQelKubrixView::FitColumns() {
    if (FitLimit <= 0) return;
    TGridAxis& cols = Geometry().Cols();
    const TGridAxis& rows = Geometry().Rows();
    const int count = cols.Count();
    TGridUpdateGuard batch(Geometry());
    // Hiding a column remembers its shown width; a fitted width was never anybody's choice, so the
    // remembered one goes back to the default (the saved state keeps only real choices).
    for (int c = 0; c < std::min(count, static_cast<int>(FittedWidths.size())); ++c) {
        const int w = FittedWidths[static_cast<std::size_t>(c)];
        if (w <= 0) continue;
        if (cols.SavedSize(c) == w) cols.SetSavedSize(c, cols.DefaultSize());
        if (cols.Size(c) == w) cols.SetActualSize(c, cols.SavedSize(c));
    }
    FittedWidths.assign(static_cast<std::size_t>(count), 0);
    const int rowEnd = std::min(rows.Count(), FitRowLimit);
    std::int64_t budget = FitCellBudget;
    for (int c = 0; c < count; ++c) {
        const bool header = c < cols.FixedCount();
        if (!header && budget < rowEnd) break;
        // A width the user chose (or a saved layout restored) is remembered apart from the default.
        if (cols.SavedSize(c) != cols.DefaultSize() || !cols.Visible(c)) continue;
        budget -= rowEnd;
        int need = 0;
        for (int r = 0; r < rowEnd; ++r) need = std::max(need, TextWidthNeeded(c, r));
        const int width = std::max(std::min(need, FitLimit), cols.SavedSize(c));
        if (width != cols.Size(c)) cols.SetActualSize(c, width);
        if (width != cols.SavedSize(c)) FittedWidths[static_cast<std::size_t>(c)] = width;
    }
}

// ----------------------------------------------------------------------------------------------------
// Painting

QRect TQelKubrixView::BtnRect(const QRect& cell) {
    const TKubrixRect b = GetBtnRect(ToKubrixRect(cell));
    return QRect(QPoint(b.Left, b.Top), QPoint(b.Right - 1, b.Bottom - 1));
}

void TQelKubrixView::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState) {
    const TKubrixCell info = Kubrix.CellInfo(col, row);
    if (info.Case == TKubrixCellCase::None) return;
    // The brush and font colours are the grid's again for the next cell, whatever this one used.
    const QBrush oldBrush = painter.brush();
    const QPen oldPen = painter.pen();
    const QFont oldFont = painter.font();

    QColor back = oldBrush.color();
    if (info.Back == TKubrixCellBack::Silver) back = QColor::fromRgb(SilverRgb);
    if (info.Back == TKubrixCellBack::Numbers) back = QColor::fromRgb(GrayTextRgb);
    painter.setBrush(back);
    painter.fillRect(rect, back);

    if (!info.Text.empty()) {
        const QFontMetrics* metrics = nullptr;
        const int style = (info.Italic ? 1 : 0) | (info.Bold ? 2 : 0);
        if (style != 0) painter.setFont(StyledFont(oldFont, style, metrics));
        else StyledFont(oldFont, 0, metrics);
        if (info.Ink != TKubrixCellInk::Normal) painter.setPen(InkColor(info.Ink, oldPen.color()));
        const QString text = QString::fromStdString(info.Text);
        int x = rect.left() + info.DX;
        if (info.Align != TKubrixCellAlign::Left) {
            const int width = metrics->horizontalAdvance(text);
            const int right = rect.left() + rect.width();
            x = info.Align == TKubrixCellAlign::Right ? right - width - 3 : rect.left() + rect.width() / 2 - width / 2;
        }
        painter.drawText(QPoint(x, rect.top() + info.DY + metrics->ascent()), text);
    }
    if (info.FilterButton) painter.fillRect(BtnRect(rect), QColor::fromRgb(GrayTextRgb));

    painter.setFont(oldFont);
    painter.setPen(oldPen);
    painter.setBrush(oldBrush);
}

const QFont& TQelKubrixView::StyledFont(const QFont& base, int style, const QFontMetrics*& metrics) {
    if (StyleFonts.empty() || !(base == StyleBase)) {
        StyleBase = base;
        StyleFonts.clear();
        StyleMetrics.clear();
        for (int s = 0; s < 4; ++s) {
            QFont f = base;
            f.setItalic(s & 1);
            f.setBold(s & 2);
            StyleFonts.push_back(f);
            StyleMetrics.emplace_back(f);
        }
    }
    metrics = &StyleMetrics[static_cast<std::size_t>(style)];
    return StyleFonts[static_cast<std::size_t>(style)];
}

QString TQelKubrixView::GetEditText(int col, int row) const {
    return QString::fromStdString(Kubrix.GetEditText(col, row));
}

bool TQelKubrixView::CanEditShow() const { return Kubrix.CanEditShow(Col(), Row()); }

// ----------------------------------------------------------------------------------------------------
// Hint

QString TQelKubrixView::HintFor(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) return {};
    const QString text = QString::fromStdString(Kubrix.HintAt(col, row));
    if (text.isEmpty()) return {};
    if (ColWidth(col) >= QFontMetrics(font()).horizontalAdvance(text)) return {};
    return text;
}

void TQelKubrixView::ShowHint(const QString& text, const QPoint& globalPos) {
    HintText = text;
    QToolTip::showText(globalPos, text, viewport());
}

void TQelKubrixView::HideHint() {
    if (HintText.isEmpty()) return;
    HintText.clear();
    QToolTip::hideText();
}

// ----------------------------------------------------------------------------------------------------
// Mouse

TKubrixRect TQelKubrixView::ModelCellRect(int col, int row) const {
    const QRect rect = CellRect(col, row);
    return rect.isEmpty() ? TKubrixRect{} : ToKubrixRect(rect);
}

bool TQelKubrixView::OnFilterButton(TGridCoord cell, const QPoint& pos) const {
    if (!cell.Valid()) return false;
    return Kubrix.OnFilterButton(cell.Col, cell.Row, ModelCellRect(cell.Col, cell.Row), pos.x(), pos.y());
}

void TQelKubrixView::MouseDown(QMouseEvent* event, TGridCoord cell) {
    TraceScope trace(this, "TQelKubrix.MouseDown");
    const QPoint pos = event->position().toPoint();
    if (cell.Valid()) {
        // The cursor is the default one again before a filter opens; the grid then does not see
        // the click, which belonged to the button.
        const TKubrixRect rect = ModelCellRect(cell.Col, cell.Row);
        if (Kubrix.OnFilterButton(cell.Col, cell.Row, rect, pos.x(), pos.y())) {
            viewport()->unsetCursor();
            Kubrix.FilterButtonPressed(cell.Col, cell.Row, rect, pos.x(), pos.y());
            return;
        }
    }
    TQelCustomGrid::MouseDown(event, cell);
    // The second press of a double click is not a new request for the editor.
    if (event->type() == QEvent::MouseButtonDblClick || !cell.Valid()) return;
    Kubrix.CellPressed(cell.Col, cell.Row);
}

void TQelKubrixView::MouseMove(QMouseEvent* event, TGridCoord cell) {
    const QPoint pos = event->position().toPoint();
    if (event->buttons() == Qt::NoButton && OnFilterButton(cell, pos)) {
        // A button near a column border takes the click (MouseDown), so it shows its own cursor too.
        viewport()->setCursor(Qt::PointingHandCursor);
    } else {
        TQelCustomGrid::MouseMove(event, cell);
        // Elsewhere the sizing cursor over a column border wins over ours.
        if (event->buttons() == Qt::NoButton && viewport()->cursor().shape() != Qt::SplitHCursor) {
            if (cell == TGridCoord{0, 0})
                viewport()->setCursor(Qt::PointingHandCursor);
            else
                viewport()->unsetCursor();
        }
    }
    const QString hint = HintFor(cell.Col, cell.Row);
    if (hint.isEmpty())
        HideHint();
    else
        ShowHint(hint, viewport()->mapToGlobal(pos));
}

void TQelKubrixView::MouseLeave() {
    HideHint();
    TQelCustomGrid::MouseLeave();
}

bool TQelKubrixView::PopupMenuAt(int col, int row, const QPoint& globalPos) {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) return false;
    const int tag = static_cast<int>(Kubrix.MenuAt(col, row));
    if (tag == static_cast<int>(TKubrixMenu::None)) return false;
    MenuCell = {col, row};
    for (QAction* action : Menu->actions()) action->setVisible(action->data().toInt() == tag);
    Menu->popup(globalPos);
    return true;
}

void TQelKubrixView::MouseUp(QMouseEvent* event, TGridCoord cell) {
    TraceScope trace(this, "TQelKubrix.MouseUp");
    TQelCustomGrid::MouseUp(event, cell);
    if (event->button() != Qt::RightButton) return;
    PopupMenuAt(cell.Col, cell.Row, event->globalPosition().toPoint());
}

void TQelKubrixView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // A right button release opens the menu (MouseUp); the keyboard opens it at the current cell.
    if (event->reason() == QContextMenuEvent::Mouse) return;
    const QRect rect = CellRect(Col(), Row());
    const QPoint at = rect.isEmpty() ? QPoint(0, 0) : rect.bottomLeft();
    PopupMenuAt(Col(), Row(), viewport()->mapToGlobal(at));
}

void TQelKubrixView::DblClick(QMouseEvent* event, TGridCoord cell) {
    TraceScope trace(this, "TQelKubrix.DblClick");
    // The press before has made the cell under the mouse current; a press that began a column
    // resize did not, and toggles nothing.
    if (event->button() == Qt::LeftButton && cell.Valid() && cell == Current()) {
        // Header cells toggle their value (only the affected lines are re-laid); data and total cells
        // drill down. The model tells what it shows after.
        Kubrix.CellDoubleClicked(Col(), Row());
    }
    TQelCustomGrid::DblClick(event, cell);
}

// ----------------------------------------------------------------------------------------------------
// Menu commands

void TQelKubrixView::RunMenuCommand(TKubrixCommand command) {
    Kubrix.RunCommand(command, MenuCell.Col, MenuCell.Row);
    viewport()->update();
}

}  // namespace kubrix
