// The key index and the second index over an in-memory dataset: groups in raw slot order,
// the unique rule with records deleted in memory, every look-up, upkeep on post and delete,
// and the second index's table of groups.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dataset/ClientIndex.h"
#include "dataset/ClientIndex2.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "dataset/StoredValue.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

// Dataset A (string 5), C (integer); rows of (a, c), a null A where the text is "-".
std::unique_ptr<TQelODBCClient> Rows(const std::vector<std::pair<std::string, int>>& rows) {
    auto ds = std::make_unique<TQelODBCClient>();
    ds->FieldDefs().Add("A", ftString, 5);
    ds->FieldDefs().Add("C", ftInteger);
    ds->Open();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ds->AddRecord();
        const int index = static_cast<int>(i);
        if (rows[i].first != "-") ds->SetFieldValueInBuffer(ds->FieldByName("A"), index, Variant::FromAnsi(rows[i].first));
        ds->SetFieldValueInBuffer(ds->FieldByName("C"), index, Variant::FromInt32(rows[i].second));
    }
    ds->First();
    return ds;
}

// Each group as the C values of its records: "1,3|2|".
std::string Groups(const TQelODBCClientIndex& index) {
    std::string out;
    Variant v;
    for (const auto& group : index.Groups()) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            index.Data()->GetFieldValueFromBuffer(index.Data()->FieldByName("C"), group[i], v);
            out += (i ? "," : "") + v.ToAnsi();
        }
        out += "|";
    }
    return out;
}

Variant Pair(const Variant& a, const Variant& b) {
    Variant arr = Variant::MakeArray(VT_VARIANT, 0, 1);
    arr.PutElement(0, a);
    arr.PutElement(1, b);
    return arr;
}

}  // namespace

TEST(KeyIndex, GroupsEqualKeysInRawSlotOrder) {
    auto ds = Rows({{"b", 1}, {"a", 2}, {"b", 3}, {"-", 4}, {"a", 5}});
    TQelODBCClientIndex index;
    index.SetFieldName("A;B");  // B is no field: the index is on A alone
    index.SetData(ds.get());
    ASSERT_EQ(index.KeyFields().size(), 1u);
    EXPECT_EQ(Groups(index), "4|2,5|1,3|");
    int position = -1;
    EXPECT_TRUE(index.FindRecord(position, Variant::FromAnsi("b")));
    EXPECT_EQ(position, 2);
    // The order is that of the raw slot words: "ab" goes after "b".
    EXPECT_FALSE(index.FindRecord(position, Variant::FromAnsi("ab")));
    EXPECT_EQ(position, 3);
    EXPECT_EQ(index.FindRecordByValue(Variant::FromAnsi("a")), 1);
    EXPECT_EQ(index.FindRecordByValue(Variant::Null()), 3);
    std::vector<int> list = {99};
    index.AllRecordsByValue2(Variant::FromAnsi("b"), list);
    EXPECT_EQ(list, (std::vector<int>{99, 0, 2}));

    // Integers order by their raw bytes (flag and little-endian words), not by value.
    TQelODBCClientIndex byC;
    byC.SetData(ds.get());
    byC.SetFieldName("c");
    EXPECT_EQ(Groups(byC), "1|2|3|4|5|");
}

TEST(KeyIndex, KeptUpToDateByPostDeleteAndCleared) {
    auto ds = Rows({{"x", 1}, {"x", 2}});
    TQelODBCClientIndex index;
    index.SetData(ds.get());
    index.SetFieldName("A");
    EXPECT_EQ(Groups(index), "1,2|");
    ds->Delete();
    EXPECT_EQ(Groups(index), "2|");
    ds->Append();
    ds->FieldByName("A")->SetAsString("y");
    ds->FieldByName("C")->SetAsInteger(3);
    ds->Post();
    EXPECT_EQ(Groups(index), "2|3|");
    // An edit moves the record to the group of its new key.
    ds->Edit();
    ds->FieldByName("A")->SetAsString("x");
    ds->Post();
    EXPECT_EQ(Groups(index), "2,3|");
    ds->First();
    ds->Delete();
    ds->Delete();
    EXPECT_EQ(Groups(index), "");
    ds->Close();
    EXPECT_TRUE(index.KeyFields().empty());
    // Searching an index whose dataset is closed finds nothing and reads no field.
    EXPECT_EQ(index.FindRecordByValue(Variant::FromAnsi("x")), -1);
}

