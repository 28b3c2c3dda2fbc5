// The tree over a dataset: building from the key columns, sibling order, visibility, the
// loop message, shortcuts and their copies, and the insert, edit and delete paths keeping the
// tree current (and refusing what would lose a record).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/ClientIndex.h"
#include "dataset/ODBCClientTree2.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"
#include "support/UiServices.h"
#include "testsupport/OdbcTestEnv.h"

using namespace kubrix;

namespace {

struct Row {
    int key, parent, order;
    const char* name = "";
    int shortcut = 0;
};

// A dataset of Key, idParent, Ord, Name, Shortcut with a key index on Key and a tree over it.
struct TreeFixture {
    std::unique_ptr<TQelODBCClient> ds = std::make_unique<TQelODBCClient>();
    std::unique_ptr<TQelODBCClientIndex> index = std::make_unique<TQelODBCClientIndex>();
    std::unique_ptr<TQelODBCClientTree2> tree = std::make_unique<TQelODBCClientTree2>();

    explicit TreeFixture(const std::vector<Row>& rows, bool expanded = false, bool build = true) {
        ds->FieldDefs().Add("Key", ftInteger);
        ds->FieldDefs().Add("idParent", ftInteger);
        ds->FieldDefs().Add("Ord", ftInteger);
        ds->FieldDefs().Add("Name", ftString, 10);
        ds->FieldDefs().Add("Shortcut", ftInteger);
        ds->Open();
        for (const Row& r : rows) {
            TMemoryRecord* rec = ds->AddRecord();
            Set(rec, "Key", r.key);
            Set(rec, "idParent", r.parent);
            Set(rec, "Ord", r.order);
            ds->SetFieldValueInBuffer(ds->FieldByName("Name"), rec, Variant::FromAnsi(r.name));
            Set(rec, "Shortcut", r.shortcut);
        }
        index->SetData(ds.get());
        index->SetFieldName("Key");
        tree->KeyField = ds->FieldByName("Key");
        tree->idParentField = ds->FieldByName("idParent");
        tree->OrderField = ds->FieldByName("Ord");
        tree->ShortcutField = ds->FieldByName("Shortcut");
        tree->KeyIndex = index.get();
        tree->DefaultExpandedState = expanded;
        if (build) tree->SetDataSet(ds.get());
        ds->First();
    }
    ~TreeFixture() {
        tree.reset();
        index.reset();
    }
    void Set(TMemoryRecord* rec, const char* field, int value) {
        ds->SetFieldValueInBuffer(ds->FieldByName(field), rec, Variant::FromInt32(value));
    }
    int KeyOf(TMemoryRecord* rec) const {
        Variant v;
        ds->GetFieldValueFromBuffer(ds->FieldByName("Key"), rec, v);
        return v.ToInt32();
    }
    // Keys of Records in order; a copy made for a shortcut is marked "c".
    std::string Keys() const {
        std::string out;
        for (TMemoryRecord* r : ds->Records)
            out += (out.empty() ? "" : ",") + std::to_string(KeyOf(r)) + (r->MainRecord() ? "c" : "");
        return out;
    }
    // Keys of the records the cursor shows.
    std::string Visible() const {
        std::string out;
        for (TMemoryRecord* r : ds->Records)
            if (ds->IsRecordVisible(r)) out += (out.empty() ? "" : ",") + std::to_string(KeyOf(r));
        return out;
    }
    TMemoryRecord* Record(int key) const {
        for (TMemoryRecord* r : ds->Records)
            if (!r->MainRecord() && KeyOf(r) == key) return r;
        return nullptr;
    }
    TTreeNode* Node(int key) const { return tree->NodeOf(Record(key)); }
    // Makes the record keyed key current (shown first when a collapsed parent hides it).
    void Go(int key) {
        tree->ShowNode(Node(key));
        ASSERT_TRUE(ds->Locate("Key", Variant::FromInt32(key)));
    }
    void Post(const std::vector<std::pair<const char*, int>>& values) {
        for (const auto& [field, value] : values) ds->FieldByName(field)->SetAsInteger(value);
        ds->Post();
    }
};

std::string Messages(const RecordingUiServices& ui) {
    std::string out;
    for (const auto& m : ui.Messages) out += m.Text + "|";
    return out;
}

// Trees as built from their records: the order of Records, what is shown, and loop messages.
struct BuildCase {
    const char* name;
    std::vector<Row> rows;
    bool expanded;
    const char* records;
    const char* visible;
    const char* messages;
};

TEST(Tree, BuildsRecordsInTreeOrder) {
    const BuildCase cases[] = {
        {"siblings by order, collapsed", {{1, 0, 2}, {2, 0, 1}, {3, 1, 0}}, false, "2,1,3", "2,1", ""},
        {"siblings by order, expanded", {{1, 0, 2}, {2, 0, 1}, {3, 1, 0}}, true, "2,1,3", "2,1,3", ""},
        {"equal orders keep the read order", {{1, 0, 5}, {2, 0, 5}, {3, 0, 1}}, true, "3,1,2", "3,1,2", ""},
        {"grandchildren under their parents", {{4, 2, 0}, {1, 0, 0}, {2, 1, 0}, {3, 1, 1}}, true, "1,2,4,3", "1,2,4,3", ""},
        {"unknown parent at the top level", {{1, 0, 1}, {2, 99, 0}}, false, "2,1", "2,1", ""},
        {"key 0 below the top level loops back", {{1, 0, 0}, {0, 1, 0}}, true, "1,0", "1,0",
         "Зацикливание в данных\rParentKey=0|"},
        {"a cycle that never reaches the top is kept at the top",
         {{1, 2, 0}, {2, 1, 0}, {3, 0, 0}}, true, "3,2,1", "3,2,1", ""},
        {"a record that is its own parent is kept at the top", {{1, 1, 0}, {2, 0, 1}}, true, "1,2", "1,2", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingUiServices ui;
        UiServicesScope scope(ui);
        TreeFixture f(c.rows, c.expanded);
        EXPECT_EQ(f.Keys(), c.records);
        EXPECT_EQ(f.Visible(), c.visible);
        EXPECT_EQ(Messages(ui), c.messages);
    }
}

TEST(Tree, BranchDeeperThanAThousandLevelsStopsWithTheLoopMessageAndLosesNothing) {
    std::vector<Row> rows;
    for (int k = 1; k <= 1002; ++k) rows.push_back({k, k - 1, 0});
    RecordingUiServices ui;
    UiServicesScope scope(ui);
    TreeFixture f(rows, true);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Зацикливание в данных\rParentKey=1000");
    EXPECT_EQ(ui.Messages[0].Flags, MB_OK | MB_ICONERROR);
    ASSERT_EQ(f.ds->RealRecordCount(), 1002);
    // The records beyond the stop still hang below their parents.
    EXPECT_EQ(f.Node(1002)->Parent, f.Node(1001));
    EXPECT_EQ(f.Node(1001)->Parent, f.Node(1000));
    EXPECT_EQ(f.KeyOf(f.ds->Records.back()), 1002);
}

TEST(Tree, ExpandingAndShowingNodes) {
    TreeFixture f({{1, 0, 0}, {2, 1, 0}, {3, 2, 0}, {4, 0, 1}});
    EXPECT_EQ(f.Visible(), "1,4");
    f.tree->SetExpanded(f.Node(1), true);
    EXPECT_EQ(f.Visible(), "1,2,4");
    f.tree->ShowNode(f.Node(3));
    EXPECT_EQ(f.Visible(), "1,2,3,4");
    f.tree->SetExpanded(f.Node(1), false);
    EXPECT_EQ(f.Visible(), "1,4");
    EXPECT_TRUE(f.Node(2)->Expanded);  // a collapsed ancestor keeps the state below it
}

TEST(Tree, ShortcutsShowTheirTargetsChildrenAsCopies) {
    TreeFixture f({{5, 0, 0}, {6, 5, 0}, {7, 5, 1}, {8, 0, 1, "", 5}, {9, 0, 2}, {10, 0, 3, "", 9}}, true);
    EXPECT_EQ(f.Keys(), "5,6,7,8,6c,7c,9,10");
    // Copies share the values of their main record but are records of their own.
    EXPECT_EQ(f.ds->Records[4]->MainRecord(), f.Record(6));

    // Targets cannot go: one has children, the other is pointed at.
    f.Go(5);
    EXPECT_THROW(
        try { f.ds->Delete(); } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Нельзя удалить запись, содержащую вложенные элементы");
            throw;
        },
        Exception);
    f.Go(9);
    EXPECT_THROW(
        try { f.ds->Delete(); } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Нельзя удалить запись на которую ссылаются ярлыки");
            throw;
        },
        Exception);
    EXPECT_EQ(f.Keys(), "5,6,7,8,6c,7c,9,10");

