#include <gtest/gtest.h>

#include "support/Text.h"

namespace kubrix {
namespace {

TEST(Text, RoundTripsBetweenUtf8AndUtf16) {
    const struct { const char* name; std::string utf8; std::u16string utf16; } cases[] = {
        {"empty", "", u""},
        {"ascii", "Sales 2024", u"Sales 2024"},
        {"cyrillic", "Выручка, ёлка, ЁЖ", u"Выручка, ёлка, ЁЖ"},
        {"three-byte sign", "10 €", u"10 €"},
        {"outside the basic plane", "a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
        {"embedded zero", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    }
}

TEST(Text, InvalidInputBecomesReplacementCharacters) {
    const struct { const char* name; std::string bytes; std::u16string utf16; } cases[] = {
        {"lone continuation byte", "a\x80z", u"a\uFFFDz"},
        {"cut two-byte sequence at the end", "Д\xD0", u"Д\uFFFD"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"a 1251 byte", "\xC4\xE0", u"\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToUtf16(c.bytes), c.utf16);
    }
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Text, CutsByCharactersAndBytesWithoutSplitting) {
    const std::string ten = "Показатель";  // 10 characters, 20 bytes
    ASSERT_EQ(ten.size(), 20u);
    EXPECT_EQ(Utf8Length(ten), 10u);
    const struct { const char* name; std::string text; std::size_t chars; std::size_t prefixBytes; } byChars[] = {
        {"cyrillic kept whole at its length", ten, 10, 20},
        {"cyrillic cut to 4 characters", ten, 4, 8},
        {"limit above length", "abc", 10, 3},
        {"zero characters", ten, 0, 0},
        {"mixed widths", "aД€\xF0\x9F\x98\x80", 3, 6},
        {"invalid byte counts as one", "\x80\x80x", 2, 2},
    };
    for (const auto& c : byChars) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8PrefixBytes(c.text, c.chars), c.prefixBytes);
    }
    const struct { const char* name; std::string text; std::size_t maxBytes; std::size_t fit; } byBytes[] = {
        {"exact fit", ten, 20, 20},
        {"odd limit stops before a character", ten, 19, 18},
        {"one byte fits no cyrillic letter", ten, 1, 0},
        {"four-byte character not split", "ab\xF0\x9F\x98\x80", 5, 2},
        {"ascii", "abcdef", 4, 4},
        {"empty", "", 10, 0},
    };
    for (const auto& c : byBytes) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8FitBytes(c.text, c.maxBytes), c.fit);
    }
}

TEST(Text, UpperCaseAndComparison) {
    const struct { const char* name; const char* text; const char* upper; } cases[] = {
        {"ascii", "abc XYZ 12", "ABC XYZ 12"},
        {"cyrillic", "привет мир", "ПРИВЕТ МИР"},
        {"yo", "ёжик", "ЁЖИК"},
        {"extended cyrillic", "ђ ї ў", "Ђ Ї Ў"},
        {"other letters unchanged", "straße é", "STRAßE é"},
        {"invalid bytes kept", "a\x80", "A\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8Upper(c.text), c.upper);
    }
    const struct { const char* name; const char* a; const char* b; int sign; } cmp[] = {
        {"ascii equal ignoring case", "Region", "REGION", 0},
        {"cyrillic equal ignoring case", "Ёлка", "ёЛКА", 0},
        {"ordered", "Апрель", "май", -1},
        {"prefix first", "Мос", "Москва", -1},
        {"longer after", "Москва", "мос", 1},
        {"empty", "", "", 0},
    };
    for (const auto& c : cmp) {
        SCOPED_TRACE(c.name);
        const int r = CompareTextIgnoreCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
        const int back = CompareTextIgnoreCase(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
}

TEST(Text, TrimAndByteStrings) {
    EXPECT_EQ(Trim("  \t Итого \r\n"), "Итого");
    EXPECT_EQ(Trim(" \x01 "), "");
    EXPECT_EQ(Trim("a b"), "a b");
    const std::string bytes("\x00\x7F\x80\xFF", 4);
    const std::u16string wide = BytesToWide(bytes);
    EXPECT_EQ(wide, std::u16string(u"\u0000\u007F\u0080\u00FF", 4));
    std::string back = "unchanged";
    ASSERT_TRUE(WideToBytes(wide, back));
    EXPECT_EQ(back, bytes);
    back = "unchanged";
    EXPECT_FALSE(WideToBytes(u"Д", back));
    EXPECT_EQ(back, "unchanged");
}

}  // namespace
}  // namespace kubrix
