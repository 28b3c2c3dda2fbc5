#include "support/HashStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kubrix;

namespace {

// Two keys whose hashes are equal in both modes (upper-case ASCII).
constexpr const char* kCollisionA = "LRIJAVYX";
constexpr const char* kCollisionB = "ZCKGLNTH";

}  // namespace

// Lookups under each comparison mode, Cyrillic keys included.
TEST(HashStrings, FindsKeysUnderEachMode) {
    struct Case {
        const char* name;
        bool caseSensitive;
        std::vector<std::string> keys;
        std::string query;
        int expectedKey;  // index into keys, or -1 for not found
    };
    const Case cases[] = {
        {"same spelling", false, {"Name", "Other"}, "Name", 0},
        {"other case, insensitive", false, {"Other", "Name"}, "NAME", 1},
        {"other case, sensitive", true, {"Name", "Other"}, "NAME", -1},
        {"same spelling, sensitive", true, {"NAME", "Name"}, "Name", 1},
        {"Cyrillic other case, insensitive", false, {"Имя", "Счёт"}, "ИМЯ", 0},
        {"Cyrillic yo, insensitive", false, {"Имя", "счёт"}, "СЧЁТ", 1},
        {"Cyrillic mixed with Latin", false, {"Поле1_Field"}, "поле1_FIELD", 0},
        {"Cyrillic other case, sensitive", true, {"Имя"}, "имя", -1},
        {"prefix is not the key", false, {"Name"}, "Nam", -1},
        {"longer is not the key", false, {"Name"}, "Names", -1},
        {"empty key", false, {"", "a"}, "", 0},
        {"empty table", false, {}, "Name", -1},
        {"equal hashes, first", false, {kCollisionA, kCollisionB}, kCollisionA, 0},
        {"equal hashes, second", false, {kCollisionA, kCollisionB}, kCollisionB, 1},
        {"equal hashes, other case", false, {kCollisionA, kCollisionB}, "zckglnth", 1},
        {"equal hash, absent key", false, {kCollisionA}, kCollisionB, -1},
    };
    ASSERT_EQ(TmwHashStrings::HashOf(kCollisionA, true), TmwHashStrings::HashOf(kCollisionB, true));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TmwHashStrings table(c.caseSensitive);
        for (std::size_t i = 0; i < c.keys.size(); ++i) {
            const int at = table.Add(c.keys[i]);
            table.GetItem(at)->Value = static_cast<std::int32_t>(i);
        }
        const int found = table.IndexOf(c.query);
        if (c.expectedKey < 0) {
            EXPECT_EQ(found, -1);
        } else {
            ASSERT_NE(table.GetItem(found), nullptr);
            EXPECT_EQ(table.GetItem(found)->Value, c.expectedKey);
            EXPECT_EQ(table.GetItem(found)->Key, c.keys[static_cast<std::size_t>(c.expectedKey)]);
        }
    }
}

TEST(HashStrings, HashFollowsTheMode) {
    // h := h * 991 + c over the bytes.
    EXPECT_EQ(TmwHashStrings::HashOf("", true), 0u);
    EXPECT_EQ(TmwHashStrings::HashOf("ab", true), 97u * 991u + 98u);
    EXPECT_EQ(TmwHashStrings::HashOf("ab", false), 65u * 991u + 66u);
    EXPECT_EQ(TmwHashStrings::HashOf("имя", false), TmwHashStrings::HashOf("ИМЯ", true));
    EXPECT_NE(TmwHashStrings::HashOf("имя", true), TmwHashStrings::HashOf("ИМЯ", true));
}

TEST(HashStrings, KeepsDuplicatesAndHashOrder) {
    TmwHashStrings table;
    const int first = table.Add("Key");
    table.GetItem(first)->Value = 1;
    const int second = table.Add("KEY");
    table.GetItem(second)->Value = 2;
    ASSERT_EQ(table.Count(), 2);
    // The later of two equal hashes goes before the earlier.
    EXPECT_EQ(second, 0);
    EXPECT_EQ(table.GetItem(1)->Value, 1);
    const int found = table.IndexOf("key");
    ASSERT_TRUE(found == 0 || found == 1);

    // Many keys: each finds its own value, and the array stays in hash order.
    TmwHashStrings many;
    for (int i = 0; i < 2000; ++i) {
        const int at = many.Add("Поле " + std::to_string(i * 7919 % 2000));
        many.GetItem(at)->Value = i * 7919 % 2000;
    }
    for (int i = 1; i < many.Count(); ++i) ASSERT_LE(many.GetItem(i - 1)->Hash, many.GetItem(i)->Hash);
    for (int i = 0; i < 2000; ++i) {
        const int at = many.IndexOf("ПОЛЕ " + std::to_string(i));
        ASSERT_NE(at, -1) << i;
        EXPECT_EQ(many.GetItem(at)->Value, i);
    }
}

TEST(HashStrings, ItemsOutOfRangeAndClear) {
    TmwHashStrings table;
    EXPECT_EQ(table.IndexOf("a"), -1);
    EXPECT_EQ(table.GetItem(-1), nullptr);
    EXPECT_EQ(table.GetItem(0), nullptr);
    table.Add("a");
    table.Add("b");
    EXPECT_EQ(table.GetItem(2), nullptr);
    EXPECT_NE(table.GetItem(1), nullptr);
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.IndexOf("a"), -1);
    table.Add("a");
    EXPECT_EQ(table.IndexOf("A"), 0);
}

TEST(HashStrings, ChangingModeRehashesEntries) {
    TmwHashStrings table;
    for (const char* k : {"Alpha", "Бета", "gamma"}) table.Add(k);
    table.SetCaseSensitive(true);
    EXPECT_EQ(table.IndexOf("ALPHA"), -1);
    ASSERT_NE(table.IndexOf("Бета"), -1);
    EXPECT_EQ(table.GetItem(table.IndexOf("Бета"))->Key, "Бета");
    table.SetCaseSensitive(false);
    ASSERT_NE(table.IndexOf("GAMMA"), -1);
    ASSERT_NE(table.IndexOf("бета"), -1);
    for (int i = 1; i < table.Count(); ++i) EXPECT_LE(table.GetItem(i - 1)->Hash, table.GetItem(i)->Hash);
}
