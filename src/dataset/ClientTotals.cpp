// Running totals of the in-memory dataset: recomputed after bulk changes, kept up to date
// by difference on single-record add, post and delete.
#include <cstdint>
#include <exception>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/ValueCodec.h"

namespace kubrix {

namespace {

enum class NumKind { Integer, Currency, Double };

bool IsIntegerType(VarType t) {
    return t == VT_EMPTY || t == VT_I1 || t == VT_UI1 || t == VT_I2 || t == VT_UI2 || t == VT_I4 || t == VT_UI4 ||
           t == VT_I8 || t == VT_BOOL;
}

[[noreturn]] void InvalidOperation() { throw EVariantError("Invalid variant operation"); }

NumKind KindOf(const Variant& v) {
    const VarType t = v.Type();
    if (IsIntegerType(t)) return NumKind::Integer;
    if (t == VT_CY) return NumKind::Currency;
    if (t == VT_R4 || t == VT_R8 || t == VT_DATE || v.IsText() || t == VT_UI8) return NumKind::Double;
    InvalidOperation();
}

Variant FromInteger(std::int64_t v) {
    if (v >= INT32_MIN && v <= INT32_MAX) return Variant::FromInt32(static_cast<std::int32_t>(v));
    return Variant::FromInt64(v);
}

// a + sign * b with the Variant rules the totals need: integers stay integers (32-bit while
// they fit), currency stays currency, a double or a text (read as a number) makes a double.
// Null on either side gives Null.
Variant VarAddSigned(const Variant& a, const Variant& b, int sign) {
    if (a.IsNull() || b.IsNull()) return Variant::Null();
    const NumKind ka = KindOf(a), kb = KindOf(b);
    if (ka == NumKind::Double || kb == NumKind::Double) return Variant::FromDouble(a.ToDouble() + sign * b.ToDouble());
    if (ka == NumKind::Currency || kb == NumKind::Currency) {
        std::int64_t x = a.ToCurrency().Scaled, y = b.ToCurrency().Scaled, r;
        bool overflow = sign > 0 ? __builtin_add_overflow(x, y, &r) : __builtin_sub_overflow(x, y, &r);
        if (overflow) throw EVariantError("Overflow while adding variants of type (Currency)");
        return Variant::FromCurrency(Currency{r});
    }
    const std::int64_t x = a.IsEmpty() ? 0 : a.ToInt64(), y = b.IsEmpty() ? 0 : b.ToInt64();
    std::int64_t r;
    bool overflow = sign > 0 ? __builtin_add_overflow(x, y, &r) : __builtin_sub_overflow(x, y, &r);
    if (overflow) return Variant::FromDouble(static_cast<double>(x) + sign * static_cast<double>(y));
    return FromInteger(r);
}

const Variant kZero = Variant::FromInt32(0);

Variant* StoredTotal(TField* field) {
    if (auto* f = dynamic_cast<TQelODBCIntegerField*>(field)) return &f->Total;
    if (auto* f = dynamic_cast<TQelODBCSmallintField*>(field)) return &f->Total;
    if (auto* f = dynamic_cast<TQelODBCBCDField*>(field)) return &f->Total;
    return nullptr;
}

Variant TotalOf(const TQelODBCClient& ds, const TField* field) {
    Variant v = Variant::Null();
    ds.GetTotal(field, v);
    return v;
}

}  // namespace

bool TQelODBCClient::CountsInTotals(const TMemoryRecord* record) const {
    return calcTotalsType_ == cttAll || IsRecordVisible(record);
}

void TQelODBCClient::GetTotal(const TField* field, Variant& value) const {
    if (auto* bcd = dynamic_cast<const TQelODBCBCDField*>(field)) {
        value = bcd->GetTotal();
        return;
    }
    if (Variant* total = StoredTotal(const_cast<TField*>(field))) value = *total;
}

void TQelODBCClient::SetTotal(TField* field, const Variant& value) {
    if (Variant* total = StoredTotal(field)) *total = value;
}

void TQelODBCClient::SetCalcTotalsType(TCalcTotalsType value) {
    calcTotalsType_ = value;
    if (Active()) CalcTotals();
}

void TQelODBCClient::EndTotalsUpdate() {
    if (TotalsUpdateCount > 0 && --TotalsUpdateCount == 0) CalcTotals();
}

void TQelODBCClient::CalcTotals() {
    if (TotalFields.empty() || TotalsUpdateCount > 0) return;
    BusyCursor busy;
    // One pass over the counting records sums every field (a record is fetched from memory
    // once, not once per field); each field still adds its values in index order.
    struct Column {
        TField* field;
        std::int32_t offset;  // -1: read through the accessor
        TValueCodec codec;
        Variant sum = Variant::Null();
    };
    std::vector<Column> columns;
    for (TField* field : TotalFields) {
        IODBCField* odbc = AsODBCField(field);
        const std::int32_t offset =
            odbc && field->FieldKind() == fkData && IsStoredType(field->DataType()) ? odbc->GetDataOfs() : -1;
        columns.push_back({field, offset, field->Codec()});
    }
    std::size_t failed = columns.size();  // the first field whose addition failed
    std::exception_ptr error;
    Variant value;
    const int count = RealRecordCount();
    for (int i = 0; i < count; ++i) {
        TMemoryRecord* rec = Records[static_cast<std::size_t>(i)];
        if (!CountsInTotals(rec)) continue;
        if (!rec->Loaded) LoadRecord(rec);
        for (std::size_t c = 0; c < failed; ++c) {
            Column& col = columns[c];
            try {
                if (col.offset >= 0 && rec->Data)
                    value = col.codec.Decode(rec->Data + col.offset);
                else
                    GetFieldValueFromBuffer(col.field, rec, value, "new");
                col.sum = VarAddSigned(col.sum.IsNull() ? kZero : col.sum, value.IsNull() ? kZero : value, 1);
            } catch (...) {
                // The fields before this one are still stored; this one and the later ones stay.
                failed = c;
                error = std::current_exception();
            }
        }
    }
    for (std::size_t c = 0; c < failed; ++c) SetTotal(columns[c].field, columns[c].sum);
    if (error) std::rethrow_exception(error);
}

void TQelODBCClient::AddRecordToTotals(TMemoryRecord* record) {
    if (!record || !CountsInTotals(record)) return;
    Variant value;
    for (TField* field : TotalFields) {
        GetFieldValueFromBuffer(field, record, value, "new");
        SetTotal(field, VarAddSigned(isnull(TotalOf(*this, field), kZero), isnull(value, kZero), 1));
    }
}

std::vector<Variant> TQelODBCClient::TotalsWithout(TMemoryRecord* record) {
    std::vector<Variant> totals;
    if (!record || !CountsInTotals(record)) return totals;
    Variant value;
    for (TField* field : TotalFields) {
        GetFieldValueFromBuffer(field, record, value, "new");
        Variant total = TotalOf(*this, field);
        if (auto* bcd = dynamic_cast<TQelODBCBCDField*>(field)) total = bcd->Total;
        totals.push_back(VarAddSigned(isnull(total, kZero), isnull(value, kZero), -1));
    }
    return totals;
}

void TQelODBCClient::DoBeforePost() {
    // The totals without the record as it is stored now; a new record has nothing stored.
    SavedTotals.clear();
    postedRecord_ = nullptr;
    TMemoryRecord* stored = nullptr;
    if (State() == dsEdit) {
        const int index = GetActiveRecordIndex();
        if (index >= 0 && index < RealRecordCount()) stored = Records[static_cast<std::size_t>(index)];
    }
    postCounted_ = stored && CountsInTotals(stored);
    Variant value;
    for (TField* field : TotalFields) {
        Variant total = TotalOf(*this, field);
        if (auto* bcd = dynamic_cast<TQelODBCBCDField*>(field)) total = bcd->Total;  // the stored sum, not the edit's reading
        if (postCounted_) {
            GetFieldValueFromBuffer(field, stored, value, "new");
            total = VarAddSigned(isnull(total, kZero), isnull(value, kZero), -1);
        }
        SavedTotals.push_back(std::move(total));
    }
    TDataSet::DoBeforePost();
}

void TQelODBCClient::DoAfterPost() {
    TDataSet::DoAfterPost();
    RefreshDetails();  // the posted values may be the details' parameters
    if (nestedParent_) nestedParent_->SetModified(true);  // the parent's record holds this data
    TMemoryRecord* rec = postedRecord_;
    postedRecord_ = nullptr;
    if (!rec || SavedTotals.size() != TotalFields.size()) return;
    const bool counts = CountsInTotals(rec);
    if (!counts && !postCounted_) return;
    Variant value;
    for (std::size_t i = 0; i < TotalFields.size(); ++i) {
        TField* field = TotalFields[i];
        if (counts) {
            GetFieldValueFromBuffer(field, rec, value, "new");
            SetTotal(field, VarAddSigned(isnull(SavedTotals[i], kZero), isnull(value, kZero), 1));
        } else {
            SetTotal(field, SavedTotals[i]);
        }
    }
}

}  // namespace kubrix
