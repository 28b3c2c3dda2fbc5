// Editing the in-memory dataset and writing the changes to a real database: the generated
// update command, ":name" parameter texts, the insert, update and delete statements in their
// own transaction, refused posts, changes kept in memory, automatic increments, column
// rights, the texts generated from one base name, and a row changed by another user.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/ClientIndex.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCQuery.h"
#include "support/Errors.h"
#include "testsupport/OdbcTestEnv.h"

namespace kubrix {
namespace {

template <class F>
F* AddField(TQelODBCClient& ds, const char* name, int size = 0) {
    auto* f = new F(&ds);
    f->SetFieldName(name);
    if (size) f->SetSize(size);
    f->SetDataSet(&ds);
    return f;
}

// ---------------------------------------------------------------- texts

TEST(PostTexts, BaseNameGeneratesTheStatementsAndScripts) {
    TQelODBCClient ds;
    auto* id = AddField<TQelODBCIntegerField>(ds, "idGoods");
    auto* name = AddField<TQelODBCStringField>(ds, "Name", 20);
    auto* price = AddField<TQelODBCFloatField>(ds, "Price");
    ds.SetOriginalTblName("Goods");

    EXPECT_EQ(ds.GetSQL_Select(), "{call upGoods_Get}");
    EXPECT_EQ(ds.GetSQL_Resync(), "{call upGoods_Get (?)}");
    EXPECT_EQ(ds.GetSQL_Delete(), "delete vGoods where idGoods=?");
    EXPECT_EQ(ds.GetSQL_Insert(),
              "insert vGoods([idGoods], [Name], [Price]) values(?,?,?)\r\nexec upGoods_Get @idGoods=@@identity");
    EXPECT_EQ(ds.ResyncCommand, "exec upGoods_Get @idGoods=:idGoods");
    EXPECT_EQ(ds.KeyName, "idGoods");
    EXPECT_EQ(ds.TblName, "vGoods");
    EXPECT_EQ(ds.DelQuestion, "Удалить запись?");

    EXPECT_TRUE(id->ReadOnly());
    for (TField* f : {static_cast<TField*>(name), static_cast<TField*>(price)}) {
        SCOPED_TRACE(f->FieldName());
        IODBCField* odbc = AsODBCField(f);
        EXPECT_FALSE(f->ReadOnly());
        EXPECT_EQ(odbc->GetUpdate_ValueScript(), "[" + f->FieldName() + "]=:" + f->FieldName());
        EXPECT_EQ(odbc->GetUpdate_KeyScript(), "idGoods=:idGoods");
        EXPECT_EQ(odbc->GetTableName(), "vGoods");
    }
    struct ParamCase {
        const char* name;
        TFieldType type;
        Variant value;
    };
    const ParamCase inserts[] = {
        {"idGoods_", ftInteger, Variant::FromInt32(-1)},
        {"Name", ftString, Variant::Null()},
        {"Price", ftFloat, Variant::Null()},
    };
    ASSERT_EQ(ds.SQL_Insert_Params().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(inserts[i].name);
        EXPECT_EQ(ds.SQL_Insert_Params()[i].GetName(), inserts[i].name);
        EXPECT_EQ(ds.SQL_Insert_Params()[i].DataType, inserts[i].type);
        EXPECT_EQ(ds.SQL_Insert_Params()[i].Value, inserts[i].value);
    }
    for (TQelODBCParams* params : {&ds.SQL_Delete_Params(), &ds.SQL_Resync_Params()}) {
        ASSERT_EQ(params->Count(), 1);
        EXPECT_EQ((*params)[0].GetName(), "idGoods");
        EXPECT_TRUE((*params)[0].IsNull());
    }
}

// A dataset in memory with fields A, B (table T, key "id=:OLD_id"), C (table U), S1 and S2
// (the same update script of their own) and N (no script); one record, in the edit state.
struct UpdateFixture {
    TQelODBCClient ds;
    std::vector<TField*> fields;
    UpdateFixture() {
        auto* id = AddField<TQelODBCIntegerField>(ds, "id");
        for (const char* n : {"A", "B", "C", "S1", "S2", "N"}) fields.push_back(AddField<TQelODBCIntegerField>(ds, n));
        for (int i : {0, 1}) Script(i, "T", std::string("[") + fields[i]->FieldName() + "]=:" + fields[i]->FieldName(), "id=:OLD_id");
        Script(2, "U", "[C]=:C", "id=:OLD_id");
        for (int i : {3, 4}) AsODBCField(fields[i])->SetUpdateScript("exec recount :id");
        ds.Update_mask = "UPDATE %TBL% SET %VAL% WHERE %KEY%";
        ds.Open();
        ds.AddRecord();
        ds.SetFieldValueInBuffer(id, 0, Variant::FromInt32(7));
        ds.First();
        ds.Edit();
    }
    void Script(int i, const char* table, const std::string& value, const char* key) {
        IODBCField* odbc = AsODBCField(fields[static_cast<std::size_t>(i)]);
        odbc->SetTableName(table);
        odbc->SetUpdate_ValueScript(value);
        odbc->SetUpdate_KeyScript(key);
    }
};

TEST(PostTexts, UpdateCommandGroupsChangedFieldsByTableAndKey) {
    struct Case {
        const char* name;
        std::vector<int> changed;  // positions in A, B, C, S1, S2, N
        const char* resync;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"nothing with a script", {5}, "", {}},
        {"one field", {1}, "", {"UPDATE T SET [B]=:B WHERE id=:OLD_id"}},
        {"two of one table", {1, 0}, "", {"UPDATE T SET [A]=:A, [B]=:B WHERE id=:OLD_id"}},
        {"two tables", {2, 0},
         "",
         {"UPDATE T SET [A]=:A WHERE id=:OLD_id", "UPDATE U SET [C]=:C WHERE id=:OLD_id"}},
        {"one script for two fields", {3, 4}, "", {"exec recount :id"}},
        {"scripts sort before tables, resync last",
         {0, 3},
         "select * from T where id=:id",
         {"UPDATE T SET [A]=:A WHERE id=:OLD_id", "exec recount :id", "select * from T where id=:id"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateFixture f;
        f.ds.ResyncCommand = c.resync;
        for (int i : c.changed) f.fields[static_cast<std::size_t>(i)]->SetAsInteger(i + 1);
        EXPECT_EQ(f.ds.UpdatePieces(f.ds.ActiveBuffer()), c.pieces);
    }
}

TEST(PostTexts, ParameterMarkersBecomeQuestionMarks) {
    UpdateFixture f;
    f.fields[0]->SetAsInteger(5);
    struct Case {
        const char* text;
        const char* sql;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"update T set [A]=:A where id=:OLD_id", "update T set [A]=? where id=?", {"A", "OLD_id"}},
        {"select x::int, ':A' from T where id=:Id;", "select x::int, ':A' from T where id=?;", {"Id"}},
        {"a = :", "a = :", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TQelODBCQuery q;
        EXPECT_EQ(f.ds.PrepareParams(c.text, q), c.sql);
        std::vector<std::string> names;
        for (int i = 0; i < q.Parameters().Count(); ++i) names.push_back(q.Parameters()[i].GetName());
        EXPECT_EQ(names, c.names);
    }
    // "OLD_" takes the before-image of the buffer being posted, other names its current value.
    TQelODBCQuery q;
    f.ds.PrepareParams("x=:A and y=:old_A", q);
    f.ds.PostBuffer = f.ds.ActiveBuffer();
    f.ds.SetParamValue(q.Parameters()[0]);
    f.ds.SetParamValue(q.Parameters()[1]);
    f.ds.PostBuffer = nullptr;
    EXPECT_EQ(q.Parameters()[0].Value, Variant::FromInt32(5));
    EXPECT_TRUE(q.Parameters()[1].IsNull());

    try {
        f.ds.PrepareParams("update T set A=:Missing", q);
        FAIL() << "an unknown name was accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "UPDATE:Поле \"Missing\" не найдено:\rupdate T set A=:Missing");
    }
    // With a handler for parameter values the name is the handler's to fill.
    f.ds.OnGetParamValue = [](TQelODBCClient&, int, TQelODBCParam& p) { p.Value = Variant::FromInt32(1); };
    EXPECT_EQ(f.ds.PrepareParams("update T set A=:Missing", q), "update T set A=?");
}

// ---------------------------------------------------------------- in memory

TEST(PostMemory, ChangesKeptInMemoryWithoutDoPostToDB) {
    TQelODBCClient ds;
    auto* id = AddField<TQelODBCIntegerField>(ds, "ID");
    auto* name = AddField<TQelODBCStringField>(ds, "NAME", 10);
    ds.SetDoPostToDB(false);
    ds.Open();
    for (int i = 0; i < 2; ++i) {
        ds.AddRecord();
        ds.SetFieldValueInBuffer(id, i, Variant::FromInt32(i + 1));
    }
    ds.First();
    ds.Edit();
    name->SetAsString("b");
    ds.Post();
    EXPECT_EQ(ds.GetMemoryRecord(0)->UpdateStatus, mrsModified);
    ds.Append();
    id->SetAsInteger(3);
    ds.Post();
    EXPECT_EQ(ds.GetMemoryRecord(2)->UpdateStatus, mrsInserted);
    EXPECT_EQ(ds.ChangedRecords.size(), 2u);

    ds.Delete();  // the inserted record: gone
    EXPECT_EQ(ds.RealRecordCount(), 2);
    EXPECT_EQ(ds.ChangedRecords.size(), 1u);
    ds.First();
    ds.Next();
    ds.Delete();  // a loaded one: stays, hidden
    EXPECT_EQ(ds.RealRecordCount(), 2);
    EXPECT_EQ(ds.GetMemoryRecord(1)->UpdateStatus, mrsDeleted);
    EXPECT_EQ(ds.RecordCount(), 2);
    ds.First();
    EXPECT_EQ(ds.MoveBy(5), 0);  // only the first record is shown

    ds.SetDoPostToDB(true);
    EXPECT_TRUE(ds.ChangedRecords.empty());
    EXPECT_EQ(ds.GetMemoryRecord(0)->UpdateStatus, mrsNone);
}

TEST(PostMemory, AutomaticIncrementsFollowTheSignAndStartOverOnClose) {
    for (auto sign : {TQelODBCClient::snPlus, TQelODBCClient::snMinus}) {
        TQelODBCClient ds;
        TField* inc = QelODBCFieldClass(ftAutoInc)(&ds);
        inc->SetFieldName("N");
        inc->SetDataSet(&ds);
        // Small and plain integers count along when marked so, and only then.
        TField* small = AddField<TQelODBCSmallintField>(ds, "S");
        small->SetAutoGenerateValue(TField::arAutoInc);
        TField* plain = AddField<TQelODBCIntegerField>(ds, "I");
        plain->SetAutoGenerateValue(TField::arDefault);
        ds.AutoIncSign = sign;
        ds.Open();
        std::vector<int> got;
        for (int i = 0; i < 2; ++i) {
            ds.Append();
            ds.Post();
            got.push_back(inc->AsInteger());
            EXPECT_EQ(small->AsInteger(), inc->AsInteger());
            EXPECT_TRUE(plain->IsNull());
        }
        const int s = sign == TQelODBCClient::snMinus ? -1 : 1;
        EXPECT_EQ(got, (std::vector<int>{s * 1, s * 2}));
        ds.Close();
        EXPECT_EQ(ds.NextAutoIncValue, 1);
    }
}

TEST(PostMemory, ActiveGivenWhileSettingUpOpensWhenDone) {
    TQelODBCClient ds;
    AddField<TQelODBCIntegerField>(ds, "ID");
    ds.BeginLoading();
    ds.SetOriginalTblName("Goods");  // only stored while setting up
    ds.Open();
    EXPECT_FALSE(ds.Active());
    EXPECT_TRUE(ds.StoredActive);
    EXPECT_TRUE(ds.GetSQL_Select().empty());
    ds.Loaded();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.OriginalTblName(), "Goods");
}

// ---------------------------------------------------------------- on a real database

std::string Unique(const char* base) { return std::string(base) + "_" + std::to_string(getpid()); }

// A table of goods (id, name, qty with a check qty >= 0) and a dataset over it whose writes
// are in the server's own dialect: the plain update template with the row count checked.
struct DbFixture {
    test::TempSqliteDb db;
    std::string connStr;
    std::string table;
    std::unique_ptr<TQelODBCConnection> connection;
    TComponent owner;
    TQelODBCClient* ds = nullptr;

