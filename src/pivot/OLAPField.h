#pragma once
// Pivot fields: one per column of the grid's dataset, each with the sorted dictionary of the
// distinct values the column takes. The dictionary carries the per-value flags (expanded,
// selected) that the axes and the value filter share, and the field carries the typed
// comparison that orders its values on an axis.
//
// A value buffer is the dataset's stored form: a flag byte (0 null) and ValueSize - 1 value
// bytes. For a memo field the buffer is a pointer to a std::string (the empty text is null).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/FieldTypes.h"
#include "support/RecordSource.h"
#include "support/ValueCodec.h"
#include "support/Variant.h"

namespace kubrix {

class TQelKubrix;
class TQelOLAPFields;

//! Byte-wise comparison folding only the ASCII letters to upper case; other bytes (all
//! bytes of multi-byte UTF-8 characters) compare by their unsigned code; a prefix is less.
//! Returns -1, 0 or 1.
int CompareTextAsciiNoCase(std::string_view a, std::string_view b);

//! One distinct value of a pivot field with its flags.
class TOLAPValueEntry {
public:
    //! Owned copy of the value buffer (ValueSize bytes); empty for a memo entry.
    std::vector<std::uint8_t> Value;
    //! The text of a memo entry.
    std::string Text;
    //! The value's groups are expanded wherever they appear on the axis.
    bool Expanded = true;
    //! The value passes the value filter.
    bool Selected = true;

    //! The entry's value as a value buffer (memo: the address of Text).
    const void* Buffer() const { return Value.empty() ? static_cast<const void*>(&Text) : Value.data(); }
};

//! A column of the dataset as the pivot sees it.
class TQelOLAPField {
public:
    using TCompare = int (TQelOLAPField::*)(const void* a, const void* b) const;

    //! A new pivot field for column index of the record source; raises "Не задан обработчик
    //! сравнения значений:" + name for a type the pivot cannot order.
    TQelOLAPField(TQelOLAPFields& owner, const TRecordField& field, int index);
    ~TQelOLAPField();
    TQelOLAPField(const TQelOLAPField&) = delete;
    TQelOLAPField& operator=(const TQelOLAPField&) = delete;

    //! Whether values of this type can be ordered (and so the field created).
    static bool TypeSupported(TFieldType type);

    //! The column of the record source.
    int FieldIndex = -1;
    //! The column's name at creation; the key of every look-up.
    std::string FieldName;
    //! Bytes of a value buffer: flag byte plus the stored value length.
    std::int32_t ValueSize = 0;
    //! The column's declared size (characters for text).
    std::int32_t FieldSize = 0;
    //! Offset of the column's slot in a record's data area (-1: none); memo texts lie beside it.
    std::int32_t Offset = -1;
    //! Subtotal rows of this field's level are shown.
    bool ShowTotals = true;
    //! The values order descending on the axis.
    bool DescSort = false;
    TFieldType DataType = ftUnknown;
    //! Reads and writes the column's slots (not a memo's text).
    TValueCodec Codec;
    //! The dictionary has been filled from the records.
    bool ValuesFilled = false;
    //! The dictionary, sorted by the raw comparison (memo: by the text comparison).
    std::vector<std::unique_ptr<TOLAPValueEntry>> Values;

    bool IsMemo() const { return DataType == ftMemo; }
    //! The caption: the column's display label while the records are there, else the name.
    std::string Caption() const;
    //! The value buffer of a record (by its position in the full list): its slot, or for a
    //! memo the address of its text; raises "Необрабатываемый тип поля." + name when the
    //! column keeps neither.
    const void* RecordValue(const TRecordSource& records, int record) const;
    //! The field's comparison (by type, honouring DescSort): negative, 0 or positive.
    int Compare(const void* a, const void* b) const { return (this->*compare_)(a, b); }

    // Typed comparisons; null is less than any value and equal to null, the result negated
    // when DescSort is set.
    int CompareValues_string(const void* a, const void* b) const;
    int CompareValues_smallint(const void* a, const void* b) const;
    int CompareValues_integer(const void* a, const void* b) const;
    int CompareValues_boolean(const void* a, const void* b) const;
    int CompareValues_float(const void* a, const void* b) const;
    //! Raises "Ошибка перевода числа из формата BCD в Currency" for a value that does not convert.
    int CompareValues_bcd(const void* a, const void* b) const;
    int CompareValues_datetime(const void* a, const void* b) const;
    //! Texts, the empty text included (a memo has no null).
    int CompareValues_memo(const void* a, const void* b) const;

