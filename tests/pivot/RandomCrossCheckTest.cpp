// Random small datasets, layouts, value filters and expansion states: every tree node, cell,
// subtotal and total the model holds is compared with a plain group-by computed here from
// the rows as they were written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "pivot/PivotFixture.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

struct Dim {
    Column column;
    std::vector<Variant> pool;  // values the column draws from
};

double Day(int d) { return 39000.0 + d + 0.25; }

std::vector<Dim> Dims() {
    return {
        {{"S", ftString, 4}, {S("abc"), S("ABC"), S("Abc"), S("мир"), S("Мир"), S("x"), S(""), N()}},
        {{"I", ftInteger, 0}, {I(-2), I(0), I(1), I(65536), I(70000), N()}},
        {{"F", ftFloat, 0}, {D(0.5), D(-1.25), D(0.0), D(-0.0), D(3), N()}},
        {{"B", ftBoolean, 0}, {Variant::FromBool(true), Variant::FromBool(false), N()}},
        {{"M", ftMemo, 0}, {S("abc"), S("ABC"), S("ё"), S("Ё"), S("")}},
        {{"T", ftDateTime, 0}, {Variant::FromDate(Day(1)), Variant::FromDate(Day(2)), Variant::FromDate(Day(40)), N()}},
        {{"C", ftBCD, 2}, {Variant::FromCurrency({15000}), Variant::FromCurrency({-20000}), Variant::FromCurrency({0}), N()}},
    };
}

std::string AsciiUpper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::string Num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// Identity of a stored value (one dictionary entry each). Memo entries merge Latin case.
std::string Identity(TFieldType type, const Variant& v) {
    if (v.IsEmptyOrNull()) return "<null>";
    switch (type) {
        case ftString: return "s" + v.ToAnsi();
        case ftMemo: return v.ToAnsi().empty() ? "<null>" : "m" + AsciiUpper(v.ToAnsi());
        case ftInteger: return std::to_string(v.ToInt32());
        case ftBoolean: return v.ToInt32() != 0 ? "true" : "false";
        case ftFloat: return (std::signbit(v.ToDouble()) ? "-" : "+") + Num(std::fabs(v.ToDouble()));
        case ftDateTime: return std::to_string(std::llround(v.ToDate() * 86400.0));
        case ftBCD: return std::to_string(v.ToCurrency().Scaled);
        default: return "?";
    }
}

// Values that share an axis node: texts equal but for Latin case, numbers equal as numbers.
std::string GroupKey(TFieldType type, const Variant& v) {
    if (v.IsEmptyOrNull()) return Identity(type, v);
    if (type == ftString) return "s" + AsciiUpper(v.ToAnsi());
    if (type == ftFloat) return Num(v.ToDouble() + 0.0);
    return Identity(type, v);
}

struct AxisModel {
    std::vector<const Dim*> dims;
    // Per record: group key of each level.
    std::vector<std::vector<std::string>> keys;
};

std::string Prefix(const std::vector<std::string>& keys, std::size_t len) {
    std::string s = std::to_string(len);
    for (std::size_t k = 0; k < len; ++k) s += "\x1f" + keys[k];
    return s;
}

}  // namespace

// Each way of building the trees and the sums: tables where they are small, sorts and
// per-node slots otherwise, and the sums on two threads.
struct TuningCase { const char* name; TPivotTuning tuning; };
const TuningCase kTunings[] = {
    {"default", TPivotTuning{}},
    {"no tables", TPivotTuning{0, 0, 200000}},
    {"tables on two threads", TPivotTuning{std::uint64_t{1} << 24, std::size_t{1} << 22, 0}},
};

class RandomCrossCheck : public ::testing::TestWithParam<TuningCase> {};

INSTANTIATE_TEST_SUITE_P(Methods, RandomCrossCheck, ::testing::ValuesIn(kTunings),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), ' ', '_');
                             return n;
                         });

