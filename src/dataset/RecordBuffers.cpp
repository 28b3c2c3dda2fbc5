// Record buffers of the in-memory dataset: copying between records and buffers, the raw
// field-data contract of the field objects, and the before-image of an edit.
#include <algorithm>
#include <cstring>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"
#include "support/Text.h"

namespace kubrix {

namespace {

bool StateAllowsWrite(TDataSetState s) {
    return s == dsEdit || s == dsInsert || s == dsSetKey || s == dsCalcFields || s == dsFilter || s == dsNewValue ||
           s == dsInternalCalc;
}

bool StateSendsChange(TDataSetState s) { return s != dsCalcFields && s != dsFilter && s != dsNewValue; }

}  // namespace

std::string* TQelODBCClient::BlobAt(TRecordBuffer half, int slot) const {
    auto it = bufferBlobs_.find(half);
    if (it == bufferBlobs_.end() || slot < 0 || slot >= BlobCount) DatabaseError("No blob value in this buffer");
    return &it->second[static_cast<std::size_t>(slot)];
}

TRecordBuffer TQelODBCClient::AllocRecordBuffer() {
    const std::size_t size = 2 * static_cast<std::size_t>(RecBufSize) + 1;
    std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[size]());
    // The blob values of each half live beside the buffer, owned by the dataset.
    for (int half = 0; half < 2; ++half)
        bufferBlobs_[buf.get() + half * (RecBufSize + 1)] =
            std::make_unique<std::string[]>(static_cast<std::size_t>(std::max(BlobCount, 0)));
    std::int32_t none = -1;
    std::memcpy(buf.get() + RecIndexOfs, &none, 4);
    return buf.release();
}

void TQelODBCClient::FreeRecordBuffer(TRecordBuffer& buffer) {
    if (!buffer) return;
    std::unique_ptr<std::uint8_t[]> owned(buffer);
    buffer = nullptr;
    for (int half = 0; half < 2; ++half) {
        TRecordBuffer h = owned.get() + half * (RecBufSize + 1);
        ReleaseVariantSlots(h);
        bufferBlobs_.erase(h);
    }
}

void TQelODBCClient::InternalInitRecord(TRecordBuffer buffer) {
    buffer[RecBufSize] = 0;
    ReleaseVariantSlots(buffer);
    std::memset(buffer, 0, static_cast<std::size_t>(BlobOfs));
    for (int i = 0; i < BlobCount; ++i) BlobAt(buffer, i)->clear();
    std::int32_t none = -1;
    std::memcpy(buffer + RecIndexOfs, &none, 4);
}

void TQelODBCClient::InitRecord(TRecordBuffer buffer) {
    TDataSet::InitRecord(buffer);
    std::int32_t id = kNoRecordID;
    std::memcpy(buffer + BookmarkOfs, &id, 4);
    buffer[BookmarkOfs + 4] = bfInserted;
}

