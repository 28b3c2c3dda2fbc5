#pragma once
// The in-memory dataset: keeps every row in a TMemoryRecord with a fixed-size data area
// (one slot per stored field: flag byte and value bytes at a precomputed offset, see
// StoredValue.h) and blob values beside it. The cursor and the field objects see a record
// through a record buffer; everything else (pivot grid, filters, indexes, popups) reads and
// writes records directly through the Variant accessors or the raw slot address.
//
// Record buffer layout (both halves alike; the second holds the before-image of an edit):
//   0               RecordSize        data area
//   RecordSize      CalcFieldsSize    calculated and lookup fields (flag + DataSize each)
//   BookmarkOfs     8                 RecordID (int32), bookmark flag (1 byte), 3 spare
//   BlobOfs         0                 (blob values are kept beside the buffer, per half)
//   ChangedOfs      field count       changed flags
//   RecIndexOfs     4                 index in Records, -1 for a record not stored yet
//   RecBufSize      1                 old-image flag
//   RecBufSize + 1  RecBufSize        second half
// Without any SQL the dataset opens with the field definitions (or field objects) given in
// code and no records; records are then added with AddRecord and the Variant accessors.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dataset/DataSet.h"
#include "dataset/MemoryRecord.h"
#include "dataset/StoredValue.h"
#include "odbc/ODBCConnection.h"
#include "support/QelExpration.h"
#include "support/ValueCodec.h"

namespace kubrix {

//! RecordID that names no record (and means "no bookmark").
inline constexpr std::int32_t kNoRecordID = INT32_MIN;

//! The update template of the forms: the server refuses the update with the changed-by-another-
//! user message when the row, found by the key condition with old values, is gone.
inline constexpr const char* kUpdateMaskDefault =
    "IF NOT EXISTS(SELECT * FROM %TBL% WHERE %KEY%) RAISERROR('Данные изменены другим пользователем. "
    "Отмените изменения, обновите данные и повторите операцию', 16, 1) ELSE UPDATE %TBL% SET %VAL% WHERE %KEY%";
//! A plain update template for servers without that dialect (PostgreSQL, SQLite); with
//! Update_CheckRowCount the dataset itself refuses an update that met no row. The ";" ends
//! the statement where further ones (ResyncCommand) follow in the same command.
inline constexpr const char* kUpdateMaskPlain = "UPDATE %TBL% SET %VAL% WHERE %KEY%;";
//! What a post says when the row it updates was changed or removed by another user.
inline constexpr const char* kMsgChangedByAnotherUser =
    "Данные изменены другим пользователем. Отмените изменения, обновите данные и повторите операцию";

class TQelODBCQuery;
class TQelODBCParams;
class TQelODBCParam;
class TQelODBCClientIndex;
class TQelODBCClientIndex2;
class TQelODBCClientTree2;
class TMemBlobStream;
class TQelAccessManager;
//! How a blob stream opens a value: read 0, write 1, read-write 2.
enum TBlobStreamMode : int { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

//! One item of an OrderBy text: the field name as written and its direction.
struct TOrderByItem {
    std::string FieldName;
    bool Descending = false;
};
//! Splits an OrderBy text: items at ",", the character after each comma skipped, each item
//! trimmed; a trailing " ASC" or " DESC" (upper case only) gives the direction.
std::vector<TOrderByItem> ParseOrderBy(const std::string& text);

//! One sort key of the dataset's order.
struct TOrderKey {
    TField* Field = nullptr;
    bool Descending = false;
    bool CaseInsensitive = true;
};

//! Which records the totals sum.
enum TCalcTotalsType { cttOnlyVisible = 0, cttAll = 1 };

class TQelODBCClient : public TDataSet, public IODBCConnectionClient, public IQelExprDataSet {
public:
    explicit TQelODBCClient(TComponent* owner = nullptr);
    ~TQelODBCClient() override;

    // ---- layout
    //! RecordSize: length of a record's data area.
    std::uint16_t GetRecordSize() const { return RecordSize; }
    //! Sum of the slot lengths (flag included) of every stored definition, children too.
    int CalcRecordSize() const;
    //! Adds def's slot lengths (flag included), children included, to total.
    static void CalcDataSize(const TFieldDef* def, int& total);
    //! Address of field's flag byte inside area; nullptr when area is missing, the field is
    //! no IODBCField or is not stored.
    static std::uint8_t* FindFieldData(std::uint8_t* area, const TField* field);
    //! Record index's slot of field (memo: its blob string, as std::string*); nullptr when
    //! not stored. An index outside Records raises EListError.
    void* GetRecordFieldData(const TField* field, int index);
    //! Builds field definitions from the field objects when there are none, then FieldOffsets.
    void InitFieldDefsFromFields() override;
    //! Sets RecordSize (when recompute) and the buffer offsets.
    void InitBufferPointers(bool recompute);

