// Ordering an axis by the sums of one line of the other axis, and re-applying it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pivot/PivotFixture.h"
#include "support/Errors.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

// Totals: E 3, N 6, S 12; in 2020: N 1, S 10, E none.
Pivot Sales() {
    return Pivot({{"Region", ftString, 10}, {"Year", ftInteger}, {"Sum", ftFloat}, {"Cnt", ftInteger}},
                 {{S("N"), I(2020), D(1), I(9)},
                  {S("N"), I(2021), D(5), I(1)},
                  {S("S"), I(2020), D(10), I(1)},
                  {S("S"), I(2021), D(2), I(1)},
                  {S("E"), I(2021), D(3), I(1)}});
}

using Paths = std::vector<std::string>;

}  // namespace

TEST(DataOrder, SortsAnAxisByALineOfTheOther) {
    struct Case {
        const char* name;
        std::string x, y;
        bool horizontal, descending;
        std::string line;  // path of the clicked line on the other axis; "" for the total
        int data;
        Paths rows;        // resulting rows of the ordered axis
    };
    const Case cases[] = {
        {"groups and members by the grand total, largest first", "Region;Year;", "", false, true, "", 0,
         {"S·2020", "S·2021", "S", "N·2021", "N·2020", "N", "E·2021", "E"}},
        {"ascending by the grand total", "Region;", "", false, false, "", 0, {"E", "N", "S"}},
        {"a row without records in the column counts 0", "Region;", "Year;", false, false, "2020", 0,
         {"E", "N", "S"}},
        {"descending by a column", "Region;", "Year;", false, true, "2021", 0, {"N", "E", "S"}},
        {"second data field", "Region;", "", false, true, "", 1, {"N", "S", "E"}},
        {"columns by the total row", "", "Region;", true, true, "", 0, {"S", "N", "E"}},
        {"columns by a row", "Year;", "Region;", true, false, "2021", 0, {"S", "E", "N"}},
        {"equal keys keep the value order", "Region;", "", false, false, "", 1, {"E", "S", "N"}},
        {"equal keys, descending: reverse value order", "Region;", "", false, true, "", 1, {"N", "S", "E"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sales();
        p.grid.Config(c.x, c.y, "Sum;Cnt;", 0, 0);
        TQelOLAPVisibleFields& other = c.horizontal ? p.grid.XAxis : p.grid.YAxis;
        const TOLAPNode* line = c.line.empty() ? nullptr : other.Rows[static_cast<std::size_t>(p.RowOf(other, c.line))];
        p.grid.SortByData(c.horizontal, c.descending, c.horizontal ? line : nullptr, c.horizontal ? nullptr : line,
                          c.data, true);
        EXPECT_EQ(p.RowPaths(c.horizontal ? p.grid.YAxis : p.grid.XAxis), c.rows);
        const Variant& stored = c.horizontal ? p.grid.GDataOrderBy : p.grid.VDataOrderBy;
        ASSERT_TRUE(stored.IsArray());
        EXPECT_EQ(stored.GetElement(0), Variant::FromAnsi(c.descending ? "D" : "U"));
        EXPECT_EQ(stored.GetElement(3), Variant::FromInt32(c.data));
        // Sums follow the new numbering of the rows.
        EXPECT_EQ(p.Cell("", ""), "21.00");
        // Re-applying the stored ordering on a rebuilt tree gives the same rows.
        const Variant o = stored;
        p.grid.Config(c.x, c.y, "Sum;Cnt;", 0, 0);
        if (c.horizontal) p.grid.SetGDataOrderBy(o); else p.grid.SetVDataOrderBy(o);
        EXPECT_EQ(p.RowPaths(c.horizontal ? p.grid.YAxis : p.grid.XAxis), c.rows);
    }
}

TEST(DataOrder, StoredPathsAndTheirEnd) {
    Pivot p = Sales();
    p.grid.Config("Region;", "Year;", "Sum;", 0, 0);
    const TOLAPNode* n2021 = p.grid.YAxis.Rows[static_cast<std::size_t>(p.RowOf(p.grid.YAxis, "2021"))];
    const TOLAPNode* rowN = p.grid.XAxis.Rows[static_cast<std::size_t>(p.RowOf(p.grid.XAxis, "N"))];
    p.grid.SortByData(false, true, rowN, n2021, 0, true);
    const Variant o = p.grid.VDataOrderBy;
    EXPECT_EQ(o.GetElement(1).ElementCount(), 1);
    EXPECT_EQ(o.GetElement(1).GetElement(0), Variant::FromAnsi("N"));
    EXPECT_EQ(o.GetElement(2).GetElement(0), Variant::FromInt32(2021));
    EXPECT_EQ(p.grid.NodeToValues(p.grid.XAxis, p.grid.XAxis.Root.get()).ElementCount(), 0);

    // Config ends the ordering: the rows come back in value order and stay there.
    p.grid.Config("Region;", "Year;", "Sum;", 0, 0);
    EXPECT_TRUE(p.grid.VDataOrderBy.IsEmpty());
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"E", "N", "S"}));

    // An axis without fields: nothing ordered, nothing stored.
    p.grid.Config("", "Year;", "Sum;", 0, 0);
    p.grid.SortByData(false, true, nullptr, nullptr, 0, true);
    EXPECT_TRUE(p.grid.VDataOrderBy.IsEmpty());

    // A stored path value that is no longer in the dictionary: the look-up error.
    p.grid.Config("Region;", "Year;", "Sum;", 0, 0);
    Variant bad = o;
    Variant path = Variant::MakeArray(VT_VARIANT, 0, 0);
    path.PutElement(0, Variant::FromInt32(1999));
    bad.PutElement(2, path);
    EXPECT_THROW(p.grid.SetVDataOrderBy(bad), Exception);
}

TEST(DataOrder, MalformedOrderingsOrderNothing) {
    struct Case { const char* name; Variant o; };
    auto arr = [](std::vector<Variant> items) {
        Variant a = Variant::MakeArray(VT_VARIANT, 0, static_cast<std::int32_t>(items.size()) - 1);
        for (std::size_t i = 0; i < items.size(); ++i) a.PutElement(static_cast<std::int32_t>(i), items[i]);
        return a;
    };
    const Variant none = arr({});
    const Case cases[] = {
        {"too short", arr({S("D"), none, none})},
        {"unknown direction", arr({S("X"), none, none, I(0)})},
        {"data index out of range", arr({S("D"), none, none, I(7)})},
        {"negative data index", arr({S("D"), none, none, I(-1)})},
        {"direction not text", arr({I(1), none, none, I(0)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sales();
        p.grid.Config("Region;", "", "Sum;", 0, 0);
        EXPECT_NO_THROW(p.grid.SetVDataOrderBy(c.o));
        EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"E", "N", "S"}));
    }
}

// Changes made inside an update bracket rebuild the axis in value order; closing the
// bracket must put the stored data ordering back.
TEST(DataOrder, ClosingAnUpdateBracketReappliesTheOrdering) {
    Pivot p = Sales();
    p.grid.Config("Region;", "", "Sum;", 0, 0);
    p.grid.SortByData(false, true, nullptr, nullptr, 0, true);
    ASSERT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"S", "N", "E"}));

    p.grid.BeginUpdate();
    p.grid.XAxis.Field(0).OLAPField->SetDescSort(true);  // re-sorts the axis by value
    p.grid.EndUpdate();
    EXPECT_EQ(p.RowPaths(p.grid.XAxis), (Paths{"S", "N", "E"}));
    EXPECT_TRUE(p.grid.VDataOrderBy.IsArray());
}
