// The pivot grid's layout: dimensions, the mapping of grid lines to axis rows and data fields,
// and which rows and columns are shown. Hidden lines keep their place with size 0, so toggling,
// filtering and totals change extents only and the mapping stays fixed for a given layout.

#include <algorithm>
#include <vector>

#include "pivot/Kubrix.h"
#include "support/CursorStack.h"

namespace kubrix {

namespace {

// Cached visibility of the last visibility pass: the value is selected and an included record
// lies below (what GetVisible computes, without walking the subtree again).
bool NodeShown(const TOLAPNode* node) {
    return (!node->Entry || node->Entry->Selected) && node->HasIncluded;
}

bool NodeExpanded(const TOLAPNode* node) { return !node->Entry || node->Entry->Expanded; }

// The nearest ancestor of node whose level is below level (node's level is at least level).
const TOLAPNode* AncestorBelow(const TOLAPNode* node, int level) {
    const TOLAPNode* a = node;
    while (a->Parent && a->Parent->Entry && a->Level >= level) a = a->Parent;
    return a;
}

}  // namespace

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

int TQelKubrix::GridRowToIndRow(const TQelOLAPVisibleFields& axis, int place, int g) const {
    const int nD = DataFields.Count();
    if (nD <= 1 || place != DataPlace || g < 0) return g;
    const int rc = axis.RowCount();
    // Past the data lines come the totals: they stand for the root, one line per data field.
    if (DataIndex == 0) return g >= nD * rc ? rc : g % rc;
    const int i = g / nD;
    if (i >= rc) return i;
    const TOLAPNode* n = axis.Rows[static_cast<std::size_t>(i)];
    if (n->Level < DataIndex) return i;
    const TOLAPNode* a = AncestorBelow(n, DataIndex);
    const int s = a->LastRow - a->FirstRow + 1;
    return a->FirstRow + (g - nD * a->FirstRow) % s;
}

int TQelKubrix::DataFldInd(const TQelOLAPVisibleFields& axis, int g) const {
    const int nD = DataFields.Count();
    if (nD <= 0 || g < 0) return 0;
    const int rc = axis.RowCount();
    if (DataIndex > 0) {
        const int i = g / nD;
        if (i < rc && axis.Rows[static_cast<std::size_t>(i)]->Level >= DataIndex) {
            const TOLAPNode* a = AncestorBelow(axis.Rows[static_cast<std::size_t>(i)], DataIndex);
            const int s = a->LastRow - a->FirstRow + 1;
            return (g - nD * a->FirstRow) / s;
        }
    } else if (g >= nD * rc) {
        return g - nD * rc;
    } else {
        return g / rc;
    }
    return g % nD;
}

int TQelKubrix::VisibleColsUpTo(int col, int limit) const {
    const TGridAxis& cols = geometry_.Cols();
    int count = 0;
    const int last = std::min(col, cols.Count() - 1);
    for (int c = cols.NextVisible(cols.FixedCount() - 1); c <= last && count <= limit; c = cols.NextVisible(c))
        ++count;
    return count;
}

int TQelKubrix::ColToYFldInd(int col) const { return VisibleColsUpTo(col, geometry_.Cols().Count()) - 1; }

bool TQelKubrix::ColToYFldInd(int col, int& pos) const {
    const TKubrixDims d = Dims();
    // Counting stops past the caption columns: a column further right carries no caption.
    pos = VisibleColsUpTo(col, d.nY + d.dY) - 1;
    return pos < d.nY + d.dY;
}

bool TQelKubrix::AxisLineShown(const TQelOLAPVisibleFields& axis, int i) const {
    if (i < 0 || i >= axis.RowCount()) return false;
    const TOLAPNode* p = axis.Rows[static_cast<std::size_t>(i)];
    const bool expanded = NodeExpanded(p);
    bool candidate = p->Leaf;
    if (!candidate && p->Level < axis.LevelCount()) candidate = axis.LevelField(p->Level)->ShowTotals && expanded;
    bool shown = candidate && NodeShown(p) && (expanded || i == p->FirstVisibleRow);
    if (shown && axis.Count() > 1) {
        // Ancestors from the outermost level down: each must be shown and expanded, or the
        // row must be the one that stands for the collapsed group.
        const TOLAPNode* chain[256];
        int depth = 0;
        for (const TOLAPNode* q = p->Parent; q && q->Entry && depth < 256; q = q->Parent) chain[depth++] = q;
        for (int k = depth - 1; k >= 0 && shown; --k) {
            const TOLAPNode* q = chain[k];
            shown = NodeShown(q) && (NodeExpanded(q) || i == q->FirstVisibleRow);
        }
    }
    return shown;
}

void TQelKubrix::CheckRowsVisible(int first, int last) {
    TGridAxis& rows = geometry_.Rows();
    const int fr = rows.FixedCount();
    first = std::max(first, fr);
    last = std::min(last, rows.Count() - 1);
    if (first > last) return;
    TGridUpdateGuard batch(geometry_);
    const bool mapped = DataFields.Count() >= 2 && DataPlace == 0;
    const int height = rows.DefaultSize();
    for (int row = first; row <= last; ++row) {
        const int i = mapped ? GridRowToIndRow(XAxis, 0, row - fr) : row - fr;
        rows.SetActualSize(row, AxisLineShown(XAxis, i) ? height : 0);
    }
}

void TQelKubrix::CheckColsVisible(int first, int last) {
    TGridAxis& cols = geometry_.Cols();
    const int fc = cols.FixedCount();
    first = std::max(first, fc);
    last = std::min(last, cols.Count() - 1);
    if (first > last) return;
    TGridUpdateGuard batch(geometry_);
    const bool mapped = DataFields.Count() >= 2 && DataPlace == 1;
    for (int col = first; col <= last; ++col) {
        const int j = mapped ? GridRowToIndRow(YAxis, 1, col - fc) : col - fc;
        if (AxisLineShown(YAxis, j))
            cols.Show(col);
        else
            cols.Hide(col);
    }
}

void TQelKubrix::CheckAdditionalColsVisible() {
    TGridAxis& cols = geometry_.Cols();
    const int nY = YAxis.Count();
    const int count = cols.Count();
    const int spare = std::max(cols.FixedCount(), count - nY);
    TGridUpdateGuard batch(geometry_);
    for (int c = spare; c < count; ++c) cols.Hide(c);
    const int v = VisibleColsUpTo(count - 1, nY);
    for (int c = spare, k = 0; c < count && k < nY - v; ++c, ++k) cols.Show(c);
}

void TQelKubrix::LayoutGrid() {
    TraceScope trace(this, "TQelKubrix.LayoutGrid");
    const TKubrixDims d = Dims();
    TGridUpdateGuard batch(geometry_);
    TGridAxis& rows = geometry_.Rows();
    TGridAxis& cols = geometry_.Cols();
    cols.SetCount(d.ColCount);
    rows.SetCount(d.RowCount);
    cols.SetFixedCount(d.FixedCols);
    rows.SetFixedCount(d.FixedRows);

    const int dataRowsEnd = d.FixedRows + d.mX * d.rX;
    rows.FillActual(0, d.FixedRows - 1, rows.DefaultSize());
    CheckRowsVisible(d.FixedRows, dataRowsEnd - 1);
    rows.FillActual(dataRowsEnd, d.RowCount - 1, ShowColTotal || d.rX == 0 ? rows.DefaultSize() : 0);

    const int dataColsEnd = d.FixedCols + d.mY * d.rY;
    for (int c = 0; c < d.FixedCols; ++c) cols.Show(c);
    CheckColsVisible(d.FixedCols, dataColsEnd - 1);
    const bool totals = ShowRowTotal || d.rY == 0;
    for (int c = dataColsEnd; c < dataColsEnd + d.mY; ++c) {
        if (totals)
            cols.Show(c);
        else
            cols.Hide(c);
    }
    CheckAdditionalColsVisible();
}

void TQelKubrix::RevertExpandedStateX(int col, int row, bool check) {
    TraceScope trace(this, "TQelKubrix.RevertExpandedStateX");
    const TKubrixDims d = Dims();
    if (d.nX <= 0 || row < d.FixedRows || row >= d.FixedRows + d.mX * d.rX || col < d.R || col >= d.FixedCols)
        return;
    const int p = col - d.R;
    if (d.dX == 1 && p == DataIndex) return;
    const int level = p - (d.dX == 1 && DataIndex < p ? 1 : 0);
    const int i = d.dX == 1 ? GridRowToIndRow(XAxis, 0, row - d.FixedRows) : row - d.FixedRows;
    if (i < 0 || i >= d.rX) return;
    TOLAPNode* n = XAxis.Rows[static_cast<std::size_t>(i)];
    while (level < n->Level && n->Parent && n->Parent->Entry) n = n->Parent;
    if (!n->Entry) return;
    if (check && !IsNodeVisible(XAxis, n)) return;
    n->Entry->Expanded = !n->Entry->Expanded;
    {
        TGridUpdateGuard batch(geometry_);
        UpdateRowsVisible(n->Level, n->Entry);
        geometry_.Changed(TGridChange::RowsChanged);
    }
    Repaint();
}

void TQelKubrix::RevertExpandedStateY(int col, int row, bool check) {
    TraceScope trace(this, "TQelKubrix.RevertExpandedStateY");
    const TKubrixDims d = Dims();
    if (d.nY <= 0 || row < d.C + 1 || row >= d.FixedRows || col < d.FixedCols || col >= d.FixedCols + d.mY * d.rY)
        return;
    const int q = row - d.C - 1;
    if (d.dY == 1 && q == DataIndex) return;
    const int level = q - (d.dY == 1 && DataIndex < q ? 1 : 0);
    const int j = d.dY == 1 ? GridRowToIndRow(YAxis, 1, col - d.FixedCols) : col - d.FixedCols;
    if (j < 0 || j >= d.rY) return;
    TOLAPNode* n = YAxis.Rows[static_cast<std::size_t>(j)];
    while (level < n->Level && n->Parent && n->Parent->Entry) n = n->Parent;
    if (!n->Entry) return;
    if (check && !IsNodeVisible(YAxis, n)) return;
    n->Entry->Expanded = !n->Entry->Expanded;
    {
        TGridUpdateGuard batch(geometry_);
        UpdateColsVisible(n->Level, n->Entry);
        CheckAdditionalColsVisible();
        geometry_.Changed(TGridChange::ColsChanged);
    }
    Repaint();
}

void TQelKubrix::UpdateAxisLinesVisible(int place, int level, const TOLAPValueEntry* entry) {
    const TQelOLAPVisibleFields& axis = place == 0 ? XAxis : YAxis;
    if (!axis.Root || axis.Root->Leaf || !entry) return;
    const int nD = DataFields.Count();
    const int fixed = place == 0 ? geometry_.Rows().FixedCount() : geometry_.Cols().FixedCount();
    const int rc = axis.RowCount();
    auto check = [this, place](int first, int last) {
        if (place == 0)
            CheckRowsVisible(first, last);
        else
            CheckColsVisible(first, last);
    };
    auto lines = [&](const TOLAPNode* n) {
        if (nD < 2 || DataPlace != place) {
            check(fixed + n->FirstRow, fixed + n->OwnRow);
        } else if (DataIndex == 0) {
            for (int b = 0; b < nD; ++b) check(fixed + b * rc + n->FirstRow, fixed + b * rc + n->OwnRow);
        } else if (n->Level < DataIndex) {
            check(fixed + nD * n->FirstRow, fixed + nD * (n->OwnRow + 1) - 1);
        } else {
            const TOLAPNode* a = AncestorBelow(n, DataIndex);
            const int s = a->LastRow - a->FirstRow + 1;
            const int base = fixed + nD * a->FirstRow;
            for (int b = 0; b < nD; ++b)
                check(base + b * s + (n->FirstRow - a->FirstRow), base + b * s + (n->OwnRow - a->FirstRow));
        }
    };
    TGridUpdateGuard batch(geometry_);
    // Only the levels down to the toggled one are walked; a value occurs once per parent group.
    auto walk = [&](auto& self, const std::vector<TOLAPNode*>& list) -> void {
        for (const TOLAPNode* n : list) {
            if (n->Level == level) {
                if (n->Entry == entry) lines(n);
            } else if (n->Level < level && n->Visible && !n->Leaf) {
                self(self, n->Children);
            }
        }
    };
    walk(walk, axis.Root->Children);
}

void TQelKubrix::UpdateRowsVisible(int level, const TOLAPValueEntry* entry) {
    TraceScope trace(this, "TQelKubrix.UpdateRowsVisible");
    UpdateAxisLinesVisible(0, level, entry);
}

void TQelKubrix::UpdateColsVisible(int level, const TOLAPValueEntry* entry) {
    TraceScope trace(this, "TQelKubrix.UpdateColsVisible");
    UpdateAxisLinesVisible(1, level, entry);
}

}  // namespace kubrix
