// Blob values of the in-memory dataset: the accessors that compress and decompress the
// values of DoZip fields, the blob stream factory, and the undo of an abandoned blob edit.
#include "dataset/MemBlobStream.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/ZipStream.h"

namespace kubrix {

bool TQelODBCClient::IsZipField(const TField* field) {
    auto* blob = dynamic_cast<const TQelODBCBlobField*>(field);
    return blob && blob->DoZip;
}

std::unique_ptr<TMemBlobStream> TQelODBCClient::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    if (!field || field->DataSet() != this) DatabaseErrorFmt("Field '%s' not found", field ? field->FieldName() : "");
    return std::make_unique<TMemBlobStream>(field, mode);
}

const std::string* TQelODBCClient::RecordBlob(const TField* field, int index) {
    TMemoryRecord* rec = GetMemoryRecord(index);
    LoadRecord(rec);
    const int slot = BlobSlotOf(field);
    return slot >= 0 && rec->Blobs ? &rec->Blobs[slot] : nullptr;
}

const std::string& TQelODBCClient::StoredBlob(const TField* field, TRecordBuffer buffer) const {
    return *BlobAt(buffer, BlobSlotOf(field));
}

std::string TQelODBCClient::PackBlob(const std::string& plain) {
    BusyCursor busy;
    TMemoryStream stream(plain);
    PackStream(stream);
    return stream.TakeData();
}

void TQelODBCClient::GetBlobData(const TField* field, TRecordBuffer buffer, std::string& value) {
    const std::string& stored = StoredBlob(field, buffer);
    if (stored.empty() || !IsZipField(field)) {
        value = stored;
        return;
    }
    BusyCursor busy;
    TMemoryStream stream(stored);
    try {
        UnPackStream(stream);
        value = stream.TakeData();
    } catch (const EDecompressionError&) {
        value = stored;  // kept plain before the field was switched to compression
    }
}

void TQelODBCClient::SetBlobData(TField* field, TRecordBuffer buffer, const std::string& value) {
    if (buffer != ActiveBuffer()) return;
    std::string stored = !value.empty() && IsZipField(field) ? PackBlob(value) : value;
    if (State() == dsFilter) DatabaseError("Dataset not in edit or insert mode");
    TakeBeforeImage(buffer);
    if (field->Index() >= 0) buffer[ChangedOfs + field->Index()] = 1;
    *BlobAt(buffer, BlobSlotOf(field)) = std::move(stored);
}

void TQelODBCClient::CloseBlob(TField* field) {
    TRecordBuffer rb = ActiveBuffer();
    if (!rb) return;
    std::string& slot = *BlobAt(rb, BlobSlotOf(field));
    const std::string* stored =
        State() == dsEdit && RecordPos >= 0 && RecordPos < RealRecordCount() ? RecordBlob(field, RecordPos) : nullptr;
    if (stored)
        slot = *stored;
    else
        slot.clear();
}

}  // namespace kubrix
