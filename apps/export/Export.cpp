#include "Export.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "Demo.h"
#include "session/GridExport.h"
#include "session/KubrixSession.h"
#include "session/RecordsExport.h"
#include "pivot/Kubrix.h"
#include "support/Errors.h"
#include "support/ScopeGuard.h"
#include "support/Text.h"
#include "support/Timings.h"

namespace kubrix::app {
namespace {

// After "usage: kubrix export" or "usage: kubrix-export", which are equally long.
constexpr const char* kUsage =
    " [--connect CONNSTR] --sql SQL [--rows LIST] [--cols LIST] [--data LIST]\n"
    "                     [--data-place X|Y] [--data-index N] [--state FILE] [--save-state FILE]\n"
    "                     [--format csv|text|html] [--output FILE] [--numbers] [--drill ROW,COL] [--timings]\n"
    "LIST: field names, each followed by \";\" (\"region;manager;\")\n"
    "--drill ROW,COL: instead of the grid, the records behind the data or total cell at line ROW\n"
    "and cell COL of the output without --numbers (from 0, header lines included), as kubrix records\n"
    "--timings: where the time went, on standard error (the driver's execute and fetch calls apart)\n"
    "At least one field must be placed, by the lists or by the --state file.\n";

struct Options {
    std::map<std::string, std::string> values;
    bool numbers = false;
    bool timings = false;
    bool has(const char* k) const { return values.count(k) != 0; }
    std::string get(const char* k, const std::string& def = {}) const {
        auto it = values.find(k);
        return it == values.end() ? def : it->second;
    }
};

constexpr const char* kWithValue[] = {"--connect", "--sql", "--rows", "--cols", "--data", "--data-place",
                                     "--data-index", "--state", "--save-state", "--format", "--output", "--drill"};

bool TakesValue(const std::string& a) {
    for (const char* k : kWithValue)
        if (a == k) return true;
    return false;
}

enum class ParseResult { Run, Help, Error };

ParseResult Parse(int argc, char** argv, Options& o, std::string& error) {
    // Asked for help anywhere among the options, the usage is all the answer.
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return ParseResult::Help;
        if (TakesValue(a)) ++i;
    }
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--numbers") {
            o.numbers = true;
            continue;
        }
        if (a == "--timings") {
            o.timings = true;
            continue;
        }
        if (!TakesValue(a)) {
            error = "unknown argument: " + a;
            return ParseResult::Error;
        }
        if (i + 1 >= argc) {
            error = "missing value for " + a;
            return ParseResult::Error;
        }
        o.values[a] = argv[++i];
    }
    if (!o.has("--sql")) {
        error = "--sql is required";
        return ParseResult::Error;
    }
    if (Trim(o.get("--sql")).empty()) {
        error = "--sql is blank: give the query to run";
        return ParseResult::Error;
    }
    return ParseResult::Run;
}

//! A name after the last ";" of a list is not placed; said, so that it is not lost unnoticed.
void WarnUnclosedList(const Options& o, const char* option, const char* program) {
    const std::string list = o.get(option);
    const std::size_t last = list.rfind(';');
    const std::string tail = Trim(last == std::string::npos ? list : list.substr(last + 1));
    if (tail.empty()) return;
    std::cerr << program << ": warning: " << option << " \"" << list << "\": \"" << tail
              << "\" is not followed by \";\" and is not placed\n";
}

bool AnyFieldPlaced(const TQelKubrix& grid) {
    return grid.XAxis.Count() > 0 || grid.YAxis.Count() > 0 || grid.DataFields.Count() > 0;
}

}  // namespace

