#include "dataset/ODBCFields.h"

#include <algorithm>

#include "dataset/QelODBCClient.h"
#include "dataset/StoredValue.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"
#include "support/Text.h"

namespace kubrix {

std::int32_t ODBCFieldSlotLength(const TField* field) { return static_cast<std::int32_t>(field->SlotLength()); }

bool ODBCFieldReadOnly(const TField* field) {
    auto* ds = dynamic_cast<const TQelODBCClient*>(field->DataSet());
    return ds ? ds->FieldReadOnly(field) : field->ReadOnly();
}

namespace {

TQelODBCClient* ClientOf(const TField* field) { return dynamic_cast<TQelODBCClient*>(field->DataSet()); }

// Appends without a duplicate check; recomputes the totals of an open dataset.
void JoinTotalsAlways(TField* field) {
    TQelODBCClient* ds = ClientOf(field);
    if (!ds || !ds->Active()) return;
    ds->TotalFields.push_back(field);
    ds->CalcTotals();
}

// Joins once or leaves; the views are told that the whole data set changed.
void JoinTotalsOnce(TField* field, bool value) {
    TQelODBCClient* ds = ClientOf(field);
    if (!ds) return;
    auto& list = ds->TotalFields;
    auto it = std::find(list.begin(), list.end(), field);
    if (value) {
        if (it == list.end()) list.push_back(field);
        if (ds->Active()) ds->CalcTotals();
    } else if (it != list.end()) {
        list.erase(it);
    }
    if (ds->Active()) ds->DataEvent(TDataEvent::deDataSetChange);
}

}  // namespace

void TQelODBCSmallintField::Setcalc_total(bool value) {
    calcTotal_ = value;
    if (value) JoinTotalsAlways(this);
}

void TQelODBCIntegerField::Setcalc_total(bool value) {
    calcTotal_ = value;
    if (value) JoinTotalsAlways(this);
}

void TQelODBCFloatField::Setcalc_total(bool value) {
    calcTotal_ = value;
    JoinTotalsOnce(this, value);
}

void TQelODBCBCDField::Setcalc_total(bool value) {
    calcTotal_ = value;
    JoinTotalsOnce(this, value);
}

Variant TQelODBCBCDField::GetTotal() const {
    TDataSet* ds = DataSet();
    TDataSetState s = ds ? ds->State() : dsInactive;
    if (s != dsEdit && s != dsInsert && s != dsSetKey) return Total;
    auto asCurrency = [](const Variant& v) { return v.IsEmptyOrNull() ? std::int64_t{0} : v.ToCurrency().Scaled; };
    std::int64_t sum = asCurrency(Total) + asCurrency(GetAsVariant()) - asCurrency(OldValue());
    return Variant::FromCurrency(Currency{sum});
}

void TQelODBCBytesField::GetText(std::string& text, bool) const {
    text.clear();
    if (IsNull()) return;
    std::string bytes = GetAsString();
    for (unsigned char b : bytes) text += std::to_string(b) + ";";
}

void TQelODBCVarBytesField::SetAsString(const std::string& value) {
    if (value.empty()) {
        TVarBytesField::SetAsString(value);
        return;
    }
    TVarBytesField::SetAsString(value.substr(0, static_cast<std::size_t>(Size())));
}

Variant TQelODBCBlobField::GetAsVariant() const {
    TQelODBCClient* ds = ClientOf(this);
    TRecordBuffer rb;
    if (!ds || !ds->GetActiveRecBuf(rb) || ds->BlobFields.empty()) return Variant::Null();
    if (std::find(ds->BlobFields.begin(), ds->BlobFields.end(), this) == ds->BlobFields.end()) return Variant::Null();
    // As stored: compressed for a DoZip field.
    const std::string& bytes = ds->StoredBlob(this, rb);
    if (bytes.empty()) return Variant::Null();
    return Variant::FromBytes(bytes.data(), bytes.size());
}

void TQelODBCBlobField::SetVarValue(const Variant& value) {
    TQelODBCClient* ds = ClientOf(this);
    if (!ds) {
        TBlobField::SetVarValue(value);
        return;
    }
    ds->SetFieldValueToActiveBuffer(this, value);
}

void TQelODBCMemoField::GetText(std::string& text, bool) const { text = GetAsString(); }

void TQelODBCMemoField::SetText(const std::string& text) { SetAsString(text); }

std::int32_t TQelODBCMemoField::GetAsInteger() const {
    std::string s = Trim(GetAsString());
    double v;
    if (!TryParseNumber(s, v) || v != static_cast<double>(static_cast<std::int64_t>(v)) || v < INT32_MIN || v > INT32_MAX)
        throw EConvertError("'" + s + "' is not a valid integer value");
    return static_cast<std::int32_t>(v);
}

double TQelODBCMemoField::GetAsFloat() const {
    std::string s = GetAsString();
    double v;
    if (!TryParseNumber(s, v)) throw EConvertError("'" + s + "' is not a valid floating point value");
    return v;
}

void TQelODBCWideStringField::GetText(std::string& text, bool) const { text = Utf16ToUtf8(GetAsWideString()); }

TFieldClass QelODBCFieldClass(TFieldType type) {
    switch (type) {
    case ftString: return [](TComponent* o) -> TField* { return new TQelODBCStringField(o); };
    case ftSmallint: return [](TComponent* o) -> TField* { return new TQelODBCSmallintField(o); };
    case ftInteger: return [](TComponent* o) -> TField* { return new TQelODBCIntegerField(o); };
    case ftBoolean: return [](TComponent* o) -> TField* { return new TQelODBCBooleanField(o); };
    case ftFloat: return [](TComponent* o) -> TField* { return new TQelODBCFloatField(o); };
    case ftBCD: return [](TComponent* o) -> TField* { return new TQelODBCBCDField(o); };
    case ftDateTime: return [](TComponent* o) -> TField* { return new TQelODBCDateTimeField(o); };
    case ftBytes: return [](TComponent* o) -> TField* { return new TQelODBCBytesField(o); };
    case ftVarBytes: return [](TComponent* o) -> TField* { return new TQelODBCVarBytesField(o); };
    case ftBlob: return [](TComponent* o) -> TField* { return new TQelODBCBlobField(o); };
    case ftMemo: return [](TComponent* o) -> TField* { return new TQelODBCMemoField(o); };
    case ftWideString: return [](TComponent* o) -> TField* { return new TQelODBCWideStringField(o); };
    case ftVariant: return [](TComponent* o) -> TField* { return new TQelODBCVariantField(o); };
    // Other stored types get the framework's class with the slot members, so that every
    // value the record store holds is reachable through its field.
    case ftFixedChar: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TStringField>(o); };
    case ftGuid: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TGuidField>(o); };
    case ftWord: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TWordField>(o); };
    case ftAutoInc: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TAutoIncField>(o); };
    case ftLargeint: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TLargeintField>(o); };
    case ftCurrency: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TCurrencyField>(o); };
    case ftDate: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TDateField>(o); };
    case ftTime: return [](TComponent* o) -> TField* { return new TQelODBCFieldBase<TTimeField>(o); };
    default: return DefaultFieldClass(type);
    }
}

}  // namespace kubrix
