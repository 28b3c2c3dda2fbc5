#include "ui/QelCustomGrid.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace kubrix {

namespace {

int ClampToInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

}  // namespace

TQelCustomGrid::TQelCustomGrid(QWidget* parent) : TQelCustomGrid(nullptr, parent) {}

TQelCustomGrid::TQelCustomGrid(TGridGeometry* geometry, QWidget* parent) : QAbstractScrollArea(parent) {
    FixedClr = palette().color(QPalette::Button);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    // Every pixel of the viewport is painted by paintEvent.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    Attach(geometry);
}

TQelCustomGrid::~TQelCustomGrid() { Detach(); }

void TQelCustomGrid::Attach(TGridGeometry* geometry) {
    if (!geometry) {
        OwnGeom = std::make_unique<TGridGeometry>();
        geometry = OwnGeom.get();
    }
    Geom = geometry;
    ListenerId = Geom->AddListener([this](TGridChange kind) { OnGeometryChanged(kind); });
    Cur.Col = std::min(Cur.Col, ColCount() - 1);
    Cur.Row = std::min(Cur.Row, RowCount() - 1);
    SizingCol = -1;
    UpdateScrollBars();
    viewport()->update();
}

void TQelCustomGrid::Detach() {
    if (Geom && ListenerId) Geom->RemoveListener(ListenerId);
    ListenerId = 0;
    Geom = nullptr;
}

void TQelCustomGrid::SetGeometry(TGridGeometry* geometry) {
    HideEditor();
    Detach();
    std::unique_ptr<TGridGeometry> old = std::move(OwnGeom);  // freed once nothing points to it
    Attach(geometry);
}

void TQelCustomGrid::OnGeometryChanged(TGridChange kind) {
    if (kind == TGridChange::CountsChanged) {
        const TGridCoord before = Cur;
        Cur.Col = ColCount() == 0 ? -1 : std::clamp(Cur.Col, 0, ColCount() - 1);
        Cur.Row = RowCount() == 0 ? -1 : std::clamp(Cur.Row, 0, RowCount() - 1);
        if (SizingCol >= ColCount()) SizingCol = -1;
        // Other lines now sit where the selected ones were.
        Selecting = false;
        if (!(Cur == before)) emit currentChanged(Cur.Col, Cur.Row);
    }
    UpdateScrollBars();
    PlaceEditor();
    viewport()->update();
    GeometryChanged(kind);
}

// ----------------------------------------------------------------------------------------------------
// Layout

int TQelCustomGrid::FixedWidth() const { return ClampToInt(Geom->Cols().FixedExtent()); }

int TQelCustomGrid::FixedHeight() const { return ClampToInt(Geom->Rows().FixedExtent()); }

int TQelCustomGrid::AreaBottom() const { return viewport()->height() - BottomBandHeight; }

std::int64_t TQelCustomGrid::LinePos(const TGridAxis& axis, int line, int scroll, int origin) const {
    const std::int64_t offset = axis.Offset(line);
    return origin + (line < axis.FixedCount() ? offset : offset - scroll);
}

void TQelCustomGrid::UpdateScrollBars() {
    const TGridAxis& cols = Geom->Cols();
    const TGridAxis& rows = Geom->Rows();
    // Scroll values are pixels of the scrolled part; fixed lines take no part in scrolling.
    const std::int64_t viewW = std::max<std::int64_t>(0, viewport()->width() - cols.FixedExtent());
    const std::int64_t viewH = std::max<std::int64_t>(
        0, viewport()->height() - TopBandHeight - BottomBandHeight - rows.FixedExtent());
    const std::int64_t contentW = cols.Extent() - cols.FixedExtent();
    const std::int64_t contentH = rows.Extent() - rows.FixedExtent();
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, ClampToInt(std::max<std::int64_t>(0, contentW - viewW)));
    h->setPageStep(std::max(1, ClampToInt(viewW)));
    h->setSingleStep(std::max(1, DefaultColWidth()));
    if (RowsWindowed) return;  // the subclass keeps the vertical bar
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, ClampToInt(std::max<std::int64_t>(0, contentH - viewH)));
    v->setPageStep(std::max(1, ClampToInt(viewH)));
    v->setSingleStep(std::max(1, DefaultRowHeight()));
}

