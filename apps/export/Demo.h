#pragma once
// What the program starts on: the bundled demo database, a query and a layout that show a
// pivot at once.

#include <string>

namespace kubrix::app {

//! The demo database file (KUBRIX_DEMO_DB in the environment overrides the built one).
std::string DemoDatabasePath();
//! The SQLite3 ODBC driver on the demo database: the registered driver when the system lists
//! it, else the driver library's path.
std::string DemoConnectionString();

inline constexpr const char* kDemoSQL = "SELECT region, manager, product, year, month, qty, amount FROM sales";
inline constexpr const char* kDemoRows = "region;manager;";
inline constexpr const char* kDemoCols = "year;";
inline constexpr const char* kDemoData = "amount;";

}  // namespace kubrix::app
