// The dataset cursor, the edit cycle through record buffers, bookmarks, calculated and
// lookup fields, and the notifications data links receive.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/DataSource.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

// Dataset with fields ID (integer) and NAME (string 10) holding the given rows.
std::unique_ptr<TQelODBCClient> People(const std::vector<std::string>& names) {
    auto ds = std::make_unique<TQelODBCClient>();
    ds->FieldDefs().Add("ID", ftInteger);
    ds->FieldDefs().Add("NAME", ftString, 10);
    ds->Open();
    for (std::size_t i = 0; i < names.size(); ++i) {
        ds->AddRecord();
        ds->SetFieldValueInBuffer(ds->FieldByName("ID"), static_cast<int>(i), Variant::FromInt32(static_cast<int>(i) + 1));
        ds->SetFieldValueInBuffer(ds->FieldByName("NAME"), static_cast<int>(i), Variant::FromAnsi(names[i]));
    }
    ds->First();
    return ds;
}

class RecordingLink : public TDataLink {
public:
    std::vector<std::string> Events;

protected:
    void ActiveChanged() override { Events.push_back(Active() ? "active" : "inactive"); }
    void DataSetChanged() override { Events.push_back("changed"); }
    void DataSetScrolled(int distance) override { Events.push_back("scrolled " + std::to_string(distance)); }
    void RecordChanged(TField* field) override { Events.push_back("record " + (field ? field->FieldName() : std::string("*"))); }
    void EditingChanged() override { Events.push_back(Editing() ? "editing" : "not editing"); }
};

}  // namespace

TEST(Cursor, WalksTheRecordsWithBeginAndEndOfData) {
    auto ds = People({"a", "b", "c"});
    std::string seen;
    for (; !ds->Eof(); ds->Next()) seen += ds->FieldByName("NAME")->AsString();
    EXPECT_EQ(seen, "abc");
    EXPECT_EQ(ds->RecNo(), 3);
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    ds->Prior();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(ds->MoveBy(-5), -1);
    EXPECT_TRUE(ds->Bof());
    ds->SetRecNo(3);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "c");
    ds->SetRecNo(9);  // ignored
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(ds->RecordCount(), 3);
}

TEST(Cursor, RecordNumbersBeforeTheFirstRecord) {
    auto five = People({"a", "b", "c", "d", "e"});
    five->SetRecordPos(-1);
    EXPECT_EQ(five->RecNo(), 1);
    auto empty = People({});
    EXPECT_EQ(empty->RecNo(), 0);
    EXPECT_TRUE(empty->IsEmpty());
}

TEST(Cursor, EditPostCancelAndDelete) {
    auto ds = People({"a", "b", "c"});
    TField* name = ds->FieldByName("NAME");
    ds->Next();
    ds->Edit();
    EXPECT_EQ(ds->State(), dsEdit);
    name->SetAsString("bee");
    EXPECT_EQ(name->OldValue(), Variant::FromAnsi("b"));
    ds->Cancel();
    EXPECT_EQ(name->AsString(), "b");

    ds->Edit();
    name->SetAsString("bee");
    ds->Post();
    Variant v;
    ds->GetFieldValueFromBuffer(name, 1, v);
    EXPECT_EQ(v, Variant::FromAnsi("bee"));
    ds->GetFieldValueFromBuffer(name, 1, v, "old");
    EXPECT_EQ(v, Variant::FromAnsi("b"));

    ds->Insert();  // the cursor stands in the middle: the posted record still goes to the end
    ds->FieldByName("ID")->SetAsInteger(9);
    name->SetAsString("new");
    ds->Post();
    EXPECT_EQ(ds->RealRecordCount(), 4);
    EXPECT_EQ(ds->RecNo(), 4);
    ds->GetFieldValueFromBuffer(name, 3, v);
    EXPECT_EQ(v, Variant::FromAnsi("new"));

    ds->Delete();
    EXPECT_EQ(ds->RealRecordCount(), 3);
    EXPECT_EQ(name->AsString(), "c");

    ds->Append();
    name->SetAsString("last");
    ds->Post();
    ds->GetFieldValueFromBuffer(name, 3, v);
    EXPECT_EQ(v, Variant::FromAnsi("last"));
}

TEST(Cursor, BeforeImageOfTheFirstEditIsKept) {
    auto ds = People({"a"});
    TField* name = ds->FieldByName("NAME");
    for (const char* text : {"b", "c"}) {
        ds->Edit();
        name->SetAsString(text);
        ds->Post();
    }
    Variant v;
    ds->GetFieldValueFromBuffer(name, 0, v, "old");
    EXPECT_EQ(v, Variant::FromAnsi("a"));
    ds->GetFieldValueFromBuffer(name, 0, v, "new");
    EXPECT_EQ(v, Variant::FromAnsi("c"));
    EXPECT_EQ(ds->GetMemoryRecord(0)->FieldChanged()[name->Index()], 1);
}

TEST(Cursor, EmptyTextIsNullOnTheRawPathOnly) {
    auto ds = People({"a"});
    TField* name = ds->FieldByName("NAME");
    ds->Edit();
    name->SetAsString("");
    ds->Post();
    EXPECT_TRUE(name->IsNull());
    Variant v;
    ds->GetFieldValueFromBuffer(name, 0, v);
    EXPECT_EQ(v, Variant::FromAnsi(""));
}

