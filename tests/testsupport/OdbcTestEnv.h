#pragma once
// Shared pieces of the ODBC tests: the drivers under test, a throwaway SQLite database file,
// the PostgreSQL server of the test run, and readers of stored slots.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "odbc/ODBCQuery.h"

namespace kubrix::test {

//! Connection string of the PostgreSQL test server; empty when none was started.
std::string PgConnStr();

//! A new SQLite database file in its own temporary folder, removed with the object.
class TempSqliteDb {
public:
    TempSqliteDb();
    ~TempSqliteDb();
    TempSqliteDb(const TempSqliteDb&) = delete;
    TempSqliteDb& operator=(const TempSqliteDb&) = delete;
    const std::string& Path() const { return path_; }
    std::string ConnStr() const { return "Driver=SQLite3;Database=" + path_; }

private:
    std::string dir_, path_;
};

//! One database for a driver-independent test: SQLite always, PostgreSQL when running.
struct DriverCase {
    const char* name;
    bool postgres;
};
inline constexpr DriverCase kDrivers[] = {{"SQLite", false}, {"PostgreSQL", true}};

//! The driver's name in the messages of parameterised tests.
inline void PrintTo(const DriverCase& d, std::ostream* os) { *os << d.name; }

//! The driver's name, for the names of parameterised tests.
inline std::string DriverName(const ::testing::TestParamInfo<DriverCase>& info) { return info.param.name; }

//! How many times the PostgreSQL server of the run logged running a statement whose text
//! holds marker. The session must log its statements (SET log_min_duration_statement = 0);
//! preparing and describing a statement is not counted.
int PgRunsLogged(const std::string& marker);

//! Connection string of the driver's database (a fresh SQLite file lives in db).
inline std::string ConnStrFor(const DriverCase& d, const TempSqliteDb& db) {
    return d.postgres ? PgConnStr() : db.ConnStr();
}

//! A connected connection without login prompt.
std::unique_ptr<TQelODBCConnection> Connect(const std::string& connStr);

//! Runs one statement whose errors are raised.
void Exec(TQelODBCConnection& c, const std::string& sql);

//! Opens a query whose errors are raised.
std::unique_ptr<TQelODBCQuery> OpenQuery(TQelODBCConnection& c, const std::string& sql);

//! The value of column f in row as readable text ("NULL" for a null); bytes in hex.
std::string SlotText(const TQelODBCQuery& q, int row, const TQelODBCField& f);

//! A sales table of a few rows with a NULL amount and Cyrillic names.
void FillSales(const std::string& connStr);

//! A fixed-width value of column f in row.
template <typename T>
T SlotValue(const TQelODBCQuery& q, int row, const TQelODBCField& f) {
    T v{};
    std::memcpy(&v, q.Rows.at(static_cast<std::size_t>(row)).get() + f.Offset + 1, sizeof v);
    return v;
}

}  // namespace kubrix::test

//! Skips a test that needs the PostgreSQL server when the run has none.
#define KUBRIX_REQUIRE_PG(isPg)                                                                   \
    do {                                                                                          \
        if ((isPg) && ::kubrix::test::PgConnStr().empty())                                        \
            GTEST_SKIP() << "PostgreSQL server not started (KUBRIX_PG_CONNSTR is not set; "       \
                            "scripts/test.sh starts one with scripts/pg-start.sh)";               \
    } while (0)
