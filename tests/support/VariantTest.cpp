#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "support/FormatSettings.h"
#include "support/Variant.h"

namespace kubrix {
namespace {

FormatSettings Plain() { return FormatSettings{}; }

FormatSettings Russian() {
    FormatSettings fs;
    fs.DecimalSeparator = ',';
    fs.ThousandSeparator = "\u00A0";
    return fs;
}

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

TEST(Variant, ConvertsToIntegers) {
    FormatSettingsScope scope(Plain());
    const struct { const char* name; Variant value; std::int64_t i64; bool fitsI32; bool fitsI16; } cases[] = {
        {"empty is zero", Variant(), 0, true, true},
        {"int16", Variant::FromInt16(-5), -5, true, true},
        {"uint32 large", Variant::FromUInt32(4000000000u), 4000000000LL, false, false},
        {"true is minus one", Variant::FromBool(true), -1, true, true},
        {"double rounds half to even (down)", Variant::FromDouble(2.5), 2, true, true},
        {"double rounds half to even (up)", Variant::FromDouble(3.5), 4, true, true},
        {"negative double", Variant::FromDouble(-1.6), -2, true, true},
        {"currency rounds half to even", Variant::FromCurrency(Currency{25000}), 2, true, true},
        {"currency negative half", Variant::FromCurrency(Currency{-35000}), -4, true, true},
        {"int16 limit", Variant::FromInt32(32768), 32768, true, false},
        {"text integer", Variant::FromAnsi(" 123 "), 123, true, true},
        {"text integer beyond double precision", Variant::FromAnsi("9223372036854775807"), kMax64, false, false},
        {"text with fraction", Variant::FromAnsi("12.5"), 12, true, true},
        {"wide text", Variant::FromWide(u"-7"), -7, true, true},
        {"date", Variant::FromDate(36526.5), 36526, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.value.ToInt64(), c.i64);
        if (c.fitsI32) {
            EXPECT_EQ(c.value.ToInt32(), c.i64);
        } else {
            EXPECT_THROW(c.value.ToInt32(), EVariantError);
        }
        if (c.fitsI16) {
            EXPECT_EQ(c.value.ToInt16(), c.i64);
        } else {
            EXPECT_THROW(c.value.ToInt16(), EVariantError);
        }
    }
}

TEST(Variant, FailedConversionsRaise) {
    FormatSettingsScope scope(Plain());
    const struct { const char* name; Variant value; VarType target; const char* messagePart; } cases[] = {
        {"text no number to double", Variant::FromAnsi("abc"), VT_R8, "\"abc\" is not a valid number"},
        {"text no number to int", Variant::FromAnsi("12abc"), VT_I4, "(String) into type (Integer)"},
        {"empty text to int", Variant::FromAnsi(""), VT_I4, "is not a valid number"},
        {"wide text no number", Variant::FromWide(u"сто"), VT_CY, "\"сто\" is not a valid number"},
        {"text no date", Variant::FromAnsi("31.02.2000"), VT_DATE, "is not a valid date"},
        {"text no boolean", Variant::FromAnsi("maybe"), VT_BOOL, "into type (Boolean)"},
        {"null to int", Variant::Null(), VT_I4, "(Null) into type (Integer)"},
        {"null to double", Variant::Null(), VT_R8, "(Null) into type (Double)"},
        {"null to currency", Variant::Null(), VT_CY, "(Null) into type (Currency)"},
        {"null to date", Variant::Null(), VT_DATE, "(Null) into type (Date)"},
        {"null to text", Variant::Null(), VT_STRING, "(Null) into type (String)"},
        {"null to boolean", Variant::Null(), VT_BOOL, "(Null) into type (Boolean)"},
        {"array to int", Variant::MakeArray(VT_VARIANT, 0, 1), VT_I4, "(Array of Variant)"},
        {"dispatch to text", Variant::FromCode(VT_DISPATCH), VT_STRING, "(Dispatch)"},
        {"int32 overflow from double", Variant::FromDouble(3e9), VT_I4, "Overflow"},
        {"int64 overflow from text", Variant::FromAnsi("99999999999999999999"), VT_I8, "Overflow"},
        {"currency overflow from double", Variant::FromDouble(1e20), VT_CY, "Overflow"},
        {"currency overflow from text", Variant::FromAnsi("1e20"), VT_CY, "Overflow"},
        {"byte overflow", Variant::FromInt32(256), VT_UI1, "Overflow"},
        {"unsigned from negative", Variant::FromInt32(-1), VT_UI4, "Overflow"},
        {"single overflow", Variant::FromDouble(1e300), VT_R4, "Overflow"},
        {"not a number to integer", Variant::FromDouble(std::numeric_limits<double>::quiet_NaN()), VT_I4, "Overflow"},
        {"date out of calendar to text", Variant::FromDate(1e10), VT_STRING, "Overflow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.value.ConvertTo(c.target);
            ADD_FAILURE() << "no error";
        } catch (const EVariantError& e) {
            EXPECT_NE(std::string(e.what()).find(c.messagePart), std::string::npos) << e.what();
        }
    }
    // Conversion to Null or Empty always succeeds.
    EXPECT_TRUE(Variant::FromAnsi("x").ConvertTo(VT_NULL).IsNull());
    EXPECT_TRUE(Variant::Null().ConvertTo(VT_EMPTY).IsEmpty());
}

TEST(Variant, ConvertsToDoubleCurrencyAndBoolean) {
    FormatSettingsScope scope(Russian());
    const struct { const char* name; Variant value; double d; std::int64_t cy; bool b; } cases[] = {
        {"text with settings separator", Variant::FromAnsi("1234,5"), 1234.5, 12345000, true},
        {"text with dot", Variant::FromAnsi("0.25"), 0.25, 2500, true},
        {"zero text is false", Variant::FromAnsi("0"), 0, 0, false},
        {"currency exact", Variant::FromCurrency(Currency{-1}), -0.0001, -1, true},
        {"int", Variant::FromInt32(3), 3, 30000, true},
        {"false", Variant::FromBool(false), 0, 0, false},
        {"double half unit rounds half to even", Variant::FromDouble(0.00005), 0.00005, 0, true},
        {"single", Variant::FromSingle(0.5f), 0.5, 5000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(c.value.ToDouble(), c.d);
        EXPECT_EQ(c.value.ToCurrency().Scaled, c.cy);
        EXPECT_EQ(c.value.ToBool(), c.b);
    }
    EXPECT_TRUE(Variant::FromAnsi(" true ").ToBool());
    EXPECT_FALSE(Variant::FromWide(u"False").ToBool());
    // Amounts with more digits than a double holds stay exact.
    EXPECT_EQ(Variant::FromAnsi("922337203685477,5807").ToCurrency().Scaled, kMax64);
}

TEST(Variant, ConvertsToText) {
    const struct { const char* name; Variant value; const char* plain; const char* russian; } cases[] = {
        {"empty", Variant(), "", ""},
        {"int", Variant::FromInt32(-42), "-42", "-42"},
        {"uint64 top", Variant::FromUInt64(18446744073709551615ull), "18446744073709551615", "18446744073709551615"},
        {"double", Variant::FromDouble(1234.5), "1234.5", "1234,5"},
        {"double exponent", Variant::FromDouble(1e20), "1E20", "1E20"},
        {"single keeps its own digits", Variant::FromSingle(0.1f), "0.1", "0,1"},
        {"currency exact", Variant::FromCurrency(Currency{kMax64}), "922337203685477.5807", "922337203685477,5807"},
        {"boolean", Variant::FromBool(true), "True", "True"},
        {"date", Variant::FromDate(36526.5), "01.01.2000 12:00:00", "01.01.2000 12:00:00"},
        {"wide cyrillic", Variant::FromWide(u"Итого"), "Итого", "Итого"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            FormatSettingsScope scope(Plain());
            EXPECT_EQ(c.value.ToAnsi(), c.plain);
        }
        FormatSettingsScope scope(Russian());
        EXPECT_EQ(c.value.ToAnsi(), c.russian);
    }
    EXPECT_EQ(Variant::FromAnsi("ёлка").ToWide(), u"ёлка");
    EXPECT_EQ(Variant::FromAnsi("ёлка").ConvertTo(VT_BSTR), Variant::FromWide(u"ёлка"));
    EXPECT_EQ(Variant::FromWide(u"ёлка").ConvertTo(VT_STRING), Variant::FromAnsi("ёлка"));
}

TEST(Variant, ConvertsToDate) {
    FormatSettingsScope scope(Plain());
    const struct { const char* name; Variant value; double date; } cases[] = {
        {"date text", Variant::FromAnsi("01.01.2000 12:00:00"), 36526.5},
        {"iso wide text", Variant::FromWide(u"2000-01-01"), 36526.0},
        {"number text", Variant::FromAnsi("36526.5"), 36526.5},
        {"double", Variant::FromDouble(2.25), 2.25},
        {"int", Variant::FromInt32(1), 1.0},
        {"empty", Variant(), 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(c.value.ToDate(), c.date);
        EXPECT_EQ(c.value.ConvertTo(VT_DATE), Variant::FromDate(c.date));
    }
}

TEST(Variant, TypedArrays) {
    const struct { const char* name; VarType elem; Variant zero; } cases[] = {
        {"int32", VT_I4, Variant::FromInt32(0)},
        {"double", VT_R8, Variant::FromDouble(0)},
        {"8-bit text starts empty", VT_STRING, Variant::FromAnsi("")},
        {"wide text starts empty", VT_BSTR, Variant::FromWide(u"")},
        {"boolean", VT_BOOL, Variant::FromBool(false)},
        {"variant starts empty", VT_VARIANT, Variant()},
        {"bytes", VT_UI1, Variant::FromUInt8(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Variant a = Variant::MakeArray(c.elem, -1, 2);
        EXPECT_EQ(a.Type(), VT_ARRAY | c.elem);
        EXPECT_EQ(a.LowBound(), -1);
        EXPECT_EQ(a.HighBound(), 2);
        EXPECT_EQ(a.ElementCount(), 4);
        EXPECT_EQ(a.GetElement(-1), c.zero);
        EXPECT_EQ(a.GetElement(2), c.zero);
        EXPECT_THROW(a.GetElement(-2), EVariantError);
        EXPECT_THROW(a.GetElement(3), EVariantError);
        EXPECT_THROW(a.PutElement(3, Variant()), EVariantError);
    }
    // Elements are converted to the array's type on the way in.
    Variant ints = Variant::MakeArray(VT_I4, 0, 1);
    ints.PutElement(0, Variant::FromAnsi("17"));
    EXPECT_EQ(ints.GetElement(0), Variant::FromInt32(17));
    EXPECT_THROW(ints.PutElement(1, Variant::FromAnsi("x")), EVariantError);
    Variant bytes = Variant::MakeArray(VT_UI1, 0, 0);
    EXPECT_THROW(bytes.PutElement(0, Variant::FromInt32(300)), EVariantError);
    bytes.PutElement(0, Variant::FromInt32(255));
    EXPECT_EQ(bytes.Bytes(), std::vector<std::uint8_t>{255});
}

TEST(Variant, ArrayMisuseRaises) {
    const struct { const char* name; VarType elem; std::int32_t low, high; } bad[] = {
        {"high below low - 1", VT_VARIANT, 5, 3},
        {"empty element type", VT_EMPTY, 0, 1},
        {"null element type", VT_NULL, 0, 1},
        {"array element type", VT_ARRAY | VT_I4, 0, 1},
        {"dispatch element type", VT_DISPATCH, 0, 1},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(Variant::MakeArray(c.elem, c.low, c.high), EVariantError);
    }
    EXPECT_EQ(Variant::MakeArray(VT_VARIANT, 5, 4).ElementCount(), 0);
    EXPECT_THROW(Variant::FromInt32(1).LowBound(), EVariantError);
    EXPECT_THROW(Variant::FromInt32(1).GetElement(0), EVariantError);
    EXPECT_THROW(Variant::MakeArray(VT_I4, 0, 0).Bytes(), EVariantError);
    EXPECT_THROW(Variant::FromCode(VT_STRING), EVariantError);
    EXPECT_THROW(Variant::FromCode(VT_BYREF | VT_I4), EVariantError);
    EXPECT_THROW(Variant::FromCode(VT_ARRAY | VT_I4), EVariantError);
}

TEST(Variant, NestedArraysCopyDeeply) {
    // [1, "ёж", [Null, [bytes 1 2 3]]]
    Variant inner = Variant::MakeArray(VT_VARIANT, 0, 1);
    inner.PutElement(0, Variant::Null());
    inner.PutElement(1, Variant::FromBytes(std::vector<std::uint8_t>{1, 2, 3}));
    Variant outer = Variant::MakeArray(VT_VARIANT, 0, 2);
    outer.PutElement(0, Variant::FromInt32(1));
    outer.PutElement(1, Variant::FromAnsi("ёж"));
    outer.PutElement(2, inner);

    Variant copy = outer;
    EXPECT_EQ(copy, outer);
    EXPECT_EQ(copy.GetElement(2).GetElement(1).Bytes(), (std::vector<std::uint8_t>{1, 2, 3}));

    // Changing the copy leaves the original alone, at every depth.
    Variant changedInner = copy.GetElement(2);
    changedInner.PutElement(0, Variant::FromInt32(9));
    copy.PutElement(2, changedInner);
    EXPECT_NE(copy, outer);
    EXPECT_TRUE(outer.GetElement(2).GetElement(0).IsNull());

    // An array stored into itself holds a copy of its old state.
    Variant self = Variant::MakeArray(VT_VARIANT, 0, 0);
    self.PutElement(0, self);
    EXPECT_TRUE(self.GetElement(0).IsArray());
    EXPECT_TRUE(self.GetElement(0).GetElement(0).IsEmpty());

    // Moves leave the source empty.
    Variant moved = std::move(copy);
    EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): the state after a move is defined
    EXPECT_TRUE(moved.IsArray());
    moved = moved;  // self-assignment keeps the value
    EXPECT_TRUE(moved.IsArray());
}

TEST(Variant, ByteArrays) {
    const std::uint8_t raw[] = {0, 0x7F, 0x80, 0xFF};
    Variant b = Variant::FromBytes(raw, sizeof raw);
    EXPECT_TRUE(b.IsByteArray());
    EXPECT_EQ(b.LowBound(), 0);
    EXPECT_EQ(b.HighBound(), 3);
    EXPECT_EQ(b.GetElement(3), Variant::FromUInt8(0xFF));
    b.MutableBytes()[0] = 5;
    EXPECT_EQ(b.GetElement(0), Variant::FromUInt8(5));
    const Variant empty = Variant::FromBytes(nullptr, 0);
    EXPECT_EQ(empty.ElementCount(), 0);
    EXPECT_TRUE(empty.Bytes().empty());
}

TEST(Variant, EqualityComparesTypeAndPayload) {
    const struct { const char* name; Variant a, b; bool equal; } cases[] = {
        {"same int", Variant::FromInt32(1), Variant::FromInt32(1), true},
        {"different width", Variant::FromInt32(1), Variant::FromInt16(1), false},
        {"8-bit and wide text differ", Variant::FromAnsi("a"), Variant::FromWide(u"a"), false},
        {"empty and null differ", Variant(), Variant::Null(), false},
        {"arrays with other bounds", Variant::MakeArray(VT_I4, 0, 1), Variant::MakeArray(VT_I4, 1, 2), false},
        {"equal byte arrays", Variant::FromBytes(std::vector<std::uint8_t>{1}), Variant::FromBytes(std::vector<std::uint8_t>{1}), true},
        {"double and date differ", Variant::FromDouble(1), Variant::FromDate(1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.a == c.b, c.equal);
    }
}

}  // namespace
}  // namespace kubrix
