#pragma once
// A read-only view of a set of records in their stored form, for readers that need the
// values and nothing of the dataset behind them (the pivot model). Records are addressed by
// their position in the full record list: a subset the owner shows (a drill-down) does not
// renumber them. Listeners hear when the records appear or go.

#include <cstdint>
#include <string>
#include <vector>

#include "support/FieldTypes.h"

namespace kubrix {

//! One column of a record source.
struct TRecordField {
    //! The column's name; the key of every look-up.
    std::string Name;
    //! The caption shown for the column.
    std::string DisplayLabel;
    TFieldType DataType = ftUnknown;
    //! Declared size (characters for text, digits after the point for BCD).
    std::int32_t Size = 0;
    //! Offset of the slot (flag byte, then the value) in a record's data area; -1 when the
    //! value is not kept there.
    std::int32_t Offset = -1;
    //! Bytes of the slot, flag included.
    std::int32_t SlotSize = 0;
    //! The value is a text kept beside the data area (BlobData), not in a slot.
    bool Blob = false;
    //! Display format of a date-time column; empty for the default.
    std::string DisplayFormat;
};

//! What a record source tells its listeners.
enum class TRecordSourceChange {
    Opened,     //!< the records can be read (the field list may be new)
    Closed,     //!< no records any more
    Destroyed,  //!< the source goes away: drop every reference to it
};

class TRecordSource;

//! Hears a record source's changes.
class IRecordSourceListener {
public:
    virtual void RecordSourceChanged(TRecordSource& source, TRecordSourceChange change) = 0;

protected:
    ~IRecordSourceListener() = default;
};

class TRecordSource {
public:
    TRecordSource() = default;
    //! Tells the listeners that the source goes (Destroyed); a subclass says Closed before.
    virtual ~TRecordSource();
    TRecordSource(const TRecordSource&) = delete;
    TRecordSource& operator=(const TRecordSource&) = delete;

    //! The records can be read.
    virtual bool Active() const = 0;
    //! Records held, whatever subset is shown; 0 while not active.
    virtual int RecordCount() const = 0;
    virtual int FieldCount() const = 0;
    //! Column index (0..FieldCount() - 1).
    virtual TRecordField Field(int index) const = 0;
    //! Data area of a record (0..RecordCount() - 1); raises for an index outside.
    virtual const std::uint8_t* RecordData(int record) const = 0;
    //! The text of a blob column in a record; nullptr when the column keeps none.
    virtual const std::string* BlobData(int record, int field) const = 0;

    //! The value of a column in a record: the slot address, or for a blob column the address
    //! of its std::string; nullptr when the column has neither.
    const void* FieldData(int record, int field) const;

    //! A number that changes whenever the records may have changed (opened, closed, written,
    //! added, removed, narrowed), so that a reader may keep what it derived from them while
    //! the number stands.
    virtual std::uint64_t Generation() const { return generation_; }

    //! Adds a listener (once); it must be removed, or hear Destroyed, before it goes.
    void AddListener(IRecordSourceListener* listener);
    void RemoveListener(IRecordSourceListener* listener);

protected:
    //! Tells every listener, those added or removed meanwhile aside (a new generation first).
    void Notify(TRecordSourceChange change);
    //! The records changed: readers drop what they derived from them.
    void Touch() { ++generation_; }

private:
    std::uint64_t generation_ = 0;
    std::vector<IRecordSourceListener*> listeners_;
};

}  // namespace kubrix
