#include "odbc/ODBCQuery.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

#include "odbc/ODBCDiag.h"
#include "support/Bcd.h"
#include "support/CursorStack.h"
#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"
#include "support/Text.h"
#include "support/UiServices.h"
#include "support/ScopeGuard.h"
#include "support/Timings.h"

namespace kubrix {
namespace {

// The driver's fetch calls, their time added to the load timings when they are enabled.
SQLRETURN TimedFetch(SQLHSTMT h) {
    TimedScope timed(&TLoadTimings::FetchMs);
    return SQLFetch(h);
}

SQLRETURN TimedGetData(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT type, SQLPOINTER buffer, SQLLEN length, SQLLEN* ind) {
    TimedScope timed(&TLoadTimings::FetchMs);
    return SQLGetData(h, column, type, buffer, length, ind);
}

}  // namespace

namespace {

// Widest string column kept in the record itself; wider text goes to a long value.
constexpr std::int64_t kMaxStringChars = 50;
// Widest fixed binary slot; wider binary columns are read whole as long values.
constexpr std::int64_t kMaxFixedBytes = 8000;
// Widest wide-text slot in characters.
constexpr std::int64_t kMaxWideChars = 4000;
// Room for an output text parameter that has no size of its own.
constexpr std::int32_t kDefaultOutputChars = 4000;
// Attempts to run a statement again after a lost link before giving up.
constexpr int kMaxReconnects = 2;
// Bytes of bound buffers per block read; the block holds at most kMaxBlockRows rows.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kMaxBlockRows = 256;
// Rows read before a widened slot grows by half rather than to the exact width.
constexpr std::size_t kExactWidenRows = 4096;

static_assert(std::is_same_v<SQLLEN, std::int64_t>, "indicators are read as 64-bit integers");

std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

// C types whose values have a length of their own (and may be longer than their buffer).
bool IsVariableFetch(TFetchType type) { return type == fcChar || type == fcWChar || type == fcBinary; }

// Notices passed on from one call at most; a driver may keep any number.
constexpr int kMaxNoticesPerCall = 64;

static_assert(fcChar == SQL_C_CHAR && fcWChar == SQL_C_WCHAR && fcBinary == SQL_C_BINARY && fcLong == SQL_C_LONG &&
                  fcShort == SQL_C_SHORT && fcDouble == SQL_C_DOUBLE && fcBit == SQL_C_BIT &&
                  fcSBigInt == SQL_C_SBIGINT && fcDate == SQL_C_DATE && fcTime == SQL_C_TIME &&
                  fcTimeStamp == SQL_C_TIMESTAMP && fcTypeDate == SQL_C_TYPE_DATE && fcTypeTime == SQL_C_TYPE_TIME &&
                  fcTypeTimeStamp == SQL_C_TYPE_TIMESTAMP,
              "fetch types are the driver interface's C types");
static_assert(sizeof(TFetchedDate) == sizeof(SQL_DATE_STRUCT) && sizeof(TFetchedTime) == sizeof(SQL_TIME_STRUCT) &&
                  sizeof(TFetchedTimeStamp) == sizeof(SQL_TIMESTAMP_STRUCT),
              "fetched date layouts are the driver interface's");

SQLHSTMT Stmt(ODBCHandle h) { return static_cast<SQLHSTMT>(h); }

// Decimal text is always written with "." whatever the process settings say.
const FormatSettings& DotSettings() {
    static const FormatSettings fs = [] {
        FormatSettings s;
        s.DecimalSeparator = '.';
        s.ThousandSeparator.clear();
        return s;
    }();
    return fs;
}

// "12.5" for 125000: the shortest exact text of a currency amount.
std::string CurrencyText(Currency c) {
    std::uint64_t mag = c.Scaled < 0 ? 0 - static_cast<std::uint64_t>(c.Scaled) : static_cast<std::uint64_t>(c.Scaled);
    std::string text = std::to_string(mag / 10000);
    std::uint64_t frac = mag % 10000;
    if (frac != 0) {
        std::string f = std::to_string(frac);
        f.insert(0, 4 - f.size(), '0');
        while (!f.empty() && f.back() == '0') f.pop_back();
        text += '.' + f;
    }
    return c.Scaled < 0 ? "-" + text : text;
}

std::string BytesOf(const Variant& v) {
    if (v.IsByteArray()) return std::string(v.Bytes().begin(), v.Bytes().end());
    return v.ToAnsi();
}

}  // namespace

// ---------------------------------------------------------------- TQelODBCField

TQelODBCField::TQelODBCField(TQelODBCQuery* query, std::string name, std::int16_t columnNo)
    : Query(query), Name(std::move(name)), ColumnNo(columnNo) {}

void TQelODBCField::SetTyp(std::int16_t sqlType, std::int64_t columnSize, std::int16_t decimals) {
    SqlType = sqlType;
    ColumnSize = columnSize;
    Decimals = decimals;
    std::int64_t size = decimals != 0 ? columnSize + decimals + 1 : columnSize;
    IsLong = false;
    auto setLong = [&](TFieldType type, std::int16_t target) {
        FieldType = type;
        TargetType = target;
        IsLong = true;
    };
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
            // The declared size counts characters; UTF-8 needs up to 4 bytes for each.
            if (columnSize > 0 && columnSize <= kMaxStringChars) {
                FieldType = ftString;
                TargetType = SQL_C_CHAR;
                size = 4 * columnSize + 1;
            } else {
                setLong(ftMemo, SQL_C_CHAR);
            }
            break;
        case SQL_LONGVARCHAR:
            // Read as text: every driver converts text to text the same way, piece by piece.
            setLong(ftMemo, SQL_C_CHAR);
            break;
        case SQL_WLONGVARCHAR:
            setLong(ftMemo, SQL_C_CHAR);
            break;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            FieldType = ftBCD;
            TargetType = SQL_C_CHAR;
            size = 34;
            break;
        case SQL_INTEGER:
            FieldType = ftInteger;
            TargetType = SQL_C_LONG;
            size = 4;
            break;
        case SQL_BIGINT:
            // Stored as a 32-bit integer; read whole so that a value outside that range is
            // an error and not a silently wrapped number.
            FieldType = ftInteger;
            TargetType = SQL_C_SBIGINT;
            size = 4;
            break;
        case SQL_SMALLINT:
        case SQL_TINYINT:
            FieldType = ftSmallint;
            TargetType = SQL_C_SHORT;
            size = 2;
            break;
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
            FieldType = ftFloat;
            TargetType = SQL_C_DOUBLE;
            size = 8;
            break;
        case SQL_DATE:
            FieldType = ftDateTime;
            TargetType = SQL_C_DATE;
            size = 8;
            break;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            FieldType = ftDateTime;
            TargetType = SQL_C_TIMESTAMP;
            size = 8;
            break;
        case SQL_TYPE_DATE:
            FieldType = ftDate;
            TargetType = SQL_C_DATE;
            size = 16;
            break;
        case SQL_TYPE_TIME:
            FieldType = ftTime;
            TargetType = SQL_C_TIME;
            size = 16;
            break;
        case SQL_BIT:
            // Read as an integer: any non-zero number is true.
            FieldType = ftBoolean;
            TargetType = SQL_C_LONG;
            size = 2;
            break;
        case SQL_BINARY:
        case SQL_VARBINARY:
            // Kept with their length: some drivers describe every blob as BINARY(255), and a
            // fixed slot would pad short values with zeros that were never stored.
            if (columnSize > 0 && columnSize <= kMaxFixedBytes) {
                FieldType = ftVarBytes;
                TargetType = SQL_C_BINARY;
                size = columnSize + 2;
            } else {
                setLong(ftBlob, SQL_C_BINARY);
            }
            break;
        case SQL_LONGVARBINARY:
            setLong(ftBlob, SQL_C_BINARY);
            break;
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            if (columnSize > 0 && columnSize <= kMaxWideChars) {
                FieldType = ftWideString;
                TargetType = SQL_C_WCHAR;
                size = 2 * columnSize + 2;
            } else {
                setLong(ftMemo, SQL_C_CHAR);
            }
            break;
        case SQL_GUID:
            FieldType = ftGuid;
            TargetType = SQL_C_CHAR;
            size = 39;
            break;
        default:
            // Never read: no room in the row, whatever size the driver describes.
            FieldType = ftUnknown;
            TargetType = sqlType;
            size = 0;
            break;
    }
    Size = static_cast<std::int32_t>(std::clamp<std::int64_t>(size, 0, INT32_MAX));
}

