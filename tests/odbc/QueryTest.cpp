// Statements on both drivers: how each column type is described and stored, nulls, UTF-8
// text, errors, parameters and row caps.

#include <sql.h>

#include <string>
#include <vector>

#include "testsupport/OdbcTestEnv.h"
#include "support/Bcd.h"
#include "support/DateTime.h"

namespace kubrix::test {
namespace {

struct TypeCase {
    const char* name;
    const char* decl;     // column type in CREATE TABLE
    const char* literal;  // value inserted
    TFieldType type;      // field type of the described column
    bool isLong;
    const char* stored;   // the stored value read back as text
};

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

void CheckTypes(const std::string& connStr, bool postgres, const std::vector<TypeCase>& cases) {
    auto c = Connect(connStr);
    int k = 0;
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        const std::string table = "types_" + std::to_string(k++);
        if (postgres) Exec(*c, "drop table if exists " + table);
        Exec(*c, "create table " + table + " (id integer, v " + tc.decl + ")");
        Exec(*c, "insert into " + table + " values (1, " + tc.literal + ")");
        Exec(*c, "insert into " + table + " values (2, NULL)");
        auto q = OpenQuery(*c, "select v from " + table + " order by id");
        ASSERT_EQ(q->GetFieldCount(), 1);
        ASSERT_EQ(q->RowCount(), 2);
        const TQelODBCField& f = *q->GetField(0);
        EXPECT_EQ(f.FieldType, tc.type);
        EXPECT_EQ(f.IsLong, tc.isLong);
        EXPECT_EQ(SlotText(*q, 0, f), tc.stored);
        // A NULL leaves the flag and the value bytes zero (long values: empty).
        if (f.IsLong) {
            EXPECT_EQ(q->LongValues[1][f.Offset], "");
        } else {
            const std::uint8_t* slot = q->Rows[1].get() + f.Offset;
            EXPECT_EQ(slot[0], 0);
            for (int i = 1; i <= f.Size; ++i) ASSERT_EQ(slot[i], 0) << "byte " << i;
        }
    }
}

const std::string kZh50 = Repeat("Ж", 50);
const std::string kZh51 = Repeat("Ж", 51);

TEST(ODBCQuery, StoresEachSQLiteColumnType) {
    TempSqliteDb db;
    const std::string cyr = "'" + kZh50 + "'";
    const std::string cyr51 = "'" + kZh51 + "'";
    CheckTypes(db.ConnStr(), false, {
        {"integer", "integer", "-2147483648", ftInteger, false, "-2147483648"},
        {"bigint in range", "bigint", "123456789", ftInteger, false, "123456789"},
        {"smallint", "smallint", "-32768", ftSmallint, false, "-32768"},
        {"numeric is a double here", "numeric(10,2)", "1234.5", ftFloat, false, "1234.5"},
        {"double", "double", "0.125", ftFloat, false, "0.125"},
        {"short varchar", "varchar(10)", "'abc'", ftString, false, "abc"},
        {"50 Cyrillic characters", "varchar(50)", cyr.c_str(), ftString, false, kZh50.c_str()},
        {"51 characters make a memo", "varchar(51)", cyr51.c_str(), ftMemo, true, kZh51.c_str()},
        {"text is a memo", "text", "'длинный текст'", ftMemo, true, "длинный текст"},
        {"longer than declared: cut to whole characters", "varchar(3)", "'абвгд'", ftString, false, "абв"},
        {"date", "date", "'2020-01-02'", ftDateTime, false, "2020-01-02 00:00:00.000"},
        {"timestamp", "timestamp", "'2020-01-02 03:04:05.678'", ftDateTime, false, "2020-01-02 03:04:05.678"},
        {"boolean true", "boolean", "1", ftBoolean, false, "true"},
        {"boolean false", "boolean", "0", ftBoolean, false, "false"},
        {"blob keeps its length", "blob", "x'00ff10'", ftVarBytes, false, "00ff10"},
    });
}

TEST(ODBCQuery, StoresEachPostgreSQLColumnType) {
    KUBRIX_REQUIRE_PG(true);
    const std::string cyr = "'" + kZh50 + "'";
    const std::string cyr51 = "'" + kZh51 + "'";
    CheckTypes(PgConnStr(), true, {
        {"integer", "integer", "-2147483648", ftInteger, false, "-2147483648"},
        {"bigint in range", "bigint", "123456789", ftInteger, false, "123456789"},
        {"smallint", "smallint", "-32768", ftSmallint, false, "-32768"},
        {"numeric(10,2)", "numeric(10,2)", "1234.5", ftBCD, false, "1234.5000"},
        {"negative numeric", "numeric(12,4)", "-0.0001", ftBCD, false, "-0.0001"},
        {"double precision", "double precision", "0.125", ftFloat, false, "0.125"},
        {"real", "real", "2.5", ftFloat, false, "2.5"},
        {"short varchar", "varchar(10)", "'abc'", ftString, false, "abc"},
        {"char pads", "char(5)", "'ab'", ftString, false, "ab   "},
        {"50 Cyrillic characters", "varchar(50)", cyr.c_str(), ftString, false, kZh50.c_str()},
        {"51 characters make a memo", "varchar(51)", cyr51.c_str(), ftMemo, true, kZh51.c_str()},
        {"text is a memo", "text", "'длинный текст'", ftMemo, true, "длинный текст"},
        {"date", "date", "'2020-01-02'", ftDateTime, false, "2020-01-02 00:00:00.000"},
        {"timestamp", "timestamp", "'2020-01-02 03:04:05.678'", ftDateTime, false, "2020-01-02 03:04:05.678"},
        {"boolean true", "boolean", "true", ftBoolean, false, "true"},
        {"boolean false", "boolean", "false", ftBoolean, false, "false"},
        {"bytea is a blob", "bytea", "'\\x00ff10'", ftBlob, true, "00ff10"},
    });
}

// Per-driver error texts: SQLSTATE first, then the driver's own message.
TEST(ODBCQuery, RejectedStatementRaisesTheDiagnosticText) {
    for (const auto& d : kDrivers) {
        SCOPED_TRACE(d.name);
        KUBRIX_REQUIRE_PG(d.postgres);
        TempSqliteDb db;
        auto c = Connect(ConnStrFor(d, db));
        TQelODBCQuery q(c.get());
        std::vector<std::string> seen;
        q.OnODBCError = [&](const std::string& s, const std::string& m) { seen.push_back(s + m); };
        q.SetSQL("select * from no_such_table");
        try {
            q.Open();
            FAIL() << "no exception";
        } catch (const TCommunicationLinkFailureEx&) {
            FAIL() << "not a lost link";
        } catch (const EQelODBCDatabaseError& e) {
            std::string text = e.what();
            ASSERT_GE(text.size(), 6u);
            // Under ODBC 2 behaviour the SQLite driver reports its general error as S1000.
            EXPECT_EQ(text.substr(0, 5), d.postgres ? "42P01" : "S1000");
            EXPECT_NE(text.find("no_such_table"), std::string::npos) << text;
            EXPECT_EQ(e.Connection, c.get());
            ASSERT_FALSE(seen.empty());
            EXPECT_EQ(seen.back(), text.substr(text.rfind('\r') == std::string::npos ? 0 : text.rfind('\r') + 1));
        }
        EXPECT_FALSE(q.Active());
        EXPECT_EQ(q.StatementHandle(), nullptr);
        EXPECT_EQ(q.RowCount(), 0);
    }
}

TEST(ODBCQuery, WithoutErrorHandlerAFailedStatementStaysClosed) {
    TempSqliteDb db;
    auto c = Connect(db.ConnStr());
    TQelODBCQuery q(c.get());
    q.SetSQL("select * from no_such_table");
    EXPECT_NO_THROW(q.Open());
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.RowCount(), 0);
}

