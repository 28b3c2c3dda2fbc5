#pragma once
// Records kept in memory in the stored form, read through the record source interface: for
// readers of records that need no dataset (the pivot's benchmarks and tests, rows prepared
// elsewhere). Columns are laid out once; each value is written through the value codec, and
// memo texts are kept beside the data area. Opening and closing are told to the listeners.

#include <cstdint>
#include <string>
#include <vector>

#include "support/RecordSource.h"
#include "support/ValueCodec.h"
#include "support/Variant.h"

namespace kubrix {

class TMemoryRecordSource : public TRecordSource {
public:
    //! A column as it is declared.
    struct TColumn {
        std::string Name;
        TFieldType DataType = ftUnknown;
        //! Characters for text, decimals for BCD; 0 where the type has no size.
        int Size = 0;
    };

    TMemoryRecordSource() = default;
    //! Lays the columns out (closed, without records).
    explicit TMemoryRecordSource(const std::vector<TColumn>& columns);
    ~TMemoryRecordSource() override;

    //! Lays the columns out anew and drops every record; raises while open.
    void SetColumns(const std::vector<TColumn>& columns);
    //! Makes the records readable and tells the listeners (nothing when open already).
    void Open();
    //! Drops every record and tells the listeners that they went (as a dataset closes).
    void Close();
    //! Drops every record.
    void Clear();

    //! Appends a record of values, one per column (missing ones null); returns its position.
    int AddRecord(const std::vector<Variant>& values = {});
    //! Writes a value (null: Null or Empty); raises for a value the column's type does not take.
    void SetValue(int record, int column, const Variant& value);
    //! The value as the column's type gives it.
    Variant Value(int record, int column) const;
    //! The slot of a column in a record, for writing in the stored form (not for a memo).
    std::uint8_t* Slot(int record, int column);
    //! The codec of a column.
    const TValueCodec& Codec(int column) const;
    //! Position of a column by name, -1 when none.
    int ColumnIndex(const std::string& name) const;
    void SetDisplayLabel(int column, const std::string& label);
    void SetDisplayFormat(int column, const std::string& format);
    //! Reserves room for records.
    void Reserve(int records);

    bool Active() const override { return active_; }
    int RecordCount() const override { return active_ ? count_ : 0; }
    int FieldCount() const override { return static_cast<int>(fields_.size()); }
    TRecordField Field(int index) const override;
    const std::uint8_t* RecordData(int record) const override;
    const std::string* BlobData(int record, int field) const override;

private:
    void CheckRecord(int record) const;
    void CheckColumn(int column) const;

    std::vector<TRecordField> fields_;
    std::vector<TValueCodec> codecs_;
    //! Per column: its place among the blob texts of a record, -1 for a slot column.
    std::vector<int> blobOf_;
    int blobCount_ = 0;
    std::size_t recordSize_ = 0;
    int count_ = 0;
    bool active_ = false;
    std::vector<std::uint8_t> data_;   // recordSize_ bytes per record
    std::vector<std::string> blobs_;   // blobCount_ texts per record
};

}  // namespace kubrix
