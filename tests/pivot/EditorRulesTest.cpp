// The report editor's lists without widgets: which drops are accepted, what each does to the
// four lists and the "Данные" marker, and the name lists that "Применить" hands to the grid.

#include "pivot/EditorRules.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pivot/Kubrix.h"
#include "pivot/PivotFixture.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

// Region and Product are text, Id an auto-increment, Price a big decimal: none of them may be
// summed. Year, Qty, Sum, Big and Amount may.
std::vector<TKubrixEditorField> Fields() {
    return {
        {"Region", "Регион", ftString},     {"Product", "Товар", ftString}, {"Year", "Год", ftInteger},
        {"Qty", "Количество", ftSmallint},  {"Sum", "Сумма", ftCurrency},   {"Id", "", ftAutoInc},
        {"Price", "Цена", ftFMTBcd},        {"Big", "Много", ftLargeint},   {"Amount", "Объём", ftFloat},
        {"Weight", "Вес", ftBCD},           {"Code", "Код", ftWord},        {"When", "Дата", ftDateTime},
    };
}

int FieldIndex(const std::string& name) {
    auto f = Fields();
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i].Name == name) return static_cast<int>(i);
    return -100;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) out.push_back(item);
    return out;
}

// A list as "Region,*,Product": field names, "*" for the marker.
std::string Render(const TKubrixEditorLists& lists, TEditorList list) {
    std::string out;
    for (int entry : lists.Entries(list)) {
        if (!out.empty()) out += ',';
        out += entry == EditorMarker ? std::string("*") : lists.Fields()[static_cast<std::size_t>(entry)].Name;
    }
    return out;
}

TKubrixEditorInput Report(const char* x, const char* y, const char* d, int place, int index) {
    TKubrixEditorInput in;
    in.Fields = Fields();
    in.XFields = Split(x);
    in.YFields = Split(y);
    in.DFields = Split(d);
    in.DataPlace = place;
    in.DataIndex = index;
    return in;
}

std::string AllFieldNames() {
    std::string out;
    for (const auto& f : Fields()) out += (out.empty() ? "" : ",") + f.Name;
    return out;
}

}  // namespace

