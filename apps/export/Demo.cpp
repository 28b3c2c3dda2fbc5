#include "Demo.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kubrix::app {
namespace {

//! Whether the driver list of the ODBC installation names a [SQLite3] driver.
bool SQLite3Registered() {
    std::string dir = "/etc";
    if (const char* d = std::getenv("ODBCSYSINI"); d && *d) dir = d;
    std::ifstream in(dir + "/odbcinst.ini");
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line == "[SQLite3]") return true;
    }
    return false;
}

}  // namespace

std::string DemoDatabasePath() {
    if (const char* p = std::getenv("KUBRIX_DEMO_DB"); p && *p) return p;
    return KUBRIX_DEMO_DB;
}

std::string DemoConnectionString() {
    std::string driver = "SQLite3";
    if (!SQLite3Registered()) {
        for (const char* lib : {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so", "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
                                "/usr/lib/odbc/libsqlite3odbc.so", "/usr/local/lib/libsqlite3odbc.so"}) {
            if (std::filesystem::exists(lib)) {
                driver = lib;
                break;
            }
        }
    }
    // Row by row: by default the driver runs the whole select before the first row comes, and
    // again to describe it, so a long load could show no progress and could not be stopped.
    return "Driver=" + driver + ";Database=" + DemoDatabasePath() + ";StepAPI=1";
}

}  // namespace kubrix::app
