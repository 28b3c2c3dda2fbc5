// Linked datasets: a view sharing its source's records and following its changes, and a
// detail re-queried with the master's key as the master moves, on the real drivers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "dataset/ClientIndex.h"
#include "dataset/ODBCClientTree2.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCQuery.h"
#include "support/Errors.h"
#include "testsupport/OdbcTestEnv.h"

namespace kubrix {
namespace {

// A source of (id, name, note) rows held in memory, and a view of it.
struct ViewFixture {
    TComponent owner;
    TQelODBCClient* source = new TQelODBCClient(&owner);
    TQelODBCClient* view = new TQelODBCClient(&owner);

    ViewFixture() {
        source->FieldDefs().Add("id", ftInteger);
        source->FieldDefs().Add("name", ftString, 20);
        source->FieldDefs().Add("note", ftMemo);
        source->Open();
        for (int id : {1, 2, 3}) Add(id, "имя " + std::to_string(id), "заметка " + std::to_string(id));
        view->SetDataFrom(source);
        view->Open();
    }
    void Add(int id, const std::string& name, const std::string& note) {
        source->Append();
        source->FieldByName("id")->SetAsInteger(id);
        source->FieldByName("name")->SetAsString(name);
        source->FieldByName("note")->SetAsString(note);
        source->Post();
    }
    static std::string Column(TQelODBCClient& ds, const char* field) {
        std::string out;
        Variant v;
        for (int i = 0; i < ds.RealRecordCount(); ++i) {
            ds.GetFieldValueFromBuffer(ds.FieldByName(field), i, v);
            out += (i ? "," : "") + v.ToAnsi();
        }
        return out;
    }
};

TEST(DataFromView, SharesTheSourceRecordsAndBlobsAndOrdersOnItsOwn) {
    ViewFixture f;
    ASSERT_EQ(f.view->RealRecordCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.view->Records[i]->Data, f.source->Records[i]->Data);
        EXPECT_EQ(f.view->Records[i]->Blobs, f.source->Records[i]->Blobs);
        EXPECT_EQ(f.view->Records[i]->SourceRecord(), f.source->Records[i]);
    }
    EXPECT_EQ(ViewFixture::Column(*f.view, "note"), "заметка 1,заметка 2,заметка 3");
    f.view->SetOrderBy("id DESC");
    EXPECT_EQ(ViewFixture::Column(*f.view, "id"), "3,2,1");
    EXPECT_EQ(ViewFixture::Column(*f.source, "id"), "1,2,3");

    // An edit in the source shows in the view.
    f.source->First();
    f.source->Edit();
    f.source->FieldByName("name")->SetAsString("новое");
    f.source->Post();
    EXPECT_EQ(ViewFixture::Column(*f.view, "name"), "имя 3,имя 2,новое");
}

TEST(DataFromView, FollowsAppendsRemovalsAndClosing) {
    ViewFixture f;
    TQelODBCClientIndex index;
    index.SetData(f.view);
    index.SetFieldName("id");
    f.Add(4, "четыре", "");
    ASSERT_EQ(f.view->RealRecordCount(), 4);
    EXPECT_EQ(f.view->Records[3]->Data, f.source->Records[3]->Data);
    EXPECT_EQ(index.FindRecordByValue(Variant::FromInt32(4)), 3);

    // An edit of the key moves the record in the view's index too.
    f.source->Last();
    f.source->Edit();
    f.source->FieldByName("id")->SetAsInteger(40);
    f.source->Post();
    EXPECT_EQ(index.FindRecordByValue(Variant::FromInt32(4)), -1);
    EXPECT_EQ(index.FindRecordByValue(Variant::FromInt32(40)), 3);

    f.source->First();
    f.source->Delete();
    EXPECT_EQ(ViewFixture::Column(*f.view, "id"), "2,3,40");
    EXPECT_EQ(f.view->RecNo(), 1);

    f.source->Close();
    EXPECT_FALSE(f.view->Active());
}

TEST(DataFromView, ViewThatLostARecordRefusesItsRemoval) {
    ViewFixture f;
    f.view->RemoveRecord(0);
    f.source->First();
    try {
        f.source->Delete();
        FAIL() << "deleted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Не найдена запись");
    }
    EXPECT_EQ(f.source->RealRecordCount(), 3);
}

