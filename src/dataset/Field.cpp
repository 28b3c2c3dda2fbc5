#include "dataset/Field.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "dataset/DataSet.h"
#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"
#include "support/Text.h"

namespace kubrix {

namespace {

bool ParseInt64(const std::string& text, std::int64_t& out) {
    std::string t = Trim(text);
    const char* b = t.data();
    const char* e = b + t.size();
    if (b != e && *b == '+') ++b;
    auto r = std::from_chars(b, e, out);
    return b != e && r.ec == std::errc() && r.ptr == e;
}

[[noreturn]] void ConvertError(const std::string& text, const char* what) {
    throw EConvertError("'" + text + "' is not a valid " + what + " value");
}

}  // namespace

// ---------------------------------------------------------------- TField

TField::TField(TComponent* owner, TFieldType type) : TComponent(owner), dataType_(type) {}

TField::~TField() {
    if (dataSet_) dataSet_->RemoveField(this);
}

void TField::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) dataSet_->CheckInactive();
    if (dataSet) {
        dataSet->CheckInactive();
        if (!fieldName_.empty() && dataSet->FindField(fieldName_)) DatabaseErrorFmt("Duplicate field name '%s'", fieldName_);
    }
    if (dataSet_) dataSet_->RemoveField(this);
    dataSet_ = nullptr;
    if (dataSet) dataSet->AddField(this);
    dataSet_ = dataSet;
}

void TField::SetFieldName(const std::string& name) {
    if (name == fieldName_) return;
    if (dataSet_) {
        dataSet_->CheckInactive();
        if (dataSet_->FindField(name)) DatabaseErrorFmt("Duplicate field name '%s'", name);
    }
    fieldName_ = name;
}

void TField::SetSize(int size) {
    if (dataSet_) dataSet_->CheckInactive();
    if (size < 0) DatabaseErrorFmt("Invalid field size for field '%s'", fieldName_);
    size_ = size;
}

void TField::SetFieldKind(TFieldKind kind) {
    if (dataSet_) dataSet_->CheckInactive();
    fieldKind_ = kind;
}

bool TField::IsIndexField() const { return dataSet_ && dataSet_->GetIsIndexField(this); }

int TField::Index() const {
    if (!dataSet_) return -1;
    const auto& f = dataSet_->Fields();
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i] == this) return static_cast<int>(i);
    return -1;
}

int TField::GetDataSize() const { return 0; }

int TField::DisplayWidth() const {
    if (displayWidth_ > 0) return displayWidth_;
    switch (dataType_) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: return size_ > 0 ? size_ : 10;
    default: return 10;
    }
}

void TField::CheckDataSet() const {
    if (!dataSet_) DatabaseErrorFmt("Field '%s' has no dataset", DisplayName());
}

bool TField::GetData(void* buffer) const {
    CheckDataSet();
    return dataSet_->GetFieldData(const_cast<TField*>(this), buffer, true);
}

void TField::SetData(const void* buffer) {
    CheckDataSet();
    dataSet_->SetFieldData(this, buffer, true);
}

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::AccessError(const char* typeName) const {
    DatabaseError("Cannot access field '" + DisplayName() + "' as type " + typeName);
}