    // A new child of the target appears below the shortcut too.
    f.Go(7);
    f.ds->Append();
    f.Post({{"Key", 11}, {"idParent", 5}, {"Ord", 2}});
    EXPECT_EQ(f.Keys(), "5,6,7,11,8,6c,7c,11c,9,10");

    // A copy stands for its main record: an edit goes there and shows in every copy.
    TMemoryRecord* copy6 = f.ds->Records[5];
    ASSERT_EQ(copy6->MainRecord(), f.Record(6));
    f.tree->ShowNode(f.tree->NodeOf(copy6));
    f.ds->SetRecNo(6);
    f.ds->Edit();
    f.ds->FieldByName("Name")->SetAsString("шесть");
    f.ds->Post();
    EXPECT_EQ(f.ds->FieldByName("Key")->AsInteger(), 6);
    Variant name;
    f.ds->GetFieldValueFromBuffer(f.ds->FieldByName("Name"), copy6, name);
    EXPECT_EQ(name.ToAnsi(), "шесть");
    // Deleting a copy deletes its main record with all its copies.
    f.ds->SetRecNo(7);
    ASSERT_EQ(f.ds->Records[6]->MainRecord(), f.Record(7));
    f.ds->Delete();
    EXPECT_EQ(f.Keys(), "5,6,11,8,6c,11c,9,10");

