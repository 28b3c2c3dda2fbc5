// Axis trees: building and numbering, expansion, the value filter's effect on records and
// nodes, the look-ups from rows to records and from values to nodes, change notification.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pivot/PivotFixture.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

using Paths = std::vector<std::string>;

// Records: 0 a1·b1, 1 a1·b2, 2 a2·b1, 3 a1·b1, 4 a2·b9 (the vertical fields A and B).
Pivot TwoLevels() {
    return Pivot({{"A", ftString, 5}, {"B", ftString, 5}, {"Q", ftInteger}},
                 {{S("a1"), S("b1"), I(1)},
                  {S("a1"), S("b2"), I(2)},
                  {S("a2"), S("b1"), I(4)},
                  {S("a1"), S("b1"), I(8)},
                  {S("a2"), S("b9"), I(16)}});
}

TOLAPNode* Node(Pivot& p, const std::string& path) {
    const int r = p.RowOf(p.grid.XAxis, path);
    return r < 0 ? nullptr : p.grid.XAxis.Rows[static_cast<std::size_t>(r)];
}

}  // namespace

TEST(AxisTree, RowsAreThePostOrderOfTheTree) {
    Pivot p = TwoLevels();
    p.Config({"A", "B"}, {}, {"Q"});
    const TQelOLAPVisibleFields& x = p.grid.XAxis;
    EXPECT_EQ(p.RowPaths(x), (Paths{"a1·b1", "a1·b2", "a1", "a2·b1", "a2·b9", "a2"}));
    EXPECT_EQ(x.Root->FirstRow, 6);
    EXPECT_EQ(x.Root->LastRow, 6);
    EXPECT_EQ(x.Root->OwnRow, -1);
    EXPECT_EQ(x.IndexNames, (std::vector<std::string>{"A", "B"}));
    for (const TOLAPNode* n : x.Rows) {
        SCOPED_TRACE(p.Path(n));
        if (n->Leaf) {
            EXPECT_EQ(n->FirstRow, n->OwnRow);
            EXPECT_EQ(n->LastRow, n->OwnRow);
        } else {
            EXPECT_EQ(n->OwnRow, n->LastRow + 1);
            EXPECT_EQ(n->FirstRow, n->Children.front()->FirstRow);
        }
    }
    EXPECT_EQ(Node(p, "a1·b1")->Records, (std::vector<std::int32_t>{0, 3}));
    ASSERT_EQ(x.RecordLeaves.size(), 5u);
    EXPECT_EQ(x.RecordLeaves[4], Node(p, "a2·b9"));
}

TEST(AxisTree, AxisWithoutFieldsHasOnlyTheRoot) {
    Pivot p = TwoLevels();
    p.Config({}, {"A"}, {"Q"});
    const TQelOLAPVisibleFields& x = p.grid.XAxis;
    ASSERT_NE(x.Root, nullptr);
    EXPECT_EQ(x.RowCount(), 0);
    EXPECT_TRUE(x.Root->Leaf);
    EXPECT_EQ(x.Root->Records, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
    for (const TOLAPNode* leaf : x.RecordLeaves) EXPECT_EQ(leaf, x.Root.get());
    double v = 0;
    EXPECT_TRUE(p.grid.DataFields.DataValue(0, p.grid.YAxis.RowCount(), v, 0));  // row 0 reaches the root
    EXPECT_EQ(v, 31);
}

// The order of a level follows its field's comparison; equal values share one node.
TEST(AxisTree, LevelsOrderByTheirFieldsComparison) {
    struct Case { const char* name; bool descA; bool descB; Paths rows; };
    const Case cases[] = {
        {"ascending", false, false, {"a1·b1", "a1·b2", "a1", "a2·b1", "a2·b9", "a2"}},
        {"first field descending", true, false, {"a2·b1", "a2·b9", "a2", "a1·b1", "a1·b2", "a1"}},
        {"second field descending", false, true, {"a1·b2", "a1·b1", "a1", "a2·b9", "a2·b1", "a2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = TwoLevels();
        p.Field("A").DescSort = c.descA;
        p.Field("B").DescSort = c.descB;
        p.Config({"A", "B"}, {}, {});
        EXPECT_EQ(p.RowPaths(p.grid.XAxis), c.rows);
    }

    Pivot p({{"S", ftString, 5}}, {{S("abc")}, {S("ABC")}, {N()}, {S("Abd")}});
    p.Config({"S"}, {}, {});
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"(ПУСТО)", "abc", "Abd"}));
    EXPECT_EQ(Node(p, "abc")->Records, (std::vector<std::int32_t>{0, 1}));
    p.Field("S").SetDescSort(true);  // re-sorts the built tree in place, nulls last
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"Abd", "abc", "(ПУСТО)"}));
}

