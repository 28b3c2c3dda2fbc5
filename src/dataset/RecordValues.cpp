// Variant access to the records of the in-memory dataset: decoding and encoding the
// stored value forms of every field type.
#include <cstring>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Bcd.h"
#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/Text.h"

namespace kubrix {

namespace {

template <class T>
T Load(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[noreturn]] void Overflow(const Variant& value, const char* target) {
    throw EVariantError("Overflow while converting variant of type (" + Variant::TypeName(value.Type()) +
                        ") into type (" + target + ")");
}

std::vector<std::uint8_t> ArrayBytes(const Variant& value) {
    if (value.IsByteArray()) return value.Bytes();
    TVarArrayInfo info = GetVarArray(value);  // raises for a value that holds no array
    std::vector<std::uint8_t> out;
    for (std::int32_t i = info.LowBound; i <= info.HighBound; ++i) {
        std::int32_t b = value.GetElement(i).ToInt32();
        if (b < 0 || b > 255) Overflow(value, "Byte");
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

}  // namespace

void TQelODBCClient::DecodeStored(const TField* field, const std::uint8_t* p, Variant& value) const {
    value = Variant::Null();
    if (p[0] == 0) return;
    const std::uint8_t* v = p + 1;
    const TFieldType type = field->DataType();
    const std::uint32_t len = CalcFieldLen(type, field->Size());
    switch (type) {
    case ftString:
    case ftGuid: {
        const void* zero = std::memchr(v, 0, len);
        std::size_t n = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - v) : len;
        value = Variant::FromAnsi(std::string(reinterpret_cast<const char*>(v), n));
        break;
    }
    case ftSmallint: value = Variant::FromInt16(Load<std::int16_t>(v)); break;
    case ftInteger:
    case ftAutoInc: value = Variant::FromInt32(Load<std::int32_t>(v)); break;
    case ftWord: value = Variant::FromUInt16(Load<std::uint16_t>(v)); break;
    case ftBoolean: value = Variant::FromBool(Load<std::uint16_t>(v) != 0); break;
    case ftFloat: value = Variant::FromDouble(Load<double>(v)); break;
    case ftCurrency: value = Variant::FromCurrency(Currency{Load<std::int64_t>(v)}); break;
    case ftBCD: {
        TBcd bcd;
        std::memcpy(bcd.data(), v, bcd.size());
        value = Variant::FromCurrency(BcdToCurrency(bcd));
        break;
    }
    case ftDateTime: value = Variant::FromDate(NativeToDateTime(ftDateTime, v)); break;
    case ftBytes: value = Variant::FromBytes(v, static_cast<std::size_t>(field->Size())); break;
    case ftVarBytes: {
        std::size_t n = std::min<std::size_t>(Load<std::uint16_t>(v), static_cast<std::size_t>(field->Size()));
        value = Variant::FromBytes(v + 2, n);
        break;
    }
    case ftWideString: {
        std::u16string w;
        for (std::uint32_t i = 0; i + 1 < len; i += 2) {
            auto c = static_cast<char16_t>(v[i] | (v[i + 1] << 8));
            if (c == 0) break;
            w.push_back(c);
        }
        value = Variant::FromWide(std::move(w));
        break;
    }
    case ftVariant: value = VariantSlotRead(v); break;
    default: throw Exception("Необрабатываемый тип поля." + field->FieldName());
    }
}

void TQelODBCClient::EncodeStored(const TField* field, std::uint8_t* p, const Variant& value) const {
    const TFieldType type = field->DataType();
    const bool isNull = value.IsEmptyOrNull();
    if (type == ftVariant) {
        if (isNull) {
            p[0] = 0;
            VariantSlotClear(p + 1);
        } else {
            VariantSlotAssign(p + 1, value);
            p[0] = 1;
        }
        return;
    }
    const std::uint32_t len = CalcFieldLen(type, field->Size());
    if (isNull) {
        p[0] = 0;
        std::memset(p + 1, 0, len);
        return;
    }
    // Every conversion happens before the slot is touched, so a value that does not
    // convert leaves the stored value as it was.
    auto store = [&](const void* bytes, std::size_t n) {
        std::memset(p + 1, 0, len);
        std::memcpy(p + 1, bytes, std::min<std::size_t>(n, len));
        p[0] = 1;
    };
    switch (type) {
    case ftString: {
        std::string text = value.ToAnsi();
        std::size_t n = Utf8PrefixBytes(text, static_cast<std::size_t>(field->Size()));
        n = Utf8FitBytes(std::string_view(text).substr(0, n), len - 1);
        store(text.data(), n);
        break;
    }
    case ftSmallint: {
        std::int64_t v = value.ToInt64();
        if (v < INT16_MIN || v > INT16_MAX) Overflow(value, "Smallint");
        auto s = static_cast<std::int16_t>(v);
        store(&s, 2);
        break;
    }
    case ftWord: {
        std::int64_t v = value.ToInt64();
        if (v < 0 || v > UINT16_MAX) Overflow(value, "Word");
        auto w = static_cast<std::uint16_t>(v);
        store(&w, 2);
        break;
    }
    case ftInteger:
    case ftAutoInc: {
        std::int32_t v = value.ToInt32();
        store(&v, 4);
        break;
    }
    case ftBoolean: {
        std::uint16_t w = value.ToBool() ? 0xFFFF : 0;
        store(&w, 2);
        break;
    }
    case ftFloat: {
        double d = value.ToDouble();
        store(&d, 8);
        break;
    }
    case ftCurrency: {
        std::int64_t c = value.ToCurrency().Scaled;
        store(&c, 8);
        break;
    }
    case ftBCD: {
        TBcd bcd = CurrencyToBcd(value.ToCurrency(), 32, field->Size());
        store(bcd.data(), bcd.size());
        break;
    }
    case ftDateTime: {
        std::uint8_t native[8];
        DateTimeToNative(ftDateTime, value.ToDate(), native);
        store(native, 8);
        break;
    }
    case ftBytes: {
        std::vector<std::uint8_t> bytes = ArrayBytes(value);
        store(bytes.data(), std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(field->Size())));
        break;
    }
    case ftVarBytes: {
        std::string bytes;
        if (value.IsArray()) {
            auto b = ArrayBytes(value);
            bytes.assign(b.begin(), b.end());
        } else {
            bytes = value.ToAnsi();
        }
        auto n = static_cast<std::uint16_t>(std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(field->Size())));
        std::string out(2 + n, '\0');
        std::memcpy(out.data(), &n, 2);
        std::memcpy(out.data() + 2, bytes.data(), n);
        store(out.data(), out.size());
        break;
    }
    case ftWideString: {
        std::u16string w = value.ToWide();
        std::size_t units = std::min<std::size_t>(w.size(), static_cast<std::size_t>(field->Size()));
        if (units > 0 && units < w.size() && w[units - 1] >= 0xD800 && w[units - 1] <= 0xDBFF) --units;
        std::string out(2 * units, '\0');
        for (std::size_t i = 0; i < units; ++i) {
            out[2 * i] = static_cast<char>(w[i] & 0xFF);
            out[2 * i + 1] = static_cast<char>(w[i] >> 8);
        }
        store(out.data(), out.size());
        break;
    }
    case ftGuid: {
        std::string text = value.ToAnsi();
        store(text.data(), Utf8FitBytes(text, len - 1));
        break;
    }
    default: throw Exception("Необрабатываемый тип поля. " + field->FieldName());
    }
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