void TQelCustomGrid::CollectSpans(const TGridAxis& axis, bool fixedPart, int scroll, int origin, int from,
                                  int to, std::vector<TSpan>& out) const {
    out.clear();
    if (from >= to) return;
    const int fixed = axis.FixedCount();
    const int count = fixedPart ? fixed : axis.Count();
    const std::int64_t shift = fixedPart ? 0 : scroll;
    int line = axis.LineAt(from - origin + shift);
    if (line < 0) line = axis.NextVisible(-1);
    if (!fixedPart && line < fixed) line = axis.NextVisible(fixed - 1);
    while (line < count) {
        const int size = axis.Size(line);
        const std::int64_t pos = origin + axis.Offset(line) - shift;
        if (pos >= to) break;
        out.push_back({line, ClampToInt(pos), size});
        line = axis.NextVisible(line);
    }
}

QRect TQelCustomGrid::CellRect(int col, int row) const {
    const TGridAxis& cols = Geom->Cols();
    const TGridAxis& rows = Geom->Rows();
    if (col < 0 || col >= cols.Count() || row < 0 || row >= rows.Count()) return {};
    const int w = cols.Size(col);
    const int h = rows.Size(row);
    if (w == 0 || h == 0) return {};
    const std::int64_t x = LinePos(cols, col, horizontalScrollBar()->value(), 0);
    const std::int64_t y = LinePos(rows, row, ScrollY(), TopBandHeight);
    const std::int64_t leftLimit = col < cols.FixedCount() ? 0 : cols.FixedExtent();
    const std::int64_t topLimit = TopBandHeight + (row < rows.FixedCount() ? 0 : rows.FixedExtent());
    if (x + w <= leftLimit || x >= viewport()->width()) return {};
    if (y + h <= topLimit || y >= AreaBottom()) return {};
    return QRect(static_cast<int>(x), static_cast<int>(y), std::max(0, w - LineWidth),
                 std::max(0, h - LineWidth));
}

TGridCoord TQelCustomGrid::MouseCoord(const QPoint& pos) const {
    TGridCoord cell;
    const TGridAxis& cols = Geom->Cols();
    const TGridAxis& rows = Geom->Rows();
    if (pos.x() >= 0 && pos.x() < viewport()->width()) {
        const std::int64_t x = pos.x();
        const int col = x < cols.FixedExtent() ? cols.LineAt(x) : cols.LineAt(x + horizontalScrollBar()->value());
        if (col < cols.Count()) cell.Col = col;
    }
    if (pos.y() >= TopBandHeight && pos.y() < AreaBottom()) {
        const std::int64_t y = pos.y() - TopBandHeight;
        const int row = y < rows.FixedExtent() ? rows.LineAt(y) : rows.LineAt(y + ScrollY());
        if (row < rows.Count()) cell.Row = row;
    }
    return cell;
}

int TQelCustomGrid::LeftCol() const {
    const TGridAxis& cols = Geom->Cols();
    return cols.LineAt(cols.FixedExtent() + horizontalScrollBar()->value());
}

int TQelCustomGrid::TopRow() const {
    const TGridAxis& rows = Geom->Rows();
    return rows.LineAt(rows.FixedExtent() + ScrollY());
}

void TQelCustomGrid::SetLeftCol(int col) {
    const TGridAxis& cols = Geom->Cols();
    if (col < cols.FixedCount() || col >= cols.Count()) return;
    horizontalScrollBar()->setValue(ClampToInt(cols.Offset(col) - cols.FixedExtent()));
}

