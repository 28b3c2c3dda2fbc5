// The records behind a cell: the dataset's visible records written out, the drill-down that
// narrows the dataset to a cell's records, and the pivot computing over the full record list
// while the dataset shows a subset.

#include <gtest/gtest.h>

#include <sstream>

#include "testsupport/OdbcTestEnv.h"
#include "session/GridExport.h"
#include "session/KubrixSession.h"
#include "session/RecordsExport.h"
#include "support/FormatSettings.h"

namespace kubrix::test {
namespace {

FormatSettings Plain() {
    FormatSettings plain;
    plain.DecimalSeparator = '.';
    plain.ThousandSeparator.clear();
    return plain;
}

std::string Records(TKubrixSession& s, TExportFormat format = TExportFormat::Csv) {
    std::ostringstream out;
    WriteRecords(s.qData(), format, out);
    return out.str();
}

// Every cell text of the grid, row by row.
std::string Grid(const TQelKubrix& grid) {
    std::ostringstream out;
    WriteGrid(grid, TExportOptions{TExportFormat::Csv, true}, out);
    return out.str();
}

// The grid cell shown at a line and cell of the export without numbers.
std::pair<int, int> CellAt(const TQelKubrix& grid, int line, int cell) {
    int col = -1, row = -1;
    EXPECT_TRUE(VisibleCellAt(grid, false, line, cell, col, row));
    return {col, row};
}

// Sum of the amounts the dataset shows.
double VisibleSum(TKubrixSession& s) {
    double sum = 0;
    TKubrixDataSet& ds = s.qData();
    for (ds.First(); !ds.Eof(); ds.Next()) sum += ds.FieldByName("amount")->IsNull() ? 0 : ds.FieldByName("amount")->AsFloat();
    return sum;
}

TEST(RecordsExport, WritesTheVisibleRecordsInOrder) {
    TempSqliteDb db;
    FillSales(db.ConnStr());
    FormatSettingsScope scope(Plain());
    TQelKubrix grid;
    TKubrixSession session(grid);
    session.Connect(db.ConnStr());
    session.SetSQL("SELECT region, year, amount FROM sales");
    EXPECT_EQ(Records(session),
              "region,year,amount\r\n"
              "Москва,2022,100.25\r\n"
              "Москва,2023,200.5\r\n"
              "Москва,2023,1000\r\n"
              "Казань,2022,33.75\r\n"
              "Казань,2023,\r\n");
    session.qData().SetFilterText("amount > 150 OR amount is null");
    session.qData().SetFiltered(true);
    EXPECT_EQ(Records(session, TExportFormat::Text),
              "region  year  amount\n"
              "Москва  2023   200.5\n"
              "Москва  2023    1000\n"
              "Казань  2023\n");
}

TEST(DrillDown, NarrowsTheDatasetToTheRecordsOfACell) {
    TempSqliteDb db;
    FillSales(db.ConnStr());
    FormatSettingsScope scope(Plain());
    TQelKubrix grid;
    TKubrixSession session(grid);
    session.Connect(db.ConnStr());
    session.SetSQL("SELECT region, manager, year, amount FROM sales");
    session.Config("region;manager;", "year;", "amount;", "X", 0);
    // Without Петрова, whose one record is Москва 2023 200.50.
    for (int i = 0; i < grid.OLAPFields().Count(); ++i) {
        TQelOLAPField& f = grid.OLAPFields().Items(i);
        if (f.FieldName != "manager") continue;
        for (auto& entry : f.Values)
            if (f.ValueToText(entry->Value.data()) == "Петрова") entry->Selected = false;
    }
    grid.UpdateGrid();
    std::ostringstream shown;
    WriteGrid(grid, TExportOptions{}, shown);
    ASSERT_EQ(shown.str(),
              "amount,,year,,\r\n"
              "region,manager,2022,2023,Итог\r\n"
              "Казань,Новиков,33.75,0.00,33.75\r\n"
              "Казань,,33.75,0.00,33.75\r\n"
              "Москва,Иванов,100.25,1000.00,1100.25\r\n"
              "Москва,,100.25,1000.00,1100.25\r\n"
              "Итог,,134.00,1000.00,1134.00\r\n");
    const struct {
        const char* name;
        int line, cell;
        double sum;
        int records;
    } cases[] = {
        {"detail cell", 4, 3, 1000.00, 1},
        {"group total in a column", 5, 3, 1000.00, 1},
        {"row total", 5, 4, 1100.25, 2},
        {"column total", 6, 2, 134.00, 2},
        {"cell with a null amount", 2, 3, 0, 1},
        {"grand total", 6, 4, 1134.00, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [col, row] = CellAt(grid, c.line, c.cell);
        ASSERT_TRUE(session.DrillDownCell(col, row));
        EXPECT_NEAR(VisibleSum(session), c.sum, 1e-9);
        EXPECT_NEAR(std::stod(grid.GetEditText(col, row)), c.sum, 1e-9);
        int count = 0;
        for (session.qData().First(); !session.qData().Eof(); session.qData().Next()) ++count;
        EXPECT_EQ(count, c.records);
    }
    // Header cells are no drill-down.
    const auto [col, row] = CellAt(grid, 2, 0);
    EXPECT_FALSE(session.DrillDownCell(col, row));
}

// Whatever the pivot does after a drill-down computes what it computes without one.
TEST(DrillDown, PivotKeepsTheFullRecordList) {
    TempSqliteDb db;
    FillSales(db.ConnStr());
    FormatSettingsScope scope(Plain());
    TQelKubrix plainGrid, drilledGrid;
    TKubrixSession plain(plainGrid), drilled(drilledGrid);
    for (TKubrixSession* s : {&plain, &drilled}) {
        s->Connect(db.ConnStr());
        s->SetSQL("SELECT region, manager, year, amount FROM sales");
        s->Config("region;", "year;", "amount;", "X", 0);
    }
    const std::string state = plain.GetState();
    const auto [col, row] = CellAt(drilledGrid, 2, 1);
    ASSERT_TRUE(drilled.DrillDownCell(col, row));
    ASSERT_EQ(drilled.qData().RealRecordCount(), 1);

    const struct {
        const char* name;
        std::function<void(TKubrixSession&)> step;
    } steps[] = {
        {"update", [](TKubrixSession& s) { s.ogData().UpdateGrid(); }},
        {"config", [](TKubrixSession& s) { s.Config("region;manager;", "year;", "amount;", "X", 0); }},
        {"collapse all", [](TKubrixSession& s) { s.ogData().RunCommand(TKubrixCommand::CollapseAll, 1, 1); }},
        {"order by data", [](TKubrixSession& s) { s.ogData().SortByData(false, true, nullptr, nullptr, 0, true); }},
        {"state restore", [state](TKubrixSession& s) { s.SetState(state); }},
        {"other axes", [](TKubrixSession& s) { s.Config("manager;", "region;year;", "amount;", "Y", 0); }},
    };
    for (const auto& st : steps) {
        SCOPED_TRACE(st.name);
        st.step(plain);
        st.step(drilled);
        EXPECT_EQ(Grid(drilledGrid), Grid(plainGrid));
        EXPECT_EQ(drilled.qData().RealRecordCount(), 1);
    }
}

}  // namespace
}  // namespace kubrix::test
