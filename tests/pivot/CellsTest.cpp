// Cell classification: the text and style every cell of a small pivot shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pivot/PivotFixture.h"
#include "support/FormatSettings.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

// A: a1 on records 0, 1, 3; a2 on 2, 4. G: g1 on 0, 2, 4; g2 on 1, 3.
Pivot Sample() {
    return Pivot({{"A", ftString, 5}, {"B", ftString, 5}, {"G", ftString, 5}, {"Q", ftInteger}, {"V", ftInteger}},
                 {{S("a1"), S("b1"), S("g1"), I(1), I(10)},
                  {S("a1"), S("b2"), S("g2"), I(2), I(20)},
                  {S("a2"), S("b1"), S("g1"), I(4), I(40)},
                  {S("a1"), S("b1"), S("g2"), I(8), I(80)},
                  {S("a2"), N(), S("g1"), I(16), I(160)}});
}

// Every cell's text, one string per row with the cells separated by "|".
std::vector<std::string> Texts(const TQelKubrix& grid) {
    std::vector<std::string> out;
    const TKubrixDims d = grid.Dims();
    for (int r = 0; r < d.RowCount; ++r) {
        std::string line;
        for (int c = 0; c < d.ColCount; ++c) line += (c ? "|" : "") + grid.GetEditText(c, r);
        out.push_back(line);
    }
    return out;
}

}  // namespace

TEST(Cells, TextsOfAOneByOnePivot) {
    FormatSettingsScope fs(Plain());
    Pivot p = Sample();
    p.Config({"A"}, {"G"}, {"Q"});
    // Sums: a1·g1 1, a1·g2 10, a2·g1 20, a2·g2 none; the last column is the (hidden) spare one.
    EXPECT_EQ(Texts(p.grid), (std::vector<std::string>{
                                 "|1|2|3|4|5",
                                 "1|Q|G|||",
                                 "2|A|g1|g2|Итог|",
                                 "3|a1|1.00|10.00|11.00|",
                                 "4|a2|20.00||20.00|",
                                 "5|Итог|21.00|10.00|31.00|",
                             }));
}

TEST(Cells, TextsWithTwoDataFieldsOnTheRows) {
    FormatSettingsScope fs(Plain());
    Pivot p = Sample();
    p.Config({"A", "B"}, {}, {"Q", "V"});
    // Column 1 is the data-caption column; b of record 4 is null.
    EXPECT_EQ(Texts(p.grid), (std::vector<std::string>{
                                 "|1|2|3|4",
                                 "1||||Итог",
                                 "2|Данные|A|B|",
                                 "3|Q|a1|b1|9.00",
                                 "4|Q|a1|b2|2.00",
                                 "5|Q|a1||11.00",
                                 "6|Q|a2|(ПУСТО)|16.00",
                                 "7|Q|a2|b1|4.00",
                                 "8|Q|a2||20.00",
                                 "9|V|a1|b1|90.00",
                                 "10|V|a1|b2|20.00",
                                 "11|V|a1||110.00",
                                 "12|V|a2|(ПУСТО)|160.00",
                                 "13|V|a2|b1|40.00",
                                 "14|V|a2||200.00",
                                 "15|Итог|||31.00",
                                 "16|V|||310.00",
                             }));
}

TEST(Cells, TextsWithTwoDataFieldsOnTheColumns) {
    FormatSettingsScope fs(Plain());
    Pivot p = Sample();
    p.grid.DataPlace = 1;
    p.Config({"A"}, {"G"}, {"Q", "V"});
    // Caption row: "Данные" then G on the first two visible data columns. The data-caption row
    // lists the field of each column, "Итог" standing over the first total column; the spare
    // column (hidden) stays empty.
    EXPECT_EQ(Texts(p.grid), (std::vector<std::string>{
                                 "|1|2|3|4|5|6|7|8",
                                 "1||Данные|G|||||",
                                 "2||Q|Q|V|V|Итог|V|",
                                 "3|A|g1|g2|g1|g2|||",
                                 "4|a1|1.00|10.00|10.00|100.00|11.00|110.00|",
                                 "5|a2|20.00||200.00||20.00|200.00|",
                                 "6|Итог|21.00|10.00|210.00|100.00|31.00|310.00|",
                             }));
}

