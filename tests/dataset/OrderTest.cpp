// Ordering of the in-memory dataset: the OrderBy syntax, the comparison of stored values per
// type, and the order of records with Cyrillic text, nulls, ties and descending keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dataset/Collation.h"
#include "dataset/FieldCompare.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "dataset/StoredValue.h"
#include "support/Bcd.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Russian collation for every test here, whatever the environment says.
class Russian : public ::testing::Test {
protected:
    void SetUp() override { SetCollationLocale("ru_RU"); }
    void TearDown() override { SetCollationLocale(""); }
};

template <class T>
Bytes Raw(T v) {
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

Bytes Text(const std::string& s, std::size_t total) {
    Bytes b(total, 0);
    std::memcpy(b.data(), s.data(), s.size());
    return b;
}

Bytes Wide(const std::u16string& s, std::size_t total) {
    Bytes b(total, 0);
    for (std::size_t i = 0; i < s.size(); ++i) {
        b[2 * i] = static_cast<std::uint8_t>(s[i] & 0xFF);
        b[2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
    }
    return b;
}

Bytes Bcd(std::int64_t scaled, int decimals = 4) {
    TBcd v = CurrencyToBcd(Currency{scaled}, 32, decimals);
    return Bytes(v.begin(), v.end());
}

Bytes VariantSlot(const Variant& v) {
    Bytes b(16, 0);
    VariantSlotAssign(b.data(), v);
    return b;
}

// Dataset with NAME (string 20) and N (integer), one record per row; a null name where
// the text is "<null>".
std::unique_ptr<TQelODBCClient> Names(const std::vector<std::pair<std::string, int>>& rows) {
    auto ds = std::make_unique<TQelODBCClient>();
    ds->FieldDefs().Add("NAME", ftString, 20);
    ds->FieldDefs().Add("N", ftInteger);
    ds->FieldDefs().Add("FLAG", ftBoolean);
    ds->Open();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ds->AddRecord();
        const int index = static_cast<int>(i);
        if (rows[i].first != "<null>") ds->SetFieldValueInBuffer(ds->FieldByName("NAME"), index, Variant::FromAnsi(rows[i].first));
        ds->SetFieldValueInBuffer(ds->FieldByName("N"), index, Variant::FromInt32(rows[i].second));
        ds->SetFieldValueInBuffer(ds->FieldByName("FLAG"), index, Variant::FromBool(rows[i].second % 2 != 0));
    }
    ds->First();
    return ds;
}

// "NAME/N" of every record in list order.
std::string Listing(TQelODBCClient& ds) {
    std::string out;
    Variant v;
    for (int i = 0; i < ds.RealRecordCount(); ++i) {
        ds.GetFieldValueFromBuffer(ds.FieldByName("NAME"), i, v);
        out += (v.IsNull() ? std::string("-") : v.ToAnsi()) + "/";
        ds.GetFieldValueFromBuffer(ds.FieldByName("N"), i, v);
        out += v.ToAnsi() + " ";
    }
    return out;
}

}  // namespace

namespace {

struct OrderByCase {
    const char* text;
    std::vector<std::pair<std::string, bool>> items;  // name, descending
};

}  // namespace

