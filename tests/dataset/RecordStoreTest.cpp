// The record store: stored value forms byte for byte, Variant access both ways, record
// identifiers, search keys and the raw comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A dataset with the given definitions, opened empty.
std::unique_ptr<TQelODBCClient> OpenWith(const std::vector<std::tuple<const char*, TFieldType, int>>& defs) {
    auto ds = std::make_unique<TQelODBCClient>();
    for (auto& [name, type, size] : defs) ds->FieldDefs().Add(name, type, size);
    ds->Open();
    return ds;
}

Bytes Slot(TQelODBCClient& ds, TField* f, int index) {
    auto* p = static_cast<std::uint8_t*>(ds.GetRecordFieldData(f, index));
    return p ? Bytes(p, p + CalcFieldLen(f->DataType(), f->Size()) + 1) : Bytes{};
}

template <class T>
Bytes Raw(std::uint8_t flag, T v, std::size_t total) {
    Bytes b(total, 0);
    b[0] = flag;
    std::memcpy(b.data() + 1, &v, sizeof v);
    return b;
}

Bytes Text(const std::string& s, std::size_t total) {
    Bytes b(total, 0);
    b[0] = 1;
    std::memcpy(b.data() + 1, s.data(), s.size());
    return b;
}

}  // namespace

struct FormCase {
    const char* name;
    TFieldType type;
    int size;
    Variant value;
    Bytes slot;      // flag byte and value bytes
    Variant back;    // value read back
};

