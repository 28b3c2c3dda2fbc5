// Cell aggregation cost: records spread over many horizontal leaves. Prints the time of the
// tree build and of one full sums computation for several record and leaf counts, so that
// near-linear growth (and no growth with the square of the horizontal nodes) can be read off.
//
//   pivot_agg_bench            the standard runs
//   pivot_agg_bench N LEAVES   one run

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "dataset/ClientRecordSource.h"
#include "dataset/QelODBCClient.h"
#include "pivot/Kubrix.h"

using namespace kubrix;

namespace {

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Vertical: V (50 values). Horizontal: G (leaves / 100 groups), H (the leaves). Data: Q.
void Run(int records, int leaves) {
    TQelODBCClient ds;
    ds.FieldDefs().Add("V", ftInteger);
    ds.FieldDefs().Add("G", ftInteger);
    ds.FieldDefs().Add("H", ftInteger);
    ds.FieldDefs().Add("Q", ftFloat);
    TClientRecordSource source{ds};
    TQelKubrix grid;
    grid.SetRecordSource(&source);
    ds.Open();

    std::mt19937 rng(7);
    const int groups = leaves >= 100 ? leaves / 100 : 1;
    TField* v = ds.FieldByName("V");
    TField* g = ds.FieldByName("G");
    TField* h = ds.FieldByName("H");
    TField* q = ds.FieldByName("Q");
    ds.SetCapacity(records);
    for (int i = 0; i < records; ++i) {
        ds.AddRecord();
        // Every leaf gets records; the rest fall at random.
        const int leaf = i < leaves ? i : static_cast<int>(rng() % static_cast<unsigned>(leaves));
        ds.SetFieldValueInBuffer(v, i, Variant::FromInt32(static_cast<int>(rng() % 50)));
        ds.SetFieldValueInBuffer(g, i, Variant::FromInt32(leaf % groups));
        ds.SetFieldValueInBuffer(h, i, Variant::FromInt32(leaf));
        ds.SetFieldValueInBuffer(q, i, Variant::FromDouble(static_cast<double>(rng() % 1000) / 4));
    }

    const auto t0 = std::chrono::steady_clock::now();
    grid.BeginUpdate();
    grid.DataFields.BeginUpdate();
    grid.XAxis.BeginUpdate();
    grid.YAxis.BeginUpdate();
    grid.XAxis.Add("V");
    grid.YAxis.Add("G");
    grid.YAxis.Add("H");
    grid.DataFields.Add("Q");
    grid.YAxis.EndUpdate();
    grid.XAxis.EndUpdate();
    grid.DataFields.EndUpdate();
    // Trees and visibility without sums: the bracket holds the grid update back.
    grid.UpdateNodesVisible();
    const auto t1 = std::chrono::steady_clock::now();
    grid.DataFields.UpdateCalcData();
    const auto t2 = std::chrono::steady_clock::now();
    grid.DataFields.UpdateCalcData();  // a second pass: the recomputation of every grid update
    const auto t3 = std::chrono::steady_clock::now();
    grid.EndUpdate();

    long long entries = 0;
    for (const TOLAPNode* n : grid.XAxis.Rows) entries += n->Sums ? n->Sums->Count() : 0;
    entries += grid.XAxis.Root->Sums ? grid.XAxis.Root->Sums->Count() : 0;
    const double agg = (Ms(t1, t2) + Ms(t2, t3)) / 2;
    std::printf("%9d records %7d leaves %7d horizontal nodes | trees %8.1f ms | sums %8.1f ms  %6.0f ns/record | %8lld sum entries\n",
                records, leaves, grid.YAxis.RowCount() + 1, Ms(t0, t1), agg, agg * 1e6 / records, entries);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3) {
        Run(std::atoi(argv[1]), std::atoi(argv[2]));
        return 0;
    }
    std::printf("records over 10,000 horizontal leaves:\n");
    for (int n : {10000, 100000, 1000000}) Run(n, 10000);
    std::printf("100,000 records over more and more horizontal leaves:\n");
    for (int leaves : {1000, 10000, 100000}) Run(100000, leaves);
    return 0;
}