TEST(DataFromView, DestroyingTheSourceClosesTheView) {
    TComponent owner;
    auto source = std::make_unique<TQelODBCClient>();
    auto* view = new TQelODBCClient(&owner);
    source->FieldDefs().Add("id", ftInteger);
    source->Open();
    source->AddRecord();
    view->SetDataFrom(source.get());
    view->Open();
    EXPECT_EQ(view->RealRecordCount(), 1);
    source.reset();
    EXPECT_FALSE(view->Active());
    EXPECT_EQ(view->DataFrom(), nullptr);
}

TEST(DataFromView, ATreeOverTheViewFollowsTheSource) {
    TComponent owner;
    auto* source = new TQelODBCClient(&owner);
    auto* view = new TQelODBCClient(&owner);
    for (const char* name : {"Key", "idParent", "Ord"}) source->FieldDefs().Add(name, ftInteger);
    source->Open();
    const auto add = [&](int key, int parent, int order) {
        source->Append();
        source->FieldByName("Key")->SetAsInteger(key);
        source->FieldByName("idParent")->SetAsInteger(parent);
        source->FieldByName("Ord")->SetAsInteger(order);
        source->Post();
    };
    add(1, 0, 1);
    add(2, 0, 0);
    view->SetDataFrom(source);
    view->Open();
    TQelODBCClientIndex index(&owner);
    index.SetData(view);
    index.SetFieldName("Key");
    TQelODBCClientTree2 tree(&owner);
    tree.KeyField = view->FieldByName("Key");
    tree.idParentField = view->FieldByName("idParent");
    tree.OrderField = view->FieldByName("Ord");
    tree.KeyIndex = &index;
    tree.DefaultExpandedState = true;
    tree.SetDataSet(view);
    EXPECT_EQ(ViewFixture::Column(*view, "Key"), "2,1");
    add(3, 1, 0);
    EXPECT_EQ(ViewFixture::Column(*view, "Key"), "2,1,3");
    source->First();  // key 1
    source->Edit();
    source->FieldByName("idParent")->SetAsInteger(2);
    source->Post();
    EXPECT_EQ(ViewFixture::Column(*view, "Key"), "2,1,3");
    EXPECT_EQ(tree.NodeOf(view->Records[1])->Parent, tree.NodeOf(view->Records[0]));
    tree.SetDataSet(nullptr);
}

// ---------------------------------------------------------------- master and detail

class MasterDetailOnDriver : public ::testing::TestWithParam<test::DriverCase> {};

TEST_P(MasterDetailOnDriver, DetailFollowsTheMastersKey) {
    const test::DriverCase& d = GetParam();
    KUBRIX_REQUIRE_PG(d.postgres);
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = test::ConnStrFor(d, file);
    connection.Execute("create temporary table orders (order_id integer, customer varchar(20))");
    connection.Execute("create temporary table lines (order_id integer, item varchar(20), qty integer)");
    connection.Execute("insert into orders values (1, 'Иванов')");
    connection.Execute("insert into orders values (2, 'Петров')");
    connection.Execute("insert into lines values (1, 'гвозди', 10)");
    connection.Execute("insert into lines values (1, 'доски', 3)");
    connection.Execute("insert into lines values (2, 'краска', 1)");
    if (d.postgres) connection.Execute("set log_min_duration_statement = 0");
    const std::string marker = "detail lines " + std::to_string(::getpid());

    TComponent owner;
    auto* master = new TQelODBCClient(&owner);
    auto* detail = new TQelODBCClient(&owner);
    master->SetConnection(&connection);
    detail->SetConnection(&connection);
    // Order 1 twice: moving between the two rows keeps the detail's parameter.
    master->SetSQL_Select(
        "select order_id, customer from orders union all "
        "select order_id, customer || ' (копия)' from orders where order_id = 1 order by 1, 2");
    master->KeyName = "order_id";
    master->Open();
    detail->SetSQL_Select("select order_id, item, qty /* " + marker +
                          " */ from lines where order_id = ? order by item");
    detail->SQL_Select_Params()[0].SetName("order_id");
    detail->SetMasterData(master);
    int opens = 0;
    detail->AfterOpen = [&](TDataSet&) { ++opens; };
    detail->Open();
    EXPECT_EQ(ViewFixture::Column(*detail, "item"), "гвозди,доски");

    master->Next();  // the same order again
    EXPECT_EQ(opens, 1);
    master->Next();  // order 2
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(ViewFixture::Column(*detail, "item"), "краска");
    master->First();
    EXPECT_EQ(opens, 3);
    EXPECT_EQ(ViewFixture::Column(*detail, "item"), "гвозди,доски");
    if (d.postgres) {
        EXPECT_EQ(test::PgRunsLogged(marker), 3);
    }

    // A new line receives the master's key.
    detail->Append();
    EXPECT_EQ(detail->FieldByName("order_id")->AsInteger(), 1);
    detail->Cancel();

    // Opened while the master inserts, the detail cannot take its parameters.
    master->Append();
    detail->Close();
    try {
        detail->Open();
        ADD_FAILURE() << "opened";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Ошибка инициализации параметров данных");
    }
    master->Cancel();
    EXPECT_FALSE(detail->Active());
}

