// The kubrix program as a user runs it: help, refusals of an export that would write nothing
// useful, state files it cannot read, a start without a display and a screenshot run whose
// start-up fails.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/Demo.h"
#include "ControlTestEnv.h"
#include "support/StorageStream.h"

namespace kubrix::test {
namespace {

struct RunResult {
    int code = -1;
    std::string out, err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

//! A new folder of this run's own (tests run side by side, here and in other builds).
std::filesystem::path FreshDir(const char* stem) {
    std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(stem) + ".XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

//! Runs the program with args under `env` with envArgs (e.g. "-u DISPLAY X=1"), input empty.
RunResult RunProgram(const std::vector<std::string>& args, const std::string& envArgs = "") {
    namespace fs = std::filesystem;
    const fs::path dir = FreshDir("kubrix-program-run");
    const std::string out = (dir / "out").string(), err = (dir / "err").string();
    std::string cmd = "env " + envArgs + " " + Quote(KUBRIX_PROGRAM);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " </dev/null >" + Quote(out) + " 2>" + Quote(err);
    RunResult r;
    const int status = std::system(cmd.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    fs::remove_all(dir);
    return r;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Program, HelpAnywherePrintsTheUsageAlone) {
    const std::vector<std::vector<std::string>> cases = {
        {"--help"},
        {"--screenshot", "x.png", "--help"},
        {"export", "--help"},
        {"export", "--sql", "select 1", "--help"},
        {"export", "--rows", "a;", "--bogus", "--help"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back() + " after " + std::to_string(args.size() - 1) + " arguments");
        const RunResult r = RunProgram(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("usage: kubrix", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

// An export refuses what would only write an empty grid, and says why; a name list without
// its closing ";" is pointed out.
TEST(Program, ExportRefusesAnEmptyLayoutOrQuery) {
    TempSqliteDb db;
    FillSales(db.ConnStr());
    const std::string sql = "select region, manager, year, amount from sales";
    struct ExportCase {
        const char* name;
        std::vector<std::string> args;
        bool refused;
        std::vector<const char*> said;  // parts of standard error
    };
    const ExportCase cases[] = {
        {"no field placed", {"--sql", sql}, true, {"no field is placed"}},
        {"blank query", {"--sql", " \n ", "--rows", "region;"}, true, {"--sql is blank"}},
        {"only an unclosed name", {"--sql", sql, "--rows", "region"}, true,
         {"--rows \"region\": \"region\" is not followed by \";\"", "no field is placed"}},
        {"an unclosed name after placed ones", {"--sql", sql, "--rows", "region;manager", "--data", "amount;"}, false,
         {"--rows \"region;manager\": \"manager\" is not followed by \";\""}},
        {"placed fields", {"--sql", sql, "--rows", "region;", "--data", "amount;"}, false, {}},
    };
    for (const auto& ec : cases) {
        SCOPED_TRACE(ec.name);
        std::vector<std::string> args = {"export", "--connect", db.ConnStr(), "--format", "text"};
        args.insert(args.end(), ec.args.begin(), ec.args.end());
        const RunResult r = RunProgram(args);
        if (ec.refused) {
            EXPECT_NE(r.code, 0);
            EXPECT_EQ(r.out, "");
        } else {
            EXPECT_EQ(r.code, 0);
            EXPECT_TRUE(Has(r.out, "Москва")) << r.out;
        }
        for (const char* part : ec.said) EXPECT_TRUE(Has(r.err, part)) << r.err;
        if (ec.said.empty()) {
            EXPECT_EQ(r.err, "");
        }
    }
}

// A state file with no layout in it is refused; one that holds part of a layout applies it and
// warns.
TEST(Program, ExportRefusesAStateFileWithoutALayout) {
    namespace fs = std::filesystem;
    TempSqliteDb db;
    FillSales(db.ConnStr());
    const std::string sql = "select region, manager, year, amount from sales";
    const fs::path dir = FreshDir("kubrix-program-states");
    const std::string saved = (dir / "saved.state").string();
    ASSERT_EQ(RunProgram({"export", "--connect", db.ConnStr(), "--sql", sql, "--rows", "region;", "--cols", "year;", "--data",
                   "amount;", "--save-state", saved})
                  .code,
              0);
    const std::string full = ReadAll(saved);
    std::vector<std::size_t> ends;
    {
        TQelStorageStream stream;
        stream.Write(full.data(), full.size());
        stream.Seek(0);
        Variant v;
        while (stream.LoadValue(v)) ends.push_back(static_cast<std::size_t>(stream.Position()));
        ASSERT_EQ(ends.size(), 8u);
    }
    std::string junk(200, '\0');
    std::mt19937 rng(11);
    for (char& ch : junk) ch = static_cast<char>(rng());
    struct StateCase {
        const char* name;
        std::string bytes;
        bool refused;
        const char* said;
    };
    const StateCase cases[] = {
        {"random bytes", junk, true, "не содержит сохранённой раскладки"},
        {"empty", "", true, "не содержит сохранённой раскладки"},
        {"cut before the first field list", full.substr(0, ends[0]), true, "не содержит сохранённой раскладки"},
        {"cut after the first field list", full.substr(0, ends[1]), false, "could be read only in part"},
        {"whole", full, false, nullptr},
    };
    for (const auto& sc : cases) {
        SCOPED_TRACE(sc.name);
        const std::string file = (dir / "given.state").string();
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out << sc.bytes;
        }
        const RunResult r =
            RunProgram({"export", "--connect", db.ConnStr(), "--sql", sql, "--state", file, "--format", "text"});
        if (sc.refused) {
            EXPECT_NE(r.code, 0);
            EXPECT_EQ(r.out, "");
        } else {
            EXPECT_EQ(r.code, 0);
            EXPECT_TRUE(Has(r.out, "Москва")) << r.out;
        }
        if (sc.said) {
            EXPECT_TRUE(Has(r.err, sc.said)) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
    fs::remove_all(dir);
}

// The window needs a display: without one the program says how to run it instead of failing
// inside the toolkit. In a screenshot run a failed start-up is written to standard error and
// ends the program, with no dialog waiting for a click.
TEST(Program, StartsOrSaysWhyNot) {
    namespace fs = std::filesystem;
    const fs::path dir = FreshDir("kubrix-program-start");
    struct StartCase {
        const char* name;
        std::string env;
        std::vector<std::string> args;
        std::vector<const char*> said;
    };
    const StartCase cases[] = {
        {"no display", "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", {}, {"no display", "xvfb-run", "kubrix export"}},
        {"X platform asked for without a display", "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb", {},
         {"no display"}},
        // The hang guard only stops a program that would wait for a click for ever.
        {"screenshot run on a database without the table",
         "QT_QPA_PLATFORM=offscreen KUBRIX_DEMO_DB=" + (dir / "empty.db").string() + " timeout 120",
         {"--screenshot", (dir / "shot.png").string()},
         {"no such table"}},
    };
    for (const auto& sc : cases) {
        SCOPED_TRACE(sc.name);
        const RunResult r = RunProgram(sc.args, sc.env);
        EXPECT_EQ(r.code, 1);
        for (const char* part : sc.said) EXPECT_TRUE(Has(r.err, part)) << r.err;
    }
    fs::remove_all(dir);
}

// The demo opens on its regions and managers, not on a block of empty values; its NULLs stay
// where they show the rule (amounts, months, products), and its grand total is SQLite's own sum.
TEST(Program, DemoOpensOnARealisticReport) {
    const std::string demo = app::DemoDatabasePath();
    ASSERT_TRUE(std::filesystem::exists(demo)) << demo;
    auto c = Connect("Driver=SQLite3;Database=" + demo);
    struct CountCase {
        const char* name;
        const char* sql;
        bool some;
    };
    const CountCase counts[] = {
        {"no row without a region", "select count(*) from sales where region is null", false},
        {"no row without a manager", "select count(*) from sales where manager is null", false},
        {"amounts with NULLs", "select count(*) from sales where amount is null", true},
        {"months with NULLs", "select count(*) from sales where month is null", true},
        {"products with NULLs", "select count(*) from sales where product is null", true},
    };
    for (const auto& cc : counts) {
        SCOPED_TRACE(cc.name);
        auto q = OpenQuery(*c, cc.sql);
        EXPECT_EQ(SlotText(*q, 0, *q->GetField(0)) != "0", cc.some);
    }
    auto sum = OpenQuery(*c, "select printf('%.2f', sum(amount)) from sales");
    const std::string total = SlotText(*sum, 0, *sum->GetField(0));

    const RunResult r = RunProgram({"export", "--sql", app::kDemoSQL, "--rows", app::kDemoRows, "--cols",
                                    app::kDemoCols, "--data", app::kDemoData, "--format", "csv"},
                                   "LC_ALL=C KUBRIX_DEMO_DB=" + demo);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(Has(r.out, "(ПУСТО)"));
    // The first region comes right after the header lines and its first manager under it.
    EXPECT_TRUE(Has(r.out, "\r\nЕкатеринбург,")) << r.out.substr(0, 400);
    // The last line is the grand total row; its last cell is the sum of every amount.
    const std::string lastLine = r.out.substr(r.out.rfind("\r\n", r.out.size() - 3) + 2);
    EXPECT_EQ(lastLine.substr(lastLine.rfind(',') + 1), total + "\r\n") << lastLine;
    EXPECT_EQ(total, "279499879.40");
}

}  // namespace
}  // namespace kubrix::test
