#include "dataset/ClientRecordSource.h"

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

namespace kubrix {

TClientRecordSource::TClientRecordSource(TQelODBCClient& client) : client_(client), link_(*this) {
    source_.SetDataSet(&client);
    link_.SetDataSource(&source_);
}

TClientRecordSource::~TClientRecordSource() {
    link_.SetDataSource(nullptr);
    source_.SetDataSet(nullptr);
}

void TClientRecordSource::TLink::ActiveChanged() {
    owner_.Notify(Active() ? TRecordSourceChange::Opened : TRecordSourceChange::Closed);
}

// Only through the link: once the dataset is gone the link is inactive and client_ is not read.
bool TClientRecordSource::Active() const { return link_.Active(); }

int TClientRecordSource::RecordCount() const {
    if (!Active()) return 0;
    // A subset narrows Records; the full list is kept aside meanwhile.
    return static_cast<int>(client_.UnfilteredRecords ? client_.UnfilteredRecords->size() : client_.Records.size());
}

int TClientRecordSource::FieldCount() const { return Active() ? static_cast<int>(client_.Fields().size()) : 0; }

TRecordField TClientRecordSource::Field(int index) const {
    if (index < 0 || index >= FieldCount()) ListIndexError(index);
    const TField* field = client_.Fields()[static_cast<std::size_t>(index)];
    TRecordField f;
    f.Name = field->FieldName();
    f.DisplayLabel = field->DisplayLabel();
    f.DataType = field->DataType();
    f.Size = field->Size();
    // The slot as the record layout gives it (flag and value bytes).
    f.SlotSize = 1 + static_cast<std::int32_t>(field->SlotLength());  // widened while loading when a value needed it
    f.DisplayFormat = field->DisplayFormat();
    if (f.DataType == ftMemo) {
        f.Blob = true;
    } else if (const IODBCField* stored = AsODBCField(field)) {
        f.Offset = stored->GetDataOfs();
    }
    return f;
}

std::uint64_t TClientRecordSource::Generation() const {
    // Both only grow, so their sum changes whenever either does.
    return TRecordSource::Generation() + (Active() ? client_.StoreGeneration() : 0);
}

TMemoryRecord* TClientRecordSource::Record(int record) const {
    const std::vector<TMemoryRecord*>& all = client_.UnfilteredRecords ? *client_.UnfilteredRecords : client_.Records;
    if (!Active() || record < 0 || static_cast<std::size_t>(record) >= all.size()) ListIndexError(record);
    TMemoryRecord* rec = all[static_cast<std::size_t>(record)];
    client_.LoadRecord(rec);
    return rec;
}

const std::uint8_t* TClientRecordSource::RecordData(int record) const { return Record(record)->Data; }

const std::string* TClientRecordSource::BlobData(int record, int field) const {
    if (field < 0 || field >= FieldCount()) ListIndexError(field);
    const TField* f = client_.Fields()[static_cast<std::size_t>(field)];
    TMemoryRecord* rec = Record(record);
    for (std::size_t i = 0; i < client_.BlobFields.size(); ++i) {
        if (client_.BlobFields[i] == f) return rec->Blobs ? &rec->Blobs[i] : nullptr;
    }
    return nullptr;
}

}  // namespace kubrix
