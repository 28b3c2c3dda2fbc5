#pragma once
// A cursor-based dataset: a current record seen through a record buffer, field objects
// that read and write that buffer, the browse/edit/insert cycle with its events, bookmarks,
// calculated and lookup fields, and data events to the data sources that watch it.
// A concrete dataset supplies the record buffers and the cursor through the protected
// virtual operations; the in-memory dataset is one.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/Component.h"
#include "dataset/Field.h"
#include "dataset/FieldDefs.h"
#include "support/FieldTypes.h"
#include "support/Variant.h"

namespace kubrix {

class TDataSource;
class TDataSet;

//! Bookmark bytes of a record; empty for none.
using TBookmark = std::vector<std::uint8_t>;
using TRecordBuffer = std::uint8_t*;

using TDataSetNotifyEvent = std::function<void(TDataSet& dataSet)>;
//! Asked for each record a filter is applied to; may change hide.
using TFilterRecordEvent = std::function<void(TDataSet& dataSet, bool& hide)>;

//! What a data event tells the data sources.
enum class TDataEvent {
    deFieldChange,      //!< info: the TField* whose value changed
    deRecordChange,     //!< info: the TField* or 0 for the whole record
    deDataSetChange,    //!< contents changed (open, refresh, post, delete)
    deDataSetScroll,    //!< info: distance moved
    deLayoutChange,     //!< fields added, removed or shown differently
    deUpdateRecord,     //!< controls must write their pending edits
    deUpdateState,      //!< state changed (edit, insert, browse, active)
    deCheckBrowseMode,  //!< a move is about to happen
};

enum class TGetMode { gmCurrent, gmNext, gmPrior };
enum class TGetResult { grOK, grBOF, grEOF, grError };
//! Bookmark flag of a buffer: current record, before first, after last, being inserted.
enum TBookmarkFlag : std::uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

//! Options of Locate.
struct TLocateOptions {
    bool CaseInsensitive = false;
    bool PartialKey = false;
};

//! Field names of a ";"-separated list, blanks trimmed.
std::vector<std::string> SplitFieldNames(const std::string& names);
//! Whether a field value matches a search key (text as text, numbers as numbers).
bool LocateValueMatches(const Variant& value, const Variant& key, const TLocateOptions& options);
//! The key values of a search on fieldCount fields (a Variant array for several).
std::vector<Variant> LocateKeys(std::size_t fieldCount, const Variant& keyValues);

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* owner = nullptr);
    ~TDataSet() override;

    // ---- state and opening
    TDataSetState State() const { return state_; }
    bool Active() const { return state_ != dsInactive; }
    //! Opens or closes (BeforeOpen/AfterOpen, BeforeClose/AfterClose around it).
    virtual void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    //! Raises "Cannot perform this operation on a closed dataset" when inactive.
    void CheckActive() const;
    void CheckInactive() const;
    bool IsEmpty() const { return Active() && bof_ && eof_ && state_ != dsInsert; }
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    //! A value of the record being edited or inserted was changed.
    bool Modified() const { return modified_; }

    // ---- structure
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    //! Every definition, children after their parent (the order of record slots).
    const std::vector<TFieldDef*>& FieldDefList() const { return fieldDefList_; }
    //! Rebuilds FieldDefList from FieldDefs (numbers each definition).
    void UpdateFieldDefList();
    const std::vector<TField*>& Fields() const { return fields_; }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    TField* FindField(const std::string& name) const;
    //! Raises "Field '%s' not found" for an unknown name.
    TField* FieldByName(const std::string& name) const;
    //! The data field of the definition number, nullptr when none.
    TField* FieldByNumber(int fieldNo) const;
    //! The field objects were created by the dataset when it opened (none were given).
    bool DefaultFields() const { return defaultFields_; }
    //! Size of the calculated-field area of a record buffer.
    int CalcFieldsSize() const { return calcFieldsSize_; }

    // ---- navigation
    void First();
    void Last();
    void Next();
    void Prior();
    //! Moves by distance records; returns how many were moved (signed).
    int MoveBy(int distance);
    int RecNo() { return GetRecNo(); }
    void SetRecNo(int value) { SetRecNoImpl(value); }
    int RecordCount() { return GetRecordCount(); }
    //! Re-reads the current record from the cursor (after changes behind the buffers).
    virtual void Resync();
    //! Re-reads the current record and tells the data sources.
    void Refresh();

    // ---- editing
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    //! Posts a pending edit or insert (UpdateRecord first); nothing in browse state.
    void CheckBrowseMode();
    //! Makes data-aware controls write their pending changes.
    void UpdateRecord();
    //! Whether the dataset accepts changes.
    bool CanModify() { return GetCanModify(); }

    // ---- bookmarks
    TBookmark GetBookmark();
    void GotoBookmark(const TBookmark& bookmark);
    virtual bool BookmarkValid(const TBookmark& bookmark);
    //! -1, 0 or 1 by the order of the two records.
    virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b);
    int BookmarkSize() const { return bookmarkSize_; }

    // ---- searching
    //! Moves to the first record whose keyFields (";"-separated) equal keyValues (a Variant
    //! array for several fields); false (cursor unchanged) when none.
    virtual bool Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options = {});
    //! resultField's value of the first matching record, Null when none; the cursor stays.
    virtual Variant Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultField);

    // ---- filtering (the dataset decides what a filter hides)
    //! The filter text.
    const std::string& Filter() const { return filter_; }
    virtual void SetFilterText(const std::string& text) { filter_ = text; }
    //! Whether the filter hides the records it rejects.
    bool Filtered() const { return filtered_; }
    virtual void SetFiltered(bool value) { filtered_ = value; }
    const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
    virtual void SetOnFilterRecord(TFilterRecordEvent handler) { onFilterRecord_ = std::move(handler); }

    // ---- data-aware controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }
    //! Sends the event to every data source (and so to their links).
    void DataEvent(TDataEvent event, std::intptr_t info = 0);

    // ---- raw field data (the contract of the field objects)
    //! Reads field's raw value from the current buffer; false for null.
    virtual bool GetFieldData(TField* field, void* buffer) = 0;
    //! As GetFieldData; nativeFormat true is the form the field classes use.
    virtual bool GetFieldData(TField* field, void* buffer, bool nativeFormat);
    virtual void SetFieldData(TField* field, const void* buffer) = 0;
    virtual void SetFieldData(TField* field, const void* buffer, bool nativeFormat);
    //! Field's value in the given state (old-value, new-value, ...).
    virtual Variant GetStateFieldValue(TDataSetState state, TField* field);

    TRecordBuffer ActiveBuffer() const { return activeBuffer_; }
    TRecordBuffer CalcBuffer() const { return calcBuffer_; }
    TRecordBuffer TempBuffer() const { return tempBuffer_; }

    // ---- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;

    //! Whether the field is one of the keys the records are ordered by.
    virtual bool GetIsIndexField(const TField*) const { return false; }

    //! The class of field object made for a field type.
    virtual TFieldClass GetFieldClass(TFieldType type) const { return DefaultFieldClass(type); }

