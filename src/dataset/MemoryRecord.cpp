#include "dataset/MemoryRecord.h"

#include <algorithm>
#include <climits>

#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

namespace kubrix {

static_assert(sizeof(void*) != 8 || sizeof(TMemoryRecord) <= 48, "a record's header grew: it is paid per row");

TMemoryRecord::TMemoryRecord(TQelODBCClient* memoryData, bool updateParent) {
    SetMemoryData(memoryData, updateParent);
}

TMemoryRecord::~TMemoryRecord() { ReleaseData(); }

TMemoryRecord::TExtra& TMemoryRecord::Extra() {
    if (!extra_) extra_ = std::make_unique<TExtra>();
    return *extra_;
}

void TMemoryRecord::FreeOwned() {
    if (freeData_) delete[] Data;
    if (freeBlobs_) delete[] Blobs;
    freeData_ = freeBlobs_ = false;
}

void TMemoryRecord::ReleaseData() {
    FreeOldImage();
    if (ownsData_ && Data && memoryData_) memoryData_->ReleaseVariantSlots(Data);
    FreeOwned();
    Data = nullptr;
    Blobs = nullptr;
    ownsData_ = true;
    if (extra_) extra_->FieldChanged.reset();
}

void TMemoryRecord::OwnData(std::unique_ptr<std::uint8_t[]> data, std::unique_ptr<std::string[]> blobs) {
    if (ownsData_ && Data && memoryData_ && Data != data.get()) memoryData_->ReleaseVariantSlots(Data);
    if (Data == data.get()) freeData_ = false;  // handed back what it holds: not freed below
    if (Blobs == blobs.get()) freeBlobs_ = false;
    FreeOwned();
    Data = data.release();
    Blobs = blobs.release();
    freeData_ = Data != nullptr;
    freeBlobs_ = Blobs != nullptr;
    ownsData_ = true;
}

void TMemoryRecord::ShareData(std::uint8_t* data, std::string* blobs) {
    if (ownsData_ && Data && memoryData_) memoryData_->ReleaseVariantSlots(Data);
    FreeOwned();
    Data = data;
    Blobs = blobs;
    ownsData_ = false;
}

void TMemoryRecord::EnsureData(std::size_t size) {
    if (Data) return;
    Data = new std::uint8_t[size]();
    freeData_ = true;
    ownsData_ = true;
}

void TMemoryRecord::EnsureBlobs(std::size_t count) {
    if (Blobs) return;
    Blobs = new std::string[count];
    freeBlobs_ = true;
    ownsData_ = true;
}

void TMemoryRecord::SetMemoryData(TQelODBCClient* dataSet, bool updateParent) {
    if (dataSet == memoryData_) return;
    if (memoryData_) {
        auto& list = memoryData_->Records;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        if (memoryData_->UnfilteredRecords) {
            auto& all = *memoryData_->UnfilteredRecords;
            all.erase(std::remove(all.begin(), all.end(), this), all.end());
        }
        ReleaseData();
        memoryData_ = nullptr;
    }
    if (!dataSet) return;
    if (updateParent && dataSet->LastRecordID == INT32_MAX) DatabaseError("No more record identifiers");
    Loaded = true;
    FilteredOut = false;
    memoryData_ = dataSet;
    if (dataSet->AllocRecordData) {
        // Allocate before joining the list, so a failure leaves the list as it was.
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[dataSet->RecordSize]());
        std::unique_ptr<std::string[]> blobs;
        if (dataSet->BlobCount > 0) blobs.reset(new std::string[static_cast<std::size_t>(dataSet->BlobCount)]);
        FreeOwned();
        Data = data.release();
        Blobs = blobs.release();
        freeData_ = true;
        freeBlobs_ = Blobs != nullptr;
        ownsData_ = true;
    }
    if (updateParent) {
        dataSet->Records.push_back(this);
        RecordID = ++dataSet->LastRecordID;
    }
}

int TMemoryRecord::GetIndex() const {
    if (!memoryData_) return -1;
    const auto& list = memoryData_->Records;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TMemoryRecord::SetIndex(int newIndex) {
    int cur = GetIndex();
    if (cur < 0 || cur == newIndex) return;
    auto& list = memoryData_->Records;
    if (newIndex < 0 || newIndex >= static_cast<int>(list.size())) ListIndexError(newIndex);
    memoryData_->TouchStore();
    list.erase(list.begin() + cur);
    list.insert(list.begin() + newIndex, this);
}

std::uint8_t* TMemoryRecord::MutableFieldChanged() {
    auto& e = Extra();
    if (!e.FieldChanged) {
        std::size_t n = memoryData_ ? static_cast<std::size_t>(std::max(1, memoryData_->FieldCount())) : 1;
        e.FieldChanged.reset(new std::uint8_t[n]());
    }
    return e.FieldChanged.get();
}

void TMemoryRecord::AllocOldImage() {
    auto& e = Extra();
    std::size_t size = memoryData_ ? memoryData_->RecordSize : 0;
    if (!e.OldData) e.OldData.reset(new std::uint8_t[size]());
    if (!e.OldBlobs && memoryData_ && memoryData_->BlobCount > 0)
        e.OldBlobs.reset(new std::string[static_cast<std::size_t>(memoryData_->BlobCount)]);
}

void TMemoryRecord::FreeOldImage() {
    if (!extra_) return;
    if (extra_->OldData && memoryData_) memoryData_->ReleaseVariantSlots(extra_->OldData.get());
    extra_->OldData.reset();
    extra_->OldBlobs.reset();
}

}  // namespace kubrix
