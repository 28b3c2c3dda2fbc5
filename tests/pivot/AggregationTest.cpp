// Cell sums: detail cells, subtotals and totals over the counted records, their text, and
// the effect of the value filter and of collapsing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pivot/PivotFixture.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

// Vertical V (a, b), horizontal H (x, y), data Q: (a, x, 1), (a, y, 2), (b, x, 4).
Pivot Small() {
    return Pivot({{"V", ftString, 5}, {"H", ftString, 5}, {"Q", ftInteger}, {"R", ftFloat}},
                 {{S("a"), S("x"), I(1), D(0.5)}, {S("a"), S("y"), I(2), N()}, {S("b"), S("x"), I(4), D(-1.25)}});
}

struct CellCase { const char* name; std::string x, y, text; };

void ExpectCells(Pivot& p, const std::vector<CellCase>& cases, int dataIndex = 0) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(p.Cell(c.x, c.y, dataIndex), c.text);
    }
}

}  // namespace

TEST(Aggregation, CellsSubtotalsAndTotals) {
    FormatSettingsScope fs(Plain());
    Pivot p = Small();
    p.Config({"V"}, {"H"}, {"Q"});
    ExpectCells(p, {
        {"a·x", "a", "x", "1.00"},   {"a·y", "a", "y", "2.00"},   {"b·x", "b", "x", "4.00"},
        {"b·y is empty", "b", "y", ""},
        {"row total a", "a", "", "3.00"}, {"row total b", "b", "", "4.00"},
        {"column total x", "", "x", "5.00"}, {"column total y", "", "y", "2.00"},
        {"grand total", "", "", "7.00"},
    });
    // One entry per horizontal node sharing records, keys ascending, the root's key -1.
    const TOLAPSums& a = *p.grid.XAxis.Rows[0]->Sums;
    EXPECT_EQ(a.Keys, (std::vector<std::int32_t>{-1, 0, 1}));
    EXPECT_EQ(p.grid.XAxis.Rows[1]->Sums->Keys, (std::vector<std::int32_t>{-1, 0}));
}

TEST(Aggregation, NullDataCountsAsZeroAndTwoDataFieldsKeepTheirOrder) {
    FormatSettingsScope fs(Plain());
    Pivot p = Small();
    p.Config({"V"}, {"H"}, {"R", "Q"});
    ExpectCells(p, {{"a·y holds a null", "a", "y", "0.00"}, {"row total a", "a", "", "0.50"},
                    {"grand total", "", "", "-0.75"}}, 0);
    ExpectCells(p, {{"a·y", "a", "y", "2.00"}, {"grand total", "", "", "7.00"}}, 1);
    double v = 123;
    EXPECT_FALSE(p.grid.DataFields.DataValue(0, 0, v, 2));  // no third data field
    EXPECT_EQ(v, 123);
}

TEST(Aggregation, DeselectedValuesLeaveEverySum) {
    FormatSettingsScope fs(Plain());
    Pivot p = Small();
    p.Config({"V"}, {"H"}, {"Q"});
    p.Field("H").Values[0]->Selected = false;  // x
    p.grid.UpdateGrid();
    ExpectCells(p, {{"a·x", "a", "x", ""}, {"a·y", "a", "y", "2.00"}, {"row total a", "a", "", "2.00"},
                    {"row total b", "b", "", ""}, {"column total x", "", "x", ""}, {"grand total", "", "", "2.00"}});
}

TEST(Aggregation, WithoutVerticalFieldsOnlyTheTotalRowsHoldValues) {
    FormatSettingsScope fs(Plain());
    Pivot p = Small();
    p.Config({}, {"H"}, {"Q"});
    EXPECT_EQ(p.grid.XAxis.RowCount(), 0);
    ExpectCells(p, {{"total x", "", "x", "5.00"}, {"total y", "", "y", "2.00"}, {"grand total", "", "", "7.00"}});
}