TEST(OrderBySyntax, SplitsItemsAndDirections) {
    const OrderByCase cases[] = {
        {"name", {{"name", false}}},
        {" name ASC", {{"name", false}}},
        {"a DESC, b", {{"a", true}, {"b", false}}},
        {"a, b ASC, c DESC", {{"a", false}, {"b", false}, {"c", true}}},
        // The character after a comma is skipped unread: here it is the b.
        {"a ASC,b DESC", {{"a", false}, {"DESC", false}}},
        {"a,  b", {{"a", false}, {"b", false}}},
        // Directions count in upper case only.
        {"a asc", {{"a asc", false}}},
        {"a Desc", {{"a Desc", false}}},
        {"a  DESC", {{"a ", true}}},
        {"a, ", {{"a", false}, {"", false}}},
        {"Имя DESC", {{"Имя", true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<TOrderByItem> items = ParseOrderBy(c.text);
        ASSERT_EQ(items.size(), c.items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].FieldName, c.items[i].first);
            EXPECT_EQ(items[i].Descending, c.items[i].second);
        }
    }
}

namespace {

struct FieldCompareCase {
    const char* name;
    TFieldType type;
    int size;
    Bytes first, second;
    bool caseInsensitive;
    int expected;
};

}  // namespace

TEST_F(Russian, ComparesStoredValuesPerType) {
    const double nan = std::nan("");
    const FieldCompareCase cases[] = {
        {"smallint signed", ftSmallint, 0, Raw<std::int16_t>(-5), Raw<std::int16_t>(3), true, -1},
        {"word unsigned", ftWord, 0, Raw<std::uint16_t>(65535), Raw<std::uint16_t>(1), true, 1},
        {"integer equal", ftInteger, 0, Raw<std::int32_t>(7), Raw<std::int32_t>(7), true, 0},
        {"integer signed", ftInteger, 0, Raw<std::int32_t>(-1), Raw<std::int32_t>(1), true, -1},
        {"autoinc", ftAutoInc, 0, Raw<std::int32_t>(9), Raw<std::int32_t>(2), true, 1},
        {"date as day number", ftDate, 0, Raw<std::int32_t>(730120), Raw<std::int32_t>(730121), true, -1},
        {"largeint", ftLargeint, 0, Raw<std::int64_t>(1LL << 40), Raw<std::int64_t>(-(1LL << 40)), true, 1},
        {"boolean false before true", ftBoolean, 0, Raw<std::uint16_t>(0), Raw<std::uint16_t>(0xFFFF), true, -1},
        {"boolean any non-zero word is true", ftBoolean, 0, Raw<std::uint16_t>(1), Raw<std::uint16_t>(0xFFFF), true, 0},
        {"float", ftFloat, 0, Raw(2.5), Raw(-2.5), true, 1},
        {"float NaN first", ftFloat, 0, Raw(nan), Raw(1.0), true, -1},
        {"float NaN second", ftFloat, 0, Raw(1.0), Raw(nan), true, -1},
        {"date-time", ftDateTime, 0, Raw(63082411200000.0), Raw(59926521600000.0), true, 1},
        {"currency", ftCurrency, 0, Raw<std::int64_t>(15000), Raw<std::int64_t>(25000), true, -1},
        {"bcd sign", ftBCD, 4, Bcd(-15000), Bcd(2500), true, -1},
        {"bcd scale differs", ftBCD, 4, Bcd(100000, 2), Bcd(99900, 4), true, 1},
        {"bcd equal across scales", ftBCD, 4, Bcd(125000, 1), Bcd(125000, 4), true, 0},
        {"bcd negatives", ftBCD, 4, Bcd(-20000), Bcd(-10000), true, -1},
        {"bytes unsigned", ftBytes, 3, Bytes{1, 0x80, 0}, Bytes{1, 0x7F, 9}, true, 1},
        {"bytes beyond size ignored", ftBytes, 1, Bytes{1, 5}, Bytes{1, 6}, true, 0},
        {"var-bytes counts the prefix", ftVarBytes, 2, Bytes{2, 0, 9, 9}, Bytes{1, 0, 0, 0}, true, 1},
        {"text ignoring case", ftString, 5, Text("abc", 21), Text("ABC", 21), true, 0},
        {"text with case", ftString, 5, Text("abc", 21), Text("ABC", 21), false, -1},
        {"cyrillic yo sorts with ye", ftString, 5, Text("ёлка", 21), Text("ель", 21), true, -1},
        {"cyrillic zhe after ye", ftString, 5, Text("Жук", 21), Text("Ель", 21), true, 1},
        {"cyrillic yo before zhe", ftString, 5, Text("Ёж", 21), Text("Жук", 21), true, -1},
        {"text before longer text", ftString, 5, Text("ab", 21), Text("abc", 21), true, -1},
        {"fixed char", ftFixedChar, 5, Text("b", 21), Text("a", 21), true, 1},
        {"wide text", ftWideString, 4, Wide(u"жук", 10), Wide(u"ЕЛЬ", 10), true, 1},
        {"guid always ignores case", ftGuid, 0, Text("{ABC}", 39), Text("{abc}", 39), false, 0},
        {"variant number before text", ftVariant, 0, VariantSlot(Variant::FromInt32(5)), VariantSlot(Variant::FromAnsi("a")), true, -1},
        {"variant numbers", ftVariant, 0, VariantSlot(Variant::FromDouble(2.5)), VariantSlot(Variant::FromInt32(2)), true, 1},
        {"variant texts by locale", ftVariant, 0, VariantSlot(Variant::FromAnsi("ёж")), VariantSlot(Variant::FromAnsi("Жук")), true, -1},
        {"other types equal", ftADT, 0, Bytes{1}, Bytes{2}, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CompareFields(c.first.data(), c.second.data(), c.type, c.size, c.caseInsensitive), c.expected);
    }
    for (const auto& c : cases)
        if (c.type == ftVariant) {
            VariantSlotClear(const_cast<std::uint8_t*>(c.first.data()));
            VariantSlotClear(const_cast<std::uint8_t*>(c.second.data()));
        }
}

TEST(Collation, UnknownLocaleFallsBackToRoot) {
    SetCollationLocale("xx_YY");
    EXPECT_EQ(CollationLocale(), "");
    // The root order already sorts Cyrillic by the alphabet.
    EXPECT_LT(CompareTextByLocale("ёж", "жук", true), 0);
    EXPECT_EQ(CompareTextByLocale("ЁЖ", "ёж", true), 0);
    SetCollationLocale("ru_RU");
    EXPECT_EQ(CollationLocale(), "ru_RU");
    SetCollationLocale("");
}

TEST_F(Russian, CollationKeysAgreeWithTheComparison) {
    const std::vector<std::string> texts = {"", "a", "A", "ab", "Ёж", "ёж", "Ель", "ель", "Жук", "ёлка", "z", "\xff\xfe"};
    for (bool ci : {true, false})
        for (const auto& a : texts)
            for (const auto& b : texts) {
                std::string ka, kb;
                AppendCollationKey(a, ci, ka);
                AppendCollationKey(b, ci, kb);
                const int byKey = ka < kb ? -1 : (kb < ka ? 1 : 0);
                EXPECT_EQ(byKey, CompareTextByLocale(a, b, ci)) << a << " vs " << b << " ci " << ci;
            }
}

TEST_F(Russian, OrdersCyrillicWithNullsTiesAndDescending) {
    auto ds = Names({{"Жук", 1}, {"ёж", 2}, {"Ель", 3}, {"<null>", 4}, {"ель", 5}, {"абв", 6}, {"Ёлка", 7}, {"<null>", 8}});
    ds->SetOrderBy("NAME");
    // Nulls first; "Ель" and "ель" are equal ignoring case and keep their RecordID order.
    EXPECT_EQ(Listing(*ds), "-/4 -/8 абв/6 ёж/2 Ёлка/7 Ель/3 ель/5 Жук/1 ");
    ds->SetOrderBy("NAME DESC");
    EXPECT_EQ(Listing(*ds), "Жук/1 ель/5 Ель/3 Ёлка/7 ёж/2 абв/6 -/8 -/4 ");
    // Full ties fall back on RecordID in the direction of the first key, not of the key
    // that came last.
    ds->SetOrderBy("FLAG, NAME DESC");
    EXPECT_EQ(Listing(*ds), "ёж/2 абв/6 -/4 -/8 Жук/1 Ель/3 ель/5 Ёлка/7 ");
    ds->SetOrderBy("FLAG DESC, N");
    EXPECT_EQ(Listing(*ds), "Жук/1 Ель/3 ель/5 Ёлка/7 ёж/2 -/4 абв/6 -/8 ");
    EXPECT_TRUE(ds->FieldByName("FLAG")->IsIndexField());
    EXPECT_TRUE(ds->FieldByName("N")->IsIndexField());
    EXPECT_FALSE(ds->FieldByName("NAME")->IsIndexField());
}

TEST_F(Russian, RecordComparisonMatchesTheSort) {
    auto ds = Names({{"b", 3}, {"B", 1}, {"<null>", 2}, {"a", 3}, {"", 0}});
    ds->SetOrderBy("NAME DESC, N");
    const auto& keys = ds->OrderKeys();
    for (int i = 0; i + 1 < ds->RealRecordCount(); ++i)
        EXPECT_LT(ds->CompareRecords(ds->Records[i], ds->Records[i + 1], keys), 0) << i;
    // An empty text is a value: it sorts after null.
    EXPECT_EQ(Listing(*ds), "B/1 b/3 a/3 /0 -/2 ");
}

TEST_F(Russian, RefreshKeepsTheCursorOnItsRecord) {
    auto ds = Names({{"в", 1}, {"б", 2}, {"а", 3}});
    ds->SetRecNo(1);
    ASSERT_EQ(ds->FieldByName("N")->AsInteger(), 1);
    ds->SetOrderBy("NAME");
    EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 1);
    EXPECT_EQ(ds->RecNo(), 3);
    // A pending edit is posted before the records move, into its own record.
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("г");
    ds->SetOrderBy("N DESC");
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 1);
    EXPECT_EQ(Listing(*ds), "а/3 б/2 г/1 ");
}

