#pragma once
// Field objects: one per column of a dataset, reading and writing the column's value in
// the dataset's current record through the dataset's raw field-data contract
// (GetFieldData/SetFieldData), and converting it to and from text, numbers and Variant.
//
// Raw value forms handed to GetData/SetData (the stored forms of the in-memory dataset):
//   string, fixed char, GUID: zero-terminated UTF-8 text in DataSize() bytes (the slot's
//   length: a loaded value longer than Size keeps a wider slot);
//   smallint int16, integer/autoinc int32, word uint16, largeint int64, boolean uint16
//   (0 or 0xFFFF), float double, currency int64 count of ten-thousandths, BCD the 34-byte
//   packed decimal, date-time the double of DateTimeToNative, date/time its int32;
//   bytes Size bytes, var-bytes uint16 count then the bytes (up to Size, or as loaded);
//   wide string: a std::u16string object; variant: a Variant object; blob types: a
//   std::string object holding the bytes.
// A null buffer asks only for null-ness (GetData) or writes null (SetData).

#include <cstdint>
#include <functional>
#include <string>

#include "dataset/Component.h"
#include "support/Bcd.h"
#include "support/FieldTypes.h"
#include "support/ValueCodec.h"
#include "support/Variant.h"

namespace kubrix {

class TDataSet;
class TField;
class IODBCField;

using TFieldNotifyEvent = std::function<void(TField& sender)>;
//! Replaces the text shown (displayText true) or edited (false) for the field's value.
using TFieldGetTextEvent = std::function<void(TField& sender, std::string& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField& sender, const std::string& text)>;

class TField : public TComponent {
public:
    explicit TField(TComponent* owner, TFieldType type = ftUnknown);
    ~TField() override;

