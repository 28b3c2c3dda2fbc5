// Sums are added in record order whatever the order of the rows, so that ordering an axis
// (which keeps or moves the sums rather than recomputing them) shows the very same numbers as
// a full recomputation. The values are chosen so that another order of addition rounds
// differently.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PivotFixture.h"

namespace kubrix::testing {
namespace {

struct Rec {
    const char* a;
    const char* b;
    const char* g;
    double q;
};

const Rec kRecs[] = {
    {"a2", "b1", "g1", 1e16}, {"a1", "b2", "g2", 0.1}, {"a2", "b2", "g1", 1.0},  {"a1", "b1", "g1", 0.2},
    {"a2", "b1", "g2", 1.0},  {"a1", "b2", "g1", 0.3}, {"a2", "b2", "g1", -1e16}, {"a1", "b1", "g2", 1e-3},
    {"a2", "b1", "g1", 1.0},  {"a1", "b1", "g1", 0.7}, {"a2", "b2", "g2", 3.0},  {"a1", "b2", "g2", 1e17},
};

std::unique_ptr<Pivot> MakePivot() {
    std::vector<std::vector<Variant>> rows;
    for (const Rec& r : kRecs) rows.push_back({S(r.a), S(r.b), S(r.g), D(r.q)});
    auto p = std::make_unique<Pivot>(
        std::vector<Column>{{"A", ftString, 4}, {"B", ftString, 4}, {"G", ftString, 4}, {"Q", ftFloat}}, rows);
    p->Config({"A", "B"}, {"G"}, {"Q"});
    return p;
}

// Sum of every record under the vertical path and the horizontal path ("" for a root), in
// record order.
std::map<std::pair<std::string, std::string>, double> Expected() {
    std::map<std::pair<std::string, std::string>, double> sums;
    for (const Rec& r : kRecs) {
        const std::string a = r.a, ab = a + "·" + r.b;
        for (const std::string& x : {std::string(), a, ab}) {
            for (const std::string& y : {std::string(), std::string(r.g)}) sums[{x, y}] += r.q;
        }
    }
    return sums;
}

void ExpectRecordOrderSums(Pivot& p) {
    const auto expected = Expected();
    std::vector<const TOLAPNode*> xs(p.grid.XAxis.Rows.begin(), p.grid.XAxis.Rows.end());
    std::vector<const TOLAPNode*> ys(p.grid.YAxis.Rows.begin(), p.grid.YAxis.Rows.end());
    xs.push_back(p.grid.XAxis.Root.get());
    ys.push_back(p.grid.YAxis.Root.get());
    for (const TOLAPNode* xn : xs) {
        for (const TOLAPNode* yn : ys) {
            const std::string xp = xn->Entry ? p.Path(xn) : "", yp = yn->Entry ? p.Path(yn) : "";
            SCOPED_TRACE(xp + " / " + yp);
            double v = 0;
            const auto it = expected.find({xp, yp});
            ASSERT_EQ(p.grid.DataFields.DataValue(xn, yn, v, 0), it != expected.end());
            if (it != expected.end()) {
                EXPECT_EQ(v, it->second);
            }
        }
    }
}

struct SortCase {
    const char* name;
    bool horizontal;
    bool descending;
};

TEST(SumOrder, OrderingAnAxisKeepsTheRecordOrderSums) {
    const SortCase cases[] = {
        {"vertical descending", false, true},
        {"vertical ascending", false, false},
        {"horizontal descending", true, true},
        {"horizontal ascending", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pivot = MakePivot();
        Pivot& p = *pivot;
        ExpectRecordOrderSums(p);
        const std::vector<std::string> xBefore = p.RowPaths(p.grid.XAxis), yBefore = p.RowPaths(p.grid.YAxis);
        p.grid.SortByData(c.horizontal, c.descending, nullptr, nullptr, 0, true);
        // Descending moves rows (g2 and a1 hold the largest sums), so the keys had to follow.
        if (c.descending) {
            EXPECT_NE(c.horizontal ? p.RowPaths(p.grid.YAxis) : p.RowPaths(p.grid.XAxis),
                      c.horizontal ? yBefore : xBefore);
        }
        ExpectRecordOrderSums(p);
        // A full recomputation over the reordered rows gives the same numbers.
        p.grid.UpdateGrid();
        ExpectRecordOrderSums(p);
    }
}

// After an ordering, a changed value filter still recomputes: the kept sums are only kept for
// the update that follows the ordering itself.
TEST(SumOrder, FilterAfterOrderingRecomputes) {
    const auto pivot = MakePivot();
    Pivot& p = *pivot;
    p.grid.SortByData(false, true, nullptr, nullptr, 0, true);
    p.Field("G").Values[1]->Selected = false;  // g2
    p.grid.UpdateGrid();
    double v = 0;
    ASSERT_TRUE(p.grid.DataFields.DataValue(p.grid.XAxis.Root.get(), p.grid.YAxis.Root.get(), v, 0));
    double expected = 0;
    for (const Rec& r : kRecs) {
        if (std::string(r.g) == "g1") expected += r.q;
    }
    EXPECT_EQ(v, expected);
}

}  // namespace
}  // namespace kubrix::testing
