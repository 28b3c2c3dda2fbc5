// Pivot fields: the field list that follows the dataset, typed comparisons, dictionaries,
// and the conversions of stored values to variants and display text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "dataset/Field.h"
#include "dataset/StoredValue.h"
#include "pivot/PivotFixture.h"
#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

double DateOf(int y, int m, int d, int hh, int mm, int ss) {
    double v = 0;
    TimeStampParts p;
    p.Year = y, p.Month = m, p.Day = d, p.Hour = hh, p.Minute = mm, p.Second = ss;
    EXPECT_TRUE(TryEncodeDateTime(p, v));
    return v;
}

}  // namespace

TEST(OLAPFields, FollowTheDatasetThroughOpenAndClose) {
    Pivot p({{"Region", ftString, 10}, {"Qty", ftInteger}, {"Note", ftMemo}}, {});
    TQelOLAPFields& list = p.grid.OLAPFields();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).FieldName, "Region");
    EXPECT_EQ(list.Items(0).ValueSize, 1 + CalcFieldLen(ftString, 10));
    EXPECT_EQ(list.Items(1).ValueSize, 5);
    EXPECT_TRUE(list.Items(2).IsMemo());
    EXPECT_TRUE(list.Items(0).ShowTotals);
    EXPECT_FALSE(list.Items(0).DescSort);
    EXPECT_FALSE(list.Items(0).ValuesFilled);
    EXPECT_EQ(list.Items(1).FieldIndex, 1);

    p.ds.Close();
    EXPECT_EQ(list.Count(), 0);
    p.ds.Open();
    EXPECT_EQ(list.Count(), 3);

    EXPECT_EQ(ErrorOf([&] { list.FieldByName("region"); }), "Field not found: region");
    EXPECT_EQ(list.FindField("region"), nullptr);
}

// A column whose values the pivot cannot order fails the whole build and changes nothing.
TEST(OLAPFields, UnsupportedColumnTypeFailsTheBuild) {
    struct Case { const char* name; TFieldType type; int size; };
    const Case cases[] = {
        {"largeint", ftLargeint, 0}, {"word", ftWord, 0},          {"currency", ftCurrency, 0},
        {"autoinc", ftAutoInc, 0},   {"wide string", ftWideString, 5}, {"guid", ftGuid, 38},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p({{"Region", ftString, 10}}, {});
        TQelOLAPField* before = &p.Field("Region");
        TQelODBCClient other;
        TClientRecordSource otherRecords{other};
        other.FieldDefs().Add("Year", ftInteger);
        other.FieldDefs().Add("Bad", c.type, c.size);
        other.Open();
        EXPECT_EQ(ErrorOf([&] { p.grid.OLAPFields().FillFromData(&otherRecords); }),
                  "Не задан обработчик сравнения значений:Bad");
        ASSERT_EQ(p.grid.OLAPFields().Count(), 1);
        EXPECT_EQ(&p.grid.OLAPFields().Items(0), before);
    }
}

TEST(OLAPFields, OpeningAnUnsupportedColumnRaisesOutOfOpen) {
    TQelODBCClient ds;
    ds.FieldDefs().Add("Big", ftLargeint);
    TClientRecordSource source{ds};
    TQelKubrix grid;
    grid.SetRecordSource(&source);
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Не задан обработчик сравнения значений:Big");
    EXPECT_EQ(grid.OLAPFields().Count(), 0);
}

// A field of the same name and type is kept with its flags; a changed type replaces it, and
// nothing placed on the grid keeps referring to the replaced field.
TEST(OLAPFields, RebuildKeepsSameFieldsAndReplacesChangedOnes) {
    Pivot p({{"A", ftInteger}, {"B", ftString, 5}}, {{I(1), S("x")}});
    p.Config({"A"}, {"B"}, {});
    TQelOLAPField* b = &p.Field("B");
    b->DescSort = true;

    TQelODBCClient other;
    TClientRecordSource otherRecords{other};
    other.FieldDefs().Add("A", ftString, 5);
    other.FieldDefs().Add("B", ftString, 5);
    other.FieldDefs().Add("C", ftInteger);
    other.Open();
    p.grid.OLAPFields().FillFromData(&otherRecords);

    TQelOLAPFields& list = p.grid.OLAPFields();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(&list.Items(0), b);
    EXPECT_TRUE(b->DescSort);
    EXPECT_EQ(list.Items(1).FieldName, "A");
    EXPECT_EQ(list.Items(1).DataType, ftString);
    EXPECT_EQ(list.Items(2).FieldName, "C");
    EXPECT_EQ(p.grid.XAxis.Count(), 0);
    EXPECT_EQ(p.grid.XAxis.Root, nullptr);
    EXPECT_EQ(p.grid.YAxis.Count(), 1);
}