TEST(RecordStore, StoresEachTypeInItsByteForm) {
    const std::string cyr10 = "Привет мир";  // 10 characters, 19 bytes
    const FormCase cases[] = {
        {"string", ftString, 10, Variant::FromAnsi("abc"), Text("abc", 42), Variant::FromAnsi("abc")},
        {"string cut to Size", ftString, 10, Variant::FromAnsi("abcdefghijklmno"), Text("abcdefghij", 42),
         Variant::FromAnsi("abcdefghij")},
        {"cyrillic string of Size characters kept whole", ftString, 10, Variant::FromAnsi(cyr10), Text(cyr10, 42),
         Variant::FromAnsi(cyr10)},
        {"cyrillic string cut between characters", ftString, 3, Variant::FromAnsi("Жёлтый"), Text("Жёл", 14),
         Variant::FromAnsi("Жёл")},
        {"empty string is present", ftString, 4, Variant::FromAnsi(""), Text("", 18), Variant::FromAnsi("")},
        {"smallint", ftSmallint, 0, Variant::FromInt32(-2), Raw<std::int16_t>(1, -2, 3), Variant::FromInt16(-2)},
        {"integer", ftInteger, 0, Variant::FromInt32(0x01020304), Bytes{1, 4, 3, 2, 1}, Variant::FromInt32(0x01020304)},
        {"integer from text", ftInteger, 0, Variant::FromAnsi("42"), Raw<std::int32_t>(1, 42, 5), Variant::FromInt32(42)},
        {"word", ftWord, 0, Variant::FromInt32(65535), Bytes{1, 0xFF, 0xFF}, Variant::FromUInt16(65535)},
        {"boolean true", ftBoolean, 0, Variant::FromBool(true), Bytes{1, 0xFF, 0xFF}, Variant::FromBool(true)},
        {"boolean false", ftBoolean, 0, Variant::FromBool(false), Bytes{1, 0, 0}, Variant::FromBool(false)},
        {"float", ftFloat, 0, Variant::FromDouble(1.5), Raw<double>(1, 1.5, 9), Variant::FromDouble(1.5)},
        {"currency as scaled integer", ftCurrency, 0, Variant::FromDouble(1.5), Raw<std::int64_t>(1, 15000, 9),
         Variant::FromCurrency(Currency{15000})},
        {"date-time 2000-01-01 12:00", ftDateTime, 0, Variant::FromDate(36526.5),
         Raw<double>(1, 63082411200000.0, 9), Variant::FromDate(36526.5)},
        {"date-time 1899-12-30", ftDateTime, 0, Variant::FromDate(0), Raw<double>(1, 59926521600000.0, 9),
         Variant::FromDate(0)},
        {"bytes", ftBytes, 3, Variant::FromBytes(Bytes{7, 8, 9}), Bytes{1, 7, 8, 9}, Variant::FromBytes(Bytes{7, 8, 9})},
        {"var-bytes of 3 bytes", ftVarBytes, 5, Variant::FromBytes(Bytes{1, 2, 3}), Bytes{1, 3, 0, 1, 2, 3, 0, 0},
         Variant::FromBytes(Bytes{1, 2, 3})},
        {"var-bytes cut to Size", ftVarBytes, 2, Variant::FromAnsi("abc"), Bytes{1, 2, 0, 'a', 'b'},
         Variant::FromBytes(Bytes{'a', 'b'})},
        {"wide string", ftWideString, 3, Variant::FromWide(u"hiЖ!"), Bytes{1, 'h', 0, 'i', 0, 0x16, 0x04, 0, 0},
         Variant::FromWide(u"hiЖ")},
        {"null integer", ftInteger, 0, Variant::Null(), Bytes{0, 0, 0, 0, 0}, Variant::Null()},
        {"unassigned counts as null", ftFloat, 0, Variant(), Bytes(9, 0), Variant::Null()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto ds = OpenWith({{"F", c.type, c.size}});
        TField* f = ds->FieldByName("F");
        ds->AddRecord();
        ds->SetFieldValueInBuffer(f, 0, c.value);
        EXPECT_EQ(Slot(*ds, f, 0), c.slot);
        Variant v;
        ds->GetFieldValueFromBuffer(f, 0, v);
        EXPECT_EQ(v, c.back);
    }
}

TEST(RecordStore, LaysOutSlotsInDefinitionOrder) {
    auto ds = OpenWith({{"S", ftString, 10}, {"M", ftMemo, 0}, {"I", ftInteger, 0}, {"B", ftBCD, 2}, {"V", ftVariant, 0}});
    EXPECT_EQ(ds->FieldOffsets, (std::vector<std::int32_t>{0, 42, 42, 47, 82}));
    EXPECT_EQ(ds->RecordSize, 42 + 5 + 35 + 17);
    EXPECT_EQ(ds->BlobCount, 1);
    EXPECT_EQ(AsODBCField(ds->FieldByName("I"))->GetDataOfs(), 42);
    EXPECT_EQ(AsODBCField(ds->FieldByName("M"))->GetDataOfs(), -1);
}

TEST(RecordStore, PackedDecimalCarriesPrecisionAndScale) {
    auto ds = OpenWith({{"B", ftBCD, 2}});
    TField* f = ds->FieldByName("B");
    ds->AddRecord();
    ds->SetFieldValueInBuffer(f, 0, Variant::FromDouble(-12.5));
    Bytes slot = Slot(*ds, f, 0);
    ASSERT_EQ(slot.size(), 35u);
    EXPECT_EQ(slot[0], 1);
    EXPECT_EQ(slot[1], 32);          // precision
    EXPECT_EQ(slot[2], 0x80 | 2);    // negative, two decimals
    Variant v;
    ds->GetFieldValueFromBuffer(f, 0, v);
    EXPECT_EQ(v, Variant::FromCurrency(Currency{-125000}));
}

struct BadValueCase {
    const char* name;
    TFieldType type;
    int size;
    Variant value;
};

TEST(RecordStore, ValueThatDoesNotConvertLeavesTheRecordAsItWas) {
    const BadValueCase cases[] = {
        {"text into integer", ftInteger, 0, Variant::FromAnsi("abc")},
        {"smallint overflow", ftSmallint, 0, Variant::FromInt32(70000)},
        {"negative word", ftWord, 0, Variant::FromInt32(-1)},
        {"text into date-time", ftDateTime, 0, Variant::FromAnsi("not a date")},
        {"text into currency", ftCurrency, 0, Variant::FromAnsi("x1")},
        {"plain value into bytes", ftBytes, 2, Variant::FromInt32(5)},
        {"too large for BCD", ftBCD, 4, Variant::FromDouble(1e300)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto ds = OpenWith({{"F", c.type, c.size}});
        TField* f = ds->FieldByName("F");
        ds->AddRecord();
        Bytes before = Slot(*ds, f, 0);
        EXPECT_ANY_THROW(ds->SetFieldValueInBuffer(f, 0, c.value));
        EXPECT_EQ(Slot(*ds, f, 0), before);
    }
}

TEST(RecordStore, UnhandledTypesRaiseTheirMessages) {
    auto ds = OpenWith({{"L", ftLargeint, 0}});
    ds->AddRecord();
    try {
        ds->SetFieldValueInBuffer(ds->FieldByName("L"), 0, Variant::FromInt32(1));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Необрабатываемый тип поля. L");
    }
}

TEST(RecordStore, IndexOutsideTheListRaises) {
    auto ds = OpenWith({{"I", ftInteger, 0}});
    ds->AddRecord();
    TField* f = ds->FieldByName("I");
    Variant v;
    for (int index : {-1, 1, 1000000}) {
        SCOPED_TRACE(index);
        EXPECT_THROW(ds->GetFieldValueFromBuffer(f, index, v), EListError);
        EXPECT_THROW(ds->SetFieldValueInBuffer(f, index, Variant::FromInt32(1)), EListError);
        EXPECT_THROW(ds->GetRecordFieldData(f, index), EListError);
        EXPECT_THROW(ds->GetMemoryRecord(index), EListError);
    }
    EXPECT_THROW(ds->InsertRecord(5), EListError);
    EXPECT_EQ(ds->RealRecordCount(), 1);
}

TEST(RecordStore, RecordIdentifiersStartOverWhenTheListEmpties) {
    auto ds = OpenWith({{"I", ftInteger, 0}});
    EXPECT_EQ(ds->AddRecord()->RecordID, -2147483647);
    EXPECT_EQ(ds->AddRecord()->RecordID, -2147483646);
    ds->RemoveRecord(1);
    EXPECT_EQ(ds->AddRecord()->RecordID, -2147483645);
    ds->RemoveRecord(0);
    ds->RemoveRecord(0);
    EXPECT_EQ(ds->AddRecord()->RecordID, -2147483647);
    ds->Close();
    ds->Open();
    EXPECT_EQ(ds->AddRecord()->RecordID, -2147483647);
}

TEST(RecordStore, InsertRecordAndFindByIdentifier) {
    auto ds = OpenWith({{"I", ftInteger, 0}});
    TField* f = ds->FieldByName("I");
    for (int i = 0; i < 3; ++i) ds->SetFieldValueInBuffer(f, ds->AddRecord()->GetIndex(), Variant::FromInt32(i));
    TMemoryRecord* r = ds->InsertRecord(1);
    EXPECT_EQ(r->GetIndex(), 1);
    EXPECT_EQ(ds->FindRecordID(r->RecordID), r);
    EXPECT_EQ(ds->FindRecordID_(r->RecordID), 1);
    EXPECT_EQ(ds->FindRecordID_(12345), -1);
    Variant v;
    ds->GetFieldValueFromBuffer(f, 2, v);
    EXPECT_EQ(v, Variant::FromInt32(1));
}

TEST(RecordStore, MemoKeepsItsTextWhenNullIsWritten) {
    auto ds = OpenWith({{"M", ftMemo, 0}, {"B", ftBlob, 0}});
    TField* m = ds->FieldByName("M");
    TField* b = ds->FieldByName("B");
    ds->AddRecord();
    ds->SetFieldValueInBuffer(m, 0, Variant::FromAnsi("текст"));
    ds->SetFieldValueInBuffer(m, 0, Variant::Null());
    ds->SetFieldValueInBuffer(b, 0, Variant::FromBytes(Bytes{0, 1, 2}));
    Variant v;
    ds->GetFieldValueFromBuffer(m, 0, v);
    EXPECT_EQ(v, Variant::FromAnsi("текст"));
    EXPECT_EQ(*static_cast<std::string*>(ds->GetRecordFieldData(m, 0)), "текст");
    ds->GetFieldValueFromBuffer(b, 0, v);
    EXPECT_EQ(v, Variant::FromBytes(Bytes{0, 1, 2}));
}

TEST(RecordStore, VariantSlotsAreOwnedAndCopiedByValue) {
    auto ds = OpenWith({{"V", ftVariant, 0}});
    TField* f = ds->FieldByName("V");
    ds->AddRecord();
    ds->SetFieldValueInBuffer(f, 0, Variant::FromAnsi(std::string(100, 'x')));
    TMemoryRecord* copy = ds->CopyRecord(ds->GetMemoryRecord(0));
    EXPECT_EQ(copy->MainRecord(), ds->GetMemoryRecord(0));
    ds->SetFieldValueInBuffer(f, 0, Variant::FromInt32(3));
    Variant v;
    ds->GetFieldValueFromBuffer(f, 1, v);
    EXPECT_EQ(v, Variant::FromAnsi(std::string(100, 'x')));
    ds->SetFieldValueInBuffer(f, 1, Variant::Null());
    EXPECT_EQ(Slot(*ds, f, 1), Bytes(17, 0));
    EXPECT_EQ(ds->CopyRecord(copy)->MainRecord(), ds->GetMemoryRecord(0));
}

struct CompareCase {
    const char* name;
    Bytes a, b;
    int expected;
};

TEST(RecordStore, CompareMemBlocksOrdersSignedWordsThenSignedBytes) {
    const CompareCase cases[] = {
        {"equal", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, 0},
        {"1 against -1 as words", {1, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF}, 2},
        {"little-endian word", {0, 1, 0, 0}, {0xFF, 0, 0, 0}, 2},
        {"tail bytes are signed", {0, 0, 0, 0, 0x80}, {0, 0, 0, 0, 0x7F}, 1},
        {"first difference decides", {2, 0, 0, 0, 0}, {1, 0, 0, 0, 9}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CompareMemBlocks(c.a.data(), c.b.data(), static_cast<int>(c.a.size())), c.expected);
    }
}

struct KeyCase {
    const char* name;
    TFieldType type;
    int size;
    Variant value;
    Bytes key;
};

TEST(RecordStore, SearchKeysMatchTheStoredForm) {
    const KeyCase cases[] = {
        {"null", ftInteger, 0, Variant::Null(), Bytes(5, 0)},
        {"int16", ftSmallint, 0, Variant::FromInt16(-2), Bytes{1, 0xFE, 0xFF}},
        {"int32", ftInteger, 0, Variant::FromInt32(7), Bytes{1, 7, 0, 0, 0}},
        {"boolean", ftBoolean, 0, Variant::FromBool(true), Bytes{1, 0xFF, 0xFF}},
        {"text cut to Size characters", ftString, 2, Variant::FromAnsi("Жёлтый"), Text("Жё", 10)},
        {"empty text", ftString, 2, Variant::FromAnsi(""), Bytes(10, 0)},
        {"wide text for a string field", ftString, 3, Variant::FromWide(u"ab"), Text("ab", 14)},
        {"wide text for a wide field", ftWideString, 2, Variant::FromWide(u"abc"), Bytes{1, 'a', 0, 'b', 0, 0, 0}},
        {"date", ftDateTime, 0, Variant::FromDate(0), Raw<double>(1, 59926521600000.0, 9)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto ds = OpenWith({{"F", c.type, c.size}});
        TField* f = ds->FieldByName("F");
        Bytes key = VariantToFieldData(c.value, CalcFieldLen(c.type, c.size) + 1, f);
        EXPECT_EQ(key, c.key);
        // An empty text is a null key, while the store keeps it as a present empty text.
        if (c.value.IsNull() || c.value.Type() == VT_BSTR || key[0] == 0) continue;
        ds->AddRecord();
        ds->SetFieldValueInBuffer(f, 0, c.value);
        EXPECT_EQ(CompareMemBlocks(key.data(), ds->GetRecordFieldData(f, 0), static_cast<int>(key.size())), 0);
    }
}

TEST(RecordStore, SearchKeysRefuseOtherKinds) {
    auto ds = OpenWith({{"F", ftInteger, 0}});
    TField* f = ds->FieldByName("F");
    const std::pair<Variant, const char*> cases[] = {
        {Variant::FromCurrency(Currency{1}), "Необрабатываемый параметр.6"},
        {Variant::FromDouble(1), "Необрабатываемый параметр.5"},
        {Variant::FromWide(u"x"), "Необрабатываемый тип поля:F"},
    };
    for (const auto& [value, message] : cases) {
        SCOPED_TRACE(message);
        try {
            VariantToFieldData(value, 5, f);
            ADD_FAILURE();
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

TEST(RecordStore, IsnullReplacesOnlyNull) {
    EXPECT_EQ(isnull(Variant::Null(), Variant::FromInt32(1)), Variant::FromInt32(1));
    EXPECT_EQ(isnull(Variant(), Variant::FromInt32(1)), Variant());
    EXPECT_EQ(isnull(Variant::FromInt32(2), Variant::FromInt32(1)), Variant::FromInt32(2));
    EXPECT_THROW(GetVarArray(Variant::FromInt32(1)), EVariantError);
    EXPECT_EQ(GetVarArray(Variant::FromBytes(Bytes{1, 2})).HighBound, 1);
}

TEST(RecordStore, OpeningRefusesUnknownTypesAndOversizedRecords) {
    {
        TQelODBCClient ds;
        auto* f = new TField(&ds, ftArray);
        f->SetFieldName("A");
        f->SetDataSet(&ds);
        try {
            ds.Open();
            FAIL();
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(e.what(), "Field 'A' is of an unknown type");
        }
        EXPECT_FALSE(ds.Active());
    }
    {
        TQelODBCClient ds;
        ds.FieldDefs().Add("S", ftString, 20000);  // 80 001 bytes of UTF-8
        EXPECT_THROW(ds.Open(), EDatabaseError);
        EXPECT_FALSE(ds.Active());
    }
}
