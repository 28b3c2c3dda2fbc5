#pragma once
// Reading the diagnostic records of an ODBC handle and joining them into the one text
// that errors carry.

#include <cstdint>
#include <string>
#include <vector>

#include "odbc/ODBCConst.h"

namespace kubrix {

struct ODBCDiagRecord {
    std::string State;    //!< five-character SQLSTATE
    std::string Message;  //!< the driver's message text, whole
};

//! Every diagnostic record of the handle with a non-empty SQLSTATE, in order.
std::vector<ODBCDiagRecord> ReadDiagRecords(std::int16_t handleType, ODBCHandle handle);
//! SQLSTATE immediately followed by the message, records joined by a carriage return.
std::string JoinDiagRecords(const std::vector<ODBCDiagRecord>& records);

}  // namespace kubrix