// ---------------------------------------------------------------- parameters

TQelODBCParam::TQelODBCParam(TQelODBCParams* collection) : collection_(collection) {}

void TQelODBCParam::SetName(const std::string& name) {
    NameChanging = true;
    ScopeExit done([this] { NameChanging = false; });
    name_ = name;
    if (collection_) collection_->Update(this);
}

TQelODBCParam& TQelODBCParams::Add() {
    items_.push_back(std::make_unique<TQelODBCParam>(this));
    return *items_.back();
}

TQelODBCParam* TQelODBCParams::FindParam(std::string_view name) const {
    for (const auto& p : items_)
        if (CompareTextIgnoreCase(p->GetName(), name) == 0) return p.get();
    return nullptr;
}

void TQelODBCParams::Assign(const TQelODBCParams& other) {
    if (&other == this) return;
    items_.clear();
    for (const auto& src : other.items_) {
        TQelODBCParam& p = Add();
        p.OnGetParamValue = src->OnGetParamValue;
        p.FilterCaption = src->FilterCaption;
        p.DisplayValue = src->DisplayValue;
        p.DataType = src->DataType;
        p.ParamType = src->ParamType;
        p.Value = src->Value;
        p.Size = src->Size;
        p.Precision = src->Precision;
        p.SetName(src->GetName());
    }
}

void TQelODBCParams::Update(TQelODBCParam* item) {
    if (item && item->NameChanging && query_ && query_->OnParamNameChange) query_->OnParamNameChange(*item);
}

// ---------------------------------------------------------------- statement

TQelODBCQuery::TQelODBCQuery(TQelODBCConnection* connection) : params_(this) { SetConnection(connection); }

TQelODBCQuery::~TQelODBCQuery() {
    Close();
    Unprepare();
    SetConnection(nullptr);
}

void TQelODBCQuery::SetConnection(TQelODBCConnection* connection) {
    if (connection == connection_) return;
    Unprepare();
    if (connection_) connection_->RemoveClient(this);
    connection_ = connection;
    if (connection_) connection_->AddClient(this);
}

void TQelODBCQuery::ConnectionDestroyed(TQelODBCConnection* connection) {
    if (connection == connection_) {
        Close();
        Unprepare();
        connection_ = nullptr;
    }
}

void TQelODBCQuery::SetSQL(const std::string& text) {
    sql_ = text;
    SQLTextChenged();
}

void TQelODBCQuery::SQLTextChenged() {
    sqlText_ = sql_;
    if (params_.Count() == 0) {
        // Every "?" counts, inside literals and comments too: the caller names or removes extras.
        for (char c : sqlText_)
            if (c == '?') params_.Add();
    }
}

void TQelODBCQuery::SetGetParamValue(std::function<void(TQelODBCParam&)> handler) {
    for (int i = 0; i < params_.Count(); ++i)
        if (!params_[i].OnGetParamValue) params_[i].OnGetParamValue = handler;
}

void TQelODBCQuery::SetActive(bool value) {
    if (value)
        Open();
    else
        Close();
}

TQelODBCField* TQelODBCQuery::FieldbyName(std::string_view name) const {
    for (const auto& f : fields_)
        if (CompareTextIgnoreCase(f->Name, name) == 0) return f.get();
    return nullptr;
}

TQelODBCField* TQelODBCQuery::GetField(int i) const {
    if (i < 0 || i >= GetFieldCount()) ListIndexError(i);
    return fields_[static_cast<std::size_t>(i)].get();
}

void TQelODBCQuery::GetMsg(std::int16_t returnCode) {
    if (hstmt_ == nullptr || returnCode == SQL_SUCCESS || !OnODBCError) return;
    auto records = ReadDiagRecords(SQL_HANDLE_STMT, hstmt_);
    for (const auto& r : records) OnODBCError(r.State, r.Message);
    if (returnCode != SQL_ERROR) return;
    std::string text = JoinDiagRecords(records);
    // A lost link shows as 08S01, as 57P01 when the server ended the session, or only
    // through the driver's dead-connection flag.
    bool lost = (!records.empty() && IsLostLinkState(records.back().State)) ||
                (connection_ != nullptr && connection_->IsConnectionDead());
    if (lost) ThrowLinkFailure(text);
    throw EQelODBCDatabaseError(text, connection_);
}

void TQelODBCQuery::ThrowLinkFailure(const std::string& text) {
    // An open transaction did not survive the link: the caller must hear of it.
    const bool lostTransaction = connection_ != nullptr && connection_->LinkLost();
    TCommunicationLinkFailureEx e(lostTransaction ? std::string(kMsgTransactionLost) + "\r" + text : text,
                                  connection_);
    e.TransactionLost = lostTransaction;
    throw e;
}