TEST(KeyIndex, UniqueRefusesWithoutChangingTheDataset) {
    auto ds = Rows({{"x", 1}, {"y", 2}});
    TQelODBCClientIndex index;
    index.SetData(ds.get());
    index.SetFieldName("A");
    index.SetUnique(true);
    ds->Append();
    ds->FieldByName("A")->SetAsString("x");
    ds->FieldByName("C")->SetAsInteger(3);
    EXPECT_THROW(ds->Post(), Exception);
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_EQ(ds->RealRecordCount(), 2);
    EXPECT_EQ(Groups(index), "1|2|");
    ds->Cancel();

    ds->Last();
    ds->Edit();
    ds->FieldByName("A")->SetAsString("x");
    try {
        ds->Post();
        ADD_FAILURE() << "duplicate accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Запись с заданным ключевым полем уже есть");
    }
    EXPECT_EQ(ds->State(), dsEdit);
    Variant v;
    ds->GetFieldValueFromBuffer(ds->FieldByName("A"), 1, v);
    EXPECT_EQ(v, Variant::FromAnsi("y"));
    EXPECT_EQ(Groups(index), "1|2|");
    // Re-posting a record under its own key is no duplicate.
    ds->FieldByName("A")->SetAsString("y");
    ds->FieldByName("C")->SetAsInteger(20);
    ds->Post();
    EXPECT_EQ(Groups(index), "1|20|");
}

TEST(KeyIndex, UniqueRuleWithRecordsDeletedInMemory) {
    struct Case {
        const char* name;
        bool doPostToDB;
        std::vector<TMemRecordStatus> group;  // statuses of the records holding the key
        bool accepted;
        int found;                            // FindRecordByValue
    };
    const Case cases[] = {
        {"in memory, only deleted ones", false, {mrsDeleted, mrsDeleted}, true, -1},
        {"in memory, one live", false, {mrsDeleted, mrsModified}, false, 1},
        {"posting to the database", true, {mrsDeleted}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::string, int>> rows;
        for (std::size_t i = 0; i < c.group.size(); ++i) rows.push_back({"k", static_cast<int>(i)});
        auto ds = Rows(rows);
        ds->DoPostToDB = c.doPostToDB;
        for (std::size_t i = 0; i < c.group.size(); ++i) ds->Records[i]->UpdateStatus = c.group[i];
        TQelODBCClientIndex index;
        index.SetData(ds.get());
        index.SetFieldName("A");
        index.SetUnique(true);  // groups already built stay as they are
        EXPECT_EQ(index.Groups().size(), 1u);
        EXPECT_EQ(index.FindRecordByValue(Variant::FromAnsi("k")), c.found);
        TMemoryRecord* extra = ds->AddRecord();
        ds->SetFieldValueInBuffer(ds->FieldByName("A"), extra, Variant::FromAnsi("k"));
        if (c.accepted) {
            EXPECT_NO_THROW(index.Add(extra));
            EXPECT_EQ(index.Groups()[0].size(), c.group.size() + 1);
        } else {
            EXPECT_THROW(index.Add(extra), Exception);
            EXPECT_EQ(index.Groups()[0].size(), c.group.size());
        }
        std::vector<int> live;
        index.AllRecordsByValue2(Variant::FromAnsi("k"), live);
        for (int i : live) EXPECT_NE(ds->Records[static_cast<std::size_t>(i)]->UpdateStatus, mrsDeleted);
    }
}

TEST(KeyIndex, UniqueBuildStopsAtTheFirstRefusedRecord) {
    auto ds = Rows({{"b", 1}, {"a", 2}, {"c", 3}, {"a", 4}, {"b", 5}});
    TQelODBCClientIndex index;
    index.SetUnique(true);
    index.SetFieldName("A");
    EXPECT_THROW(index.SetData(ds.get()), Exception);
    // Adding in list order would have stopped at the fourth record.
    EXPECT_EQ(Groups(index), "2|1|3|");
}

TEST(KeyIndex, KeyValuesOfTheWrongShapeFailInTheConversion) {
    auto ds = Rows({{"a", 1}});
    TQelODBCClientIndex two;
    two.SetData(ds.get());
    two.SetFieldName("A;C");
    EXPECT_EQ(two.FindRecordByValue(Pair(Variant::FromAnsi("a"), Variant::FromInt32(1))), 0);
    EXPECT_EQ(two.FindRecordByValue(Pair(Variant::FromAnsi("a"), Variant::FromInt32(2))), -1);
    EXPECT_THROW(two.FindRecordByValue(Variant::FromAnsi("a")), EVariantError);
    Variant one = Variant::MakeArray(VT_VARIANT, 0, 0);
    one.PutElement(0, Variant::FromAnsi("a"));
    EXPECT_THROW(two.FindRecordByValue(one), EVariantError);
    try {
        two.FindRecordByValue(Pair(Variant::FromAnsi("a"), Variant::FromDouble(1.0)));
        ADD_FAILURE() << "double accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Необрабатываемый параметр.5");
    }
    // A text longer than the key slot is cut to the slot, never written past it.
    TQelODBCClientIndex byA;
    byA.SetData(ds.get());
    byA.SetFieldName("A");
    EXPECT_EQ(byA.FindRecordByValue(Variant::FromAnsi(std::string(1000, 'a'))), -1);
}