TEST(Cursor, CyrillicTextOfSizeCharactersReadsBackWhole) {
    auto ds = People({"x"});
    TField* name = ds->FieldByName("NAME");
    ds->Edit();
    name->SetAsString("Съешь ещё этих");  // cut to 10 characters
    ds->Post();
    EXPECT_EQ(name->AsString(), "Съешь ещё ");
    ds->Edit();
    name->SetAsString("Привет мир");
    ds->Post();
    EXPECT_EQ(name->AsString(), "Привет мир");
}

TEST(Cursor, WritesRefusedOutsideEditAndOnReadOnlyFields) {
    auto ds = People({"a"});
    TField* name = ds->FieldByName("NAME");
    try {
        name->SetAsString("x");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Dataset not in edit or insert mode");
    }
    name->SetReadOnly(true);
    ds->Edit();
    try {
        name->SetAsString("x");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'NAME' cannot be modified");
    }
    EXPECT_FALSE(ds->Modified());
    ds->Cancel();
    EXPECT_EQ(name->AsString(), "a");
    ds->ReadOnly = true;
    EXPECT_THROW(ds->Edit(), EDatabaseError);
}

TEST(Cursor, BadTextLeavesTheBufferUnchanged) {
    auto ds = People({"a"});
    TField* id = ds->FieldByName("ID");
    ds->Edit();
    EXPECT_THROW(id->SetAsString("12x"), EConvertError);
    EXPECT_THROW(id->SetAsVariant(Variant::FromAnsi("zz")), EVariantError);
    EXPECT_EQ(id->AsInteger(), 1);
    ds->Cancel();
}

TEST(Cursor, Bookmarks) {
    auto ds = People({"a", "b", "c"});
    ds->Next();
    TBookmark b = ds->GetBookmark();
    EXPECT_TRUE(ds->BookmarkValid(b));
    ds->Last();
    TBookmark c = ds->GetBookmark();
    ds->GotoBookmark(b);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "b");
    EXPECT_EQ(ds->CompareBookmarks(b, c), -1);
    EXPECT_EQ(ds->CompareBookmarks(c, b), 1);
    EXPECT_EQ(ds->CompareBookmarks({}, {}), 0);
    EXPECT_EQ(ds->CompareBookmarks(b, {}), 1);
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(b));
    EXPECT_FALSE(ds->BookmarkValid(TBookmark{0, 0, 0, 0x80}));
}

TEST(Cursor, LocateAndLookup) {
    auto ds = People({"Анна", "Борис", "Вера"});
    EXPECT_TRUE(ds->Locate("NAME", Variant::FromAnsi("борис"), {true, false}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_FALSE(ds->Locate("NAME", Variant::FromAnsi("Глеб")));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(ds->Lookup("ID", Variant::FromInt32(3), "NAME"), Variant::FromAnsi("Вера"));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_THROW(ds->Locate("NOPE", Variant::FromInt32(1)), EDatabaseError);
}

TEST(Cursor, CalculatedAndLookupFields) {
    auto names = People({"Анна", "Борис"});
    TQelODBCClient orders;
    auto* id = new TQelODBCIntegerField(&orders);
    id->SetFieldName("PERSON");
    id->SetDataSet(&orders);
    auto* who = new TStringField(&orders);
    who->SetFieldName("WHO");
    who->SetFieldKind(fkLookup);
    who->KeyFields = "PERSON";
    who->LookupDataSet = names.get();
    who->LookupKeyFields = "ID";
    who->LookupResultField = "NAME";
    who->SetDataSet(&orders);
    auto* twice = new TIntegerField(&orders);
    twice->SetFieldName("TWICE");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(&orders);
    orders.OnCalcFields = [](TDataSet& d) {
        d.FieldByName("TWICE")->SetAsInteger(d.FieldByName("PERSON")->AsInteger() * 2);
    };
    orders.Open();
    orders.Append();
    id->SetAsInteger(2);
    EXPECT_EQ(twice->AsInteger(), 4);  // recalculated on change
    orders.Post();
    EXPECT_EQ(who->AsString(), "Борис");
    EXPECT_EQ(twice->AsInteger(), 4);
    Variant v;
    orders.GetFieldValueFromBuffer(who, 0, v);
    EXPECT_EQ(v, Variant::FromAnsi("Борис"));
    EXPECT_THROW(orders.GetFieldValueFromBuffer(twice, 0, v), Exception);
    // A record other than the current one shows its own calculated and looked-up values.
    orders.Append();
    id->SetAsInteger(1);
    orders.Post();
    EXPECT_EQ(orders.RecordDisplayTexts(0, {id, who, twice}), (std::vector<std::string>{"2", "Борис", "4"}));
    EXPECT_EQ(twice->AsInteger(), 2);  // the current record's own values stand
}

TEST(Cursor, DataLinksHearOpenCloseScrollAndChanges) {
    auto ds = People({"a", "b"});
    TDataSource source;
    source.SetDataSet(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    ds->Next();
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("x");
    ds->Post();
    ds->Close();
    const std::vector<std::string> expected = {"active",  "scrolled 1", "editing", "record *",
                                               "record NAME", "not editing", "changed", "inactive"};
    EXPECT_EQ(link.Events, expected);
}

TEST(Cursor, ControlsDisabledHearOneChangeAtTheEnd) {
    auto ds = People({"a", "b", "c"});
    TDataSource source;
    source.SetDataSet(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    link.Events.clear();
    ds->DisableControls();
    ds->Next();
    ds->Next();
    ds->EnableControls();
    EXPECT_EQ(link.Events, std::vector<std::string>{"changed"});
    ds.reset();  // the link learns that its dataset is gone
    EXPECT_FALSE(link.Active());
}