bool TQelODBCQuery::ConfirmReconnectAfter(const TCommunicationLinkFailureEx& e) {
    if (!connection_) return false;
    if (!connection_->ConfirmReconnect) return true;
    return UiServices().MessageBox(std::string(kMsgConfirmReconnect) + e.what(), "", MB_YESNO | MB_ICONQUESTION) ==
           IDYES;
}

void TQelODBCQuery::Open() {
    if (!connection_) throw Exception(kMsgNoConnection);
    BusyCursor busy(crSQLWait);
    for (int reconnects = 0;; ++reconnects) {
        try {
            try {
                // This loop repairs a lost link itself and then runs the statement again.
                if (hstmt_ == nullptr) OpenCursorOnce();
                if (hstmt_ != nullptr) {
                    active_ = true;
                    CreateFields();
                    if (!fetched_ && GetFieldCount() > 0) FetchAll();
                    for (int i = 0; i < params_.Count(); ++i)
                        if (params_[i].ParamType != ptInput && static_cast<std::size_t>(i) < paramBuffers_.size())
                            GetParamFromBuffer(params_[i], paramBuffers_[static_cast<std::size_t>(i)]);
                }
            } catch (...) {
                // A failed open or fetch leaves nothing behind: the rows read so far are
                // dropped, so the next open runs the statement from the start.
                Close();
                Unprepare();
                throw;
            }
            CloseCursor();
            return;
        } catch (const TCommunicationLinkFailureEx& e) {
            if (reconnects >= kMaxReconnects || !ConfirmReconnectAfter(e)) throw;
            connection_->Reconnect();
            // Run again outside the lost transaction, the statement would apply only part of
            // the caller's work.
            if (e.TransactionLost) throw;
        }
    }
}

void TQelODBCQuery::Close() {
    CloseCursor();
    active_ = false;
    // Rows not taken by whoever installed the hook are freed with the lists.
    Rows.clear();
    LongValues.clear();
}

void TQelODBCQuery::CloseCursor() {
    if (hstmt_ != nullptr && hstmt_ == prepared_) {
        // Kept for the next run: only its result and its bindings (to the buffers freed below) go.
        SQLFreeStmt(Stmt(hstmt_), SQL_CLOSE);
        SQLFreeStmt(Stmt(hstmt_), SQL_RESET_PARAMS);
        SQLFreeStmt(Stmt(hstmt_), SQL_UNBIND);
        hstmt_ = nullptr;
    } else if (hstmt_ != nullptr) {
        TimedScope timed(&TLoadTimings::FetchMs);  // the driver lets go of its result
        SQLFreeHandle(SQL_HANDLE_STMT, Stmt(hstmt_));
        hstmt_ = nullptr;
    }
    paramBuffers_.clear();
}

void TQelODBCQuery::Unprepare() {
    if (prepared_ == nullptr) return;
    if (hstmt_ == prepared_) hstmt_ = nullptr;
    SQLFreeHandle(SQL_HANDLE_STMT, Stmt(prepared_));
    prepared_ = nullptr;
    preparedText_.clear();
}

void TQelODBCQuery::DestroyFields() { fields_.clear(); }

void TQelODBCQuery::OpenCursor() {
    if (!connection_) throw Exception(kMsgNoConnection);
    BusyCursor busy(crSQLWait);
    for (int reconnects = 0;; ++reconnects) {
        try {
            OpenCursorOnce();
            return;
        } catch (const TCommunicationLinkFailureEx& e) {
            // After the repair the statement runs again, so the caller still gets its columns.
            if (reconnects >= kMaxReconnects || !ConfirmReconnectAfter(e)) throw;
            connection_->Reconnect();
            if (e.TransactionLost) throw;
        }
    }
}

void TQelODBCQuery::OpenCursorOnce() {
    if (!connection_) throw Exception(kMsgNoConnection);
    if (active_)
        Close();
    else
        CloseCursor();
    fetched_ = false;
    connection_->Connect();
    if (!connection_->Connected()) return;  // login cancelled

    paramBuffers_.assign(static_cast<std::size_t>(params_.Count()), ParamBuffer{});
    if (sqlText_.empty()) SQLTextChenged();
    if (KeepPrepared && prepared_ != nullptr && preparedText_ != sqlText_) Unprepare();
    const bool reuse = KeepPrepared && prepared_ != nullptr;
    SQLHSTMT stmt = reuse ? Stmt(prepared_) : SQL_NULL_HSTMT;
    SQLRETURN rc = reuse ? SQL_SUCCESS
                         : SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(connection_->ConnectionHandle()), &stmt);
    if (rc != SQL_SUCCESS) {
        hstmt_ = nullptr;
        if (rc == SQL_INVALID_HANDLE) throw Exception(kMsgInvalidHandle);
        if (rc == SQL_SUCCESS_WITH_INFO && stmt != SQL_NULL_HSTMT) {
            hstmt_ = stmt;
        } else {
            // No statement handle to read from: the connection holds the diagnostics.
            if (rc == SQL_ERROR && OnODBCError) {
                auto records = ReadDiagRecords(SQL_HANDLE_DBC, connection_->ConnectionHandle());
                for (const auto& r : records) OnODBCError(r.State, r.Message);
                std::string text = JoinDiagRecords(records);
                if ((!records.empty() && IsLostLinkState(records.back().State)) || connection_->IsConnectionDead())
                    ThrowLinkFailure(text);
                throw EQelODBCDatabaseError(text, connection_);
            }
            return;
        }
    }
    hstmt_ = stmt;
    try {
        SQLULEN cursor = SQL_CURSOR_FORWARD_ONLY;
        switch (CursorType) {
            case TCursorType::FORWARD_ONLY: cursor = SQL_CURSOR_FORWARD_ONLY; break;
            case TCursorType::STATIC: cursor = SQL_CURSOR_STATIC; break;
            case TCursorType::KEYSET_DRIVEN: cursor = SQL_CURSOR_KEYSET_DRIVEN; break;
            case TCursorType::DYNAMIC: cursor = SQL_CURSOR_DYNAMIC; break;
        }
        if (!reuse) {
            rc = SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), SQL_IS_UINTEGER);
            if (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
                Check(rc);
                return;
            }
        }
        if (KeepPrepared && !reuse) {
            rc = SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(sqlText_.data()), static_cast<SQLINTEGER>(sqlText_.size()));
            Check(rc);
            prepared_ = hstmt_;
            preparedText_ = sqlText_;
        }
        if (sqlText_.empty()) SQLTextChenged();
        for (int i = 0; i < params_.Count(); ++i) {
            auto& b = paramBuffers_[static_cast<std::size_t>(i)];
            PutParamToBuffer(params_[i], b);
            BindParam(i, params_[i], b);
        }
        if (connection_->OnExecSQL) connection_->OnExecSQL(*this);
        RowsAffected = -1;
        {
            TimedScope timed(&TLoadTimings::ExecuteMs);
            rc = KeepPrepared ? SQLExecute(stmt)
                              : SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sqlText_.data()),
                                              static_cast<SQLINTEGER>(sqlText_.size()));
        }
        Check(rc);
        if (rc == SQL_NO_DATA) RowsAffected = 0;  // a searched change that met no row
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            SQLLEN changed = -1;
            if (SQL_SUCCEEDED(SQLRowCount(stmt, &changed))) RowsAffected = changed;
            SQLSMALLINT columns = 0;
            while (SkipCountResults && SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)) && columns == 0) {
                rc = SQLMoreResults(stmt);
                if (rc == SQL_NO_DATA) {
                    rc = SQL_SUCCESS;
                    break;
                }
                Check(rc);
            }
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
            CloseCursor();
        } else {
            auto hook = std::move(OnFieldsCreated);
            OnFieldsCreated = nullptr;
            ScopeExit restore([this, &hook] { OnFieldsCreated = std::move(hook); });
            CreateFields();
        }
    } catch (...) {
        CloseCursor();
        throw;
    }
}