    // ---- records
    //! Appends a record with a new RecordID (also to UnfilteredRecords while a subset is in force).
    TMemoryRecord* AddRecord();
    //! AddRecord, then moves it to index.
    TMemoryRecord* InsertRecord(int index);
    //! Records[index]; EListError outside the list.
    TMemoryRecord* GetMemoryRecord(int index) const;
    TMemoryRecord* FindRecordID(std::int32_t id) const;
    //! Index of the record with RecordID id, -1 when none.
    int FindRecordID_(std::int32_t id) const;
    //! Entries of Records, hidden and deleted ones included.
    int RealRecordCount() const { return static_cast<int>(Records.size()); }
    //! Appends a copy of record (MainRecord: the family's first record); shares the data
    //! in a dataset whose data comes from another one.
    TMemoryRecord* CopyRecord(TMemoryRecord* record);
    //! Takes the record out of the key indexes, unlinks and frees it.
    void RemoveRecord(int index);
    //! Frees every record and empties the key indexes; LastRecordID and RecordPos start over.
    virtual void ClearRecords();
    int Capacity() const { return static_cast<int>(Records.capacity()); }
    void SetCapacity(int value);
    //! A number that changes whenever a record is added, removed, moved or written, so that a
    //! reader of the records may keep what it derived from them while it stands.
    std::uint64_t StoreGeneration() const { return storeGeneration_; }
    //! The records changed (a writer outside the calls above says so).
    void TouchStore() { ++storeGeneration_; }

    // ---- Variant access to records
    //! Value of field in record index; version "new" for the current value, else the
    //! before-image when the record has one.
    void GetFieldValueFromBuffer(const TField* field, int index, Variant& value, const std::string& version = "new");
    void GetFieldValueFromBuffer(const TField* field, TMemoryRecord* record, Variant& value, const std::string& version = "new");
    //! Value of field decoded from a record buffer.
    void GetFieldValueFromBuffer(const TField* field, TRecordBuffer buffer, Variant& value);
    //! Writes into record index and, while editing, into the active buffer too.
    //! The display texts of fields in the record at index, as the fields show them when that
    //! record is current; the cursor, the active buffer and the state stay as they were (a data
    //! grid paints the rows it shows this way). Calculated fields read as empty here.
    std::vector<std::string> RecordDisplayTexts(int index, const std::vector<TField*>& fields);
    void SetFieldValueInBuffer(const TField* field, int index, const Variant& value);
    void SetFieldValueInBuffer(const TField* field, TMemoryRecord* record, const Variant& value);
    void SetFieldValueInBuffer(const TField* field, TRecordBuffer buffer, const Variant& value);
    //! Writes into the active buffer as the user's change (before-image, changed flag, notice).
    void SetFieldValueToActiveBuffer(TField* field, const Variant& value);

    // ---- record buffers and the current record
    bool GetActiveRecBuf(TRecordBuffer& buffer) const;
    //! Record index held by the active buffer, -1 when none.
    int GetActiveRecordIndex() const;
    bool GetCurrentRecord(TRecordBuffer buffer);
    void RecordToBuffer(TMemoryRecord* record, TRecordBuffer buffer);
    void AssignMemoryRecord(TMemoryRecord* record, TRecordBuffer buffer);
    void SetMemoryRecordData(TRecordBuffer buffer, int index);
    void SetRecordPos(int index) { RecordPos = index; }

    // ---- field data, bookmarks, record numbers (framework contract)
    using TDataSet::GetFieldData;
    using TDataSet::SetFieldData;
    bool GetFieldData(TField* field, void* buffer) override;
    bool GetFieldData(TField* field, void* buffer, bool nativeFormat) override;
    void SetFieldData(TField* field, const void* buffer) override;
    void SetFieldData(TField* field, const void* buffer, bool nativeFormat) override;
    Variant GetStateFieldValue(TDataSetState state, TField* field) override;
    bool BookmarkValid(const TBookmark& bookmark) override;
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
    bool Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options = {}) override;
    //! Searches the records without moving the cursor.
    Variant Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultField) override;
    TFieldClass GetFieldClass(TFieldType type) const override;