void TQelCustomGrid::SetTopRow(int row) {
    const TGridAxis& rows = Geom->Rows();
    if (RowsWindowed || row < rows.FixedCount() || row >= rows.Count()) return;
    verticalScrollBar()->setValue(ClampToInt(rows.Offset(row) - rows.FixedExtent()));
}

void TQelCustomGrid::ScrollToCell(int col, int row) {
    auto fit = [](const TGridAxis& axis, int line, QScrollBar* bar, std::int64_t span) {
        if (line < axis.FixedCount() || line >= axis.Count() || !axis.Visible(line)) return;
        const std::int64_t start = axis.Offset(line) - axis.FixedExtent();
        const std::int64_t end = start + axis.Size(line);
        std::int64_t value = bar->value();
        if (end > value + span) value = end - span;
        if (start < value) value = start;
        bar->setValue(ClampToInt(value));
    };
    const std::int64_t spanW = viewport()->width() - Geom->Cols().FixedExtent();
    const std::int64_t spanH = AreaBottom() - TopBandHeight - Geom->Rows().FixedExtent();
    fit(Geom->Cols(), col, horizontalScrollBar(), std::max<std::int64_t>(0, spanW));
    if (!RowsWindowed) fit(Geom->Rows(), row, verticalScrollBar(), std::max<std::int64_t>(0, spanH));
}

// ----------------------------------------------------------------------------------------------------
// Properties

void TQelCustomGrid::SetCurrent(int col, int row) {
    if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return;
    if (Cur == TGridCoord{col, row}) return;
    HideEditor();
    Cur = {col, row};
    viewport()->update();
    emit currentChanged(col, row);
}

void TQelCustomGrid::SetOptions(TGridOptions options) {
    Opts = options;
    if (!(Opts & goEditing)) HideEditor();
    if (!(Opts & goRangeSelect)) ClearSelection();
}

TGridRange TQelCustomGrid::Selection() const {
    if (!Selecting) return {};
    return {std::min(Anchor.Col, Cur.Col), std::min(Anchor.Row, Cur.Row), std::max(Anchor.Col, Cur.Col),
            std::max(Anchor.Row, Cur.Row)};
}

void TQelCustomGrid::ClearSelection() {
    if (!Selecting) return;
    Selecting = false;
    viewport()->update();
}

void TQelCustomGrid::SelectTo(bool extend) {
    if (!(Opts & goRangeSelect) || !Cur.Valid()) return;
    if (!extend || !Selecting) Anchor = Cur;
    Selecting = true;
    viewport()->update();
}

void TQelCustomGrid::SetFixedColor(const QColor& color) {
    FixedClr = color;
    viewport()->update();
}

void TQelCustomGrid::SetColor(const QColor& color) {
    CellClr = color;
    viewport()->update();
}

void TQelCustomGrid::SetGridLineColor(const QColor& color) {
    LineClr = color;
    viewport()->update();
}

void TQelCustomGrid::SetGridLineWidth(int width) {
    LineWidth = std::clamp(width, 0, 16);
    viewport()->update();
}

int TQelCustomGrid::ScrollY() const { return RowsWindowed ? 0 : verticalScrollBar()->value(); }

void TQelCustomGrid::SetRowsWindowed(bool value) {
    RowsWindowed = value;
    UpdateScrollBars();
    viewport()->update();
}

int TQelCustomGrid::RowAreaHeight() const { return std::max(0, AreaBottom() - TopBandHeight); }

void TQelCustomGrid::SetBands(int top, int bottom) {
    TopBandHeight = std::max(0, top);
    BottomBandHeight = std::max(0, bottom);
    UpdateScrollBars();
    viewport()->update();
}

// ----------------------------------------------------------------------------------------------------
// In-place editor

bool TQelCustomGrid::EditorMode() const { return Editor && Editor->isVisible(); }

