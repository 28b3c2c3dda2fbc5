#include "Export.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "Demo.h"
#include "session/GridExport.h"
#include "session/KubrixSession.h"
#include "pivot/Kubrix.h"
#include "support/Errors.h"

namespace kubrix::app {
namespace {

// After "usage: kubrix export" or "usage: kubrix-export", which are equally long.
constexpr const char* kUsage =
    " [--connect CONNSTR] --sql SQL [--rows LIST] [--cols LIST] [--data LIST]\n"
    "                     [--data-place X|Y] [--data-index N] [--state FILE] [--save-state FILE]\n"
    "                     [--format csv|text|html] [--output FILE] [--numbers]\n"
    "LIST: field names, each followed by \";\" (\"region;manager;\")\n";

struct Options {
    std::map<std::string, std::string> values;
    bool numbers = false;
    bool has(const char* k) const { return values.count(k) != 0; }
    std::string get(const char* k, const std::string& def = {}) const {
        auto it = values.find(k);
        return it == values.end() ? def : it->second;
    }
};

bool Parse(int argc, char** argv, Options& o, std::string& error) {
    static const char* withValue[] = {"--connect", "--sql", "--rows", "--cols", "--data", "--data-place",
                                      "--data-index", "--state", "--save-state", "--format", "--output"};
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--numbers") {
            o.numbers = true;
            continue;
        }
        bool known = false;
        for (const char* k : withValue) {
            if (a != k) continue;
            known = true;
            if (i + 1 >= argc) {
                error = "missing value for " + a;
                return false;
            }
            o.values[a] = argv[++i];
        }
        if (!known) {
            error = "unknown argument: " + a;
            return false;
        }
    }
    if (!o.has("--sql")) {
        error = "--sql is required";
        return false;
    }
    return true;
}

}  // namespace

int RunExport(int argc, char** argv, const char* program) {
    Options o;
    std::string error;
    if (!Parse(argc, argv, o, error)) {
        std::cerr << program << ": " << error << "\nusage: " << program << kUsage;
        return 2;
    }
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
    try {
        TQelKubrix grid;
        TKubrixSession session(grid);
        session.Connect(o.has("--connect") ? o.get("--connect") : DemoConnectionString());
        session.SetSQL(o.get("--sql"));
        if (o.has("--rows") || o.has("--cols") || o.has("--data"))
            session.Config(o.get("--rows"), o.get("--cols"), o.get("--data"), o.get("--data-place", "X"), dataIndex);
        if (o.has("--state")) {
            const std::string file = o.get("--state");
            // A missing file leaves the layout as it is for the control; asked for by name here,
            // it is an error.
            std::ifstream probe(file, std::ios::binary);
            if (!probe) throw kubrix::Exception("Cannot open state file " + file);
            session.LoadState(file);
        }
        if (o.has("--save-state")) session.SaveState(o.get("--save-state"));
        if (o.has("--output")) {
            std::ofstream out(o.get("--output"), std::ios::binary | std::ios::trunc);
            if (!out) throw kubrix::Exception("Cannot create " + o.get("--output"));
            WriteGrid(grid, exportOptions, out);
            out.flush();
            if (!out) throw kubrix::Exception("Cannot write " + o.get("--output"));
        } else {
            WriteGrid(grid, exportOptions, std::cout);
            std::cout.flush();
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace kubrix::app