std::string TField::GetAsString() const {
    Variant v = GetAsVariant();
    return v.IsEmptyOrNull() ? std::string() : v.ToAnsi();
}
void TField::SetAsString(const std::string&) { AccessError("String"); }
std::int32_t TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(std::int32_t) { AccessError("Integer"); }
std::int64_t TField::GetAsLargeInt() const { return GetAsInteger(); }
void TField::SetAsLargeInt(std::int64_t value) {
    if (value < INT32_MIN || value > INT32_MAX) AccessError("Largeint");
    SetAsInteger(static_cast<std::int32_t>(value));
}
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
Currency TField::GetAsCurrency() const { return Variant::FromDouble(GetAsFloat()).ToCurrency(); }
void TField::SetAsCurrency(Currency value) { SetAsFloat(static_cast<double>(value.Scaled) / 10000.0); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
double TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(double) { AccessError("DateTime"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetVarValue(const Variant&) { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& value) {
    if (value.IsEmptyOrNull())
        Clear();
    else
        SetVarValue(value);
}

Variant TField::OldValue() const {
    CheckDataSet();
    return dataSet_->GetStateFieldValue(dsOldValue, const_cast<TField*>(this));
}

Variant TField::NewValue() const {
    CheckDataSet();
    return dataSet_->GetStateFieldValue(dsNewValue, const_cast<TField*>(this));
}

void TField::GetText(std::string& text, bool) const { text = GetAsString(); }
void TField::SetText(const std::string& text) { SetAsString(text); }

std::string TField::DisplayText() const {
    std::string text;
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, true);
    else
        GetText(text, true);
    return text;
}

std::string TField::Text() const {
    std::string text;
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, false);
    else
        GetText(text, false);
    return text;
}

void TField::SetEditText(const std::string& text) {
    if (OnSetText)
        OnSetText(*this, text);
    else
        SetText(text);
}

bool TField::GetCanModify() const {
    if (readOnly_ || !dataSet_) return false;
    if (fieldKind_ != fkData && fieldKind_ != fkInternalCalc) return false;
    return dataSet_->CanModify();
}

void TField::Validate(const void*) {
    if (OnValidate) OnValidate(*this);
}

void TField::Change() {
    if (OnChange) OnChange(*this);
}

// ---------------------------------------------------------------- text

TStringField::TStringField(TComponent* owner, TFieldType type) : TField(owner, type) { SetSize(20); }

int TStringField::GetDataSize() const { return static_cast<int>(SlotLength()); }

bool TStringField::GetValue(std::string& value) const {
    std::string buf(static_cast<std::size_t>(GetDataSize()) + 1, '\0');
    bool ok = GetData(buf.data());
    value = ok ? std::string(buf.c_str()) : std::string();
    return ok;
}

std::string TStringField::GetAsString() const {
    std::string v;
    GetValue(v);
    return v;
}

void ThrowDoesNotFit(const TField* field) {
    throw Exception("Поле " + field->FieldName() +
                    ": значение длиннее места, отведённого ему при загрузке только для чтения");
}

void TStringField::SetAsString(const std::string& value) {
    // A slot narrowed to the loaded values: cutting would change the text, not just limit it.
    if (!Codec().KeepsWhole(Variant::FromAnsi(value))) ThrowDoesNotFit(this);
    std::string buf(static_cast<std::size_t>(GetDataSize()), '\0');
    std::size_t n = Utf8PrefixBytes(value, static_cast<std::size_t>(Size()));
    n = Utf8FitBytes(std::string_view(value).substr(0, n), buf.size() - 1);
    std::memcpy(buf.data(), value.data(), n);
    SetData(buf.data());
}

std::int32_t TStringField::GetAsInteger() const {
    std::string s = GetAsString();
    if (s.empty()) return 0;
    std::int64_t v;
    if (!ParseInt64(s, v) || v < INT32_MIN || v > INT32_MAX) ConvertError(s, "integer");
    return static_cast<std::int32_t>(v);
}

void TStringField::SetAsInteger(std::int32_t value) { SetAsString(std::to_string(value)); }

double TStringField::GetAsFloat() const {
    std::string s = GetAsString();
    if (s.empty()) return 0;
    double v;
    if (!TryParseNumber(s, v)) ConvertError(s, "floating point");
    return v;
}

void TStringField::SetAsFloat(double value) { SetAsString(FormatFloatGeneral(value)); }

bool TStringField::GetAsBoolean() const {
    std::string s = Utf8Upper(Trim(GetAsString()));
    if (s.empty()) return false;
    if (s == "TRUE" || s == "T" || s == "YES" || s == "Y" || s == "1") return true;
    if (s == "FALSE" || s == "F" || s == "NO" || s == "N" || s == "0") return false;
    ConvertError(GetAsString(), "boolean");
}

void TStringField::SetAsBoolean(bool value) { SetAsString(value ? "True" : "False"); }

Variant TStringField::GetAsVariant() const {
    std::string v;
    if (!GetValue(v)) return Variant::Null();
    return Variant::FromAnsi(std::move(v));
}

void TStringField::SetVarValue(const Variant& value) { SetAsString(value.ToAnsi()); }

TGuidField::TGuidField(TComponent* owner) : TStringField(owner, ftGuid) { SetSize(38); }

// ---------------------------------------------------------------- integers

TIntegerField::TIntegerField(TComponent* owner, TFieldType type) : TNumericField(owner, type) {}

int TIntegerField::GetDataSize() const { return (DataType() == ftSmallint || DataType() == ftWord) ? 2 : 4; }

std::int64_t TIntegerField::MinValue() const {
    switch (DataType()) {
    case ftSmallint: return INT16_MIN;
    case ftWord: return 0;
    default: return INT32_MIN;
    }
}

std::int64_t TIntegerField::MaxValue() const {
    switch (DataType()) {
    case ftSmallint: return INT16_MAX;
    case ftWord: return UINT16_MAX;
    default: return INT32_MAX;
    }
}

void TIntegerField::CheckRange(std::int64_t value) {
    if (value < MinValue() || value > MaxValue())
        DatabaseError(std::to_string(value) + " is not a valid value for field '" + DisplayName() +
                      "'. The allowed range is " + std::to_string(MinValue()) + " to " + std::to_string(MaxValue()));
}

bool TIntegerField::GetValue(std::int32_t& value) const {
    std::uint8_t buf[4] = {};
    if (!GetData(buf)) {
        value = 0;
        return false;
    }
    switch (DataType()) {
    case ftSmallint: { std::int16_t v; std::memcpy(&v, buf, 2); value = v; break; }
    case ftWord: { std::uint16_t v; std::memcpy(&v, buf, 2); value = v; break; }
    default: std::memcpy(&value, buf, 4);
    }
    return true;
}

std::int32_t TIntegerField::GetAsInteger() const {
    std::int32_t v;
    GetValue(v);
    return v;
}

void TIntegerField::SetAsInteger(std::int32_t value) { SetAsLargeInt(value); }

std::int64_t TIntegerField::GetAsLargeInt() const { return GetAsInteger(); }

void TIntegerField::SetAsLargeInt(std::int64_t value) {
    CheckRange(value);
    std::uint8_t buf[4] = {};
    if (GetDataSize() == 2) {
        auto w = static_cast<std::uint16_t>(value & 0xFFFF);
        std::memcpy(buf, &w, 2);
    } else {
        auto v = static_cast<std::int32_t>(value);
        std::memcpy(buf, &v, 4);
    }
    SetData(buf);
}

double TIntegerField::GetAsFloat() const { return GetAsInteger(); }

void TIntegerField::SetAsFloat(double value) {
    double r = std::nearbyint(value);
    if (!std::isfinite(r) || r < static_cast<double>(MinValue()) || r > static_cast<double>(MaxValue()))
        DatabaseError(FormatFloatGeneral(value) + " is not a valid value for field '" + DisplayName() + "'");
    SetAsLargeInt(static_cast<std::int64_t>(r));
}

Currency TIntegerField::GetAsCurrency() const { return Currency{static_cast<std::int64_t>(GetAsInteger()) * 10000}; }

void TIntegerField::SetAsCurrency(Currency value) { SetAsFloat(static_cast<double>(value.Scaled) / 10000.0); }

std::string TIntegerField::GetAsString() const {
    std::int32_t v;
    return GetValue(v) ? std::to_string(v) : std::string();
}

void TNumericField::SetIntegerText(const std::string& value) {
    if (Trim(value).empty()) {
        Clear();
        return;
    }
    std::int64_t v;
    if (!ParseInt64(value, v)) ConvertError(value, "integer");
    SetAsLargeInt(v);
}

void TIntegerField::SetAsString(const std::string& value) { SetIntegerText(value); }

Variant TIntegerField::GetAsVariant() const {
    std::int32_t v;
    if (!GetValue(v)) return Variant::Null();
    switch (DataType()) {
    case ftSmallint: return Variant::FromInt16(static_cast<std::int16_t>(v));
    case ftWord: return Variant::FromUInt16(static_cast<std::uint16_t>(v));
    default: return Variant::FromInt32(v);
    }
}

void TIntegerField::SetVarValue(const Variant& value) { SetAsLargeInt(value.ToInt64()); }

TLargeintField::TLargeintField(TComponent* owner) : TNumericField(owner, ftLargeint) {}

std::int64_t TLargeintField::GetAsLargeInt() const {
    std::int64_t v = 0;
    if (!GetData(&v)) return 0;
    return v;
}

void TLargeintField::SetAsLargeInt(std::int64_t value) { SetData(&value); }

std::int32_t TLargeintField::GetAsInteger() const {
    std::int64_t v = GetAsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX) AccessError("Integer");
    return static_cast<std::int32_t>(v);
}