INSTANTIATE_TEST_SUITE_P(Drivers, MasterDetailOnDriver, ::testing::ValuesIn(test::kDrivers), test::DriverName);

TEST(MasterDetail, DetailOfAnEmptyMasterOpensWhenTheMasterGetsARecord) {
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = file.ConnStr();
    connection.Execute("create table lines (order_id integer, item varchar(20))");
    connection.Execute("insert into lines values (7, 'гайки')");
    TComponent owner;
    auto* master = new TQelODBCClient(&owner);
    auto* detail = new TQelODBCClient(&owner);
    master->FieldDefs().Add("order_id", ftInteger);
    master->Open();
    detail->SetConnection(&connection);
    detail->SetSQL_Select("select order_id, item from lines where order_id = ?");
    detail->SQL_Select_Params()[0].SetName("order_id");
    detail->SetMasterData(master);
    detail->Open();
    EXPECT_FALSE(detail->Active());
    EXPECT_TRUE(detail->MasterEmpty);

    master->Append();
    master->FieldByName("order_id")->SetAsInteger(7);
    master->Post();
    ASSERT_TRUE(detail->Active());
    EXPECT_FALSE(detail->MasterEmpty);
    EXPECT_EQ(ViewFixture::Column(*detail, "item"), "гайки");

    // Destroying the master detaches the detail.
    delete master;
    EXPECT_EQ(detail->MasterData(), nullptr);
}

}  // namespace
}  // namespace kubrix

namespace kubrix {
namespace {

// A nested dataset takes its parameters and listed initial values from the parent's record,
// and a post in it marks the parent's record modified.
TEST(NestedDataset, TakesParametersAndValuesFromTheParent) {
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = file.ConnStr();
    connection.Execute("create table lines (order_id integer, customer varchar(20), item varchar(20))");
    connection.Execute("insert into lines values (5, 'Иванов', 'гайки')");
    connection.Execute("insert into lines values (6, 'Петров', 'болты')");
    TComponent owner;
    auto* parent = new TQelODBCClient(&owner);
    auto* nested = new TQelODBCClient(&owner);
    parent->FieldDefs().Add("order_id", ftInteger);
    parent->FieldDefs().Add("customer", ftString, 20);
    parent->Open();
    parent->Append();
    parent->FieldByName("order_id")->SetAsInteger(6);
    parent->FieldByName("customer")->SetAsString("Петров");
    parent->Post();
    nested->SetConnection(&connection);
    nested->SetSQL_Select("select order_id, customer, item from lines where order_id = ?");
    nested->SQL_Select_Params()[0].SetName("order_id");
    nested->FieldsForUpdateFromMainDataSetBeforInsert = "order_id;customer";
    nested->SetNestedParent(parent);
    nested->Open();
    EXPECT_EQ(ViewFixture::Column(*nested, "item"), "болты");

    parent->Edit();
    nested->Append();
    EXPECT_EQ(nested->FieldByName("order_id")->AsInteger(), 6);
    EXPECT_EQ(nested->FieldByName("customer")->AsString(), "Петров");
    nested->FieldByName("item")->SetAsString("шайбы");
    EXPECT_FALSE(parent->Modified());
    nested->Post();
    EXPECT_TRUE(parent->Modified());
    parent->Cancel();
}

}  // namespace
}  // namespace kubrix
