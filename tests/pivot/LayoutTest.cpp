// Grid layout in the model: dimensions, the mapping of grid lines to axis rows and data fields,
// which rows and columns are shown, toggling a node, spare columns and remembered widths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pivot/PivotFixture.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

using Strings = std::vector<std::string>;

// Vertical candidates A, B; horizontal candidates G, H; data Q, V.
Pivot Sample() {
    return Pivot({{"A", ftString, 5}, {"B", ftString, 5}, {"G", ftString, 5}, {"H", ftString, 5},
                  {"Q", ftInteger}, {"V", ftInteger}},
                 {{S("a1"), S("b1"), S("g1"), S("h1"), I(1), I(10)},
                  {S("a1"), S("b2"), S("g2"), S("h1"), I(2), I(20)},
                  {S("a2"), S("b1"), S("g1"), S("h2"), I(4), I(40)},
                  {S("a1"), S("b1"), S("g2"), S("h2"), I(8), I(80)},
                  {S("a2"), S("b9"), S("g1"), S("h1"), I(16), I(160)}});
}

struct Layout {
    Strings x, y, d;
    int dataPlace = 0, dataIndex = 0;
    bool rowNum = true, colNum = true;
};

void Apply(Pivot& p, const Layout& l) {
    p.grid.BeginUpdate();
    p.grid.RowNum = l.rowNum;
    p.grid.ColNum = l.colNum;
    p.grid.DataPlace = static_cast<std::uint8_t>(l.dataPlace);
    p.grid.DataIndex = static_cast<std::uint8_t>(l.dataIndex);
    p.Config(l.x, l.y, l.d);  // closes the bracket it opened; ours is still open
    p.grid.EndUpdate();
}

// Paths of the shown data rows with their data field, "path/d" ("" path for a total row).
Strings ShownRows(Pivot& p) {
    Strings out;
    const TGridAxis& rows = p.grid.Geometry().Rows();
    const TKubrixDims d = p.grid.Dims();
    for (int r = rows.FixedCount(); r < rows.Count(); ++r) {
        if (!rows.Visible(r)) continue;
        const int g = r - rows.FixedCount();
        const int i = p.grid.GridRowToIndRow(p.grid.XAxis, 0, g);
        const bool total = r >= d.FixedRows + d.mX * d.rX;
        const std::string path = total ? "" : p.Path(p.grid.XAxis.Rows[static_cast<std::size_t>(i)]);
        const int field = !d.dX ? 0 : total ? d.nD + r - d.RowCount : p.grid.DataFldInd(p.grid.XAxis, g);
        out.push_back(path + "/" + std::to_string(field));
    }
    return out;
}

std::vector<int> Sizes(const TGridAxis& axis) {
    std::vector<int> out;
    for (int i = 0; i < axis.Count(); ++i) out.push_back(axis.Size(i));
    return out;
}

int GridRowOf(Pivot& p, const std::string& path, int dataField = 0) {
    const TGridAxis& rows = p.grid.Geometry().Rows();
    for (int r = rows.FixedCount(); r < rows.Count(); ++r) {
        const int g = r - rows.FixedCount();
        const int i = p.grid.GridRowToIndRow(p.grid.XAxis, 0, g);
        if (i >= p.grid.XAxis.RowCount()) continue;
        const int d = p.grid.Dims().dX ? p.grid.DataFldInd(p.grid.XAxis, g) : 0;
        if (p.Path(p.grid.XAxis.Rows[static_cast<std::size_t>(i)]) == path && d == dataField) return r;
    }
    return -1;
}

int GridColOf(Pivot& p, const std::string& path) {
    const TGridAxis& cols = p.grid.Geometry().Cols();
    const int fc = cols.FixedCount();
    for (int c = fc; c < fc + p.grid.YAxis.RowCount(); ++c) {
        if (p.Path(p.grid.YAxis.Rows[static_cast<std::size_t>(c - fc)]) == path) return c;
    }
    return -1;
}

}  // namespace

