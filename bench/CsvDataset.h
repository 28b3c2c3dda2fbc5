#pragma once
// A typed CSV file read into records in memory, for benchmarks that compare the pivot with
// other engines on the same file. The header names every column as name:type, type one of
// string, smallint, integer, float, bcd, datetime, boolean, memo; a string column is as wide as
// its longest value in bytes; an empty field is NULL; text is UTF-8; fields are separated by
// commas and may be quoted with "" (a doubled quote inside).

#include <cstdint>
#include <string>

namespace kubrix {

class TMemoryRecordSource;

//! Lays the columns out from the header, adds one record per line and opens the records.
//! Raises std::runtime_error with the line number for a malformed file. Returns the records.
std::int64_t LoadCsvDataset(const std::string& fileName, TMemoryRecordSource& ds);

//! Writes a CSV of records rows for the pivot benchmark: region:string, product:string,
//! year:integer, month:integer, amount:float (a fixed pseudo-random sequence).
void GenerateBenchCsv(const std::string& fileName, std::int64_t records);

}  // namespace kubrix
