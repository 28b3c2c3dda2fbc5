#pragma once
// A dataset on a fresh SQLite file through the real driver, given no select yet.

#include "dataset/QelODBCClient.h"
#include "testsupport/OdbcTestEnv.h"

namespace kubrix::test {

struct SqliteDataset {
    TempSqliteDb file;
    TQelODBCConnection connection;
    TComponent owner;
    TQelODBCClient* ds = new TQelODBCClient(&owner);
    SqliteDataset() {
        connection.LoginPromt = false;
        connection.ConnectionString = file.ConnStr();
        ds->SetConnection(&connection);
    }
};

}  // namespace kubrix::test
