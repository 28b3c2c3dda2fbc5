#pragma once
// The field classes of the in-memory dataset: one per supported type, each the framework's
// field of that type plus where the value lives in a record (slot offset), how it is
// written back to the database (table name and update scripts, each with an event that
// may rewrite it on every read), column rights, a master field and a modifiability event.
// IODBCField reaches these members without knowing the concrete class.

#include <cstdint>
#include <functional>
#include <string>

#include "dataset/Field.h"
#include "support/Variant.h"

namespace kubrix {

class IODBCField {
public:
    virtual ~IODBCField() = default;
    //! Offset of the field's slot in the record data area, -1 when not stored.
    virtual std::int32_t GetDataOfs() const = 0;
    //! Value bytes of the field's slot (TField::SlotLength).
    virtual std::int32_t GetSize_() const = 0;
    virtual void SetDataOfs(std::int32_t offset) = 0;
    //! SQL_TableName, as rewritten by OnGetTableName.
    virtual std::string GetTableName() const = 0;
    virtual void SetTableName(const std::string& value) = 0;
    virtual std::string GetUpdate_ValueScript() const = 0;
    virtual void SetUpdate_ValueScript(const std::string& value) = 0;
    virtual std::string GetUpdate_KeyScript() const = 0;
    virtual void SetUpdate_KeyScript(const std::string& value) = 0;
    virtual bool GetCheckAccess() const = 0;
    //! The dataset's read-only verdict for this field.
    virtual bool GetReadOnly() const = 0;
    //! Always unassigned.
    virtual Variant GetFilterValue() const = 0;
    //! No effect.
    virtual void SetFilterValue(const Variant& value) = 0;
    virtual std::string GetUpdateScript() const = 0;
    virtual void SetUpdateScript(const std::string& value) = 0;
    virtual TField* GetMasterField() const = 0;
    virtual void SetMasterField(TField* value) = 0;
};

//! The field's IODBCField, nullptr when it has none.
inline IODBCField* AsODBCField(const TField* field) { return field ? field->GetODBCInterface() : nullptr; }

//! Handler that may replace a text of the field each time it is read.
using TGetTableName = std::function<void(TField& sender, std::string& text)>;
using TGetValueScript = std::function<void(TField& sender, std::string& text)>;
using TGetKeyScript = std::function<void(TField& sender, std::string& text)>;
using TGetCanModify = std::function<void(TField& sender, bool& canModify)>;

//! Members shared by the thirteen classes on top of framework field Base.
template <class Base>
class TQelODBCFieldBase : public Base, public IODBCField {
public:
    explicit TQelODBCFieldBase(TComponent* owner) : Base(owner) {}
    ~TQelODBCFieldBase() override = default;

    TGetTableName OnGetTableName;
    TGetValueScript OnGetValueScript;
    TGetKeyScript OnGetKeyScript;
    std::string SQL_TableName;
    //! Column assignment ("col = value"); the text before "=" names the column for rights.
    std::string SQL_Update_ValueScript;
    std::string SQL_Update_KeyScript;
    bool CheckAccess = true;
    //! Own statement for writing this field instead of the shared update.
    std::string SQL_UpdateScript;
    TGetCanModify OnGetCanModify;

    //! Writing has no effect, reading gives Unassigned.
    Variant FilterValue() const { return Variant(); }
    void SetFilterValue(const Variant&) override {}

    std::int32_t GetDataOfs() const override { return DataOfs; }
    std::int32_t GetSize_() const override;
    void SetDataOfs(std::int32_t offset) override { DataOfs = offset; }
    std::string GetTableName() const override { return Rewrite(OnGetTableName, SQL_TableName); }
    void SetTableName(const std::string& value) override { SQL_TableName = value; }
    std::string GetUpdate_ValueScript() const override { return Rewrite(OnGetValueScript, SQL_Update_ValueScript); }
    void SetUpdate_ValueScript(const std::string& value) override { SQL_Update_ValueScript = value; }
    std::string GetUpdate_KeyScript() const override { return Rewrite(OnGetKeyScript, SQL_Update_KeyScript); }
    void SetUpdate_KeyScript(const std::string& value) override { SQL_Update_KeyScript = value; }
    bool GetCheckAccess() const override { return CheckAccess; }
    bool GetReadOnly() const override;
    Variant GetFilterValue() const override { return Variant(); }
    std::string GetUpdateScript() const override { return SQL_UpdateScript; }
    void SetUpdateScript(const std::string& value) override { SQL_UpdateScript = value; }
    TField* GetMasterField() const override { return MasterField; }
    //! The reference is cleared when the master field is destroyed.
    void SetMasterField(TField* value) override;

    //! Not GetReadOnly, then OnGetCanModify may change it.
    bool GetCanModify() const override;
    IODBCField* GetODBCInterface() const override { return const_cast<TQelODBCFieldBase*>(this); }