void TLargeintField::SetAsFloat(double value) {
    double r = std::nearbyint(value);
    if (!std::isfinite(r) || r < -9.2e18 || r > 9.2e18)
        DatabaseError(FormatFloatGeneral(value) + " is not a valid value for field '" + DisplayName() + "'");
    SetAsLargeInt(static_cast<std::int64_t>(r));
}

std::string TLargeintField::GetAsString() const { return IsNull() ? std::string() : std::to_string(GetAsLargeInt()); }

void TLargeintField::SetAsString(const std::string& value) { SetIntegerText(value); }

Variant TLargeintField::GetAsVariant() const {
    std::int64_t v = 0;
    if (!GetData(&v)) return Variant::Null();
    return Variant::FromInt64(v);
}

void TLargeintField::SetVarValue(const Variant& value) { SetAsLargeInt(value.ToInt64()); }

// ---------------------------------------------------------------- floats

TFloatField::TFloatField(TComponent* owner, TFieldType type) : TNumericField(owner, type) {}

double TFloatField::GetAsFloat() const {
    double v = 0;
    if (!GetData(&v)) return 0;
    return v;
}

void TFloatField::SetAsFloat(double value) { SetData(&value); }

std::int32_t TFloatField::GetAsInteger() const {
    double r = std::nearbyint(GetAsFloat());
    if (!(r >= INT32_MIN && r <= INT32_MAX)) AccessError("Integer");
    return static_cast<std::int32_t>(r);
}

