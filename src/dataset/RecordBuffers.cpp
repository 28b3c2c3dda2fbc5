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
    std::string* p;
    std::memcpy(&p, half + BlobOfs + static_cast<int>(sizeof(std::string*)) * slot, sizeof p);
    return p;
}

TRecordBuffer TQelODBCClient::AllocRecordBuffer() {
    const std::size_t size = 2 * static_cast<std::size_t>(RecBufSize) + 1;
    TRecordBuffer buf = new std::uint8_t[size]();
    for (int half = 0; half < 2; ++half)
        for (int i = 0; i < BlobCount; ++i) {
            auto* s = new std::string();
            std::memcpy(buf + half * (RecBufSize + 1) + BlobOfs + static_cast<int>(sizeof s) * i, &s, sizeof s);
        }
    std::int32_t none = -1;
    std::memcpy(buf + RecIndexOfs, &none, 4);
    return buf;
}

void TQelODBCClient::FreeRecordBuffer(TRecordBuffer& buffer) {
    if (!buffer) return;
    for (int half = 0; half < 2; ++half) {
        TRecordBuffer h = buffer + half * (RecBufSize + 1);
        ReleaseVariantSlots(h);
        for (int i = 0; i < BlobCount; ++i) delete BlobAt(h, i);
    }
    delete[] buffer;
    buffer = nullptr;
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
    if (!record->Data) {
        record->Data = new std::uint8_t[RecordSize]();
        record->OwnsData = true;
    }
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
        if (!record->Blobs) {
            record->Blobs = new std::string[static_cast<std::size_t>(BlobCount)];
            record->OwnsData = true;
        }
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
        if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields) return false;
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
        if (buffer) *static_cast<std::string*>(buffer) = *blob;
        return true;
    }
    const std::uint8_t* p = FindFieldData(rb, field);
    if (!p) return false;
    bool present = p[0] != 0;
    if (type == ftString || type == ftFixedChar || type == ftGuid) present = present && p[1] != 0;
    if (type == ftWideString) present = present && (p[1] != 0 || p[2] != 0);
    if (!present || !buffer) return present;
    const std::uint32_t len = CalcFieldLen(type, field->Size());
    switch (type) {
    case ftVariant: *static_cast<Variant*>(buffer) = VariantSlotRead(p + 1); break;
    case ftWideString: {
        auto& out = *static_cast<std::u16string*>(buffer);
        out.clear();
        for (std::uint32_t i = 0; i + 1 < len; i += 2) {
            char16_t c = static_cast<char16_t>(p[1 + i] | (p[2 + i] << 8));
            if (c == 0) break;
            out.push_back(c);
        }
        break;
    }
    default: {
        int size = field->GetDataSize();
        std::memcpy(buffer, p + 1, size > 0 ? std::min<std::uint32_t>(len, static_cast<std::uint32_t>(size)) : len);
    }
    }
    return true;
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
            *BlobAt(rb, blobSlot) = buffer ? *static_cast<const std::string*>(buffer) : std::string();
        } else if (type == ftVariant) {
            const Variant* v = static_cast<const Variant*>(buffer);
            if (!v || v->IsEmptyOrNull()) {
                p[0] = 0;
                VariantSlotClear(p + 1);
            } else {
                VariantSlotAssign(p + 1, *v);
                p[0] = 1;
            }
        } else {
            const std::uint32_t len = CalcFieldLen(type, field->Size());
            std::memset(p + 1, 0, len);
            p[0] = buffer ? 1 : 0;
            if (buffer && type == ftWideString) {
                const auto& w = *static_cast<const std::u16string*>(buffer);
                std::size_t units = std::min<std::size_t>(w.size(), (len - 2) / 2);
                for (std::size_t i = 0; i < units; ++i) {
                    p[1 + 2 * i] = static_cast<std::uint8_t>(w[i] & 0xFF);
                    p[2 + 2 * i] = static_cast<std::uint8_t>(w[i] >> 8);
                }
            } else if (buffer) {
                int size = field->GetDataSize();
                std::memcpy(p + 1, buffer, size > 0 ? std::min<std::uint32_t>(len, static_cast<std::uint32_t>(size)) : len);
            }
        }
    }
    if (StateSendsChange(state)) DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

void TQelODBCClient::SetFieldData(TField* field, const void* buffer, bool nativeFormat) {
    if (buffer && nativeFormat && (field->DataType() == ftString || field->DataType() == ftFixedChar) &&
        field->FieldKind() == fkData) {
        // The caller's text may be longer than the field: keep Size whole characters.
        const auto size = static_cast<std::size_t>(field->GetDataSize());
        const char* text = static_cast<const char*>(buffer);
        std::string_view sv(text, strnlen(text, size));
        std::size_t n = Utf8PrefixBytes(sv, static_cast<std::size_t>(field->Size()));
        n = Utf8FitBytes(sv.substr(0, n), size - 1);
        std::string temp(size, '\0');
        std::memcpy(temp.data(), sv.data(), n);
        SetFieldData(field, temp.data());
        return;
    }
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
