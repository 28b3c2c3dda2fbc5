// Column rights read from PostgreSQL's own catalogue with the documented selects, for a
// role that may update one column of one table, compared with what the server then allows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "dataset/AccessManager.h"
#include "dataset/ODBCFields.h"
#include "dataset/PgAccessCatalogue.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCErrors.h"
#include "testsupport/OdbcTestEnv.h"

using namespace kubrix;

namespace {

// The four catalogue datasets and the manager over them, on one connection.
struct PgRights {
    TQelODBCClient objects, columns, members, protects;
    TQelAccessManager manager;

    explicit PgRights(TQelODBCConnection& c) {
        const std::pair<TQelODBCClient*, const char*> sets[] = {{&objects, kPgAccessObjectsSQL},
                                                                 {&columns, kPgAccessColumnsSQL},
                                                                 {&members, kPgAccessMembersSQL},
                                                                 {&protects, kPgAccessProtectsSQL}};
        for (auto [ds, sql] : sets) {
            ds->SetConnection(&c);
            ds->SetSQL_Select(sql);
            ds->Open();
        }
        manager.SetqObjects(&objects);
        manager.SetqColumns(&columns);
        manager.SetqMembers(&members);
        manager.SetqProtects(&protects);
    }
};

// Connection string of the same server for another login role (trust authentication).
std::string AsRole(const std::string& role) {
    std::string s = test::PgConnStr();
    const auto at = s.find("Uid=");
    const auto end = s.find(';', at);
    return s.replace(at, end - at, "Uid=" + role);
}

}  // namespace

TEST(AccessManagerPg, ColumnGrantOfARealRoleMakesOnlyThatFieldWritable) {
    KUBRIX_REQUIRE_PG(true);
    const std::string tag = std::to_string(getpid());
    const std::string clerk = "acc_clerk_" + tag, writers = "acc_writers_" + tag;
    const std::string orders = "acc_orders_" + tag, clients = "acc_clients_" + tag;
    auto admin = test::Connect(test::PgConnStr());
    test::Exec(*admin, "create table " + orders + " (id integer, amount numeric(12,2), note varchar(20))");
    test::Exec(*admin, "insert into " + orders + " values (1, 10.5, 'первая')");
    test::Exec(*admin, "create table " + clients + " (id integer, name varchar(20))");
    test::Exec(*admin, "create role " + writers + " nologin");
    test::Exec(*admin, "create role " + clerk + " login in role " + writers);
    test::Exec(*admin, "grant select on " + orders + ", " + clients + " to " + clerk);
    test::Exec(*admin, "grant update (amount) on " + orders + " to " + clerk);
    test::Exec(*admin, "grant update on " + clients + " to " + writers);
    struct Cleanup {
        TQelODBCConnection& c;
        std::string sql;
        ~Cleanup() {
            try {
                c.Execute(sql);
            } catch (...) {  // the server's leftovers are dropped with its cluster
            }
        }
    } cleanup{*admin, "drop table " + orders + ", " + clients + "; drop role " + clerk + "; drop role " + writers};

    {
        auto c = test::Connect(AsRole(clerk));
        PgRights rights(*c);
        EXPECT_FALSE(rights.manager.is_dbo());
        const struct {
            const char* name;
            std::string table, column;
            bool canUpdate;
        } cases[] = {
            {"the granted column", orders, "amount", true},
            {"letter case of the names", orders, "AMOUNT", true},
            {"another column of that table", orders, "note", false},
            {"the first column", orders, "id", false},
            {"a table-wide grant to the clerk's group", clients, "name", true},
            {"an unknown column", orders, "missing", false},
        };
        for (const auto& k : cases) {
            SCOPED_TRACE(k.name);
            EXPECT_EQ(rights.manager.CanUpdate(k.table, k.column), k.canUpdate);
        }

        TQelODBCClient ds;
        ds.SetConnection(c.get());
        ds.SetSQL_Select("select id, amount, note from " + orders);
        for (TField* f : ds.Fields()) {
            f->GetODBCInterface()->SetTableName(orders);
            f->GetODBCInterface()->SetUpdate_ValueScript(f->FieldName() + " = ?");
        }
        ds.SetAccessManager(&rights.manager);
        ds.Open();
        ds.First();
        EXPECT_TRUE(ds.FieldReadOnly(ds.FieldByName("id")));
        EXPECT_FALSE(ds.FieldReadOnly(ds.FieldByName("amount")));
        EXPECT_TRUE(ds.FieldReadOnly(ds.FieldByName("note")));
        EXPECT_FALSE(ds.FieldByName("note")->CanModify());

        // The server agrees.
        c->Execute("update " + orders + " set amount = 11 where id = 1");
        EXPECT_THROW(c->Execute("update " + orders + " set note = 'x' where id = 1"), EQelODBCDatabaseError);
    }
    {
        // The tables' owner, a superuser, is listed as db_owner.
        PgRights rights(*admin);
        EXPECT_TRUE(rights.manager.is_dbo());
        EXPECT_TRUE(rights.manager.CanUpdate(orders, "note"));
    }
}