    // ---- visibility, filters, record subsets
    //! Shown by the cursor: not rejected by the filter while Filtered, shown by the tree when
    //! one is attached, and not deleted.
    bool IsRecordVisible(const TMemoryRecord* record) const {
        return !(Filtered() && record->FilteredOut) && (!TreeAttached || record->TreeVisible) &&
               record->UpdateStatus != mrsDeleted;
    }
    //! The same for record index (EListError outside Records).
    bool IsRecordVisible(int index) const { return IsRecordVisible(GetMemoryRecord(index)); }
    //! Compiles text and sets FilteredOut of every record; counts VisibleCount. An expression
    //! error passes on; records not reached keep their flags.
    void ApplyFilter(const std::string& text);
    //! Sets FilteredOut of one record (false for an empty text); OnFilterRecord may change it.
    void ApplyFilterToRecord(int index, const std::string& text);
    //! The evaluator's field reader: field's value (version "new" or "old") in record RecordPos.
    void GetFilterFieldValue(const TField* field, const std::string& version, Variant& value);
    //! Active and Filtered: a new text is applied at once. The cursor then finds its record again.
    void SetFilterText(const std::string& text) override;
    //! Active: switching on with a text the evaluator does not hold applies it; a change of the
    //! flag recomputes the totals and goes to the first record.
    void SetFiltered(bool value) override;
    void SetOnFilterRecord(TFilterRecordEvent handler) override;
    //! Record numbers run without gaps (nothing filtered).
    bool IsSequenced() const { return !Filtered(); }
    //! Re-filters a posted record when CheckFilterAfterPost is set and a filter is compiled;
    //! VisibleCount follows.
    void FilterPostedRecord(int index);
    //! Empties list, then adds each existing field named in names (";"-separated).
    void FindFieldList(std::vector<TField*>& list, const std::string& names) const;
    //! Replaces Records by the records at indexes of the full list, in that order (a record
    //! named twice is taken once); nullptr brings the full list back. Indexes outside the full
    //! list raise EListError and change nothing.
    void SetRecordFilter(const std::vector<std::int32_t>* indexes);
    //! Whether a record subset is in force.
    bool GetFiltered2() const { return UnfilteredRecords != nullptr; }
    //! The full record list, whether or not a subset is in force.
    const std::vector<TMemoryRecord*>& AllRecords() const { return UnfilteredRecords ? *UnfilteredRecords : Records; }
    //! The evaluator that holds the compiled filter (lists for "i[&N]" are registered here).
    TQelExpration& Expression() { return *expression_; }
    //! Records with FilteredOut false after the last ApplyFilter.
    int VisibleCount = 0;
    //! A posted record is filtered again.
    bool CheckFilterAfterPost = true;
    //! A tree is attached: its TreeVisible flags hide records.
    bool TreeAttached = false;
    //! Whether Locate on keyFields searches by halves: OrderBy begins, character for
    //! character, with a blank and the key fields' names each followed by " ASC".
    bool LocateSearchesByHalves(const std::vector<TField*>& keyFields) const;

    // IQelExprDataSet: the filter language reads fields of record RecordPos.
    const void* ExprFindField(std::string_view name) const override;
    void ExprGetFieldValue(const void* field, bool old, Variant& value) override;
    //! Whether field may be written (read-only dataset or field, or the access manager's
    //! column rights outside the insert state).
    virtual bool FieldReadOnly(const TField* field) const;

    // ---- column rights (AccessManager.cpp)
    //! Per-user rights on table columns, not owned; forgotten when it is destroyed.
    TQelAccessManager* AccessManager() const { return accessManager_; }
    void SetAccessManager(TQelAccessManager* manager);

    // ---- blob values (ClientBlobs.cpp); a DoZip field keeps its value compressed
    //! A new stream over field's value in the current record buffer (field must be a blob field).
    std::unique_ptr<TMemBlobStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
    //! The value of field's blob slot in buffer; decompressed for a DoZip field, as stored
    //! when it does not decompress.
    void GetBlobData(const TField* field, TRecordBuffer buffer, std::string& value);
    //! Stores value into buffer's blob slot, compressed for a DoZip field; only the active
    //! buffer is written (before-image and changed flag as for any field).
    void SetBlobData(TField* field, TRecordBuffer buffer, const std::string& value);
    //! An abandoned blob edit: the active buffer's slot gets the record's stored value back
    //! while editing, else it is emptied.
    void CloseBlob(TField* field);
    //! Record index's stored blob value of field (re-read first when not loaded); nullptr
    //! when the record keeps none. An index outside Records raises EListError.
    const std::string* RecordBlob(const TField* field, int index);
    //! The bytes held in buffer's blob slot of field, as stored (compressed or not).
    const std::string& StoredBlob(const TField* field, TRecordBuffer buffer) const;
    //! Whether field is a blob field whose value is stored compressed.
    static bool IsZipField(const TField* field);
    //! The packed (stored) form of a DoZip field's plain value, under the busy cursor.
    static std::string PackBlob(const std::string& plain);
    //! Makes record current before it is read (re-fetch of records not Loaded).
    virtual void LoadRecord(TMemoryRecord* record);
    // ---- ordering
    //! Field names separated by ", ", each optionally followed by " ASC" or " DESC".
    const std::string& OrderBy() const { return orderBy_; }
    //! Stores a different text and reorders (RefreshOrderBy). An unknown field raises the
    //! field-not-found error and leaves the text and the order as they were.
    void SetOrderBy(const std::string& text);
    //! Reorders the records by OrderBy, keeping the cursor on its record.
    void RefreshOrderBy();
    //! Reorders the records by OrderBy (nothing for an empty text or no records); the
    //! cursor keeps its position number.
    void InternalRefreshOrderBy();
    //! The keys of the last ordering, in order.
    const std::vector<TOrderKey>& OrderKeys() const { return orderKeys_; }
    //! Whether field is one of the keys of the last ordering.
    bool GetIsIndexField(const TField* field) const override;
    //! -1, 0 or 1: the order of two records under the keys (ties by RecordID).
    int CompareRecords(const TMemoryRecord* a, const TMemoryRecord* b, const std::vector<TOrderKey>& keys) const;
    //! -1, 0 or 1: the two records' values of one key, ascending (Null first), no tie-break.
    int CompareRecordValues(const TMemoryRecord* a, const TMemoryRecord* b, const TOrderKey& key) const;

