#pragma once
// One ODBC connection to a database server: opened from a connection string or a data
// source name, or adopted from a handle that another party holds open. Statements and
// datasets reach the server through it; it also keeps nested transactions and the field
// information store.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "odbc/ODBCConst.h"
#include "support/FieldInfoStorage.h"

namespace kubrix {

class TQelODBCConnection;
class TQelODBCQuery;

//! A statement or dataset that works on a connection.
class IODBCConnectionClient {
public:
    virtual ~IODBCConnectionClient() = default;
    //! The connection is about to disconnect: close what is open on it.
    virtual void ConnectionClosing() = 0;
    //! The connection is being destroyed: forget it.
    virtual void ConnectionDestroyed(TQelODBCConnection* connection) = 0;
};

//! Asks for the user name and password before a connect; false cancels the connect.
using TODBCLoginDialogProc = std::function<bool(const std::string& dbName, std::string& user,
                                                std::string& password, bool userReadOnly)>;
//! The login prompt; empty (no prompt) until the user-interface layer installs its dialog.
extern TODBCLoginDialogProc ODBCLoginDialogProc;

class TQelODBCConnection {
public:
    TQelODBCConnection();
    ~TQelODBCConnection();
    TQelODBCConnection(const TQelODBCConnection&) = delete;
    TQelODBCConnection& operator=(const TQelODBCConnection&) = delete;

    //! Write a transaction marker when a top-level transaction starts (SQL Server only).
    bool MarkTransaction = true;
    //! Ask for user and password before the first connect.
    bool LoginPromt = true;
    //! Full ODBC connection string, used when AliasName is empty.
    std::string ConnectionString;
    //! Value of the SQL Server "concat null yields null" attribute set before each connect.
    bool SET_CONCAT_NULL_YIELDS_NULL = true;
    //! Row cap for the statements of this connection; 0 or less for none.
    std::int32_t MaxRecordCount = 0;
    //! Ask the user before reconnecting after a lost link.
    bool ConfirmReconnect = false;
    //! True while the component's properties are being read from a stream (setters then
    //! do not touch the connection string).
    bool Loading = false;
    //! Called after a successful Connect.
    std::function<void(TQelODBCConnection&)> AfterConnect;
    //! Called by a statement just before it executes, with the statement.
    std::function<void(TQelODBCQuery&)> OnExecSQL;

    const std::string& AliasName() const { return aliasName_; }
    //! Disconnects, then stores the data source name.
    void SetAliasName(const std::string& value);
    const std::string& DBName() const { return dbName_; }
    //! Raises while connected.
    void SetDBName(const std::string& value);
    const std::string& User() const { return user_; }
    //! Stores, then rewrites the uid and pwd pairs of a non-empty connection string.
    void SetUser(const std::string& value);
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& value);
    //! The password is persisted only when no login prompt asks for it.
    bool DoSavePassword() const { return !LoginPromt; }

    bool Connected() const { return connected_; }
    void SetConnected(bool value);
    bool OwnsHandle() const { return ownsHandle_; }
    bool LoggedIn() const { return loggedIn_; }
    //! The connection handle statements are allocated on (nullptr when none).
    ODBCHandle ConnectionHandle() const { return hdbc_; }
    ODBCHandle EnvironmentHandle() const { return henv_; }
    std::int32_t TransactionLevel() const { return transactionLevel_; }

    //! Opens the server connection; nothing when connected. A cancelled login returns quietly.
    void Connect();
    //! Closes every client (last first) and the server connection of an own handle.
    void Disconnect();
    //! Re-opens the server connection after a lost link; refuses inside a transaction.
    void Reconnect();
    //! Adopts a handle connected elsewhere; true only for a null handle.
    bool AttachHandle(ODBCHandle handle);

    bool InTransaction() const { return transactionLevel_ != 0; }
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    //! Runs one statement and discards any result.
    void Execute(const std::string& sql);
    //! Error handler given to the statements of Execute so that their errors are raised.
    void CheckODBCError(const std::string& sqlState, const std::string& message);
    //! Collects the connection's diagnostics; raises Exception with them on SQL_ERROR.
    void GetMsg(std::int16_t returnCode);
    //! True when the driver reports the connection dead.
    bool IsConnectionDead() const;

    //! Rewrites the uid and pwd pairs of the connection string.
    void SetLoginInConnectionString(const std::string& user, const std::string& password);
    //! Replaces, removes (empty value) or appends the name=value pair of the connection string.
    void SetConnectionStringValue(const std::string& name, const std::string& value);

    TFieldInfoStorage& FieldInfoStorage() { return *fieldInfo_; }
    std::string GetFieldInfoStorageStr() const { return fieldInfo_->GetAsString(); }
    void SetFieldInfoStorageStr(const std::string& value) { fieldInfo_->SetAsString(value); }

    //! Statements and datasets register themselves here.
    void AddClient(IODBCConnectionClient* client);
    void RemoveClient(IODBCConnectionClient* client);
    const std::vector<IODBCConnectionClient*>& Clients() const { return clients_; }

    //! The server's product name as the driver reports it (read once per connect).
    const std::string& DBMSName();
    //! Whether a prepared select is described by the server without running it. So far only
    //! PostgreSQL: the SQLite driver types a computed column from its fetched values.
    bool DescribesPrepared();

private:
    void SetConnectOptionsAndConnect();
    void SetAutoCommit(bool on);

    std::string aliasName_, dbName_, user_, password_;
    bool connected_ = false;
    bool ownsHandle_ = true;
    ODBCHandle hdbc_ = nullptr;
    ODBCHandle ownHdbc_ = nullptr;  // allocated at creation; freed with the component
    std::vector<IODBCConnectionClient*> clients_;
    std::int32_t transactionLevel_ = 0;
    bool loggedIn_ = false;
    std::unique_ptr<TFieldInfoStorage> fieldInfo_;
    ODBCHandle henv_ = nullptr;
    bool destroying_ = false;
    bool dbmsKnown_ = false;
    std::string dbmsName_;
};

}  // namespace kubrix
