// The saved column layout of the data grid: its byte form, and what malformed layouts restore.

#include <gtest/gtest.h>

#include <random>

#include "support/ColumnsLayout.h"
#include "support/StorageStream.h"

using namespace kubrix;
using Bytes = std::vector<std::uint8_t>;

namespace {

Variant VarArray(std::vector<Variant> items) {
    Variant a = Variant::MakeArray(VT_VARIANT, 0, static_cast<std::int32_t>(items.size()) - 1);
    for (std::size_t i = 0; i < items.size(); ++i) a.PutElement(static_cast<std::int32_t>(i), items[i]);
    return a;
}

Variant Records(const std::vector<Variant>& records) {
    TQelStorageStream s;
    for (const Variant& r : records) s.SaveValue(r);
    return s.GetAsVariant();
}

}  // namespace

TEST(ColumnsLayout, WritesTheSevenElementsAndColumnRecordsByteForByte) {
    TSavedColumnsLayout layout;
    TSavedColumn c;
    c.FieldName = "N";
    c.Width = 50;
    c.Index = 0;
    c.Visible = true;
    c.Totals = false;
    layout.Columns.push_back(c);
    layout.TotalsPlace = 0;
    layout.TotalsColor = 0x00E6E6E6;
    layout.TotalsBackColor = 0x00FFFFFF;
    layout.FixedCols = 2;
    const Variant v = SaveColumnsLayout(layout);
    ASSERT_TRUE(v.IsArray());
    ASSERT_EQ(v.ElementCount(), 7);
    EXPECT_EQ(v.GetElement(0), Variant::FromUInt8(1));
    const Bytes record = {0x0C, 0x20, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // array 0..5
                          0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x4E,                    // "N"
                          0x03, 0x00, 0x32, 0x00, 0x00, 0x00,                          // width 50
                          0x03, 0x00, 0x00, 0x00, 0x00, 0x00,                          // index 0
                          0x0B, 0x00, 0xFF, 0xFF,                                      // visible
                          0x0B, 0x00, 0x00, 0x00,                                      // no totals
                          0x00, 0x00};                                                 // no filter value
    EXPECT_EQ(v.GetElement(1).Bytes(), record);
    EXPECT_TRUE(v.GetElement(2).IsEmpty());
    EXPECT_EQ(v.GetElement(3), Variant::FromInt8(0));
    EXPECT_EQ(v.GetElement(4), Variant::FromInt32(0x00E6E6E6));
    EXPECT_EQ(v.GetElement(5), Variant::FromInt32(0x00FFFFFF));
    EXPECT_EQ(v.GetElement(6), Variant::FromInt32(2));

    const TSavedColumnsLayout back = ReadColumnsLayout(v);
    ASSERT_EQ(back.Columns.size(), 1u);
    EXPECT_EQ(back.Columns[0].FieldName, "N");
    EXPECT_EQ(back.Columns[0].Width, 50);
    EXPECT_EQ(back.Columns[0].Visible, std::optional<bool>(true));
    EXPECT_EQ(back.TotalsPlace, std::optional<std::int8_t>(0));
    EXPECT_EQ(back.FixedCols, std::optional<std::int32_t>(2));
    // No columns: an empty element 1.
    EXPECT_TRUE(SaveColumnsLayout({}).GetElement(1).IsEmpty());
}

// What each malformed or partial layout restores: the count of column records read, and whether
// the trailing settings were present.
TEST(ColumnsLayout, RestoresWhatMalformedLayoutsHold) {
    const Variant good = VarArray({Variant::FromAnsi("A"), Variant::FromInt32(10), Variant::FromInt32(0),
                                   Variant::FromBool(true), Variant::FromBool(true), Variant::FromInt32(7)});
    const Variant short3 = VarArray({Variant::FromAnsi("B"), Variant::FromInt32(20), Variant::FromInt32(1)});
    const Variant badWidth = VarArray({Variant::FromAnsi("C"), Variant::FromAnsi("wide"), Variant::FromInt32(0)});
    const Variant nested = VarArray({VarArray({}), Variant::FromInt32(1), Variant::FromInt32(0)});
    Bytes truncated = Records({good, short3}).Bytes();
    truncated.resize(truncated.size() - 3);
    struct Case {
        const char* name;
        Variant layout;
        std::size_t columns;
        bool settings;
    };
    const Case cases[] = {
        {"empty", Variant(), 0, false},
        {"a number", Variant::FromInt32(1), 0, false},
        {"the seven elements", VarArray({Variant::FromUInt8(1), Records({good, short3}), Variant(), Variant::FromInt8(1),
                                         Variant::FromInt32(0), Variant::FromInt32(0), Variant::FromInt32(1)}),
         2, true},
        {"marker and records only", VarArray({Variant::FromUInt8(1), Records({good})}), 1, false},
        {"marker alone", VarArray({Variant::FromUInt8(1)}), 0, false},
        {"older layout: the record bytes", Records({good, short3}), 2, false},
        {"a record with a text width is skipped", Records({badWidth, good}), 1, false},
        {"a record with an array for a name is skipped", Records({nested, good}), 1, false},
        {"a value that is not an array ends the records", Records({good, Variant::FromInt32(5), good}), 1, false},
        {"truncated record bytes", Variant::FromBytes(truncated), 1, false},
        {"records element holds a number", VarArray({Variant::FromUInt8(1), Variant::FromInt32(3)}), 0, false},
        {"settings of the wrong kind", VarArray({Variant::FromUInt8(1), Records({good}), Variant(), Variant::FromAnsi("x"),
                                                 VarArray({}), Variant::Null(), Variant::FromAnsi("y")}),
         1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TSavedColumnsLayout l = ReadColumnsLayout(c.layout);
        EXPECT_EQ(l.Columns.size(), c.columns);
        EXPECT_EQ(l.FixedCols.has_value(), c.settings);
    }
    const TSavedColumnsLayout l = ReadColumnsLayout(Records({good, short3}));
    EXPECT_EQ(l.Columns[0].FilterValue, std::optional<Variant>(Variant::FromInt32(7)));
    EXPECT_FALSE(l.Columns[1].Visible.has_value());
    EXPECT_FALSE(l.Columns[1].Totals.has_value());
}

TEST(ColumnsLayout, RandomBytesNeverThrow) {
    std::mt19937 rng(17);
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes(rng() % 64);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        EXPECT_NO_THROW(ReadColumnsLayout(Variant::FromBytes(bytes)));
        EXPECT_NO_THROW(ReadColumnsLayout(VarArray({Variant::FromUInt8(1), Variant::FromBytes(bytes)})));
    }
}