    // ---- totals
    //! Sums every total field over the counting records (CalcTotalsType); nothing while
    //! an update bracket is open or without total fields.
    virtual void CalcTotals();
    //! A BCD field's total reading, or a copy of an integer or small-integer field's total;
    //! value is left alone for other fields.
    void GetTotal(const TField* field, Variant& value) const;
    //! Stores the total in an integer, small-integer or BCD field; ignored for others.
    void SetTotal(TField* field, const Variant& value);
    TCalcTotalsType CalcTotalsType() const { return calcTotalsType_; }
    //! Stores the kind and, when open, recomputes.
    void SetCalcTotalsType(TCalcTotalsType value);
    //! Opens an update bracket: CalcTotals waits until the outermost one closes.
    void BeginTotalsUpdate() { ++TotalsUpdateCount; }
    //! Closes a bracket; the outermost one recomputes.
    void EndTotalsUpdate();
    //! Adds a record that was just stored to the totals (the single-record add path).
    void AddRecordToTotals(TMemoryRecord* record);
    //! Nesting depth of BeginTotalsUpdate.
    int TotalsUpdateCount = 0;
    //! Per total field, the total without the record being posted (before-post step).
    std::vector<Variant> SavedTotals;

    // ---- key indexes
    //! Key indexes kept up to date by this dataset (not owned).
    std::vector<TQelODBCClientIndex*> Indexes;
    //! The second index whose table of groups this dataset shows (not owned).
    TQelODBCClientIndex2* SecondIndex = nullptr;
    //! The tree that arranges the records (not owned; set by the tree's SetDataSet).
    TQelODBCClientTree2* Tree = nullptr;
    //! Each posted change is written to the database; false keeps changes in memory,
    //! marked by the records' UpdateStatus.
    bool DoPostToDB = true;

    // ---- members
    //! Ordered record list; a record's position is its record index. The records are owned by
    //! the dataset (created by AddRecord, freed by RemoveRecord and ClearRecords).
    std::vector<TMemoryRecord*> Records;
    //! The full list while a record subset is in force, else nullptr.
    std::unique_ptr<std::vector<TMemoryRecord*>> UnfilteredRecords;
    //! Index of the cursor's record; -1 before the first, RealRecordCount after the last.
    int RecordPos = -1;
    std::int32_t LastRecordID = kNoRecordID;
    std::uint16_t RecordSize = 0;
    int BlobCount = 0;
    //! ftBlob and ftMemo fields in field order; a field's position is its blob slot.
    std::vector<TField*> BlobFields;
    //! Slot offset per definition of FieldDefList.
    std::vector<std::int32_t> FieldOffsets;
    //! New records get a data area and blob values of their own (false while rows are handed over).
    bool AllocRecordData = true;
    bool CursorOpen = false;
    //! Refuses edits. Opened read-only from a select, text slots are laid out as wide as the
    //! longest value loaded rather than for the declared width; writing a longer text into
    //! such a slot later raises instead of cutting it.
    bool ReadOnly = false;
    //! Fields whose running totals are kept.
    std::vector<TField*> TotalFields;
    //! Records loaded by the open path.
    bool DataLoaded = false;

    // Record buffer offsets (see the layout above).
    int BookmarkOfs = 0, BlobOfs = 0, ChangedOfs = 0, RecIndexOfs = 0, RecBufSize = 0;

    //! Offsets of the ftVariant slots of the data area (they own heap values).
    const std::vector<std::int32_t>& VariantSlots() const { return variantSlots_; }
    //! Releases the Variants held by the ftVariant slots of a data area.
    void ReleaseVariantSlots(std::uint8_t* area) const;
    //! Copies a data area of RecordSize bytes, deep-copying ftVariant slots (dst is released first).
    void CopyDataArea(std::uint8_t* dst, const std::uint8_t* src) const;

