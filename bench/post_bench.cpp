// Posts single-row edits to PostgreSQL through the in-memory dataset, each in its own
// transaction, and sends the same updates with a bare ODBC loop over one prepared statement
// (autocommit: each execution its own transaction). Prints rows per second of both and their
// ratio. Needs the server of scripts/pg-start.sh: KUBRIX_PG_CONNSTR names it.
//
// Usage: post_bench [rows]   (default 10000)

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The same updates as prepared statement executions, one per row.
double BareLoop(const std::string& connStr, int rows, int base) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLPrepare(st, (SQLCHAR*)"update bench_post set qty = ? where id = ?", SQL_NTS);
    SQLINTEGER qty = 0, id = 0;
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &qty, 0, nullptr);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rows; ++i) {
        id = i + 1;
        qty = base + i;
        if (!SQL_SUCCEEDED(SQLExecute(st))) {
            std::fprintf(stderr, "bare update failed at row %d\n", i);
            std::exit(1);
        }
    }
    double s = Seconds(start);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const char* connStr = std::getenv("KUBRIX_PG_CONNSTR");
    if (!connStr || !*connStr) {
        std::fprintf(stderr, "post_bench: KUBRIX_PG_CONNSTR is not set (start a server with scripts/pg-start.sh)\n");
        return 2;
    }
    try {
        TQelODBCConnection connection;
        connection.LoginPromt = false;
        connection.ConnectionString = connStr;
        connection.Execute("drop table if exists bench_post");
        connection.Execute("create table bench_post (id integer primary key, name varchar(40), qty integer)");
        connection.Execute("insert into bench_post select g, 'товар ' || g, 0 from generate_series(1, " +
                           std::to_string(rows) + ") g");

        TQelODBCClient ds;
        ds.SetConnection(&connection);
        ds.SetSQL_Select("select id, name, qty from bench_post order by id");
        IODBCField* qtyField = AsODBCField(ds.FieldByName("qty"));
        qtyField->SetTableName("bench_post");
        qtyField->SetUpdate_ValueScript("qty=:qty");
        qtyField->SetUpdate_KeyScript("id=:OLD_id");
        ds.Update_mask = kUpdateMaskPlain;
        ds.Update_CheckRowCount = true;
        ds.Open();
        TField* qty = ds.FieldByName("qty");

        // Warm both paths up (connections, plans), then measure each once.
        BareLoop(connStr, 100, -1);
        auto start = std::chrono::steady_clock::now();
        ds.First();
        for (int i = 0; i < rows; ++i) {
            ds.Edit();
            qty->SetAsInteger(i + 1);
            ds.Post();
            ds.Next();
        }
        const double dataset = Seconds(start);
        const double bare = BareLoop(connStr, rows, 1000000);
        std::printf("rows %d\n", rows);
        std::printf("dataset posts: %.3f s, %.0f rows/s\n", dataset, rows / dataset);
        std::printf("bare prepared loop: %.3f s, %.0f rows/s\n", bare, rows / bare);
        std::printf("ratio dataset/bare: %.2f\n", dataset / bare);
        connection.Execute("drop table bench_post");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "post_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
