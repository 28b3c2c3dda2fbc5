// The field information store and its string form.

#include <gtest/gtest.h>

#include "support/FieldInfoStorage.h"

namespace kubrix {
namespace {

TFieldInfo Info(const std::string& name, TFieldType type, int precision, int size, const std::string& label = "",
                int width = 0) {
    TFieldInfo r;
    r.Name = name;
    r.DataType = static_cast<std::uint8_t>(type);
    r.Precision = precision;
    r.Size = size;
    r.DisplayLabel = label;
    r.DisplayWidth = width;
    return r;
}

TEST(FieldInfoStorage, RoundTripsThroughItsStringForm) {
    TFieldInfoStorage s;
    TFieldInfo main = Info("Сумма", ftBCD, 19, 4, "Итого, руб.", 12);
    main.Reserved = 0xDEADBEEF;
    int i = s.AddFieldInfo(main);
    s.AddFieldInfo(i, Info("Доля", ftFloat, 0, 0, "Доля", 6));
    s.AddFieldInfo(i, Info("Код", ftString, 0, 10));
    const std::string text = s.GetAsString();
    ASSERT_EQ(text.size(), 1600u);
    EXPECT_EQ(static_cast<std::uint8_t>(text[0]), std::string("Сумма").size());
    EXPECT_EQ(static_cast<std::uint8_t>(text[256]), ftBCD);

    TFieldInfoStorage t;
    t.SetAsString(text);
    ASSERT_EQ(t.MainCount(), 1);
    TFieldInfo r;
    t.GetFieldInfoM(0, r);
    EXPECT_EQ(r.Name, "Сумма");
    EXPECT_EQ(r.DisplayLabel, "Итого, руб.");
    EXPECT_EQ(r.DisplayWidth, 12);
    EXPECT_EQ(r.Reserved, 0xDEADBEEFu);
    ASSERT_EQ(t.Count(0), 2);
    t.GetFieldInfo(0, 1, r);
    EXPECT_EQ(r.Name, "Код");
    EXPECT_EQ(r.Size, 10);
    EXPECT_EQ(t.GetAsString(), text);
}

TEST(FieldInfoStorage, ParsesShortAndOddStrings) {
    TFieldInfoStorage one;
    one.AddFieldInfo(Info("a", ftInteger, 0, 0));
    one.AddFieldInfo(0, Info("b", ftInteger, 0, 0));
    const std::string full = one.GetAsString();  // 532 + 4 + 532
    struct ParseCase {
        const char* name;
        std::string text;
        int mains;
        int subs;  // of the first main entry
    };
    std::string bigCount = full.substr(0, 532) + std::string("\x05\x00\x00\x00", 4) + full.substr(536);
    std::string negCount = full.substr(0, 532) + std::string("\xff\xff\xff\xff", 4) + full.substr(536);
    const ParseCase cases[] = {
        {"empty", "", 0, 0},
        {"531 bytes", full.substr(0, 531), 0, 0},
        {"532 bytes", full.substr(0, 532), 1, 0},
        {"count cut short", full.substr(0, 534), 1, 0},
        {"sub-entry cut short", full.substr(0, 1000), 1, 0},
        {"count larger than the entries", bigCount, 1, 1},
        {"negative count: what follows is read as a main entry", negCount, 2, 0},
    };
    for (const auto& pc : cases) {
        SCOPED_TRACE(pc.name);
        TFieldInfoStorage s;
        s.SetAsString(pc.text);
        ASSERT_EQ(s.MainCount(), pc.mains);
        if (pc.mains > 0) {
            EXPECT_EQ(s.Count(0), pc.subs);
        }
    }
}

TEST(FieldInfoStorage, FindsTheLastExactMatch) {
    TFieldInfoStorage s;
    s.AddFieldInfo(Info("Name", ftString, 0, 20, "first"));
    s.SetAsString(s.GetAsString());  // appended again: two equal entries
    ASSERT_EQ(s.MainCount(), 2);
    EXPECT_EQ(s.IndexOf("Name", ftString, 0, 20), 1);
    EXPECT_EQ(s.IndexOf("name", ftString, 0, 20), -1);
    EXPECT_EQ(s.IndexOf("Name", ftString, 0, 21), -1);
    EXPECT_EQ(s.IndexOf("Name", ftMemo, 0, 20), -1);
    s.Clear(1);
    EXPECT_EQ(s.Count(1), 0);
    s.Clear();
    EXPECT_EQ(s.MainCount(), 0);
    EXPECT_EQ(s.GetAsString(), "");
}

TEST(FieldInfoStorage, CutsALongNameOnACharacterBoundary) {
    TFieldInfoStorage s;
    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "Ж";  // 400 bytes
    s.AddFieldInfo(Info(longName, ftString, 0, 1));
    TFieldInfoStorage t;
    t.SetAsString(s.GetAsString());
    TFieldInfo r;
    t.GetFieldInfoM(0, r);
    EXPECT_EQ(r.Name.size(), 254u);
    EXPECT_EQ(r.Name, longName.substr(0, 254));
}

}  // namespace
}  // namespace kubrix