// Typed comparisons of two stored values: the ascending sign; DescSort negates it.
TEST(OLAPField, ComparesStoredValuesByType) {
    struct Case { const char* name; TFieldType type; int size; Variant a, b; int ascending; };
    const Case cases[] = {
        {"latin case ignored", ftString, 10, S("abc"), S("ABC"), 0},
        {"cyrillic case differs", ftString, 10, S("Мир"), S("мир"), -1},
        {"prefix is less", ftString, 10, S("ab"), S("abc"), -1},
        {"null string first", ftString, 10, N(), S(""), -1},
        {"two nulls equal", ftInteger, 0, N(), N(), 0},
        {"null before negative", ftInteger, 0, N(), I(-5), -1},
        {"integers signed", ftInteger, 0, I(-1), I(1), -1},
        {"smallint", ftSmallint, 0, Variant::FromInt16(300), Variant::FromInt16(-300), 1},
        {"boolean", ftBoolean, 0, Variant::FromBool(false), Variant::FromBool(true), -1},
        {"float", ftFloat, 0, D(2.5), D(-1e10), 1},
        {"bcd", ftBCD, 2, Variant::FromCurrency({125000}), Variant::FromCurrency({-5000}), 1},
        {"bcd equal", ftBCD, 2, Variant::FromCurrency({10000}), Variant::FromCurrency({10000}), 0},
        {"datetime", ftDateTime, 0, Variant::FromDate(DateOf(2008, 3, 5, 14, 7, 0)),
         Variant::FromDate(DateOf(2008, 3, 5, 14, 7, 1)), -1},
        {"memo case ignored", ftMemo, 0, S("abc"), S("ABC"), 0},
        {"memo empty first", ftMemo, 0, S(""), S("a"), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p({{"F", c.type, c.size}}, {{c.a}, {c.b}});
        TQelOLAPField& f = p.Field("F");
        const void* a = p.ds.GetRecordFieldData(p.ds.FieldByName("F"), 0);
        const void* b = p.ds.GetRecordFieldData(p.ds.FieldByName("F"), 1);
        auto sign = [](int v) { return (v > 0) - (v < 0); };
        EXPECT_EQ(sign(f.Compare(a, b)), c.ascending);
        EXPECT_EQ(sign(f.Compare(b, a)), -c.ascending);
        f.DescSort = true;
        EXPECT_EQ(sign(f.Compare(a, b)), -c.ascending);
    }
}

TEST(OLAPField, BcdThatDoesNotConvertRaises) {
    Pivot p({{"F", ftBCD, 2}}, {{Variant::FromCurrency({10000})}, {Variant::FromCurrency({20000})}});
    auto* slot = static_cast<std::uint8_t*>(p.ds.GetRecordFieldData(p.ds.FieldByName("F"), 1));
    slot[1] = 40;  // more digits than a currency holds
    std::fill(slot + 3, slot + 35, 0x99);
    const void* a = p.ds.GetRecordFieldData(p.ds.FieldByName("F"), 0);
    EXPECT_EQ(ErrorOf([&] { p.Field("F").Compare(a, slot); }), "Ошибка перевода числа из формата BCD в Currency");
    EXPECT_EQ(ErrorOf([&] { p.Field("F").ValueToText(slot); }), "Ошибка перевода числа из формата BCD в Currency");
}

// Dictionaries: raw order for look-up, one entry per distinct stored value (memo: per text
// ignoring Latin case), look-ups that raise without changing the dictionary.
TEST(OLAPField, DictionaryHoldsDistinctValuesInRawOrder) {
    Pivot p({{"S", ftString, 10}, {"M", ftMemo}, {"I", ftInteger}},
            {{S("abc"), S("abc"), I(1)},
             {S("ABC"), S("ABC"), I(-1)},
             {S("abc"), S(""), I(70000)},
             {N(), S("мир"), N()},
             {S("Мир"), S("МИР"), I(1)}});
    for (const char* name : {"S", "M", "I"}) p.Field(name).FillValues();
    TQelOLAPField& s = p.Field("S");
    TQelOLAPField& m = p.Field("M");
    TQelOLAPField& i = p.Field("I");
    EXPECT_EQ(s.Values.size(), 4u);  // abc, ABC, null, Мир
    EXPECT_EQ(m.Values.size(), 4u);  // abc, "", мир, МИР
    EXPECT_EQ(i.Values.size(), 4u);  // 1, -1, 70000, null
    EXPECT_TRUE(s.ValuesFilled);
    for (TQelOLAPField* f : {&s, &i}) {
        for (std::size_t k = 1; k < f->Values.size(); ++k)
            EXPECT_EQ(CompareMemBlocks(f->Values[k - 1]->Value.data(), f->Values[k]->Value.data(), f->ValueSize), 1);
        for (const auto& e : f->Values) EXPECT_TRUE(e->Expanded && e->Selected);
    }

    // Adding a held value returns its position and adds nothing.
    const void* abc = p.ds.GetRecordFieldData(p.ds.FieldByName("S"), 0);
    const int pos = s.AddValue(abc);
    EXPECT_EQ(s.Values.size(), 4u);
    EXPECT_EQ(s.FindValue(abc), s.Values[static_cast<std::size_t>(pos)].get());
    const std::string abcUpper = "aBc";
    EXPECT_EQ(m.FindValueM(&abcUpper)->Text, "abc");

    std::vector<std::uint8_t> unknown(static_cast<std::size_t>(s.ValueSize), 0);
    unknown[0] = 1;
    std::memcpy(unknown.data() + 1, "zzz", 3);
    EXPECT_EQ(ErrorOf([&] { s.FindValue(unknown.data()); }), "S-не найдено значение:zzz");
    const std::string none = "none";
    EXPECT_EQ(ErrorOf([&] { m.FindValueM(&none); }), "Не найдено значение");
    EXPECT_EQ(s.Values.size(), 4u);
    EXPECT_EQ(m.Values.size(), 4u);

    s.ClearValues();
    EXPECT_TRUE(s.Values.empty());
    EXPECT_FALSE(s.ValuesFilled);
}

// A stored value as a variant and as display text.
TEST(OLAPField, ConvertsValuesToVariantAndText) {
    FormatSettingsScope fs(Plain());
    const double when = DateOf(2008, 3, 5, 14, 7, 0);
    struct Case { const char* name; TFieldType type; int size; Variant stored; Variant value; const char* text; };
    const Case cases[] = {
        {"string", ftString, 10, S("Мир"), S("Мир"), "Мир"},
        {"null string", ftString, 10, N(), N(), "(ПУСТО)"},
        {"smallint", ftSmallint, 0, Variant::FromInt16(-7), Variant::FromInt16(-7), "-7"},
        {"integer", ftInteger, 0, I(123456), I(123456), "123456"},
        {"null integer", ftInteger, 0, N(), N(), "(ПУСТО)"},
        {"boolean true", ftBoolean, 0, Variant::FromBool(true), I(1), "1"},
        {"boolean false", ftBoolean, 0, Variant::FromBool(false), I(0), "0"},
        {"float", ftFloat, 0, D(0.1), D(0.1), "0.1"},
        {"bcd", ftBCD, 2, Variant::FromCurrency({125000}), Variant::FromCurrency({125000}), "12.5"},
        {"datetime", ftDateTime, 0, Variant::FromDate(when), Variant::FromDate(when), "05.03.2008 14:07:00"},
        {"memo", ftMemo, 0, S("длинный текст"), S("длинный текст"), "длинный текст"},
        {"empty memo", ftMemo, 0, S(""), N(), "(ПУСТО)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p({{"F", c.type, c.size}}, {{c.stored}});
        const void* buffer = p.ds.GetRecordFieldData(p.ds.FieldByName("F"), 0);
        EXPECT_EQ(p.Field("F").Value(buffer), c.value);
        EXPECT_EQ(p.Field("F").ValueToText(buffer), c.text);
    }
}

TEST(OLAPField, DateTimeTextFollowsTheFieldsDisplayFormat) {
    Pivot p({{"F", ftDateTime}}, {{Variant::FromDate(DateOf(2008, 3, 5, 14, 7, 0))}});
    p.ds.FieldByName("F")->SetDisplayFormat("yyyy.mm.dd");
    const void* buffer = p.ds.GetRecordFieldData(p.ds.FieldByName("F"), 0);
    EXPECT_EQ(p.Field("F").ValueToText(buffer), "2008.03.05");
}

// Where a field is placed, and what changing its flags sets off.
TEST(OLAPField, PlaceAndFlagChanges) {
    Pivot p({{"A", ftString, 5}, {"B", ftString, 5}, {"Q", ftInteger}, {"Free", ftInteger}},
            {{S("a1"), S("b1"), I(1), I(0)}, {S("a2"), S("b2"), I(2), I(0)}});
    p.Config({"A"}, {"B"}, {"Q"});
    struct Case { const char* name; int place; int index; };
    const Case cases[] = {{"A", 1, 0}, {"B", 2, 0}, {"Q", 3, 0}, {"Free", 0, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int index = -1;
        EXPECT_EQ(p.Field(c.name).FieldPlace(index), c.place);
        EXPECT_EQ(index, c.index);
    }

    std::vector<TQelOLAPField*> changed;
    p.grid.OLAPFields().OnChange = [&](TQelOLAPField* f) { changed.push_back(f); };
    const int layouts = p.grid.Layouts;
    p.Field("A").SetDescSort(true);
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (std::vector<std::string>{"a2", "a1"}));
    EXPECT_EQ(p.grid.Layouts, layouts + 1);
    p.Field("Free").SetDescSort(true);  // off the axes: the flag only
    EXPECT_EQ(p.grid.Layouts, layouts + 1);
    p.Field("B").SetShowTotals(false);
    EXPECT_FALSE(p.Field("B").ShowTotals);
    EXPECT_EQ(p.grid.Layouts, layouts + 2);
    EXPECT_EQ(changed, (std::vector<TQelOLAPField*>{&p.Field("A"), &p.Field("Free"), &p.Field("B")}));
}