bool TQelODBCQuery::DescribePrepared() {
    if (!connection_ || !connection_->Connected() || !connection_->DescribesPrepared()) return false;
    if (active_)
        Close();
    else
        CloseCursor();
    fetched_ = false;
    DestroyFields();
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(connection_->ConnectionHandle()), &stmt) != SQL_SUCCESS)
        return false;
    hstmt_ = stmt;
    // The statement is only prepared: nothing is left open whatever happens below. Its
    // diagnostics are not reported: a select the server cannot describe runs as before and
    // reports its errors then.
    struct Restore {
        TQelODBCQuery& q;
        std::function<void(TQelODBCQuery&)> fieldsHook;
        std::function<void(const std::string&, const std::string&)> errorHook;
        ~Restore() {
            q.CloseCursor();
            q.OnFieldsCreated = std::move(fieldsHook);
            q.OnODBCError = std::move(errorHook);
        }
    } restore{*this, std::move(OnFieldsCreated), std::move(OnODBCError)};
    OnFieldsCreated = nullptr;
    OnODBCError = nullptr;
    if (sqlText_.empty()) SQLTextChenged();
    SQLSMALLINT n = 0;
    if (!SQL_SUCCEEDED(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(sqlText_.data()),
                                  static_cast<SQLINTEGER>(sqlText_.size()))) ||
        !SQL_SUCCEEDED(SQLNumResultCols(stmt, &n)) || n <= 0)
        return false;
    CreateFields();  // a column it cannot read is left out, and then the count differs
    if (GetFieldCount() != n) {
        DestroyFields();
        return false;
    }
    return true;
}

void TQelODBCQuery::CreateFields() {
    DestroyFields();
    SQLSMALLINT n = 0;
    SQLRETURN rc = SQLNumResultCols(Stmt(hstmt_), &n);
    if (rc != SQL_SUCCESS) {
        Check(rc);
        return;
    }
    RowSize = 0;
    LongCount = 0;
    for (SQLSMALLINT col = 1; col <= n; ++col) {
        std::string name(254, '\0');
        SQLSMALLINT nameLen = 0, type = 0, decimals = 0, nullable = SQL_NULLABLE_UNKNOWN;
        SQLULEN columnSize = 0;
        rc = SQLDescribeCol(Stmt(hstmt_), col, reinterpret_cast<SQLCHAR*>(name.data()),
                            static_cast<SQLSMALLINT>(name.size()), &nameLen, &type, &columnSize, &decimals, &nullable);
        if (rc == SQL_SUCCESS_WITH_INFO && nameLen >= static_cast<SQLSMALLINT>(name.size())) {
            // A long name: read it whole instead of leaving the column out.
            name.assign(static_cast<std::size_t>(nameLen) + 1, '\0');
            rc = SQLDescribeCol(Stmt(hstmt_), col, reinterpret_cast<SQLCHAR*>(name.data()),
                                static_cast<SQLSMALLINT>(name.size()), &nameLen, &type, &columnSize, &decimals,
                                &nullable);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            Check(rc);
            continue;
        }
        name.resize(std::min<std::size_t>(name.find('\0'), name.size()));
        auto f = std::make_unique<TQelODBCField>(this, name, col);
        f->FvHstmt = hstmt_;
        f->Required = nullable == SQL_NO_NULLS;
        f->SetTyp(type, static_cast<std::int64_t>(std::min<SQLULEN>(columnSize, INT32_MAX)), decimals);
        if (f->IsLong) {
            f->Offset = LongCount++;
        } else {
            // Checked: described sizes are the driver's word.
            const std::int64_t end = std::int64_t{RowSize} + f->Size + 1;
            if (end > INT32_MAX) throw Exception("Column " + f->Name + " does not fit the row");
            f->Offset = RowSize;
            RowSize = static_cast<std::int32_t>(end);
        }
        fields_.push_back(std::move(f));
    }
    if (OnFieldsCreated) OnFieldsCreated(*this);
}

void TQelODBCQuery::FetchAll() {
    if (FetchRows) {
        std::int64_t cap = INT64_MAX;
        if (CheckRecordCount && connection_ && connection_->MaxRecordCount > 0)
            cap = MaxRecordCount > 0 ? MaxRecordCount : connection_->MaxRecordCount;
        SQLRETURN rc = SQL_NO_DATA;
        if (!BlockReads || !FetchBlocks(cap, rc)) {
            rc = TimedFetch(Stmt(hstmt_));
            Check(rc);
            while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
                if (static_cast<std::int64_t>(Rows.size()) < cap) {
                    StoreRow();
                    FetchProgress();
                }
                rc = TimedFetch(Stmt(hstmt_));
                if (rc == SQL_ERROR) break;
            }
        }
        Check(rc);
        while (rc != SQL_ERROR && rc != SQL_NO_DATA) {
            {
                TimedScope timed(&TLoadTimings::FetchMs);
                rc = SQLMoreResults(Stmt(hstmt_));
            }
            Check(rc);
        }
    }
    fetched_ = true;
}

