// The connection: login pairs of the connection string, connect failures, adopted handles,
// the login hook, nested transactions and the repair of a lost link.

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "testsupport/OdbcTestEnv.h"
#include "support/UiServices.h"

namespace kubrix::test {
namespace {

TEST(ODBCConnection, RewritesTheLoginPairsOfTheConnectionString) {
    struct PairCase {
        const char* name;
        const char* start;
        const char* user;  // already in place, as when read from a stream (nullptr: none)
        const char* password;
        const char* result;
    };
    const PairCase cases[] = {
        {"empty password rewrites the uid pair", "DSN=x;uid=ivan", "ivan", "", "DSN=x;uid=ivan;"},
        {"pairs replaced in place", "DSN=x;PWD=old;UID=ivan", "ivan", "new", "DSN=x;pwd=new;uid=ivan;"},
        {"appended after a closing semicolon", "DSN=x;", "ivan", "p", "DSN=x;uid=ivan;pwd=p"},
        {"keys are trimmed and case-blind", "DSN=x; Uid =b;", "c", "", "DSN=x;uid=c;"},
    };
    for (const auto& pc : cases) {
        SCOPED_TRACE(pc.name);
        TQelODBCConnection c;
        c.ConnectionString = pc.start;
        c.Loading = true;
        if (pc.user) c.SetUser(pc.user);
        c.Loading = false;
        c.SetPassword(pc.password);
        EXPECT_EQ(c.ConnectionString, pc.result);
    }
    // Setting the user rewrites both pairs; an empty user removes its pair.
    {
        TQelODBCConnection c;
        c.ConnectionString = "DSN=x";
        c.SetUser("ivan");
        EXPECT_EQ(c.ConnectionString, "DSN=x;uid=ivan");
        c.ConnectionString = "DSN=x;UID=b;APP=y";
        c.SetUser("");
        EXPECT_EQ(c.ConnectionString, "DSN=x;APP=y");
    }
    // With User empty, setting the password removes an existing uid pair.
    TQelODBCConnection c;
    c.ConnectionString = "DSN=x;uid=a;";
    c.SetPassword("p");
    EXPECT_EQ(c.ConnectionString, "DSN=x;pwd=p");
}

TEST(ODBCConnection, RefusedConnectRaisesTheDiagnosticText) {
    struct RefusedCase {
        const char* name;
        std::string connStr;
        const char* start;  // the diagnostic text begins so
        const char* mentions;
    };
    const RefusedCase cases[] = {
        {"unknown driver", "Driver=NoSuchDriver;Database=x", "01000", "NoSuchDriver"},
        {"server not listening", "Driver=PostgreSQL ANSI;Server=127.0.0.1;Port=1;Database=x", "08001", "127.0.0.1"},
    };
    for (const auto& rc : cases) {
        SCOPED_TRACE(rc.name);
        TQelODBCConnection c;
        c.LoginPromt = false;
        c.ConnectionString = rc.connStr;
        bool after = false;
        c.AfterConnect = [&](TQelODBCConnection&) { after = true; };
        try {
            c.Connect();
            FAIL() << "connected";
        } catch (const Exception& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.substr(0, 5), rc.start) << text;
            EXPECT_NE(text.find(rc.mentions), std::string::npos) << text;
        }
        EXPECT_FALSE(c.Connected());
        EXPECT_FALSE(after);
    }
}

TEST(ODBCConnection, ConnectsWhateverTheServerOnlyAttributeSays) {
    for (const auto& d : kDrivers) {
        for (bool concatNull : {true, false}) {
            SCOPED_TRACE(std::string(d.name) + (concatNull ? " on" : " off"));
            if (d.postgres && PgConnStr().empty()) continue;
            TempSqliteDb db;
            TQelODBCConnection c;
            c.LoginPromt = false;
            c.SET_CONCAT_NULL_YIELDS_NULL = concatNull;
            c.ConnectionString = ConnStrFor(d, db);
            int after = 0;
            c.AfterConnect = [&](TQelODBCConnection&) { ++after; };
            c.Connect();
            c.Connect();  // connected: nothing happens
            EXPECT_TRUE(c.Connected());
            EXPECT_EQ(after, 1);
            auto q = OpenQuery(c, "select 1");
            EXPECT_EQ(q->RowCount(), 1);
        }
    }
}

TEST(ODBCConnection, LoginHookRunsBeforeTheFirstConnect) {
    TempSqliteDb db;
    struct HookScope {
        ~HookScope() { ODBCLoginDialogProc = nullptr; }
    } restore;
    int calls = 0;
    bool accept = false;
    ODBCLoginDialogProc = [&](const std::string& dbName, std::string& user, std::string& password, bool readOnly) {
        ++calls;
        EXPECT_EQ(dbName, "base");
        EXPECT_FALSE(readOnly);
        user = "ivan";
        password = "secret";
        return accept;
    };
    TQelODBCConnection c;
    c.SetDBName("base");
    c.ConnectionString = db.ConnStr();
    c.Connect();  // cancelled: quietly not connected
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(c.ConnectionString, db.ConnStr());
    accept = true;
    c.Connect();
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(c.ConnectionString, db.ConnStr() + ";uid=ivan;pwd=secret");
    EXPECT_EQ(calls, 2);
    try {
        c.SetDBName("other");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Нельзя изменить значение при открытом подключении к серверу");
    }
    EXPECT_EQ(c.DBName(), "base");
    // Without a hook there is no prompt at all.
    ODBCLoginDialogProc = nullptr;
    TQelODBCConnection quiet;
    quiet.ConnectionString = db.ConnStr();
    quiet.Connect();
    EXPECT_TRUE(quiet.Connected());
}

// A handle connected by someone else: used, never disconnected or freed by us.
TEST(ODBCConnection, AdoptsAHandleAndLeavesItToItsOwner) {
    TempSqliteDb db;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
    std::string cs = db.ConnStr();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr,
                                               0, nullptr, SQL_DRIVER_NOPROMPT)));
    auto stillUsable = [&] {
        SQLHSTMT st = SQL_NULL_HSTMT;
        if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st) != SQL_SUCCESS) return false;
        bool ok = SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>("select 1")), SQL_NTS));
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return ok;
    };
    {
        TQelODBCConnection c;
        c.LoginPromt = false;
        bool after = false;
        c.AfterConnect = [&](TQelODBCConnection&) { after = true; };
        EXPECT_FALSE(c.AttachHandle(dbc));
        EXPECT_TRUE(c.Connected());
        EXPECT_FALSE(c.OwnsHandle());
        EXPECT_FALSE(after);
        auto q = OpenQuery(c, "select 41 + 1");
        EXPECT_EQ(SlotText(*q, 0, *q->GetField(0)), "42");
        c.Disconnect();
        EXPECT_FALSE(c.Connected());
        EXPECT_TRUE(stillUsable());
        // A later connect opens a connection of our own, not the borrowed handle.
        c.ConnectionString = db.ConnStr();
        c.Connect();
        EXPECT_TRUE(c.Connected());
        EXPECT_NE(c.ConnectionHandle(), static_cast<ODBCHandle>(dbc));
        EXPECT_FALSE(c.AttachHandle(dbc));
    }
    EXPECT_TRUE(stillUsable());
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);

    TQelODBCConnection none;
    EXPECT_TRUE(none.AttachHandle(nullptr));
    EXPECT_TRUE(none.OwnsHandle());
}

