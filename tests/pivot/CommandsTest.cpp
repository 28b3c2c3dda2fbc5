// The pivot grid's interaction in the model: which menu a cell opens, the menu commands, the
// double click (toggle, drill-down), the presses that ask the owner for the report editor and the
// value filter, the hint rule.
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

// An owner of the model that records what the input asked of it.
class Requests : public IKubrixListener {
public:
    int Shown = 0;
    int Editors = 0;
    std::string FilterField;
    std::vector<Records> DrillDowns;

    void KubrixShown(TQelKubrix&) override { ++Shown; }
    void KubrixEditGrid(TQelKubrix&) override { ++Editors; }
    void KubrixValueFilter(TQelKubrix&, TQelOLAPField& field, int, int) override { FilterField = field.FieldName; }
    void KubrixDrillDown(TQelKubrix&, const Records& records) override { DrillDowns.push_back(records); }
};

// The sum of a data field over records, read from the dataset.
double SumOf(Pivot& p, const std::vector<std::int32_t>& records, int column) {
    double sum = 0;
    Variant v;
    for (std::int32_t r : records) {
        p.ds.GetFieldValueFromBuffer(p.ds.Fields()[static_cast<std::size_t>(column)], r, v);
        sum += v.IsEmptyOrNull() ? 0.0 : v.ToDouble();
    }
    return sum;
}

// Filters a value of a field out (by its text) and lays the grid out again.
void Deselect(Pivot& p, const std::string& field, const std::string& text) {
    TQelOLAPField& f = p.Field(field);
    for (auto& e : f.Values) {
        if (f.ValueToText(e->Buffer()) == text) e->Selected = false;
    }
    p.grid.UpdateGrid();
}

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
        EXPECT_EQ(p.grid.MenuAt(c.col, c.row), c.menu);
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
        ASSERT_EQ(p.grid.MenuAt(1, 2), TKubrixMenu::Caption);  // the caption of A
        for (TKubrixCommand command : c.commands) p.grid.RunCommand(command, 1, 2);
        EXPECT_EQ(ShownLines(p), c.shown);
    }
}

