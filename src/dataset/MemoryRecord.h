#pragma once
// One row of the in-memory dataset. Kept small: the members every record needs sit in the
// record; the before-images, changed flags and family links that only some records carry
// live in a side block allocated on first use.

#include <cstdint>
#include <memory>
#include <string>

namespace kubrix {

class TQelODBCClient;

//! Pending change of a record not yet written to the database.
enum TMemRecordStatus : std::uint8_t { mrsNone = 0, mrsInserted = 1, mrsModified = 2, mrsDeleted = 3 };

class TMemoryRecord {
public:
    //! CreateEx(memoryData, true).
    explicit TMemoryRecord(TQelODBCClient* memoryData) : TMemoryRecord(memoryData, true) {}
    //! Joins memoryData (see SetMemoryData); updateParent appends it to the record list.
    TMemoryRecord(TQelODBCClient* memoryData, bool updateParent);
    //! Releases what the record owns; does not unlink itself from the lists.
    ~TMemoryRecord();
    TMemoryRecord(const TMemoryRecord&) = delete;
    TMemoryRecord& operator=(const TMemoryRecord&) = delete;

    //! Leaves the old owner (unlinks, releases data) and joins the new one: with
    //! updateParent it is appended to Records with a new RecordID; data area and blob
    //! values are allocated when the owner's AllocRecordData is true.
    void SetMemoryData(TQelODBCClient* dataSet, bool updateParent);
    TQelODBCClient* MemoryData() const { return memoryData_; }
    //! Position in the owner's Records (linear search), -1 without owner.
    int GetIndex() const;
    //! Moves the record to newIndex in the owner's Records.
    void SetIndex(int newIndex);

    // Data and Blobs: the record's data area of RecordSize bytes and its BlobCount blob values;
    // held by the record when OwnsData (a loaded row buffer is handed over as is), shared with
    // the source record otherwise. Set them through OwnData, ShareData and the Ensure calls.
    std::uint8_t* Data = nullptr;
    std::string* Blobs = nullptr;
    //! Unique within the dataset; also the bookmark.
    std::int32_t RecordID = 0;
    TMemRecordStatus UpdateStatus = mrsNone;
    //! False: the data is fetched again on first access.
    bool Loaded = true;
    //! Rejected by the current filter.
    bool FilteredOut = false;
    //! Shown by the tree.
    bool TreeVisible = true;
    //! Data and Blobs belong to this record.
    bool OwnsData() const { return ownsData_; }
    //! Takes data and blobs as the record's own (what it held before is released).
    void OwnData(std::unique_ptr<std::uint8_t[]> data, std::unique_ptr<std::string[]> blobs);
    //! Points at another record's data and blobs without owning them.
    void ShareData(std::uint8_t* data, std::string* blobs);
    //! A zeroed data area of size bytes of its own when it has none.
    void EnsureData(std::size_t size);
    //! count empty blob values of its own when it has none.
    void EnsureBlobs(std::size_t count);

    // Members held in the side block (nullptr / none until set).
    TMemoryRecord* SourceRecord() const { return extra_ ? extra_->SourceRecord : nullptr; }
    void SetSourceRecord(TMemoryRecord* r) { Extra().SourceRecord = r; }
    TMemoryRecord* MainRecord() const { return extra_ ? extra_->MainRecord : nullptr; }
    void SetMainRecord(TMemoryRecord* r) { Extra().MainRecord = r; }
    //! Before-image of the data area, nullptr when none.
    std::uint8_t* OldData() const { return extra_ ? extra_->OldData.get() : nullptr; }
    //! Before-image of the blob values, nullptr when none.
    std::string* OldBlobs() const { return extra_ ? extra_->OldBlobs.get() : nullptr; }
    //! One byte per field of the dataset, 1 where assigned since the last write; nullptr
    //! means all zero.
    const std::uint8_t* FieldChanged() const { return extra_ ? extra_->FieldChanged.get() : nullptr; }
    //! The changed flags, allocated zero-filled when missing.
    std::uint8_t* MutableFieldChanged();
    //! Gives the record before-images (zero data, empty blobs) when it has none.
    void AllocOldImage();
    //! Releases the before-images.
    void FreeOldImage();

private:
    struct TExtra {
        TMemoryRecord* SourceRecord = nullptr;
        TMemoryRecord* MainRecord = nullptr;
        std::unique_ptr<std::uint8_t[]> OldData;
        std::unique_ptr<std::string[]> OldBlobs;
        std::unique_ptr<std::uint8_t[]> FieldChanged;
    };
    TExtra& Extra();
    void ReleaseData();

    //! Frees Data and Blobs where this record allocated them.
    void FreeOwned();

    // A million records are a million of these: no member is kept twice, and the flags share
    // the padding after RecordID (48 bytes in all on 64-bit platforms).
    TQelODBCClient* memoryData_ = nullptr;
    std::unique_ptr<TExtra> extra_;
    bool ownsData_ = true;
    //! Data (Blobs) was allocated by this record and is deleted with it.
    bool freeData_ = false;
    bool freeBlobs_ = false;
};

}  // namespace kubrix