    bool postgres;
    DbFixture(const test::DriverCase& d, const char* base)
        : connStr(test::ConnStrFor(d, db)), table(Unique(base)), postgres(d.postgres) {
        connection = test::Connect(connStr);
        test::Exec(*connection, "drop table if exists " + table);
        test::Exec(*connection, "create table " + table +
                                    " (id integer primary key, name varchar(20), qty integer check (qty >= 0))");
        test::Exec(*connection, "insert into " + table + " values (1, 'один', 5)");
        test::Exec(*connection, "insert into " + table + " values (2, 'два', 7)");
        ds = MakeDataSet(*connection, "id=:OLD_id");
    }
    ~DbFixture() {
        try {
            test::Exec(*connection, "drop table " + table);
        } catch (...) {
            // the table goes with the SQLite file anyway; a PostgreSQL leftover is harmless
        }
    }
    TQelODBCClient* MakeDataSet(TQelODBCConnection& c, const std::string& key) {
        auto* d = new TQelODBCClient(&owner);
        d->SetConnection(&c);
        d->SetSQL_Select("select id, name, qty from " + table + " order by id");
        for (const char* n : {"name", "qty"}) {
            IODBCField* odbc = AsODBCField(d->FieldByName(n));
            odbc->SetTableName(table);
            odbc->SetUpdate_ValueScript(std::string(n) + "=:" + n);
            odbc->SetUpdate_KeyScript(key);
        }
        d->Update_mask = kUpdateMaskPlain;
        d->Update_CheckRowCount = true;
        d->KeyName = "id";
        // The SQLite driver runs an insert that returns its row, but cannot fetch that row.
        d->SQL_Insert_WithResync = postgres;
        d->SetSQL_Insert("insert into " + table + " (id, name, qty) values (?, ?, ?)" +
                         (postgres ? " returning id, name, qty" : ""));
        const char* names[] = {"id", "name", "qty"};
        for (int i = 0; i < 3; ++i) d->SQL_Insert_Params()[i].SetName(names[i]);
        d->SetSQL_Delete("delete from " + table + " where id = ?");
        d->SQL_Delete_Params()[0].SetName("id");
        static_cast<TQelODBCIntegerField*>(d->FieldByName("qty"))->Setcalc_total(true);
        d->Open();
        return d;
    }
    std::string Db(const std::string& what) {
        auto q = test::OpenQuery(*connection, "select " + what + " from " + table + " order by id");
        std::string out;
        for (int r = 0; r < q->RowCount(); ++r) out += (r ? ";" : "") + test::SlotText(*q, r, *q->GetField(0));
        return out;
    }
    Variant Total() {
        Variant v;
        ds->GetTotal(ds->FieldByName("qty"), v);
        return v;
    }
};

class PostOnDriver : public ::testing::TestWithParam<test::DriverCase> {};

TEST_P(PostOnDriver, EditInsertAndDeleteReachTheDatabase) {
    KUBRIX_REQUIRE_PG(GetParam().postgres);
    DbFixture f(GetParam(), "post_cycle");
    TQelODBCClient& ds = *f.ds;
    ds.First();
    ds.Edit();
    ds.FieldByName("name")->SetAsString("первый");
    ds.FieldByName("qty")->SetAsInteger(6);
    ds.Post();
    EXPECT_EQ(f.Db("name"), "первый;два");
    EXPECT_EQ(f.Db("qty"), "6;7");
    EXPECT_EQ(ds.GetMemoryRecord(0)->OldData(), nullptr);  // written: no before-image left
    EXPECT_EQ(f.Total(), Variant::FromInt32(13));
    EXPECT_FALSE(f.connection->InTransaction());

    ds.Append();
    ds.FieldByName("id")->SetAsInteger(3);
    ds.FieldByName("name")->SetAsString("три");
    ds.FieldByName("qty")->SetAsInteger(1);
    ds.Post();
    EXPECT_EQ(f.Db("name"), "первый;два;три");
    EXPECT_EQ(ds.RealRecordCount(), 3);
    EXPECT_EQ(f.Total(), Variant::FromInt32(14));

    ds.First();
    ds.Delete();
    EXPECT_EQ(f.Db("name"), "два;три");
    EXPECT_EQ(ds.RealRecordCount(), 2);
    EXPECT_EQ(f.Total(), Variant::FromInt32(8));

    // An edit that changed no field with a script sends nothing.
    ds.Edit();
    ds.FieldByName("id")->SetAsInteger(2);
    ds.Post();
    EXPECT_EQ(f.Db("id"), "2;3");
    ds.Close();
    EXPECT_TRUE(f.Total().IsNull());
}

TEST_P(PostOnDriver, RefusedPostLeavesEverythingAsItWas) {
    KUBRIX_REQUIRE_PG(GetParam().postgres);
    DbFixture f(GetParam(), "post_refused");
    TQelODBCClient& ds = *f.ds;
    TQelODBCClientIndex byQty;
    byQty.SetFieldName("qty");
    byQty.SetData(&ds);
    ds.First();
    ds.Edit();
    ds.FieldByName("qty")->SetAsInteger(-1);  // breaks the check
    ds.FieldByName("name")->SetAsString("нет");
    try {
        ds.Post();
        FAIL() << "the database accepted a refused value";
    } catch (const EQelODBCDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("qty"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ds.State(), dsEdit);  // the user may correct and post again, or cancel
    EXPECT_FALSE(f.connection->InTransaction());
    EXPECT_EQ(f.Db("name"), "один;два");
    Variant v;
    ds.GetFieldValueFromBuffer(ds.FieldByName("qty"), 0, v);
    EXPECT_EQ(v, Variant::FromInt32(5));
    EXPECT_EQ(ds.GetMemoryRecord(0)->OldData(), nullptr);
    EXPECT_EQ(byQty.FindRecordByValue(Variant::FromInt32(5)), 0);
    EXPECT_EQ(f.Total(), Variant::FromInt32(12));
    EXPECT_EQ(ds.FieldByName("qty")->OldValue(), Variant::FromInt32(5));

    ds.FieldByName("qty")->SetAsInteger(4);
    ds.Post();
    EXPECT_EQ(f.Db("qty"), "4;7");
    EXPECT_EQ(byQty.FindRecordByValue(Variant::FromInt32(4)), 0);
    EXPECT_EQ(f.Total(), Variant::FromInt32(11));

    // A refused insert adds nothing.
    ds.Append();
    ds.FieldByName("id")->SetAsInteger(1);  // key taken
    EXPECT_THROW(ds.Post(), EQelODBCDatabaseError);
    ds.Cancel();
    EXPECT_EQ(ds.RealRecordCount(), 2);
    EXPECT_FALSE(f.connection->InTransaction());
}

TEST_P(PostOnDriver, InsertWithoutAKeyValueIsRolledBack) {
    KUBRIX_REQUIRE_PG(GetParam().postgres);
    DbFixture f(GetParam(), "post_nokey");
    TQelODBCClient& ds = *f.ds;
    // The row is inserted, but the key stays unknown: the statement returns none (PostgreSQL),
    // or the server made one up that nobody read back (SQLite).
    ds.SetSQL_Insert("insert into " + f.table + " (id, name) values (?, ?)" +
                     (f.postgres ? " returning null as id, name, qty" : ""));
    ds.SQL_Insert_Params()[0].SetName("id");
    ds.SQL_Insert_Params()[1].SetName("name");
    ds.Append();
    if (f.postgres) ds.FieldByName("id")->SetAsInteger(9);
    try {
        ds.Post();
        FAIL() << "a missing key was accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Не определено значение ключевого поля");
    }
    EXPECT_EQ(f.Db("id"), "1;2");
    EXPECT_FALSE(f.connection->InTransaction());
}

TEST_P(PostOnDriver, ResyncOnFirstAccessAndInitRecord) {
    KUBRIX_REQUIRE_PG(GetParam().postgres);
    DbFixture f(GetParam(), "post_resync");
    TQelODBCClient& ds = *f.ds;
    ds.Close();
    // Totals would read, and so re-read, every record as the dataset opens.
    static_cast<TQelODBCIntegerField*>(ds.FieldByName("qty"))->Setcalc_total(false);
    ds.SetSQL_Resync("select id, name, qty from " + f.table + " where id = ?");
    ds.SQL_Resync_Params()[0].SetName("id");
    ds.DoResyncRecordOnFirstAccess = true;
    int afterLoad = 0;
    std::vector<int> inits;
    ds.AfterDataLoad = [&](TQelODBCClient&) { ++afterLoad; };
    ds.OnInitRecord = [&](TQelODBCClient&, int index) { inits.push_back(index); };
    ds.Open();
    EXPECT_EQ(afterLoad, 0);
    EXPECT_EQ(inits, std::vector<int>{0});  // the cursor's first record: re-read as it is shown
    EXPECT_FALSE(ds.GetMemoryRecord(1)->Loaded);
    EXPECT_EQ(ds.ColumnMap, (std::vector<int>{0, 1, 2}));
    test::Exec(*f.connection, "update " + f.table + " set name = 'ДВА' where id = 2");
    Variant v;
    ds.GetFieldValueFromBuffer(ds.FieldByName("name"), 1, v);
    EXPECT_EQ(v, Variant::FromAnsi("ДВА"));
    EXPECT_TRUE(ds.GetMemoryRecord(1)->Loaded);
    EXPECT_EQ(inits, (std::vector<int>{0, 1}));
    // A re-read that finds no row leaves the record as it is.
    test::Exec(*f.connection, "delete from " + f.table + " where id = 2");
    ds.ResyncData(1);
    ds.GetFieldValueFromBuffer(ds.FieldByName("name"), 1, v);
    EXPECT_EQ(v, Variant::FromAnsi("ДВА"));
    ds.Close();
    EXPECT_TRUE(ds.ColumnMap.empty());

    // Without AfterDataLoad every record is initialised once the rows are in.
    ds.AfterDataLoad = nullptr;
    ds.DoResyncRecordOnFirstAccess = false;
    inits.clear();
    ds.Open();
    EXPECT_EQ(inits, (std::vector<int>{0}));
}

TEST_P(PostOnDriver, SelectParametersTakeTheirValuesByName) {
    KUBRIX_REQUIRE_PG(GetParam().postgres);
    DbFixture f(GetParam(), "post_params");
    TQelODBCClient master;
    AddField<TQelODBCIntegerField>(master, "minqty");
    master.Open();
    master.AddRecord();
    master.SetFieldValueInBuffer(master.FieldByName("minqty"), 0, Variant::FromInt32(6));
    master.First();

    TQelODBCClient& ds = *f.ds;
    ds.Close();
    ds.SQL_Select_InitFields = false;
    ds.SetSQL_Select("select id, name, qty from " + f.table + " where qty >= ? order by id");
    ds.SQL_Select_Params()[0].SetName("minqty");
    EXPECT_EQ(ds.SQL_Select_Params()[0].DataType, ftInteger);
    ds.AssignSelectParamsFrom(master);
    ds.Open();
    EXPECT_EQ(ds.RealRecordCount(), 1);

    ds.Close();
    ds.OnGetParamValue = [](TQelODBCClient&, int, TQelODBCParam& p) {
        if (p.GetName() == "minqty") p.Value = Variant::FromInt32(0);
    };
    ds.Open();
    EXPECT_EQ(ds.RealRecordCount(), 2);

    ds.Close();
    ds.OnGetParamValue = nullptr;
    ds.SQL_Select_Params()[0].SetName("nothing");
    try {
        ds.AssignSelectParamsFrom(master);
        FAIL() << "a parameter that names nothing was accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("UPDATE:Поле \"nothing\" не найдено:\r", 0), 0u) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, PostOnDriver, ::testing::ValuesIn(test::kDrivers), test::DriverName);

