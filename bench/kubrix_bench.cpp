// Times the pivot over a typed CSV file, so that it can be compared with other engines run on
// the same file. Prints one JSON line.
//
//   kubrix_bench --csv FILE --rows "a;b;" --cols "c;d;" --data "v;" [--data-place X|Y]
//                [--data-index N] [--repeat K]
//   kubrix_bench --generate N FILE     (a benchmark CSV: two vertical, two horizontal fields
//                                        and one data field: region;product; year;month; amount;)

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include "CsvDataset.h"
#include "pivot/Kubrix.h"
#include "support/MemoryRecordSource.h"

using namespace kubrix;

namespace {

double Ms(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double MinOf(int repeat, const std::function<void()>& before, const std::function<void()>& timed,
             const std::function<void()>& after) {
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < repeat; ++i) {
        if (before) before();
        best = std::min(best, Ms(timed));
        if (after) after();
    }
    return best;
}

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "%s\nusage: kubrix_bench --csv FILE --rows \"a;b;\" --cols \"c;d;\" --data \"v;\" "
                 "[--data-place X|Y] [--data-index N] [--repeat K] [--first-only]\n"
                 "       kubrix_bench --generate N FILE\n",
                 why);
    std::exit(2);
}

// Bytes of the heap in use (small blocks and mapped ones).
double HeapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
}

std::int64_t SumEntries(const TQelOLAPVisibleFields& x) {
    std::int64_t n = x.Root && x.Root->Sums ? x.Root->Sums->Count() : 0;
    for (const TOLAPNode* node : x.Rows) n += node->Sums ? node->Sums->Count() : 0;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    std::string csv, rows, cols, data;
    std::uint8_t place = 0, index = 0;
    int repeat = 3;
    bool firstOnly = false;  // stop after the first Config: a profile of it alone
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) Usage(("missing value after " + a).c_str());
            return argv[++i];
        };
        if (a == "--generate") {
            const std::string n = next(), file = next();
            GenerateBenchCsv(file, std::stoll(n));
            return 0;
        }
        if (a == "--csv") csv = next();
        else if (a == "--rows") rows = next();
        else if (a == "--cols") cols = next();
        else if (a == "--data") data = next();
        else if (a == "--data-place") {
            const std::string p = next();
            if (p != "X" && p != "Y") Usage("--data-place is X or Y");
            place = p == "Y" ? 1 : 0;
        } else if (a == "--data-index") index = static_cast<std::uint8_t>(std::stoi(next()));
        else if (a == "--repeat") repeat = std::max(1, std::stoi(next()));
        else if (a == "--first-only") firstOnly = true;
        else Usage(("unknown option " + a).c_str());
    }
    if (csv.empty()) Usage("--csv is required");
    try {
        const double heapAtStart = HeapBytes();
        TMemoryRecordSource source;
        std::int64_t records = 0;
        const double loadMs = Ms([&] { records = LoadCsvDataset(csv, source); });
        const double heapLoaded = HeapBytes();
        TQelKubrix grid;
        grid.SetRecordSource(&source);

        // The first Config also fills the placed fields' dictionaries; later ones reuse them.
        const double firstConfigMs = Ms([&] { grid.Config(rows, cols, data, place, index); });
        if (firstOnly) {
            std::printf("{\"records\": %lld, \"load_ms\": %.1f, \"config_first_ms\": %.1f}\n",
                        static_cast<long long>(records), loadMs, firstConfigMs);
            return 0;
        }
        // What the pivot keeps once laid out: dictionaries, record codes, trees, sums.
        const double heapPivot = HeapBytes();
        const double perRecord = records > 0 ? 1.0 / static_cast<double>(records) : 0.0;
        const double configMs = MinOf(repeat, nullptr, [&] { grid.Config(rows, cols, data, place, index); }, nullptr);

        double filterMs = 0, toggleMs = 0, sortMs = 0;
        if (grid.XAxis.Count() > 0) {
            TQelOLAPField* first = grid.XAxis.Field(0).OLAPField;
            filterMs = MinOf(repeat, [&] { first->Values.front()->Selected = false; }, [&] { grid.UpdateGrid(); },
                             [&] {
                                 first->Values.front()->Selected = true;
                                 grid.UpdateGrid();
                             });
            // A first-level group near the middle: its header cell in the first header column.
            const TOLAPNode* group = grid.XAxis.Root->Children[grid.XAxis.Root->Children.size() / 2];
            // Its header cell: found by trying the header columns and the group's grid rows.
            const TKubrixDims d = grid.Dims();
            int col = -1, row = -1;
            for (int c = d.R; c < d.FixedCols && col < 0; ++c) {
                for (int r = d.FixedRows; r < d.FixedRows + 4 * (group->OwnRow + 1) && col < 0; ++r) {
                    const bool was = group->Entry->Expanded;
                    grid.RevertExpandedStateX(c, r, false);
                    if (group->Entry->Expanded != was) {
                        grid.RevertExpandedStateX(c, r, false);
                        col = c;
                        row = r;
                    }
                }
            }
            if (col < 0) throw std::runtime_error("no header cell toggles the group");
            toggleMs = MinOf(repeat, nullptr, [&] {
                grid.RevertExpandedStateX(col, row, false);  // collapse
                grid.RevertExpandedStateX(col, row, false);  // and expand again
            }, nullptr);
            sortMs = MinOf(repeat, nullptr, [&] { grid.SortByData(false, true, nullptr, nullptr, 0, true); },
                           [&] { grid.Config(rows, cols, data, place, index); });
        }
        std::string state;
        const double stateMs = MinOf(repeat, nullptr, [&] {
            state = grid.GetFullState();
            grid.SetFullState(state);
        }, nullptr);
        const double stateSetMs = MinOf(repeat, nullptr, [&] { grid.SetFullState(state); }, nullptr);

        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        std::printf("{\"records\": %lld, \"x_rows\": %d, \"y_rows\": %d, \"load_ms\": %.1f, \"config_first_ms\": %.1f, \"config_ms_min\": %.1f, "
                    "\"filter_update_ms_min\": %.1f, \"toggle_ms_min\": %.4f, \"sort_by_data_ms_min\": %.1f, "
                    "\"state_ms_min\": %.1f, \"set_state_ms_min\": %.1f, \"state_bytes\": %zu, \"sum_entries\": %lld, \"peak_rss_mb\": %.1f, "
                    "\"dataset_bytes_per_record\": %.1f, \"pivot_bytes_per_record\": %.1f}\n",
                    static_cast<long long>(records), grid.XAxis.RowCount(), grid.YAxis.RowCount(), loadMs, firstConfigMs, configMs,
                    filterMs, toggleMs, sortMs, stateMs, stateSetMs, state.size(), static_cast<long long>(SumEntries(grid.XAxis)),
                    static_cast<double>(ru.ru_maxrss) / 1024.0, (heapLoaded - heapAtStart) * perRecord,
                    (heapPivot - heapLoaded) * perRecord);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kubrix_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