TEST(Layout, DimensionsFollowTheFieldsAndTheDataPlace) {
    struct Case {
        const char* name;
        Layout layout;
        int fixedCols, fixedRows, cols, rows;
    } cases[] = {
        // 2 fixed columns (numbers, A), 3 fixed rows (numbers, captions, G values);
        // rY = 2 data columns + total + spare; rX = 2 data rows + total.
        {"one field each", {{"A"}, {"G"}, {"Q"}}, 2, 3, 6, 6},
        {"no fields, one data field", {{}, {}, {"Q"}}, 2, 2, 3, 3},
        {"no row or column numbers", {{"A"}, {"G"}, {"Q"}, 0, 0, false, false}, 1, 2, 5, 5},
        // nX + R + 1 fixed columns; 6 vertical rows twice plus two total rows.
        {"two data fields on the rows", {{"A", "B"}, {}, {"Q", "V"}}, 4, 3, 5, 17},
        // The data-caption row joins the header rows; two columns per horizontal row.
        {"two data fields on the columns", {{"A"}, {"G"}, {"Q", "V"}, 1}, 2, 4, 9, 7},
        {"data fields on the columns, no horizontal field", {{"A"}, {}, {"Q", "V"}, 1}, 2, 4, 4, 7},
        {"no data fields", {{"A"}, {"G", "H"}, {}}, 2, 4, 2 + 6 + 1 + 2, 4 + 2 + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        Apply(p, c.layout);
        const TGridGeometry& g = p.grid.Geometry();
        EXPECT_EQ(g.Cols().FixedCount(), c.fixedCols);
        EXPECT_EQ(g.Rows().FixedCount(), c.fixedRows);
        EXPECT_EQ(g.Cols().Count(), c.cols);
        EXPECT_EQ(g.Rows().Count(), c.rows);
        for (int r = 0; r < g.Rows().FixedCount(); ++r) EXPECT_EQ(g.Rows().Size(r), 18) << "fixed row " << r;
    }
}

TEST(Layout, DataFieldsOnTheRowsRepeatTheAxisRows) {
    struct Case {
        const char* name;
        int dataIndex;
        Strings shown;
    } cases[] = {
        {"data fields outermost",
         0,
         {"a1·b1/0", "a1·b2/0", "a1/0", "a2·b1/0", "a2·b9/0", "a2/0", "a1·b1/1", "a1·b2/1", "a1/1", "a2·b1/1",
          "a2·b9/1", "a2/1", "/0", "/1"}},
        // Each first-level group's members per data field, then the group's own row per data field.
        {"data fields inside the first level",
         1,
         {"a1·b1/0", "a1·b2/0", "a1·b1/1", "a1·b2/1", "a1/0", "a1/1", "a2·b1/0", "a2·b9/0", "a2·b1/1", "a2·b9/1",
          "a2/0", "a2/1", "/0", "/1"}},
        {"data fields innermost",
         2,
         {"a1·b1/0", "a1·b1/1", "a1·b2/0", "a1·b2/1", "a1/0", "a1/1", "a2·b1/0", "a2·b1/1", "a2·b9/0", "a2·b9/1",
          "a2/0", "a2/1", "/0", "/1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        Apply(p, {{"A", "B"}, {}, {"Q", "V"}, 0, c.dataIndex});
        EXPECT_EQ(ShownRows(p), c.shown);
    }
}

TEST(Layout, CollapsingKeepsTheFirstVisibleLeafRowOfTheGroup) {
    struct Case {
        const char* name;
        Layout layout;
        Strings shown;
    } cases[] = {
        {"one data field", {{"A", "B"}, {}, {"Q"}}, {"a1·b1/0", "a2·b1/0", "a2·b9/0", "a2/0", "/0"}},
        {"two data fields, outermost",
         {{"A", "B"}, {}, {"Q", "V"}},
         {"a1·b1/0", "a2·b1/0", "a2·b9/0", "a2/0", "a1·b1/1", "a2·b1/1", "a2·b9/1", "a2/1", "/0", "/1"}},
        {"two data fields inside the first level",
         {{"A", "B"}, {}, {"Q", "V"}, 0, 1},
         {"a1·b1/0", "a1·b1/1", "a2·b1/0", "a2·b9/0", "a2·b1/1", "a2·b9/1", "a2/0", "a2/1", "/0", "/1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        Apply(p, c.layout);
        const std::vector<int> before = Sizes(p.grid.Geometry().Rows());
        // Double-click logic on the A column of a1·b2: collapses a1.
        const int aCol = p.grid.Dims().R + (p.grid.Dims().dX && p.grid.DataIndex == 0 ? 1 : 0);
        p.grid.RevertExpandedStateX(aCol, GridRowOf(p, "a1·b2"), true);
        EXPECT_EQ(ShownRows(p), c.shown);
        // The partial re-check agrees with a full layout.
        const std::vector<int> partial = Sizes(p.grid.Geometry().Rows());
        p.grid.UpdateGrid();
        EXPECT_EQ(Sizes(p.grid.Geometry().Rows()), partial);
        // Toggling again restores every row.
        p.grid.RevertExpandedStateX(aCol, GridRowOf(p, "a1·b1"), true);
        EXPECT_EQ(Sizes(p.grid.Geometry().Rows()), before);
    }
}

TEST(Layout, ToggleNeedsExpandedAncestorsWhenChecked) {
    Pivot p = Sample();
    Apply(p, {{"A", "B"}, {}, {"Q"}});
    const int r = GridRowOf(p, "a1·b1");
    p.grid.RevertExpandedStateX(1, r, true);  // collapse a1
    const std::vector<int> collapsed = Sizes(p.grid.Geometry().Rows());
    // The b1 cell of the representative row: its parent a1 is collapsed, so nothing happens.
    p.grid.RevertExpandedStateX(2, r, true);
    EXPECT_EQ(Sizes(p.grid.Geometry().Rows()), collapsed);
    EXPECT_TRUE(p.grid.XAxis.Rows[0]->Entry->Expanded);
    // Cells outside the vertical header columns or the data rows do nothing.
    p.grid.RevertExpandedStateX(0, r, true);
    p.grid.RevertExpandedStateX(1, 0, true);
    p.grid.RevertExpandedStateX(1, p.grid.Geometry().Rows().Count() - 1, true);
    EXPECT_EQ(Sizes(p.grid.Geometry().Rows()), collapsed);
}

TEST(Layout, TotalsAreShownOrHiddenAtTheNextUpdate) {
    struct Case {
        const char* name;
        Layout layout;
        bool showColTotal, showRowTotal;
        int totalRowHeight, totalColWidth;
    } cases[] = {
        {"both shown", {{"A"}, {"G"}, {"Q"}}, true, true, 18, 64},
        {"both hidden", {{"A"}, {"G"}, {"Q"}}, false, false, 0, 0},
        {"hidden but the axes are empty", {{}, {}, {"Q"}}, false, false, 18, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        Apply(p, c.layout);
        const std::vector<int> rows = Sizes(p.grid.Geometry().Rows()), cols = Sizes(p.grid.Geometry().Cols());
        p.grid.SetShowColTotal(c.showColTotal);
        p.grid.SetShowRowTotal(c.showRowTotal);
        EXPECT_EQ(Sizes(p.grid.Geometry().Rows()), rows);  // nothing until the next update
        EXPECT_EQ(Sizes(p.grid.Geometry().Cols()), cols);
        p.grid.UpdateGrid();
        const TKubrixDims d = p.grid.Dims();
        EXPECT_EQ(p.grid.Geometry().Rows().Size(d.RowCount - 1), c.totalRowHeight);
        EXPECT_EQ(p.grid.Geometry().Cols().Size(d.ColCount - 1 - d.nY), c.totalColWidth);
    }
}

TEST(Layout, SpareColumnsCarryTheHorizontalCaptions) {
    struct Case {
        const char* name;
        bool collapseG1, showRowTotal;
        int spareShown;
    } cases[] = {
        {"enough data columns", false, true, 0},
        {"one visible data column and the total", true, true, 0},
        {"one visible data column, no total", true, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        p.grid.ShowRowTotal = c.showRowTotal;
        Apply(p, {{"A"}, {"G", "H"}, {"Q"}});
        for (auto& e : p.Field("G").Values) {
            if (p.Field("G").ValueToText(e->Buffer()) == "g2") e->Selected = false;
        }
        p.grid.UpdateGrid();
        if (c.collapseG1) p.grid.RevertExpandedStateY(GridColOf(p, "g1·h2"), 2, true);
        const TGridAxis& cols = p.grid.Geometry().Cols();
        int spare = 0, visible = 0;
        for (int k = cols.Count() - 2; k < cols.Count(); ++k) spare += cols.Visible(k) ? 1 : 0;
        for (int k = cols.FixedCount(); k < cols.Count(); ++k) visible += cols.Visible(k) ? 1 : 0;
        EXPECT_EQ(spare, c.spareShown);
        EXPECT_GE(visible, 2);
        // Either way the two captions are on the first two visible non-fixed columns.
        int pos = -1;
        const int first = cols.NextVisible(cols.FixedCount() - 1), second = cols.NextVisible(first);
        EXPECT_TRUE(p.grid.ColToYFldInd(first, pos));
        EXPECT_EQ(pos, 0);
        EXPECT_TRUE(p.grid.ColToYFldInd(second, pos));
        EXPECT_EQ(pos, 1);
        EXPECT_EQ(p.grid.GetEditText(first, 1), "G");
        EXPECT_EQ(p.grid.GetEditText(second, 1), "H");
    }
}

TEST(Layout, UserWidthSurvivesCollapseAndExpand) {
    Pivot p = Sample();
    Apply(p, {{"A"}, {"G", "H"}, {"Q"}});
    TGridAxis& cols = p.grid.Geometry().Cols();
    const int col = GridColOf(p, "g1·h2");
    cols.SetSize(col, 100);
    p.grid.RevertExpandedStateY(GridColOf(p, "g1·h1"), 2, true);  // collapse g1
    EXPECT_EQ(cols.Size(col), 0);
    EXPECT_EQ(cols.Size(GridColOf(p, "g1·h1")), 64);
    p.grid.UpdateGrid();  // a full layout keeps it hidden and remembered
    EXPECT_EQ(cols.Size(col), 0);
    EXPECT_EQ(cols.SavedSize(col), 100);
    p.grid.RevertExpandedStateY(GridColOf(p, "g1·h1"), 2, true);
    EXPECT_EQ(cols.Size(col), 100);
}

TEST(Layout, GeometryListenersHearOncePerUpdate) {
    Pivot p = Sample();
    int calls = 0;
    p.grid.Geometry().AddListener([&calls](TGridChange) { ++calls; });
    Apply(p, {{"A", "B"}, {"G"}, {"Q"}});
    EXPECT_GE(calls, 1);
    EXPECT_LE(calls, 3);  // once per kind of change at most
    calls = 0;
    p.grid.RevertExpandedStateX(1, GridRowOf(p, "a1·b2"), true);
    EXPECT_EQ(calls, 1);
}

TEST(Layout, TogglingAnyHeaderCellAgreesWithAFullLayout) {
    // The partial re-check after a toggle must touch exactly the lines a full layout would change,
    // whatever the data fields' place and index.
    struct Case {
        const char* name;
        Layout layout;
    } cases[] = {
        {"one data field", {{"A", "B"}, {"G", "H"}, {"Q"}}},
        {"rows, data outermost", {{"A", "B"}, {"G", "H"}, {"Q", "V"}, 0, 0}},
        {"rows, data inside the first level", {{"A", "B"}, {"G", "H"}, {"Q", "V"}, 0, 1}},
        {"rows, data innermost", {{"A", "B"}, {"G", "H"}, {"Q", "V"}, 0, 2}},
        {"columns, data outermost", {{"A", "B"}, {"G", "H"}, {"Q", "V"}, 1, 0}},
        {"columns, data inside the first level", {{"A", "B"}, {"G", "H"}, {"Q", "V"}, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        Apply(p, c.layout);
        const TKubrixDims d = p.grid.Dims();
        int changed = 0;
        std::vector<int> last = Sizes(p.grid.Geometry().Rows()), lastCols = Sizes(p.grid.Geometry().Cols());
        auto check = [&](const std::string& where) {
            SCOPED_TRACE(where);
            if (Sizes(p.grid.Geometry().Rows()) != last || Sizes(p.grid.Geometry().Cols()) != lastCols) ++changed;
            const std::vector<int> rows = Sizes(p.grid.Geometry().Rows()), cols = Sizes(p.grid.Geometry().Cols());
            p.grid.UpdateGrid();
            EXPECT_EQ(Sizes(p.grid.Geometry().Rows()), rows);
            EXPECT_EQ(Sizes(p.grid.Geometry().Cols()), cols);
            last = rows;
            lastCols = cols;
        };
        for (int col = d.R; col < d.FixedCols; ++col) {
            for (int row = d.FixedRows; row < d.FixedRows + d.mX * d.rX; ++row) {
                p.grid.RevertExpandedStateX(col, row, false);
                check("x " + std::to_string(col) + "," + std::to_string(row));
            }
        }
        for (int row = d.C + 1; row < d.FixedRows; ++row) {
            for (int col = d.FixedCols; col < d.FixedCols + d.mY * d.rY; ++col) {
                p.grid.RevertExpandedStateY(col, row, false);
                check("y " + std::to_string(col) + "," + std::to_string(row));
            }
        }
        EXPECT_GT(changed, 10);  // the toggles did change the layout
    }
}

// The grid never shows what the model no longer holds: a new model is laid out empty, and the
// grid is laid out again whenever its dataset closes or opens.
TEST(Layout, TheGridFollowsItsDatasetOpeningAndClosing) {
    TQelKubrix empty;
    const int emptyRows = empty.Geometry().Rows().Count(), emptyCols = empty.Geometry().Cols().Count();
    EXPECT_LT(emptyRows, 5);
    EXPECT_LT(emptyCols, 5);
    for (int r = 0; r < emptyRows; ++r)
        for (int c = 0; c < emptyCols; ++c) {
            const TKubrixCell cell = empty.CellInfo(c, r);
            if (cell.Case != TKubrixCellCase::RowNumber && cell.Case != TKubrixCellCase::ColNumber) {
                EXPECT_EQ(cell.Text, "") << c << "," << r;
            }
        }

    Pivot p = Sample();
    Apply(p, {{"A", "B"}, {"G"}, {"Q"}});
    ASSERT_GT(p.grid.Geometry().Rows().Count(), emptyRows);
    struct Step {
        const char* name;
        std::function<void()> act;
    };
    const Step steps[] = {
        {"closed", [&] { p.ds.Close(); }},
        {"opened again", [&] { p.ds.Open(); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const auto before = p.grid.Layouts;
        step.act();
        EXPECT_GT(p.grid.Layouts, before);
        EXPECT_EQ(p.grid.Geometry().Rows().Count(), emptyRows);
        EXPECT_EQ(p.grid.Geometry().Cols().Count(), emptyCols);
        EXPECT_EQ(p.grid.CellInfo(emptyCols - 2, emptyRows - 2).Text, "");
    }
}