    //! The dataset this field belongs to; setting it joins that dataset's field list.
    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);

    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& name);
    TFieldType DataType() const { return dataType_; }
    //! Characters for text types, bytes for byte types, decimal places for BCD.
    int Size() const { return size_; }
    void SetSize(int size);
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind);
    //! Calculated, lookup or internal-calculate: not read from the record store.
    bool Calculated() const { return fieldKind_ != fkData; }
    bool Lookup() const { return fieldKind_ == fkLookup; }

    //! 1-based number of the field definition for data fields; 0 or less for the others.
    int FieldNo() const { return fieldNo_; }
    //! Position in the dataset's field list, -1 without dataset.
    int Index() const;
    //! Offset of a calculated/lookup field's slot inside the calculated-field area.
    int Offset() const { return offset_; }
    //! Bytes of the raw value form (see above); 0 for forms passed as objects.
    virtual int GetDataSize() const;
    //! Value bytes of the field's record slot: set by the dataset when it lays out its records
    //! (a text or byte slot widens to keep a longer loaded value whole), else from type and Size.
    std::uint32_t SlotLength() const { return slotLength_ ? slotLength_ : CalcFieldLen(dataType_, size_); }
    //! 0 goes back to the length of type and Size.
    void SetSlotLength(std::uint32_t length) { slotLength_ = length; }
    //! How the field's value sits in its record slot.
    TValueCodec Codec() const { return TValueCodec(dataType_, size_, SlotLength()); }

    //! Caption for grids; the field name when none was given.
    std::string DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const std::string& label) { displayLabel_ = label; }
    //! Display label, used in messages.
    std::string DisplayName() const { return DisplayLabel(); }
    //! Width in characters a grid gives the column (0: from Size).
    int DisplayWidth() const;
    void SetDisplayWidth(int width) { displayWidth_ = width; }
    //! Format pattern of the display text (date-time fields: FormatDateTime pattern).
    const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const std::string& format) { displayFormat_ = format; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    //! How the server fills the field on insert; arAutoInc makes a small or plain integer
    //! field take the dataset's automatic increments as an ftAutoInc field does.
    enum TAutoRefreshFlag : std::uint8_t { arNone, arAutoInc, arDefault };
    TAutoRefreshFlag AutoGenerateValue() const { return autoGenerateValue_; }
    void SetAutoGenerateValue(TAutoRefreshFlag value) { autoGenerateValue_ = value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value) { visible_ = value; }
    bool Required() const { return required_; }
    //! The dataset orders its records by this field.
    bool IsIndexField() const;
    void SetRequired(bool value) { required_ = value; }

    // Lookup fields: KeyFields of this dataset matched against LookupKeyFields of
    // LookupDataSet; the value is LookupResultField of the record found.
    std::string KeyFields;
    TDataSet* LookupDataSet = nullptr;
    std::string LookupKeyFields;
    std::string LookupResultField;

    //! Called after the value changed in the current record.
    TFieldNotifyEvent OnChange;
    //! Called before a value is written; may raise to refuse it.
    TFieldNotifyEvent OnValidate;
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

    // Raw access to the current record's value.
    //! False for null (and, for text, empty); buffer may be nullptr.
    bool GetData(void* buffer) const;
    //! nullptr writes null.
    void SetData(const void* buffer);

    bool IsNull() const;
    void Clear() { SetData(nullptr); }

    // Typed access; a value of the wrong kind raises "Cannot access field '%s' as type %s"
    // or the conversion error of the value.
    virtual std::string GetAsString() const;
    virtual void SetAsString(const std::string& value);
    virtual std::int32_t GetAsInteger() const;
    virtual void SetAsInteger(std::int32_t value);
    virtual std::int64_t GetAsLargeInt() const;
    virtual void SetAsLargeInt(std::int64_t value);
    virtual double GetAsFloat() const;
    virtual void SetAsFloat(double value);
    virtual Currency GetAsCurrency() const;
    virtual void SetAsCurrency(Currency value);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBoolean(bool value);
    //! Days since 1899-12-30.
    virtual double GetAsDateTime() const;
    virtual void SetAsDateTime(double value);
    virtual Variant GetAsVariant() const;
    //! Null or empty writes null.
    void SetAsVariant(const Variant& value);

    std::string AsString() const { return GetAsString(); }
    std::int32_t AsInteger() const { return GetAsInteger(); }
    double AsFloat() const { return GetAsFloat(); }
    bool AsBoolean() const { return GetAsBoolean(); }
    Variant AsVariant() const { return GetAsVariant(); }
    Variant Value() const { return GetAsVariant(); }
    void SetValue(const Variant& value) { SetAsVariant(value); }
    //! Value before the current edit (the dataset's old-value state).
    Variant OldValue() const;
    //! Value being edited (the dataset's new-value state).
    Variant NewValue() const;

    //! Text shown in grids (OnGetText, else GetText with displayText true).
    std::string DisplayText() const;
    //! Text for editing.
    std::string Text() const;
    //! Sets the value from edited text (OnSetText, else SetText).
    void SetEditText(const std::string& text);

    //! Whether data-aware controls may change the value.
    virtual bool GetCanModify() const;
    bool CanModify() const { return GetCanModify(); }

    //! Runs OnValidate; called by the dataset before a value is stored.
    virtual void Validate(const void* buffer);
    //! Runs OnChange; called by the dataset after a value changed.
    virtual void Change();
    //! The field's slot-offset interface, nullptr for fields the record store does not hold.
    virtual IODBCField* GetODBCInterface() const { return nullptr; }

protected:
    virtual void GetText(std::string& text, bool displayText) const;
    virtual void SetText(const std::string& text);
    virtual void SetVarValue(const Variant& value);
    //! Raises "Cannot access field '%s' as type %s".
    [[noreturn]] void AccessError(const char* typeName) const;
    void CheckDataSet() const;
    void SetDataType(TFieldType type) { dataType_ = type; }

private:
    friend class TDataSet;
    TDataSet* dataSet_ = nullptr;
    std::string fieldName_;
    TFieldType dataType_;
    int size_ = 0;
    std::uint32_t slotLength_ = 0;
    TFieldKind fieldKind_ = fkData;
    int fieldNo_ = 0;
    int offset_ = 0;
    std::string displayLabel_;
    int displayWidth_ = 0;
    std::string displayFormat_;
    bool readOnly_ = false;
    TAutoRefreshFlag autoGenerateValue_ = arNone;
    bool visible_ = true;
    bool required_ = false;
};

