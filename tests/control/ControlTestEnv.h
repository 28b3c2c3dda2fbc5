#pragma once
// Pieces shared by the control's tests: a small sales database in a fresh SQLite file, and a
// control connected to it.

#include <string>

#include "control/KubrixX.h"
#include "odbc/OdbcTestEnv.h"
#include "support/Text.h"

namespace kubrix::test {

//! A sales table of a few rows with a NULL amount and Cyrillic names.
inline void FillSales(const std::string& connStr) {
    auto c = Connect(connStr);
    Exec(*c, "CREATE TABLE sales (region VARCHAR(40), manager VARCHAR(40), year INTEGER, amount NUMERIC(12,2))");
    Exec(*c, "INSERT INTO sales VALUES ('Москва', 'Иванов', 2022, 100.25)");
    Exec(*c, "INSERT INTO sales VALUES ('Москва', 'Петрова', 2023, 200.50)");
    Exec(*c, "INSERT INTO sales VALUES ('Москва', 'Иванов', 2023, 1000.00)");
    Exec(*c, "INSERT INTO sales VALUES ('Казань', 'Новиков', 2022, 33.75)");
    Exec(*c, "INSERT INTO sales VALUES ('Казань', 'Новиков', 2023, NULL)");
}

inline std::u16string W(const std::string& s) { return Utf8ToUtf16(s); }

//! The description of the thread's error info, taken (and cleared).
inline std::string LastErrorDescription() {
    std::shared_ptr<const TErrorInfo> info;
    if (GetErrorInfo(info) != S_OK) return "<no error info>";
    return Utf16ToUtf8(info->Description);
}

}  // namespace kubrix::test