Currency TFloatField::GetAsCurrency() const { return Variant::FromDouble(GetAsFloat()).ToCurrency(); }

void TFloatField::SetAsCurrency(Currency value) { SetAsFloat(static_cast<double>(value.Scaled) / 10000.0); }

std::string TFloatField::GetAsString() const { return IsNull() ? std::string() : FormatFloatGeneral(GetAsFloat()); }

void TFloatField::SetAsString(const std::string& value) {
    if (Trim(value).empty()) {
        Clear();
        return;
    }
    double v;
    if (!TryParseNumber(value, v)) ConvertError(value, "floating point");
    SetAsFloat(v);
}

Variant TFloatField::GetAsVariant() const {
    double v = 0;
    if (!GetData(&v)) return Variant::Null();
    return Variant::FromDouble(v);
}

void TFloatField::SetVarValue(const Variant& value) { SetAsFloat(value.ToDouble()); }

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner, ftCurrency) {}

Currency TCurrencyField::GetAsCurrency() const {
    Currency c;
    if (!GetData(&c.Scaled)) return Currency{};
    return c;
}

void TCurrencyField::SetAsCurrency(Currency value) { SetData(&value.Scaled); }

double TCurrencyField::GetAsFloat() const { return static_cast<double>(GetAsCurrency().Scaled) / 10000.0; }

void TCurrencyField::SetAsFloat(double value) { SetAsCurrency(Variant::FromDouble(value).ToCurrency()); }

std::string TCurrencyField::GetAsString() const { return IsNull() ? std::string() : FormatFloatGeneral(GetAsFloat()); }

Variant TCurrencyField::GetAsVariant() const {
    Currency c;
    if (!GetData(&c.Scaled)) return Variant::Null();
    return Variant::FromCurrency(c);
}

void TCurrencyField::SetVarValue(const Variant& value) { SetAsCurrency(value.ToCurrency()); }

// ---------------------------------------------------------------- BCD

TBCDField::TBCDField(TComponent* owner) : TNumericField(owner, ftBCD) { SetSize(4); }

Currency TBCDField::GetAsCurrency() const {
    TBcd bcd{};
    if (!GetData(bcd.data())) return Currency{};
    return BcdToCurrency(bcd);
}

void TBCDField::SetAsCurrency(Currency value) {
    TBcd bcd = CurrencyToBcd(value, 32, Size());
    SetData(bcd.data());
}