protected:
    // ---- record buffers (supplied by the concrete dataset)
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
    //! InternalInitRecord, then clears the calculated fields.
    virtual void InitRecord(TRecordBuffer buffer);
    //! Zeroes the calculated-field area of buffer.
    virtual void ClearCalcFields(TRecordBuffer buffer);
    //! Fills buffer with the current (gmCurrent), next or prior record and moves the cursor.
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;

    // ---- cursor
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual void InternalInitFieldDefs() {}
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual void InternalHandleException() {}
    //! Opens the cursor: field definitions, fields, InternalOpen.
    virtual void OpenCursor(bool infoQuery);
    virtual void CloseCursor();

    // ---- editing hooks
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalPost() = 0;
    virtual void InternalCancel() {}
    virtual void InternalDelete() = 0;
    virtual bool GetCanModify() { return true; }
    //! The before-post step: BeforePost.
    virtual void DoBeforePost() { Fire(BeforePost, *this); }
    //! The after-post step: AfterPost.
    virtual void DoAfterPost() { Fire(AfterPost, *this); }
    //! A field left the dataset (destroyed or moved): lists that name it forget it.
    virtual void FieldRemoved(TField*) {}
    //! Initial values of a new record: OnNewRecord.
    virtual void DoOnNewRecord() { Fire(OnNewRecord, *this); }
    //! The after-delete step: AfterDelete.
    virtual void DoAfterDelete() { Fire(AfterDelete, *this); }
    //! The after-scroll step: linked datasets follow the cursor here.
    virtual void DoAfterScroll() { Fire(AfterScroll, *this); }

    // ---- bookmarks and record numbers
    virtual void InternalGotoBookmark(const void* bookmark) = 0;
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    virtual void GetBookmarkData(TRecordBuffer buffer, void* data) = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, const void* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
    virtual int GetRecNo() { return -1; }
    virtual void SetRecNoImpl(int) {}
    virtual int GetRecordCount() { return -1; }

    // ---- fields
    //! Makes field definitions from the field objects when there are none.
    virtual void InitFieldDefsFromFields();
    //! Creates one field object per field definition (default fields).
    void CreateFields();
    void DestroyFields();
    //! Numbers the fields against the definitions and lays out calculated fields.
    void BindFields(bool binding);
    //! Computes calculated and lookup fields into buffer (calculate-fields state).
    void GetCalcFields(TRecordBuffer buffer);
    virtual void CalculateFields(TRecordBuffer buffer);

    // ---- state helpers
    void SetState(TDataSetState value);
    //! Switches to a temporary state and returns the one to restore.
    TDataSetState SetTempState(TDataSetState value);
    void RestoreState(TDataSetState value);
    //! Puts the cursor on the active buffer's record.
    void UpdateCursorPos();
    void SetModified(bool value) { modified_ = value; }
    void SetBookmarkSize(int size) { bookmarkSize_ = size; }
    //! Re-reads the active buffer at the cursor; empty when no record is left.
    void ReadCurrentRecord();
    //! The cursor was put on another record: reads it and tells the data sources.
    void CursorMoved();
    //! Called after a field value changed (change notification, recalculation).
    void DataChanged(TField* field);

    void CheckRequiredFields();
    void CheckEditState() const;

private:
    void BeginInsert(bool append);
    friend class TField;
    friend class TDataSource;
    void AddField(TField* field);
    void RemoveField(TField* field);
    void AllocateBuffers();
    void FreeBuffers();
    void DoOpen();
    void DoClose();
    static void Fire(const TDataSetNotifyEvent& ev, TDataSet& ds) { if (ev) ev(ds); }

    TDataSetState state_ = dsInactive;
    bool bof_ = true, eof_ = true, modified_ = false;
    bool defaultFields_ = false;
    int disableCount_ = 0;
    int calcFieldsSize_ = 0;
    int bookmarkSize_ = 0;
    TRecordBuffer activeBuffer_ = nullptr;
    TRecordBuffer calcBuffer_ = nullptr;
    TRecordBuffer tempBuffer_ = nullptr;
    TRecordBuffer spareBuffer_ = nullptr;
    TFieldDefs fieldDefs_;
    std::vector<TFieldDef*> fieldDefList_;
    std::vector<TField*> fields_;
    std::vector<TDataSource*> dataSources_;
    bool pendingChange_ = false;
    std::string filter_;
    bool filtered_ = false;
    TFilterRecordEvent onFilterRecord_;  // a data set change held back while controls are disabled
};

}  // namespace kubrix