//! Raises the error of a text longer than a slot narrowed to the values loaded.
[[noreturn]] void ThrowDoesNotFit(const TField* field);

//! Variable text up to Size characters (ftString, ftFixedChar).
class TStringField : public TField {
public:
    explicit TStringField(TComponent* owner, TFieldType type = ftString);
    //! 4 * Size + 1: room for Size characters of UTF-8 and the zero.
    int GetDataSize() const override;
    //! The text; false when null or empty.
    bool GetValue(std::string& value) const;
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsInteger(std::int32_t value) override;
    double GetAsFloat() const override;
    void SetAsFloat(double value) override;
    bool GetAsBoolean() const override;
    void SetAsBoolean(bool value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! Braced 38-character GUID text.
class TGuidField : public TStringField {
public:
    explicit TGuidField(TComponent* owner);
    int GetDataSize() const override { return 39; }
};

//! Common base of the numeric fields.
class TNumericField : public TField {
public:
    using TField::TField;

protected:
    //! Blank text clears the value; other text must be a whole number.
    void SetIntegerText(const std::string& value);
};

//! Signed 32-bit integer (ftInteger); also the base of smallint, word and autoinc.
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TComponent* owner, TFieldType type = ftInteger);
    int GetDataSize() const override;
    //! False when null.
    bool GetValue(std::int32_t& value) const;
    std::int32_t GetAsInteger() const override;
    void SetAsInteger(std::int32_t value) override;
    std::int64_t GetAsLargeInt() const override;
    void SetAsLargeInt(std::int64_t value) override;
    double GetAsFloat() const override;
    void SetAsFloat(double value) override;
    Currency GetAsCurrency() const override;
    void SetAsCurrency(Currency value) override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;
    //! Smallest and largest value the type holds.
    std::int64_t MinValue() const;
    std::int64_t MaxValue() const;

protected:
    void SetVarValue(const Variant& value) override;
    void CheckRange(std::int64_t value);
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(TComponent* owner) : TIntegerField(owner, ftSmallint) {}
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(TComponent* owner) : TIntegerField(owner, ftWord) {}
};

class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(TComponent* owner) : TIntegerField(owner, ftAutoInc) {}
};

