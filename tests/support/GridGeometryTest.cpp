#include "support/GridGeometry.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

using namespace kubrix;

namespace {

using AxisOp = std::function<void(TGridAxis&)>;

void FillAxis(TGridAxis& axis, const std::vector<int>& sizes) {
    axis.SetCount(static_cast<int>(sizes.size()));
    for (int i = 0; i < axis.Count(); ++i) axis.SetSize(i, sizes[static_cast<std::size_t>(i)]);
}

}  // namespace

// Actual and remembered sizes after the ways a user and a layout write them.
TEST(GridGeometry, HideShowKeepRememberedSizes) {
    struct Case {
        const char* name;
        std::vector<AxisOp> ops;
        int size;   // actual size of line 1 afterwards
        int saved;       // remembered size of line 1 afterwards
        int other = 64;  // size of the untouched line 0 afterwards
    };
    const Case cases[] = {
        {"SetSize writes both arrays", {[](TGridAxis& a) { a.SetSize(1, 100); }}, 100, 100},
        {"SetActualSize leaves the remembered size", {[](TGridAxis& a) { a.SetActualSize(1, 30); }}, 30, 64},
        {"hide remembers a user width",
         {[](TGridAxis& a) { a.SetSize(1, 100); }, [](TGridAxis& a) { a.Hide(1); }}, 0, 100},
        {"show restores a user width",
         {[](TGridAxis& a) { a.SetSize(1, 100); }, [](TGridAxis& a) { a.Hide(1); },
          [](TGridAxis& a) { a.Show(1); }},
         100, 100},
        {"hiding twice keeps the remembered width",
         {[](TGridAxis& a) { a.SetSize(1, 100); }, [](TGridAxis& a) { a.Hide(1); },
          [](TGridAxis& a) { a.Hide(1); }, [](TGridAxis& a) { a.Show(1); }},
         100, 100},
        {"show without remembered width takes the default",
         {[](TGridAxis& a) { a.SetSize(1, 0); }, [](TGridAxis& a) { a.Show(1); }}, 64, 0},
        {"hide remembers a width set by the layout",
         {[](TGridAxis& a) { a.SetActualSize(1, 40); }, [](TGridAxis& a) { a.Hide(1); },
          [](TGridAxis& a) { a.Show(1); }},
         40, 40},
        {"actual 0 then show brings back the user width",
         {[](TGridAxis& a) { a.SetSize(1, 100); }, [](TGridAxis& a) { a.SetActualSize(1, 0); },
          [](TGridAxis& a) { a.Show(1); }},
         100, 100},
        {"restored remembered width is used by show",
         {[](TGridAxis& a) { a.Hide(1); }, [](TGridAxis& a) { a.SetSavedSize(1, 77); },
          [](TGridAxis& a) { a.Show(1); }},
         77, 77},
        {"bulk fill of actual sizes keeps the remembered ones",
         {[](TGridAxis& a) { a.SetSize(1, 90); }, [](TGridAxis& a) { a.FillActual(0, 4, 0); },
          [](TGridAxis& a) { a.Show(1); }},
         90, 90, 0},
        {"new default replaces every size",
         {[](TGridAxis& a) { a.SetSize(1, 90); }, [](TGridAxis& a) { a.SetDefaultSize(20); }}, 20, 20, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TGridAxis axis(64);
        axis.SetCount(5);
        for (const auto& op : c.ops) op(axis);
        EXPECT_EQ(axis.Size(1), c.size);
        EXPECT_EQ(axis.SavedSize(1), c.saved);
        EXPECT_EQ(axis.Size(0), c.other);
        EXPECT_EQ(axis.Offset(2), c.other + c.size);
    }
}

// Offsets, the line at an offset and the visible neighbours of a line, with hidden lines in between,
// at the start and at the end.
TEST(GridGeometry, OffsetsAndLinesSkipHiddenLines) {
    struct Case {
        const char* name;
        std::vector<int> sizes;
        std::vector<std::pair<std::int64_t, int>> lineAt;  // offset -> line
        std::vector<std::pair<int, int>> next;             // line -> next visible
        std::vector<std::pair<int, int>> prev;             // line -> previous visible
    };
    const Case cases[] = {
        {"hidden lines inside",
         {10, 0, 20, 0, 0, 5},
         {{-1, -1}, {0, 0}, {9, 0}, {10, 2}, {29, 2}, {30, 5}, {34, 5}, {35, 6}, {1000, 6}},
         {{-1, 0}, {0, 2}, {1, 2}, {2, 5}, {5, 6}},
         {{6, 5}, {5, 2}, {4, 2}, {2, 0}, {0, -1}}},
        {"hidden lines at the start",
         {0, 0, 7, 3},
         {{0, 2}, {6, 2}, {7, 3}, {9, 3}, {10, 4}},
         {{-1, 2}, {0, 2}, {2, 3}, {3, 4}},
         {{2, -1}, {3, 2}, {4, 3}}},
        {"hidden lines at the end",
         {4, 4, 0, 0},
         {{3, 0}, {4, 1}, {7, 1}, {8, 4}},
         {{1, 4}, {2, 4}},
         {{4, 1}, {3, 1}, {1, 0}}},
        {"all hidden", {0, 0, 0}, {{0, 3}, {5, 3}}, {{-1, 3}, {1, 3}}, {{3, -1}, {1, -1}}},
        {"no lines", {}, {{0, 0}, {-2, -1}}, {{-1, 0}}, {{0, -1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TGridAxis axis(64);
        FillAxis(axis, c.sizes);
        std::int64_t sum = 0;
        for (int i = 0; i <= axis.Count(); ++i) {
            EXPECT_EQ(axis.Offset(i), sum) << "line " << i;
            if (i < axis.Count()) sum += c.sizes[static_cast<std::size_t>(i)];
        }
        for (auto [offset, line] : c.lineAt) EXPECT_EQ(axis.LineAt(offset), line) << "offset " << offset;
        for (auto [from, to] : c.next) EXPECT_EQ(axis.NextVisible(from), to) << "next after " << from;
        for (auto [from, to] : c.prev) EXPECT_EQ(axis.PrevVisible(from), to) << "previous before " << from;
    }
}

// The prefix sums agree with a plain array through a long mix of point changes, bulk fills and
// count changes (the tree is patched in place for some and rebuilt for others).
TEST(GridGeometry, PrefixSumsMatchPlainArrayUnderRandomChanges) {
    std::mt19937 rng(12345);
    TGridAxis axis(18);
    std::vector<int> model;
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 3000; ++step) {
        const int op = pick(10);
        const int n = static_cast<int>(model.size());
        if (op == 0 || n == 0) {
            const int count = pick(3000);
            axis.SetCount(count);
            model.resize(static_cast<std::size_t>(count), 18);
        } else if (op == 1) {
            int a = pick(n), b = pick(n);
            if (a > b) std::swap(a, b);
            const int size = pick(3) == 0 ? 0 : pick(40);
            axis.FillActual(a, b, size);
            for (int i = a; i <= b; ++i) model[static_cast<std::size_t>(i)] = size;
        } else {
            const int line = pick(n);
            const int size = pick(2) == 0 ? 0 : pick(40);
            axis.SetActualSize(line, size);
            model[static_cast<std::size_t>(line)] = size;
        }
        if (model.empty()) continue;
        // Check a few random positions against the array.
        for (int k = 0; k < 5; ++k) {
            const int line = pick(static_cast<int>(model.size()) + 1);
            std::int64_t expected = 0;
            for (int i = 0; i < line; ++i) expected += model[static_cast<std::size_t>(i)];
            ASSERT_EQ(axis.Offset(line), expected) << "step " << step << " line " << line;
            if (line < static_cast<int>(model.size()) && model[static_cast<std::size_t>(line)] > 0) {
                const std::int64_t inside = expected + pick(model[static_cast<std::size_t>(line)]);
                ASSERT_EQ(axis.LineAt(inside), line) << "step " << step;
            }
        }
    }
}

// A million lines, nearly all hidden: positions near the end are found directly.
TEST(GridGeometry, MillionLinesMostlyHidden) {
    const int n = 1'000'000;
    TGridAxis axis(18);
    axis.SetCount(n);
    axis.SetFixedCount(3);
    axis.FillActual(3, n - 1, 0);
    for (int i = 3; i < n; i += 1000) axis.Show(i);  // one line per thousand stays
    const std::int64_t visible = (n - 3 + 999) / 1000;
    EXPECT_EQ(axis.FixedExtent(), 3 * 18);
    EXPECT_EQ(axis.Extent(), (3 + visible) * 18);
    const int last = 3 + static_cast<int>(visible - 1) * 1000;
    EXPECT_EQ(axis.LineAt(axis.Extent() - 1), last);
    EXPECT_EQ(axis.LineAt(axis.Extent()), n);
    EXPECT_EQ(axis.NextVisible(last), n);
    EXPECT_EQ(axis.PrevVisible(n), last);
    EXPECT_EQ(axis.NextVisible(2), 3);
    EXPECT_EQ(axis.NextVisible(4), 1003);
    EXPECT_EQ(axis.PrevVisible(1003), 3);
    axis.SetSize(last, 40);
    EXPECT_EQ(axis.Extent(), (3 + visible) * 18 + 22);
}

// Counts and fixed counts, and the refusals of bad arguments.
TEST(GridGeometry, CountsAndBadArguments) {
    TGridAxis axis(64);
    axis.SetCount(4);
    axis.SetFixedCount(3);
    axis.SetSize(1, 10);
    axis.SetCount(6);
    EXPECT_EQ(axis.Size(5), 64);
    EXPECT_EQ(axis.SavedSize(5), 64);
    EXPECT_EQ(axis.Size(1), 10);
    axis.SetCount(2);
    EXPECT_EQ(axis.FixedCount(), 2);  // fixed lines cannot outnumber the lines
    EXPECT_EQ(axis.Extent(), 74);

    struct Case {
        const char* name;
        AxisOp op;
    };
    const Case outOfRange[] = {
        {"size of line past the end", [](TGridAxis& a) { a.Size(2); }},
        {"size of negative line", [](TGridAxis& a) { a.SetSize(-1, 5); }},
        {"hide past the end", [](TGridAxis& a) { a.Hide(2); }},
        {"fixed count over count", [](TGridAxis& a) { a.SetFixedCount(3); }},
        {"offset past the end", [](TGridAxis& a) { a.Offset(3); }},
        {"fill past the end", [](TGridAxis& a) { a.FillActual(0, 2, 5); }},
    };
    for (const auto& c : outOfRange) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(c.op(axis), std::out_of_range);
    }
    const Case invalid[] = {
        {"negative size", [](TGridAxis& a) { a.SetSize(0, -1); }},
        {"huge size", [](TGridAxis& a) { a.SetActualSize(0, TGridAxis::MaxSize + 1); }},
        {"negative default", [](TGridAxis& a) { a.SetDefaultSize(-5); }},
    };
    for (const auto& c : invalid) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(c.op(axis), std::invalid_argument);
    }
    EXPECT_THROW(axis.SetCount(-1), std::length_error);
    EXPECT_THROW(axis.SetCount(TGridAxis::MaxCount + 1), std::length_error);
    EXPECT_EQ(axis.Count(), 2);  // refused changes leave the axis as it was
    EXPECT_EQ(axis.Extent(), 74);
}

// Which notifications listeners get, alone and in batches.
TEST(GridGeometry, ListenersHearEachKindOncePerBatch) {
    using Op = std::function<void(TGridGeometry&)>;
    using K = TGridChange;
    struct Case {
        const char* name;
        Op op;
        std::vector<K> heard;
    };
    const Case cases[] = {
        {"width change", [](TGridGeometry& g) { g.Cols().SetSize(0, 5); }, {K::ColsChanged}},
        {"height change", [](TGridGeometry& g) { g.Rows().Hide(1); }, {K::RowsChanged}},
        {"count change", [](TGridGeometry& g) { g.Rows().SetCount(9); }, {K::CountsChanged}},
        {"fixed count change", [](TGridGeometry& g) { g.Cols().SetFixedCount(1); }, {K::CountsChanged}},
        {"unchanged size is silent", [](TGridGeometry& g) { g.Cols().SetActualSize(0, 64); }, {}},
        {"remembered size alone is silent", [](TGridGeometry& g) { g.Cols().SetSavedSize(0, 9); }, {}},
        {"hiding a hidden line is silent",
         [](TGridGeometry& g) {
             g.Rows().SetActualSize(1, 0);
             g.Rows().Hide(1);
         },
         {K::RowsChanged}},
        {"batch reports each kind once, counts first",
         [](TGridGeometry& g) {
             TGridUpdateGuard guard(g);
             g.Cols().SetSize(0, 5);
             g.Rows().SetSize(0, 5);
             g.Cols().Hide(1);
             g.Cols().SetCount(3);
         },
         {K::CountsChanged, K::RowsChanged, K::ColsChanged}},
        {"nested batches report at the outer end",
         [](TGridGeometry& g) {
             g.BeginUpdate();
             g.BeginUpdate();
             g.Rows().SetSize(0, 5);
             g.EndUpdate();
             EXPECT_TRUE(g.Updating());
             g.Rows().SetSize(1, 5);
             g.EndUpdate();
         },
         {K::RowsChanged}},
        {"explicit change report", [](TGridGeometry& g) { g.Changed(K::RowsChanged); }, {K::RowsChanged}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TGridGeometry geometry;
        geometry.Rows().SetCount(4);
        geometry.Cols().SetCount(4);
        std::vector<K> heard;
        geometry.AddListener([&](K kind) { heard.push_back(kind); });
        c.op(geometry);
        EXPECT_EQ(heard, c.heard);
        EXPECT_FALSE(geometry.Updating());
    }
}

TEST(GridGeometry, RemovedListenerAndUnbalancedEndUpdate) {
    TGridGeometry geometry;
    EXPECT_EQ(geometry.Rows().DefaultSize(), 18);
    EXPECT_EQ(geometry.Cols().DefaultSize(), 64);
    int first = 0, second = 0;
    const int id = geometry.AddListener([&](TGridChange) { ++first; });
    geometry.AddListener([&](TGridChange) { ++second; });
    geometry.Rows().SetCount(2);
    geometry.RemoveListener(id);
    geometry.RemoveListener(12345);
    geometry.Rows().SetCount(3);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_THROW(geometry.EndUpdate(), std::logic_error);
}
