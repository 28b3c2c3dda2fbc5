// The pivot grid's interaction in the model: which menu a cell opens, the menu commands, the
// double click (toggle, drill-down), the editor and value filter entry points, the hint rule.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pivot/PivotFixture.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

using Strings = std::vector<std::string>;
using Records = std::optional<std::vector<std::int32_t>>;

// A: a1 on records 0, 1, 3; a2 on 2, 4. G: g1 on 0, 2, 4; g2 on 1, 3.
Pivot Sample() {
    return Pivot({{"A", ftString, 5}, {"B", ftString, 5}, {"G", ftString, 5}, {"Q", ftInteger}, {"V", ftInteger}},
                 {{S("a1"), S("b1"), S("g1"), I(1), I(10)},
                  {S("a1"), S("b2"), S("g2"), I(2), I(20)},
                  {S("a2"), S("b1"), S("g1"), I(4), I(40)},
                  {S("a1"), S("b1"), S("g2"), I(8), I(80)},
                  {S("a2"), N(), S("g1"), I(16), I(160)}});
}

// The shown vertical lines' texts in the A and B columns ("a1/b1"; "/" for the total row).
Strings ShownLines(Pivot& p) {
    Strings out;
    const TGridAxis& rows = p.grid.Geometry().Rows();
    for (int r = rows.FixedCount(); r < rows.Count(); ++r) {
        if (rows.Visible(r)) out.push_back(p.grid.GetEditText(1, r) + "/" + p.grid.GetEditText(2, r));
    }
    return out;
}

// A model whose view entry points record what they were asked.
class EntryPoints : public CountingKubrix {
public:
    int Editors = 0;
    std::string FilterField;
    std::vector<Records> DrillDowns;

protected:
    void EditGrid() override { ++Editors; }
    void ShowValueFilter(TQelOLAPField& field, int, int) override { FilterField = field.FieldName; }
    void ApplyDrillDown(const Records& records) override { DrillDowns.push_back(records); }
};

}  // namespace

// Layout used below (A, B vertical; G horizontal; Q): fixed columns 0 numbers, 1 A, 2 B; fixed
// rows 0 numbers, 1 captions, 2 G values; rows 3.. a1·b1, a1·b2, a1, a2·null, a2·b1, a2, total;
// columns 3 g1, 4 g2, 5 total.