    // Deleting the shortcut takes its copies along.
    f.Go(8);
    f.ds->Delete();
    EXPECT_EQ(f.Keys(), "5,6,11,9,10");
    EXPECT_EQ(f.tree->NodeRecords().size(), 5u);
}

TEST(Tree, ShortcutToAMissingRecordIsReported) {
    RecordingUiServices ui;
    UiServicesScope scope(ui);
    TreeFixture f({{1, 0, 0}, {2, 0, 1, "", 77}}, true, false);
    try {
        f.tree->SetDataSet(f.ds.get());
        FAIL() << "built";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Не найдена запись, на которую указывает ярлык.77");
    }
}

TEST(Tree, FieldWithoutASlotIsReported) {
    TreeFixture f({{1, 0, 0}}, true, false);
    f.tree->OrderField = nullptr;
    try {
        f.tree->SetDataSet(f.ds.get());
        FAIL() << "built";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Не получено смещение данных");
    }
}

TEST(Tree, InsertBelowACollapsedParentExpandsItAndShowsTheRecord) {
    TreeFixture f({{1, 0, 0}, {2, 1, 0}, {3, 0, 1}});
    EXPECT_EQ(f.Visible(), "1,3");
    f.ds->Last();
    f.ds->Append();
    f.Post({{"Key", 4}, {"idParent", 1}, {"Ord", 5}});
    EXPECT_EQ(f.Keys(), "1,2,4,3");
    EXPECT_EQ(f.Visible(), "1,2,4,3");
    EXPECT_EQ(f.ds->FieldByName("Key")->AsInteger(), 4);  // the cursor stays on the new record
    EXPECT_EQ(f.ds->RecNo(), 3);

    // Added later, a sibling goes before the equal orders (never before the first child).
    f.ds->Append();
    f.Post({{"Key", 5}, {"idParent", 1}, {"Ord", 5}});
    EXPECT_EQ(f.Keys(), "1,2,5,4,3");
    f.ds->Append();
    f.Post({{"Key", 6}, {"idParent", 1}, {"Ord", 0}});
    EXPECT_EQ(f.Keys(), "1,2,6,5,4,3");
}