double TBCDField::GetAsFloat() const { return static_cast<double>(GetAsCurrency().Scaled) / 10000.0; }

void TBCDField::SetAsFloat(double value) { SetAsCurrency(Variant::FromDouble(value).ToCurrency()); }

std::int32_t TBCDField::GetAsInteger() const {
    double r = std::nearbyint(GetAsFloat());
    if (!(r >= INT32_MIN && r <= INT32_MAX)) AccessError("Integer");
    return static_cast<std::int32_t>(r);
}

void TBCDField::SetAsInteger(std::int32_t value) { SetAsCurrency(Currency{static_cast<std::int64_t>(value) * 10000}); }

std::string TBCDField::GetAsString() const { return IsNull() ? std::string() : FormatFloatGeneral(GetAsFloat()); }

void TBCDField::SetAsString(const std::string& value) {
    if (Trim(value).empty()) {
        Clear();
        return;
    }
    std::int64_t scaled;
    if (!TryParseCurrency(value, scaled)) ConvertError(value, "BCD");
    SetAsCurrency(Currency{scaled});
}

Variant TBCDField::GetAsVariant() const {
    TBcd bcd{};
    if (!GetData(bcd.data())) return Variant::Null();
    return Variant::FromCurrency(BcdToCurrency(bcd));
}

void TBCDField::SetVarValue(const Variant& value) { SetAsCurrency(value.ToCurrency()); }

// ---------------------------------------------------------------- boolean

TBooleanField::TBooleanField(TComponent* owner) : TField(owner, ftBoolean) {}

bool TBooleanField::GetAsBoolean() const {
    std::uint16_t w = 0;
    return GetData(&w) && w != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
    std::uint16_t w = value ? 0xFFFF : 0;
    SetData(&w);
}

std::string TBooleanField::GetAsString() const {
    std::uint16_t w = 0;
    if (!GetData(&w)) return std::string();
    return w ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& value) {
    std::string s = Utf8Upper(Trim(value));
    if (s.empty()) Clear();
    else if (s == "TRUE" || s == "T" || s == "YES" || s == "Y" || s == "1") SetAsBoolean(true);
    else if (s == "FALSE" || s == "F" || s == "NO" || s == "N" || s == "0") SetAsBoolean(false);
    else ConvertError(value, "boolean");
}

Variant TBooleanField::GetAsVariant() const {
    std::uint16_t w = 0;
    if (!GetData(&w)) return Variant::Null();
    return Variant::FromBool(w != 0);
}

void TBooleanField::SetVarValue(const Variant& value) { SetAsBoolean(value.ToBool()); }

// ---------------------------------------------------------------- date and time

TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int TDateTimeField::GetDataSize() const { return (DataType() == ftDate || DataType() == ftTime) ? 4 : 8; }

double TDateTimeField::GetAsDateTime() const {
    std::uint8_t buf[8] = {};
    if (!GetData(buf)) return 0;
    return NativeToDateTime(DataType(), buf);
}

void TDateTimeField::SetAsDateTime(double value) {
    if (!std::isfinite(value)) DatabaseError("Invalid date for field '" + DisplayName() + "'");
    std::uint8_t buf[8] = {};
    DateTimeToNative(DataType(), value, buf);
    SetData(buf);
}

std::string TDateTimeField::GetAsString() const {
    std::string text;
    GetText(text, false);
    return text;
}

void TDateTimeField::GetText(std::string& text, bool displayText) const {
    text.clear();
    if (IsNull()) return;
    double v = GetAsDateTime();
    if (displayText && !DisplayFormat().empty()) text = FormatDateTime(DisplayFormat(), v);
    else if (DataType() == ftDate) text = FormatDateTime("dd.mm.yyyy", v);
    else if (DataType() == ftTime) text = FormatDateTime("hh:nn:ss", v);
    else text = DateTimeToText(v);
}

void TDateTimeField::SetAsString(const std::string& value) {
    if (Trim(value).empty()) {
        Clear();
        return;
    }
    double v;
    if (!TryParseDateTime(value, v)) ConvertError(value, "date and time");
    SetAsDateTime(v);
}

Variant TDateTimeField::GetAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant::FromDate(GetAsDateTime());
}

