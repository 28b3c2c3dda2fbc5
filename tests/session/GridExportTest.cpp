// The headless export of the visible grid, on the bare model with the session.

#include <gtest/gtest.h>

#include <sstream>

#include "testsupport/OdbcTestEnv.h"
#include "session/GridExport.h"
#include "session/KubrixSession.h"
#include "support/FormatSettings.h"

namespace kubrix::test {
namespace {

struct ExportCase {
    const char* name;
    const char* x;
    const char* y;
    const char* d;
    bool numbers;
    TExportFormat format;
    std::string expected;
};

TEST(GridExport, WritesTheVisibleGrid) {
    TempSqliteDb db;
    FillSales(db.ConnStr());
    // Numbers as under LC_ALL=C: a point and no thousands separator.
    FormatSettings plain;
    plain.DecimalSeparator = '.';
    plain.ThousandSeparator.clear();
    FormatSettingsScope scope(plain);

    TQelKubrix grid;
    TKubrixSession session(grid);
    session.Connect(db.ConnStr());
    const ExportCase cases[] = {
        {"regions by years, CSV", "region;", "year;", "amount;", false, TExportFormat::Csv,
         // A record with a NULL amount still makes its cell, whose sum is 0.
         "amount,year,,\r\n"
         "region,2022,2023,Итог\r\n"
         "Казань,33.75,0.00,33.75\r\n"
         "Москва,100.25,1200.50,1300.75\r\n"
         "Итог,134.00,1200.50,1334.50\r\n"},
        {"numbers kept, two levels, aligned text", "region;manager;", "", "amount;", true, TExportFormat::Text,
         "   1       2        3\n"
         "1  amount           Итог\n"
         "2  region  manager\n"
         "3  Казань  Новиков    33.75\n"
         "4  Казань             33.75\n"
         "5  Москва  Иванов   1100.25\n"
         "6  Москва  Петрова   200.50\n"
         "7  Москва           1300.75\n"
         "8  Итог             1334.50\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        session.SetSQL("SELECT region, manager, year, amount FROM sales");
        session.Config(c.x, c.y, c.d, "X", 0);
        std::ostringstream out;
        WriteGrid(grid, {c.format, c.numbers}, out);
        EXPECT_EQ(out.str(), c.expected);
    }
}

TEST(GridExport, CsvQuotesWhatNeedsIt) {
    TempSqliteDb db;
    {
        auto c = Connect(db.ConnStr());
        Exec(*c, "CREATE TABLE t (name VARCHAR(40), qty INTEGER)");
        Exec(*c, "INSERT INTO t VALUES ('a,b', 1)");
        Exec(*c, "INSERT INTO t VALUES ('say \"hi\"', 2)");
    }
    TQelKubrix grid;
    TKubrixSession session(grid);
    session.Connect(db.ConnStr());
    session.SetSQL("SELECT name, qty FROM t");
    session.Config("name;", "", "qty;", "X", 0);
    std::ostringstream out;
    WriteGrid(grid, {TExportFormat::Csv, false}, out);
    EXPECT_NE(out.str().find("\"a,b\","), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"say \"\"hi\"\"\","), std::string::npos) << out.str();
}

}  // namespace
}  // namespace kubrix::test