void TQelCustomGrid::ShowEditor() {
    if (!(Opts & goEditing) || !Cur.Valid() || !CanEditShow()) return;
    ScrollToCell(Cur.Col, Cur.Row);
    const QRect rect = CellRect(Cur.Col, Cur.Row);
    if (rect.isEmpty()) return;
    if (!Editor) {
        Editor = CreateEditor();
        Editor->setReadOnly(true);
        Editor->setFrame(false);
    }
    Editor->setText(GetEditText(Cur.Col, Cur.Row));
    Editor->setGeometry(rect);
    EditorShowing();
    Editor->show();
    Editor->setFocus();
}

void TQelCustomGrid::HideEditor() {
    if (!EditorMode()) return;
    const bool hadFocus = Editor->hasFocus();
    Editor->hide();
    if (hadFocus) setFocus();
}

void TQelCustomGrid::PlaceEditor() {
    if (!EditorMode()) return;
    const QRect rect = CellRect(Cur.Col, Cur.Row);
    if (rect.isEmpty())
        HideEditor();
    else
        Editor->setGeometry(rect);
}

QString TQelCustomGrid::GetEditText(int, int) const { return {}; }

bool TQelCustomGrid::CanEditShow() const { return true; }

QLineEdit* TQelCustomGrid::CreateEditor() { return new QLineEdit(viewport()); }

// ----------------------------------------------------------------------------------------------------
// Painting