// Posts refused by the tree: nothing is stored or moved, the message says why.
struct RefusedCase {
    const char* name;
    int editKey;  // 0: a new record
    std::vector<std::pair<const char*, int>> values;
    const char* message;
};

TEST(Tree, RefusedPostsKeepEveryRecordInItsPlace) {
    const RefusedCase cases[] = {
        {"new record, unknown parent", 0, {{"Key", 9}, {"idParent", 99}}, "Не найдена строка с идентификатором 99"},
        {"new record, its own parent", 0, {{"Key", 9}, {"idParent", 9}},
         "Запись нельзя подчинить самой себе или своему вложенному элементу"},
        {"edit, unknown parent", 2, {{"idParent", 99}}, "Не найдена запись"},
        {"edit, parent set to itself", 1, {{"idParent", 1}},
         "Запись нельзя подчинить самой себе или своему вложенному элементу"},
        {"edit, parent set to a child", 1, {{"idParent", 2}},
         "Запись нельзя подчинить самой себе или своему вложенному элементу"},
        {"edit, parent set to a grandchild", 1, {{"idParent", 3}},
         "Запись нельзя подчинить самой себе или своему вложенному элементу"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TreeFixture f({{1, 0, 0}, {2, 1, 0}, {3, 2, 0}, {4, 0, 1}}, true);
        if (c.editKey) {
            f.Go(c.editKey);
            f.ds->Edit();
        } else {
            f.ds->Append();
        }
        for (const auto& [field, value] : c.values) f.ds->FieldByName(field)->SetAsInteger(value);
        try {
            f.ds->Post();
            ADD_FAILURE() << "posted";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        f.ds->Cancel();
        EXPECT_EQ(f.Keys(), "1,2,3,4");
        EXPECT_EQ(f.Node(2)->Parent, f.Node(1));
        Variant parent;
        f.ds->GetFieldValueFromBuffer(f.ds->FieldByName("idParent"), f.Record(1), parent);
        EXPECT_EQ(parent.ToInt32(), 0);
    }
}

TEST(Tree, EditsMoveNodesOnlyForAParentOrOrderChange) {
    TreeFixture f({{1, 0, 0}, {2, 0, 1}, {3, 1, 0}}, false);
    f.Go(3);
    f.ds->Edit();
    f.Post({{"Key", 33}});
    EXPECT_EQ(f.Keys(), "1,33,2");
    EXPECT_EQ(f.Node(33)->Key, 33);

    f.ds->Edit();
    f.Post({{"idParent", 2}});
    EXPECT_EQ(f.Keys(), "1,2,33");
    EXPECT_EQ(f.Visible(), "1,2,33");  // the new parent is opened to show it
    EXPECT_EQ(f.ds->FieldByName("Key")->AsInteger(), 33);

    f.Go(1);
    f.ds->Edit();
    f.Post({{"Ord", 7}});
    EXPECT_EQ(f.Keys(), "2,33,1");
}

TEST(Tree, DeletingARecordWithChildrenIsRefused) {
    TreeFixture f({{1, 0, 0}, {2, 1, 0}}, true);
    f.Go(1);
    EXPECT_THROW(f.ds->Delete(), Exception);
    EXPECT_EQ(f.Keys(), "1,2");
    f.Go(2);
    f.ds->Delete();
    EXPECT_EQ(f.Keys(), "1");
    EXPECT_EQ(f.Node(1)->FirstChild, nullptr);
}

TEST(Tree, ADeleteKeptInMemoryKeepsTheTreesRulesAndLeavesTheTree) {
    TreeFixture f({{1, 0, 0}, {2, 1, 0}, {3, 1, 1}}, true);
    f.ds->SetDoPostToDB(false);
    f.Go(1);
    EXPECT_THROW(f.ds->Delete(), Exception);
    EXPECT_EQ(f.Record(1)->UpdateStatus, mrsNone);
    EXPECT_EQ(f.Visible(), "1,2,3");
    f.Go(2);
    f.ds->Delete();
    // The record waits in memory to be written; the tree no longer has it.
    EXPECT_EQ(f.Record(2)->UpdateStatus, mrsDeleted);
    EXPECT_EQ(f.Node(2), nullptr);
    EXPECT_EQ(f.Node(1)->FirstChild, f.Node(3));
    EXPECT_EQ(f.Visible(), "1,3");
    f.Go(3);
    f.ds->Delete();
    f.Go(1);
    f.ds->Delete();  // no children left
    EXPECT_EQ(f.Visible(), "");
}

TEST(Tree, DeleteRenumbersTheSiblingsWhenAsked) {
    TreeFixture f({{1, 0, 0}, {2, 1, 0}, {3, 1, 1}, {4, 1, 2}, {5, 1, 3}}, true);
    f.tree->DoOrderCorrection = true;
    f.Go(3);
    f.ds->Delete();
    EXPECT_EQ(f.Keys(), "1,2,4,5");
    Variant v;
    std::string orders;
    for (int key : {2, 4, 5}) {
        f.ds->GetFieldValueFromBuffer(f.ds->FieldByName("Ord"), f.Record(key), v);
        orders += std::to_string(v.ToInt32());
        EXPECT_EQ(f.Node(key)->Order, v.ToInt32());
    }
    EXPECT_EQ(orders, "012");
    EXPECT_FALSE(f.tree->Correcting());
}

TEST(Tree, OrderCorrectionRunsInOneTransactionAndRollsBackOnFailure) {
    test::TempSqliteDb file;
    TQelODBCConnection connection;
    connection.LoginPromt = false;
    connection.ConnectionString = file.ConnStr();
    connection.Connect();
    TreeFixture f({{1, 0, 0}, {2, 0, 1}, {3, 0, 2}, {4, 0, 3}}, true);
    f.ds->SetConnection(&connection);
    f.tree->DoOrderCorrection = true;
    int posts = 0, inTransaction = 0;
    f.ds->BeforePost = [&](TDataSet&) {
        ++posts;
        inTransaction += connection.InTransaction() ? 1 : 0;
    };
    f.Go(2);
    f.ds->Delete();
    EXPECT_EQ(posts, 2);  // 3 and 4 renumbered
    EXPECT_EQ(inTransaction, 2);
    EXPECT_FALSE(connection.InTransaction());
    EXPECT_EQ(f.Node(4)->Order, 2);

    f.ds->BeforePost = [&](TDataSet&) { throw Exception("отказ"); };
    f.Go(1);
    EXPECT_THROW(f.ds->Delete(), Exception);
    EXPECT_FALSE(connection.InTransaction());
    EXPECT_FALSE(f.tree->Correcting());
    f.ds->Cancel();
    EXPECT_EQ(f.Keys(), "3,4");
}

TEST(Tree, OrderByOrdersEachSiblingGroupByTheExtremeAlongTheLastChildren) {
    // 1 "m" has the children 3 "z" and 4 "a"; 2 "k" has none.
    TreeFixture f({{1, 0, 0, "m"}, {2, 0, 1, "k"}, {3, 1, 0, "z"}, {4, 1, 1, "a"}}, true);
    EXPECT_EQ(f.Keys(), "1,3,4,2");
    f.ds->SetOrderBy("Name DESC");
    // Descending, 1 is placed by the smallest name along its last children ("a" < "k").
    EXPECT_EQ(f.Keys(), "2,1,3,4");
    f.ds->SetOrderBy("Name ASC");
    // Ascending, by the largest: 1 by "z" (its own "m", then its last child "z").
    EXPECT_EQ(f.Keys(), "2,1,4,3");
    EXPECT_THROW(f.ds->SetOrderBy("Nope"), EDatabaseError);
}

TEST(Tree, ReplaceKeyRenamesKeysAndParentKeys) {
    TreeFixture f({{1, 0, 0}, {2, 1, 0}, {3, 0, 1}}, true);
    f.tree->ReplaceKey(1, 10);
    EXPECT_EQ(f.Node(1)->Key, 10);
    EXPECT_EQ(f.Node(2)->ParentKey, 10);
    EXPECT_EQ(f.Node(3)->Key, 3);
}

TEST(Tree, ClosingAndReopeningRebuildsAndDetachingShowsEverything) {
    TreeFixture f({{1, 0, 0}, {2, 1, 0}});
    EXPECT_TRUE(f.tree->Built());
    f.ds->Close();
    EXPECT_FALSE(f.tree->Built());
    f.tree->SetDataSet(nullptr);
    EXPECT_FALSE(f.ds->TreeAttached);
    EXPECT_EQ(f.ds->Tree, nullptr);
}

}  // namespace

// Posting to the database under a tree: a new record is written, stored at the end and then
// placed by the tree below its parent; a refused delete leaves the row in the database.
TEST(Tree, PostsToTheDatabaseKeepTheTreeAndRollBackARefusedDelete) {
    test::TempSqliteDb file;
    auto connection = test::Connect(file.ConnStr());
    test::Exec(*connection, "create table node (Key integer primary key, idParent integer, Ord integer)");
    test::Exec(*connection, "insert into node values (1, 0, 0)");
    test::Exec(*connection, "insert into node values (2, 1, 0)");
    test::Exec(*connection, "insert into node values (3, 0, 1)");
    TQelODBCClient ds;
    ds.SetConnection(connection.get());
    ds.SetSQL_Select("select Key, idParent, Ord from node order by Key");
    ds.SetSQL_Insert("insert into node (Key, idParent, Ord) values (?, ?, ?)");
    const char* names[] = {"Key", "idParent", "Ord"};
    for (int i = 0; i < 3; ++i) ds.SQL_Insert_Params()[i].SetName(names[i]);
    ds.SQL_Insert_WithResync = false;
    ds.SetSQL_Delete("delete from node where Key = ?");
    ds.SQL_Delete_Params()[0].SetName("Key");
    ds.Open();
    TQelODBCClientIndex index;
    index.SetData(&ds);
    index.SetFieldName("Key");
    TQelODBCClientTree2 tree;
    tree.KeyField = ds.FieldByName("Key");
    tree.idParentField = ds.FieldByName("idParent");
    tree.OrderField = ds.FieldByName("Ord");
    tree.KeyIndex = &index;
    tree.DefaultExpandedState = true;
    tree.SetDataSet(&ds);
    const auto keys = [&] {
        std::string out;
        Variant v;
        for (TMemoryRecord* r : ds.Records) {
            ds.GetFieldValueFromBuffer(ds.FieldByName("Key"), r, v);
            out += (out.empty() ? "" : ",") + std::to_string(v.ToInt32());
        }
        return out;
    };
    const auto db = [&] {
        auto q = test::OpenQuery(*connection, "select Key from node order by Key");
        std::string out;
        for (int r = 0; r < q->RowCount(); ++r) out += (r ? "," : "") + test::SlotText(*q, r, *q->GetField(0));
        return out;
    };
    ds.Append();
    ds.FieldByName("Key")->SetAsInteger(4);
    ds.FieldByName("idParent")->SetAsInteger(1);
    ds.FieldByName("Ord")->SetAsInteger(1);
    ds.Post();
    EXPECT_EQ(db(), "1,2,3,4");
    EXPECT_EQ(keys(), "1,2,4,3");
    EXPECT_EQ(ds.FieldByName("Key")->AsInteger(), 4);  // the cursor follows the placed record

    ASSERT_TRUE(ds.Locate("Key", Variant::FromInt32(1)));
    EXPECT_THROW(ds.Delete(), Exception);
    EXPECT_FALSE(connection->InTransaction());
    EXPECT_EQ(db(), "1,2,3,4");
    EXPECT_EQ(keys(), "1,2,4,3");

    ASSERT_TRUE(ds.Locate("Key", Variant::FromInt32(2)));
    ds.Delete();
    EXPECT_EQ(db(), "1,3,4");
    EXPECT_EQ(keys(), "1,4,3");
    EXPECT_EQ(tree.NodeOf(ds.Records[0])->FirstChild->Record, ds.Records[1]);
}
