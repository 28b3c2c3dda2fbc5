// The grid's texts as tab-separated lines for the clipboard: a block of cells or the whole grid.

#include <gtest/gtest.h>

#include "session/GridCopy.h"
#include "session/KubrixSession.h"
#include "support/FormatSettings.h"
#include "testsupport/OdbcTestEnv.h"

namespace kubrix::test {
namespace {

TEST(GridCopy, CopiesABlockOrTheWholeGridAsTabSeparatedTexts) {
    TempSqliteDb db;
    {
        auto c = Connect(db.ConnStr());
        Exec(*c, "CREATE TABLE t (name VARCHAR(40), year INTEGER, qty INTEGER)");
        Exec(*c, "INSERT INTO t VALUES ('Юг', 2023, 1)");
        Exec(*c, "INSERT INTO t VALUES ('ООО \"Ромашка\"', 2024, 2)");
        Exec(*c, "INSERT INTO t VALUES ('a' || char(9) || 'b', 2024, 3)");
    }
    FormatSettings plain;
    plain.DecimalSeparator = '.';
    plain.ThousandSeparator.clear();
    FormatSettingsScope scope(plain);
    TQelKubrix grid;
    TKubrixSession session(grid);
    session.Connect(db.ConnStr());
    session.SetSQL("SELECT name, year, qty FROM t");
    session.Config("name;", "year;", "qty;", "X", 0);
    // Row and column 0 hold the line numbers; the names run down column 1 from row 3.
    struct CopyCase {
        const char* name;
        TCellBlock block;
        const char* expected;
    };
    const CopyCase cases[] = {
        {"one cell", {1, 3, 1, 3}, "\"a\tb\"\n"},
        {"two names with their sums by year, quotes doubled", {1, 4, 3, 5},
         "\"ООО \"\"Ромашка\"\"\"\t\t2.00\nЮг\t1.00\t\n"},
        {"a block past the grid is cut to it", {4, 6, 99, 99}, "6.00\n"},
        {"a block wholly outside copies nothing", {50, 50, 60, 60}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CellsAsTabText(grid, c.block), c.expected);
    }
    // Without a block: every shown cell as the export writes it, the number lines left out.
    EXPECT_EQ(GridAsTabText(grid),
              "qty\tyear\t\t\n"
              "name\t2023\t2024\tИтог\n"
              "\"a\tb\"\t\t3.00\t3.00\n"
              "\"ООО \"\"Ромашка\"\"\"\t\t2.00\t2.00\n"
              "Юг\t1.00\t\t1.00\n"
              "Итог\t1.00\t5.00\t6.00\n");
}

}  // namespace
}  // namespace kubrix::test