TEST(Cells, StylesOfTheCellKinds) {
    FormatSettingsScope fs(Plain());
    Pivot p = Sample();
    p.Config({"A", "B"}, {"G"}, {"Q"});
    // Rows 3.. are a1·b1, a1·b2, a1, a2·(null), a2·b1, a2, the total; columns 1 A, 2 B, 3 g1, 4 g2, 5 total.
    struct Case {
        const char* name;
        int col, row;
        TKubrixCellCase kind;
        std::string text;
        TKubrixCellBack back;
        TKubrixCellInk ink;
        bool italic, button;
        TKubrixCellAlign align;
    } cases[] = {
        {"corner", 0, 0, TKubrixCellCase::Corner, "", TKubrixCellBack::Silver, TKubrixCellInk::Normal, false, false,
         TKubrixCellAlign::Left},
        {"row number", 0, 5, TKubrixCellCase::RowNumber, "5", TKubrixCellBack::Numbers, TKubrixCellInk::White, false,
         false, TKubrixCellAlign::Center},
        {"column number", 3, 0, TKubrixCellCase::ColNumber, "3", TKubrixCellBack::Numbers, TKubrixCellInk::White,
         false, false, TKubrixCellAlign::Center},
        {"vertical caption", 2, 2, TKubrixCellCase::VertCaption, "B", TKubrixCellBack::Silver,
         TKubrixCellInk::Normal, false, true, TKubrixCellAlign::Left},
        {"horizontal caption", 3, 1, TKubrixCellCase::HorzCaption, "G", TKubrixCellBack::Silver,
         TKubrixCellInk::Normal, false, true, TKubrixCellAlign::Left},
        {"group value on its first line", 1, 3, TKubrixCellCase::VertValue, "a1", TKubrixCellBack::Base,
         TKubrixCellInk::Normal, false, false, TKubrixCellAlign::Left},
        {"group value repeated", 1, 4, TKubrixCellCase::VertValue, "a1", TKubrixCellBack::Base,
         TKubrixCellInk::Silver, false, false, TKubrixCellAlign::Left},
        {"group value on its subtotal line", 1, 5, TKubrixCellCase::VertValue, "a1", TKubrixCellBack::Base,
         TKubrixCellInk::Normal, true, false, TKubrixCellAlign::Left},
        {"deeper column of a subtotal line", 2, 5, TKubrixCellCase::VertValue, "", TKubrixCellBack::Base,
         TKubrixCellInk::Silver, false, false, TKubrixCellAlign::Left},
        {"null value", 2, 6, TKubrixCellCase::VertValue, "(ПУСТО)", TKubrixCellBack::Base, TKubrixCellInk::Normal,
         false, false, TKubrixCellAlign::Left},
        {"data", 3, 3, TKubrixCellCase::Data, "1.00", TKubrixCellBack::Base, TKubrixCellInk::Normal, false, false,
         TKubrixCellAlign::Right},
        {"data without records", 3, 4, TKubrixCellCase::Data, "", TKubrixCellBack::Base, TKubrixCellInk::Normal,
         false, false, TKubrixCellAlign::Right},
        {"total", 5, 9, TKubrixCellCase::Total, "31.00", TKubrixCellBack::Base, TKubrixCellInk::Normal, false,
         false, TKubrixCellAlign::Right},
        {"total label", 1, 9, TKubrixCellCase::TotalRowLabel, "Итог", TKubrixCellBack::Base,
         TKubrixCellInk::Normal, false, false, TKubrixCellAlign::Left},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TKubrixCell cell = p.grid.CellInfo(c.col, c.row);
        EXPECT_EQ(cell.Case, c.kind);
        EXPECT_EQ(cell.Text, c.text);
        EXPECT_EQ(cell.Back, c.back);
        EXPECT_EQ(cell.Ink, c.ink);
        EXPECT_EQ(cell.Italic, c.italic);
        EXPECT_EQ(cell.FilterButton, c.button);
        EXPECT_EQ(cell.Align, c.align);
    }
    EXPECT_EQ(GetBtnRect({10, 20, 74, 38}), (TKubrixRect{63, 21, 73, 31}));
}

TEST(Cells, CollapsedGroupShowsItsValueAndSums) {
    FormatSettingsScope fs(Plain());
    Pivot p = Sample();
    p.Config({"A", "B"}, {"G"}, {"Q"});
    p.grid.RevertExpandedStateX(1, 3, true);  // collapse a1 from its first line
    // The representative line: a1 down to the collapsed level, nothing deeper, a1's sums.
    EXPECT_EQ(p.grid.GetEditText(1, 3), "a1");
    EXPECT_EQ(p.grid.GetEditText(2, 3), "");
    EXPECT_EQ(p.grid.GetEditText(3, 3), "1.00");
    EXPECT_EQ(p.grid.GetEditText(4, 3), "10.00");
    EXPECT_EQ(p.grid.GetEditText(5, 3), "11.00");
    EXPECT_EQ(p.grid.Geometry().Rows().Size(4), 0);
    EXPECT_EQ(p.grid.Geometry().Rows().Size(5), 0);
}

TEST(Cells, NoVerticalFieldsPutsTheTotalLabelInTheLastFixedRow) {
    FormatSettingsScope fs(Plain());
    Pivot p = Sample();
    p.Config({}, {"G"}, {"Q"});
    const TKubrixDims d = p.grid.Dims();
    EXPECT_EQ(p.grid.GetEditText(1, d.FixedRows - 1), "Итог");
    EXPECT_EQ(p.grid.GetEditText(d.FixedCols, d.RowCount - 1), "21.00");
}
