#pragma once
// One SQL text run on a connection: positional parameters bound, the text executed
// directly, the result columns described, every row read into memory in the dataset's
// stored value form (flag byte, then the value), output parameters read back.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "odbc/ODBCConnection.h"
#include "odbc/ODBCConst.h"
#include "odbc/ODBCErrors.h"
#include "support/FieldTypes.h"
#include "support/ValueCodec.h"
#include "support/Variant.h"

namespace kubrix {

class TQelODBCQuery;

//! One described result column and where its value goes in a row.
class TQelODBCField {
public:
    TQelODBCField(TQelODBCQuery* query, std::string name, std::int16_t columnNo);

    //! Maps the described SQL type, column size and decimal digits to the field type,
    //! the C type it is read as, its slot length and whether it is read whole (long).
    void SetTyp(std::int16_t sqlType, std::int64_t columnSize, std::int16_t decimals);
    void SetFvHstmt(ODBCHandle handle) { FvHstmt = handle; }

    //! Slot offset in the row, index into the row's long values when IsLong; -1: not read.
    std::int32_t Offset = 0;
    TQelODBCQuery* Query;
    std::string Name;
    //! ODBC C type the value is read as.
    std::int16_t TargetType = 0;
    //! Value bytes of the slot (for text: 4 bytes per declared character plus the zero); a text
    //! or byte column's slot widens while rows are read when a longer value arrives.
    std::int32_t Size = 0;
    std::int16_t Decimals = 0;
    TFieldType FieldType = ftUnknown;
    //! Described SQL type code.
    std::int16_t SqlType = 0;
    //! Declared size in characters (text) or bytes (binary), as described.
    std::int64_t ColumnSize = 0;
    std::int16_t ColumnNo;
    //! Described as not nullable.
    bool Required = false;
    //! Read whole into a byte string of the row's long values.
    bool IsLong = false;
    ODBCHandle FvHstmt = nullptr;
};

enum TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TQelODBCParams;

//! A positional parameter: bound to its marker by its place in the collection.
class TQelODBCParam {
public:
    explicit TQelODBCParam(TQelODBCParams* collection);

    //! Called just before the value is read for binding.
    std::function<void(TQelODBCParam&)> OnGetParamValue;
    //! Carried for the dataset's parameter selection.
    std::string FilterCaption;
    Variant DisplayValue;

    const std::string& GetName() const { return name_; }
    //! Stores the name and tells the statement (OnParamNameChange).
    void SetName(const std::string& name);

    TFieldType DataType = ftInteger;
    TParamType ParamType = ptInput;
    //! Null until assigned.
    Variant Value = Variant::Null();
    //! Length limit of text and byte values (characters for text; 0: no limit).
    std::int32_t Size = 0;
    std::int32_t Precision = 0;
    bool IsNull() const { return Value.IsEmptyOrNull(); }
    //! True only while SetName runs.
    bool NameChanging = false;

private:
    TQelODBCParams* collection_;
    std::string name_;
};

class TQelODBCParams {
public:
    explicit TQelODBCParams(TQelODBCQuery* query) : query_(query) {}
    TQelODBCQuery* Query() const { return query_; }

    TQelODBCParam& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    TQelODBCParam& operator[](int i) const { return *items_.at(static_cast<std::size_t>(i)); }
    //! First parameter of the name (letter case ignored); nullptr when none.
    TQelODBCParam* FindParam(std::string_view name) const;
    void Clear() { items_.clear(); }
    //! Copies names, types, sizes and values of other's items.
    void Assign(const TQelODBCParams& other);
    //! Tells the statement that item's name is being set.
    void Update(TQelODBCParam* item);

private:
    TQelODBCQuery* query_;
    std::vector<std::unique_ptr<TQelODBCParam>> items_;
};

//! A row of the result: RowSize zero-filled bytes with one slot per column.
//! Allocated with new std::uint8_t[], so that a dataset record can adopt it as its data area.
using TODBCRow = std::unique_ptr<std::uint8_t[]>;
//! The long values of a row: LongCount strings from new std::string[].
using TODBCLongValues = std::unique_ptr<std::string[]>;

class TQelODBCQuery : public IODBCConnectionClient {
public:
    explicit TQelODBCQuery(TQelODBCConnection* connection = nullptr);
    ~TQelODBCQuery() override;
    TQelODBCQuery(const TQelODBCQuery&) = delete;
    TQelODBCQuery& operator=(const TQelODBCQuery&) = delete;