int RunExport(int argc, char** argv, const char* program) {
    Options o;
    std::string error;
    switch (Parse(argc, argv, o, error)) {
        case ParseResult::Help: std::cout << "usage: " << program << kUsage; return 0;
        case ParseResult::Error: std::cerr << program << ": " << error << "\nusage: " << program << kUsage; return 2;
        case ParseResult::Run: break;
    }
    for (const char* list : {"--rows", "--cols", "--data"}) WarnUnclosedList(o, list, program);
    TExportOptions exportOptions;
    exportOptions.Numbers = o.numbers;
    if (!ParseExportFormat(o.get("--format", "csv"), exportOptions.Format)) {
        std::cerr << program << ": unknown format: " << o.get("--format") << "\nusage: " << program << kUsage;
        return 2;
    }
    std::int32_t dataIndex = 0;
    if (o.has("--data-index")) {
        const std::string s = o.get("--data-index");
        char* end = nullptr;
        const long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) {
            std::cerr << program << ": --data-index must be an integer\n";
            return 2;
        }
        dataIndex = static_cast<std::int32_t>(v);
    }
    int drillLine = -1, drillCell = -1;
    if (o.has("--drill")) {
        const std::string s = o.get("--drill");
        char* end = nullptr;
        const long line = std::strtol(s.c_str(), &end, 10);
        const bool lineOk = end != s.c_str() && *end == ',';
        const char* rest = lineOk ? end + 1 : "";
        const long cell = std::strtol(rest, &end, 10);
        if (!lineOk || end == rest || *end != '\0' || line < 0 || cell < 0 || line > INT32_MAX || cell > INT32_MAX) {
            std::cerr << "kubrix export: --drill must be ROW,COL (two numbers from 0)\n";
            return 2;
        }
        drillLine = static_cast<int>(line);
        drillCell = static_cast<int>(cell);
    }
    LoadTimings().Enabled = o.timings;
    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); };
    const Clock::time_point start = Clock::now();
    double connectMs = 0, loadMs = 0, configMs = 0;
    // Heap in use before the records, with them, and with the pivot laid out over them.
    auto heap = [] {
        const struct mallinfo2 m = mallinfo2();
        return static_cast<double>(m.uordblks + m.hblkhd);
    };
    double heapBefore = 0, heapLoaded = 0, heapPivot = 0;
    try {
        TQelKubrix grid;
        TKubrixSession session(grid);
        Clock::time_point t = Clock::now();
        session.Connect(o.has("--connect") ? o.get("--connect") : DemoConnectionString());
        connectMs = since(t);
        heapBefore = o.timings ? heap() : 0;
        t = Clock::now();
        session.SetSQL(o.get("--sql"));
        loadMs = since(t);
        heapLoaded = o.timings ? heap() : 0;
        t = Clock::now();
        if (o.has("--rows") || o.has("--cols") || o.has("--data"))
            session.Config(o.get("--rows"), o.get("--cols"), o.get("--data"), o.get("--data-place", "X"), dataIndex);
        configMs = since(t);
        heapPivot = o.timings ? heap() : 0;
        if (o.has("--state")) {
            const std::string file = o.get("--state");
            // A missing file leaves the layout as it is for the control; asked for by name here,
            // it is an error.
            std::ifstream probe(file, std::ios::binary);
            if (!probe) throw kubrix::Exception("Cannot open state file " + file);
            if (!session.LoadState(file))
                std::cerr << program << ": warning: the state file " << file
                          << " could be read only in part; what was read is applied\n";
        }
        // An empty layout would write the whole blank grid: nothing asked for, nothing written.
        if (!AnyFieldPlaced(grid))
            throw kubrix::Exception("no field is placed: give --rows, --cols or --data (names each followed by "
                                    "\";\") or a --state file with a layout");
        if (o.has("--save-state")) session.SaveState(o.get("--save-state"));
        if (drillLine >= 0) {
            int col = 0, row = 0;
            if (!VisibleCellAt(grid, false, drillLine, drillCell, col, row) || !session.DrillDownCell(col, row))
                throw kubrix::Exception("--drill " + o.get("--drill") + ": not a data or total cell");
        }
        auto write = [&](std::ostream& out) {
            if (drillLine >= 0) WriteRecords(session.qData(), exportOptions.Format, out);
            else WriteGrid(grid, exportOptions, out);
        };
        const Clock::time_point writeStart = Clock::now();
        ScopeExit tell([&] {
            if (!o.timings) return;
            const TLoadTimings& lt = LoadTimings();
            const double total = since(start), driver = lt.ExecuteMs + lt.FetchMs;
            const double ours = total - connectMs - driver;
            // Describing and opening: the driver's calls apart, the rest is reading rows into records.
            std::fprintf(stderr,
                         "timings: connect %.0f ms, describe %.0f ms, open %.0f ms, of both: driver execute %.0f ms and "
                         "fetch %.0f ms, store %.0f ms; Config %.0f ms, write %.0f ms; total %.0f ms, ours %.0f ms (%.0f%%)\n",
                         connectMs, lt.DescribeMs, loadMs - lt.DescribeMs, lt.ExecuteMs, lt.FetchMs, loadMs - driver,
                         configMs, since(writeStart), total, ours, total > 0 ? 100.0 * ours / total : 0.0);
            const double records = std::max(1, grid.RecordCount());
            std::fprintf(stderr, "memory: %d records, %.0f bytes per record in the dataset, %.0f in the pivot\n",
                         grid.RecordCount(), (heapLoaded - heapBefore) / records, (heapPivot - heapLoaded) / records);
        });
        if (o.has("--output")) {
            std::ofstream out(o.get("--output"), std::ios::binary | std::ios::trunc);
            if (!out) throw kubrix::Exception("Cannot create " + o.get("--output"));
            write(out);
            out.flush();
            if (!out) throw kubrix::Exception("Cannot write " + o.get("--output"));
        } else {
            write(std::cout);
            std::cout.flush();
        }
    } catch (const std::exception& e) {
        std::cerr << program << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace kubrix::app
