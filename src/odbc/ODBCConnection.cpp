#include "odbc/ODBCConnection.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>

#include "odbc/ODBCDiag.h"
#include "odbc/ODBCQuery.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/Text.h"

namespace kubrix {

TODBCLoginDialogProc ODBCLoginDialogProc;

namespace {

bool Failed(SQLRETURN rc) { return rc == SQL_ERROR; }

std::string LowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TQelODBCConnection::TQelODBCConnection() : fieldInfo_(std::make_unique<TFieldInfoStorage>()) {
    // The ODBC 2 allocation functions: the driver manager then describes dates with the 2.x codes.
    SQLHENV env = SQL_NULL_HENV;
    if (SQLAllocEnv(&env) != SQL_SUCCESS) {
        if (env != SQL_NULL_HENV) SQLFreeEnv(env);
        return;
    }
    henv_ = env;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (SQLAllocConnect(env, &dbc) != SQL_SUCCESS) {
        if (dbc != SQL_NULL_HDBC) SQLFreeConnect(dbc);
        SQLFreeEnv(env);
        henv_ = nullptr;
        return;
    }
    hdbc_ = ownHdbc_ = dbc;
}

TQelODBCConnection::~TQelODBCConnection() {
    destroying_ = true;
    Disconnect();
    // Clients keep a pointer to us; tell them before it dangles.
    auto clients = clients_;
    for (auto* c : clients) c->ConnectionDestroyed(this);
    clients_.clear();
    // A borrowed handle stays with its owner; ours is freed whatever was attached since.
    if (ownHdbc_ != nullptr) SQLFreeConnect(ownHdbc_);
    if (henv_ != nullptr) SQLFreeEnv(henv_);
}

void TQelODBCConnection::SetAliasName(const std::string& value) {
    Disconnect();
    aliasName_ = value;
}

void TQelODBCConnection::SetDBName(const std::string& value) {
    if (connected_) throw Exception(kMsgCannotChangeWhileConnected);
    dbName_ = value;
}

void TQelODBCConnection::SetUser(const std::string& value) {
    user_ = value;
    if (!ConnectionString.empty() && !Loading) SetLoginInConnectionString(user_, password_);
}

void TQelODBCConnection::SetPassword(const std::string& value) {
    password_ = value;
    if (!ConnectionString.empty() && !Loading) SetLoginInConnectionString(user_, password_);
}

void TQelODBCConnection::SetConnected(bool value) {
    if (value)
        Connect();
    else
        Disconnect();
}

void TQelODBCConnection::GetMsg(std::int16_t returnCode) {
    if (hdbc_ == nullptr || returnCode == SQL_SUCCESS) return;
    std::string text = JoinDiagRecords(ReadDiagRecords(SQL_HANDLE_DBC, hdbc_));
    if (returnCode == SQL_ERROR) throw Exception(text);
}

void TQelODBCConnection::SetAutoCommit(bool on) {
    SQLRETURN rc = SQLSetConnectAttr(hdbc_, SQL_ATTR_AUTOCOMMIT,
                                     reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
                                     SQL_IS_UINTEGER);
    if (Failed(rc)) GetMsg(rc);
}

// Steps shared by Connect and Reconnect: connection options, then the connect call.
void TQelODBCConnection::SetConnectOptionsAndConnect() {
    SetAutoCommit(true);
    // Only the SQL Server driver knows this attribute; another driver's refusal of it does
    // not stop the connect.
    SQLSetConnectAttr(hdbc_, kAttrAnsiNullPadWarn,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SET_CONCAT_NULL_YIELDS_NULL ? 1 : 0)),
                      SQL_IS_UINTEGER);
    SQLRETURN rc;
    if (!aliasName_.empty()) {
        rc = SQLConnect(hdbc_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(aliasName_.c_str())), SQL_NTS,
                        reinterpret_cast<SQLCHAR*>(const_cast<char*>(user_.c_str())), SQL_NTS,
                        reinterpret_cast<SQLCHAR*>(const_cast<char*>(password_.c_str())), SQL_NTS);
    } else {
        std::string out(10240, '\0');
        SQLSMALLINT outLen = 0;
        rc = SQLDriverConnect(hdbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(ConnectionString.c_str())),
                              SQL_NTS, reinterpret_cast<SQLCHAR*>(out.data()), static_cast<SQLSMALLINT>(out.size()),
                              &outLen, SQL_DRIVER_NOPROMPT);
    }
    dbmsKnown_ = false;
    if (Failed(rc)) {
        connected_ = false;
        GetMsg(rc);
        throw Exception("");  // GetMsg raises on SQL_ERROR whenever there is a handle
    }
}

void TQelODBCConnection::Connect() {
    if (connected_) return;
    if (!loggedIn_ && LoginPromt && ODBCLoginDialogProc) {
        if (!ODBCLoginDialogProc(dbName_, user_, password_, false)) return;
        if (!ConnectionString.empty()) SetLoginInConnectionString(user_, password_);
    }
    {
        BusyCursor busy(crSQLWait);
        transactionLevel_ = 0;
        try {
            SetConnectOptionsAndConnect();
            connected_ = true;
            loggedIn_ = true;
        } catch (...) {
            connected_ = false;
            throw;
        }
    }
    if (connected_ && AfterConnect) AfterConnect(*this);
}

