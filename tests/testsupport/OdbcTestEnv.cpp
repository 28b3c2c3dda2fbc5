#include "testsupport/OdbcTestEnv.h"

#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/Bcd.h"
#include "support/DateTime.h"

namespace kubrix::test {
namespace {

// The tests use a driver list of their own, so that no system driver option (such as a
// communication log writing into /tmp) takes effect. Set before any ODBC environment exists.
const bool kOwnDriverList = [] {
    setenv("ODBCSYSINI", KUBRIX_TEST_DRIVER_LIST, 1);
    return true;
}();

std::string Hex(const std::uint8_t* p, std::size_t n) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

}  // namespace

std::string PgConnStr() {
    const char* s = std::getenv("KUBRIX_PG_CONNSTR");
    return s ? s : "";
}

int PgRunsLogged(const std::string& marker) {
    std::string path;
    if (const char* log = std::getenv("KUBRIX_PG_LOG"); log && *log)
        path = log;
    else if (const char* dir = std::getenv("KUBRIX_PG_DIR"); dir && *dir)
        path = std::string(dir) + "/server.log";
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read the PostgreSQL server log " + path);
    // "duration: ... ms  statement: <text>" for a simple query, "... execute <name>: <text>"
    // for a prepared one; "parse" and "bind" lines only prepare.
    int runs = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(marker) == std::string::npos) continue;
        if (line.find(" statement: ") != std::string::npos || line.find(" execute ") != std::string::npos) ++runs;
    }
    return runs;
}

TempSqliteDb::TempSqliteDb() {
    (void)kOwnDriverList;
    std::string tmpl = (std::filesystem::temp_directory_path() / "kubrix-odbc.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    path_ = dir_ + "/test.db";
}

TempSqliteDb::~TempSqliteDb() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::unique_ptr<TQelODBCConnection> Connect(const std::string& connStr) {
    auto c = std::make_unique<TQelODBCConnection>();
    c->LoginPromt = false;
    c->ConnectionString = connStr;
    c->Connect();
    return c;
}

void Exec(TQelODBCConnection& c, const std::string& sql) { c.Execute(sql); }

std::unique_ptr<TQelODBCQuery> OpenQuery(TQelODBCConnection& c, const std::string& sql) {
    auto q = std::make_unique<TQelODBCQuery>(&c);
    q->OnODBCError = [](const std::string&, const std::string&) {};
    q->SetSQL(sql);
    q->Open();
    return q;
}

void FillSales(const std::string& connStr) {
    auto c = Connect(connStr);
    Exec(*c, "CREATE TABLE sales (region VARCHAR(40), manager VARCHAR(40), year INTEGER, amount NUMERIC(12,2))");
    Exec(*c, "INSERT INTO sales VALUES ('Москва', 'Иванов', 2022, 100.25)");
    Exec(*c, "INSERT INTO sales VALUES ('Москва', 'Петрова', 2023, 200.50)");
    Exec(*c, "INSERT INTO sales VALUES ('Москва', 'Иванов', 2023, 1000.00)");
    Exec(*c, "INSERT INTO sales VALUES ('Казань', 'Новиков', 2022, 33.75)");
    Exec(*c, "INSERT INTO sales VALUES ('Казань', 'Новиков', 2023, NULL)");
}

std::string SlotText(const TQelODBCQuery& q, int row, const TQelODBCField& f) {
    if (f.IsLong) {
        const std::string& v = q.LongValues.at(static_cast<std::size_t>(row))[f.Offset];
        if (f.FieldType == ftBlob) return Hex(reinterpret_cast<const std::uint8_t*>(v.data()), v.size());
        return v;
    }
    const std::uint8_t* slot = q.Rows.at(static_cast<std::size_t>(row)).get() + f.Offset;
    if (slot[0] == 0) return "NULL";
    const std::uint8_t* v = slot + 1;
    char buf[64];
    switch (f.FieldType) {
        case ftString: return std::string(reinterpret_cast<const char*>(v));
        case ftInteger: return std::to_string(SlotValue<std::int32_t>(q, row, f));
        case ftSmallint: return std::to_string(SlotValue<std::int16_t>(q, row, f));
        case ftFloat: std::snprintf(buf, sizeof buf, "%g", SlotValue<double>(q, row, f)); return buf;
        case ftBoolean: {
            auto w = SlotValue<std::uint16_t>(q, row, f);
            return w == 0xFFFF ? "true" : w == 0 ? "false" : "bad word " + std::to_string(w);
        }
        case ftBCD: {
            TBcd b;
            std::memcpy(b.data(), v, b.size());
            return BcdToText(b);
        }
        case ftDateTime: {
            TimeStampParts t = DecodeDateTime(NativeToDateTime(ftDateTime, v));
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.Year, t.Month, t.Day, t.Hour,
                          t.Minute, t.Second, t.MSec);
            return buf;
        }
        case ftVarBytes: {
            std::uint16_t n;
            std::memcpy(&n, v, 2);
            return Hex(v + 2, n);
        }
        case ftGuid: return std::string(reinterpret_cast<const char*>(v));
        default: return "type " + std::to_string(f.FieldType);
    }
}

}  // namespace kubrix::test

// The PostgreSQL driver keeps a few small strings per connection that it never frees; the
// leak checker of the sanitizer build is told to look past that library only.
extern "C" const char* __lsan_default_suppressions() { return "leak:psqlodbca.so\n"; }
