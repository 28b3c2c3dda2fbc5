#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/ValueCodec.h"

namespace kubrix {
namespace {

using Slot = std::vector<std::uint8_t>;

// Text of a value, or its bytes for a byte array.
std::string Shown(const Variant& v) {
    if (v.IsByteArray()) return std::string(v.Bytes().begin(), v.Bytes().end());
    return v.ToAnsi();
}

Slot Encoded(const TValueCodec& c, const Variant& v) {
    Slot s(1 + c.Length(), 0);
    c.Encode(s.data(), v);
    return s;
}

// Every stored kind written from a Variant and read back the same.
TEST(ValueCodec, EncodesAndDecodesEachKind) {
    const struct { const char* name; TFieldType type; int size; Variant value; } cases[] = {
        {"text", ftString, 5, Variant::FromAnsi("abc")},
        {"Cyrillic at its width", ftString, 5, Variant::FromAnsi("Привет")},
        {"smallint", ftSmallint, 0, Variant::FromInt16(-7)},
        {"integer", ftInteger, 0, Variant::FromInt32(123456)},
        {"word", ftWord, 0, Variant::FromUInt16(65535)},
        {"boolean", ftBoolean, 0, Variant::FromBool(true)},
        {"float", ftFloat, 0, Variant::FromDouble(2.5)},
        {"currency", ftCurrency, 0, Variant::FromCurrency(Currency{125000})},
        {"bcd", ftBCD, 4, Variant::FromCurrency(Currency{-125000})},
        {"date-time", ftDateTime, 0, Variant::FromDate(45000.5)},
        {"var bytes", ftVarBytes, 4, Variant::FromBytes("\x01\x00\x02", 3)},
        {"wide", ftWideString, 4, Variant::FromWide(u"Жук")},
        {"variant", ftVariant, 0, Variant::FromAnsi("held")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TValueCodec codec(c.type, c.size);
        Slot s = Encoded(codec, c.value);
        EXPECT_EQ(s[0], 1);
        Variant back = codec.Decode(s.data());
        if (c.type == ftString && std::string(c.name).find("Cyrillic") != std::string::npos)
            EXPECT_EQ(back.ToAnsi(), "Приве");  // Size counts characters, never cut inside one
        else if (c.type == ftBoolean)
            EXPECT_TRUE(back.ToBool());
        else
            EXPECT_EQ(Shown(back), Shown(c.value));
        codec.SetNull(s.data());
        EXPECT_TRUE(codec.Decode(s.data()).IsNull());
    }
}

// Stored slots ordered raw: null first, numbers by value, text bytewise.
TEST(ValueCodec, ComparesRawSlots) {
    const struct { const char* name; TFieldType type; Variant a, b; int expected; } cases[] = {
        {"null before any", ftInteger, Variant::Null(), Variant::FromInt32(-5), -1},
        {"two nulls", ftString, Variant::Null(), Variant::Null(), 0},
        {"negative integer", ftInteger, Variant::FromInt32(-2), Variant::FromInt32(1), -1},
        {"smallint", ftSmallint, Variant::FromInt16(300), Variant::FromInt16(-300), 1},
        {"float", ftFloat, Variant::FromDouble(-0.5), Variant::FromDouble(0.25), -1},
        {"bcd by value", ftBCD, Variant::FromCurrency(Currency{-10000}), Variant::FromCurrency(Currency{5}), -1},
        {"text bytewise", ftString, Variant::FromAnsi("B"), Variant::FromAnsi("a"), -1},
        {"prefix first", ftString, Variant::FromAnsi("ab"), Variant::FromAnsi("abc"), -1},
        {"equal text", ftString, Variant::FromAnsi("Жук"), Variant::FromAnsi("Жук"), 0},
        {"date-time", ftDateTime, Variant::FromDate(2.0), Variant::FromDate(1.0), 1},
        {"bytes", ftVarBytes, Variant::FromBytes("\x01", 1), Variant::FromBytes("\x01\x00", 2), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TValueCodec codec(c.type, c.type == ftBCD ? 4 : 8);
        Slot a = Encoded(codec, c.a), b = Encoded(codec, c.b);
        EXPECT_EQ(codec.Compare(a.data(), b.data()), c.expected);
        EXPECT_EQ(codec.Compare(b.data(), a.data()), -c.expected);
    }
}

// Numbers read straight from the slot, as the sums read them.
TEST(ValueCodec, ReadsNumbers) {
    const struct { const char* name; TFieldType type; Variant value; double asDouble; std::int64_t asInt; } cases[] = {
        {"smallint", ftSmallint, Variant::FromInt16(-3), -3, -3},
        {"integer", ftInteger, Variant::FromInt32(2000000000), 2e9, 2000000000},
        {"float", ftFloat, Variant::FromDouble(1.75), 1.75, 1},
        {"currency", ftCurrency, Variant::FromCurrency(Currency{25000}), 2.5, 2},
        {"null", ftInteger, Variant::Null(), 0, 0},
        {"text is no number", ftString, Variant::FromAnsi("12"), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TValueCodec codec(c.type, 4);
        Slot s = Encoded(codec, c.value);
        EXPECT_DOUBLE_EQ(codec.AsDouble(s.data()), c.asDouble);
        EXPECT_EQ(codec.AsInt64(s.data()), c.asInt);
    }
}

// A fetched value is stored whole or reported too long; the slot never overflows.
TEST(ValueCodec, StoresFetchedValuesWholeOrNotAtAll) {
    const struct { const char* name; TFieldType type; int size; TFetchType ctype; std::string data; TStoreResult result; } cases[] = {
        {"text that fits", ftString, 2, fcChar, "abcdefgh", TStoreResult::Stored},
        {"text longer than the slot", ftString, 1, fcChar, "abcdefgh", TStoreResult::TooLong},
        {"bytes that fit", ftVarBytes, 4, fcBinary, std::string("\x00\x01\x02", 3), TStoreResult::Stored},
        {"bytes longer than the slot", ftVarBytes, 2, fcBinary, std::string("\x00\x01\x02", 3), TStoreResult::TooLong},
        {"decimal text", ftBCD, 4, fcChar, "-12.5", TStoreResult::Stored},
        {"no decimal", ftBCD, 4, fcChar, "x", TStoreResult::BadDecimal},
        {"big integer out of range", ftInteger, 0, fcSBigInt, std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8),
         TStoreResult::OutOfRange},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TValueCodec codec(c.type, c.size);
        Slot s(1 + codec.Length() + 1, 0xEE);  // one guard byte past the slot
        s[0] = 0;
        EXPECT_EQ(codec.StoreFetched(s.data(), c.ctype, c.data.data(), c.data.size()), c.result);
        EXPECT_EQ(s.back(), 0xEE);
        if (c.result == TStoreResult::TooLong) {
            EXPECT_EQ(s[0], 0);
            TValueCodec wide(c.type, c.size, codec.NeededLength(c.data.size()));
            Slot w(1 + wide.Length(), 0);
            EXPECT_EQ(wide.StoreFetched(w.data(), c.ctype, c.data.data(), c.data.size()), TStoreResult::Stored);
            EXPECT_EQ(Shown(wide.Decode(w.data())), c.data);
        }
    }
}

// A text read from a slot stops at the slot's end even without a terminating zero.
TEST(ValueCodec, TextReadStaysInsideTheSlot) {
    TValueCodec codec(ftString, 1, 5);
    Slot s = {1, 'a', 'b', 'c', 'd', 'e', 'X', 0};
    EXPECT_EQ(codec.Text(s.data()), "abcde");
}

// Only a slot narrowed below the declared width can be too short for a written text; a slot
// of the declared width (or one capped at the 16-bit limit) keeps Size characters as always.
TEST(ValueCodec, KeepsWholeOnlyFailsInANarrowedSlot) {
    const std::string cyrillic10 = "Жёлтый дом";  // 10 characters, 19 bytes
    const struct { const char* name; TFieldType type; int size; std::uint32_t length; std::string text; bool whole; } cases[] = {
        {"declared width", ftString, 10, CalcFieldLen(ftString, 10), cyrillic10, true},
        {"narrowed, fits", ftString, 10, 20, cyrillic10, true},
        {"narrowed, one byte short", ftString, 10, 19, cyrillic10, false},
        {"narrowed, cut to Size first", ftString, 3, 7, cyrillic10, true},
        {"capped width", ftString, 20000, CalcFieldLen(ftString, 20000), std::string(70000, 'x'), true},
        {"other types never", ftFixedChar, 10, 2, cyrillic10, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TValueCodec(c.type, c.size, c.length).KeepsWhole(Variant::FromAnsi(c.text)), c.whole);
    }
    EXPECT_TRUE(TValueCodec(ftString, 10, 1).KeepsWhole(Variant::Null()));
}

}  // namespace
}  // namespace kubrix