void TQelCustomGrid::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState) {
    const QString text = GetEditText(col, row);
    if (!text.isEmpty()) painter.drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void TQelCustomGrid::PaintBands(QPainter&, const QRect&, const QRect&) {}

void TQelCustomGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    const int viewW = viewport()->width();
    const int areaBottom = AreaBottom();
    const TGridAxis& cols = Geom->Cols();
    const TGridAxis& rows = Geom->Rows();
    const int scrollX = horizontalScrollBar()->value();
    const int scrollY = ScrollY();
    const int fixedW = std::min(FixedWidth(), viewW);
    const int rowsTop = TopBandHeight;
    const int fixedBottom = std::min(rowsTop + FixedHeight(), std::max(rowsTop, areaBottom));
    const TGridCoord cur = Cur;
    // A block of cells shows as a tint over what the cells paint; a single one by its focus frame.
    const TGridRange selection = Selection();
    const bool tintSelection = Selecting && !selection.SingleCell();
    QColor tint = palette().color(QPalette::Highlight);
    tint.setAlpha(80);
    const bool focused = hasFocus() || (Editor && Editor->hasFocus());
    const QColor textColor = palette().color(QPalette::Text);
    const QFont gridFont = font();

    // The four areas: fixed/scrolled columns by fixed/scrolled rows, each painted within its own box
    // so that scrolled cells never draw over the fixed ones.
    const QRect colParts[2] = {QRect(QPoint(0, 0), QPoint(fixedW - 1, 0)),
                               QRect(QPoint(fixedW, 0), QPoint(viewW - 1, 0))};
    const QRect rowParts[2] = {QRect(QPoint(0, rowsTop), QPoint(0, fixedBottom - 1)),
                               QRect(QPoint(0, fixedBottom), QPoint(0, areaBottom - 1))};
    for (int rp = 0; rp < 2; ++rp) {
        for (int cp = 0; cp < 2; ++cp) {
            const QRect area = QRect(QPoint(colParts[cp].left(), rowParts[rp].top()),
                                     QPoint(colParts[cp].right(), rowParts[rp].bottom())) &
                               dirty;
            if (area.isEmpty()) continue;
            CollectSpans(cols, cp == 0, scrollX, 0, area.left(), area.right() + 1, ColSpans);
            CollectSpans(rows, rp == 0, scrollY, rowsTop, area.top(), area.bottom() + 1, RowSpans);
            for (const TSpan& r : RowSpans) {
                for (const TSpan& c : ColSpans) {
                    const QRect cell(c.Pos, r.Pos, c.Size - LineWidth, r.Size - LineWidth);
                    if (cell.isEmpty()) continue;
                    const bool fixed = c.Line < cols.FixedCount() || r.Line < rows.FixedCount();
                    TCellState state;
                    if (fixed) state |= csFixed;
                    const bool current = c.Line == cur.Col && r.Line == cur.Row;
                    if (current) state |= csSelected;
                    if (current && focused) state |= csFocused;
                    const QColor& back = fixed ? FixedClr : CellClr;
                    painter.save();
                    painter.setClipRect(cell & area);
                    painter.fillRect(cell, back);
                    painter.setBrush(back);
                    painter.setPen(textColor);
                    painter.setFont(gridFont);
                    DrawCell(painter, c.Line, r.Line, cell, state);
                    if (tintSelection && selection.Contains(c.Line, r.Line)) painter.fillRect(cell, tint);
                    if (current && focused && !fixed) {
                        painter.setPen(QPen(textColor, 1, Qt::DotLine));
                        painter.setBrush(Qt::NoBrush);
                        painter.drawRect(cell.adjusted(0, 0, -1, -1));
                    }
                    painter.restore();
                }
            }
            // Grid lines along the right and bottom edge of each line, then the empty rest of the area.
            int right = area.left();
            int bottom = area.top();
            if (!ColSpans.empty()) right = std::max(right, ColSpans.back().Pos + ColSpans.back().Size);
            if (!RowSpans.empty()) bottom = std::max(bottom, RowSpans.back().Pos + RowSpans.back().Size);
            painter.save();
            painter.setClipRect(area);
            if (LineWidth > 0 && !RowSpans.empty() && !ColSpans.empty()) {
                const int top = RowSpans.front().Pos;
                const int left = ColSpans.front().Pos;
                for (const TSpan& c : ColSpans)
                    painter.fillRect(QRect(c.Pos + c.Size - LineWidth, top, std::min(LineWidth, c.Size), bottom - top),
                                     LineClr);
                for (const TSpan& r : RowSpans)
                    painter.fillRect(QRect(left, r.Pos + r.Size - LineWidth, right - left, std::min(LineWidth, r.Size)),
                                     LineClr);
            }
            if (right <= area.right()) painter.fillRect(QRect(QPoint(right, area.top()), area.bottomRight()), CellClr);
            if (bottom <= area.bottom())
                painter.fillRect(QRect(QPoint(area.left(), bottom), QPoint(std::min(right, area.right() + 1) - 1, area.bottom())),
                                 CellClr);
            painter.restore();
        }
    }
    if (TopBandHeight > 0 || BottomBandHeight > 0) {
        const QRect top(0, 0, viewW, TopBandHeight);
        const QRect bottom(0, areaBottom, viewW, BottomBandHeight);
        painter.fillRect(top & dirty, CellClr);
        painter.fillRect(bottom & dirty, CellClr);
        PaintBands(painter, top, bottom);
    }
}

void TQelCustomGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    PlaceEditor();
}

void TQelCustomGrid::scrollContentsBy(int, int) {
    // Fixed lines stay put, so the viewport cannot be moved as a whole: repaint it.
    viewport()->update();
    PlaceEditor();
}

// ----------------------------------------------------------------------------------------------------
// Mouse

int TQelCustomGrid::SizingColAt(const QPoint& pos) const {
    if (!(Opts & goColSizing)) return -1;
    const TGridCoord cell = MouseCoord(pos);
    if (cell.Row < 0 || cell.Row >= FixedRows()) return -1;
    const TGridAxis& cols = Geom->Cols();
    const int scrollX = horizontalScrollBar()->value();
    // A border is the grid line at the right end of a visible column that is itself in view.
    auto nearBorder = [&](int col) {
        const std::int64_t end = LinePos(cols, col, scrollX, 0) + cols.Size(col);
        if (col >= cols.FixedCount() && end <= cols.FixedExtent()) return false;
        return pos.x() >= end - 1 - SizingMargin && pos.x() <= end - 1 + SizingMargin;
    };
    if (cell.Col >= 0 && nearBorder(cell.Col)) return cell.Col;
    const int prev = cols.PrevVisible(cell.Col >= 0 ? cell.Col : cols.Count());
    if (prev >= 0 && nearBorder(prev)) return prev;
    return -1;
}