TEST(ODBCQuery, StatementWithoutColumnsIsActiveWithNoRows) {
    TempSqliteDb db;
    auto c = Connect(db.ConnStr());
    Exec(*c, "create table t (x integer)");
    auto q = OpenQuery(*c, "update t set x = 1");
    EXPECT_TRUE(q->Active());
    EXPECT_EQ(q->GetFieldCount(), 0);
    EXPECT_EQ(q->RowCount(), 0);
}

TEST(ODBCQuery, SuccessWithInformationReachesTheHandlerWithoutRaising) {
    KUBRIX_REQUIRE_PG(true);
    auto c = Connect(PgConnStr());
    TQelODBCQuery q(c.get());
    std::vector<std::string> seen;
    q.OnODBCError = [&](const std::string& s, const std::string& m) { seen.push_back(s + m); };
    q.SetSQL("drop table if exists no_such_table_either");
    EXPECT_NO_THROW(q.Open());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("no_such_table_either"), std::string::npos) << seen[0];
}

// Row caps: the connection's cap switches capping on, the statement's own cap wins then.
TEST(ODBCQuery, AppliesTheRowCaps) {
    struct CapCase {
        const char* name;
        int connectionMax, statementMax;
        bool check;
        int rows;
    };
    const CapCase cases[] = {
        {"connection cap alone", 100, 0, true, 100},
        {"statement cap under a connection cap", 100, 10, true, 10},
        {"no connection cap: statement cap ignored", 0, 10, true, 250},
        {"capping switched off", 100, 10, false, 250},
    };
    TempSqliteDb db;
    auto c = Connect(db.ConnStr());
    for (const auto& cc : cases) {
        SCOPED_TRACE(cc.name);
        c->MaxRecordCount = cc.connectionMax;
        TQelODBCQuery q(c.get());
        q.OnODBCError = [](const std::string&, const std::string&) {};
        q.MaxRecordCount = cc.statementMax;
        q.CheckRecordCount = cc.check;
        q.SetSQL("with recursive n(x) as (select 1 union all select x + 1 from n where x < 250) select x from n");
        q.Open();
        ASSERT_EQ(q.RowCount(), cc.rows);
        EXPECT_EQ(SlotText(q, cc.rows - 1, *q.GetField(0)), std::to_string(cc.rows));
    }
}