    //! Slot offset given when the cursor opens; -1 until then.
    std::int32_t DataOfs = -1;
    TField* MasterField = nullptr;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    std::string Rewrite(const TGetTableName& handler, const std::string& stored) const {
        std::string text = stored;
        if (handler) handler(const_cast<TQelODBCFieldBase&>(*this), text);
        return text;
    }
};

class TQelODBCStringField : public TQelODBCFieldBase<TStringField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
};

//! Running total members (calc_total, Total); the totals themselves are kept by the dataset.
template <class Base>
class TQelODBCTotalField : public TQelODBCFieldBase<Base> {
public:
    using TQelODBCFieldBase<Base>::TQelODBCFieldBase;
    bool calc_total() const { return calcTotal_; }
    virtual void Setcalc_total(bool value) = 0;
    //! Running total written and read by the dataset.
    Variant Total;

protected:
    bool calcTotal_ = false;
};

class TQelODBCSmallintField : public TQelODBCTotalField<TSmallintField> {
public:
    using TQelODBCTotalField::TQelODBCTotalField;
    //! Appends to the dataset's total fields when set (no duplicate check).
    void Setcalc_total(bool value) override;
};

class TQelODBCIntegerField : public TQelODBCTotalField<TIntegerField> {
public:
    using TQelODBCTotalField::TQelODBCTotalField;
    //! Appends to the dataset's total fields when set (no duplicate check).
    void Setcalc_total(bool value) override;
};

class TQelODBCBooleanField : public TQelODBCFieldBase<TBooleanField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
};

class TQelODBCFloatField : public TQelODBCTotalField<TFloatField> {
public:
    using TQelODBCTotalField::TQelODBCTotalField;
    //! Joins (once) or leaves the dataset's total fields.
    void Setcalc_total(bool value) override;
};

class TQelODBCBCDField : public TQelODBCTotalField<TBCDField> {
public:
    using TQelODBCTotalField::TQelODBCTotalField;
    //! Joins (once) or leaves the dataset's total fields.
    void Setcalc_total(bool value) override;
    //! Total, plus the change of the record being edited (new - old) while editing.
    Variant GetTotal() const;
};

class TQelODBCDateTimeField : public TQelODBCFieldBase<TDateTimeField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
};

class TQelODBCBytesField : public TQelODBCFieldBase<TBytesField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;

protected:
    //! Each byte's decimal value followed by ";"; empty for null.
    void GetText(std::string& text, bool displayText) const override;
};

class TQelODBCVarBytesField : public TQelODBCFieldBase<TVarBytesField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
    //! Count min(length, Size) and the first bytes of the text.
    void SetAsString(const std::string& value) override;
};

class TQelODBCBlobField : public TQelODBCFieldBase<TBlobField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
    //! The stored bytes as a byte array, compressed or not; Null when empty.
    Variant GetAsVariant() const override;
    //! The value is stored compressed.
    bool DoZip = false;

protected:
    void SetVarValue(const Variant& value) override;
};

class TQelODBCMemoField : public TQelODBCFieldBase<TMemoField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
    std::int32_t GetAsInteger() const override;
    double GetAsFloat() const override;

protected:
    void GetText(std::string& text, bool displayText) const override;
    void SetText(const std::string& text) override;
};

class TQelODBCWideStringField : public TQelODBCFieldBase<TWideStringField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
    //! The framework's own rule: OnGetCanModify is not consulted.
    bool GetCanModify() const override { return TWideStringField::GetCanModify(); }

protected:
    void GetText(std::string& text, bool displayText) const override;
};

class TQelODBCVariantField : public TQelODBCFieldBase<TVariantField> {
public:
    using TQelODBCFieldBase::TQelODBCFieldBase;
};

//! The class of a field type in this dataset: the thirteen classes above, the framework's
//! class with the slot members for the other stored types, the framework's class otherwise.
TFieldClass QelODBCFieldClass(TFieldType type);

//! CalcFieldLen of field's type and size.
std::int32_t ODBCFieldSlotLength(const TField* field);
//! The owning dataset's read-only verdict for field (the field's flag without dataset).
bool ODBCFieldReadOnly(const TField* field);

template <class Base>
std::int32_t TQelODBCFieldBase<Base>::GetSize_() const {
    return ODBCFieldSlotLength(this);
}

template <class Base>
bool TQelODBCFieldBase<Base>::GetReadOnly() const {
    return ODBCFieldReadOnly(this);
}

template <class Base>
void TQelODBCFieldBase<Base>::SetMasterField(TField* value) {
    if (MasterField == value) return;
    if (MasterField) this->RemoveFreeNotification(MasterField);
    MasterField = value;
    if (MasterField) this->FreeNotification(MasterField);
}

template <class Base>
bool TQelODBCFieldBase<Base>::GetCanModify() const {
    bool result = !GetReadOnly();
    if (OnGetCanModify) OnGetCanModify(const_cast<TQelODBCFieldBase&>(*this), result);
    return result;
}

template <class Base>
void TQelODBCFieldBase<Base>::Notification(TComponent* component, TOperation operation) {
    Base::Notification(component, operation);
    if (operation == TOperation::opRemove && MasterField && static_cast<TComponent*>(MasterField) == component)
        MasterField = nullptr;
}

}  // namespace kubrix