    TQelODBCConnection* Connection() const { return connection_; }
    //! Moves the statement to the client list of the new connection.
    void SetConnection(TQelODBCConnection* connection);
    const std::string& SQL() const { return sql_; }
    //! Sets the text; creates one parameter per "?" when there are none.
    void SetSQL(const std::string& text);
    bool Active() const { return active_; }
    void SetActive(bool value);
    TQelODBCParams& Parameters() { return params_; }
    void SetParameters(const TQelODBCParams& params) { params_.Assign(params); }
    //! Gives the handler to every parameter that has none of its own.
    void SetGetParamValue(std::function<void(TQelODBCParam&)> handler);

    TCursorType CursorType = TCursorType::FORWARD_ONLY;
    //! Receives every diagnostic record (SQLSTATE, message); errors raise only when set.
    std::function<void(const std::string& sqlState, const std::string& message)> OnODBCError;
    //! Apply the row cap.
    bool CheckRecordCount = true;
    //! The statement's own row cap, used when the connection has one.
    std::int32_t MaxRecordCount = 0;
    std::function<void(TQelODBCParam&)> OnParamNameChange;
    //! Called when the result columns are known, before rows are read; may re-lay the columns
    //! (Offset, Size, FieldType, TargetType, IsLong) and RowSize/LongCount. Rows then belong
    //! to whoever takes them: Close does not free them while the hook is set.
    std::function<void(TQelODBCQuery&)> OnFieldsCreated;
    //! Open reads the rows.
    bool FetchRows = true;
    //! Rows read between two calls of OnFetchProgress.
    static constexpr std::int64_t FetchProgressRows = 512;
    //! Told the count of rows read so far, every FetchProgressRows rows; false stops the read,
    //! which then fails with EAbort and keeps no row.
    std::function<bool(std::int64_t rows)> OnFetchProgress;
    //! Results without columns (counts of changed rows) before the first result with columns
    //! are passed over, so that a command that changes rows and then selects one returns it.
    bool SkipCountResults = false;
    //! Rows the last execution changed, as the driver counts them (-1: not known).
    std::int64_t RowsAffected = -1;
    //! The text is prepared once and its handle kept between runs: the next run of the same
    //! text only binds and executes. Any failure, a new connection or Unprepare drops it.
    bool KeepPrepared = false;
    //! Frees the kept prepared handle.
    void Unprepare();
    //! Rows are read in blocks with bound columns where the driver allows it; off, every value
    //! is read with SQLGetData.
    bool BlockReads = true;
    //! Bytes of one row; grows while rows are read when a text or byte slot widens.
    std::int32_t RowSize = 0;
    //! Widest row a widened slot may make; a value that would need more fails the read.
    std::int32_t MaxRowSize = 0xFFFF;
    //! Long values per row.
    std::int32_t LongCount = 0;
    //! The rows read by Open.
    std::vector<TODBCRow> Rows;
    //! One array of LongCount byte strings per row, when LongCount > 0.
    std::vector<TODBCLongValues> LongValues;

    //! Executes (unless a statement is open), describes, reads every row and the output
    //! parameters; a lost link is repaired by Reconnect and the statement runs again.
    void Open();
    void Close();
    //! Allocates, binds and executes; describes the columns without the hook.
    void OpenCursor();
    //! Frees the statement handle and the parameter buffers.
    void CloseCursor();
    //! Describes the columns, without the hook, from the prepared statement when the server
    //! can do it without running the statement; false (and no columns) otherwise.
    bool DescribePrepared();
    void CreateFields();
    void DestroyFields();

    TQelODBCField* FieldbyName(std::string_view name) const;
    TQelODBCField* GetField(int i) const;
    int GetFieldCount() const { return static_cast<int>(fields_.size()); }
    int RowCount() const { return static_cast<int>(Rows.size()); }
    ODBCHandle StatementHandle() const { return hstmt_; }
    bool Fetched() const { return fetched_; }

    //! Diagnostics of a return code: each record to OnODBCError, SQL_ERROR raised.
    void Check(std::int16_t returnCode) { GetMsg(returnCode); }
    void GetMsg(std::int16_t returnCode);

