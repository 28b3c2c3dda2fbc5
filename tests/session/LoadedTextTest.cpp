// A pivot over rows loaded from SQLite, whose declared text widths are not enforced.

#include <gtest/gtest.h>
#include <string>

#include "pivot/PivotFixture.h"
#include "testsupport/OdbcTestEnv.h"
#include "dataset/ClientRecordSource.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCConnection.h"
#include "pivot/Kubrix.h"
#include "support/ScopeGuard.h"

namespace kubrix::testing {
namespace {

// 'abcdefgh' and 'abcdexyz' in a varchar(5) are two values with their own sums, never one
// "abcde" holding both.
TEST(LoadedText, ValuesLongerThanDeclaredKeepTheirOwnSums) {
    FormatSettingsScope fs(Plain());
    test::TempSqliteDb db;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = db.ConnStr();
    connection.Execute("create table t (name varchar(5), v integer)");
    connection.Execute("insert into t values ('abcdefgh', 1), ('abcdexyz', 2), ('Жёлтый цвет', 4)");
    TQelODBCClient ds;
    ds.SetConnection(&connection);
    ds.SetSQL_Select("select name, v from t");
    TClientRecordSource source(ds);
    TQelKubrix grid;
    grid.SetRecordSource(&source);
    ds.Open();
    {
        UpdateBracket closeGrid(grid);
        UpdateBracket closeData(grid.DataFields);
        UpdateBracket closeX(grid.XAxis);
        UpdateBracket closeY(grid.YAxis);
        grid.XAxis.Add("name");
        grid.DataFields.Add("v");
    }
    ASSERT_EQ(grid.XAxis.RowCount(), 3);
    const struct { int row; const char* name; const char* sum; } cases[] = {
        {0, "abcdefgh", "1.00"},
        {1, "abcdexyz", "2.00"},
        {2, "Жёлтый цвет", "4.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TOLAPNode* node = grid.XAxis.Rows[static_cast<std::size_t>(c.row)];
        EXPECT_EQ(grid.XAxis.LevelField(node->Level)->ValueToText(node->Entry->Buffer()), c.name);
        std::string text;
        grid.DataFields.DataText(c.row, grid.YAxis.RowCount(), text, 0);
        EXPECT_EQ(text, c.sum);
    }
    grid.SetRecordSource(nullptr);
}

}  // namespace
}  // namespace kubrix::testing
