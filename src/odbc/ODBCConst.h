#pragma once
// Constants of the ODBC layer: cursor types, the lost-link SQLSTATEs and the texts shown
// to the user.

#include <cstdint>
#include <string_view>

namespace kubrix {

//! Cursor type requested before a statement executes.
enum class TCursorType : std::uint8_t { FORWARD_ONLY, STATIC, KEYSET_DRIVEN, DYNAMIC };

//! An ODBC handle as the driver manager hands it out (no handle is nullptr).
using ODBCHandle = void*;

//! Communication link failure.
inline constexpr const char* kSqlStateLinkFailure = "08S01";
//! The server ended the session ("terminating connection due to administrator command").
inline constexpr const char* kSqlStateAdminShutdown = "57P01";
//! Whether a diagnostic's SQLSTATE says the link to the server is gone.
inline bool IsLostLinkState(std::string_view state) {
    return state == kSqlStateLinkFailure || state == kSqlStateAdminShutdown;
}

//! The connection attribute of the SQL Server driver that makes concatenation with NULL
//! give NULL; set before every connect, ignored by the drivers that do not know it.
inline constexpr std::int32_t kAttrAnsiNullPadWarn = 1218;

inline constexpr const char* kMsgNoConnection = "Нет подключения";
inline constexpr const char* kMsgFetchStopped = "Загрузка данных прервана.";
inline constexpr const char* kMsgInvalidHandle = "invalid handle";
inline constexpr const char* kMsgReconnectInTransaction =
    "Восстановление связи с сервером не возможно в открытой транзакции.";
inline constexpr const char* kMsgTransactionLost =
    "Прервана связь с сервером в открытой транзакции: транзакция отменена.";
inline constexpr const char* kMsgCannotChangeWhileConnected =
    "Нельзя изменить значение при открытом подключении к серверу";
inline constexpr const char* kMsgConfirmReconnect =
    "Прервана связь с сервером.\rВосстановить связь с сервером?\r\r";
inline constexpr const char* kMsgUnhandledParamType = "Необрабатываемый тип параметра.\r";
inline constexpr const char* kSqlStateOutOfRange = "22003";
//! String data, right truncated: a value was cut to its buffer.
inline constexpr const char* kSqlStateTruncated = "01004";
inline constexpr const char* kMsgOutOfRange = "Numeric value out of range: ";
inline constexpr const char* kMsgBadDate = "Недопустимая дата в колонке ";

//! The statement that marks the start of a top-level transaction on SQL Server.
inline constexpr const char* kTransactionMarkerSQL =
    "if object_id('tempdb..#trans_info') is not null truncate table #trans_info else create table "
    "#trans_info (start_date datetime) insert #trans_info values(getdate())";

}  // namespace kubrix