TEST(AxisTree, CollapsedValuesStandForTheirRows) {
    Pivot p({{"A", ftString, 5}, {"B", ftString, 5}, {"C", ftString, 5}},
            {{S("a1"), S("b1"), S("c1")}, {S("a2"), S("b1"), S("c2")}, {S("a2"), S("b2"), S("c1")}});
    p.Config({"A", "B", "C"}, {}, {});
    TQelOLAPVisibleFields& x = p.grid.XAxis;
    TOLAPNode* a1b1c1 = Node(p, "a1·b1·c1");
    EXPECT_EQ(x.LastVisibleNode(a1b1c1), a1b1c1);
    EXPECT_TRUE(p.grid.IsNodeVisible(x, a1b1c1));

    // b1 collapses under a1 and under a2 alike: the flag belongs to the value.
    x.SetExpanded(Node(p, "a1·b1"), false);
    EXPECT_FALSE(x.GetExpanded(Node(p, "a2·b1")));
    EXPECT_EQ(x.LastVisibleNode(a1b1c1), Node(p, "a1·b1"));
    EXPECT_EQ(x.LastVisibleNode(Node(p, "a2·b1·c2")), Node(p, "a2·b1"));
    EXPECT_EQ(x.LastVisibleNode(Node(p, "a2·b2·c1")), Node(p, "a2·b2·c1"));
    EXPECT_FALSE(p.grid.IsNodeVisible(x, a1b1c1));
    EXPECT_TRUE(p.grid.IsNodeVisible(x, Node(p, "a1·b1")));

    // The outermost collapsed ancestor wins.
    x.SetExpanded(Node(p, "a1"), false);
    EXPECT_EQ(x.LastVisibleNode(a1b1c1), Node(p, "a1"));
    EXPECT_EQ(x.LastVisibleNode(Node(p, "a1")), Node(p, "a1"));
    EXPECT_FALSE(p.grid.IsNodeVisible(x, Node(p, "a1·b1")));
}