bool TQelODBCQuery::FetchBlocks(std::int64_t cap, std::int16_t& lastCode) {
    SQLHSTMT h = Stmt(hstmt_);
    blockRows_ = 1;
    bound_.clear();
    boundIndex_.assign(fields_.size(), -1);
    bool readsLong = false;
    bool mayOverflow = false;  // a bound value may be longer than its buffer
    std::size_t stride = 0;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const TQelODBCField& f = *fields_[i];
        if (f.Offset < 0) continue;
        if (f.IsLong) {
            readsLong = readsLong || LongCount > 0;
            continue;
        }
        if (f.FieldType == ftUnknown) continue;  // never read
        // The C type and buffer length are those of the value-by-value read below.
        const auto type = static_cast<TFetchType>(f.TargetType);
        const std::int64_t length = CodecOf(f).FetchLength(type);
        if (length <= 0) continue;  // nothing to read into: stays null
        mayOverflow = mayOverflow || IsVariableFetch(type);
        BoundColumn b{&f, f.TargetType, length, stride, stride + sizeof(SQLLEN)};
        // Room for the widest fixed C type whatever the slot says.
        stride = Align8(b.DataOffset + std::max<std::size_t>(static_cast<std::size_t>(length), 16));
        boundIndex_[i] = static_cast<int>(bound_.size());
        bound_.push_back(b);
    }
    if (bound_.empty()) return false;

    std::size_t blockRows = std::clamp<std::size_t>(kBlockBytes / stride, 1, kMaxBlockRows);
    SQLUINTEGER extensions = 0;
    const bool knowsExtensions =
        connection_ && SQLGetInfo(static_cast<SQLHDBC>(connection_->ConnectionHandle()), SQL_GETDATA_EXTENSIONS,
                                  &extensions, sizeof extensions, nullptr) == SQL_SUCCESS;
    const SQLUINTEGER anyColumn = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER;
    // Long values are read with SQLGetData after the bound ones: one row per block then, and the
    // driver must allow reading any unbound column in any order.
    if (readsLong) {
        if (!knowsExtensions || (extensions & anyColumn) != anyColumn) return false;
        blockRows = 1;
    }
    // A text or byte value longer than its buffer is read again whole with SQLGetData on its
    // bound column; inside a block of several rows the driver must position on the row first.
    if (mayOverflow) {
        if (!knowsExtensions || (extensions & (anyColumn | SQL_GD_BOUND)) != (anyColumn | SQL_GD_BOUND)) return false;
        if ((extensions & SQL_GD_BLOCK) == 0) blockRows = 1;
    }

    // Whatever happens below, the statement is left without bindings into this function's buffers.
    struct Unbind {
        SQLHSTMT h;
        ~Unbind() {
            SQLFreeStmt(h, SQL_UNBIND);
            SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
            SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_BIND_BY_COLUMN}), 0);
            SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
            SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
        }
    } unbind{h};
    if (SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(stride)), 0) !=
        SQL_SUCCESS)
        return false;
    SQLRETURN rc = SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(blockRows)), 0);
    if (rc == SQL_SUCCESS_WITH_INFO) {
        // The driver chose another size: take it when it is not larger than the buffers.
        SQLULEN actual = 0;
        if (SQLGetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, &actual, 0, nullptr) != SQL_SUCCESS || actual < 1 ||
            actual > blockRows)
            return false;
        blockRows = actual;
    } else if (rc != SQL_SUCCESS) {
        return false;
    }
    blockRows_ = blockRows;
    std::vector<std::uint8_t> block(stride * blockRows);
    std::vector<SQLUSMALLINT> status(blockRows);
    SQLULEN fetched = 0;
    if (SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0) != SQL_SUCCESS ||
        SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0) != SQL_SUCCESS)
        return false;
    for (const BoundColumn& b : bound_) {
        if (SQLBindCol(h, static_cast<SQLUSMALLINT>(b.Field->ColumnNo), b.TargetType, block.data() + b.DataOffset,
                       static_cast<SQLLEN>(b.Length), reinterpret_cast<SQLLEN*>(block.data() + b.IndicatorOffset)) !=
            SQL_SUCCESS)
            return false;
    }

    for (;;) {
        // Zeroed like a fresh slot, so a value's bytes are exactly those SQLGetData would leave.
        std::fill(block.begin(), block.end(), std::uint8_t{0});
        std::fill(status.begin(), status.end(), SQLUSMALLINT{SQL_ROW_NOROW});
        fetched = 0;
        rc = TimedFetch(h);
        // The block's notices are passed on once, before its rows.
        if (rc == SQL_SUCCESS_WITH_INFO) PassNotices();
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && !(rc == SQL_ERROR && fetched > 0)) break;
        // A failed fetch may still deliver the rows before the failing one; those are kept, as
        // they would have been read one by one.
        const std::size_t n = std::min<std::size_t>(fetched, blockRows);
        for (std::size_t r = 0; r < n; ++r) {
            if (status[r] != SQL_ROW_SUCCESS && status[r] != SQL_ROW_SUCCESS_WITH_INFO) {
                rc = SQL_ERROR;
                break;
            }
            if (static_cast<std::int64_t>(Rows.size()) < cap) {
                StoreRow(block.data() + r * stride, r);
                FetchProgress();
            }
        }
        if (rc == SQL_ERROR) break;
    }
    lastCode = rc;
    return true;
}

void TQelODBCQuery::StoreRow(const std::uint8_t* boundRow, std::size_t rowInBlock) {
    Rows.emplace_back(new std::uint8_t[static_cast<std::size_t>(std::max(RowSize, 0))]());
    std::string* longs = nullptr;
    if (LongCount > 0) {
        LongValues.emplace_back(new std::string[static_cast<std::size_t>(LongCount)]);
        longs = LongValues.back().get();
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        TQelODBCField& f = *fields_[i];
        if (f.Offset < 0) continue;
        if (f.IsLong) {
            if (longs && f.Offset < LongCount) longs[f.Offset] = ReadLong(f);
            continue;
        }
        if (std::int64_t{f.Offset} + 1 + f.Size > RowSize) throw Exception("Column " + f.Name + " does not fit the row");
        const int b = boundRow ? boundIndex_[i] : -1;
        if (b < 0) {
            ReadValue(f);
            continue;
        }
        const BoundColumn& col = bound_[static_cast<std::size_t>(b)];
        BoundValue v{boundRow + col.DataOffset, col.Length, 0, rowInBlock};
        std::memcpy(&v.Indicator, boundRow + col.IndicatorOffset, sizeof v.Indicator);
        ReadValue(f, &v);
    }
}

void TQelODBCQuery::FetchProgress() {
    if (!OnFetchProgress || Rows.size() % FetchProgressRows != 0) return;
    if (!OnFetchProgress(static_cast<std::int64_t>(Rows.size()))) throw EAbort(kMsgFetchStopped);
}