    // ---- loading from an SQL select over a connection

    TQelODBCConnection* Connection() const { return connection_; }
    //! Leaves the old connection's clients, joins the new one's; the select statement follows.
    void SetConnection(TQelODBCConnection* connection);

    //! The select text.
    const std::string& GetSQL_Select() const;
    //! Sets the select text; unless it is blank, unchanged or SQL_Select_InitFields is off,
    //! describes the result and creates one field definition and field object per column.
    void SetSQL_Select(const std::string& text);
    TQelODBCParams& SQL_Select_Params();
    //! Create the fields when the select text is set.
    bool SQL_Select_InitFields = true;
    //! Called after the select text was set.
    std::function<void(TQelODBCClient&)> OnSQL_SelectChange;
    //! Records are marked not loaded (re-read on first access).
    bool DoResyncRecordOnFirstAccess = false;
    //! Called after the rows were loaded.
    std::function<void(TQelODBCClient&)> AfterDataLoad;
    //! Told the rows read so far while a load runs (every few hundred rows, on the loading
    //! thread); false stops the load: the open fails with EAbort and the dataset stays closed.
    std::function<bool(std::int64_t rows)> OnLoadProgress;
    //! Row cap of the select statement (applied when the connection has one).
    void SetCheckRecordCount(bool value);
    void SetMaxRecordCount(int value);

    //! Diagnostic texts (SQLSTATE followed by the message) gathered since the last open; the
    //! first thousand are kept.
    std::vector<std::string> Errors;

    //! Replaces the field definitions by the statement's described result columns.
    void CopyStructure(TQelODBCQuery& statement);
    //! Lays the statement's result columns onto the record: the hook of the select statement.
    void OnCreateODBCField(TQelODBCQuery& statement);
    //! Takes the slot lengths of the statement's rows where reading widened them (a loaded
    //! value longer than its slot), and lays the record out again to match.
    void AdoptRowLayout(const TQelODBCQuery& statement);
    //! Lays the text slots out empty before a read-only load; the rows widen them.
    void NarrowTextSlots();
    //! The error handler of the statements: appends the text.
    void CheckODBCError(const std::string& sqlState, const std::string& message);

    void SetActive(bool value) override;

    // ---- opening: statements, parameters, re-reading (ODBCClientParams.cpp)

    //! The re-read statement of one record, its parameters named after fields.
    const std::string& GetSQL_Resync() const;
    void SetSQL_Resync(const std::string& text);
    TQelODBCParams& SQL_Resync_Params();
    //! The delete statement (no rows fetched).
    const std::string& GetSQL_Delete() const;
    void SetSQL_Delete(const std::string& text);
    TQelODBCParams& SQL_Delete_Params();
    //! The insert statement; fetches the inserted row when SQL_Insert_WithResync.
    const std::string& GetSQL_Insert() const;
    void SetSQL_Insert(const std::string& text);
    TQelODBCParams& SQL_Insert_Params();
    //! Per field of the dataset, the select statement's column of the same name, -1 for none;
    //! built at each load, empty while closed.
    std::vector<int> ColumnMap;
    //! Called after a record was stored from a row or a post (dataset, record index).
    std::function<void(TQelODBCClient&, int)> OnInitRecord;
    //! Called after a parameter took its value from a record (dataset, record index, parameter).
    std::function<void(TQelODBCClient&, int, TQelODBCParam&)> OnGetParamValue;
    //! Display text of the record count, one integer placeholder; stored only.
    std::string RecordCountInfo = "Всего записей=%d";
    //! The Active value given while the component was being set up (BeginLoading .. Loaded).
    bool StoredActive = false;
    //! Starts setting the component up: SetActive only stores StoredActive.
    void BeginLoading() { loading_ = true; }
    //! Ends setting up: opens when StoredActive.
    void Loaded();
    bool Loading() const { return loading_; }
    //! Fills statement's parameters from record RecordPos: "OLD_" names the before-image of
    //! the field named by the rest, others the current value; then OnGetParamValue.
    void SetParams(TQelODBCQuery& statement);
    //! The parameter callback of the write statements and of a nested dataset's select: the
    //! value from PostBuffer, else the active buffer ("OLD_" names: the before-image when the
    //! buffer has one); then OnGetParamValue with the buffer's record index.
    void SetParamValue(TQelODBCParam& param);
    //! Gives a parameter the data type, precision and size of the field definition of its name.
    void CheckParamName(TQelODBCParam& param);
    //! Every select parameter named after a field of master takes that field's current value.
    void AssignSelectParamsFrom(TDataSet& master);
    //! Re-reads record index with SQL_Resync (nothing without a resync text); totals follow.
    void ResyncData(int index);
    //! The first row the statement fetched replaces record RecordPos (its before-image goes);
    //! false when it fetched none.
    bool ReadRecordFromRecordset(TQelODBCQuery& statement);
    //! The first row the statement fetched replaces the values of buffer (before-image cleared).
    bool ReadRecordFromRecordset(TQelODBCQuery& statement, TRecordBuffer buffer);

