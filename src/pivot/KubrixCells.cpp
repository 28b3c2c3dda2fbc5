// What every cell of the pivot grid shows: the first of the cell kinds that applies decides the
// text and the style. A painter, the in-place editor, the hint and an export all read this.

#include <string>

#include "pivot/Kubrix.h"

namespace kubrix {

namespace {

const char* const kDataCaption = "Данные";
const char* const kTotalCaption = "Итог";

std::string FieldLabel(const TQelOLAPVisibleFields& list, int index) {
    if (index < 0 || index >= list.Count()) return {};
    const TQelOLAPField* f = list.Field(index).OLAPField;
    return f ? f->Caption() : list.Field(index).FieldName;
}

}  // namespace

void TQelOLAPVisibleFields::FieldText(int level, int row, std::string& text, bool& groupRow, bool& ownLevel,
                                      bool& firstRow) const {
    text.clear();
    groupRow = ownLevel = firstRow = false;
    if (row < 0 || row >= RowCount() || level < 0 || level >= LevelCount()) return;
    const TOLAPNode* n = Rows[static_cast<std::size_t>(row)];
    const TQelOLAPField& field = *LevelField(level);
    groupRow = n->Level < LevelCount() - 1;
    if (groupRow) {
        ownLevel = n->Level == level;
        if (n->Level < level) return;  // deeper columns of a subtotal line
        while (n->Level > level && n->Parent && n->Parent->Entry) n = n->Parent;
        field.ValueToText(n->Entry->Buffer(), text);
        return;
    }
    const TOLAPNode* a = n;
    while (a->Level > level && a->Parent && a->Parent->Entry) a = a->Parent;
    firstRow = row == a->FirstVisibleRow;
    for (const TOLAPNode* q = a->Parent; q && q->Entry; q = q->Parent) {
        if (!q->Entry->Expanded) return;  // below a collapsed group: the group stands for it
    }
    field.ValueToText(a->Entry->Buffer(), text);
}

void TQelKubrix::AxisCell(TKubrixCell& cell, const TQelOLAPVisibleFields& axis, int place, int offset,
                          int position) const {
    const int nD = DataFields.Count();
    bool groupRow = false, ownLevel = false, firstRow = false;
    cell.DX = 1;
    cell.DY = 2;
    cell.Align = TKubrixCellAlign::Left;
    if (nD <= 1 || DataPlace != place) {
        axis.FieldText(position, offset, cell.Text, groupRow, ownLevel, firstRow);
        cell.Ink = !ownLevel && !firstRow ? TKubrixCellInk::Silver : TKubrixCellInk::Normal;
        cell.Italic = ownLevel;
        return;
    }
    if (position == DataIndex) {
        cell.Text = FieldLabel(DataFields, DataFldInd(axis, offset));
        return;
    }
    const int i = GridRowToIndRow(axis, place, offset);
    axis.FieldText(position - (DataIndex < position ? 1 : 0), i, cell.Text, groupRow, ownLevel, firstRow);
    // Levels outside the data caption read normally only in the first data field's repetition.
    const bool normal = ((firstRow && !groupRow) || ownLevel) && (DataIndex < position || DataFldInd(axis, offset) == 0);
    cell.Ink = normal ? TKubrixCellInk::Normal : TKubrixCellInk::Silver;
    cell.Italic = ownLevel;
}

void TQelKubrix::SumCell(TKubrixCell& cell, int x, int y, int d) const {
    cell.Align = TKubrixCellAlign::Right;
    cell.DX = 1;
    cell.DY = 2;
    if (d < 0 || d >= DataFields.Count()) return;
    DataFields.DataText(x, y, cell.Text, d);
}

TKubrixCell TQelKubrix::CellInfo(int col, int row) const {
    TKubrixCell cell;
    const TKubrixDims d = Dims();
    if (col < 0 || row < 0 || col >= d.ColCount || row >= d.RowCount) return cell;
    cell.Fixed = col < d.FixedCols || row < d.FixedRows;
    const int fc = d.FixedCols, fr = d.FixedRows;
    const int dataRowsEnd = fr + d.mX * d.rX, dataColsEnd = fc + d.mY * d.rY;
    auto numbers = [&cell](TKubrixCellCase c) {
        cell.Case = c;
        cell.Back = TKubrixCellBack::Numbers;
        cell.Ink = TKubrixCellInk::White;
        cell.DX = 0;
        cell.DY = 1;
        cell.Align = TKubrixCellAlign::Center;
    };
    auto caption = [&cell](TKubrixCellCase c, std::string text) {
        cell.Case = c;
        cell.Text = std::move(text);
        cell.DX = 1;
        cell.DY = 2;
        cell.Align = TKubrixCellAlign::Left;
    };
    int pos = 0;

    if (d.R == 1 && col == 0 && row == 0) {  // 1
        cell.Case = TKubrixCellCase::Corner;
        cell.Back = TKubrixCellBack::Silver;
    } else if (d.R == 1 && col == 0) {  // 2
        numbers(TKubrixCellCase::RowNumber);
        cell.Text = std::to_string(row);
    } else if (d.C == 1 && row == 0) {  // 3
        numbers(TKubrixCellCase::ColNumber);
        if (col > 0) cell.Text = std::to_string(col);
    } else if (d.nD == 1 && row == fr - 2 && col == d.R) {  // 4
        caption(TKubrixCellCase::OneDataCaption, FieldLabel(DataFields, 0));
        cell.Back = TKubrixCellBack::Silver;
    } else if (d.nX > 0 && col >= d.R && col < fc && row == fr - 1) {  // 5
        const int p = col - d.R;
        cell.Back = TKubrixCellBack::Silver;
        if (d.dX == 1 && p == DataIndex) {
            caption(TKubrixCellCase::VertCaption, kDataCaption);
        } else {
            const int field = p - (d.dX == 1 && DataIndex < p ? 1 : 0);
            caption(TKubrixCellCase::VertCaption, FieldLabel(XAxis, field));
            if (field < d.nX) {
                cell.FilterButton = true;
                cell.CaptionPlace = 0;
                cell.CaptionField = field;
            }
        }
    } else if (col >= d.R && col < fc && row >= fr && row < dataRowsEnd) {  // 6
        cell.Case = TKubrixCellCase::VertValue;
        AxisCell(cell, XAxis, 0, row - fr, col - d.R);
    } else if (d.nY > 0 && row == d.C && col >= fc && ColToYFldInd(col, pos)) {  // 7
        cell.Back = TKubrixCellBack::Silver;
        if (d.nD > 1 && DataPlace == 1 && pos == DataIndex) {
            caption(TKubrixCellCase::HorzCaption, kDataCaption);
        } else {
            const int field = pos - (d.dY == 1 && DataIndex < pos ? 1 : 0);
            caption(TKubrixCellCase::HorzCaption, FieldLabel(YAxis, field));
            if (field < d.nY) {
                cell.FilterButton = true;
                cell.CaptionPlace = 1;
                cell.CaptionField = field;
            }
        }
    } else if (const int top = (d.nY > 0 || d.dY == 1 ? 1 : 0) + d.C;
               col >= fc && col < dataColsEnd && row >= top && row < fr) {  // 8
        cell.Case = TKubrixCellCase::HorzValue;
        AxisCell(cell, YAxis, 1, col - fc, row - top);
    } else if (col >= fc && col < dataColsEnd && row >= fr && row < dataRowsEnd) {  // 9
        cell.Case = TKubrixCellCase::Data;
        cell.IsData = true;
        int dd = 0;
        if (d.nD >= 2) dd = DataPlace == 0 ? DataFldInd(XAxis, row - fr) : DataFldInd(YAxis, col - fc);
        SumCell(cell, GridRowToIndRow(XAxis, 0, row - fr), GridRowToIndRow(YAxis, 1, col - fc), dd);
    } else if (col == d.R && row == d.RowCount - 1 - d.dX * (d.nD - 1) - (d.nX == 0 ? 1 : 0)) {  // 10
        caption(TKubrixCellCase::TotalRowLabel, kTotalCaption);
    } else if (d.nD > 1 && DataPlace == 0 && col == d.R + DataIndex && row >= dataRowsEnd) {  // 11
        caption(TKubrixCellCase::TotalRowDataCaption, FieldLabel(DataFields, d.nD + row - d.RowCount));
    } else if (row == d.C + (d.nY > 0 ? 1 : 0) && col == d.ColCount - 1 - d.dY * (d.nD - 1) - d.nY) {  // 12
        caption(TKubrixCellCase::TotalColLabel, kTotalCaption);
    } else if (d.nD > 1 && DataPlace == 1 && row == d.C + DataIndex + 1 && col >= dataColsEnd &&
               col < d.ColCount - d.nY) {  // 13
        caption(TKubrixCellCase::TotalColDataCaption, FieldLabel(DataFields, d.nD + d.nY + col - d.ColCount));
    } else if (d.nD == 0 || col < fc || row < fr) {  // 14
        cell.Case = TKubrixCellCase::Empty;
    } else if (col >= d.ColCount - d.nY) {
        // Spare columns only carry horizontal captions; below the header they stay empty.
        cell.Case = TKubrixCellCase::Empty;
    } else {  // 15
        cell.Case = TKubrixCellCase::Total;
        cell.IsTotal = true;
        int x = 0, y = 0, dd = 0;
        if (row < dataRowsEnd) {
            x = GridRowToIndRow(XAxis, 0, row - fr);
            if (d.dX == 1) dd = DataFldInd(XAxis, row - fr);
        } else {
            x = d.rX + 1;
            if (d.dX == 1) dd = d.nD + row - d.RowCount;
        }
        if (col < dataColsEnd) {
            y = GridRowToIndRow(YAxis, 1, col - fc);
            if (d.dY == 1) dd = DataFldInd(YAxis, col - fc);
        } else {
            y = d.rY + 1;
            if (d.dY == 1) dd = d.nD + d.nY + col - d.ColCount;
        }
        SumCell(cell, x, y, dd);
    }
    return cell;
}

std::string TQelKubrix::GetEditText(int col, int row) const { return CellInfo(col, row).Text; }

}  // namespace kubrix