void TQelODBCQuery::PassNotices() {
    if (!OnODBCError || !hstmt_) return;
    int passed = 0;
    for (const auto& r : ReadDiagRecords(SQL_HANDLE_STMT, hstmt_)) {
        // A value the driver cut to its buffer is read again whole: that notice tells nothing.
        if (r.State == kSqlStateTruncated) continue;
        if (passed++ == kMaxNoticesPerCall) break;
        OnODBCError(r.State, r.Message);
    }
}

TValueCodec TQelODBCQuery::CodecOf(const TQelODBCField& f) {
    return TValueCodec(f.FieldType, static_cast<int>(std::clamp<std::int64_t>(f.ColumnSize, 0, INT32_MAX)),
                       static_cast<std::uint32_t>(std::max(f.Size, 0)));
}

std::uint8_t* TQelODBCQuery::SlotOf(const TQelODBCField& f) { return Rows.back().get() + f.Offset; }

bool TQelODBCQuery::ReadPieces(const TQelODBCField& f, std::int16_t targetType, std::string& out, std::size_t limit) {
    char buf[4096];
    const std::size_t term = targetType == SQL_C_CHAR ? 1 : targetType == SQL_C_WCHAR ? 2 : 0;
    const SQLLEN room = SQLLEN(sizeof buf) - SQLLEN(term);
    auto tooLong = [&](std::size_t n) { return n > limit; };
    for (;;) {
        SQLLEN ind = 0;
        SQLRETURN rc = TimedGetData(Stmt(hstmt_), static_cast<SQLUSMALLINT>(f.ColumnNo), targetType, buf, sizeof buf, &ind);
        if (rc == SQL_NO_DATA) break;
        if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
            Check(rc);
            return false;
        }
        if (ind == SQL_NULL_DATA) {
            out.clear();
            return true;
        }
        if (rc == SQL_SUCCESS) {
            std::size_t n = static_cast<std::size_t>(room);
            if (ind != SQL_NO_TOTAL) n = static_cast<std::size_t>(std::clamp<SQLLEN>(ind, 0, room));
            else if (term == 1) n = strnlen(buf, static_cast<std::size_t>(room));
            if (tooLong(out.size() + n)) ThrowTooLong(f, out.size() + n);
            out.append(buf, n);
            break;
        }
        // More to come: keep this part and read the rest in one go when its length is known.
        if (tooLong(out.size() + static_cast<std::size_t>(room))) ThrowTooLong(f, out.size() + static_cast<std::size_t>(room));
        out.append(buf, static_cast<std::size_t>(room));
        if (ind != SQL_NO_TOTAL && ind > room) {
            std::size_t rest = static_cast<std::size_t>(ind - room);
            if (tooLong(out.size() + rest)) ThrowTooLong(f, out.size() + rest);
            std::size_t have = out.size();
            out.resize(have + rest + term);
            SQLLEN ind2 = 0;
            rc = TimedGetData(Stmt(hstmt_), static_cast<SQLUSMALLINT>(f.ColumnNo), targetType, out.data() + have,
                            static_cast<SQLLEN>(rest + term), &ind2);
            if (rc == SQL_ERROR) {
                Check(rc);
                return false;
            }
            out.resize(have + (ind2 == SQL_NO_TOTAL ? rest : std::min<std::size_t>(rest, static_cast<std::size_t>(std::max<SQLLEN>(ind2, 0)))));
            if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) break;
        }
    }
    return true;
}

std::string TQelODBCQuery::ReadLong(const TQelODBCField& f) {
    std::string out;
    if (!ReadPieces(f, f.TargetType, out, SIZE_MAX)) return {};
    return out;
}

void TQelODBCQuery::ThrowTooLong(const TQelODBCField& f, std::size_t bytes) {
    throw Exception("Column " + f.Name + " holds a value of " + std::to_string(bytes) +
                    " bytes that does not fit a record of " + std::to_string(MaxRowSize) + " bytes");
}

std::string TQelODBCQuery::ReadWhole(const TQelODBCField& f, std::int16_t targetType, const BoundValue* bound,
                                     const std::uint8_t* first, std::size_t firstLength, std::int64_t indicator) {
    const std::size_t limit = static_cast<std::size_t>(std::max(MaxRowSize, 0));
    if (indicator != SQL_NO_TOTAL && indicator > static_cast<std::int64_t>(limit))
        ThrowTooLong(f, static_cast<std::size_t>(indicator));
    std::string out;
    if (bound) {
        // The bound buffer holds only the first part: read the value again from its start.
        if (blockRows_ > 1) {
            SQLRETURN rc = SQLSetPos(Stmt(hstmt_), static_cast<SQLSETPOSIROW>(bound->RowInBlock + 1), SQL_POSITION,
                                     SQL_LOCK_NO_CHANGE);
            if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
                Check(rc);
                throw Exception("Column " + f.Name + ": a value longer than its buffer could not be read again");
            }
        }
    } else {
        out.assign(reinterpret_cast<const char*>(first), firstLength);  // the part already read
    }
    if (!ReadPieces(f, targetType, out, limit))
        throw Exception("Column " + f.Name + ": a value longer than its buffer could not be read whole");
    return out;
}

void TQelODBCQuery::Widen(TQelODBCField& f, std::uint32_t need) {
    const std::int64_t old = f.Size;
    // The longest this slot may become while the row stays within MaxRowSize.
    const std::int64_t most = std::int64_t{MaxRowSize} - RowSize + old;
    if (std::int64_t{need} > most) ThrowTooLong(f, need);
    // Exactly as wide as needed while few rows have been read (re-laying them is cheap and a
    // slot that starts narrow meets its longest values early); by half at least afterwards,
    // so that values growing one by one re-lay many rows few times.
    const std::int64_t step = Rows.size() <= kExactWidenRows ? need : std::max<std::int64_t>(need, old + old / 2);
    const std::int64_t grown = std::min(most, step);
    const auto delta = static_cast<std::size_t>(grown - old);
    const auto cut = static_cast<std::size_t>(f.Offset) + 1 + static_cast<std::size_t>(old);
    const auto oldRow = static_cast<std::size_t>(RowSize);
    for (TODBCRow& row : Rows) {
        TODBCRow wider(new std::uint8_t[oldRow + delta]());
        std::memcpy(wider.get(), row.get(), cut);
        std::memcpy(wider.get() + cut + delta, row.get() + cut, oldRow - cut);
        row = std::move(wider);
    }
    const std::int32_t at = f.Offset;
    for (auto& g : fields_) {
        if (g->IsLong) continue;
        if (g->Offset > at) g->Offset += static_cast<std::int32_t>(delta);
        if (g->Offset == at) g->Size = static_cast<std::int32_t>(grown);  // columns read into one slot
    }
    RowSize += static_cast<std::int32_t>(delta);
}