    // ---- editing and posting (ODBCClientPost.cpp)

    //! Name of the key field; after an insert it must have a value, and a new detail record
    //! takes the master's value of it.
    std::string KeyName;
    //! Name of a field describing the key; stored only.
    std::string KeyDescrName;
    //! Table or view the data comes from; set by SetOriginalTblName.
    std::string TblName;
    const std::string& OriginalTblName() const { return originalTblName_; }
    //! Generates the select, resync, insert and delete texts and the fields' update scripts
    //! from one base name (without a connection from the fields already defined).
    void SetOriginalTblName(const std::string& name);
    //! Template of one update statement: "%TBL%", "%KEY%" and "%VAL%" are replaced.
    std::string Update_mask = kUpdateMaskDefault;
    //! When set, the whole update command in place of the generated statements.
    std::string UpdateCommand;
    //! Appended after the update statements to return the updated row.
    std::string ResyncCommand;
    //! Confirmation text for deleting; not asked by the dataset.
    std::string DelQuestion;
    //! Every generated update statement and UpdateCommand must change a row: each is run on
    //! its own inside the post's transaction and one that changes none fails the post with
    //! the changed-by-another-user message. For servers whose dialect cannot raise it
    //! from the template (kUpdateMaskPlain).
    bool Update_CheckRowCount = false;
    //! The insert statement returns the inserted row, which replaces the posted values.
    bool SQL_Insert_WithResync = true;
    enum TSign { snPlus, snMinus };
    //! Sign of generated automatic-increment values.
    TSign AutoIncSign = snPlus;
    //! Next automatic-increment value; back to 1 on close.
    std::int32_t NextAutoIncValue = 1;
    //! Field names (";"-separated) a new record of a nested dataset copies from the parent's
    //! active record.
    std::string FieldsForUpdateFromMainDataSetBeforInsert;
    //! After the insert statement ran: (dataset, copy of the buffer before, buffer after).
    std::function<void(TQelODBCClient&, TRecordBuffer before, TRecordBuffer after)> AfterInsertToDB;
    //! Records with a pending in-memory change (UpdateStatus not 0).
    std::vector<TMemoryRecord*> ChangedRecords;
    //! The buffer whose values the write statements' parameters take during a write.
    TRecordBuffer PostBuffer = nullptr;
    bool GetDoPostToDB() const { return DoPostToDB; }
    //! Forgets every pending in-memory change, then stores the value.
    void SetDoPostToDB(bool value);
    //! Forgets every pending in-memory change (statuses back to 0, ChangedRecords empty).
    void ClearChangedRecords();
    //! Writes a new record: the insert statement in an own transaction.
    void InsertRecordToDB(TRecordBuffer buffer);
    //! Writes the changed fields of buffer: the update command in an own transaction.
    void UpdateRecordToDB(TRecordBuffer buffer);
    //! Deletes record from the database with the delete statement.
    void DeleteRecordFromDB(TMemoryRecord* record);
    //! The update command for buffer's changed fields, pieces in order ("\r"-joined by the
    //! caller), parameters not yet converted; empty when nothing takes part.
    std::vector<std::string> UpdatePieces(TRecordBuffer buffer, std::vector<bool>* checked = nullptr);
    //! Turns ":name" markers into "?" and gives statement one parameter per marker.
    //! Parameters are added after those statement has with append, else they replace them.
    std::string PrepareParams(const std::string& text, TQelODBCQuery& statement, bool append = false);
    //! Fills the automatic-increment fields of buffer.
    void SetAutoIncFields(TRecordBuffer buffer);
    //! Removes record (its main record for a copy) and every copy of it.
    void RemoveRecord(TMemoryRecord* record);
    //! The add-record path: buffer (a record buffer of this dataset) becomes a new record,
    //! appended or after RecordPos, written first with DoPostToDB; totals grow by it.
    void InternalAddRecord(TRecordBuffer buffer, bool append);