    //! Finds or inserts a value (AddValueM for memo fields); returns its position.
    int Add(const void* buffer);
    //! Finds a value (FindValueM for memo fields); raises when absent.
    TOLAPValueEntry* Find(const void* buffer) const;
    //! Finds or inserts a value by the raw comparison; returns its position.
    int AddValue(const void* buffer);
    //! Finds or inserts a memo text (buffer: a std::string*); returns its position.
    int AddValueM(const void* buffer);
    //! The entry of a value; raises FieldName + "-не найдено значение:" + its text when absent.
    TOLAPValueEntry* FindValue(const void* buffer) const;
    //! The entry of a memo text; raises "Не найдено значение" when absent.
    TOLAPValueEntry* FindValueM(const void* buffer) const;
    //! Position of a value in the dictionary, -1 when absent (no error).
    int IndexOfValue(const void* buffer) const;
    //! Empties the dictionary.
    void ClearValues();
    //! Adds the field's value of every record held by the grid's dataset (and keeps each
    //! record's position in the dictionary, as RecordCodes gives it).
    void FillValues();
    //! FillValues for each field not yet filled, reading every record once for all of them.
    static void FillValuesOf(const std::vector<TQelOLAPField*>& fields);
    //! Each record's value as its position in Values, by the record's position in the full
    //! list. Kept while the records and the dictionary stay as they were (the record source's
    //! generation tells); computed anew otherwise. A value missing from the dictionary raises
    //! the look-up error.
    const std::vector<std::int32_t>& RecordCodes();
    //! Drops the kept record codes.
    void ForgetCodes() { codesSource_ = nullptr; codes_.clear(); codes_.shrink_to_fit(); }

    //! Changes the sort direction and re-sorts the field's level on its axis.
    void SetDescSort(bool flag);
    //! Shows or hides the subtotals of the field's level.
    void SetShowTotals(bool flag);
    //! 1 vertical axis, 2 horizontal axis, 3 data list, 0 not placed; index = position there.
    int FieldPlace(int& index) const;
    TQelKubrix& Grid() const;
    TQelOLAPFields& Owner() const { return owner_; }

    //! The value as a variant (memo: empty text is null; boolean: integer 1 or 0).
    void Value(const void* buffer, Variant& v) const;
    Variant Value(const void* buffer) const { Variant v; Value(buffer, v); return v; }
    //! The value as display text; null reads "(ПУСТО)".
    void ValueToText(const void* buffer, std::string& s) const;
    std::string ValueToText(const void* buffer) const { std::string s; ValueToText(buffer, s); return s; }

private:
    // Position of the first entry not less than buffer; found tells equality.
    std::size_t Search(const void* buffer, bool& found) const;
    int InsertAt(std::size_t pos, const void* buffer);
    void Changed();
    //! Per field (none a memo, each with a slot): each record's number among the distinct
    //! value buffers, and those buffers. One visit per record; many records are hashed by two
    //! threads.
    static void DistinctIds(const std::vector<TQelOLAPField*>& fields, const TRecordSource& records,
                            std::vector<std::vector<std::int32_t>>& ids, std::vector<std::vector<const void*>>& distinct);
    //! Merges the distinct buffers into the dictionary and keeps the records' codes.
    void TakeValues(const TRecordSource& records, std::uint64_t generation, const std::vector<std::int32_t>& ids,
                    std::vector<const void*>& buffers);

    TQelOLAPFields& owner_;
    TCompare compare_ = nullptr;
    // Record codes and what they were computed from (nullptr: none kept).
    std::vector<std::int32_t> codes_;
    const TRecordSource* codesSource_ = nullptr;
    std::uint64_t codesGeneration_ = 0;
};

//! The grid's pivot fields, in the dataset's column order as first seen.
class TQelOLAPFields {
public:
    explicit TQelOLAPFields(TQelKubrix& grid);
    ~TQelOLAPFields();
    TQelOLAPFields(const TQelOLAPFields&) = delete;
    TQelOLAPFields& operator=(const TQelOLAPFields&) = delete;

    //! Rebuilds the list from the record source's columns (nullptr: clears it). Fields of the
    //! same name and type are kept with their flags and dictionaries (and take the column's new
    //! place). An unsupported type raises before anything changes.
    void FillFromData(const TRecordSource* records);
    //! The field of that exact name; raises "Field not found: " + name.
    TQelOLAPField& FieldByName(const std::string& name) const;
    //! The field of that exact name, nullptr when none.
    TQelOLAPField* FindField(const std::string& name) const;
    int Count() const { return static_cast<int>(items_.size()); }
    TQelOLAPField& Items(int index) const;
    const std::vector<std::unique_ptr<TQelOLAPField>>& Fields() const { return items_; }
    TQelKubrix& Grid() const { return grid_; }

    //! Told when a field changed (its flags) or, with nullptr, when the list was rebuilt.
    std::function<void(TQelOLAPField* field)> OnChange;

private:
    friend class TQelOLAPField;
    void Changed(TQelOLAPField* field);

    TQelKubrix& grid_;
    std::vector<std::unique_ptr<TQelOLAPField>> items_;
};

}  // namespace kubrix