void TQelCustomGrid::MouseDown(QMouseEvent* event, TGridCoord cell) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    const int sizing = SizingColAt(pos);
    if (sizing >= 0) {
        SizingCol = sizing;
        SizingStartX = pos.x();
        SizingStartWidth = ColWidth(sizing);
        return;
    }
    if (!cell.Valid()) return;
    SetCurrent(cell.Col, cell.Row);
    // Shift+click grows the block from where it began; a drag from here grows a new one.
    SelectTo((event->modifiers() & Qt::ShiftModifier) != 0);
    DragSelecting = (Opts & goRangeSelect) && Selecting;
}

void TQelCustomGrid::MouseMove(QMouseEvent* event, TGridCoord cell) {
    const QPoint pos = event->position().toPoint();
    if (SizingCol >= 0) {
        if (event->buttons() & Qt::LeftButton) {
            const int width = std::max(MinDragWidth, SizingStartWidth + pos.x() - SizingStartX);
            if (width != ColWidth(SizingCol)) SetColWidth(SizingCol, width);
        }
        return;
    }
    if (DragSelecting && (event->buttons() & Qt::LeftButton) && cell.Valid()) {
        SetCurrent(cell.Col, cell.Row);
        SelectTo(true);
        return;
    }
    if (event->buttons() != Qt::NoButton) return;
    const bool overBorder = SizingColAt(pos) >= 0;
    if (overBorder && !SplitCursorShown) {
        CursorBeforeSplit = viewport()->cursor();
        viewport()->setCursor(Qt::SplitHCursor);
        SplitCursorShown = true;
    } else if (!overBorder && SplitCursorShown) {
        viewport()->setCursor(CursorBeforeSplit);
        SplitCursorShown = false;
    }
}

void TQelCustomGrid::MouseUp(QMouseEvent*, TGridCoord) {
    DragSelecting = false;
    if (SizingCol < 0) return;
    const int col = SizingCol;
    SizingCol = -1;
    emit columnResized(col, ColWidth(col));
}

void TQelCustomGrid::DblClick(QMouseEvent* event, TGridCoord cell) {
    if (event->button() != Qt::LeftButton || SizingCol >= 0 || !cell.Valid()) return;
    emit cellDoubleClicked(Cur.Col, Cur.Row);
}

void TQelCustomGrid::ContextMenuAt(TGridCoord cell, const QPoint& globalPos) {
    emit contextMenuAtCell(cell.Col, cell.Row, globalPos);
}

void TQelCustomGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    HideEditor();
    MouseDown(event, MouseCoord(event->position().toPoint()));
}

void TQelCustomGrid::mouseMoveEvent(QMouseEvent* event) {
    MouseMove(event, MouseCoord(event->position().toPoint()));
}

void TQelCustomGrid::mouseReleaseEvent(QMouseEvent* event) {
    MouseUp(event, MouseCoord(event->position().toPoint()));
}

void TQelCustomGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click arrives only here; handle it as a press first.
    const TGridCoord cell = MouseCoord(event->position().toPoint());
    HideEditor();
    MouseDown(event, cell);
    DblClick(event, cell);
}

void TQelCustomGrid::contextMenuEvent(QContextMenuEvent* event) {
    const TGridCoord cell = event->reason() == QContextMenuEvent::Mouse ? MouseCoord(event->pos()) : Cur;
    ContextMenuAt(cell, event->globalPos());
    event->accept();
}