    // ---- linked datasets: a second view of another dataset's records, and master and detail
    //! The dataset whose records this one shows (sharing their data), nullptr for none.
    TQelODBCClient* DataFrom() const { return dataFrom_; }
    //! Leaves the old source's clients, copies the new source's field definitions and joins
    //! its clients; the records get no data of their own while a source is set.
    void SetDataFrom(TQelODBCClient* source);
    //! Datasets whose DataFrom is this one (not owned).
    std::vector<TQelODBCClient*> DataClients;
    //! The master whose current record gives this dataset's select parameters.
    TQelODBCClient* MasterData() const { return masterData_; }
    //! Leaves the old master's details and joins the new master's (once).
    void SetMasterData(TQelODBCClient* master);
    //! Datasets whose MasterData is this one (not owned).
    std::vector<TQelODBCClient*> Details;
    //! The last open found the master empty: the dataset stayed closed.
    bool MasterEmpty = false;
    //! The parent of a nested dataset (the dataset of the parent's dataset field): select
    //! parameters and listed initial values come from its active record (not owned).
    TQelODBCClient* NestedParent() const { return nestedParent_; }
    void SetNestedParent(TQelODBCClient* parent);
    //! Re-opens every active (or master-empty) detail whose parameters the current record changes.
    void RefreshDetails();
    //! Some select parameter of detail is named like a field of this dataset and holds
    //! another value than that field's current one.
    bool MasterParamsChanged(TQelODBCClient* detail);

    void ConnectionClosing() override { Close(); }
    void ConnectionDestroyed(TQelODBCConnection* connection) override;

protected:
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& buffer) override;
    void InternalInitRecord(TRecordBuffer buffer) override;
    void InitRecord(TRecordBuffer buffer) override;
    void ClearCalcFields(TRecordBuffer buffer) override;
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;

    //! Lays out the stored fields and blob slots, loads the records (LoadData), puts the
    //! cursor before the first record.
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return CursorOpen; }
    void InternalFirst() override { RecordPos = -1; }
    void InternalLast() override { RecordPos = RealRecordCount(); }
    void OpenCursor(bool infoQuery) override;
    //! Fills Records when the dataset opens: every row of the select statement, or
    //! nothing when there is no select text (fields defined in code, records added later).
    virtual void LoadData();

    void InternalInsert() override;
    void InternalPost() override;
    //! Initial values of a new record (a detail's master key, a nested record's values from
    //! its parent), then OnNewRecord.
    void DoOnNewRecord() override;
    //! The total and blob lists forget a field that is gone.
    void FieldRemoved(TField* field) override;
    void InternalDelete() override;
    void InternalCancel() override;
    bool GetCanModify() override { return !ReadOnly; }
    //! Prepares the totals without the record being posted, then the before-post event.
    void DoBeforePost() override;
    //! The after-post event, then the totals with the posted record.
    void DoAfterPost() override;
    //! Renumbers the siblings of a record deleted from a tree, then the after-delete event.
    void DoAfterDelete() override;
    //! The cursor's record moved: details follow it (not while inserting).
    void DoAfterScroll() override;
    void Notification(TComponent* component, TOperation operation) override;

    void InternalGotoBookmark(const void* bookmark) override;
    void InternalSetToRecord(TRecordBuffer buffer) override;
    void GetBookmarkData(TRecordBuffer buffer, void* data) override;
    void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    int GetRecNo() override;
    void SetRecNoImpl(int value) override;
    int GetRecordCount() override;

    //! Record index field's value in the stored form, decoded (record form).
    virtual void InternalGetFieldValueFromBuffer(const TField* field, TMemoryRecord* record, Variant& value,
                                                 const std::string& version);

