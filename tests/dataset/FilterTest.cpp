// Which records the in-memory dataset shows: the visibility rules, the filter expression and
// OnFilterRecord, the cursor skipping hidden records, record subsets, and Locate.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

struct Person {
    const char* name;
    std::optional<double> amount;
};

// A dataset with NAME (string 10) and AMOUNT (float), one record per person, cursor on the first.
std::unique_ptr<TQelODBCClient> People(const std::vector<Person>& people) {
    auto ds = std::make_unique<TQelODBCClient>();
    ds->FieldDefs().Add("Name", ftString, 10);
    ds->FieldDefs().Add("Amount", ftFloat);
    ds->Open();
    for (const auto& p : people) {
        ds->AddRecord();
        const int i = ds->RealRecordCount() - 1;
        ds->SetFieldValueInBuffer(ds->FieldByName("Name"), i, p.name ? Variant::FromAnsi(p.name) : Variant::Null());
        ds->SetFieldValueInBuffer(ds->FieldByName("Amount"), i, p.amount ? Variant::FromDouble(*p.amount) : Variant::Null());
    }
    ds->First();
    return ds;
}

// Names of the records the cursor shows, walking forward.
std::string Walk(TQelODBCClient& ds) {
    std::string seen;
    for (ds.First(); !ds.Eof(); ds.Next()) seen += ds.FieldByName("Name")->AsString() + ";";
    return seen;
}

std::string WalkBack(TQelODBCClient& ds) {
    std::string seen;
    for (ds.Last(); !ds.Bof(); ds.Prior()) seen += ds.FieldByName("Name")->AsString() + ";";
    return seen;
}

std::string NameAt(TQelODBCClient& ds, int index) {
    Variant v;
    ds.GetFieldValueFromBuffer(ds.FieldByName("Name"), index, v);
    return v.IsNull() ? "(null)" : v.ToAnsi();
}

std::string Current(TQelODBCClient& ds) { return ds.FieldByName("Name")->AsString(); }

}  // namespace