void TQelODBCClient::ClearCalcFields(TRecordBuffer buffer) {
    std::memset(buffer + RecordSize, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

TGetResult TQelODBCClient::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
    const int count = RealRecordCount();
    int pos = RecordPos;
    switch (mode) {
    case TGetMode::gmNext:
        if (pos >= count - 1) return TGetResult::grEOF;
        if (pos < -1) pos = -1;
        do ++pos;
        while (pos < count && !IsRecordVisible(Records[static_cast<std::size_t>(pos)]));
        if (pos >= count) {
            RecordPos = count;
            return TGetResult::grEOF;
        }
        break;
    case TGetMode::gmPrior:
        if (pos > count) pos = count;
        if (pos > 0) {
            do --pos;
            while (pos >= 0 && !IsRecordVisible(Records[static_cast<std::size_t>(pos)]));
        } else {
            pos = -1;
        }
        if (pos < 0) {
            RecordPos = -1;
            return TGetResult::grBOF;
        }
        break;
    case TGetMode::gmCurrent:
        if (pos < 0 || pos >= count || !IsRecordVisible(Records[static_cast<std::size_t>(pos)])) {
            if (doCheck) DatabaseError("No data found");
            return TGetResult::grError;
        }
        break;
    }
    RecordPos = pos;
    RecordToBuffer(Records[static_cast<std::size_t>(pos)], buffer, pos);
    return TGetResult::grOK;
}

void TQelODBCClient::RecordToBuffer(TMemoryRecord* record, TRecordBuffer buffer) {
    RecordToBuffer(record, buffer, record->GetIndex());
}

void TQelODBCClient::RecordToBuffer(TMemoryRecord* record, TRecordBuffer buffer, int index) {
    LoadRecord(record);
    CopyDataArea(buffer, record->Data);
    TRecordBuffer old = buffer + RecBufSize + 1;
    if (record->OldData()) {
        buffer[RecBufSize] = 1;
        CopyDataArea(old, record->OldData());
        for (int i = 0; i < BlobCount; ++i)
            *BlobAt(old, i) = record->OldBlobs() ? record->OldBlobs()[i] : std::string();
    } else {
        buffer[RecBufSize] = 0;
    }
    std::memcpy(buffer + BookmarkOfs, &record->RecordID, 4);
    buffer[BookmarkOfs + 4] = bfCurrent;
    for (int i = 0; i < BlobCount; ++i) *BlobAt(buffer, i) = record->Blobs ? record->Blobs[i] : std::string();
    if (!ReadOnly && FieldCount() > 0) {
        if (record->FieldChanged())
            std::memcpy(buffer + ChangedOfs, record->FieldChanged(), static_cast<std::size_t>(FieldCount()));
        else
            std::memset(buffer + ChangedOfs, 0, static_cast<std::size_t>(FieldCount()));
    }
    std::memcpy(buffer + RecIndexOfs, &index, 4);
    GetCalcFields(buffer);
}

void TQelODBCClient::AssignMemoryRecord(TMemoryRecord* record, TRecordBuffer buffer) {
    TouchStore();
    record->EnsureData(RecordSize);
    CopyDataArea(record->Data, buffer);
    TRecordBuffer old = buffer + RecBufSize + 1;
    if (buffer[RecBufSize]) {
        record->AllocOldImage();
        CopyDataArea(record->OldData(), old);
        for (int i = 0; i < BlobCount; ++i) record->OldBlobs()[i] = *BlobAt(old, i);
    } else {
        record->FreeOldImage();
    }
    if (BlobCount > 0) {
        record->EnsureBlobs(static_cast<std::size_t>(BlobCount));
        for (int i = 0; i < BlobCount; ++i) record->Blobs[i] = *BlobAt(buffer, i);
    }
    const auto n = static_cast<std::size_t>(FieldCount());
    const std::uint8_t* changed = buffer + ChangedOfs;
    if (record->FieldChanged() || std::any_of(changed, changed + n, [](std::uint8_t b) { return b != 0; }))
        std::memcpy(record->MutableFieldChanged(), changed, n);
}

void TQelODBCClient::SetMemoryRecordData(TRecordBuffer buffer, int index) {
    if (State() == dsFilter) DatabaseError("Dataset not in edit or insert mode");
    AssignMemoryRecord(GetMemoryRecord(index), buffer);
}

bool TQelODBCClient::GetActiveRecBuf(TRecordBuffer& buffer) const {
    buffer = nullptr;
    switch (State()) {
    case dsBrowse:
        if (!IsEmpty()) buffer = ActiveBuffer();
        break;
    case dsEdit:
    case dsInsert: buffer = ActiveBuffer(); break;
    case dsCalcFields: buffer = CalcBuffer(); break;
    case dsFilter: buffer = TempBuffer(); break;
    default: break;
    }
    return buffer != nullptr;
}

int TQelODBCClient::GetActiveRecordIndex() const {
    TRecordBuffer rb;
    if (!GetActiveRecBuf(rb)) return -1;
    std::int32_t index;
    std::memcpy(&index, rb + RecIndexOfs, 4);
    return index;
}

bool TQelODBCClient::GetCurrentRecord(TRecordBuffer buffer) {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    int index = GetActiveRecordIndex();
    if (index < 0 || index >= RealRecordCount()) return false;
    RecordToBuffer(Records[static_cast<std::size_t>(index)], buffer, index);
    return true;
}

// ---------------------------------------------------------------- raw field data

bool TQelODBCClient::GetFieldData(TField* field, void* buffer) {
    TRecordBuffer rb;
    if (!GetActiveRecBuf(rb)) return false;
    if (field->FieldKind() != fkData) {
        TDataSetState s = State();
        // The spare buffer of the filter state holds a record with its calculated values too.
        if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields && s != dsFilter) return false;
        const std::uint8_t* slot = rb + RecordSize + field->Offset();
        bool present = slot[0] != 0;
        if (present && buffer) std::memcpy(buffer, slot + 1, static_cast<std::size_t>(field->GetDataSize()));
        return present;
    }
    const TFieldType type = field->DataType();
    if (IsBlobType(type)) {
        int slot = BlobSlotOf(field);
        if (slot < 0) return false;
        const std::string* blob = BlobAt(rb, slot);
        if (blob->empty()) return false;
        // The field objects see the plain value; a DoZip field's is decompressed here.
        if (buffer) GetBlobData(field, rb, *static_cast<std::string*>(buffer));
        return true;
    }
    const std::uint8_t* p = FindFieldData(rb, field);
    if (!p) return false;
    const int size = field->GetDataSize();
    return field->Codec().ReadNative(p, buffer, size > 0 ? static_cast<std::size_t>(size) : 0);
}

