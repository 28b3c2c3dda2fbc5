// A pivot over rows loaded from SQLite, whose declared text widths are not enforced.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "pivot/PivotFixture.h"
#include "dataset/DataSource.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCConnection.h"
#include "pivot/Kubrix.h"
#include "support/ScopeGuard.h"

namespace kubrix::testing {
namespace {

// The tests' own driver list, set before any ODBC environment exists.
const bool kOwnDriverList = [] {
    std::string dir;
    if (const char* src = std::getenv("KUBRIX_SOURCE_DIR"); src && *src)
        dir = std::string(src) + "/tests/odbc";
    else
        dir = (std::filesystem::path(__FILE__).parent_path().parent_path() / "odbc").string();
    setenv("ODBCSYSINI", dir.c_str(), 1);
    return true;
}();

// 'abcdefgh' and 'abcdexyz' in a varchar(5) are two values with their own sums, never one
// "abcde" holding both.
TEST(LoadedText, ValuesLongerThanDeclaredKeepTheirOwnSums) {
    (void)kOwnDriverList;
    FormatSettingsScope fs(Plain());
    std::string dir = (std::filesystem::temp_directory_path() / "kubrix-pivot.XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    struct RemoveDir {
        std::string path;
        ~RemoveDir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } removeDir{dir};
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = "Driver=SQLite3;Database=" + dir + "/t.db";
    connection.Execute("create table t (name varchar(5), v integer)");
    connection.Execute("insert into t values ('abcdefgh', 1), ('abcdexyz', 2), ('Жёлтый цвет', 4)");
    TQelODBCClient ds;
    TDataSource source;
    ds.SetConnection(&connection);
    ds.SetSQL_Select("select name, v from t");
    source.SetDataSet(&ds);
    TQelKubrix grid;
    grid.SetDataSource(&source);
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
    grid.SetDataSource(nullptr);
}

}  // namespace
}  // namespace kubrix::testing