void TQelODBCQuery::ReadValue(TQelODBCField& f, const BoundValue* bound) {
    if (f.FieldType == ftUnknown) return;  // a type the store cannot hold stays null
    const auto ctype = static_cast<TFetchType>(f.TargetType);
    TValueCodec codec = CodecOf(f);
    // A bound buffer keeps the length it was bound with while the slot widens.
    const std::int64_t length = bound ? bound->Length : codec.FetchLength(ctype);
    if (length <= 0) return;
    const std::uint8_t* data;
    SQLLEN ind = 0;
    if (bound) {
        data = bound->Data;
        ind = bound->Indicator;
    } else {
        if (fetchBuffer_.size() < static_cast<std::size_t>(length)) fetchBuffer_.resize(static_cast<std::size_t>(length));
        std::memset(fetchBuffer_.data(), 0, static_cast<std::size_t>(length));
        SQLRETURN rc = TimedGetData(Stmt(hstmt_), static_cast<SQLUSMALLINT>(f.ColumnNo), f.TargetType,
                                  fetchBuffer_.data(), static_cast<SQLLEN>(length), &ind);
        if (rc == SQL_NO_DATA) return;
        if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
            Check(rc);
            return;
        }
        if (rc == SQL_SUCCESS_WITH_INFO) PassNotices();
        data = fetchBuffer_.data();
    }
    if (ind == SQL_NULL_DATA) return;  // a fresh row's slot is null
    std::size_t n = static_cast<std::size_t>(length);
    std::string whole;
    if (IsVariableFetch(ctype)) {
        const std::int64_t room = length - (ctype == fcChar ? 1 : ctype == fcWChar ? 2 : 0);
        if (ind == SQL_NO_TOTAL || ind > room) {
            whole = ReadWhole(f, f.TargetType, bound, data, static_cast<std::size_t>(std::max<std::int64_t>(room, 0)), ind);
            data = reinterpret_cast<const std::uint8_t*>(whole.data());
            n = whole.size();
        } else {
            n = static_cast<std::size_t>(std::max<SQLLEN>(ind, 0));
        }
    }
    TStoreResult result = codec.StoreFetched(SlotOf(f), ctype, data, n);
    if (result == TStoreResult::TooLong && codec.Widens()) {
        Widen(f, codec.NeededLength(n));
        codec = CodecOf(f);
        result = codec.StoreFetched(SlotOf(f), ctype, data, n);
    }
    switch (result) {
        case TStoreResult::Stored:
        case TStoreResult::Unhandled: return;
        case TStoreResult::OutOfRange:
            throw EQelODBCDatabaseError(std::string(kSqlStateOutOfRange) + kMsgOutOfRange + f.Name, connection_);
        case TStoreResult::BadDate: throw Exception(kMsgBadDate + f.Name);
        case TStoreResult::BadDecimal: throw EBcdError(kMsgCurrencyToBcd);
        case TStoreResult::TooLong: ThrowTooLong(f, n);
    }
}

void TQelODBCQuery::PutParamToBuffer(TQelODBCParam& p, ParamBuffer& b) {
    if (p.OnGetParamValue) p.OnGetParamValue(p);
    const bool isNull = p.IsNull();
    b.Indicator = isNull ? SQL_NULL_DATA : 0;
    auto alloc = [&](std::size_t n) {
        b.Buffer.assign(n, 0);
        b.HasBuffer = true;
        b.BufferLength = static_cast<std::int64_t>(n);
    };
    switch (p.DataType) {
        case ftString:
        case ftGuid:
        case ftVariant: {
            std::string text = isNull ? std::string() : p.Value.ToAnsi();
            if (p.Size > 0) text.resize(Utf8PrefixBytes(text, static_cast<std::size_t>(p.Size)));
            std::size_t room = p.Size > 0 ? 4 * static_cast<std::size_t>(p.Size) : 0;
            if (p.ParamType != ptInput && p.Size <= 0) room = 4 * kDefaultOutputChars;
            alloc(std::max(room, text.size()) + 1);
            std::memcpy(b.Buffer.data(), text.data(), text.size());
            if (!isNull) b.Indicator = static_cast<std::int64_t>(text.size());
            return;
        }
        case ftSmallint: {
            alloc(2);
            if (!isNull) {
                std::int16_t v = p.Value.ToInt16();
                std::memcpy(b.Buffer.data(), &v, 2);
            }
            return;
        }
        case ftInteger:
        case ftAutoInc:
        case ftWord: {
            alloc(4);
            if (!isNull) {
                std::int32_t v = p.Value.ToInt32();
                std::memcpy(b.Buffer.data(), &v, 4);
            }
            return;
        }
        case ftBoolean:
            alloc(2);
            if (!isNull) b.Buffer[0] = p.Value.ToBool() ? 1 : 0;
            return;
        case ftFloat:
        case ftCurrency: {
            alloc(8);
            if (!isNull) {
                double v = p.DataType == ftCurrency ? static_cast<double>(p.Value.ToCurrency().Scaled) / 10000.0
                                                    : p.Value.ToDouble();
                std::memcpy(b.Buffer.data(), &v, 8);
            }
            return;
        }
        case ftBCD: {
            alloc(100);
            if (!isNull) {
                std::string text = CurrencyText(p.Value.ToCurrency()).substr(0, 99);
                std::memcpy(b.Buffer.data(), text.data(), text.size());
                b.Indicator = static_cast<std::int64_t>(text.size());
            }
            return;
        }
        case ftDateTime: {
            alloc(sizeof(SQL_TIMESTAMP_STRUCT));
            if (!isNull) {
                TimeStampParts t = DecodeDateTime(p.Value.ToDate());
                SQL_TIMESTAMP_STRUCT ts{};
                ts.year = static_cast<SQLSMALLINT>(t.Year);
                ts.month = static_cast<SQLUSMALLINT>(t.Month);
                ts.day = static_cast<SQLUSMALLINT>(t.Day);
                ts.hour = static_cast<SQLUSMALLINT>(t.Hour);
                ts.minute = static_cast<SQLUSMALLINT>(t.Minute);
                ts.second = static_cast<SQLUSMALLINT>(t.Second);
                ts.fraction = static_cast<SQLUINTEGER>(t.MSec) * 1000000u;
                std::memcpy(b.Buffer.data(), &ts, sizeof ts);
                b.Indicator = sizeof ts;
            }
            return;
        }
        case ftBytes:
        case ftVarBytes: {
            const std::size_t size = static_cast<std::size_t>(std::max(p.Size, 0));
            alloc(std::max<std::size_t>(size, 1));
            if (!isNull) {
                std::string bytes = BytesOf(p.Value);
                const std::size_t n = std::min(bytes.size(), size);
                std::memcpy(b.Buffer.data(), bytes.data(), n);
                b.Indicator = static_cast<std::int64_t>(n);
            }
            return;
        }
        case ftBlob:
        case ftMemo: {
            if (isNull) {
                b.Buffer.clear();
                b.HasBuffer = false;
                b.BufferLength = 0;
                p.Size = 0;
                return;
            }
            std::string bytes = BytesOf(p.Value);
            alloc(std::max<std::size_t>(bytes.size(), 1));
            std::memcpy(b.Buffer.data(), bytes.data(), bytes.size());
            b.BufferLength = static_cast<std::int64_t>(bytes.size());
            b.Indicator = static_cast<std::int64_t>(bytes.size());
            p.Size = static_cast<std::int32_t>(std::min<std::size_t>(bytes.size(), INT32_MAX));
            return;
        }
        default:
            throw Exception(std::string(kMsgUnhandledParamType) + p.GetName());
    }
}

