#include "Records.h"

#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "Demo.h"
#include "session/KubrixSession.h"
#include "session/RecordsExport.h"
#include "pivot/Kubrix.h"
#include "support/Errors.h"

namespace kubrix::app {
namespace {

constexpr const char* kUsage =
    "usage: kubrix records [--connect CONNSTR] --sql SQL [--filter EXPR] [--order-by TEXT]\n"
    "                      [--format csv|text|html] [--output FILE]\n"
    "Writes the records the dataset shows, in its order: a line of field names, then one line\n"
    "per record. --filter is an expression of the filter language (\"region = 'X' AND amount > 100\").\n";

}  // namespace

int RunRecords(int argc, char** argv) {
    static const char* withValue[] = {"--connect", "--sql", "--filter", "--order-by", "--format", "--output"};
    std::map<std::string, std::string> o;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        bool known = false;
        for (const char* k : withValue) {
            if (a != k) continue;
            known = true;
            if (i + 1 >= argc) {
                std::cerr << "kubrix records: missing value for " << a << "\n" << kUsage;
                return 2;
            }
            o[a] = argv[++i];
        }
        if (!known) {
            std::cerr << "kubrix records: unknown argument: " << a << "\n" << kUsage;
            return 2;
        }
    }
    if (!o.count("--sql")) {
        std::cerr << "kubrix records: --sql is required\n" << kUsage;
        return 2;
    }
    TExportFormat format = TExportFormat::Csv;
    if (o.count("--format") && !ParseExportFormat(o["--format"], format)) {
        std::cerr << "kubrix records: unknown format: " << o["--format"] << "\n" << kUsage;
        return 2;
    }
    try {
        TQelKubrix grid;
        TKubrixSession session(grid);
        session.Connect(o.count("--connect") ? o["--connect"] : DemoConnectionString());
        session.SetSQL(o["--sql"]);
        TKubrixDataSet& ds = session.qData();
        if (o.count("--filter")) {
            ds.SetFilterText(o["--filter"]);
            ds.SetFiltered(true);
        }
        if (o.count("--order-by")) ds.SetOrderBy(o["--order-by"]);
        if (o.count("--output")) {
            std::ofstream out(o["--output"], std::ios::binary | std::ios::trunc);
            if (!out) throw kubrix::Exception("Cannot create " + o["--output"]);
            WriteRecords(ds, format, out);
            out.flush();
            if (!out) throw kubrix::Exception("Cannot write " + o["--output"]);
        } else {
            WriteRecords(ds, format, std::cout);
            std::cout.flush();
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace kubrix::app
