// The field classes of the in-memory dataset: scripts and their events, totals membership,
// texts of byte fields, master-field references and modifiability.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

template <class F>
F* AddField(TQelODBCClient& ds, const char* name, int size = 0) {
    auto* f = new F(&ds);
    f->SetFieldName(name);
    if (size) f->SetSize(size);
    f->SetDataSet(&ds);
    return f;
}

}  // namespace

TEST(FieldClasses, ScriptEventsRewriteOnEveryRead) {
    TQelODBCClient ds;
    auto* f = AddField<TQelODBCStringField>(ds, "S");
    f->SetTableName("T");
    f->OnGetTableName = [](TField&, std::string& text) { text += "_x"; };
    f->SQL_Update_ValueScript = "S = :S";
    f->OnGetValueScript = [](TField&, std::string& text) { text = "[" + text + "]"; };
    IODBCField* i = AsODBCField(f);
    EXPECT_EQ(i->GetTableName(), "T_x");
    EXPECT_EQ(i->GetTableName(), "T_x");
    EXPECT_EQ(f->SQL_TableName, "T");
    EXPECT_EQ(i->GetUpdate_ValueScript(), "[S = :S]");
    EXPECT_EQ(i->GetUpdate_KeyScript(), "");
    i->SetFilterValue(Variant::FromInt32(5));
    EXPECT_TRUE(i->GetFilterValue().IsEmpty());
    EXPECT_TRUE(i->GetCheckAccess());
}

TEST(FieldClasses, SlotLengthsAndOffsetsThroughTheInterface) {
    TQelODBCClient ds;
    auto* s = AddField<TQelODBCStringField>(ds, "S", 10);
    auto* w = AddField<TQelODBCWideStringField>(ds, "W", 5);
    auto* b = AddField<TQelODBCBCDField>(ds, "B");
    EXPECT_EQ(AsODBCField(s)->GetDataOfs(), -1);
    ds.Open();
    EXPECT_EQ(AsODBCField(s)->GetSize_(), 41);
    EXPECT_EQ(AsODBCField(w)->GetSize_(), 12);
    EXPECT_EQ(AsODBCField(b)->GetSize_(), 34);
    EXPECT_EQ(AsODBCField(w)->GetDataOfs(), 42);
    EXPECT_EQ(AsODBCField(b)->GetDataOfs(), 55);
}

TEST(FieldClasses, TotalsMembership) {
    TQelODBCClient ds;
    auto* i = AddField<TQelODBCIntegerField>(ds, "I");
    auto* b = AddField<TQelODBCBCDField>(ds, "B");
    ds.Open();
    i->Setcalc_total(true);
    i->Setcalc_total(true);
    b->Setcalc_total(true);
    b->Setcalc_total(true);
    EXPECT_EQ(std::count(ds.TotalFields.begin(), ds.TotalFields.end(), i), 2);
    EXPECT_EQ(std::count(ds.TotalFields.begin(), ds.TotalFields.end(), b), 1);
    b->Setcalc_total(false);
    EXPECT_EQ(std::count(ds.TotalFields.begin(), ds.TotalFields.end(), b), 0);
}

TEST(FieldClasses, BcdTotalFollowsTheRecordBeingEdited) {
    TQelODBCClient ds;
    auto* b = AddField<TQelODBCBCDField>(ds, "B");
    ds.Open();
    ds.AddRecord();
    ds.SetFieldValueInBuffer(b, 0, Variant::FromInt32(10));
    ds.First();
    b->Total = Variant::FromCurrency(Currency{100 * 10000});
    ds.Edit();
    b->SetAsCurrency(Currency{25 * 10000});
    EXPECT_EQ(b->GetTotal(), Variant::FromCurrency(Currency{115 * 10000}));
    EXPECT_EQ(b->Total, Variant::FromCurrency(Currency{100 * 10000}));
    ds.Post();
    EXPECT_EQ(b->GetTotal(), Variant::FromCurrency(Currency{100 * 10000}));
}

TEST(FieldClasses, ByteFieldTexts) {
    TQelODBCClient ds;
    auto* bytes = AddField<TQelODBCBytesField>(ds, "B", 3);
    auto* var = AddField<TQelODBCVarBytesField>(ds, "V", 4);
    ds.Open();
    ds.Append();
    EXPECT_EQ(bytes->DisplayText(), "");
    bytes->SetAsVariant(Variant::FromBytes(std::vector<std::uint8_t>{1, 2, 255}));
    EXPECT_EQ(bytes->DisplayText(), "1;2;255;");
    var->SetAsString("abcdef");
    ds.Post();
    auto* slot = static_cast<std::uint8_t*>(ds.GetRecordFieldData(var, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(slot, slot + 7), (std::vector<std::uint8_t>{1, 4, 0, 'a', 'b', 'c', 'd'}));
}

TEST(FieldClasses, MemoReadsNumbersThroughItsText) {
    TQelODBCClient ds;
    auto* m = AddField<TQelODBCMemoField>(ds, "M");
    ds.Open();
    ds.Append();
    m->SetEditText("12");
    EXPECT_EQ(m->AsInteger(), 12);
    EXPECT_DOUBLE_EQ(m->AsFloat(), 12.0);
    EXPECT_EQ(m->DisplayText(), "12");
    m->SetEditText("двенадцать");
    EXPECT_THROW(m->AsInteger(), EConvertError);
    ds.Post();
}

TEST(FieldClasses, MasterFieldReferenceClearedWhenMasterGoes) {
    TQelODBCClient ds;
    auto* key = AddField<TQelODBCIntegerField>(ds, "K");
    auto* name = AddField<TQelODBCStringField>(ds, "N");
    name->SetMasterField(key);
    EXPECT_EQ(AsODBCField(name)->GetMasterField(), key);
    delete key;
    EXPECT_EQ(name->MasterField, nullptr);
    EXPECT_EQ(ds.FieldCount(), 1);
}

TEST(FieldClasses, ModifiabilityEvent) {
    TQelODBCClient ds;
    auto* s = AddField<TQelODBCStringField>(ds, "S");
    auto* w = AddField<TQelODBCWideStringField>(ds, "W");
    int calls = 0;
    s->OnGetCanModify = [&](TField&, bool& can) { ++calls; can = false; };
    w->OnGetCanModify = [&](TField&, bool&) { ++calls; };
    ds.Open();
    EXPECT_FALSE(s->CanModify());
    EXPECT_TRUE(w->CanModify());
    EXPECT_EQ(calls, 1);
    ds.ReadOnly = true;
    EXPECT_TRUE(AsODBCField(s)->GetReadOnly());
}

TEST(FieldClasses, BlobFieldGivesStoredBytes) {
    TQelODBCClient ds;
    auto* b = AddField<TQelODBCBlobField>(ds, "B");
    ds.Open();
    EXPECT_TRUE(b->AsVariant().IsNull());
    ds.Append();
    b->SetAsVariant(Variant::FromBytes(std::vector<std::uint8_t>{0, 9, 0}));
    ds.Post();
    EXPECT_EQ(b->AsVariant(), Variant::FromBytes(std::vector<std::uint8_t>{0, 9, 0}));
}