TEST_P(RandomCrossCheck, ModelMatchesAPlainGroupBy) {
    const TPivotTuning saved = PivotTuning();
    PivotTuning() = GetParam().tuning;
    ScopeExit restore([&] { PivotTuning() = saved; });
    std::mt19937 rng(20240607);
    const std::vector<Dim> dims = Dims();
    auto chance = [&rng](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto pick = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };

    for (int iteration = 0; iteration < 120; ++iteration) {
        SCOPED_TRACE("iteration " + std::to_string(iteration));
        std::vector<Column> columns;
        for (const Dim& d : dims) columns.push_back(d.column);
        columns.push_back({"Q1", ftInteger, 0});
        columns.push_back({"Q2", ftFloat, 0});

        // Rows: a few distinct values per column so that groups repeat.
        const std::size_t rowCount = 1 + pick(40);
        std::vector<std::vector<Variant>> rows;
        for (std::size_t r = 0; r < rowCount; ++r) {
            std::vector<Variant> row;
            for (const Dim& d : dims) row.push_back(d.pool[pick(d.pool.size())]);
            row.push_back(chance(0.15) ? N() : I(static_cast<int>(pick(101)) - 50));
            row.push_back(chance(0.15) ? N() : D(0.25 * (static_cast<double>(pick(41)) - 20)));
            rows.push_back(row);
        }
        Pivot p(columns, rows);

        // Layout: up to three vertical and two horizontal fields, one or two data fields.
        std::vector<std::size_t> order(dims.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::shuffle(order.begin(), order.end(), rng);
        const std::size_t nx = pick(4), ny = pick(3);
        AxisModel ax, ay;
        std::vector<std::string> xNames, yNames, dNames;
        for (std::size_t k = 0; k < nx; ++k) ax.dims.push_back(&dims[order[k]]);
        for (std::size_t k = nx; k < nx + ny; ++k) ay.dims.push_back(&dims[order[k]]);
        for (const Dim* d : ax.dims) xNames.push_back(d->column.name);
        for (const Dim* d : ay.dims) yNames.push_back(d->column.name);
        dNames = chance(0.5) ? std::vector<std::string>{"Q2", "Q1"} : std::vector<std::string>{"Q1"};
        for (const auto& n : xNames) p.Field(n).DescSort = chance(0.4);
        for (const auto& n : yNames) p.Field(n).DescSort = chance(0.4);
        p.Config(xNames, yNames, dNames);

        // Value filter and expansion, decided per stored value.
        std::map<std::string, std::set<std::string>> deselected, collapsed;
        for (const Dim& d : dims) {
            TQelOLAPField& f = p.Field(d.column.name);
            for (auto& e : f.Values) {
                const std::string id = Identity(d.column.type, f.Value(e->Buffer()));
                e->Selected = !chance(0.2);
                e->Expanded = !chance(0.3);
                if (!e->Selected) deselected[d.column.name].insert(id);
                if (!e->Expanded) collapsed[d.column.name].insert(id);
            }
        }
        p.grid.UpdateGrid();

        // ---- the plain computation
        for (AxisModel* a : {&ax, &ay}) {
            for (const auto& row : rows) {
                std::vector<std::string> keys;
                for (const Dim* d : a->dims) {
                    const std::size_t col = static_cast<std::size_t>(d - dims.data());
                    keys.push_back(GroupKey(d->column.type, row[col]));
                }
                a->keys.push_back(keys);
            }
        }
        // A group's value (and flags) is that of the first record that falls in it.
        auto firstOf = [&](const AxisModel& a, std::size_t r, std::size_t len) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (Prefix(a.keys[i], len) == Prefix(a.keys[r], len)) return i;
            }
            return r;
        };
        auto flagged = [&](const AxisModel& a, std::map<std::string, std::set<std::string>>& flags, std::size_t r,
                           std::size_t level) {
            const Dim* d = a.dims[level];
            const std::size_t first = firstOf(a, r, level + 1);
            const std::size_t col = static_cast<std::size_t>(d - dims.data());
            return flags[d->column.name].count(Identity(d->column.type, rows[first][col])) > 0;
        };
        std::vector<std::uint8_t> included(rows.size(), 1);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (const AxisModel* a : {&ax, &ay}) {
                for (std::size_t level = 0; level < a->dims.size(); ++level) {
                    if (flagged(*a, deselected, r, level)) included[r] = 0;
                }
            }
        }
        ASSERT_TRUE(p.grid.RecordIncluded.has_value());
        EXPECT_EQ(*p.grid.RecordIncluded, included);

        const std::size_t nd = dNames.size();
        std::map<std::pair<std::string, std::string>, std::vector<double>> expected;
        std::set<std::string> xGroups, yGroups;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t lx = 0; lx <= ax.dims.size(); ++lx) xGroups.insert(Prefix(ax.keys[r], lx));
            for (std::size_t ly = 0; ly <= ay.dims.size(); ++ly) yGroups.insert(Prefix(ay.keys[r], ly));
            if (!included[r]) continue;
            for (std::size_t lx = 0; lx <= ax.dims.size(); ++lx) {
                for (std::size_t ly = 0; ly <= ay.dims.size(); ++ly) {
                    auto& sums = expected[{Prefix(ax.keys[r], lx), Prefix(ay.keys[r], ly)}];
                    sums.resize(nd, 0.0);
                    for (std::size_t j = 0; j < nd; ++j) {
                        const Variant& v = rows[r][dNames[j] == "Q1" ? dims.size() : dims.size() + 1];
                        sums[j] += v.IsNull() ? 0.0 : v.ToDouble();
                    }
                }
            }
        }

        // ---- the model's nodes, each named by its path of group keys
        auto pathOf = [&](const TQelOLAPVisibleFields& axis, const TOLAPNode* node) {
            std::vector<std::string> keys;
            for (const TOLAPNode* n = node; n && n->Entry; n = n->Parent) {
                const TQelOLAPField* f = axis.LevelField(n->Level);
                keys.insert(keys.begin(), GroupKey(f->DataType, f->Value(n->Entry->Buffer())));
            }
            return Prefix(keys, keys.size());
        };
        auto nodes = [](const TQelOLAPVisibleFields& axis) {
            std::vector<const TOLAPNode*> all(axis.Rows.begin(), axis.Rows.end());
            all.push_back(axis.Root.get());
            return all;
        };
        const auto xNodes = nodes(p.grid.XAxis), yNodes = nodes(p.grid.YAxis);
        std::set<std::string> xSeen, ySeen;
        for (const TOLAPNode* n : xNodes) xSeen.insert(pathOf(p.grid.XAxis, n));
        for (const TOLAPNode* n : yNodes) ySeen.insert(pathOf(p.grid.YAxis, n));
        EXPECT_EQ(xSeen, xGroups);
        EXPECT_EQ(ySeen, yGroups);
        EXPECT_EQ(xSeen.size(), xNodes.size());  // no group split over two nodes
        EXPECT_EQ(ySeen.size(), yNodes.size());

        std::size_t entries = 0;
        for (const TOLAPNode* xn : xNodes) {
            entries += xn->Sums ? static_cast<std::size_t>(xn->Sums->Count()) : 0;
            for (const TOLAPNode* yn : yNodes) {
                auto it = expected.find({pathOf(p.grid.XAxis, xn), pathOf(p.grid.YAxis, yn)});
                for (std::size_t j = 0; j < nd; ++j) {
                    double v = 0;
                    const bool has = p.grid.DataFields.DataValue(xn, yn, v, static_cast<int>(j));
                    ASSERT_EQ(has, it != expected.end()) << pathOf(p.grid.XAxis, xn) << " / " << pathOf(p.grid.YAxis, yn);
                    if (has) {
                        EXPECT_EQ(v, it->second[j]);
                    }
                }
            }
        }
        EXPECT_EQ(entries, expected.size());

        // ---- rows: a row inside collapsed groups shows its outermost collapsed group's sums
        auto standsFor = [&](const AxisModel& a, const TQelOLAPVisibleFields& axis, int row) {
            if (row >= axis.RowCount()) return Prefix({}, 0);
            const TOLAPNode* node = axis.Rows[static_cast<std::size_t>(row)];
            const std::size_t len = static_cast<std::size_t>(node->Level) + 1;
            const std::size_t r = static_cast<std::size_t>(node->Leaf ? node->Records.front()
                                                                      : [&] {
                                                                            const TOLAPNode* n = node;
                                                                            while (!n->Leaf) n = n->Children.front();
                                                                            return n->Records.front();
                                                                        }());
            if (len > 1) {
                for (std::size_t level = 0; level < len; ++level) {
                    if (flagged(a, collapsed, r, level)) return Prefix(a.keys[r], level + 1);
                }
            }
            return Prefix(a.keys[r], len);
        };
        for (int xr = 0; xr <= p.grid.XAxis.RowCount(); ++xr) {
            for (int yr = 0; yr <= p.grid.YAxis.RowCount(); ++yr) {
                auto it = expected.find({standsFor(ax, p.grid.XAxis, xr), standsFor(ay, p.grid.YAxis, yr)});
                double v = 0;
                const bool has = p.grid.DataFields.DataValue(xr, yr, v, 0);
                ASSERT_EQ(has, it != expected.end()) << "rows " << xr << ", " << yr;
                if (has) {
                    EXPECT_EQ(v, it->second[0]);
                }
            }
        }
    }
}