void TDateTimeField::SetVarValue(const Variant& value) { SetAsDateTime(value.ToDate()); }

// ---------------------------------------------------------------- bytes

TBinaryField::TBinaryField(TComponent* owner, TFieldType type) : TField(owner, type) { SetSize(16); }

int TBinaryField::GetDataSize() const { return static_cast<int>(SlotLength()); }

std::string TBinaryField::GetAsString() const {
    std::string buf(static_cast<std::size_t>(GetDataSize()), '\0');
    if (!GetData(buf.data())) return std::string();
    if (DataType() != ftVarBytes) return buf;
    std::uint16_t n;
    std::memcpy(&n, buf.data(), 2);
    return buf.substr(2, std::min<std::size_t>(n, buf.size() - 2));
}

void TBinaryField::SetAsString(const std::string& value) {
    std::string buf(static_cast<std::size_t>(GetDataSize()), '\0');
    std::size_t n = std::min(value.size(), static_cast<std::size_t>(Size()));
    if (DataType() == ftVarBytes) {
        auto count = static_cast<std::uint16_t>(n);
        std::memcpy(buf.data(), &count, 2);
        std::memcpy(buf.data() + 2, value.data(), n);
    } else {
        std::memcpy(buf.data(), value.data(), n);
    }
    SetData(buf.data());
}

Variant TBinaryField::GetAsVariant() const {
    if (IsNull()) return Variant::Null();
    std::string bytes = GetAsString();
    return Variant::FromBytes(bytes.data(), bytes.size());
}

void TBinaryField::SetVarValue(const Variant& value) {
    if (value.IsByteArray()) {
        const auto& b = value.Bytes();
        SetAsString(std::string(b.begin(), b.end()));
    } else {
        SetAsString(value.ToAnsi());
    }
}

// ---------------------------------------------------------------- blobs

TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner, type) {}

bool TBlobField::GetValue(std::string& value) const {
    value.clear();
    return GetData(&value);
}

std::string TBlobField::GetAsString() const {
    std::string v;
    GetValue(v);
    return v;
}

void TBlobField::SetAsString(const std::string& value) { SetData(&value); }

Variant TBlobField::GetAsVariant() const {
    std::string v;
    if (!GetValue(v)) return Variant::Null();
    if (DataType() == ftMemo || DataType() == ftFmtMemo || DataType() == ftOraClob) return Variant::FromAnsi(std::move(v));
    return Variant::FromBytes(v.data(), v.size());
}

void TBlobField::GetText(std::string& text, bool displayText) const {
    if (!displayText) {
        text = GetAsString();
        return;
    }
    bool memo = DataType() == ftMemo || DataType() == ftFmtMemo || DataType() == ftOraClob;
    text = IsNull() ? (memo ? "(memo)" : "(blob)") : (memo ? "(MEMO)" : "(BLOB)");
}

void TBlobField::SetVarValue(const Variant& value) {
    if (value.IsByteArray()) {
        const auto& b = value.Bytes();
        SetAsString(std::string(b.begin(), b.end()));
    } else {
        SetAsString(value.ToAnsi());
    }
}

// ---------------------------------------------------------------- wide text

TWideStringField::TWideStringField(TComponent* owner) : TField(owner, ftWideString) { SetSize(20); }

int TWideStringField::GetDataSize() const { return static_cast<int>(SlotLength()); }

bool TWideStringField::GetValue(std::u16string& value) const {
    value.clear();
    return GetData(&value);
}

std::u16string TWideStringField::GetAsWideString() const {
    std::u16string v;
    GetValue(v);
    return v;
}

void TWideStringField::SetAsWideString(const std::u16string& value) {
    std::size_t n = std::min(value.size(), static_cast<std::size_t>(Size()));
    if (n > 0 && n < value.size() && value[n - 1] >= 0xD800 && value[n - 1] <= 0xDBFF) --n;
    std::u16string cut = value.substr(0, n);
    SetData(&cut);
}

std::string TWideStringField::GetAsString() const { return Utf16ToUtf8(GetAsWideString()); }

void TWideStringField::SetAsString(const std::string& value) { SetAsWideString(Utf8ToUtf16(value)); }