TEST(KeyIndex, BuildBySortingGivesTheGroupsOfAddingOneByOne) {
    std::mt19937 rng(7);
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 0; i < 3000; ++i) {
        const int k = static_cast<int>(rng() % 60);
        rows.push_back({k == 0 ? std::string("-") : std::to_string(k % 30), static_cast<int>(rng() % 4)});
    }
    auto ds = Rows(rows);
    TQelODBCClientIndex built;
    built.SetData(ds.get());
    built.SetFieldName("A;C");
    TQelODBCClientIndex added;
    added.SetData(ds.get());
    added.SetFieldName("A;C");
    added.ClearData();
    for (int i = 0; i < ds->RealRecordCount(); ++i) added.Add(i);
    EXPECT_EQ(built.Groups(), added.Groups());
}

TEST(KeyIndex, DetachesWhenEitherSideGoes) {
    auto ds = Rows({{"a", 1}});
    {
        TQelODBCClientIndex index;
        index.SetData(ds.get());
        EXPECT_EQ(ds->Indexes.size(), 1u);
    }
    EXPECT_TRUE(ds->Indexes.empty());
    TQelODBCClientIndex index;
    index.SetData(ds.get());
    index.SetFieldName("A");
    ds.reset();
    EXPECT_EQ(index.Data(), nullptr);
    EXPECT_TRUE(index.Groups().empty());
}

// ---------------------------------------------------------------- second index

namespace {

// The table of the second index: "key/key/..T" per row (T for a total row, "-" for null).
std::string Table(TQelODBCClient& out, const std::vector<std::string>& keys) {
    std::string text;
    Variant v;
    for (int i = 0; i < out.RealRecordCount(); ++i) {
        for (const auto& k : keys) {
            out.GetFieldValueFromBuffer(out.FieldByName(k), i, v);
            text += (v.IsNull() ? std::string("-") : v.ToAnsi()) + "/";
            out.GetFieldValueFromBuffer(out.FieldByName(k + "_node"), i, v);
            if (v.IsNull()) text += "n";
        }
        out.GetFieldValueFromBuffer(out.FieldByName("is_total"), i, v);
        text += v.IsNull() ? " " : "T ";
    }
    return text;
}

// Dataset K1, K2, K3 (string 3) with the given rows.
std::unique_ptr<TQelODBCClient> Levels(const std::vector<std::vector<std::string>>& rows) {
    auto ds = std::make_unique<TQelODBCClient>();
    for (const char* name : {"K1", "K2", "K3"}) ds->FieldDefs().Add(name, ftString, 3);
    ds->Open();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ds->AddRecord();
        for (std::size_t k = 0; k < rows[i].size(); ++k)
            if (rows[i][k] != "-")
                ds->SetFieldValueInBuffer(ds->Fields()[k], static_cast<int>(i), Variant::FromAnsi(rows[i][k]));
    }
    return ds;
}

}  // namespace

