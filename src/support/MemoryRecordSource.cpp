#include "support/MemoryRecordSource.h"

#include <stdexcept>

#include "support/Errors.h"

namespace kubrix {

TMemoryRecordSource::TMemoryRecordSource(const std::vector<TColumn>& columns) { SetColumns(columns); }

TMemoryRecordSource::~TMemoryRecordSource() { Close(); }

void TMemoryRecordSource::SetColumns(const std::vector<TColumn>& columns) {
    if (active_) throw Exception("Cannot perform this operation on an open dataset");
    fields_.clear();
    codecs_.clear();
    blobOf_.clear();
    blobCount_ = 0;
    recordSize_ = 0;
    for (const TColumn& c : columns) {
        TRecordField f;
        f.Name = f.DisplayLabel = c.Name;
        f.DataType = c.DataType;
        f.Size = c.Size;
        const TValueCodec codec(c.DataType, c.Size);
        if (IsBlobType(c.DataType)) {
            f.Blob = true;
            blobOf_.push_back(blobCount_++);
        } else {
            f.Offset = static_cast<std::int32_t>(recordSize_);
            f.SlotSize = static_cast<std::int32_t>(codec.Length()) + 1;
            recordSize_ += static_cast<std::size_t>(f.SlotSize);
            blobOf_.push_back(-1);
        }
        fields_.push_back(std::move(f));
        codecs_.push_back(codec);
    }
    Clear();
}

void TMemoryRecordSource::Open() {
    if (active_) return;
    active_ = true;
    Notify(TRecordSourceChange::Opened);
}

void TMemoryRecordSource::Close() {
    if (!active_) return;
    active_ = false;
    Clear();
    Notify(TRecordSourceChange::Closed);
}

void TMemoryRecordSource::Clear() {
    Touch();
    data_.clear();
    blobs_.clear();
    count_ = 0;
}

void TMemoryRecordSource::Reserve(int records) {
    if (records <= 0) return;
    data_.reserve(recordSize_ * static_cast<std::size_t>(records));
    blobs_.reserve(static_cast<std::size_t>(blobCount_) * static_cast<std::size_t>(records));
}

int TMemoryRecordSource::AddRecord(const std::vector<Variant>& values) {
    if (values.size() > fields_.size()) throw Exception("Too many values for a record");
    Touch();
    data_.resize(data_.size() + recordSize_, 0);
    blobs_.resize(blobs_.size() + static_cast<std::size_t>(blobCount_));
    const int record = count_++;
    try {
        for (std::size_t k = 0; k < values.size(); ++k) SetValue(record, static_cast<int>(k), values[k]);
    } catch (...) {
        // A value that does not convert adds no half-written record.
        --count_;
        data_.resize(data_.size() - recordSize_);
        blobs_.resize(blobs_.size() - static_cast<std::size_t>(blobCount_));
        throw;
    }
    return record;
}

void TMemoryRecordSource::CheckRecord(int record) const {
    if (record < 0 || record >= count_) ListIndexError(record);
}

void TMemoryRecordSource::CheckColumn(int column) const {
    if (column < 0 || column >= FieldCount()) ListIndexError(column);
}

void TMemoryRecordSource::SetValue(int record, int column, const Variant& value) {
    CheckRecord(record);
    CheckColumn(column);
    const int blob = blobOf_[static_cast<std::size_t>(column)];
    if (blob >= 0) {
        Touch();
        blobs_[static_cast<std::size_t>(record) * static_cast<std::size_t>(blobCount_) + static_cast<std::size_t>(blob)] =
            value.IsEmptyOrNull() ? std::string() : value.ToAnsi();
        return;
    }
    std::uint8_t* slot = Slot(record, column);
    const TValueCodec& codec = codecs_[static_cast<std::size_t>(column)];
    if (value.IsEmptyOrNull()) {
        codec.SetNull(slot);
    } else {
        codec.Encode(slot, value);
    }
}

Variant TMemoryRecordSource::Value(int record, int column) const {
    CheckRecord(record);
    CheckColumn(column);
    if (const int blob = blobOf_[static_cast<std::size_t>(column)]; blob >= 0) {
        const std::string& text = *BlobData(record, column);
        return text.empty() ? Variant::Null() : Variant::FromAnsi(text);
    }
    return codecs_[static_cast<std::size_t>(column)].Decode(RecordData(record) + fields_[static_cast<std::size_t>(column)].Offset);
}

std::uint8_t* TMemoryRecordSource::Slot(int record, int column) {
    CheckRecord(record);
    CheckColumn(column);
    const std::int32_t offset = fields_[static_cast<std::size_t>(column)].Offset;
    if (offset < 0) throw Exception("Необрабатываемый тип поля." + fields_[static_cast<std::size_t>(column)].Name);
    Touch();  // the caller writes through it
    return data_.data() + static_cast<std::size_t>(record) * recordSize_ + static_cast<std::size_t>(offset);
}

const TValueCodec& TMemoryRecordSource::Codec(int column) const {
    CheckColumn(column);
    return codecs_[static_cast<std::size_t>(column)];
}

int TMemoryRecordSource::ColumnIndex(const std::string& name) const {
    for (std::size_t k = 0; k < fields_.size(); ++k) {
        if (fields_[k].Name == name) return static_cast<int>(k);
    }
    return -1;
}

void TMemoryRecordSource::SetDisplayLabel(int column, const std::string& label) {
    CheckColumn(column);
    fields_[static_cast<std::size_t>(column)].DisplayLabel = label;
}

void TMemoryRecordSource::SetDisplayFormat(int column, const std::string& format) {
    CheckColumn(column);
    fields_[static_cast<std::size_t>(column)].DisplayFormat = format;
}

TRecordField TMemoryRecordSource::Field(int index) const {
    CheckColumn(index);
    return fields_[static_cast<std::size_t>(index)];
}

const std::uint8_t* TMemoryRecordSource::RecordData(int record) const {
    CheckRecord(record);
    return data_.data() + static_cast<std::size_t>(record) * recordSize_;
}

const std::string* TMemoryRecordSource::BlobData(int record, int field) const {
    CheckRecord(record);
    CheckColumn(field);
    const int blob = blobOf_[static_cast<std::size_t>(field)];
    if (blob < 0) return nullptr;
    return &blobs_[static_cast<std::size_t>(record) * static_cast<std::size_t>(blobCount_) + static_cast<std::size_t>(blob)];
}

}  // namespace kubrix