TEST(ODBCQuery, BigintOutsideTheIntegerRangeFailsWithTheDriversError) {
    KUBRIX_REQUIRE_PG(true);
    auto c = Connect(PgConnStr());
    TQelODBCQuery q(c.get());
    q.OnODBCError = [](const std::string&, const std::string&) {};
    q.SetSQL("select 9000000000::bigint");
    EXPECT_THROW(q.Open(), EQelODBCDatabaseError);
}

TEST(ODBCQuery, QuestionMarksCreateIntegerInputParametersOnce) {
    TQelODBCQuery q;
    q.SetSQL("select ? , '?', ?");
    ASSERT_EQ(q.Parameters().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(q.Parameters()[i].DataType, ftInteger);
        EXPECT_EQ(q.Parameters()[i].ParamType, ptInput);
        EXPECT_TRUE(q.Parameters()[i].Value.IsNull());
    }
    q.SetSQL("select ?");
    EXPECT_EQ(q.Parameters().Count(), 3);
}

TEST(ODBCQuery, OpenWithoutConnectionRaises) {
    TQelODBCQuery q;
    q.SetSQL("select 1");
    try {
        q.Open();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Нет подключения");
    }
}

// Parameter values sent to the server and read back from it.
TEST(ODBCQuery, BindsParametersOfEachType) {
    struct ParamCase {
        const char* name;
        TFieldType type;
        Variant value;
        int size;
        const char* decl;
        const char* stored;  // read back from the table as text
    };
    const std::string longText = Repeat("ю", 3000);
    const ParamCase cases[] = {
        {"integer", ftInteger, Variant::FromInt32(-42), 0, "integer", "-42"},
        {"smallint", ftSmallint, Variant::FromInt16(7), 0, "smallint", "7"},
        {"double", ftFloat, Variant::FromDouble(0.5), 0, "double precision", "0.5"},
        {"text cut to its size", ftString, Variant::FromAnsi("абвгд"), 3, "varchar(10)", "абв"},
        {"text without a size is sent whole", ftString, Variant::FromAnsi("абвгд"), 0, "varchar(10)", "абвгд"},
        {"null text", ftString, Variant::Null(), 5, "varchar(10)", "NULL"},
        {"long text", ftMemo, Variant::FromAnsi(longText), 0, "text", longText.c_str()},
        {"decimal", ftBCD, Variant::FromCurrency(Currency{125000}), 0, "double precision", "12.5"},
        {"date-time", ftDateTime, Variant::FromDate(43832.5), 0, "timestamp", "2020-01-02 12:00:00.000"},
        {"boolean", ftBoolean, Variant::FromBool(true), 0, "boolean", "true"},
        {"unknown type", ftVariant, Variant::FromAnsi("x"), 0, "varchar(10)", "x"},
    };
    for (const auto& d : kDrivers) {
        SCOPED_TRACE(d.name);
        if (d.postgres && PgConnStr().empty()) continue;
        TempSqliteDb db;
        auto c = Connect(ConnStrFor(d, db));
        int k = 0;
        for (const auto& pc : cases) {
            SCOPED_TRACE(pc.name);
            const std::string table = "params_" + std::to_string(k++);
            if (d.postgres) Exec(*c, "drop table if exists " + table);
            Exec(*c, "create table " + table + " (v " + pc.decl + ")");
            TQelODBCQuery ins(c.get());
            ins.OnODBCError = [](const std::string&, const std::string&) {};
            ins.SetSQL("insert into " + table + " values (?)");
            ins.Parameters()[0].DataType = pc.type;
            ins.Parameters()[0].Value = pc.value;
            ins.Parameters()[0].Size = pc.size;
            ins.Open();
            auto q = OpenQuery(*c, "select v from " + table);
            ASSERT_EQ(q->RowCount(), 1);
            std::string got = SlotText(*q, 0, *q->GetField(0));
            if (pc.type == ftBCD && got == "12.5000") got = "12.5";
            EXPECT_TRUE(got == pc.stored) << got.size() << " bytes: " << got.substr(0, 60);
        }
    }
}