bool TQelCustomGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) {
        if (SplitCursorShown && SizingCol < 0) {
            viewport()->setCursor(CursorBeforeSplit);
            SplitCursorShown = false;
        }
        MouseLeave();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ----------------------------------------------------------------------------------------------------
// Keyboard

void TQelCustomGrid::MoveCurrent(int col, int row) {
    if (col < 0 || row < 0) return;
    SetCurrent(col, row);
    ScrollToCell(col, row);
}

void TQelCustomGrid::keyPressEvent(QKeyEvent* event) {
    const TGridAxis& cols = Geom->Cols();
    const TGridAxis& rows = Geom->Rows();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_F2:
        ShowEditor();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (EditorMode())
            HideEditor();
        else
            ShowEditor();
        return;
    case Qt::Key_Escape:
        if (EditorMode()) {
            HideEditor();
            return;
        }
        ClearSelection();
        break;
    default:
        break;
    }
    if (!Cur.Valid()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    // The keyboard moves among visible scrolled lines; from a fixed line it enters the scrolled ones.
    const int firstCol = cols.NextVisible(cols.FixedCount() - 1);
    const int firstRow = rows.NextVisible(rows.FixedCount() - 1);
    const int lastCol = cols.PrevVisible(cols.Count());
    const int lastRow = rows.PrevVisible(rows.Count());
    const bool anyCol = firstCol < cols.Count();
    const bool anyRow = firstRow < rows.Count();
    auto forward = [](const TGridAxis& axis, int line) {
        const int next = axis.NextVisible(std::max(line, axis.FixedCount() - 1));
        return next < axis.Count() ? next : line;
    };
    auto backward = [](const TGridAxis& axis, int line, int first) {
        if (line < axis.FixedCount()) return first < axis.Count() ? first : line;
        const int prev = axis.PrevVisible(line);
        return prev >= axis.FixedCount() ? prev : line;
    };
    const std::int64_t page =
        std::max<std::int64_t>(1, AreaBottom() - TopBandHeight - rows.FixedExtent());
    int col = Cur.Col;
    int row = Cur.Row;
    switch (event->key()) {
    case Qt::Key_Down:
        row = forward(rows, row);
        break;
    case Qt::Key_Up:
        row = backward(rows, row, firstRow);
        break;
    case Qt::Key_Right:
        col = forward(cols, col);
        break;
    case Qt::Key_Left:
        col = backward(cols, col, firstCol);
        break;
    case Qt::Key_Home:
        if (anyCol) col = firstCol;
        if (ctrl && anyRow) row = firstRow;
        break;
    case Qt::Key_End:
        if (anyCol && lastCol >= cols.FixedCount()) col = lastCol;
        if (ctrl && anyRow && lastRow >= rows.FixedCount()) row = lastRow;
        break;
    case Qt::Key_PageDown:
    case Qt::Key_PageUp: {
        if (!anyRow) break;
        const bool down = event->key() == Qt::Key_PageDown;
        const std::int64_t from = row < rows.FixedCount() ? rows.Offset(firstRow) : rows.Offset(row);
        const std::int64_t to =
            down ? from + page : std::max<std::int64_t>(from - page, rows.FixedExtent());
        int target = rows.LineAt(to);
        if (target >= rows.Count()) target = lastRow;
        row = target;
        if (!RowsWindowed) {
            QScrollBar* bar = verticalScrollBar();
            bar->setValue(ClampToInt(bar->value() + (down ? page : -page)));
        }
        break;
    }
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0;
    // Shift+arrows with nothing selected yet begin the block at the cell left.
    if ((Opts & goRangeSelect) && extend && !Selecting) {
        Anchor = Cur;
        Selecting = true;
    }
    MoveCurrent(col, row);
    SelectTo(extend);
    event->accept();
}

}  // namespace kubrix