// Two users load the same row; the second one's edit, posted after the first one's, is refused
// and changes nothing, so that it can be cancelled, refreshed and made again.
TEST(PostConcurrent, SecondEditOfAChangedRowIsRefused) {
    KUBRIX_REQUIRE_PG(true);
    DbFixture f(test::kDrivers[1], "post_concurrent");
    auto second = test::Connect(f.connStr);
    const std::string key = "id=:OLD_id and name=:OLD_name";
    TQelODBCClient* one = f.MakeDataSet(*f.connection, key);
    TQelODBCClient* two = f.MakeDataSet(*second, key);
    for (TQelODBCClient* ds : {one, two}) {
        ds->First();
        ds->Edit();
    }
    one->FieldByName("name")->SetAsString("первый");
    one->Post();
    two->FieldByName("name")->SetAsString("второй");
    try {
        two->Post();
        FAIL() << "the second edit overwrote the first";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), kMsgChangedByAnotherUser);
    }
    EXPECT_EQ(f.Db("name"), "первый;два");
    EXPECT_FALSE(second->InTransaction());
    Variant v;
    two->GetFieldValueFromBuffer(two->FieldByName("name"), 0, v);
    EXPECT_EQ(v, Variant::FromAnsi("один"));
    EXPECT_EQ(two->FieldByName("name")->AsString(), "второй");

    two->Cancel();
    two->Close();
    two->Open();
    two->Edit();
    two->FieldByName("name")->SetAsString("второй");
    two->Post();
    EXPECT_EQ(f.Db("name"), "второй;два");
}

