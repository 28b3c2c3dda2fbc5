#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "support/FormatSettings.h"

namespace kubrix {
namespace {

FormatSettings Settings(char decimal, const char* thousands) {
    FormatSettings fs;
    fs.DecimalSeparator = decimal;
    fs.ThousandSeparator = thousands;
    return fs;
}

const FormatSettings kDot = Settings('.', "");
const FormatSettings kComma = Settings(',', " ");
const FormatSettings kNbsp = Settings(',', "\u00A0");

struct Number2Case {
    const char* name;
    double value;
    const FormatSettings* fs;
    const char* text;
};

TEST(FormatSettings, Number2Pattern) {
    const Number2Case cases[] = {
        {"zero", 0.0, &kDot, "0.00"},
        {"negative zero", -0.0, &kDot, "0.00"},
        {"no grouping below a thousand", 999.5, &kComma, "999,50"},
        {"grouping with blank", 1234.5, &kComma, "1 234,50"},
        {"grouping with no-break space kept whole", 1234567.891, &kNbsp, "1\u00A0234\u00A0567,89"},
        {"no separator configured", 1234567.891, &kDot, "1234567.89"},
        {"negative grouped", -1234.5, &kComma, "-1 234,50"},
        {"negative small", -0.5, &kComma, "-0,50"},
        {"tiny negative rounds to zero without sign", -0.004, &kComma, "0,00"},
        {"half up on the written value", 1.005, &kComma, "1,01"},
        {"half away from zero negative", -2.675, &kComma, "-2,68"},
        {"round below half", 2.674999, &kComma, "2,67"},
        {"carry into new digit group", 999999.995, &kComma, "1 000 000,00"},
        {"large value", 123456789012.34, &kComma, "123 456 789 012,34"},
        {"exactly three digits", 100, &kComma, "100,00"},
        {"four digits", 1000, &kComma, "1 000,00"},
        {"tiny positive", 1e-10, &kComma, "0,00"},
        {"huge value keeps every digit place", 1e20, &kComma, "100 000 000 000 000 000 000,00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatNumber2(c.value, *c.fs), c.text);
    }
}

struct GeneralCase {
    const char* name;
    double value;
    const FormatSettings* fs;
    const char* text;
};

TEST(FormatSettings, GeneralFloatText) {
    const GeneralCase cases[] = {
        {"zero", 0.0, &kDot, "0"},
        {"integer", 42, &kDot, "42"},
        {"fraction with comma", 0.1, &kComma, "0,1"},
        {"no thousands separator", 1234.5, &kComma, "1234,5"},
        {"negative", -1234.5, &kDot, "-1234.5"},
        {"fifteen significant digits", 1.0 / 3.0, &kDot, "0.333333333333333"},
        {"binary noise hidden", 0.1 + 0.2, &kDot, "0.3"},
        {"largest plain", 999999999999999.0, &kDot, "999999999999999"},
        {"exponent from 1E15", 1e15, &kDot, "1E15"},
        {"large exponent", 1e20, &kDot, "1E20"},
        {"exponent with fraction", 1.5e-10, &kComma, "1,5E-10"},
        {"smallest plain", 0.0001, &kDot, "0.0001"},
        {"first exponent below", 0.00001, &kDot, "1E-5"},
        {"negative exponent form", -2.5e30, &kDot, "-2.5E30"},
        {"rounding at digit 15", 2.0000000000000004, &kDot, "2"},
        {"not a number", std::nan(""), &kDot, "NAN"},
        {"infinity", -std::numeric_limits<double>::infinity(), &kDot, "-INF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatFloatGeneral(c.value, *c.fs), c.text);
    }
    EXPECT_EQ(FormatFloatGeneral(static_cast<double>(0.1f), 7, kDot), "0.1");
}

struct ParseCase {
    const char* name;
    const char* text;
    const FormatSettings* fs;
    bool ok;
    double value;
};

TEST(FormatSettings, ParsesNumbers) {
    const ParseCase cases[] = {
        {"integer", "42", &kDot, true, 42},
        {"blanks around", "  -7.25\t", &kDot, true, -7.25},
        {"settings separator", "3,5", &kComma, true, 3.5},
        {"dot always accepted", "3.5", &kComma, true, 3.5},
        {"comma not accepted under dot", "3,5", &kDot, false, 0},
        {"plus sign", "+1", &kDot, true, 1},
        {"exponent", "1.5E-10", &kDot, true, 1.5e-10},
        {"leading point", ".5", &kDot, true, 0.5},
        {"trailing point", "5.", &kDot, true, 5},
        {"empty", "", &kDot, false, 0},
        {"blank only", "   ", &kDot, false, 0},
        {"letters", "abc", &kDot, false, 0},
        {"trailing garbage", "12abc", &kDot, false, 0},
        {"sign only", "-", &kDot, false, 0},
        {"point only", ".", &kDot, false, 0},
        {"two points", "1.2.3", &kDot, false, 0},
        {"exponent without digits", "1e", &kDot, false, 0},
        {"thousands separator is no part of a number", "1 234", &kComma, false, 0},
        {"infinity words rejected", "inf", &kDot, false, 0},
        {"overflow", "1e400", &kDot, false, 0},
        {"underflow reads as zero", "1e-400", &kDot, true, 0},
        {"many digits", "123456789012345678901234567890", &kDot, true, 1.2345678901234568e29},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double d = -99;
        EXPECT_EQ(TryParseNumber(c.text, d, *c.fs), c.ok);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(d, c.value);
        }
    }
}

struct CurrencyCase {
    const char* name;
    const char* text;
    bool ok;
    std::int64_t scaled;
};

TEST(FormatSettings, ParsesCurrencyExactly) {
    const CurrencyCase cases[] = {
        {"integer", "12", true, 120000},
        {"four decimals", "1234.5678", true, 12345678},
        {"negative", "-0.0001", true, -1},
        {"fifth decimal rounds up", "0.00005", true, 1},
        {"fifth decimal rounds away from zero", "-0.00005", true, -1},
        {"fifth decimal below half", "0.00004999", true, 0},
        {"largest", "922337203685477.5807", true, std::numeric_limits<std::int64_t>::max()},
        {"smallest", "-922337203685477.5808", true, std::numeric_limits<std::int64_t>::min()},
        {"one past largest", "922337203685477.5808", false, 0},
        {"far too large", "1e30", false, 0},
        {"exponent", "1.5e3", true, 15000000},
        {"digits beyond double precision stay exact", "123456789012345.1234", true, 1234567890123451234},
        {"not a number", "12,5x", false, 0},
        {"comma separator", "12,5", true, 125000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::int64_t s = -99;
        EXPECT_EQ(TryParseCurrency(c.text, s, kComma), c.ok);
        if (c.ok) {
            EXPECT_EQ(s, c.scaled);
        }
    }
}

TEST(FormatSettings, CurrencyTextIsExact) {
    const struct { const char* name; std::int64_t scaled; const char* text; } cases[] = {
        {"zero", 0, "0"},
        {"trailing zeros dropped", 125000, "12.5"},
        {"smallest unit", -1, "-0.0001"},
        {"largest", std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
        {"smallest", std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CurrencyToText(c.scaled, kDot), c.text);
    }
    EXPECT_EQ(CurrencyToText(125000, kComma), "12,5");
}

TEST(FormatSettings, CurrencyByNumberFormat) {
    const struct { const char* name; const char* format; std::int64_t scaled; const char* text; } cases[] = {
        {"grouped, two decimals", "#,##0.00", 12345678900, "1 234 567,89"},
        {"rounds half away from zero", "0.00", 12350, "1,24"},
        {"below the half rounds down", "0.00", 12349, "1,23"},
        {"negative rounds the same way", "0.00", -12350, "-1,24"},
        {"optional decimals dropped", "0.##", 15000, "1,5"},
        {"no decimals", "#,##0", 9999999, "1 000"},
        {"no forced digit: zero is empty", "#.##", 0, ""},
        {"forced integer digits", "000", 70000, "007"},
        {"text around the number", "\"Итого: \"#,##0.00' руб.'", 10000, "Итого: 1,00 руб."},
        {"negative section drops the sign", "0.00;(0.00)", -25000, "(2,50)"},
        {"zero section", "0.00;-0.00;\"нет\"", 0, "нет"},
        {"rounded to zero takes the zero section", "0;-0;\"нет\"", -4000, "нет"},
        {"empty negative section falls back", "0.0;;\"нет\"", -25000, "-2,5"},
        {"no -0 after rounding", "0", -4000, "0"},
        {"more decimals than kept", "0.000000", 12345, "1,234500"},
        {"largest amount", "#,##0.0000", std::numeric_limits<std::int64_t>::max(), "922 337 203 685 477,5807"},
        {"smallest amount", "0", std::numeric_limits<std::int64_t>::min(), "-922337203685478"},
        {"only text", "\"—\"", 10000, "—"},
        {"semicolon inside quotes is text", "0' ; '", 20000, "2 ; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatCurrency(c.format, c.scaled, kComma), c.text);
    }
    EXPECT_EQ(FormatCurrency("", 125000, kComma), "12,5");
    EXPECT_EQ(FormatCurrency("#,##0.00", 12345678900, kDot), "1234567.89");
}

TEST(FormatSettings, ScopeReplacesAndRestores) {
    const FormatSettings before = FormatSettings::Current();
    {
        FormatSettingsScope scope(kNbsp);
        EXPECT_EQ(FormatSettings::Current().DecimalSeparator, ',');
        EXPECT_EQ(FormatNumber2(1234.5), "1\u00A0234,50");
        EXPECT_EQ(FormatFloatGeneral(0.5), "0,5");
    }
    EXPECT_EQ(FormatSettings::Current().DecimalSeparator, before.DecimalSeparator);
    EXPECT_EQ(FormatSettings::Current().ThousandSeparator, before.ThousandSeparator);
}

TEST(FormatSettings, PlainCLocaleHasDotAndNoGrouping) {
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    setenv("LC_ALL", "C", 1);
    const FormatSettings fs = FormatSettings::FromLocale();
    if (old) setenv("LC_ALL", saved.c_str(), 1);
    else unsetenv("LC_ALL");
    EXPECT_EQ(fs.DecimalSeparator, '.');
    EXPECT_EQ(fs.ThousandSeparator, "");
    EXPECT_EQ(fs.TimeSeparator, ':');
}

}  // namespace
}  // namespace kubrix