Variant TWideStringField::GetAsVariant() const {
    std::u16string v;
    if (!GetValue(v)) return Variant::Null();
    return Variant::FromWide(std::move(v));
}

void TWideStringField::SetVarValue(const Variant& value) { SetAsWideString(value.ToWide()); }

// ---------------------------------------------------------------- variant

TVariantField::TVariantField(TComponent* owner) : TField(owner, ftVariant) {}

Variant TVariantField::GetAsVariant() const {
    Variant v;
    if (!GetData(&v)) return Variant::Null();
    return v;
}

void TVariantField::SetVarValue(const Variant& value) { SetData(&value); }

std::string TVariantField::GetAsString() const {
    Variant v = GetAsVariant();
    return v.IsEmptyOrNull() ? std::string() : v.ToAnsi();
}
void TVariantField::SetAsString(const std::string& value) { SetVarValue(Variant::FromAnsi(value)); }
std::int32_t TVariantField::GetAsInteger() const {
    Variant v = GetAsVariant();
    return v.IsEmptyOrNull() ? 0 : v.ToInt32();
}
void TVariantField::SetAsInteger(std::int32_t value) { SetVarValue(Variant::FromInt32(value)); }
double TVariantField::GetAsFloat() const {
    Variant v = GetAsVariant();
    return v.IsEmptyOrNull() ? 0 : v.ToDouble();
}
void TVariantField::SetAsFloat(double value) { SetVarValue(Variant::FromDouble(value)); }
bool TVariantField::GetAsBoolean() const {
    Variant v = GetAsVariant();
    return v.IsEmptyOrNull() ? false : v.ToBool();
}
void TVariantField::SetAsBoolean(bool value) { SetVarValue(Variant::FromBool(value)); }
double TVariantField::GetAsDateTime() const {
    Variant v = GetAsVariant();
    return v.IsEmptyOrNull() ? 0 : v.ToDate();
}
void TVariantField::SetAsDateTime(double value) { SetVarValue(Variant::FromDate(value)); }

// ---------------------------------------------------------------- classes

TFieldClass DefaultFieldClass(TFieldType type) {
    switch (type) {
    case ftString: return [](TComponent* o) -> TField* { return new TStringField(o); };
    case ftFixedChar: return [](TComponent* o) -> TField* { return new TStringField(o, ftFixedChar); };
    case ftGuid: return [](TComponent* o) -> TField* { return new TGuidField(o); };
    case ftSmallint: return [](TComponent* o) -> TField* { return new TSmallintField(o); };
    case ftInteger: return [](TComponent* o) -> TField* { return new TIntegerField(o); };
    case ftWord: return [](TComponent* o) -> TField* { return new TWordField(o); };
    case ftAutoInc: return [](TComponent* o) -> TField* { return new TAutoIncField(o); };
    case ftLargeint: return [](TComponent* o) -> TField* { return new TLargeintField(o); };
    case ftBoolean: return [](TComponent* o) -> TField* { return new TBooleanField(o); };
    case ftFloat: return [](TComponent* o) -> TField* { return new TFloatField(o); };
    case ftCurrency: return [](TComponent* o) -> TField* { return new TCurrencyField(o); };
    case ftBCD: return [](TComponent* o) -> TField* { return new TBCDField(o); };
    case ftDate: return [](TComponent* o) -> TField* { return new TDateField(o); };
    case ftTime: return [](TComponent* o) -> TField* { return new TTimeField(o); };
    case ftDateTime: return [](TComponent* o) -> TField* { return new TDateTimeField(o); };
    case ftBytes: return [](TComponent* o) -> TField* { return new TBytesField(o); };
    case ftVarBytes: return [](TComponent* o) -> TField* { return new TVarBytesField(o); };
    case ftMemo: return [](TComponent* o) -> TField* { return new TMemoField(o); };
    case ftBlob: case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob: case ftOraClob:
        return [](TComponent* o) -> TField* { return new TBlobField(o); };
    case ftWideString: return [](TComponent* o) -> TField* { return new TWideStringField(o); };
    case ftVariant: return [](TComponent* o) -> TField* { return new TVariantField(o); };
    default: return [](TComponent* o) -> TField* { return new TField(o); };
    }
}

}  // namespace kubrix