// Resync and update commands in the server's own dialect: the updated row comes back.
TEST(PostConcurrent, UpdateCommandReturnsTheRowOnPostgreSQL) {
    KUBRIX_REQUIRE_PG(true);
    DbFixture f(test::kDrivers[1], "post_command");
    TQelODBCClient& ds = *f.ds;
    for (bool checked : {false, true}) {
        SCOPED_TRACE(checked);
        ds.Update_CheckRowCount = checked;
        ds.UpdateCommand = "update " + f.table + " set name = upper(:name) where id = :OLD_id returning id, name, qty";
        ds.First();
        ds.Edit();
        ds.FieldByName("name")->SetAsString(checked ? "яблоко" : "груша");
        ds.Post();
        EXPECT_EQ(ds.FieldByName("name")->AsString(), checked ? "ЯБЛОКО" : "ГРУША");
    }
    ds.UpdateCommand.clear();
    ds.Update_CheckRowCount = false;  // one command: the update, then the row
    ds.ResyncCommand = "select id, lower(name) as name, qty from " + f.table + " where id = :id";
    ds.Edit();
    ds.FieldByName("name")->SetAsString("СЛИВА");
    ds.Post();
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "слива");
    EXPECT_EQ(f.Db("name"), "СЛИВА;два");
}

}  // namespace
}  // namespace kubrix