    void ConnectionClosing() override {
        Close();
        Unprepare();
    }
    void ConnectionDestroyed(TQelODBCConnection* connection) override;

private:
    struct ParamBuffer {
        std::vector<std::uint8_t> Buffer;
        bool HasBuffer = false;
        std::int64_t BufferLength = 0;
        std::int64_t Indicator = 0;
    };

    //! One value of a row read in a block: where its bytes are and what the fetch reported.
    struct BoundValue {
        const std::uint8_t* Data;
        std::int64_t Length;
        std::int64_t Indicator;
        std::size_t RowInBlock;
    };
    //! A column bound for block reads: its buffer within a row of the block.
    struct BoundColumn {
        const TQelODBCField* Field;
        std::int16_t TargetType;
        std::int64_t Length;
        std::size_t IndicatorOffset;
        std::size_t DataOffset;
    };

    void SQLTextChenged();
    void OpenCursorOnce();
    void FetchAll();
    //! Reads the rows in blocks with bound columns; false when the driver or columns do not
    //! allow it and nothing was fetched yet. lastCode: the code that ended the rows.
    bool FetchBlocks(std::int64_t cap, std::int16_t& lastCode);
    //! Appends a row and reads its values (from the block's row when boundRow is given).
    void StoreRow(const std::uint8_t* boundRow = nullptr, std::size_t rowInBlock = 0);
    //! Asks OnFetchProgress whether to go on after a row was stored; raises EAbort if not.
    void FetchProgress();
    //! The statement's notices to OnODBCError, each once (a bounded number per call).
    void PassNotices();
    static TValueCodec CodecOf(const TQelODBCField& f);
    //! The slot of f in the last row.
    std::uint8_t* SlotOf(const TQelODBCField& f);
    void PutParamToBuffer(TQelODBCParam& p, ParamBuffer& b);
    void BindParam(int i, TQelODBCParam& p, ParamBuffer& b);
    void GetParamFromBuffer(TQelODBCParam& p, const ParamBuffer& b);
    bool ConfirmReconnectAfter(const TCommunicationLinkFailureEx& e);
    //! Appends the column's remaining data, read piece by piece; false when a read failed.
    //! More than limit bytes raise.
    bool ReadPieces(const TQelODBCField& f, std::int16_t targetType, std::string& out, std::size_t limit);
    //! Raises the lost-link failure, ending the connection's open transaction (said in the message).
    [[noreturn]] void ThrowLinkFailure(const std::string& text);
    std::string ReadLong(const TQelODBCField& f);
    //! A value longer than its buffer, read whole: the rest after the part read, or a bound
    //! value again from its start.
    std::string ReadWhole(const TQelODBCField& f, std::int16_t targetType, const BoundValue* bound,
                          const std::uint8_t* first, std::size_t firstLength, std::int64_t indicator);
    //! Reads one value into its slot in the last row; a longer value widens the slot.
    void ReadValue(TQelODBCField& f, const BoundValue* bound = nullptr);
    //! Widens f's slot to hold need bytes at least, re-laying every row read so far.
    void Widen(TQelODBCField& f, std::uint32_t need);
    [[noreturn]] void ThrowTooLong(const TQelODBCField& f, std::size_t bytes);

    TQelODBCConnection* connection_ = nullptr;
    std::string sql_;
    bool active_ = false;
    TQelODBCParams params_;
    std::vector<ParamBuffer> paramBuffers_;
    bool fetched_ = false;
    std::string sqlText_;
    std::vector<std::unique_ptr<TQelODBCField>> fields_;
    ODBCHandle hstmt_ = nullptr;
    //! The kept prepared handle (KeepPrepared) and the text it was prepared with.
    ODBCHandle prepared_ = nullptr;
    std::string preparedText_;
    // Block reads: the bound columns, the diagnostics of the last block's fetch, and which
    // column of the current row each field is bound to (-1: read with SQLGetData).
    std::vector<BoundColumn> bound_;
    std::vector<int> boundIndex_;
    std::size_t blockRows_ = 1;
    //! Buffer of a value read with SQLGetData.
    std::vector<std::uint8_t> fetchBuffer_;
};

}  // namespace kubrix
