// Rows read in blocks: block edges, NULLs on both sides of an edge, text at its declared
// width, long values between bound columns, and a failure after the first block.

#include <string>
#include <vector>

#include "testsupport/OdbcTestEnv.h"

namespace kubrix::test {
namespace {

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// "insert into <table> select <exprs over x> from <1..n>" in the driver's dialect.
std::string InsertSeries(bool postgres, const std::string& table, int n, const std::string& exprs) {
    if (postgres)
        return "insert into " + table + " select " + exprs + " from generate_series(1, " + std::to_string(n) + ") as s(x)";
    return "insert into " + table + " with recursive s(x) as (select 1 union all select x + 1 from s where x < " +
           std::to_string(n) + ") select " + exprs + " from s where x <= " + std::to_string(n);
}

std::unique_ptr<TQelODBCConnection> ConnectFresh(const DriverCase& d, const TempSqliteDb& db,
                                                 const std::vector<std::string>& tables) {
    auto c = Connect(ConnStrFor(d, db));
    if (d.postgres)
        for (const auto& t : tables) Exec(*c, "drop table if exists " + t);
    return c;
}

// Row counts around the block size (at most 256 rows of this width fit a block), NULLs in
// the last row of a block and the first of the next.
TEST(ODBCBlockFetch, EveryRowAndNullSurvivesBlockEdges) {
    const int counts[] = {0, 1, 255, 256, 257, 513, 1000};
    for (const auto& d : kDrivers) {
        SCOPED_TRACE(d.name);
        KUBRIX_REQUIRE_PG(d.postgres);
        TempSqliteDb db;
        auto c = ConnectFresh(d, db, {"edges"});
        for (int n : counts) {
            SCOPED_TRACE(n);
            Exec(*c, "drop table if exists edges");
            Exec(*c, "create table edges (id integer, k integer, s varchar(20), f float, day date)");
            const std::string nullAtEdge = "x % 256 in (0, 1)";
            Exec(*c, InsertSeries(d.postgres, "edges", n,
                                  "x, case when " + nullAtEdge + " then null else x * 3 end, case when x % 5 = 0 or " +
                                      nullAtEdge + " then null else 'строка ' || x end, case when " + nullAtEdge +
                                      " then null else x * 0.5 end, case when " + nullAtEdge +
                                      " then null else " + std::string(d.postgres ? "date " : "") + "'2020-01-02' end"));
            auto q = OpenQuery(*c, "select id, k, s, f, day from edges order by id");
            ASSERT_EQ(q->RowCount(), n);
            for (int r = 0; r < n; ++r) {
                const int x = r + 1;
                const bool edge = x % 256 == 0 || x % 256 == 1;
                char half[32];
                std::snprintf(half, sizeof half, "%g", x * 0.5);
                ASSERT_EQ(SlotText(*q, r, *q->GetField(0)), std::to_string(x));
                ASSERT_EQ(SlotText(*q, r, *q->GetField(1)), edge ? "NULL" : std::to_string(3 * x)) << "row " << x;
                ASSERT_EQ(SlotText(*q, r, *q->GetField(2)),
                          edge || x % 5 == 0 ? "NULL" : "строка " + std::to_string(x))
                    << "row " << x;
                ASSERT_EQ(SlotText(*q, r, *q->GetField(3)), edge ? "NULL" : half) << "row " << x;
                ASSERT_EQ(SlotText(*q, r, *q->GetField(4)), edge ? "NULL" : "2020-01-02 00:00:00.000") << "row " << x;
                // A NULL leaves every value byte zero, whatever the row before it held.
                if (edge) {
                    const TQelODBCField& s = *q->GetField(2);
                    const std::uint8_t* slot = q->Rows[static_cast<std::size_t>(r)].get() + s.Offset;
                    for (int i = 0; i <= s.Size; ++i) ASSERT_EQ(slot[i], 0) << "row " << x << " byte " << i;
                }
            }
        }
    }
}

// Fifty Cyrillic letters fill a varchar(50) slot exactly; where the driver hands over more
// than was declared, whole characters are kept and each cut value brings its own notice.
TEST(ODBCBlockFetch, CyrillicTextAtItsDeclaredWidth) {
    const std::string full = Repeat("Ж", 50);
    // More bytes than the slot holds: the driver cuts it too.
    const std::string over = Repeat("Ж", 50) + Repeat("я", 110);
    for (const auto& d : kDrivers) {
        SCOPED_TRACE(d.name);
        KUBRIX_REQUIRE_PG(d.postgres);
        TempSqliteDb db;
        auto c = ConnectFresh(d, db, {"cyr"});
        Exec(*c, "create table cyr (id integer, v varchar(50))");
        // Only SQLite keeps text longer than declared.
        const std::string overExpr = d.postgres ? "'" + full + "'" : "'" + over + "'";
        Exec(*c, InsertSeries(d.postgres, "cyr", 600,
                              "x, case when x % 100 = 0 then " + overExpr + " when x % 2 = 0 then '" + full +
                                  "' else 'я' || x end"));
        TQelODBCQuery q(c.get());
        std::vector<std::string> notices;
        q.OnODBCError = [&](const std::string& s, const std::string& m) { notices.push_back(s + m); };
        q.SetSQL("select id, v from cyr order by id");
        q.Open();
        ASSERT_EQ(q.RowCount(), 600);
        const TQelODBCField& v = *q.GetField(1);
        ASSERT_EQ(v.FieldType, ftString);
        for (int r = 0; r < 600; ++r) {
            const int x = r + 1;
            ASSERT_EQ(SlotText(q, r, v), x % 2 == 0 ? full : "я" + std::to_string(x)) << "row " << x;
        }
        if (d.postgres) {
            EXPECT_TRUE(notices.empty());
        } else {
            ASSERT_EQ(notices.size(), 6u);
            for (const auto& n : notices) EXPECT_EQ(n.substr(0, 5), "01004") << n;
        }
    }
}

// A memo is read value by value between columns that are bound.
TEST(ODBCBlockFetch, MemoBetweenBoundColumns) {
    for (const auto& d : kDrivers) {
        SCOPED_TRACE(d.name);
        KUBRIX_REQUIRE_PG(d.postgres);
        TempSqliteDb db;
        auto c = ConnectFresh(d, db, {"memos"});
        Exec(*c, "create table memos (id integer, memo text, s varchar(10), k integer)");
        Exec(*c, InsertSeries(d.postgres, "memos", 700,
                              "x, case when x % 3 = 0 then null else 'заметка ' || x end, 'к' || x, x * 2"));
        auto q = OpenQuery(*c, "select id, memo, s, k from memos order by id");
        ASSERT_EQ(q->RowCount(), 700);
        ASSERT_TRUE(q->GetField(1)->IsLong);
        ASSERT_FALSE(q->GetField(2)->IsLong);
        for (int r = 0; r < 700; ++r) {
            const int x = r + 1;
            ASSERT_EQ(SlotText(*q, r, *q->GetField(0)), std::to_string(x));
            ASSERT_EQ(SlotText(*q, r, *q->GetField(1)), x % 3 == 0 ? "" : "заметка " + std::to_string(x));
            ASSERT_EQ(SlotText(*q, r, *q->GetField(2)), "к" + std::to_string(x));
            ASSERT_EQ(SlotText(*q, r, *q->GetField(3)), std::to_string(2 * x));
        }
    }
}

// Row 700 holds a number the store cannot take: the error comes after whole blocks were
// stored, with every row before it kept as read and the failing row last.
TEST(ODBCBlockFetch, FailureInALaterBlock) {
    for (const auto& d : kDrivers) {
        SCOPED_TRACE(d.name);
        KUBRIX_REQUIRE_PG(d.postgres);
        TempSqliteDb db;
        auto c = ConnectFresh(d, db, {"late"});
        Exec(*c, "create table late (id integer, v bigint)");
        Exec(*c, InsertSeries(d.postgres, "late", 1000, "x, case when x = 700 then 9000000000 else x end"));
        TQelODBCQuery q(c.get());
        q.OnODBCError = [](const std::string&, const std::string&) {};
        q.SetSQL("select id, v from late order by id");
        try {
            q.Open();
            FAIL() << "no exception";
        } catch (const EQelODBCDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, 5), "22003") << e.what();
        }
        EXPECT_EQ(q.StatementHandle(), nullptr);
        ASSERT_EQ(q.RowCount(), 700);
        for (int r = 0; r < 699; ++r) ASSERT_EQ(SlotText(q, r, *q.GetField(1)), std::to_string(r + 1));
        EXPECT_EQ(SlotText(q, 699, *q.GetField(0)), "700");
        EXPECT_EQ(SlotText(q, 699, *q.GetField(1)), "NULL");
    }
}

}  // namespace
}  // namespace kubrix::test