TEST_F(Russian, UnknownFieldLeavesTheOrderAndTheText) {
    auto ds = Names({{"б", 1}, {"а", 2}});
    ds->SetOrderBy("NAME");
    const std::string before = Listing(*ds);
    for (const char* bad : {"NOPE", "N, NOPE DESC", "NAME ASC,N DESC", "name asc"}) {
        SCOPED_TRACE(bad);
        try {
            ds->SetOrderBy(bad);
            ADD_FAILURE() << "no error";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("not found"), std::string::npos);
        }
        EXPECT_EQ(ds->OrderBy(), "NAME");
        EXPECT_EQ(Listing(*ds), before);
        EXPECT_TRUE(ds->FieldByName("NAME")->IsIndexField());
    }
    // Names resolve without regard to case; an empty text leaves the order as it is.
    ds->SetOrderBy("n DESC");
    EXPECT_EQ(Listing(*ds), "а/2 б/1 ");
    ds->SetOrderBy("");
    EXPECT_EQ(Listing(*ds), "а/2 б/1 ");
    ds->SetOrderBy(" name DESC");
    EXPECT_EQ(Listing(*ds), "б/1 а/2 ");
}

TEST_F(Russian, MemoKeysCompareAsTextIgnoringCase) {
    auto ds = std::make_unique<TQelODBCClient>();
    ds->FieldDefs().Add("NOTE", ftMemo);
    ds->FieldDefs().Add("N", ftInteger);
    ds->Open();
    const char* notes[] = {"Жёлтый", "", "ёлка", "ЁЛКА"};
    for (int i = 0; i < 4; ++i) {
        ds->AddRecord();
        ds->SetFieldValueInBuffer(ds->FieldByName("NOTE"), i, Variant::FromAnsi(notes[i]));
        ds->SetFieldValueInBuffer(ds->FieldByName("N"), i, Variant::FromInt32(i));
    }
    ds->SetOrderBy("NOTE");
    // The empty memo first; the two spellings of ёлка tie and keep their RecordID order.
    Variant v;
    std::string ns;
    for (int i = 0; i < 4; ++i) {
        ds->GetFieldValueFromBuffer(ds->FieldByName("N"), i, v);
        ns += v.ToAnsi();
    }
    EXPECT_EQ(ns, "1230");
}
