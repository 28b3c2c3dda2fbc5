// Opening the in-memory dataset from an SQL select on a real driver: fields from the
// described columns, every row loaded into the records, closing clears, errors collected.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "dataset/QelODBCClient.h"
#include "dataset/ODBCFields.h"
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
        {"code", Variant::FromAnsi("абв")},  // longer than declared: whole characters kept
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
    // The driver's notice that it cut the over-long text reaches Errors without failing the open.
    ASSERT_FALSE(f.ds->Errors.empty());
    EXPECT_EQ(f.ds->Errors[0].substr(0, 5), "01004");

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

TEST(LoadSql, DisconnectClosesTheDataset) {
    LoadFixture f;
    f.ds->SetSQL_Select(kSelect);
    f.ds->Open();
    f.connection.Disconnect();
    EXPECT_FALSE(f.ds->Active());
    EXPECT_EQ(f.ds->RealRecordCount(), 0);
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

INSTANTIATE_TEST_SUITE_P(Drivers, LoadSqlOnDriver, ::testing::ValuesIn(test::kDrivers), test::DriverName);

}  // namespace
}  // namespace kubrix
