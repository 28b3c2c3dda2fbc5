// The in-memory dataset as a record source: its columns in the stored form, every record by its
// place in the full list while a subset is shown, and its opening, closing and end told to the
// listeners.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/ClientRecordSource.h"
#include "dataset/QelODBCClient.h"

using namespace kubrix;

namespace {

class Heard : public IRecordSourceListener {
public:
    std::vector<TRecordSourceChange> Changes;
    void RecordSourceChanged(TRecordSource&, TRecordSourceChange change) override { Changes.push_back(change); }
};

// Opens a dataset of a text, a number and a memo with a record per value of n.
void Fill(TQelODBCClient& ds, const std::vector<int>& values) {
    ds.FieldDefs().Add("Name", ftString, 4);
    ds.FieldDefs().Add("N", ftInteger);
    ds.FieldDefs().Add("Note", ftMemo);
    ds.Open();
    for (int v : values) {
        ds.AddRecord();
        const int i = ds.RealRecordCount() - 1;
        ds.SetFieldValueInBuffer(ds.Fields()[0], i, Variant::FromAnsi("r" + std::to_string(v)));
        ds.SetFieldValueInBuffer(ds.Fields()[1], i, Variant::FromInt32(v));
        ds.SetFieldValueInBuffer(ds.Fields()[2], i, Variant::FromAnsi("note " + std::to_string(v)));
    }
}

int NumberAt(const TRecordSource& source, int record) {
    const TRecordField f = source.Field(1);
    Variant v = TValueCodec(f.DataType, f.Size).Decode(source.RecordData(record) + f.Offset);
    return v.ToInt32();
}

}  // namespace

TEST(ClientRecordSource, ColumnsInTheStoredForm) {
    TQelODBCClient ds;
    TClientRecordSource source(ds);
    EXPECT_FALSE(source.Active());
    EXPECT_EQ(source.RecordCount(), 0);
    Fill(ds, {7, 8});
    ds.Fields()[0]->SetDisplayLabel("Имя");
    struct Case {
        int index;
        const char* name;
        const char* label;
        TFieldType type;
        bool blob;
    } cases[] = {
        {0, "Name", "Имя", ftString, false},
        {1, "N", "N", ftInteger, false},
        {2, "Note", "Note", ftMemo, true},
    };
    ASSERT_EQ(source.FieldCount(), 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TRecordField f = source.Field(c.index);
        EXPECT_EQ(f.Name, c.name);
        EXPECT_EQ(f.DisplayLabel, c.label);
        EXPECT_EQ(f.DataType, c.type);
        EXPECT_EQ(f.Blob, c.blob);
        // A slot column's slot is where the dataset itself keeps the value.
        if (!c.blob) {
            EXPECT_EQ(f.SlotSize, 1 + CalcFieldLen(c.type, f.Size));
            EXPECT_EQ(source.FieldData(1, c.index), ds.GetRecordFieldData(ds.Fields()[static_cast<std::size_t>(c.index)], 1));
        }
    }
    EXPECT_EQ(*source.BlobData(1, 2), "note 8");
    EXPECT_EQ(source.BlobData(1, 1), nullptr);
    EXPECT_ANY_THROW(source.RecordData(2));
    EXPECT_ANY_THROW(source.Field(3));
}

// A subset narrows what the dataset shows; the source keeps every record at its place.
TEST(ClientRecordSource, AddressesTheFullListWhileASubsetIsShown) {
    TQelODBCClient ds;
    TClientRecordSource source(ds);
    Fill(ds, {10, 11, 12, 13});
    ds.UnfilteredRecords = std::make_unique<std::vector<TMemoryRecord*>>(ds.Records);
    ds.Records = {ds.Records[3], ds.Records[1]};
    ASSERT_EQ(ds.RealRecordCount(), 2);
    EXPECT_EQ(source.RecordCount(), 4);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(NumberAt(source, r), 10 + r);
    // The subset lifted: the same places.
    ds.Records = *ds.UnfilteredRecords;
    ds.UnfilteredRecords.reset();
    for (int r = 0; r < 4; ++r) EXPECT_EQ(NumberAt(source, r), 10 + r);
}

TEST(ClientRecordSource, ListenersHearOpenCloseAndTheEnd) {
    Heard heard, gone;
    auto ds = std::make_unique<TQelODBCClient>();
    auto source = std::make_unique<TClientRecordSource>(*ds);
    source->AddListener(&heard);
    source->AddListener(&gone);
    source->AddListener(&heard);  // once only
    Fill(*ds, {1});
    source->RemoveListener(&gone);
    ds->Close();
    EXPECT_EQ(source->RecordCount(), 0);
    ds->Open();
    // The dataset goes first: the source reads as closed and touches nothing of it.
    ds.reset();
    EXPECT_FALSE(source->Active());
    EXPECT_EQ(source->FieldCount(), 0);
    source.reset();
    using C = TRecordSourceChange;
    EXPECT_EQ(heard.Changes, (std::vector<C>{C::Opened, C::Closed, C::Opened, C::Closed, C::Destroyed}));
    EXPECT_EQ(gone.Changes, (std::vector<C>{C::Opened}));
}

// A reader keeps what it derived from the records while the generation stands: every change
// of them must move it, and a mere move of the cursor must not.
TEST(ClientRecordSource, EveryChangeOfTheRecordsMovesTheGeneration) {
    struct Case {
        const char* name;
        std::function<void(TQelODBCClient&)> act;
        bool changes;
    };
    const std::vector<Case> cases = {
        {"a record added", [](TQelODBCClient& ds) { ds.AddRecord(); }, true},
        {"a value written in place",
         [](TQelODBCClient& ds) { ds.SetFieldValueInBuffer(ds.Fields()[1], 0, Variant::FromInt32(5)); }, true},
        {"an edit posted",
         [](TQelODBCClient& ds) {
             ds.Edit();
             ds.Fields()[1]->SetAsInteger(40);
             ds.Post();
         },
         true},
        {"a record deleted", [](TQelODBCClient& ds) { ds.Delete(); }, true},
        {"a record moved", [](TQelODBCClient& ds) { ds.GetMemoryRecord(0)->SetIndex(1); }, true},
        {"reopened", [](TQelODBCClient& ds) { ds.Close(); ds.Open(); }, true},
        {"the cursor moved by a record", [](TQelODBCClient& ds) { ds.Next(); ds.Next(); ds.Prior(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TQelODBCClient ds;
        TClientRecordSource source(ds);
        Fill(ds, {1, 2, 3});
        ds.First();
        const std::uint64_t before = source.Generation();
        c.act(ds);
        EXPECT_EQ(source.Generation() != before, c.changes);
    }
}
