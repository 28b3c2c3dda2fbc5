// Loads 1,000,000 rows of 8 mixed columns from an SQLite file through the in-memory dataset,
// and times a bare ODBC loop that fetches the same query with SQLGetData per value into
// nothing. Prints rows per second of both, their ratio, and the memory held per loaded row.
//
// Usage: odbc_load_bench [rows]   (ODBCSYSINI may point at tests/testsupport for the driver list)

#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

const char* kSelect = "select id, name, amount, qty, day, paid, code, note from bench order by id";

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The same values the dataset reads, each with the C type the dataset uses, into a scratch buffer.
long BareLoop(const std::string& connStr) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT st;
    SQLAllocEnv(&env);
    SQLAllocConnect(env, &dbc);
    SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLExecDirect(st, (SQLCHAR*)kSelect, SQL_NTS);
    const SQLSMALLINT types[8] = {SQL_C_LONG, SQL_C_CHAR, SQL_C_DOUBLE, SQL_C_LONG,
                                  SQL_C_DATE, SQL_C_LONG, SQL_C_CHAR, SQL_C_CHAR};
    char buf[256];
    SQLLEN ind;
    long rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(st))) {
        for (SQLUSMALLINT c = 0; c < 8; ++c) SQLGetData(st, c + 1, types[c], buf, sizeof buf, &ind);
        ++rows;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    auto dir = std::filesystem::temp_directory_path() / "kubrix-odbc-bench";
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "bench.db").string();
    std::filesystem::remove(file);
    const std::string connStr = "Driver=SQLite3;Database=" + file;
    try {
        {
            TQelODBCConnection c;
            c.LoginPromt = false;
            c.ConnectionString = connStr;
            c.Execute(
                "create table bench (id integer, name varchar(30), amount double, qty integer, day date, "
                "paid boolean, code varchar(10), note varchar(40))");
            c.Execute("insert into bench with recursive n(x) as (select 1 union all select x + 1 from n where x < " +
                      std::to_string(rows) +
                      ") select x, 'Товар ' || (x % 1000), x * 0.25, x % 97, date('2020-01-01', '+' || (x % 1000) "
                      "|| ' days'), x % 2, 'K' || (x % 50), 'примечание ' || x from n");
        }
        auto t0 = std::chrono::steady_clock::now();
        long bare = BareLoop(connStr);
        double bareSec = Seconds(t0);

        TQelODBCConnection c;
        c.LoginPromt = false;
        c.ConnectionString = connStr;
        c.Connect();
        TComponent owner;
        auto* ds = new TQelODBCClient(&owner);
        ds->SetConnection(&c);
        ds->SetSQL_Select(kSelect);
        const long before = ResidentBytes();
        t0 = std::chrono::steady_clock::now();
        ds->Open();
        double dsSec = Seconds(t0);
        const long after = ResidentBytes();
        const long loaded = ds->RealRecordCount();

        std::printf("rows: bare loop %ld, dataset %ld\n", bare, loaded);
        std::printf("bare SQLGetData loop: %.3f s, %.0f rows/s\n", bareSec, bare / bareSec);
        std::printf("dataset load:         %.3f s, %.0f rows/s\n", dsSec, loaded / dsSec);
        std::printf("ratio dataset/bare:   %.3f\n", dsSec / bareSec);
        std::printf("record data area: %d bytes; memory held per row: %.1f bytes\n", ds->GetRecordSize(),
                    double(after - before) / double(loaded));
        ds->Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "odbc_load_bench: %s\n", e.what());
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