TEST(Commands, MenuOfACell) {
    struct Case {
        const char* name;
        int dataFields, col, row;
        TKubrixMenu menu;
    } cases[] = {
        {"vertical caption of the second field", 1, 2, 2, TKubrixMenu::Caption},
        {"horizontal caption", 1, 3, 1, TKubrixMenu::Caption},
        {"data cell", 1, 3, 3, TKubrixMenu::Data},
        {"total cell", 1, 5, 9, TKubrixMenu::Data},
        {"row number", 1, 0, 4, TKubrixMenu::None},
        {"axis value", 1, 1, 4, TKubrixMenu::None},
        {"corner", 1, 0, 0, TKubrixMenu::None},
        // With two data fields on the rows column 1 is the data-caption column: "Данные".
        {"data caption", 2, 1, 2, TKubrixMenu::None},
        {"vertical caption beside the data caption", 2, 2, 2, TKubrixMenu::Caption},
        {"outside the grid", 1, 50, 50, TKubrixMenu::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        p.Config({"A", "B"}, {"G"}, c.dataFields == 1 ? Strings{"Q"} : Strings{"Q", "V"});
        p.grid.MenuRow = p.grid.MenuCol = -7;
        EXPECT_EQ(p.grid.OpenMenuAt(c.col, c.row), c.menu);
        const bool opened = c.menu != TKubrixMenu::None;
        EXPECT_EQ(p.grid.MenuRow, opened ? c.row : -7);
        EXPECT_EQ(p.grid.MenuCol, opened ? c.col : -7);
    }
    int caption = 0, data = 0;
    for (const TKubrixMenuItem& item : KubrixMenuItems()) (item.Tag == TKubrixMenu::Caption ? caption : data)++;
    EXPECT_EQ(caption, 8);
    EXPECT_EQ(data, 5);
    EXPECT_STREQ(KubrixMenuItems()[0].Caption, "Свернуть все");
    EXPECT_STREQ(KubrixMenuItems().back().Caption, "Упорядочить по убыванию - горизонтально");
}

TEST(Commands, CaptionCommandsChangeTheLayout) {
    struct Case {
        const char* name;
        std::vector<TKubrixCommand> commands;
        Strings shown;
    } cases[] = {
        {"collapse all", {TKubrixCommand::CollapseAll}, {"a1/", "a2/", "Итог/"}},
        {"collapse then expand all",
         {TKubrixCommand::CollapseAll, TKubrixCommand::ExpandAll},
         {"a1/b1", "a1/b2", "a1/", "a2/(ПУСТО)", "a2/b1", "a2/", "Итог/"}},
        {"hide totals", {TKubrixCommand::HideTotal}, {"a1/b1", "a1/b2", "a2/(ПУСТО)", "a2/b1", "Итог/"}},
        {"hide then show totals",
         {TKubrixCommand::HideTotal, TKubrixCommand::ShowTotal},
         {"a1/b1", "a1/b2", "a1/", "a2/(ПУСТО)", "a2/b1", "a2/", "Итог/"}},
        {"sort down", {TKubrixCommand::SortDown}, {"a2/(ПУСТО)", "a2/b1", "a2/", "a1/b1", "a1/b2", "a1/", "Итог/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        p.Config({"A", "B"}, {"G"}, {"Q"});
        ASSERT_EQ(p.grid.OpenMenuAt(1, 2), TKubrixMenu::Caption);  // the caption of A
        for (TKubrixCommand command : c.commands) p.grid.RunCommand(command);
        EXPECT_EQ(ShownLines(p), c.shown);
    }
}

TEST(Commands, OrderingByOwnValuesEndsTheDataOrdering) {
    Pivot p = Sample();
    p.Config({"A", "B"}, {"G"}, {"Q"});
    ASSERT_EQ(p.grid.OpenMenuAt(5, 3), TKubrixMenu::Data);  // the row total column
    p.grid.RunCommand(TKubrixCommand::SortDownDataV);       // a2 (20) before a1 (11)
    EXPECT_TRUE(p.grid.VDataOrderBy.IsArray());
    EXPECT_EQ(ShownLines(p), (Strings{"a2/(ПУСТО)", "a2/b1", "a2/", "a1/b1", "a1/b2", "a1/", "Итог/"}));
    ASSERT_EQ(p.grid.OpenMenuAt(1, 2), TKubrixMenu::Caption);  // the caption of A
    p.grid.RunCommand(TKubrixCommand::SortUp);
    EXPECT_FALSE(p.grid.VDataOrderBy.IsArray());
    const Strings valueOrder{"a1/b1", "a1/b2", "a1/", "a2/(ПУСТО)", "a2/b1", "a2/", "Итог/"};
    EXPECT_EQ(ShownLines(p), valueOrder);
    p.grid.BeginUpdate();  // a later refresh no longer re-applies the data ordering
    p.grid.EndUpdate();
    EXPECT_EQ(ShownLines(p), valueOrder);
}

TEST(Commands, DrillDownRecordsOfACell) {
    struct Case {
        const char* name;
        bool collapseA1;
        int col, row;
        Records records;
    } cases[] = {
        {"detail cell", false, 4, 3, std::vector<std::int32_t>{3}},
        {"row total of a group, in the row's record order", false, 5, 5, std::vector<std::int32_t>{0, 3, 1}},
        {"column total", false, 3, 9, std::vector<std::int32_t>{0, 2, 4}},
        {"grand total", false, 5, 9, std::nullopt},
        {"cell without records", false, 3, 4, std::vector<std::int32_t>{}},
        {"collapsed group's line stands for the group", true, 4, 3, std::vector<std::int32_t>{3, 1}},
        {"header cell", false, 1, 3, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        p.Config({"A", "B"}, {"G"}, {"Q"});
        if (c.collapseA1) p.grid.RevertExpandedStateX(1, 3, true);
        EXPECT_EQ(p.grid.DrillDownRecords(c.col, c.row), c.records);
    }
}

TEST(Commands, EntryPointsForTheView) {
    TQelODBCClient ds;
    TDataSource source;
    EntryPoints grid;
    ds.FieldDefs().Add("A", ftString, 5);
    ds.FieldDefs().Add("G", ftString, 5);
    ds.FieldDefs().Add("Q", ftInteger, 0);
    source.SetDataSet(&ds);
    grid.SetDataSource(&source);
    ds.Open();
    for (auto [a, g, q] : {std::tuple{"a1", "g1", 1}, {"a2", "g1", 2}, {"a1", "g2", 4}}) {
        ds.AddRecord();
        const int i = ds.RealRecordCount() - 1;
        ds.SetFieldValueInBuffer(ds.Fields()[0], i, S(a));
        ds.SetFieldValueInBuffer(ds.Fields()[1], i, S(g));
        ds.SetFieldValueInBuffer(ds.Fields()[2], i, I(q));
    }
    grid.BeginUpdate();
    grid.XAxis.Add("A");
    grid.YAxis.Add("G");
    grid.DataFields.Add("Q");
    grid.EndUpdate();
    // Columns: 0 numbers, 1 A, 2 g1, 3 g2, 4 total; rows: 0 numbers, 1 captions, 2 G values, 3 a1, 4 a2, 5 total.
    grid.CellPressed(0, 0);
    grid.CellPressed(1, 1);
    EXPECT_EQ(grid.Editors, 1);
    grid.CanEditGrid = false;
    grid.CellPressed(0, 0);
    EXPECT_EQ(grid.Editors, 1);

    EXPECT_TRUE(grid.FilterButtonPressed(1, 2));
    EXPECT_EQ(grid.FilterField, "A");
    EXPECT_TRUE(grid.FilterButtonPressed(2, 1));
    EXPECT_EQ(grid.FilterField, "G");
    EXPECT_FALSE(grid.FilterButtonPressed(2, 3));

    grid.CellDoubleClicked(2, 3);  // a1 × g1
    grid.CellDoubleClicked(4, 5);  // grand total: every record
    grid.CellDoubleClicked(1, 3);  // a header cell toggles a1 instead
    ASSERT_EQ(grid.DrillDowns.size(), 2u);
    EXPECT_EQ(grid.DrillDowns[0], (Records{std::vector<std::int32_t>{0}}));
    EXPECT_EQ(grid.DrillDowns[1], Records{});
    EXPECT_FALSE(grid.XAxis.Rows[0]->Entry->Expanded);
}

TEST(Commands, HintText) {
    const std::string ya = "я";  // two bytes
    std::string long800, long801;
    for (int i = 0; i < 800; ++i) long800 += ya;
    long801 = long800 + "ж";
    struct Case {
        const char* name;
        std::string text, hint;
    } cases[] = {
        {"empty", "", ""},
        {"blanks and controls trimmed", " \t\r\nИтог \x01", "Итог"},
        {"inner blanks kept", "  a  b ", "a  b"},
        {"800 characters kept whole", long800, long800},
        {"801 characters cut at a character", long801, long800 + "..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HintText(c.text), c.hint);
    }
}
