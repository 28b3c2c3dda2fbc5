#pragma once
// The saved column layout of a data grid as plain data, and its stored form: a variant array
// of seven elements (format marker 1, the column records as a byte array of storage-stream
// values, the columns editor's window properties, the totals place, the totals colours, the
// frozen column count). No widgets here, so that the byte form is tested and fuzzed without
// a display; the grid turns its columns into this and back.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/Variant.h"

namespace kubrix {

//! One column's record: field name, width, index, and the optional trailing elements.
struct TSavedColumn {
    std::string FieldName;
    std::int32_t Width = 0;
    std::int32_t Index = 0;
    std::optional<bool> Visible;        //!< element 3, when present
    std::optional<bool> Totals;         //!< element 4: the calc_total switch of the column's field
    std::optional<Variant> FilterValue; //!< element 5
};

//! A whole layout as stored; optional members are those an older or shorter layout may lack.
struct TSavedColumnsLayout {
    std::vector<TSavedColumn> Columns;
    Variant FormProps;                      //!< the columns editor's window properties
    std::optional<std::int8_t> TotalsPlace;  //!< 0 bottom, 1 top
    std::optional<std::int32_t> TotalsColor;
    std::optional<std::int32_t> TotalsBackColor;
    std::optional<std::int32_t> FixedCols;
};

//! Upper bound on the column records read from one layout: a layout that claims more is cut
//! there, so that crafted bytes cannot make the reader grow without end.
inline constexpr std::size_t MaxSavedColumns = 65536;

//! The stored form of a layout (every member written; the optionals as their defaults when unset:
//! place top, colours white, no frozen columns).
Variant SaveColumnsLayout(const TSavedColumnsLayout& layout);

//! Reads what can be read: an array whose element 0 equals 1 is the seven-element form (missing
//! trailing elements stay unset); any other array is the byte array of column records of older
//! layouts; anything else gives no records. Column records are read until one fails or is not an
//! array; a record whose field name or width or index does not read is skipped. Never throws for
//! malformed input.
TSavedColumnsLayout ReadColumnsLayout(const Variant& stored);

//! The column records alone as a byte array (empty Variant for none).
Variant SaveColumnRecords(const std::vector<TSavedColumn>& columns);
//! Reads column records from a byte array as ReadColumnsLayout does.
std::vector<TSavedColumn> ReadColumnRecords(const Variant& bytes);

}  // namespace kubrix