TEST(Filter, VisibilityRules) {
    const struct {
        const char* name;
        bool filtered, filteredOut, treeAttached, treeVisible;
        TMemRecordStatus status;
        bool visible;
    } cases[] = {
        {"plain", false, false, false, true, mrsNone, true},
        {"rejected while not filtered", false, true, false, true, mrsNone, true},
        {"rejected while filtered", true, true, false, true, mrsNone, false},
        {"accepted while filtered", true, false, false, true, mrsNone, true},
        {"tree hides", false, false, true, false, mrsNone, false},
        {"tree flag without a tree", false, false, false, false, mrsNone, true},
        {"deleted", false, false, false, true, mrsDeleted, false},
        {"modified", false, false, false, true, mrsModified, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto ds = People({{"a", 1}});
        ds->SetFiltered(c.filtered);
        TMemoryRecord* rec = ds->GetMemoryRecord(0);
        rec->FilteredOut = c.filteredOut;
        ds->TreeAttached = c.treeAttached;
        rec->TreeVisible = c.treeVisible;
        rec->UpdateStatus = c.status;
        EXPECT_EQ(ds->IsRecordVisible(0), c.visible);
        EXPECT_EQ(Walk(*ds), c.visible ? "a;" : "");
    }
}

TEST(Filter, AppliedToEveryRecordAndTheCursorSkipsTheRejected) {
    auto ds = People({{"a", 50}, {"b", 150}, {"c", std::nullopt}, {"d", 300}, {"e", 20}});
    ds->SetFilterText("Amount > 100");
    EXPECT_EQ(Walk(*ds), "a;b;c;d;e;");  // not filtered yet
    ds->SetFiltered(true);
    EXPECT_EQ(Walk(*ds), "b;d;");
    EXPECT_EQ(WalkBack(*ds), "d;b;");
    EXPECT_EQ(ds->VisibleCount, 2);
    EXPECT_FALSE(ds->IsSequenced());
    // A new text applies at once while filtered.
    ds->SetFilterText("Amount is null OR Amount < 30");
    EXPECT_EQ(Walk(*ds), "c;e;");
    EXPECT_EQ(ds->VisibleCount, 2);
    // Switched off, the flags stay but hide nothing.
    ds->SetFiltered(false);
    EXPECT_EQ(Walk(*ds), "a;b;c;d;e;");
    EXPECT_TRUE(ds->GetMemoryRecord(0)->FilteredOut);
    ds->SetFiltered(true);
    EXPECT_EQ(Walk(*ds), "c;e;");
    // An empty text lets every record through.
    ds->SetFilterText("");
    EXPECT_EQ(Walk(*ds), "a;b;c;d;e;");
    EXPECT_EQ(ds->VisibleCount, ds->RealRecordCount());
}

TEST(Filter, DeletedRecordAcceptedIsCountedButNotShown) {
    auto ds = People({{"a", 1}, {"b", 2}, {"c", 3}});
    ds->GetMemoryRecord(1)->UpdateStatus = mrsDeleted;
    ds->SetFilterText("Amount >= 2");
    ds->SetFiltered(true);
    EXPECT_EQ(ds->VisibleCount, 2);
    EXPECT_EQ(Walk(*ds), "c;");
}

TEST(Filter, OnFilterRecordHasTheLastWord) {
    auto ds = People({{"a", 1}, {"b", 2}, {"c", 3}});
    std::vector<bool> asked;
    ds->SetOnFilterRecord([&](TDataSet& d, bool& hide) {
        asked.push_back(hide);
        auto& client = static_cast<TQelODBCClient&>(d);
        if (NameAt(client, client.RecordPos) == "b") hide = true;
    });
    ds->SetFilterText("Amount > 1");
    ds->SetFiltered(true);
    EXPECT_EQ(asked, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(Walk(*ds), "c;");
    EXPECT_EQ(ds->VisibleCount, 1);
}

TEST(Filter, ExpressionErrorsPassOnAndKeepTheFlagsNotReached) {
    auto ds = People({{"a", 1}, {"b", 2}, {"c", 3}});
    ds->SetFilterText("Amount > 1");
    ds->SetFiltered(true);
    EXPECT_EQ(Walk(*ds), "b;c;");
    // A field that does not exist: nothing is evaluated.
    try {
        ds->SetFilterText("Nope = 1");
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Ошибка в выражении\rNope");
    }
    EXPECT_EQ(ds->Filter(), "Amount > 1");
    EXPECT_EQ(Walk(*ds), "b;c;");
    // An error while evaluating (a text that is no number) stops at the first record.
    ds->GetMemoryRecord(2)->FilteredOut = true;
    EXPECT_THROW(ds->ApplyFilter("Name * 2 > 1"), std::exception);
    EXPECT_TRUE(ds->GetMemoryRecord(2)->FilteredOut);
    // A result that is no truth value is an error too; Null hides.
    EXPECT_THROW(ds->ApplyFilter("Name"), std::exception);
    ds->ApplyFilter("Amount / 0");
    EXPECT_EQ(ds->VisibleCount, 0);
}

TEST(Filter, PostedRecordIsFilteredAgain) {
    auto ds = People({{"a", 1}, {"b", 2}, {"c", 3}});
    ds->SetFilterText("Amount >= 2");
    ds->SetFiltered(true);
    ASSERT_EQ(Current(*ds), "b");
    ds->Edit();
    ds->FieldByName("Amount")->SetAsFloat(0);
    ds->Post();
    EXPECT_TRUE(ds->GetMemoryRecord(1)->FilteredOut);
    EXPECT_EQ(ds->VisibleCount, 1);
    EXPECT_EQ(Current(*ds), "c");
    // A record posted while the check is off keeps its flag.
    ds->CheckFilterAfterPost = false;
    ds->Edit();
    ds->FieldByName("Amount")->SetAsFloat(0);
    ds->Post();
    EXPECT_FALSE(ds->GetMemoryRecord(2)->FilteredOut);
    EXPECT_EQ(ds->VisibleCount, 1);
}

TEST(Filter, OldValuesOfAnEditedRecord) {
    auto ds = People({{"a", 1}, {"b", 2}});
    ds->Last();
    ds->Edit();
    ds->FieldByName("Amount")->SetAsFloat(20);
    ds->Post();
    ds->ApplyFilter("OLD_Amount = 2 AND Amount = 20");
    EXPECT_EQ(ds->VisibleCount, 1);
    EXPECT_FALSE(ds->GetMemoryRecord(1)->FilteredOut);
}

TEST(Filter, FindFieldListSkipsUnknownNames) {
    auto ds = People({});
    std::vector<TField*> list{nullptr};
    ds->FindFieldList(list, "Amount; nope;name;");
    EXPECT_EQ(list, (std::vector<TField*>{ds->FieldByName("Amount"), ds->FieldByName("Name")}));
}

TEST(Filter, RecordSubsetReplacesTheRecordList) {
    auto ds = People({{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}});
    const std::vector<std::int32_t> first{3, 1};
    ds->SetRecordFilter(&first);
    EXPECT_TRUE(ds->GetFiltered2());
    EXPECT_EQ(ds->RealRecordCount(), 2);
    EXPECT_EQ(NameAt(*ds, 0), "d");
    EXPECT_EQ(NameAt(*ds, 1), "b");
    EXPECT_EQ(Walk(*ds), "d;b;");
    EXPECT_EQ(ds->AllRecords().size(), 4u);
    // Indexes always name the full list.
    const std::vector<std::int32_t> second{0};
    ds->SetRecordFilter(&second);
    EXPECT_EQ(Walk(*ds), "a;");
    // A bad index changes nothing; a record named twice is taken once.
    const std::vector<std::int32_t> bad{1, 4};
    EXPECT_THROW(ds->SetRecordFilter(&bad), EListError);
    EXPECT_EQ(Walk(*ds), "a;");
    const std::vector<std::int32_t> twice{2, 2, 0};
    ds->SetRecordFilter(&twice);
    EXPECT_EQ(Walk(*ds), "c;a;");
    // A record added now belongs to both lists.
    ds->AddRecord();
    ds->SetFieldValueInBuffer(ds->FieldByName("Name"), 2, Variant::FromAnsi("e"));
    EXPECT_EQ(ds->AllRecords().size(), 5u);
    ds->SetRecordFilter(nullptr);
    EXPECT_FALSE(ds->GetFiltered2());
    EXPECT_EQ(Walk(*ds), "a;b;c;d;e;");
    // Lifting twice is harmless.
    ds->SetRecordFilter(nullptr);
    EXPECT_EQ(ds->RealRecordCount(), 5);
}

TEST(Filter, RecordSubsetIsFilteredWhileFiltered) {
    auto ds = People({{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}});
    ds->SetFilterText("Amount > 1");
    ds->SetFiltered(true);
    EXPECT_EQ(ds->VisibleCount, 3);
    const std::vector<std::int32_t> subset{0, 1};
    ds->SetRecordFilter(&subset);
    EXPECT_EQ(ds->VisibleCount, 1);
    EXPECT_FALSE(ds->IsRecordVisible(0));
    EXPECT_TRUE(ds->IsRecordVisible(1));
    EXPECT_EQ(Walk(*ds), "b;");
    ds->SetRecordFilter(nullptr);
    EXPECT_EQ(ds->VisibleCount, 3);
    EXPECT_EQ(Walk(*ds), "b;c;d;");
}

TEST(Filter, ClosingForgetsTheSubsetAndTheCompiledFilter) {
    auto ds = People({{"a", 1}, {"b", 2}});
    const std::vector<std::int32_t> subset{1};
    ds->SetRecordFilter(&subset);
    ds->ApplyFilter("Amount > 1");
    ds->Close();
    EXPECT_FALSE(ds->GetFiltered2());
    EXPECT_FALSE(ds->Expression().Compiled() && !ds->Expression().Code().empty());
}

TEST(Filter, LocateSearchesByHalvesOnlyWhenOrderedByTheKeys) {
    auto ds = People({});
    const std::vector<TField*> name{ds->FieldByName("Name")};
    const std::vector<TField*> both{ds->FieldByName("Name"), ds->FieldByName("Amount")};
    const struct {
        const char* orderBy;
        bool byName, byBoth;
    } cases[] = {
        {" Name ASC", true, false},
        {" Name ASC, Amount ASC", true, true},
        {" Name ASC, Amount DESC", true, false},
        {"Name ASC", false, false},
        {" name ASC", false, false},
        {" Name DESC", false, false},
        {" Name", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orderBy);
        ds->SetOrderBy(c.orderBy);
        EXPECT_EQ(ds->LocateSearchesByHalves(name), c.byName);
        EXPECT_EQ(ds->LocateSearchesByHalves(both), c.byBoth);
    }
}

TEST(Filter, LocateFindsTheFirstMatch) {
    const struct {
        const char* name;
        const char* orderBy;
        const char* key;
        TLocateOptions options;
        bool found;
        const char* current;
    } cases[] = {
        // The records are in order of Name: both searches give the same answers.
        {"by halves", " Name ASC", "c", {}, true, "c"},
        {"by scan", "", "c", {}, true, "c"},
        {"by halves, missing", " Name ASC", "bb", {}, false, "b"},
        {"by scan, missing", "", "bb", {}, false, "b"},
        {"case differs", "", "B", {}, false, "b"},
        {"case ignored", "", "B", {true, false}, true, "b"},
        {"partial", "", "A", {true, true}, true, "ab"},
        {"partial needs the prefix", "", "bb", {false, true}, false, "b"},
        {"null key finds the null", "", nullptr, {}, true, ""},
        {"null key by halves", " Name ASC", nullptr, {}, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto ds = People({{nullptr, 0}, {"ab", 1}, {"b", 2}, {"c", 3}, {"c", 4}});
        ds->SetOrderBy(c.orderBy);
        ds->Next();
        ds->Next();  // on "b"
        const Variant key = c.key ? Variant::FromAnsi(c.key) : Variant::Null();
        EXPECT_EQ(ds->Locate("Name", key, c.options), c.found);
        EXPECT_EQ(Current(*ds), c.current);
        if (c.found && c.key && std::string(c.key) == "c") {
            EXPECT_EQ(ds->FieldByName("Amount")->AsFloat(), 3);
        }
    }
}

TEST(Filter, LocateByHalvesTakesTheFirstShownOfEqualKeys) {
    auto ds = People({{"a", 1}, {"b", 2}, {"b", 3}, {"b", 4}, {"b", 5}, {"c", 6}, {"d", 7}});
    ds->SetOrderBy(" Name ASC");
    ASSERT_TRUE(ds->Locate("Name", Variant::FromAnsi("b")));
    EXPECT_EQ(ds->FieldByName("Amount")->AsFloat(), 2);
    ds->First();
    ds->SetFilterText("Amount > 3");
    ds->SetFiltered(true);
    ASSERT_TRUE(ds->Locate("Name", Variant::FromAnsi("b")));
    EXPECT_EQ(ds->FieldByName("Amount")->AsFloat(), 4);
    EXPECT_TRUE(ds->Locate("Name", Variant::FromAnsi("d")));
    EXPECT_FALSE(ds->Locate("Name", Variant::FromAnsi("a")));
    EXPECT_EQ(Current(*ds), "d");
    // Several key fields: an array of keys.
    ds->SetFiltered(false);
    ds->SetOrderBy(" Name ASC, Amount ASC");
    Variant keys = Variant::MakeArray(VT_VARIANT, 0, 1);
    keys.PutElement(0, Variant::FromAnsi("b"));
    keys.PutElement(1, Variant::FromDouble(5));
    ASSERT_TRUE(ds->Locate("Name;Amount", keys));
    EXPECT_EQ(ds->RecNo(), 5);
}

TEST(Filter, LocateErrors) {
    auto ds = People({{"a", 1}});
    try {
        ds->Locate(" ", Variant::FromAnsi("a"));
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Не задан список полей!");
    }
    EXPECT_THROW(ds->Locate("Nope", Variant::FromAnsi("a")), EDatabaseError);
    auto empty = People({});
    EXPECT_FALSE(empty->Locate("Name", Variant::FromAnsi("a")));
}

TEST(Filter, LocateOnTheCurrentMatchStaysAndNotifies) {
    auto ds = People({{"a", 1}, {"a", 2}});
    ds->Last();
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet&) { ++scrolls; };
    EXPECT_TRUE(ds->Locate("Name", Variant::FromAnsi("a")));
    EXPECT_EQ(ds->FieldByName("Amount")->AsFloat(), 2);
    EXPECT_EQ(scrolls, 0);
}