TEST(SecondIndex, WritesTheTableOfGroupsWithTotalRows) {
    struct Case {
        const char* name;
        const char* fields;
        std::vector<std::string> keys;
        std::vector<std::vector<std::string>> rows;
        const char* table;
    };
    const Case cases[] = {
        {"one level", "K1", {"K1"}, {{"A"}, {"B"}, {"A"}}, "A/ B/ "},
        {"two levels", "K1;K2", {"K1", "K2"}, {{"B", "x"}, {"A", "y"}, {"A", "x"}},
         "A/x/ A/y/ A/-/nT B/x/ B/-/nT "},
        {"three levels: the outer total after each middle group", "K1;K2;K3", {"K1", "K2", "K3"},
         {{"A", "x", "1"}, {"A", "y", "2"}, {"A", "x", "3"}},
         "A/x/1/ A/x/3/ A/x/-/nT A/-/n-/nT A/y/2/ A/y/-/nT A/-/n-/nT "},
        {"a null key is a group of its own", "K1", {"K1"}, {{"-"}, {"A"}, {"-"}}, "-/ A/ "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto ds = Levels(c.rows);
        TQelODBCClient out;
        TQelODBCClientIndex2 index;
        index.SetData(ds.get());
        index.SetFieldName(c.fields);
        index.SetIndexData(&out);
        EXPECT_EQ(out.SecondIndex, &index);
        index.SetActive(true);
        ASSERT_TRUE(out.Active());
        EXPECT_EQ(Table(out, c.keys), c.table);
        EXPECT_EQ(out.FieldByName("K1")->Size(), 3);
        EXPECT_EQ(out.FieldByName("K1_node")->DataType(), ftInteger);
        EXPECT_EQ(out.FieldByName("is_total")->DataType(), ftBoolean);
    }
}

TEST(SecondIndex, RefusesToBuildAndClearsOnChange) {
    TQelODBCClientIndex2 index;
    auto expectError = [&](const char* message) {
        try {
            index.SetActive(true);
            ADD_FAILURE() << "built";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), message);
        }
        EXPECT_FALSE(index.Active());
    };
    expectError("Нет набора данных");
    auto closed = Levels({});
    closed->Close();
    index.SetData(closed.get());
    expectError("Набор данных не открыт");
    auto ds = Levels({{"A", "x"}, {"A", "y"}});
    index.SetData(ds.get());
    expectError("Нет списка полей индекса");
    index.SetFieldName("K1;K2");
    index.SetActive(true);
    EXPECT_TRUE(index.Active());
    ASSERT_NE(index.Root(), nullptr);
    EXPECT_EQ(index.Root()->Children.size(), 1u);
    EXPECT_EQ(index.Root()->Children[0]->Children.size(), 2u);
    index.SetFieldName("K2");
    EXPECT_FALSE(index.Active());
    EXPECT_EQ(index.Root(), nullptr);
}

TEST(SecondIndex, BuildBySortingGivesTheTreeOfAddingOneByOne) {
    std::mt19937 rng(11);
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 2000; ++i)
        rows.push_back({std::to_string(rng() % 7), rng() % 9 ? std::to_string(rng() % 5) : "-", std::to_string(rng() % 3)});
    auto ds = Levels(rows);
    TQelODBCClientIndex2 index;
    index.SetData(ds.get());
    index.SetFieldName("K1;K2;K3");
    index.SetActive(true);
    TQelODBCClientIndex2::TNode root;
    for (TMemoryRecord* r : ds->Records) index.Add(r, &root, 0);
    // Same keys, same children order, same records in the same order at every node.
    std::function<void(const TQelODBCClientIndex2::TNode&, const TQelODBCClientIndex2::TNode&)> same =
        [&](const auto& a, const auto& b) {
            ASSERT_EQ(a.Key, b.Key);
            ASSERT_EQ(a.Records, b.Records);
            ASSERT_EQ(a.Children.size(), b.Children.size());
            for (std::size_t i = 0; i < a.Children.size(); ++i) same(*a.Children[i], *b.Children[i]);
        };
    same(*index.Root(), root);
}
