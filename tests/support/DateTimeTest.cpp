#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "support/DateTime.h"
#include "support/FormatSettings.h"

namespace kubrix {
namespace {

double Encode(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    TimeStampParts p;
    p.Year = y; p.Month = mo; p.Day = d; p.Hour = h; p.Minute = mi; p.Second = s; p.MSec = ms;
    double v = 0;
    EXPECT_TRUE(TryEncodeDateTime(p, v));
    return v;
}

// Calendar dates and their date-time numbers, both ways.
TEST(DateTime, EncodesAndDecodesCalendarDates) {
    const struct { const char* name; TimeStampParts parts; double value; } cases[] = {
        {"origin", {1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {"day after origin", {1899, 12, 31, 0, 0, 0, 0}, 1.0},
        {"2000-01-01 noon", {2000, 1, 1, 12, 0, 0, 0}, 36526.5},
        {"leap day 2000", {2000, 2, 29, 0, 0, 0, 0}, 36585.0},
        {"1900 not a leap year", {1900, 3, 1, 0, 0, 0, 0}, 61.0},
        {"before origin counts time forwards", {1899, 12, 29, 6, 0, 0, 0}, -1.25},
        {"first day", {1, 1, 1, 0, 0, 0, 0}, -693593.0},
        {"last day", {9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
        {"milliseconds", {2024, 5, 17, 23, 59, 59, 999}, 45429.0 + 86399999.0 / 86400000.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double v = 0;
        ASSERT_TRUE(TryEncodeDateTime(c.parts, v));
        EXPECT_DOUBLE_EQ(v, c.value);
        const TimeStampParts back = DecodeDateTime(c.value);
        EXPECT_EQ(back.Year, c.parts.Year);
        EXPECT_EQ(back.Month, c.parts.Month);
        EXPECT_EQ(back.Day, c.parts.Day);
        EXPECT_EQ(back.Hour, c.parts.Hour);
        EXPECT_EQ(back.Minute, c.parts.Minute);
        EXPECT_EQ(back.Second, c.parts.Second);
        EXPECT_EQ(back.MSec, c.parts.MSec);
    }
}

TEST(DateTime, RejectsInvalidParts) {
    const struct { const char* name; TimeStampParts parts; } cases[] = {
        {"year zero", {0, 1, 1, 0, 0, 0, 0}},
        {"year 10000", {10000, 1, 1, 0, 0, 0, 0}},
        {"month 13", {2000, 13, 1, 0, 0, 0, 0}},
        {"february 29 in 2001", {2001, 2, 29, 0, 0, 0, 0}},
        {"april 31", {2001, 4, 31, 0, 0, 0, 0}},
        {"hour 24", {2001, 1, 1, 24, 0, 0, 0}},
        {"second 60", {2001, 1, 1, 0, 0, 60, 0}},
        {"negative millisecond", {2001, 1, 1, 0, 0, 0, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double v = 123;
        EXPECT_FALSE(TryEncodeDateTime(c.parts, v));
    }
}

// The dataset's stored forms.
TEST(DateTime, NativeForms) {
    const struct { const char* name; TFieldType type; double value; double stored; std::int32_t stored32; } cases[] = {
        {"2000-01-01 12:00 date-time", ftDateTime, 36526.5, 63082411200000.0, 0},
        {"origin date-time", ftDateTime, 0.0, 59926521600000.0, 0},
        {"before origin date-time", ftDateTime, -1.25, (693593.0) * 86400000.0 + 21600000.0, 0},
        {"date keeps the day number", ftDate, 36526.0, 0, 730120},
        {"time keeps the milliseconds", ftTime, 0.5, 0, 43200000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned char buf[8] = {};
        DateTimeToNative(c.type, c.value, buf);
        if (c.type == ftDateTime) {
            double d = 0;
            std::memcpy(&d, buf, sizeof d);
            EXPECT_EQ(d, c.stored);
        } else {
            std::int32_t i = 0;
            std::memcpy(&i, buf, sizeof i);
            EXPECT_EQ(i, c.stored32);
        }
        EXPECT_DOUBLE_EQ(NativeToDateTime(c.type, buf), c.value);
    }
}

TEST(DateTime, NativeFormRoundsToWholeMilliseconds) {
    // A fraction a hair below midnight rounds up into the next day.
    unsigned char buf[8] = {};
    DateTimeToNative(ftDateTime, 36526.0 - 1e-10, buf);
    EXPECT_EQ(NativeToDateTime(ftDateTime, buf), 36526.0);
    // Stored milliseconds with a fraction read back whole.
    const double stored = 63082411200000.4;
    std::memcpy(buf, &stored, sizeof stored);
    EXPECT_EQ(NativeToDateTime(ftDateTime, buf), 36526.5);
}

TEST(DateTime, OutOfRangeRaises) {
    const double cases[] = {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, -693594.0, 2958466.0};
    for (const double v : cases) {
        SCOPED_TRACE(v);
        unsigned char buf[8] = {};
        EXPECT_THROW(DateTimeToNative(ftDateTime, v, buf), EDateTimeError);
        EXPECT_THROW(DateTimeToText(v), EDateTimeError);
    }
    // Any stored bytes read back as some number, never a trap.
    unsigned char junk[8];
    std::memset(junk, 0xFF, sizeof junk);
    EXPECT_TRUE(std::isnan(NativeToDateTime(ftDateTime, junk)));
}

TEST(DateTime, Formats) {
    FormatSettings fs;
    fs.DateSeparator = '-';
    fs.TimeSeparator = '.';
    FormatSettingsScope scope(fs);
    const double v = Encode(2024, 3, 7, 9, 5, 4, 42);
    const struct { const char* name; const char* pattern; const char* text; } cases[] = {
        {"default pattern has literal dots", "dd.mm.yyyy", "07.03.2024"},
        {"settings separators", "dd/mm/yy hh:nn:ss", "07-03-24 09.05.04"},
        {"short forms", "d.m.yyyy h:n:s", "7.3.2024 9.5.4"},
        {"milliseconds", "hh:nn:ss.zzz", "09.05.04.042"},
        {"upper case letters", "DD.MM.YYYY", "07.03.2024"},
        {"quoted literal", "yyyy 'г.'", "2024 г."},
        {"unquoted other text", "[dd]", "[07]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatDateTime(c.pattern, v), c.text);
    }
    EXPECT_EQ(DateTimeToText(36526.5), "01.01.2000 12.00.00");
}

TEST(DateTime, DefaultTextUnderPlainSettings) {
    FormatSettingsScope scope(FormatSettings{});
    const struct { const char* name; double value; const char* text; } cases[] = {
        {"noon", 36526.5, "01.01.2000 12:00:00"},
        {"origin", 0.0, "30.12.1899 00:00:00"},
        {"milliseconds are not shown", Encode(2000, 1, 1, 23, 59, 59, 999), "01.01.2000 23:59:59"},
        {"a hair before midnight rounds into the next day", 36527.0 - 1e-10, "02.01.2000 00:00:00"},
        {"before origin", -1.25, "29.12.1899 06:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DateTimeToText(c.value), c.text);
    }
}

TEST(DateTime, ParsesText) {
    FormatSettingsScope scope(FormatSettings{});
    const struct { const char* name; const char* text; bool ok; double value; } cases[] = {
        {"date", "01.01.2000", true, 36526.0},
        {"date and time", "01.01.2000 12:00:00", true, 36526.5},
        {"hours and minutes", " 01.01.2000 12:00 ", true, 36526.5},
        {"slashes", "1/1/2000", true, 36526.0},
        {"two-digit year", "01.01.49", true, Encode(2049, 1, 1)},
        {"two-digit year last century", "01.01.50", true, Encode(1950, 1, 1)},
        {"iso", "2000-01-01", true, 36526.0},
        {"iso with fraction", "2000-01-01 12:00:00.5", true, 36526.5 + 500.0 / 86400000.0},
        {"iso with T", "2000-01-01T12:00:00", true, 36526.5},
        {"mixed separators", "01.01/2000", false, 0},
        {"no such day", "31.02.2000", false, 0},
        {"bad hour", "01.01.2000 25:00", false, 0},
        {"trailing text", "01.01.2000 x", false, 0},
        {"a number is no date text", "1.5", false, 0},
        {"empty", "", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double v = -1;
        EXPECT_EQ(TryParseDateTime(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value);
        }
    }
}

}  // namespace
}  // namespace kubrix
