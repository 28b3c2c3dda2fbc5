// Opening the in-memory dataset from an SQL select on a real driver: fields from the
// described columns, every row loaded into the records, closing clears, errors collected.

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "dataset/ClientIndex.h"
#include "dataset/QelODBCClient.h"
#include "dataset/ODBCFields.h"
#include "dataset/SqliteDataset.h"
#include "odbc/ODBCErrors.h"
#include "support/Errors.h"
#include "testsupport/OdbcTestEnv.h"

namespace kubrix {
namespace {

struct LoadFixture {
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    TComponent owner;
    TQelODBCClient* ds;

    LoadFixture() : ds(new TQelODBCClient(&owner)) {
        connection.LoginPromt = false;
        connection.ConnectionString = file.ConnStr();
        connection.Execute(
            "create table sales (id integer, name varchar(50), amount double, day date, note text, "
            "paid boolean, code varchar(3), \"full name\" varchar(10))");
        connection.Execute(
            "insert into sales values (1, 'Жёлтый', 10.5, '2024-03-01', 'первая', 1, 'абвгдежзий', 'a b')");
        connection.Execute("insert into sales values (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
        ds->SetName("qData");
        ds->SetConnection(&connection);
    }
    Variant Value(const std::string& field, int index) {
        Variant v;
        ds->GetFieldValueFromBuffer(ds->FieldByName(field), index, v);
        return v;
    }
};

// Record index holds name, v and the text of column (nullptr: NULL), read through the record store.
void ExpectRecord(TQelODBCClient& ds, int index, const char* name, int v, const char* column, const char* text) {
    Variant value;
    ds.GetFieldValueFromBuffer(ds.FieldByName("name"), index, value);
    EXPECT_EQ(value, Variant::FromAnsi(name));
    ds.GetFieldValueFromBuffer(ds.FieldByName("v"), index, value);
    EXPECT_EQ(value, Variant::FromInt32(v));
    ds.GetFieldValueFromBuffer(ds.FieldByName(column), index, value);
    EXPECT_EQ(value, text ? Variant::FromAnsi(text) : Variant::Null());
}

const char* kSelect = "select id, name, amount, day, note, paid, code, \"full name\" from sales order by id";

TEST(LoadSql, SettingTheSelectCreatesOneNamedFieldPerColumn) {
    LoadFixture f;
    f.ds->SetSQL_Select(kSelect);
    struct FieldCase {
        const char* field;
        TFieldType type;
        int size;
        const char* component;
    };
    const FieldCase cases[] = {
        {"id", ftInteger, 0, "qDataId"},
        {"name", ftString, 50, "qDataName"},
        {"amount", ftFloat, 0, "qDataAmount"},
        {"day", ftDateTime, 0, "qDataDay"},
        {"note", ftMemo, 0, "qDataNote"},
        {"paid", ftBoolean, 0, "qDataPaid"},
        {"code", ftString, 3, "qDataCode"},
        {"full name", ftString, 10, "qDataField7"},
    };
    ASSERT_EQ(f.ds->FieldCount(), 8);
    for (const auto& fc : cases) {
        SCOPED_TRACE(fc.field);
        TField* field = f.ds->FindField(fc.field);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->DataType(), fc.type);
        EXPECT_EQ(field->Size(), fc.size);
        EXPECT_EQ(field->Name(), fc.component);
        EXPECT_NE(AsODBCField(field), nullptr);
    }
    // The same text again creates nothing new.
    TField* before = f.ds->FieldByName("id");
    f.ds->SetSQL_Select(kSelect);
    EXPECT_EQ(f.ds->FieldCount(), 8);
    EXPECT_EQ(f.ds->FieldByName("id"), before);
}

TEST(LoadSql, OpeningLoadsEveryRowAndClosingClears) {
    LoadFixture f;
    f.ds->SetSQL_Select(kSelect);
    int loaded = 0;
    f.ds->AfterDataLoad = [&](TQelODBCClient&) { ++loaded; };
    f.ds->Open();
    ASSERT_EQ(f.ds->RealRecordCount(), 2);
    EXPECT_EQ(loaded, 1);
    struct ValueCase {
        const char* field;
        Variant first;
    };
    const ValueCase cases[] = {
        {"id", Variant::FromInt32(1)},
        {"name", Variant::FromAnsi("Жёлтый")},
        {"amount", Variant::FromDouble(10.5)},
        {"note", Variant::FromAnsi("первая")},
        {"paid", Variant::FromBool(true)},
        {"code", Variant::FromAnsi("абвгдежзий")},  // longer than declared: kept whole
        {"full name", Variant::FromAnsi("a b")},
    };
    for (const auto& vc : cases) {
        SCOPED_TRACE(vc.field);
        EXPECT_EQ(f.Value(vc.field, 0), vc.first);
        if (std::string(vc.field) != "id") {
            EXPECT_TRUE(f.Value(vc.field, 1).IsNull()) << "second row is NULL";
        }
    }
    Variant day = f.Value("day", 0);
    ASSERT_EQ(day.Type(), VT_DATE);
    EXPECT_DOUBLE_EQ(day.ToDate(), 45352.0);  // 2024-03-01
    EXPECT_EQ(f.ds->GetMemoryRecord(0)->RecordID, INT32_MIN + 1);
    // The over-long text was read whole: no notice of a cut value.
    EXPECT_TRUE(f.ds->Errors.empty());

    f.ds->Close();
    EXPECT_EQ(f.ds->RealRecordCount(), 0);
    f.ds->Open();  // loads again
    EXPECT_EQ(f.ds->RealRecordCount(), 2);
    EXPECT_EQ(f.Value("id", 1), Variant::FromInt32(2));
}

TEST(LoadSql, BlankSelectCreatesNothing) {
    for (const char* text : {"", "   \n\t"}) {
        SCOPED_TRACE(text);
        LoadFixture f;
        f.ds->SetSQL_Select(text);
        EXPECT_EQ(f.ds->FieldCount(), 0);
        EXPECT_EQ(f.ds->FieldDefs().Count(), 0);
    }
}

TEST(LoadSql, RejectedSelectLeavesTheDatasetClosedWithTheDriversMessage) {
    LoadFixture f;
    try {
        f.ds->SetSQL_Select("select * from no_such_table");
        FAIL() << "no exception";
    } catch (const EQelODBCDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("no_such_table"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(f.ds->Active());
    EXPECT_EQ(f.ds->FieldCount(), 0);
    // Opening it anyway fails the same way and stays closed.
    f.ds->SQL_Select_InitFields = false;
    EXPECT_THROW(f.ds->Open(), EQelODBCDatabaseError);
    EXPECT_FALSE(f.ds->Active());
}

TEST(LoadSql, StoredFieldInformationLabelsFieldsAndAddsCompanions) {
    LoadFixture f;
    TFieldInfo main;
    main.Name = "amount";
    main.DataType = ftFloat;
    main.DisplayLabel = "Сумма";
    main.DisplayWidth = 14;
    int hit = f.connection.FieldInfoStorage().AddFieldInfo(main);
    TFieldInfo extra;
    extra.Name = "share";
    extra.DataType = ftFloat;
    extra.DisplayLabel = "Доля";
    extra.DisplayWidth = 6;
    f.connection.FieldInfoStorage().AddFieldInfo(hit, extra);

    f.ds->SetSQL_Select(kSelect);
    TField* amount = f.ds->FieldByName("amount");
    EXPECT_EQ(amount->DisplayLabel(), "Сумма");
    EXPECT_EQ(amount->DisplayWidth(), 14);
    TField* share = f.ds->FindField("share");
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->DisplayLabel(), "Доля");
    EXPECT_TRUE(share->ReadOnly());
    ASSERT_NE(AsODBCField(share), nullptr);
    EXPECT_EQ(AsODBCField(share)->GetMasterField(), amount);
    // The companion column is not in the result: it opens empty.
    f.ds->Open();
    EXPECT_TRUE(f.Value("share", 0).IsNull());
    EXPECT_EQ(f.Value("amount", 0), Variant::FromDouble(10.5));
}

// A load that fails part way (a value the slot cannot take, a field of another type) leaves
// the dataset closed and empty; once the cause is gone the next open reads every row again.
TEST(LoadSql, AFailedLoadLeavesNothingAndTheNextOpenStartsAfresh) {
    struct FailCase {
        const char* name;
        const char* message;                           // the error begins so
        std::function<void(LoadFixture&)> breakIt;     // before the first open
        std::function<void(LoadFixture&)> mendIt;      // before the second
    };
    const FailCase cases[] = {
        {"value out of range in row 3", "22003",
         [](LoadFixture& f) {
             f.connection.Execute("create table late (id integer, v bigint)");
             f.connection.Execute("insert into late values (1, 1), (2, 2), (3, 9000000000), (4, 4), (5, 5)");
             f.ds->SetSQL_Select("select id, v from late order by id");
         },
         [](LoadFixture& f) { f.connection.Execute("update late set v = 3 where id = 3"); }},
        {"a field of another type", "Не реализовано.",
         [](LoadFixture& f) {
             f.connection.Execute("create table late (id integer, v integer)");
             f.connection.Execute("insert into late values (1, 1), (2, 2), (3, 3), (4, 4), (5, 5)");
             f.ds->SQL_Select_InitFields = false;
             auto* id = new TQelODBCIntegerField(f.ds);
             id->SetFieldName("id");
             id->SetDataSet(f.ds);
             auto* v = new TQelODBCFloatField(f.ds);
             v->SetFieldName("v");
             v->SetDataSet(f.ds);
             f.ds->SetSQL_Select("select id, v from late order by id");
         },
         [](LoadFixture& f) {
             delete f.ds->FieldByName("v");
             auto* v = new TQelODBCIntegerField(f.ds);
             v->SetFieldName("v");
             v->SetDataSet(f.ds);
         }},
    };
    for (const auto& fc : cases) {
        SCOPED_TRACE(fc.name);
        LoadFixture f;
        fc.breakIt(f);
        try {
            f.ds->Open();
            FAIL() << "no exception";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()).rfind(fc.message, 0), 0u) << e.what();
        }
        EXPECT_FALSE(f.ds->Active());
        EXPECT_EQ(f.ds->RealRecordCount(), 0);
        fc.mendIt(f);
        f.ds->Open();
        ASSERT_EQ(f.ds->RealRecordCount(), 5);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(f.Value("v", i).ToInt64(), i + 1) << "row " << i + 1;
    }
}

// Stored companion entries are checked one by one: a bad one is left out with a notice that
// names it, the good ones and the query's own columns still open.
TEST(LoadSql, BadStoredCompanionsAreLeftOutWithANotice) {
    struct BadCase {
        const char* name;
        std::uint8_t type;
        std::int32_t size;
        std::int32_t precision;
        const char* notice;
    };
    const BadCase cases[] = {
        {"type the dataset cannot hold", ftCursor, 0, 0, "Сведения о поле \"bad\" пропущены: неизвестный тип 22"},
        {"type past the list", 200, 0, 0, "Сведения о поле \"bad\" пропущены: неизвестный тип 200"},
        {"unknown type", ftUnknown, 0, 0, "Сведения о поле \"bad\" пропущены: неизвестный тип 0"},
        {"negative size", ftString, -1, 0, "Сведения о поле \"bad\" пропущены: недопустимый размер -1"},
        {"size of 2^30", ftString, 1 << 30, 0, "Сведения о поле \"bad\" пропущены: недопустимый размер 1073741824"},
        {"largest size", ftString, INT32_MAX, 0, "Сведения о поле \"bad\" пропущены: недопустимый размер 2147483647"},
        {"negative precision", ftBCD, 0, -5, "Сведения о поле \"bad\" пропущены: недопустимая точность -5"},
    };
    for (const auto& bc : cases) {
        SCOPED_TRACE(bc.name);
        LoadFixture f;
        TFieldInfo main;
        main.Name = "amount";
        main.DataType = ftFloat;
        const int hit = f.connection.FieldInfoStorage().AddFieldInfo(main);
        TFieldInfo bad;
        bad.Name = "bad";
        bad.DataType = bc.type;
        bad.Size = bc.size;
        bad.Precision = bc.precision;
        f.connection.FieldInfoStorage().AddFieldInfo(hit, bad);
        TFieldInfo good;
        good.Name = "share";
        good.DataType = ftString;
        good.Size = 10;
        f.connection.FieldInfoStorage().AddFieldInfo(hit, good);

        f.ds->SetSQL_Select(kSelect);
        EXPECT_EQ(f.ds->FindField("bad"), nullptr);
        ASSERT_NE(f.ds->FindField("share"), nullptr);
        EXPECT_EQ(f.ds->FieldCount(), 9);
        EXPECT_EQ(f.ds->FieldDefs().Count(), 9);
        f.ds->Open();
        ASSERT_EQ(f.ds->RealRecordCount(), 2);
        EXPECT_EQ(f.Value("amount", 0), Variant::FromDouble(10.5));
        EXPECT_TRUE(f.Value("share", 0).IsNull());
        ASSERT_FALSE(f.ds->Errors.empty());
        EXPECT_EQ(f.ds->Errors[0], bc.notice);
    }
}

TEST(LoadSql, DisconnectClosesTheDataset) {
    LoadFixture f;
    f.ds->SetSQL_Select(kSelect);
    f.ds->Open();
    f.connection.Disconnect();
    EXPECT_FALSE(f.ds->Active());
    EXPECT_EQ(f.ds->RealRecordCount(), 0);
}

// A declared width is not enforced by every database: a longer text is loaded whole, so two
// values that share their first characters stay two values. The field keeps its declared Size;
// the record's slot widens, and the field objects read the whole value too.
TEST(LoadSql, TextLongerThanDeclaredIsLoadedWhole) {
    test::SqliteDataset f;
    TQelODBCConnection& connection = f.connection;
    connection.Execute("create table t (name varchar(5), v integer, after varchar(2))");
    // Enough rows before the long values that the records read so far are laid out again.
    connection.Execute("with recursive s(x) as (select 1 union all select x + 1 from s where x < 700) "
                       "insert into t select 'r' || x, x + 10, 'ё' from s");
    connection.Execute("insert into t values ('abcdefgh', 1, 'жж'), ('abcdexyz', 2, NULL), "
                       "('Съешь же ещё этих мягких', 3, 'щ')");
    TQelODBCClient* ds = f.ds;
    ds->SetSQL_Select("select name, v, after from t");
    ds->Open();
    ASSERT_EQ(ds->RealRecordCount(), 703);
    TField* name = ds->FieldByName("name");
    EXPECT_EQ(name->Size(), 5);
    const struct { int index; const char* name; int v; const char* after; } cases[] = {
        {0, "r1", 11, "ё"},
        {699, "r700", 710, "ё"},
        {700, "abcdefgh", 1, "жж"},
        {701, "abcdexyz", 2, nullptr},
        {702, "Съешь же ещё этих мягких", 3, "щ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRecord(*ds, c.index, c.name, c.v, "after", c.after);
        ds->SetRecNo(c.index + 1);
        EXPECT_EQ(name->GetAsString(), c.name);
    }
    EXPECT_TRUE(ds->Errors.empty());
    // A value written by the program is still cut to the declared characters.
    ds->Edit();
    name->SetAsString("Ёлки-палки");
    EXPECT_EQ(name->GetAsString(), "Ёлки-");
    ds->Cancel();
}

// A read-only load lays each text slot out as wide as its longest value instead of four bytes
// per declared character, still keeping every value whole, also one that arrives after many
// rows; what no longer fits such a slot is refused, never cut, and a key longer than any
// loaded value finds nothing even though its cut form would equal one.
TEST(LoadSql, ReadOnlyLoadLaysTextOutAsWideAsItsValues) {
    test::SqliteDataset f;
    TQelODBCConnection& connection = f.connection;
    connection.Execute("create table t (name varchar(40), v integer, city varchar(20))");
    connection.Execute("with recursive s(x) as (select 1 union all select x + 1 from s where x < 6000) "
                       "insert into t select 'r' || x, x, case when x % 2 = 0 then 'Казань' end from s");
    const std::string late = "Съешь же ещё этих мягких булок";  // 55 bytes, after 6000 rows
    connection.Execute("insert into t values ('" + late + "', 0, 'Ёкатеринбург')");
    TQelODBCClient* ds = f.ds;
    ds->SetSQL_Select("select name, v, city from t order by rowid");
    ds->Open();
    const int fullSize = ds->GetRecordSize();
    ds->Close();

    ds->ReadOnly = true;
    ds->Open();
    ASSERT_EQ(ds->RealRecordCount(), 6001);
    TField* name = ds->FieldByName("name");
    TField* city = ds->FieldByName("city");
    EXPECT_EQ(name->Size(), 40);
    EXPECT_GE(name->SlotLength(), late.size() + 1);
    EXPECT_LT(name->SlotLength(), 2 * late.size());
    EXPECT_EQ(city->SlotLength(), std::string("Ёкатеринбург").size() + 1);
    EXPECT_LT(ds->GetRecordSize(), fullSize / 2);
    const struct { int index; const char* name; int v; const char* city; } cases[] = {
        {0, "r1", 1, nullptr},
        {1, "r2", 2, "Казань"},
        {5999, "r6000", 6000, "Казань"},
        {6000, late.c_str(), 0, "Ёкатеринбург"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRecord(*ds, c.index, c.name, c.v, "city", c.city);
    }

    // Writing: what fits is stored, a longer text is refused and the old value stays.
    ds->SetFieldValueInBuffer(city, 0, Variant::FromAnsi("Москва"));
    const std::string longer = "Санкт-Петербург";  // 15 characters, 29 bytes
    try {
        ds->SetFieldValueInBuffer(city, 1, Variant::FromAnsi(longer));
        ADD_FAILURE() << "a longer text was stored";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("city"), std::string::npos) << e.what();
    }
    Variant v;
    ds->GetFieldValueFromBuffer(city, 0, v);
    EXPECT_EQ(v, Variant::FromAnsi("Москва"));
    ds->GetFieldValueFromBuffer(city, 1, v);
    EXPECT_EQ(v, Variant::FromAnsi("Казань"));
    // The same through a field object once the dataset is made writable.
    ds->ReadOnly = false;
    ds->SetRecNo(2);
    ds->Edit();
    EXPECT_THROW(city->SetAsString(longer), Exception);
    EXPECT_EQ(city->GetAsString(), "Казань");
    ds->Cancel();

    // A key index: the key cut to the slot would equal the longest name.
    TQelODBCClientIndex index;
    index.SetFieldName("name");
    index.SetData(ds);
    int position = -1;
    EXPECT_TRUE(index.FindRecord(position, Variant::FromAnsi(late)));
    EXPECT_FALSE(index.FindRecord(position, Variant::FromAnsi(late + "!!!!!!!!!!")));

    // Opened writable, the slot holds any text of the declared width again.
    ds->Close();
    ds->Open();
    EXPECT_EQ(ds->GetRecordSize(), fullSize);
    ds->SetRecNo(2);
    ds->Edit();
    city->SetAsString(longer);
    EXPECT_EQ(city->GetAsString(), longer);
    ds->Cancel();
}

// Byte values are loaded whole whatever size the driver describes (a blob as BINARY(255)).
TEST(LoadSql, BlobLongerThanDescribedIsLoadedWhole) {
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = file.ConnStr();
    connection.Execute("create table t (id integer, b blob)");
    connection.Execute("insert into t values (1, x'00ff'), (2, zeroblob(1024)), (3, NULL)");
    TComponent owner;
    auto* ds = new TQelODBCClient(&owner);
    ds->SetConnection(&connection);
    ds->SetSQL_Select("select id, b from t order by id");
    ds->Open();
    TField* b = ds->FieldByName("b");
    const struct { int index; std::string bytes; bool null; } cases[] = {
        {0, std::string("\x00\xff", 2), false},
        {1, std::string(1024, '\0'), false},
        {2, std::string(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        Variant v;
        ds->GetFieldValueFromBuffer(b, c.index, v);
        ASSERT_EQ(v.IsNull(), c.null);
        if (!c.null) {
            EXPECT_EQ(std::string(v.Bytes().begin(), v.Bytes().end()), c.bytes);
        }
        ds->SetRecNo(c.index + 1);
        EXPECT_EQ(b->GetAsString(), c.bytes);
    }
}

// The diagnostic texts of one open are kept up to a limit, whatever a driver reports.
TEST(LoadSql, CollectedDiagnosticTextsAreCapped) {
    TComponent owner;
    auto* ds = new TQelODBCClient(&owner);
    for (int i = 0; i < 5000; ++i) ds->CheckODBCError("01000", "notice " + std::to_string(i));
    ASSERT_EQ(ds->Errors.size(), 1000u);
    EXPECT_EQ(ds->Errors.front(), "01000notice 0");
    EXPECT_EQ(ds->Errors.back(), "01000notice 999");
}

TEST(LoadSql, OpeningAFilteredDatasetAppliesItsFilter) {
    LoadFixture f;
    f.ds->SetSQL_Select(kSelect);
    f.ds->SetFilterText("name like '%ЛТ%' OR amount is null");
    f.ds->SetFiltered(true);
    f.ds->SetFilterText("amount > 10");
    f.ds->Open();
    EXPECT_EQ(f.ds->VisibleCount, 1);
    EXPECT_EQ(f.ds->FieldByName("id")->AsInteger(), 1);
    f.ds->Close();
    // Reopened with the text changed while closed: the new text is compiled against the new load.
    f.ds->SetFilterText("amount is null");
    f.ds->Open();
    EXPECT_EQ(f.ds->VisibleCount, 1);
    EXPECT_EQ(f.ds->FieldByName("id")->AsInteger(), 2);
}

// Computed columns: a driver that cannot type them before running the select (SQLite types
// them from the fetched values) still runs it to describe it; a server that describes a
// prepared select runs it once, when the dataset opens.
class LoadSqlOnDriver : public ::testing::TestWithParam<test::DriverCase> {};

TEST_P(LoadSqlOnDriver, ComputedColumnsAreTypedAndTheServerRunsTheSelectOnce) {
    const test::DriverCase& d = GetParam();
    KUBRIX_REQUIRE_PG(d.postgres);
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = test::ConnStrFor(d, file);
    connection.Execute("create temporary table runs_once (id integer, amount numeric(12,2), name varchar(20))");
    connection.Execute("insert into runs_once values (1, 10.50, 'Север')");
    connection.Execute("insert into runs_once values (2, 4.25, 'Юг')");
    connection.Execute("insert into runs_once values (3, 1.00, 'Юг')");
    if (d.postgres) connection.Execute("set log_min_duration_statement = 0");
    // A mark of this run in the server's log, which every test of the run shares.
    const std::string marker = "runs once " + std::to_string(::getpid());
    const std::string select = "select name, count(*) as n, min(id) + 1 as next /* " + marker +
                               " */ from runs_once group by name order by name";

    TComponent owner;
    auto* ds = new TQelODBCClient(&owner);
    ds->SetConnection(&connection);
    ds->SetSQL_Select(select);
    struct TypeCase {
        const char* field;
        TFieldType type;
    };
    const TypeCase types[] = {{"name", ftString}, {"n", ftInteger}, {"next", ftInteger}};
    ASSERT_EQ(ds->FieldCount(), 3);
    for (const auto& t : types) {
        SCOPED_TRACE(t.field);
        ASSERT_NE(ds->FindField(t.field), nullptr);
        EXPECT_EQ(ds->FindField(t.field)->DataType(), t.type);
    }
    ds->Open();
    ASSERT_EQ(ds->RealRecordCount(), 2);
    Variant v;
    ds->GetFieldValueFromBuffer(ds->FieldByName("n"), 1, v);
    EXPECT_EQ(v, Variant::FromInt32(2));
    if (d.postgres) {
        EXPECT_EQ(test::PgRunsLogged(marker), 1);
    }
}

// A select the server cannot describe reports the driver's own message, outside a transaction
// and inside one.
TEST_P(LoadSqlOnDriver, RejectedSelectReportsTheDriversMessage) {
    const test::DriverCase& d = GetParam();
    KUBRIX_REQUIRE_PG(d.postgres);
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = test::ConnStrFor(d, file);
    connection.Connect();
    for (bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction ? "in a transaction" : "alone");
        if (inTransaction) connection.BeginTrans();
        TComponent owner;
        auto* ds = new TQelODBCClient(&owner);
        ds->SetConnection(&connection);
        try {
            ds->SetSQL_Select("select * from no_such_table");
            ADD_FAILURE() << "no exception";
        } catch (const EQelODBCDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("no_such_table"), std::string::npos) << e.what();
        }
        EXPECT_EQ(ds->FieldCount(), 0);
        if (inTransaction) connection.RollbackTrans();
    }
}

// The load tells how far it got; a stop asked for through it fails the open with EAbort and
// leaves the dataset closed and empty, and the next open loads everything.
TEST_P(LoadSqlOnDriver, AStoppedLoadLeavesTheDatasetClosedAndEmpty) {
    const test::DriverCase& d = GetParam();
    KUBRIX_REQUIRE_PG(d.postgres);
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = test::ConnStrFor(d, file);
    TComponent owner;
    auto* ds = new TQelODBCClient(&owner);
    ds->SetConnection(&connection);
    ds->SetSQL_Select(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) select i from n");
    std::vector<std::int64_t> told;
    ds->OnLoadProgress = [&told](std::int64_t rows) {
        told.push_back(rows);
        return told.size() < 2;
    };
    EXPECT_THROW(ds->Open(), EAbort);
    EXPECT_EQ(told, (std::vector<std::int64_t>{512, 1024}));
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ds->RealRecordCount(), 0);

    told.clear();
    ds->OnLoadProgress = [&told](std::int64_t rows) {
        told.push_back(rows);
        return true;
    };
    ds->Open();
    EXPECT_EQ(ds->RealRecordCount(), 3000);
    EXPECT_EQ(told, (std::vector<std::int64_t>{512, 1024, 1536, 2048, 2560}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, LoadSqlOnDriver, ::testing::ValuesIn(test::kDrivers), test::DriverName);

}  // namespace
}  // namespace kubrix