TEST(Commands, OrderingByOwnValuesEndsTheDataOrdering) {
    Pivot p = Sample();
    p.Config({"A", "B"}, {"G"}, {"Q"});
    ASSERT_EQ(p.grid.MenuAt(5, 3), TKubrixMenu::Data);  // the row total column
    p.grid.RunCommand(TKubrixCommand::SortDownDataV, 5, 3);  // a2 (20) before a1 (11)
    EXPECT_TRUE(p.grid.VDataOrderBy.IsArray());
    EXPECT_EQ(ShownLines(p), (Strings{"a2/(ПУСТО)", "a2/b1", "a2/", "a1/b1", "a1/b2", "a1/", "Итог/"}));
    ASSERT_EQ(p.grid.MenuAt(1, 2), TKubrixMenu::Caption);  // the caption of A
    p.grid.RunCommand(TKubrixCommand::SortUp, 1, 2);
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

// With two data fields and the data fields outermost, the lines past the data lines are the
// totals of each data field in turn: ordering by one of them, and drilling down from it, uses the
// root with that data field. Q and V order the other axis in opposite ways.
TEST(Commands, TotalLinesOfSeveralDataFields) {
    struct Case {
        const char* name;
        std::uint8_t dataPlace;
        TKubrixCommand command;
        int col, row;
        int dataIndex;
        Strings order;  // the ordered axis's values
    } cases[] = {
        // Rows: 3, 4 Q of a1, a2; 5, 6 V of a1, a2; 7 Q total, 8 V total. Columns: 3 g1, 4 g2, 5 total.
        {"columns by the total line of Q", 0, TKubrixCommand::SortUpDataG, 3, 7, 0, {"g2", "g1"}},
        {"columns by the total line of V", 0, TKubrixCommand::SortUpDataG, 3, 8, 1, {"g1", "g2"}},
        {"columns by the total line of V, descending", 0, TKubrixCommand::SortDownDataG, 5, 8, 1, {"g2", "g1"}},
        // Columns: 2, 3 Q of g1, g2; 4, 5 V of g1, g2; 6 Q total, 7 V total. Rows: 4 a1, 5 a2, 6 total.
        {"rows by the total column of Q", 1, TKubrixCommand::SortDownDataV, 6, 4, 0, {"a2", "a1"}},
        {"rows by the total column of V", 1, TKubrixCommand::SortDownDataV, 7, 4, 1, {"a1", "a2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p({{"A", ftString, 5}, {"G", ftString, 5}, {"Q", ftInteger}, {"V", ftInteger}},
                {{S("a1"), S("g1"), I(1), I(10)},
                 {S("a1"), S("g2"), I(2), I(20)},
                 {S("a2"), S("g1"), I(4), I(40)},
                 {S("a1"), S("g2"), I(8), I(80)},
                 {S("a2"), S("g1"), I(16), I(-200)}});
        p.grid.DataPlace = c.dataPlace;
        p.Config({"A"}, {"G"}, {"Q", "V"});
        ASSERT_EQ(p.grid.MenuAt(c.col, c.row), TKubrixMenu::Data);
        int dataIndex = -1;
        const int place = c.dataPlace;  // the axis whose line is a total
        EXPECT_EQ(p.grid.LineNode(place, place == 0 ? c.row : c.col, dataIndex),
                  (place == 0 ? p.grid.XAxis : p.grid.YAxis).Root.get());
        EXPECT_EQ(dataIndex, c.dataIndex);
        p.grid.RunCommand(c.command, c.col, c.row);
        const bool horizontal = c.command == TKubrixCommand::SortUpDataG || c.command == TKubrixCommand::SortDownDataG;
        EXPECT_EQ(p.RowPaths(horizontal ? p.grid.YAxis : p.grid.XAxis), c.order);
        const Variant& stored = horizontal ? p.grid.GDataOrderBy : p.grid.VDataOrderBy;
        ASSERT_TRUE(stored.IsArray());
        EXPECT_EQ(stored.GetElement(stored.LowBound() + 3).ToInt32(), c.dataIndex);
    }
}

TEST(Commands, DrillDownFromTheTotalLinesOfSeveralDataFields) {
    Pivot p = Sample();
    p.Config({"A"}, {"G"}, {"Q", "V"});
    // Rows: 3, 4 Q of a1, a2; 5, 6 V of a1, a2; 7 Q total, 8 V total. Columns: 3 g1, 4 g2, 5 total.
    EXPECT_EQ(p.grid.DrillDownRecords(3, 8), (Records{std::vector<std::int32_t>{0, 2, 4}}));
    EXPECT_EQ(p.grid.DrillDownRecords(4, 7), (Records{std::vector<std::int32_t>{1, 3}}));
    EXPECT_EQ(p.grid.DrillDownRecords(5, 8), Records{});
    EXPECT_EQ(p.grid.DrillDownRecords(3, 6), (Records{std::vector<std::int32_t>{2, 4}}));
}

// The records behind a cell are exactly those its sum adds up, whatever value is filtered out.
TEST(Commands, DrillDownLeavesOutFilteredValues) {
    struct Case {
        const char* name;
        const char* field;
        const char* value;
        int col, row;
        std::vector<std::int32_t> records;
    } cases[] = {
        {"vertical value out, group's row total", "B", "b2", 5, 5, {0, 3}},
        {"horizontal value out, group's row total, in the row's record order", "G", "g1", 5, 5, {3, 1}},
        {"vertical value out, column total", "B", "b2", 4, 9, {3}},
        {"vertical value out, grand total", "B", "b2", 5, 9, {0, 2, 3, 4}},
        {"horizontal value out, grand total", "G", "g2", 5, 9, {0, 2, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sample();
        p.Config({"A", "B"}, {"G"}, {"Q"});
        Deselect(p, c.field, c.value);
        const Records records = p.grid.DrillDownRecords(c.col, c.row);
        ASSERT_TRUE(records.has_value());
        EXPECT_EQ(*records, c.records);
        int d = 0;
        double cell = 0;
        ASSERT_TRUE(p.grid.DataFields.DataValue(p.grid.LineNode(0, c.row, d), p.grid.LineNode(1, c.col, d), cell, 0));
        EXPECT_EQ(SumOf(p, *records, 3), cell);
    }
}

TEST(Commands, InputAsksTheOwner) {
    Pivot p({{"A", ftString, 5}, {"G", ftString, 5}, {"Q", ftInteger}},
            {{S("a1"), S("g1"), I(1)}, {S("a2"), S("g1"), I(2)}, {S("a1"), S("g2"), I(4)}});
    Requests first, second;
    p.grid.AddListener(&first);
    p.grid.AddListener(&second);
    p.grid.AddListener(&first);  // once only
    p.Config({"A"}, {"G"}, {"Q"});
    EXPECT_EQ(first.Shown, 1);
    EXPECT_EQ(second.Shown, 1);
    // Columns: 0 numbers, 1 A, 2 g1, 3 g2, 4 total; rows: 0 numbers, 1 captions, 2 G values, 3 a1, 4 a2, 5 total.
    p.grid.CellPressed(0, 0);
    p.grid.CellPressed(1, 1);
    EXPECT_EQ(first.Editors, 1);
    p.grid.CanEditGrid = false;
    p.grid.CellPressed(0, 0);
    EXPECT_EQ(first.Editors, 1);

    // A cell 64 wide and 18 high: its filter button spans x 53..63, y 1..11.
    const TKubrixRect cell{0, 0, 64, 18};
    struct Press {
        const char* name;
        int col, row, x, y;
        const char* field;  // nullptr: the press is not the button's
    } presses[] = {
        {"vertical caption's button", 1, 2, 58, 5, "A"},
        {"its edge", 1, 2, 53, 11, "A"},
        {"beside the button", 1, 2, 20, 5, nullptr},
        {"horizontal caption's button", 2, 1, 60, 2, "G"},
        {"a data cell", 2, 3, 58, 5, nullptr},
    };
    for (const Press& c : presses) {
        SCOPED_TRACE(c.name);
        first.FilterField.clear();
        EXPECT_EQ(p.grid.OnFilterButton(c.col, c.row, cell, c.x, c.y), c.field != nullptr);
        EXPECT_EQ(p.grid.FilterButtonPressed(c.col, c.row, cell, c.x, c.y), c.field != nullptr);
        EXPECT_EQ(first.FilterField, c.field ? c.field : "");
    }

    p.grid.RemoveListener(&second);
    p.grid.CellDoubleClicked(2, 3);  // a1 × g1
    p.grid.CellDoubleClicked(4, 5);  // grand total: every record
    const int shown = first.Shown;
    p.grid.CellDoubleClicked(1, 3);  // a header cell toggles a1 instead, and shows it
    ASSERT_EQ(first.DrillDowns.size(), 2u);
    EXPECT_EQ(first.DrillDowns[0], (Records{std::vector<std::int32_t>{0}}));
    EXPECT_EQ(first.DrillDowns[1], Records{});
    EXPECT_FALSE(p.grid.XAxis.Rows[0]->Entry->Expanded);
    EXPECT_EQ(first.Shown, shown + 1);
    EXPECT_TRUE(second.DrillDowns.empty());
    p.grid.RemoveListener(&first);
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
