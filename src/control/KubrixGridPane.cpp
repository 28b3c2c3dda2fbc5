#include "control/KubrixGridPane.h"

#include <QPainter>

namespace kubrix {

TKubrixGridPane::TKubrixGridPane(QWidget* parent) : TQelCustomGrid(parent), model_(*this) {
    SetGeometry(&model_.Geometry());
}

TKubrixGridPane::~TKubrixGridPane() { SetGeometry(nullptr); }

void TKubrixGridPane::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState) {
    const TKubrixCell cell = model_.CellInfo(col, row);
    if (cell.Back == TKubrixCellBack::Silver) painter.fillRect(rect, QColor::fromRgb(SilverRgb));
    else if (cell.Back == TKubrixCellBack::Numbers) painter.fillRect(rect, palette().color(QPalette::Disabled, QPalette::Text));
    if (cell.Text.empty()) return;
    if (cell.Ink == TKubrixCellInk::Silver) painter.setPen(QColor::fromRgb(SilverRgb));
    else if (cell.Ink == TKubrixCellInk::White) painter.setPen(Qt::white);
    QFont f = painter.font();
    f.setItalic(cell.Italic);
    f.setBold(cell.Bold);
    painter.setFont(f);
    const QString text = QString::fromStdString(cell.Text);
    const QRect r = rect.adjusted(cell.DX, 0, -3, 0);
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    flags |= cell.Align == TKubrixCellAlign::Right ? Qt::AlignRight
             : cell.Align == TKubrixCellAlign::Center ? Qt::AlignHCenter : Qt::AlignLeft;
    painter.drawText(r, flags, text);
}

QString TKubrixGridPane::GetEditText(int col, int row) const { return QString::fromStdString(model_.GetEditText(col, row)); }

void TKubrixGridPane::DblClick(QMouseEvent* event, TGridCoord cell) {
    if (cell.Col == 0 && cell.Row == 0 && model_.CanEditGrid && EditGrid) {
        EditGrid();
        return;
    }
    TQelCustomGrid::DblClick(event, cell);
}

}  // namespace kubrix
