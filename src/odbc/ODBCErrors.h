#pragma once
// Exceptions raised for failed ODBC statements.

#include <string>

#include "support/Errors.h"

namespace kubrix {

class TQelODBCConnection;

//! A statement failed: the message is the diagnostic text (SQLSTATE followed by the
//! driver's message, records joined by a carriage return).
class EQelODBCDatabaseError : public EDatabaseError {
public:
    EQelODBCDatabaseError(const std::string& message, TQelODBCConnection* connection)
        : EDatabaseError(message), Connection(connection) {}
    //! Connection of the failing statement (may be null).
    TQelODBCConnection* Connection;
};

//! The link to the server was lost; the connection can be re-opened with Reconnect.
class TCommunicationLinkFailureEx : public EQelODBCDatabaseError {
public:
    using EQelODBCDatabaseError::EQelODBCDatabaseError;
    //! The link went down inside a transaction, which the server has thrown away.
    bool TransactionLost = false;
};

}  // namespace kubrix