TEST(ODBCQuery, UnsupportedParameterTypeNamesTheParameter) {
    TempSqliteDb db;
    auto c = Connect(db.ConnStr());
    TQelODBCQuery q(c.get());
    q.OnODBCError = [](const std::string&, const std::string&) {};
    q.SetSQL("select ?");
    q.Parameters()[0].DataType = ftADT;
    q.Parameters()[0].SetName("p1");
    try {
        q.Open();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Необрабатываемый тип параметра.\rp1");
    }
    EXPECT_EQ(q.StatementHandle(), nullptr);
}

TEST(ODBCQuery, ReadsOutputParametersBack) {
    KUBRIX_REQUIRE_PG(true);
    auto c = Connect(PgConnStr());
    Exec(*c, "create or replace function kubrix_twice(x integer) returns integer as 'select 2 * x' language sql");
    TQelODBCQuery q(c.get());
    q.OnODBCError = [](const std::string&, const std::string&) {};
    q.SetSQL("{? = call kubrix_twice(?)}");
    ASSERT_EQ(q.Parameters().Count(), 2);
    q.Parameters()[0].ParamType = ptOutput;
    q.Parameters()[1].Value = Variant::FromInt32(21);
    q.Open();
    EXPECT_EQ(q.Parameters()[0].Value, Variant::FromInt32(42));
}

TEST(ODBCQuery, ParameterNameChangeIsReported) {
    TQelODBCQuery q;
    std::vector<std::string> names;
    q.OnParamNameChange = [&](TQelODBCParam& p) {
        EXPECT_TRUE(p.NameChanging);
        names.push_back(p.GetName());
    };
    q.SetSQL("select ?");
    q.Parameters()[0].SetName("ID");
    EXPECT_FALSE(q.Parameters()[0].NameChanging);
    EXPECT_EQ(names, std::vector<std::string>{"ID"});
    EXPECT_EQ(q.Parameters().FindParam("id"), &q.Parameters()[0]);
}

}  // namespace
}  // namespace kubrix::test
