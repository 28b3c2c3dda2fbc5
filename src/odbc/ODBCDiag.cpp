#include "odbc/ODBCDiag.h"

#include <sql.h>
#include <sqlext.h>

namespace kubrix {

std::vector<ODBCDiagRecord> ReadDiagRecords(std::int16_t handleType, ODBCHandle handle) {
    std::vector<ODBCDiagRecord> out;
    if (handle == nullptr) return out;
    for (SQLSMALLINT rec = 1; rec < 1000; ++rec) {
        SQLCHAR state[7] = {};
        std::string message(2000, '\0');
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, rec, state, &native,
                                     reinterpret_cast<SQLCHAR*>(message.data()),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            // The message did not fit: read it again whole rather than cut a character.
            message.assign(static_cast<std::size_t>(length) + 1, '\0');
            rc = SQLGetDiagRec(handleType, handle, rec, state, &native,
                               reinterpret_cast<SQLCHAR*>(message.data()),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        message.resize(message.find('\0') == std::string::npos ? message.size() : message.find('\0'));
        std::string st(reinterpret_cast<const char*>(state));
        if (!st.empty()) out.push_back({std::move(st), std::move(message)});
    }
    return out;
}

std::string JoinDiagRecords(const std::vector<ODBCDiagRecord>& records) {
    std::string text;
    for (const auto& r : records) {
        if (!text.empty()) text += '\r';
        text += r.State;
        text += r.Message;
    }
    return text;
}

}  // namespace kubrix
