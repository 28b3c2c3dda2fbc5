#pragma once
// The stream through which a blob field reads and writes its value in a record buffer of the
// in-memory dataset. Reading and writing go to a working copy of the plain (decompressed)
// value, which replaces the buffer's value when the stream is destroyed; a stream on a
// buffer that is not the active one reads the cursor's record as stored.

#include <cstddef>
#include <cstdint>
#include <string>

#include "dataset/QelODBCClient.h"
#include "support/StorageStream.h"

namespace kubrix {

class TMemBlobStream {
public:
    //! Opens field's value in the record buffer of the dataset's state. Writing modes check
    //! at once: a read-only field raises "Field '%s' cannot be modified", a dataset outside
    //! the edit and insert states "Dataset not in edit or insert mode". Write mode starts
    //! from an empty value.
    TMemBlobStream(TField* field, TBlobStreamMode mode);
    //! Stores a written working copy into the buffer and tells the data sources; an error of
    //! that notice goes to the user, never to the caller.
    ~TMemBlobStream();
    TMemBlobStream(const TMemBlobStream&) = delete;
    TMemBlobStream& operator=(const TMemBlobStream&) = delete;

    //! Reads up to count bytes at Position; returns how many were read.
    std::size_t Read(void* buffer, std::size_t count);
    //! Writes count bytes at Position, lengthening the value (zero-filled when Position is
    //! past its end); 0 when the stream cannot write or the value would pass kMaxPlainBlob.
    std::size_t Write(const void* buffer, std::size_t count);
    //! Moves Position and returns it; no bounds are applied (reads and writes before the
    //! start or writes far beyond the end do nothing).
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin);
    //! Empties the value in the buffer (writing modes only).
    void Truncate();
    //! Length of the plain value; 0 when the stream is not opened.
    std::int64_t GetBlobSize();
    //! The stored value of the cursor's record (its index bounded to the records), or empty.
    std::string GetBlobFromRecord() const;

    TField* Field() const { return field_; }
    TQelODBCClient* DataSet() const { return dataSet_; }
    TRecordBuffer Buffer() const { return buffer_; }
    TBlobStreamMode Mode() const { return mode_; }
    //! A record buffer was found; a stream that is not opened reads and writes nothing.
    bool Opened() const { return opened_; }
    //! The value comes from Buffer (true) or from the cursor's memory record (false).
    bool UseBuffer() const { return useBuffer_; }
    //! The working copy holds the field's current plain value.
    bool Cached() const { return cached_; }
    //! The working copy was written to.
    bool Modified() const { return modified_; }
    std::int64_t Position() const { return position_; }
    //! The working copy.
    const std::string& Data() const { return data_; }

private:
    //! Loads the working copy from Buffer when it is not cached.
    void LoadCache();
    //! The cursor's record's stored value, nullptr when there is none.
    const std::string* RecordValue() const;

    TField* field_;
    TQelODBCClient* dataSet_;
    TRecordBuffer buffer_ = nullptr;
    TBlobStreamMode mode_;
    bool opened_ = false;
    bool useBuffer_ = false;
    bool cached_ = false;
    bool modified_ = false;
    std::string data_;
    std::int64_t position_ = 0;
};

}  // namespace kubrix