// Nested levels: only the outermost commit commits; any rollback ends everything.
TEST(ODBCConnection, NestsTransactions) {
    for (const auto& d : kDrivers) {
        SCOPED_TRACE(d.name);
        if (d.postgres && PgConnStr().empty()) continue;
        TempSqliteDb db;
        auto c = Connect(ConnStrFor(d, db));
        if (d.postgres) Exec(*c, "drop table if exists trans");
        Exec(*c, "create table trans (x integer)");
        auto count = [&] {
            auto q = OpenQuery(*c, "select count(*) from trans");
            return SlotText(*q, 0, *q->GetField(0));
        };
        c->BeginTrans();
        c->BeginTrans();
        Exec(*c, "insert into trans values (1)");
        c->CommitTrans();
        EXPECT_TRUE(c->InTransaction());
        c->RollbackTrans();
        EXPECT_FALSE(c->InTransaction());
        EXPECT_EQ(count(), "0");  // the inner commit committed nothing

        c->BeginTrans();
        c->BeginTrans();
        Exec(*c, "insert into trans values (2)");
        c->CommitTrans();
        c->CommitTrans();
        EXPECT_FALSE(c->InTransaction());
        c->RollbackTrans();  // nothing open: nothing happens
        EXPECT_EQ(count(), "1");
    }
}