// Deselected values exclude their records on this axis and hide the nodes left without records.
TEST(AxisTree, ValueFilterDecidesRecordsAndNodes) {
    struct Case {
        const char* name;
        std::vector<std::string> deselect;  // values of B
        std::vector<std::uint8_t> included;
        Paths visible;
        std::string a1FirstVisible;
    };
    const Case cases[] = {
        {"nothing deselected", {}, {1, 1, 1, 1, 1}, {"a1·b1", "a1·b2", "a1", "a2·b1", "a2·b9", "a2"}, "a1·b1"},
        {"b2", {"b2"}, {1, 0, 1, 1, 1}, {"a1·b1", "a1", "a2·b1", "a2·b9", "a2"}, "a1·b1"},
        {"b1", {"b1"}, {0, 1, 0, 0, 1}, {"a1·b2", "a1", "a2·b9", "a2"}, "a1·b2"},
        {"every value of B", {"b1", "b2", "b9"}, {0, 0, 0, 0, 0}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = TwoLevels();
        p.Config({"A", "B"}, {}, {});
        for (const auto& v : c.deselect) {
            for (auto& e : p.Field("B").Values) {
                if (p.Field("B").ValueToText(e->Buffer()) == v) e->Selected = false;
            }
        }
        p.grid.UpdateNodesVisible();
        EXPECT_EQ(*p.grid.RecordIncluded, c.included);
        Paths visible;
        for (const TOLAPNode* n : p.grid.XAxis.Rows) {
            if (n->Visible) visible.push_back(p.Path(n));
            EXPECT_EQ(p.grid.XAxis.GetVisible(n), n->Entry->Selected && n->HasIncluded);
        }
        EXPECT_EQ(visible, c.visible);
        if (!c.a1FirstVisible.empty()) {
            EXPECT_EQ(Node(p, "a1")->FirstVisibleRow, p.RowOf(p.grid.XAxis, c.a1FirstVisible));
        }
    }
}

TEST(AxisTree, FilterOnBothAxesCombines) {
    Pivot p = TwoLevels();
    p.Config({"A"}, {"B"}, {});
    p.Field("A").Values[0]->Selected = false;  // a1
    p.Field("B").Values[0]->Selected = false;  // b1
    p.grid.UpdateNodesVisible();
    EXPECT_EQ(*p.grid.RecordIncluded, (std::vector<std::uint8_t>{0, 0, 0, 0, 1}));
}

TEST(AxisTree, RecordsUnderARow) {
    struct Case { const char* name; std::string row; int level; std::vector<std::int32_t> held, result; };
    const Case cases[] = {
        {"group row at its level", "a1", 0, {}, {0, 3, 1}},
        {"member row widened to its group", "a1·b2", 0, {}, {0, 3, 1}},
        {"leaf row at its own level", "a1·b1", 1, {}, {0, 3}},
        {"records held are not repeated", "a2", 0, {4, 7}, {4, 7, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = TwoLevels();
        p.Config({"A", "B"}, {}, {});
        std::vector<std::int32_t> list = c.held;
        p.grid.XAxis.GetRecsFromRow(p.RowOf(p.grid.XAxis, c.row), c.level, list);
        EXPECT_EQ(list, c.result);
    }
}

TEST(AxisTree, NodeForAPathOfValues) {
    Pivot p({{"A", ftString, 5}, {"B", ftInteger}, {"M", ftMemo}},
            {{S("a1"), I(1), S("x")}, {S("a1"), I(2), S("y")}, {S("a2"), I(9), S("X")}});
    p.Config({"A", "B", "M"}, {}, {});
    auto path = [](std::vector<Variant> values) {
        Variant a = Variant::MakeArray(VT_VARIANT, 0, static_cast<std::int32_t>(values.size()) - 1);
        for (std::size_t k = 0; k < values.size(); ++k) a.PutElement(static_cast<std::int32_t>(k), values[k]);
        return a;
    };
    struct Case { const char* name; Variant values; std::string node; };
    const Case cases[] = {
        {"empty path", path({}), "root"},
        {"one level", path({S("a1")}), "a1"},
        {"full path", path({S("a1"), I(2), S("y")}), "a1·2·y"},
        {"memo found ignoring case", path({S("a2"), I(9), S("X")}), "a2·9·x"},  // one memo entry for x and X
        {"known value absent under the node", path({S("a1"), I(9)}), "a1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(p.Path(p.grid.XAxis.FindNodeByValue(c.values)), c.node);
    }
    EXPECT_EQ(ErrorOf([&] { p.grid.XAxis.FindNodeByValue(path({S("a3")})); }), "A-не найдено значение:a3");
    EXPECT_EQ(ErrorOf([&] { p.grid.XAxis.FindNodeByValue(path({S("a1"), I(1), S("z")})); }), "Не найдено значение");
}

// Outside an update bracket every change rebuilds at once; a built tree is never extended.
TEST(AxisTree, ChangesOutsideABracket) {
    Pivot p = TwoLevels();
    const int layouts = p.grid.Layouts;
    p.grid.XAxis.Add("A");
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"a1", "a2"}));
    EXPECT_EQ(p.grid.Layouts, layouts + 1);

    p.grid.XAxis.Del("Nothing");
    EXPECT_EQ(p.grid.Layouts, layouts + 1);
    EXPECT_EQ(ErrorOf([&] { p.grid.XAxis.Add("B"); }), "Не реализовано");
    EXPECT_EQ(ErrorOf([&] { p.grid.YAxis.Add("Missing"); }), "Field not found: Missing");
    EXPECT_EQ(p.grid.YAxis.Count(), 0);
    EXPECT_EQ(p.grid.XAxis.Field(0).FieldName, "A");

    // Moving a field off a built axis rebuilds that axis, which a built tree refuses.
    p.grid.XAxis.Clear();
    p.grid.YAxis.Add("A");
    EXPECT_EQ(p.RowPaths(p.grid.YAxis), (Paths{"a1", "a2"}));
    EXPECT_EQ(ErrorOf([&] { p.grid.XAxis.Add("A"); }), "Не реализовано");
}

TEST(AxisTree, MissingDictionaryValueLeavesTheAxisAsItWas) {
    Pivot p = TwoLevels();
    p.Config({"A"}, {"B"}, {});
    p.AddRow({S("a3"), S("b1"), I(0)});  // after the dictionaries were filled
    p.grid.YAxis.ClearIndex();
    p.grid.YAxis.UpdateIndexData();  // b1 is known: fine
    EXPECT_EQ(p.grid.YAxis.RecordLeaves.size(), 6u);
    const TOLAPNode* root = p.grid.XAxis.Root.get();
    EXPECT_EQ(ErrorOf([&] {
                  p.grid.XAxis.IndexNames.clear();
                  p.grid.XAxis.UpdateIndexData();
              }),
              "A-не найдено значение:a3");
    EXPECT_EQ(p.grid.XAxis.Root.get(), root);
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"a1", "a2"}));
    EXPECT_EQ(p.grid.XAxis.RecordLeaves.size(), 5u);
    // The model stays usable: the record the trees do not know is simply not counted.
    p.grid.UpdateGrid();
}

// Closing the dataset destroys the pivot fields: the layout goes with them, and applying a
// layout after reopening works on the new fields.
TEST(AxisTree, CloseAndReopenDropTheLayout) {
    FormatSettings plain;
    plain.DecimalSeparator = '.';
    FormatSettingsScope fs(plain);
    Pivot p = TwoLevels();
    p.Config({"A"}, {"B"}, {"Q"});
    p.ds.Close();
    for (const TQelOLAPVisibleFields* list : {&p.grid.XAxis, &p.grid.YAxis, &p.grid.DataFields})
        EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(p.grid.XAxis.Root, nullptr);
    EXPECT_FALSE(p.grid.RecordIncluded.has_value());
    p.grid.UpdateGrid();
    std::string text = "x";
    p.grid.DataFields.DataText(0, 0, text, 0);
    EXPECT_EQ(text, "");

    p.ds.Open();
    p.AddRow({S("n1"), S("m1"), I(5)});
    p.Config({"A"}, {"B"}, {"Q"});
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"n1"}));
    EXPECT_EQ(p.Cell("", ""), "5.00");
}