// Opening the editor on a report: the marker stands at the report's data place and index
// only while two or more fields are data.
TEST(EditorRules, OpensOnReport) {
    struct Case {
        const char* name;
        const char* x;
        const char* y;
        const char* d;
        int place, index;
        const char* wantX;
        const char* wantY;
        const char* wantD;
    };
    const Case cases[] = {
        {"one data field, no marker", "Region", "Year", "Qty", 0, 0, "Region", "Year", "Qty"},
        {"two data fields, vertical", "Region,Product", "Year", "Qty,Sum", 0, 1, "Region,*,Product", "Year", "Qty,Sum"},
        {"two data fields, horizontal front", "Region", "Year,Product", "Qty,Sum", 1, 0, "Region", "*,Year,Product",
         "Qty,Sum"},
        {"index past the end goes last", "Region", "Year", "Qty,Sum,Amount", 0, 9, "Region,*", "Year", "Qty,Sum,Amount"},
        {"negative index goes first", "Region", "", "Qty,Sum", 0, -3, "*,Region", "", "Qty,Sum"},
        {"repeated name placed once", "Region,Region", "Region", "Qty", 0, 0, "Region", "", "Qty"},
        {"empty report", "", "", "", 0, 0, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKubrixEditorLists lists;
        lists.SetReport(Report(c.x, c.y, c.d, c.place, c.index));
        EXPECT_EQ(Render(lists, elAllFields), AllFieldNames());
        EXPECT_EQ(Render(lists, elXFields), c.wantX);
        EXPECT_EQ(Render(lists, elYFields), c.wantY);
        EXPECT_EQ(Render(lists, elDFields), c.wantD);
    }
}

TEST(EditorRules, UnknownPlacedNameLeavesListsAsTheyWere) {
    TKubrixEditorLists lists;
    lists.SetReport(Report("Region", "Year", "Qty,Sum", 0, 1));
    try {
        lists.SetReport(Report("Region", "Nope", "", 0, 0));
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field not found: Nope");
    }
    EXPECT_EQ(Render(lists, elXFields), "Region,*");
    EXPECT_EQ(Render(lists, elDFields), "Qty,Sum");
}

TEST(EditorRules, EntryTexts) {
    TKubrixEditorLists lists;
    lists.SetReport(Report("Id,Region", "", "Qty,Sum", 0, 2));
    EXPECT_EQ(lists.EntryText(elXFields, 0), "Id");  // no label: the name
    EXPECT_EQ(lists.EntryText(elXFields, 1), "Регион");
    EXPECT_EQ(lists.EntryText(elXFields, 2), "\"Данные\"");
    EXPECT_EQ(lists.EntryText(elAllFields, 4), "Сумма");
    EXPECT_THROW(lists.EntryText(elXFields, 3), EListError);
    EXPECT_THROW(lists.EntryText(elDFields, -1), EListError);
}

// One drop per row: the report the editor opened on, the drag (source list and entry, target
// list and the entry it was released on, -1 below the last), whether it is accepted, the lists
// after it and where the marker would come back.
TEST(EditorRules, Drops) {
    struct Case {
        const char* name;
        const char* x;
        const char* y;
        const char* d;
        int place, index;
        TEditorList source;
        int sourceIndex;
        TEditorList target;
        int targetIndex;
        bool accepted;
        const char* wantX;
        const char* wantY;
        const char* wantD;
        int wantPlace, wantIndex;
    };
    const int region = FieldIndex("Region"), product = FieldIndex("Product"), year = FieldIndex("Year"),
              qty = FieldIndex("Qty"), sum = FieldIndex("Sum"), id = FieldIndex("Id"), price = FieldIndex("Price"),
              big = FieldIndex("Big"), amount = FieldIndex("Amount"), weight = FieldIndex("Weight"),
              code = FieldIndex("Code"), when = FieldIndex("When");
    const Case cases[] = {
        // What the data list takes.
        {"text field refused by data list", "Region", "Year", "Qty", 0, 0, elAllFields, product, elDFields, -1, false,
         "Region", "Year", "Qty", 0, 0},
        {"text field on an axis refused by data list", "Region", "Year", "Qty", 0, 0, elXFields, 0, elDFields, 0, false,
         "Region", "Year", "Qty", 0, 0},
        {"date refused by data list", "Region", "", "Qty", 0, 0, elAllFields, when, elDFields, -1, false, "Region", "",
         "Qty", 0, 0},
        {"auto-increment refused by data list", "Region", "", "", 0, 0, elAllFields, id, elDFields, -1, false, "Region",
         "", "", 0, 0},
        {"big decimal refused by data list", "Region", "", "", 0, 0, elAllFields, price, elDFields, -1, false, "Region",
         "", "", 0, 0},
        {"large integer taken by data list", "Region", "", "", 0, 0, elAllFields, big, elDFields, -1, true, "Region", "",
         "Big", 0, 0},
        {"float taken by data list", "Region", "", "", 0, 0, elAllFields, amount, elDFields, -1, true, "Region", "",
         "Amount", 0, 0},
        {"decimal taken by data list", "Region", "", "", 0, 0, elAllFields, weight, elDFields, -1, true, "Region", "",
         "Weight", 0, 0},
        {"word taken by data list", "Region", "", "", 0, 0, elAllFields, code, elDFields, -1, true, "Region", "", "Code",
         0, 0},
        {"marker refused by data list", "Region", "Year", "Qty,Sum", 0, 1, elXFields, 1, elDFields, 0, false,
         "Region,*", "Year", "Qty,Sum", 0, 1},
        {"marker refused by field list", "Region", "Year", "Qty,Sum", 0, 1, elXFields, 1, elAllFields, -1, false,
         "Region,*", "Year", "Qty,Sum", 0, 1},
        {"field list refuses its own entries", "Region", "Year", "Qty", 0, 0, elAllFields, product, elAllFields, 0,
         false, "Region", "Year", "Qty", 0, 0},
        {"no entry under the press", "Region", "Year", "Qty", 0, 0, elXFields, -1, elYFields, 0, false, "Region",
         "Year", "Qty", 0, 0},
        {"entry index past the list", "Region", "Year", "Qty", 0, 0, elXFields, 1, elYFields, 0, false, "Region",
         "Year", "Qty", 0, 0},

        // The marker appears with the second data field, at the remembered place.
        {"second data field from an axis brings the marker", "Region,Year", "Product", "Qty", 0, 1, elXFields, 1,
         elDFields, 0, true, "Region,*", "Product", "Year,Qty", 0, 1},
        {"second data field from field list, horizontal place", "Region", "Year,Product", "Qty", 1, 1, elAllFields,
         sum, elDFields, -1, true, "Region", "Year,*,Product", "Qty,Sum", 1, 1},
        {"remembered index past the end puts the marker last", "Region", "", "Qty", 0, 5, elAllFields, sum, elDFields,
         -1, true, "Region,*", "", "Qty,Sum", 0, 5},
        {"field leaving the marker's list shifts nothing remembered", "Region,Year", "", "Qty", 0, 2, elXFields, 1,
         elDFields, -1, true, "Region,*", "", "Qty,Year", 0, 2},
        {"third data field keeps one marker", "Region", "", "Qty,Sum", 0, 1, elAllFields, big, elDFields, 1, true,
         "Region,*", "", "Qty,Big,Sum", 0, 1},
        {"second data field from horizontal axis", "", "Year", "Qty", 1, 0, elAllFields, year, elDFields, -1, true, "",
         "*", "Qty,Year", 1, 0},

        // The marker leaves with the second-last data field and its place is remembered.
        {"data field out to an axis removes the marker", "Region,Product", "Year", "Qty,Sum", 0, 1, elDFields, 0,
         elYFields, -1, true, "Region,Product", "Year,Qty", "Sum", 0, 1},
        {"data field out to the marker's axis", "Region,Product", "Year", "Qty,Sum", 0, 1, elDFields, 1, elXFields, 0,
         true, "Sum,Region,Product", "Year", "Qty", 0, 2},
        {"data field from field list onto an axis removes the marker", "Region,Product", "Year", "Qty,Sum", 0, 1,
         elAllFields, sum, elXFields, 0, true, "Sum,Region,Product", "Year", "Qty", 0, 2},
        {"data field dropped on field list removes the marker", "Region,Product", "Year", "Qty,Sum", 1, 1, elDFields, 1,
         elAllFields, -1, true, "Region,Product", "Year", "Qty", 1, 1},
        {"one of three data fields out keeps the marker", "Region", "Year", "Qty,Sum,Big", 0, 0, elDFields, 2,
         elAllFields, -1, true, "*,Region", "Year", "Qty,Sum", 0, 0},

        // Reordering within a list.
        {"reordering two data fields keeps one marker", "Region,Product", "Year", "Qty,Sum", 0, 1, elDFields, 1,
         elDFields, 0, true, "Region,*,Product", "Year", "Sum,Qty", 0, 1},
        {"reordering below the last entry", "Region,Product", "Year", "Qty,Sum", 0, 1, elXFields, 0, elXFields, -1,
         true, "*,Product,Region", "Year", "Qty,Sum", 0, 1},
        {"reordering onto an earlier entry", "Region,Product", "Year", "Qty,Sum", 0, 1, elXFields, 2, elXFields, 0, true,
         "Product,Region,*", "Year", "Qty,Sum", 0, 1},
        {"reordering onto a later entry", "Region,Product,Year", "", "", 0, 0, elXFields, 0, elXFields, 2, true,
         "Product,Year,Region", "", "", 0, 0},
        {"marker moved within its list", "Region,Product", "", "Qty,Sum", 0, 0, elXFields, 0, elXFields, -1, true,
         "Region,Product,*", "", "Qty,Sum", 0, 0},

        // Moving between lists.
        {"field list onto horizontal takes the field off vertical", "Region,Product", "Year", "Qty,Sum", 0, 1,
         elAllFields, region, elYFields, 0, true, "*,Product", "Region,Year", "Qty,Sum", 0, 1},
        {"vertical onto horizontal moves the field", "Region,Product", "Year", "Qty", 0, 0, elXFields, 1, elYFields, 1,
         true, "Region", "Year,Product", "Qty", 0, 0},
        {"marker from vertical to horizontal", "Region,Product", "Year", "Qty,Sum", 0, 1, elXFields, 1, elYFields, -1,
         true, "Region,Product", "Year,*", "Qty,Sum", 0, 1},
        {"axis field dropped on field list leaves its axis", "Region,Product", "Year", "Qty,Sum", 0, 1, elXFields, 0,
         elAllFields, -1, true, "*,Product", "Year", "Qty,Sum", 0, 1},
        {"unplaced field from field list onto an empty axis", "", "", "", 0, 0, elAllFields, year, elYFields, 3, true,
         "", "Year", "", 0, 0},

        // A field from the field list that already sits in the target only changes its place.
        {"field list onto the axis holding the field", "Region,Product", "Year", "Qty,Sum", 0, 1, elAllFields, product,
         elXFields, 0, true, "Product,Region,*", "Year", "Qty,Sum", 0, 1},
        {"field list onto two data fields holding it", "Region,Product", "Year", "Qty,Sum", 0, 1, elAllFields, qty,
         elDFields, -1, true, "Region,*,Product", "Year", "Sum,Qty", 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKubrixEditorLists lists;
        lists.SetReport(Report(c.x, c.y, c.d, c.place, c.index));
        EXPECT_EQ(lists.CanDrop(c.source, c.sourceIndex, c.target), c.accepted);
        EXPECT_EQ(lists.Drop(c.source, c.sourceIndex, c.target, c.targetIndex), c.accepted);
        EXPECT_EQ(Render(lists, elAllFields), AllFieldNames());
        EXPECT_EQ(Render(lists, elXFields), c.wantX);
        EXPECT_EQ(Render(lists, elYFields), c.wantY);
        EXPECT_EQ(Render(lists, elDFields), c.wantD);
        EXPECT_EQ(lists.DataPlace(), c.wantPlace);
        EXPECT_EQ(lists.DataIndex(), c.wantIndex);
    }
}

// The marker comes back where it was taken from.
TEST(EditorRules, MarkerComesBackWhereItLeft) {
    TKubrixEditorLists lists;
    lists.SetReport(Report("Region,Product", "Year", "Qty,Sum", 0, 0));
    ASSERT_TRUE(lists.Drop(elXFields, 0, elYFields, 1));  // marker to horizontal, after Year
    EXPECT_EQ(Render(lists, elYFields), "Year,*");
    ASSERT_TRUE(lists.Drop(elDFields, 1, elAllFields, -1));  // Sum off: marker leaves
    EXPECT_EQ(Render(lists, elYFields), "Year");
    EXPECT_EQ(lists.DataPlace(), 1);
    EXPECT_EQ(lists.DataIndex(), 1);
    ASSERT_TRUE(lists.Drop(elAllFields, FieldIndex("Amount"), elDFields, 0));
    EXPECT_EQ(Render(lists, elYFields), "Year,*");
    EXPECT_EQ(Render(lists, elDFields), "Amount,Qty");
    EXPECT_EQ(Render(lists, elXFields), "Region,Product");
    EXPECT_EQ(lists.LastDropIndex(), 0);
}

// What "Применить" passes to the grid for the lists as they stand.
TEST(EditorRules, Layouts) {
    struct Step {
        TEditorList source;
        int sourceIndex;
        TEditorList target;
        int targetIndex;
    };
    struct Case {
        const char* name;
        const char* x;
        const char* y;
        const char* d;
        int place, index;
        std::vector<Step> drags;
        TKubrixEditorLayout want;
    };
    const Case cases[] = {
        {"two fields give A;B;", "Region,Product", "Year", "Qty", 0, 0, {}, {"Region;Product;", "Year;", "Qty;", 0, 0}},
        {"no vertical fields give the empty string", "", "Year", "Qty,Sum", 1, 1, {}, {"", "Year;", "Qty;Sum;", 1, 1}},
        {"nothing placed", "", "", "", 0, 0, {}, {"", "", "", 0, 0}},
        {"no marker: place and index 0 whatever the report said", "Region", "Year,Product", "Qty", 1, 2, {},
         {"Region;", "Year;Product;", "Qty;", 0, 0}},
        {"marker in the vertical list", "Region,Product", "Year", "Qty,Sum", 0, 1, {},
         {"Region;Product;", "Year;", "Qty;Sum;", 0, 1}},
        {"marker dragged from vertical to horizontal", "Region,Product", "Year", "Qty,Sum", 0, 1,
         {{elXFields, 1, elYFields, 0}}, {"Region;Product;", "Year;", "Qty;Sum;", 1, 0}},
        {"marker dragged below the last horizontal entry", "Region", "Year,Product", "Qty,Sum", 0, 0,
         {{elXFields, 0, elYFields, -1}}, {"Region;", "Year;Product;", "Qty;Sum;", 1, 2}},
        {"data fields reordered", "Region", "", "Qty,Sum,Amount", 0, 1, {{elDFields, 2, elDFields, 0}},
         {"Region;", "", "Amount;Qty;Sum;", 0, 1}},
        {"field moved across and marker gone", "Region,Product", "Year", "Qty,Sum", 0, 2,
         {{elXFields, 0, elYFields, 0}, {elDFields, 0, elAllFields, -1}}, {"Product;", "Region;Year;", "Sum;", 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKubrixEditorLists lists;
        lists.SetReport(Report(c.x, c.y, c.d, c.place, c.index));
        for (const auto& s : c.drags) ASSERT_TRUE(lists.Drop(s.source, s.sourceIndex, s.target, s.targetIndex));
        const auto got = lists.Layout();
        EXPECT_EQ(got.XFields, c.want.XFields);
        EXPECT_EQ(got.YFields, c.want.YFields);
        EXPECT_EQ(got.DFields, c.want.DFields);
        EXPECT_EQ(got.DataPlace, c.want.DataPlace);
        EXPECT_EQ(got.DataIndex, c.want.DataIndex);
    }
}

// The editor opens on what a real grid holds: its fields with their labels and types, the
// placed fields, data place and index.
TEST(EditorRules, InputFromGrid) {
    using namespace kubrix::testing;
    Pivot p({{"Region", ftString, 20}, {"Year", ftInteger}, {"Qty", ftInteger}, {"Sum", ftFloat}},
            {{S("Север"), I(2020), I(1), D(2.5)}, {S("Юг"), I(2021), I(3), D(4.0)}});
    p.ds.SetDisplayLabel(0, "Регион");
    p.Config({"Region"}, {"Year"}, {"Sum", "Qty"});
    p.grid.DataPlace = 1;
    p.grid.DataIndex = 1;

    const TKubrixEditorInput in = EditorInputFromGrid(p.grid);
    ASSERT_EQ(in.Fields.size(), 4u);
    EXPECT_EQ(in.Fields[0].Name, "Region");
    EXPECT_EQ(in.Fields[0].Label, "Регион");
    EXPECT_EQ(in.Fields[0].DataType, ftString);
    EXPECT_EQ(in.Fields[1].Label, "Year");  // no label: the name
    EXPECT_EQ(in.Fields[3].DataType, ftFloat);
    EXPECT_EQ(in.XFields, std::vector<std::string>{"Region"});
    EXPECT_EQ(in.YFields, std::vector<std::string>{"Year"});
    EXPECT_EQ(in.DFields, (std::vector<std::string>{"Sum", "Qty"}));
    EXPECT_EQ(in.DataPlace, 1);
    EXPECT_EQ(in.DataIndex, 1);

    TKubrixEditorLists lists;
    lists.SetReport(in);
    EXPECT_EQ(Render(lists, elYFields), "Year,*");
    EXPECT_EQ(lists.Layout(), (TKubrixEditorLayout{"Region;", "Year;", "Sum;Qty;", 1, 1}));
}