bool TQelODBCClient::GetFieldData(TField* field, void* buffer, bool) { return GetFieldData(field, buffer); }

void TQelODBCClient::TakeBeforeImage(TRecordBuffer rb) {
    if (State() != dsEdit || rb[RecBufSize] != 0) return;
    TRecordBuffer old = rb + RecBufSize + 1;
    int index = GetActiveRecordIndex();
    TMemoryRecord* rec = index >= 0 && index < RealRecordCount() ? Records[static_cast<std::size_t>(index)] : nullptr;
    for (int i = 0; i < BlobCount; ++i) *BlobAt(old, i) = rec && rec->Blobs ? rec->Blobs[i] : std::string();
    CopyDataArea(old, rb);
    rb[RecBufSize] = 1;
}

void TQelODBCClient::SetFieldData(TField* field, const void* buffer) {
    const TDataSetState state = State();
    TRecordBuffer rb;
    if (!StateAllowsWrite(state) || !GetActiveRecBuf(rb)) DatabaseError("Dataset not in edit or insert mode");
    if (field->FieldKind() != fkData) {
        TakeBeforeImage(rb);
        std::uint8_t* slot = rb + RecordSize + field->Offset();
        const auto size = static_cast<std::size_t>(field->GetDataSize());
        slot[0] = buffer ? 1 : 0;
        if (buffer)
            std::memcpy(slot + 1, buffer, size);
        else
            std::memset(slot + 1, 0, size);
    } else {
        if (state == dsCalcFields || state == dsFilter) DatabaseError("Dataset not in edit or insert mode");
        if (field->ReadOnly() && state != dsSetKey) DatabaseErrorFmt("Field '%s' cannot be modified", field->DisplayName());
        field->Validate(buffer);
        const TFieldType type = field->DataType();
        std::uint8_t* p = IsBlobType(type) ? nullptr : FindFieldData(rb, field);
        int blobSlot = IsBlobType(type) ? BlobSlotOf(field) : -1;
        if (!p && blobSlot < 0) return;  // the field has no storage here
        TakeBeforeImage(rb);
        if (field->FieldKind() != fkInternalCalc && field->Index() >= 0) rb[ChangedOfs + field->Index()] = 1;
        if (blobSlot >= 0) {
            std::string& blob = *BlobAt(rb, blobSlot);
            blob = buffer ? *static_cast<const std::string*>(buffer) : std::string();
            if (!blob.empty() && IsZipField(field)) blob = PackBlob(blob);
        } else {
            const int size = field->GetDataSize();
            field->Codec().WriteNative(p, buffer, size > 0 ? static_cast<std::size_t>(size) : 0);
        }
    }
    if (StateSendsChange(state)) DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

void TQelODBCClient::SetFieldData(TField* field, const void* buffer, bool) {
    // The codec keeps Size whole characters of a caller's text that is longer than the field.
    SetFieldData(field, buffer);
}

Variant TQelODBCClient::GetStateFieldValue(TDataSetState state, TField* field) {
    Variant v = Variant::Null();
    if (state == dsNewValue) {
        TDataSetState s = State();
        if (s == dsEdit || s == dsInsert || s == dsSetKey) {
            GetFieldValueFromBuffer(field, ActiveBuffer(), v);
        } else {
            int index = GetActiveRecordIndex();
            if (index >= 0) GetFieldValueFromBuffer(field, index, v, "new");
        }
        return v;
    }
    if (state == dsOldValue) {
        if (State() == dsInsert) return v;
        int index = GetActiveRecordIndex();
        if (index >= 0) GetFieldValueFromBuffer(field, index, v, "old");
        return v;
    }
    return TDataSet::GetStateFieldValue(state, field);
}

}  // namespace kubrix