std::string BackendPid(TQelODBCConnection& c) {
    auto q = OpenQuery(c, "select pg_backend_pid()");
    return SlotText(*q, 0, *q->GetField(0));
}

void TerminateBackend(const std::string& pid) {
    auto killer = Connect(PgConnStr());
    auto q = OpenQuery(*killer, "select pg_terminate_backend(" + pid + ")");
    ASSERT_EQ(SlotText(*q, 0, *q->GetField(0)), "true");
}

// The server ends the session; the next statement sees a lost link and is repaired.
TEST(ODBCConnection, RecoversALostLinkAndRunsTheStatementAgain) {
    KUBRIX_REQUIRE_PG(true);
    struct LostCase {
        const char* name;
        bool confirm;
        int answer;
        bool repaired;
    };
    const LostCase cases[] = {
        {"no question asked", false, 0, true},
        {"user agrees", true, IDYES, true},
        {"user declines", true, IDNO, false},
    };
    for (const auto& lc : cases) {
        SCOPED_TRACE(lc.name);
        RecordingUiServices ui;
        UiServicesScope scope(ui);
        ui.Answers.push_back(lc.answer);
        auto c = Connect(PgConnStr());
        c->ConfirmReconnect = lc.confirm;
        const std::string before = BackendPid(*c);
        TerminateBackend(before);
        TQelODBCQuery q(c.get());
        q.OnODBCError = [](const std::string&, const std::string&) {};
        q.SetSQL("select pg_backend_pid()");
        if (lc.repaired) {
            q.Open();
            ASSERT_EQ(q.RowCount(), 1);
            EXPECT_NE(SlotText(q, 0, *q.GetField(0)), before);
            EXPECT_TRUE(c->Connected());
        } else {
            try {
                q.Open();
                FAIL() << "no exception";
            } catch (const TCommunicationLinkFailureEx& e) {
                const std::string state = std::string(e.what()).substr(0, 5);
                EXPECT_TRUE(state == "57P01" || state == "08S01") << e.what();
            }
            EXPECT_FALSE(q.Active());
        }
        ASSERT_EQ(ui.Messages.size(), lc.confirm ? 1u : 0u);
        if (lc.confirm) {
            EXPECT_EQ(ui.Messages[0].Text.rfind("Прервана связь с сервером.\rВосстановить связь с сервером?\r\r", 0), 0u);
        }
    }
}

TEST(ODBCConnection, RefusesToReconnectInsideATransaction) {
    KUBRIX_REQUIRE_PG(true);
    auto c = Connect(PgConnStr());
    c->BeginTrans();
    TerminateBackend(BackendPid(*c));
    TQelODBCQuery q(c.get());
    q.OnODBCError = [](const std::string&, const std::string&) {};
    q.SetSQL("select 1");
    try {
        q.Open();
        FAIL() << "no exception";
    } catch (const TCommunicationLinkFailureEx&) {
        FAIL() << "the repair was not attempted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Восстановление связи с сервером не возможно в открытой транзакции.");
    }
    EXPECT_TRUE(c->InTransaction());
}

TEST(ODBCConnection, ExecuteRaisesStatementErrors) {
    TempSqliteDb db;
    auto c = Connect(db.ConnStr());
    EXPECT_THROW(c->Execute("this is not sql"), EQelODBCDatabaseError);
    EXPECT_NO_THROW(c->Execute("create table t (x integer)"));
    EXPECT_TRUE(c->Clients().empty());
}

TEST(ODBCConnection, DisconnectClosesTheStatementsAndDestructionDetachesThem) {
    TempSqliteDb db;
    auto c = Connect(db.ConnStr());
    TQelODBCQuery q(c.get());
    q.OnODBCError = [](const std::string&, const std::string&) {};
    q.SetSQL("select 1");
    q.Open();
    EXPECT_TRUE(q.Active());
    c->Disconnect();
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.RowCount(), 0);
    c.reset();
    EXPECT_EQ(q.Connection(), nullptr);
}

}  // namespace
}  // namespace kubrix::test