//! Signed 64-bit integer.
class TLargeintField : public TNumericField {
public:
    explicit TLargeintField(TComponent* owner);
    int GetDataSize() const override { return 8; }
    std::int64_t GetAsLargeInt() const override;
    void SetAsLargeInt(std::int64_t value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsInteger(std::int32_t value) override { SetAsLargeInt(value); }
    double GetAsFloat() const override { return static_cast<double>(GetAsLargeInt()); }
    void SetAsFloat(double value) override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! IEEE double (ftFloat); also the base of the currency field.
class TFloatField : public TNumericField {
public:
    explicit TFloatField(TComponent* owner, TFieldType type = ftFloat);
    int GetDataSize() const override { return 8; }
    double GetAsFloat() const override;
    void SetAsFloat(double value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsInteger(std::int32_t value) override { SetAsFloat(value); }
    Currency GetAsCurrency() const override;
    void SetAsCurrency(Currency value) override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! Amount held as a 64-bit count of ten-thousandths (the same form in every path).
class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(TComponent* owner);
    double GetAsFloat() const override;
    void SetAsFloat(double value) override;
    Currency GetAsCurrency() const override;
    void SetAsCurrency(Currency value) override;
    std::string GetAsString() const override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! Packed decimal; Size is the number of decimal places, Precision the digits.
class TBCDField : public TNumericField {
public:
    explicit TBCDField(TComponent* owner);
    int GetDataSize() const override { return 34; }
    int Precision = 19;
    Currency GetAsCurrency() const override;
    void SetAsCurrency(Currency value) override;
    double GetAsFloat() const override;
    void SetAsFloat(double value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsInteger(std::int32_t value) override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! Stored as a 16-bit word, 0 or 0xFFFF; shown as "True"/"False".
class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* owner);
    int GetDataSize() const override { return 2; }
    bool GetAsBoolean() const override;
    void SetAsBoolean(bool value) override;
    std::int32_t GetAsInteger() const override { return GetAsBoolean() ? 1 : 0; }
    void SetAsInteger(std::int32_t value) override { SetAsBoolean(value != 0); }
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! Date and time (ftDateTime); ftDate and ftTime hold one half of it.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* owner, TFieldType type = ftDateTime);
    int GetDataSize() const override;
    double GetAsDateTime() const override;
    void SetAsDateTime(double value) override;
    double GetAsFloat() const override { return GetAsDateTime(); }
    void SetAsFloat(double value) override { SetAsDateTime(value); }
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void GetText(std::string& text, bool displayText) const override;
    void SetVarValue(const Variant& value) override;
};

class TDateField : public TDateTimeField {
public:
    explicit TDateField(TComponent* owner) : TDateTimeField(owner, ftDate) {}
};

class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(TComponent* owner) : TDateTimeField(owner, ftTime) {}
};

//! Fixed (ftBytes) or counted (ftVarBytes) bytes; the value is a byte array Variant.
class TBinaryField : public TField {
public:
    TBinaryField(TComponent* owner, TFieldType type);
    int GetDataSize() const override;
    //! The bytes (raw text of the bytes).
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

class TBytesField : public TBinaryField {
public:
    explicit TBytesField(TComponent* owner) : TBinaryField(owner, ftBytes) {}
};

class TVarBytesField : public TBinaryField {
public:
    explicit TVarBytesField(TComponent* owner) : TBinaryField(owner, ftVarBytes) {}
};

//! Byte string outside the data area (ftBlob and the other blob types); ftMemo holds text.
class TBlobField : public TField {
public:
    explicit TBlobField(TComponent* owner, TFieldType type = ftBlob);
    int GetDataSize() const override { return 0; }
    //! The bytes; false when empty.
    bool GetValue(std::string& value) const;
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void GetText(std::string& text, bool displayText) const override;
    void SetVarValue(const Variant& value) override;
};

class TMemoField : public TBlobField {
public:
    explicit TMemoField(TComponent* owner) : TBlobField(owner, ftMemo) {}
};

//! UTF-16 text up to Size characters.
class TWideStringField : public TField {
public:
    explicit TWideStringField(TComponent* owner);
    //! 2 * Size + 2.
    int GetDataSize() const override;
    bool GetValue(std::u16string& value) const;
    std::u16string GetAsWideString() const;
    void SetAsWideString(const std::u16string& value);
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! Any Variant value.
class TVariantField : public TField {
public:
    explicit TVariantField(TComponent* owner);
    int GetDataSize() const override { return 16; }
    std::string GetAsString() const override;
    void SetAsString(const std::string& value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsInteger(std::int32_t value) override;
    double GetAsFloat() const override;
    void SetAsFloat(double value) override;
    bool GetAsBoolean() const override;
    void SetAsBoolean(bool value) override;
    double GetAsDateTime() const override;
    void SetAsDateTime(double value) override;
    Variant GetAsVariant() const override;

protected:
    void SetVarValue(const Variant& value) override;
};

//! Creates a field object of a class; the dataset picks one per field type.
using TFieldClass = TField* (*)(TComponent* owner);
//! The framework's class for a field type (TField itself for types without one).
TFieldClass DefaultFieldClass(TFieldType type);

}  // namespace kubrix