void TQelODBCConnection::Disconnect() {
    if (connected_ && ownsHandle_) {
        if (!destroying_) {
            auto clients = clients_;
            for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
                if (std::find(clients_.begin(), clients_.end(), *it) != clients_.end()) (*it)->ConnectionClosing();
            }
        }
        SQLDisconnect(hdbc_);
    }
    if (!ownsHandle_) {
        // Back to the handle of our own, so that a later Connect opens a connection of ours
        // and the borrowed handle is never used again.
        hdbc_ = ownHdbc_;
        ownsHandle_ = true;
    }
    connected_ = false;
    loggedIn_ = false;
    transactionLevel_ = 0;
    dbmsKnown_ = false;
}

void TQelODBCConnection::Reconnect() {
    if (!connected_) {
        Connect();
        return;
    }
    if (transactionLevel_ > 0) throw Exception(kMsgReconnectInTransaction);
    if (ownsHandle_) SQLDisconnect(hdbc_);
    transactionLevel_ = 0;
    try {
        try {
            SetConnectOptionsAndConnect();
        } catch (...) {
            loggedIn_ = false;
            throw;
        }
        connected_ = true;
    } catch (...) {
        connected_ = false;
        throw;
    }
}

bool TQelODBCConnection::AttachHandle(ODBCHandle handle) {
    Disconnect();
    connected_ = true;
    hdbc_ = handle;
    ownsHandle_ = (handle == nullptr);
    dbmsKnown_ = false;
    return ownsHandle_;
}

bool TQelODBCConnection::IsConnectionDead() const {
    if (hdbc_ == nullptr || !connected_) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    SQLINTEGER len = 0;
    SQLRETURN rc = SQLGetConnectAttr(hdbc_, SQL_ATTR_CONNECTION_DEAD, &dead, SQL_IS_UINTEGER, &len);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

const std::string& TQelODBCConnection::DBMSName() {
    if (!dbmsKnown_ && connected_ && hdbc_ != nullptr) {
        char name[256] = {};
        SQLSMALLINT len = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(hdbc_, SQL_DBMS_NAME, name, sizeof name, &len)))
            dbmsName_ = name;
        else
            dbmsName_.clear();
        dbmsKnown_ = true;
    }
    return dbmsName_;
}

bool TQelODBCConnection::DescribesPrepared() { return DBMSName() == "PostgreSQL"; }

void TQelODBCConnection::BeginTrans() {
    if (transactionLevel_ > 0) {
        ++transactionLevel_;
        return;
    }
    // The marker is Transact-SQL: other servers would only reject it.
    if (MarkTransaction && DBMSName().find("SQL Server") != std::string::npos) Execute(kTransactionMarkerSQL);
    SetAutoCommit(false);
    transactionLevel_ = 1;
}

void TQelODBCConnection::CommitTrans() {
    if (transactionLevel_ == 1) {
        SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_COMMIT);
        if (Failed(rc)) GetMsg(rc);
        transactionLevel_ = 0;
        SetAutoCommit(true);
    } else if (transactionLevel_ > 1) {
        --transactionLevel_;
    }
}

void TQelODBCConnection::RollbackTrans() {
    if (transactionLevel_ <= 0) return;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK);
    if (Failed(rc)) GetMsg(rc);
    transactionLevel_ = 0;
    SetAutoCommit(true);
}

void TQelODBCConnection::Execute(const std::string& sql) {
    TQelODBCQuery query(this);
    query.FetchRows = false;
    query.OnODBCError = [this](const std::string& state, const std::string& msg) { CheckODBCError(state, msg); };
    query.Parameters().Clear();
    query.SetSQL(sql);
    query.Open();
}

void TQelODBCConnection::CheckODBCError(const std::string&, const std::string&) {}

void TQelODBCConnection::SetLoginInConnectionString(const std::string& user, const std::string& password) {
    SetConnectionStringValue("uid", user);
    SetConnectionStringValue("pwd", password);
}

void TQelODBCConnection::SetConnectionStringValue(const std::string& name, const std::string& value) {
    std::string& cs = ConnectionString;
    const std::string wanted = LowerAscii(name);
    std::size_t p = 0;
    while (p < cs.size()) {
        std::size_t semi = cs.find(';', p);
        std::size_t end = semi == std::string::npos ? cs.size() : semi + 1;
        std::string segment = cs.substr(p, end - p);
        std::size_t eq = segment.find('=');
        std::string key = Trim(eq == std::string::npos ? segment : segment.substr(0, eq));
        if (LowerAscii(key) == wanted) {
            if (!value.empty())
                cs.replace(p, end - p, name + "=" + value + ";");
            else
                cs.erase(p, end - p);
            return;
        }
        p = end;
    }
    // No empty segment when the string already ends its last pair.
    if (!value.empty()) cs += (cs.empty() || cs.back() == ';' ? "" : ";") + name + "=" + value;
}

void TQelODBCConnection::AddClient(IODBCConnectionClient* client) {
    if (client && std::find(clients_.begin(), clients_.end(), client) == clients_.end()) clients_.push_back(client);
}

void TQelODBCConnection::RemoveClient(IODBCConnectionClient* client) {
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

}  // namespace kubrix