TEST(Aggregation, CollapsedGroupRowsShowTheGroupsSums) {
    FormatSettingsScope fs(Plain());
    Pivot p({{"A", ftString, 5}, {"B", ftString, 5}, {"Q", ftInteger}},
            {{S("a1"), S("b1"), I(1)}, {S("a1"), S("b2"), I(2)}, {S("a2"), S("b1"), I(4)}});
    p.Config({"A", "B"}, {}, {"Q"});
    p.Field("A").Values[0]->Expanded = false;  // a1
    p.grid.UpdateGrid();
    ExpectCells(p, {{"member row of a1", "a1·b1", "", "3.00"}, {"other member row", "a1·b2", "", "3.00"},
                    {"expanded group", "a2·b1", "", "4.00"}});
}

TEST(Aggregation, TextUsesTheNumberFormat) {
    FormatSettings ru;
    ru.DecimalSeparator = ',';
    ru.ThousandSeparator = " ";
    FormatSettingsScope fs(ru);
    Pivot p({{"Q", ftFloat}}, {{D(1234.5)}, {D(-1000000)}});
    p.Config({}, {}, {"Q"});
    std::string text;
    p.grid.DataFields.DataText(0, 0, text, 0);
    EXPECT_EQ(text, "-998 765,50");
}

// A data value that is no number stops the computation: no partial sums are left behind.
TEST(Aggregation, DataThatDoesNotConvertLeavesNoSums) {
    FormatSettingsScope fs(Plain());
    Pivot p({{"V", ftString, 5}, {"T", ftString, 5}}, {{S("a"), S("12")}, {S("b"), S("abc")}});
    p.Config({"V"}, {}, {});
    p.grid.DataFields.BeginUpdate();
    p.grid.DataFields.Add("T");
    EXPECT_THROW(p.grid.DataFields.EndUpdate(), std::exception);
    EXPECT_EQ(p.Cell("a", ""), "");
    EXPECT_EQ(p.Cell("", ""), "");

    p.ds.SetValue(1, p.ds.ColumnIndex("T"), S("0.5"));
    p.grid.UpdateGrid();
    EXPECT_EQ(p.Cell("", ""), "12.50");
}

// Each field keeps its records' dictionary positions between layouts; a change of the records
// in between must be seen by the next layout, whatever way it was written.
TEST(Aggregation, ALayoutAfterTheRecordsChangedSeesTheChange) {
    FormatSettingsScope fs(Plain());
    struct EditCase {
        const char* name;
        std::function<void(Pivot&)> edit;
        std::vector<CellCase> cells;
    };
    const int v = 0;  // column V
    const std::vector<EditCase> cases = {
        {"a value moved to another group", [&](Pivot& p) { p.ds.SetValue(1, v, S("b")); },
         {{"row total a", "a", "", "1.00"}, {"row total b", "b", "", "6.00"}, {"b·y", "b", "y", "2.00"}}},
        {"a slot written in place", [&](Pivot& p) {
             // The stored form of "b" copied over the first record's slot.
             const std::vector<std::uint8_t> b(p.ds.Slot(2, v), p.ds.Slot(2, v) + p.ds.Field(v).SlotSize);
             std::copy(b.begin(), b.end(), p.ds.Slot(0, v));
         },
         {{"row total a", "a", "", "2.00"}, {"row total b", "b", "", "5.00"}, {"b·x", "b", "x", "5.00"}}},
        {"a record added", [&](Pivot& p) { p.AddRow({S("b"), S("y"), I(8), D(0)}); },
         {{"row total b", "b", "", "12.00"}, {"b·y", "b", "y", "8.00"}, {"grand total", "", "", "15.00"}}},
        {"records loaded anew in another order", [&](Pivot& p) {
             p.ds.Close();
             p.ds.Open();
             p.AddRow({S("b"), S("y"), I(16), D(0)});
             p.AddRow({S("a"), S("x"), I(32), D(0)});
         },
         {{"row total a", "a", "", "32.00"}, {"row total b", "b", "", "16.00"}, {"a·y", "a", "y", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Small();
        p.Config({"V"}, {"H"}, {"Q"});
        c.edit(p);
        p.Config({"V"}, {"H"}, {"Q"});
        ExpectCells(p, c.cells);
    }
}