private:
    friend class TMemoryRecord;
    std::uint64_t storeGeneration_ = 0;
    // Stored field entries left out when the fields were made; said again in Errors at each open.
    std::vector<std::string> fieldInfoNotices_;
    void RecordToBuffer(TMemoryRecord* record, TRecordBuffer buffer, int index);
    int FindMatch(const std::string& keyFields, const Variant& keyValues, const TLocateOptions& options);
    //! Key fields against record index: sign of key minus record, field by field.
    int CompareLocateKeys(const std::vector<TField*>& fields, const std::vector<Variant>& keys, int index,
                          const TLocateOptions& options);
    //! Sets FilteredOut of record index from the compiled filter and OnFilterRecord.
    void FilterRecord(int index);
    //! Forgets the compiled filter and the fields it read.
    void ResetFilterExpression();
    //! Re-reads the cursor's record after the record list or its visibility changed.
    void ResyncCursor();
    std::string* BlobAt(TRecordBuffer half, int slot) const;
    int BlobSlotOf(const TField* field) const;
    void TakeBeforeImage(TRecordBuffer buffer);
    void DecodeStored(const TField* field, const std::uint8_t* slot, Variant& value) const;
    void EncodeStored(const TField* field, std::uint8_t* slot, const Variant& value) const;
    void WriteBlob(const TField* field, std::string& blob, const Variant& value) const;

    //! FieldOffsets, field slot offsets and RecordSize from the definitions and the fields'
    //! slot lengths.
    void LayOutSlots();
    //! Gives every stored field its slot offset from FieldOffsets; lists the Variant slots.
    void BindFieldSlots();
    //! Opens the select's cursor only to take its result columns as field definitions.
    void DescribeSelect();
    void CreateFieldObjects();
    std::string FieldComponentName(const std::string& fieldName, int defIndex) const;

    TQelODBCConnection* connection_ = nullptr;
    TQelAccessManager* accessManager_ = nullptr;
    std::unique_ptr<TQelODBCQuery> select_;
    std::unique_ptr<TQelODBCQuery> resync_;
    std::unique_ptr<TQelODBCQuery> delete_;
    std::unique_ptr<TQelODBCQuery> insert_;
    //! The update command's statement, kept prepared while posts send the same text.
    std::unique_ptr<TQelODBCQuery> update_;
    bool loading_ = false;
    std::string originalTblName_;
    //! Runs a write statement in an own transaction with the parameter callback SetParamValue.
    void ExecuteWrite(TQelODBCQuery& statement, TRecordBuffer buffer);
    //! The record's pending status, kept in ChangedRecords.
    void MarkChanged(TMemoryRecord* record, TMemRecordStatus status);
    //! Clears the record's and the buffer's changed flags after a write.
    void ClearChangedFlags(TMemoryRecord* record, TRecordBuffer buffer);
    //! Blob values of each record buffer half, BlobCount strings per half.
    std::unordered_map<const std::uint8_t*, std::unique_ptr<std::string[]>> bufferBlobs_;
    //! Every record of the dataset, in no particular order: their owner.
    std::vector<std::unique_ptr<TMemoryRecord>> recordStore_;
    std::vector<std::int32_t> variantSlots_;
    int insertIndex_ = -1;  // where an insert is placed on post
    // The parent of a record deleted from a tree, whose children are renumbered after the
    // delete: its record (nullptr for the top level), and whether there is one to renumber.
    TMemoryRecord* correctParent_ = nullptr;
    bool correctPending_ = false;

    // Linked datasets.
    //! Before opening: the master's values into the select parameters; false when the
    //! master is empty (the dataset stays closed, MasterEmpty set).
    bool TakeMasterParams();
    //! A view takes its source's record layout: the data areas it reads are the source's.
    void AdoptSourceLayout();
    //! Fills a view's records from its source's.
    void LoadFromSource();
    //! Index of the record sharing source's data, -1 when none.
    int FindSourceRecord(const TMemoryRecord* source) const;
    //! The source posted a new record at index / an edit of record / removes record.
    void SourceInserted(TMemoryRecord* record, int index);
    void SourceEditing(TMemoryRecord* record, bool before);
    void SourceRemoving(TMemoryRecord* record);
    //! Active views re-read their current record.
    void ResyncClients();
    void CloseClients();
    void DetachLinks();
    TQelODBCClient* dataFrom_ = nullptr;
    TQelODBCClient* masterData_ = nullptr;
    TQelODBCClient* nestedParent_ = nullptr;
    //! A nested dataset's parameter value from the parent's active buffer: "OLD_" + name
    //! reads the before-image, any other name the current value of the field of that name.
    void TakeNestedParams();

    // Ordering.
    std::vector<TOrderKey> ParseOrderKeys() const;
    void SortRecords(const std::vector<TOrderKey>& keys);
    std::string orderBy_;
    std::vector<TOrderKey> orderKeys_;

    // Totals.
    bool CountsInTotals(const TMemoryRecord* record) const;
    //! The totals without a record that is about to go (empty when it does not count).
    std::vector<Variant> TotalsWithout(TMemoryRecord* record);
    TCalcTotalsType calcTotalsType_ = cttOnlyVisible;
    TMemoryRecord* postedRecord_ = nullptr;  // the record the last InternalPost stored
    bool postCounted_ = false;               // it counted in the totals before the post

    // Key indexes.
    void RebuildIndexes();
    //! Refuses (raises) a key already held by a unique index; self is ignored.
    void CheckUniqueIndexes(const std::uint8_t* area, const TMemoryRecord* self) const;
    // A field the compiled filter reads, with what its straight slot read needs.
    struct TFilterField {
        const TField* Field = nullptr;
        IODBCField* Odbc = nullptr;
        TValueCodec Codec;
        bool Direct = false;  // read from the slot; other kinds go through GetFieldValueFromBuffer
    };
    std::unique_ptr<TQelExpration> expression_;
    mutable std::vector<std::unique_ptr<TFilterField>> filterFields_;  // fields the compiled filter reads
    Variant filterResult_;  // kept between records so that evaluation reuses its buffers
};

}  // namespace kubrix
