#include "dataset/MemBlobStream.h"

#include <algorithm>
#include <cstring>

#include "dataset/ODBCFields.h"
#include "support/Errors.h"
#include "support/UiServices.h"
#include "support/ValueCodec.h"
#include "support/ZipStream.h"

namespace kubrix {

namespace {

TQelODBCClient* ClientOf(TField* field) {
    auto* ds = field ? dynamic_cast<TQelODBCClient*>(field->DataSet()) : nullptr;
    if (!ds) DatabaseErrorFmt("Field '%s' has no dataset", field ? field->DisplayName() : std::string());
    if (!IsBlobType(field->DataType())) DatabaseErrorFmt("Field '%s' is not a blob field", field->DisplayName());
    return ds;
}

bool FieldIsReadOnly(const TField* field) {
    const IODBCField* odbc = field->GetODBCInterface();
    return odbc ? odbc->GetReadOnly() : field->ReadOnly();
}

}  // namespace

TMemBlobStream::TMemBlobStream(TField* field, TBlobStreamMode mode)
    : field_(field), dataSet_(ClientOf(field)), mode_(mode) {
    if (!dataSet_->GetActiveRecBuf(buffer_)) return;
    if (mode_ != bmRead) {
        // Checked for every writing stream: a field changed once may not be written in browse.
        if (FieldIsReadOnly(field_)) DatabaseErrorFmt("Field '%s' cannot be modified", field_->DisplayName());
        const TDataSetState s = dataSet_->State();
        if (s != dsEdit && s != dsInsert) DatabaseError("Dataset not in edit or insert mode");
        useBuffer_ = true;
    } else {
        useBuffer_ = buffer_ == dataSet_->ActiveBuffer();
    }
    opened_ = true;
    if (mode_ == bmWrite) Truncate();
}

TMemBlobStream::~TMemBlobStream() {
    if (!modified_) return;
    try {
        dataSet_->SetBlobData(field_, buffer_, data_);
        dataSet_->DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field_));
    } catch (const std::exception& e) {
        UiServices().MessageBox(e.what(), "", MB_OK | MB_ICONERROR);
    }
}

void TMemBlobStream::LoadCache() {
    if (cached_) return;
    dataSet_->GetBlobData(field_, buffer_, data_);
    cached_ = true;
}

std::size_t TMemBlobStream::Read(void* buffer, std::size_t count) {
    if (!opened_ || position_ < 0) return 0;
    const auto pos = static_cast<std::size_t>(position_);
    std::size_t n = 0;
    if (useBuffer_) {
        LoadCache();
        if (pos < data_.size()) n = std::min(count, data_.size() - pos);
        if (n) std::memcpy(buffer, data_.data() + pos, n);
    } else {
        const std::string* stored = RecordValue();
        if (stored && pos < stored->size()) n = std::min(count, stored->size() - pos);
        if (n) std::memcpy(buffer, stored->data() + pos, n);
    }
    position_ += static_cast<std::int64_t>(n);
    return n;
}

std::size_t TMemBlobStream::Write(const void* buffer, std::size_t count) {
    if (!opened_ || !useBuffer_ || mode_ == bmRead || position_ < 0) return 0;
    const auto pos = static_cast<std::size_t>(position_);
    if (pos > kMaxPlainBlob || count > kMaxPlainBlob - pos) return 0;
    LoadCache();
    if (pos + count > data_.size()) data_.resize(pos + count);
    if (count) std::memcpy(data_.data() + pos, buffer, count);
    position_ += static_cast<std::int64_t>(count);
    modified_ = true;
    return count;
}

std::int64_t TMemBlobStream::Seek(std::int64_t offset, SeekOrigin origin) {
    switch (origin) {
    case SeekOrigin::Begin: position_ = offset; break;
    case SeekOrigin::Current: position_ += offset; break;
    case SeekOrigin::End: position_ = offset + GetBlobSize(); break;
    }
    return position_;
}

void TMemBlobStream::Truncate() {
    cached_ = false;
    data_.clear();  // a stream destroyed right after must not write the old value back
    if (!opened_ || !useBuffer_ || mode_ == bmRead) return;
    dataSet_->SetBlobData(field_, buffer_, std::string());
    modified_ = true;
}

std::int64_t TMemBlobStream::GetBlobSize() {
    if (!opened_) return 0;
    if (useBuffer_) {
        LoadCache();
        return static_cast<std::int64_t>(data_.size());
    }
    const std::string* stored = RecordValue();
    return stored ? static_cast<std::int64_t>(stored->size()) : 0;
}

const std::string* TMemBlobStream::RecordValue() const {
    const int count = dataSet_->RealRecordCount();
    int index = dataSet_->RecordPos;
    if (index < 0 && count > 0) index = 0;
    if (index >= count) index = count - 1;
    return index < 0 ? nullptr : dataSet_->RecordBlob(field_, index);
}

std::string TMemBlobStream::GetBlobFromRecord() const {
    const std::string* stored = RecordValue();
    return stored ? *stored : std::string();
}

}  // namespace kubrix