void TQelODBCQuery::BindParam(int i, TQelODBCParam& p, ParamBuffer& b) {
    SQLSMALLINT io = -1;
    switch (p.ParamType) {
        case ptUnknown: io = -1; break;
        case ptInput: io = SQL_PARAM_INPUT; break;
        case ptOutput:
        case ptResult: io = SQL_PARAM_OUTPUT; break;
        case ptInputOutput: io = SQL_PARAM_INPUT_OUTPUT; break;
    }
    SQLSMALLINT ctype = SQL_C_CHAR, stype = SQL_VARCHAR, digits = 0;
    SQLULEN colSize = static_cast<SQLULEN>(std::max(p.Size, 0));
    switch (p.DataType) {
        case ftBCD: ctype = SQL_C_CHAR, stype = SQL_DOUBLE, colSize = 19, digits = 4; break;
        case ftString:
        case ftGuid:
        case ftVariant:
            ctype = SQL_C_CHAR, stype = SQL_VARCHAR;
            colSize = std::max<SQLULEN>({colSize, static_cast<SQLULEN>(std::max<std::int64_t>(b.Indicator, 0)), 1});
            break;
        case ftSmallint: ctype = SQL_C_SHORT, stype = SQL_SMALLINT; break;
        case ftInteger:
        case ftAutoInc:
        case ftWord: ctype = SQL_C_LONG, stype = SQL_INTEGER; break;
        case ftBoolean: ctype = SQL_C_BIT, stype = SQL_BIT; break;
        case ftFloat:
        case ftCurrency: ctype = SQL_C_DOUBLE, stype = SQL_DOUBLE; break;
        case ftDateTime: ctype = SQL_C_TIMESTAMP, stype = SQL_TIMESTAMP, colSize = 23, digits = 3; break;
        case ftBytes: ctype = SQL_C_BINARY, stype = SQL_BINARY; break;
        case ftVarBytes: ctype = SQL_C_BINARY, stype = SQL_VARBINARY; break;
        case ftBlob: ctype = SQL_C_BINARY, stype = SQL_LONGVARBINARY, colSize = std::max<SQLULEN>(colSize, 1); break;
        case ftMemo: ctype = SQL_C_CHAR, stype = SQL_LONGVARCHAR, colSize = std::max<SQLULEN>(colSize, 1); break;
        default: break;
    }
    SQLRETURN rc = SQLBindParameter(Stmt(hstmt_), static_cast<SQLUSMALLINT>(i + 1), io, ctype, stype, colSize, digits,
                                    b.HasBuffer ? b.Buffer.data() : nullptr, static_cast<SQLLEN>(b.BufferLength),
                                    reinterpret_cast<SQLLEN*>(&b.Indicator));
    Check(rc);
}

void TQelODBCQuery::GetParamFromBuffer(TQelODBCParam& p, const ParamBuffer& b) {
    if (!b.HasBuffer) return;
    if (b.Indicator == SQL_NULL_DATA) {
        p.Value = Variant::Null();
        return;
    }
    const std::uint8_t* d = b.Buffer.data();
    switch (p.DataType) {
        case ftString:
        case ftGuid:
        case ftVariant:
            p.Value = Variant::FromAnsi(std::string(reinterpret_cast<const char*>(d)));
            return;
        case ftSmallint: {
            std::int16_t v;
            std::memcpy(&v, d, 2);
            p.Value = Variant::FromInt16(v);
            return;
        }
        case ftInteger:
        case ftAutoInc: {
            std::int32_t v;
            std::memcpy(&v, d, 4);
            p.Value = Variant::FromInt32(v);
            return;
        }
        case ftWord: {
            std::uint16_t v;
            std::memcpy(&v, d, 2);
            p.Value = Variant::FromUInt16(v);
            return;
        }
        case ftBoolean: p.Value = Variant::FromBool(d[0] != 0); return;
        case ftFloat:
        case ftCurrency: {
            double v;
            std::memcpy(&v, d, 8);
            p.Value = p.DataType == ftFloat ? Variant::FromDouble(v) : Variant::FromDouble(v).ConvertTo(VT_CY);
            return;
        }
        case ftBCD: {
            std::int64_t scaled = 0;
            if (!TryParseCurrency(std::string(reinterpret_cast<const char*>(d)), scaled, DotSettings()))
                throw EBcdError(kMsgCurrencyToBcd);
            p.Value = Variant::FromCurrency(Currency{scaled});
            return;
        }
        case ftDateTime: {
            SQL_TIMESTAMP_STRUCT ts;
            std::memcpy(&ts, d, sizeof ts);
            TimeStampParts t;
            t.Year = ts.year, t.Month = ts.month, t.Day = ts.day, t.Hour = ts.hour, t.Minute = ts.minute,
            t.Second = ts.second, t.MSec = static_cast<int>(ts.fraction / 1000000);
            double v = 0;
            if (!TryEncodeDateTime(t, v)) throw Exception(kMsgBadDate + p.GetName());
            p.Value = Variant::FromDate(v);
            return;
        }
        case ftBytes:
            p.Value = Variant::FromBytes(d, static_cast<std::size_t>(b.BufferLength));
            return;
        default:
            throw Exception(std::string(kMsgUnhandledParamType) + p.GetName());
    }
}

}  // namespace kubrix
