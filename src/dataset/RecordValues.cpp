// Variant access to the records of the in-memory dataset: decoding and encoding the
// stored value forms of every field type.
#include <cstring>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"
#include "support/Text.h"

namespace kubrix {

namespace {

std::vector<std::uint8_t> ArrayBytes(const Variant& value) {
    if (value.IsByteArray()) return value.Bytes();
    TVarArrayInfo info = GetVarArray(value);  // raises for a value that holds no array
    std::vector<std::uint8_t> out;
    for (std::int32_t i = info.LowBound; i <= info.HighBound; ++i) {
        std::int32_t b = value.GetElement(i).ToInt32();
        if (b < 0 || b > 255)
            throw EVariantError("Overflow while converting variant of type (" + Variant::TypeName(value.Type()) +
                                ") into type (Byte)");
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

}  // namespace

void TQelODBCClient::DecodeStored(const TField* field, const std::uint8_t* p, Variant& value) const {
    value = Variant::Null();
    if (TValueCodec::IsNull(p)) return;
    const TValueCodec codec = field->Codec();
    if (!codec.Decodes()) throw Exception("Необрабатываемый тип поля." + field->FieldName());
    value = codec.Decode(p);
}

void TQelODBCClient::EncodeStored(const TField* field, std::uint8_t* p, const Variant& value) const {
    const TValueCodec codec = field->Codec();
    if (!value.IsEmptyOrNull() && !codec.Encodes()) throw Exception("Необрабатываемый тип поля. " + field->FieldName());
    if (!codec.KeepsWhole(value)) ThrowDoesNotFit(field);
    codec.Encode(p, value);
}

void TQelODBCClient::WriteBlob(const TField* field, std::string& blob, const Variant& value) const {
    if (value.IsEmptyOrNull()) return;  // a null leaves the blob as it was
    if (field->DataType() != ftMemo && value.IsArray()) {
        auto bytes = ArrayBytes(value);
        blob.assign(bytes.begin(), bytes.end());
    } else {
        blob = value.ToAnsi();
    }
}

void TQelODBCClient::GetFieldValueFromBuffer(const TField* field, int index, Variant& value, const std::string& version) {
    GetFieldValueFromBuffer(field, GetMemoryRecord(index), value, version);
}

void TQelODBCClient::GetFieldValueFromBuffer(const TField* field, TMemoryRecord* record, Variant& value,
                                             const std::string& version) {
    LoadRecord(record);
    InternalGetFieldValueFromBuffer(field, record, value, version);
}

void TQelODBCClient::InternalGetFieldValueFromBuffer(const TField* field, TMemoryRecord* record, Variant& value,
                                                     const std::string& version) {
    value = Variant::Null();
    const TFieldKind kind = field->FieldKind();
    if (kind == fkInternalCalc || !IsSupportedType(field->DataType())) return;
    if (kind == fkLookup) {
        TField* keyField = FindField(field->KeyFields);
        auto* lookup = dynamic_cast<TQelODBCClient*>(field->LookupDataSet);
        if (!keyField || !lookup || !lookup->Active()) return;
        Variant key;
        GetFieldValueFromBuffer(keyField, record, key, "new");
        if (lookup->Locate(field->LookupKeyFields, key, {}))
            lookup->GetFieldValueFromBuffer(lookup->FieldByName(field->LookupResultField), lookup->ActiveBuffer(), value);
        return;
    }
    if (kind != fkData) throw Exception("Необрабатываемый вид поля." + field->FieldName());
    const bool current = version == "new";
    const TFieldType type = field->DataType();
    if (IsBlobType(type)) {
        int slot = BlobSlotOf(field);
        const std::string* blobs = !current && record->OldBlobs() ? record->OldBlobs() : record->Blobs;
        if (slot < 0 || !blobs || blobs[slot].empty()) return;
        const std::string& b = blobs[slot];
        value = type == ftMemo ? Variant::FromAnsi(b) : Variant::FromBytes(b.data(), b.size());
        return;
    }
    const std::uint8_t* area = !current && record->OldData() ? record->OldData() : record->Data;
    const std::uint8_t* p = FindFieldData(const_cast<std::uint8_t*>(area), field);
    if (p) DecodeStored(field, p, value);
}

void TQelODBCClient::GetFieldValueFromBuffer(const TField* field, TRecordBuffer buffer, Variant& value) {
    value = Variant::Null();
    if (field->FieldKind() == fkInternalCalc || !IsSupportedType(field->DataType())) return;
    if (field->FieldKind() != fkData) throw Exception("Необрабатываемый вид поля." + field->FieldName());
    if (IsBlobType(field->DataType())) {
        int slot = BlobSlotOf(field);
        if (slot < 0) return;
        const std::string* b = BlobAt(buffer, slot);
        if (!b->empty()) value = Variant::FromAnsi(*b);
        return;
    }
    const std::uint8_t* p = FindFieldData(buffer, field);
    if (p) DecodeStored(field, p, value);
}

void TQelODBCClient::SetFieldValueInBuffer(const TField* field, int index, const Variant& value) {
    SetFieldValueInBuffer(field, GetMemoryRecord(index), value);
    TDataSetState s = State();
    TRecordBuffer rb;
    if ((s == dsEdit || s == dsInsert || s == dsSetKey) && GetActiveRecBuf(rb)) SetFieldValueInBuffer(field, rb, value);
}

void TQelODBCClient::SetFieldValueInBuffer(const TField* field, TMemoryRecord* record, const Variant& value) {
    if (field->FieldKind() == fkInternalCalc) return;
    TouchStore();
    if (IsBlobType(field->DataType())) {
        int slot = BlobSlotOf(field);
        if (slot >= 0 && record->Blobs) WriteBlob(field, record->Blobs[slot], value);
        return;
    }
    if (std::uint8_t* p = FindFieldData(record->Data, field)) EncodeStored(field, p, value);
}

void TQelODBCClient::SetFieldValueInBuffer(const TField* field, TRecordBuffer buffer, const Variant& value) {
    if (field->FieldKind() == fkInternalCalc) return;
    if (IsBlobType(field->DataType())) {
        int slot = BlobSlotOf(field);
        if (slot >= 0) WriteBlob(field, *BlobAt(buffer, slot), value);
        return;
    }
    if (std::uint8_t* p = FindFieldData(buffer, field)) EncodeStored(field, p, value);
}

void TQelODBCClient::SetFieldValueToActiveBuffer(TField* field, const Variant& value) {
    TRecordBuffer rb;
    if (!GetActiveRecBuf(rb)) DatabaseError("Dataset not in edit or insert mode");
    TakeBeforeImage(rb);
    SetFieldValueInBuffer(field, rb, value);
    if (field->Index() >= 0) rb[ChangedOfs + field->Index()] = 1;
    TDataSetState s = State();
    if (s != dsCalcFields && s != dsFilter && s != dsNewValue)
        DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

}  // namespace kubrix
