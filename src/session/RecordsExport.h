#pragma once
// Writes the records a dataset shows, in its order: a header line of the field names, then one
// line per visible record with each field's display text (a null is empty), in the formats of
// the grid export.

#include <iosfwd>

#include "session/GridExport.h"
#include "dataset/QelODBCClient.h"

namespace kubrix {

//! The header and the visible records as rows of cells; the cursor ends before the first record.
std::vector<std::vector<TKubrixCell>> VisibleRecords(TQelODBCClient& dataSet);

//! Writes VisibleRecords in format.
void WriteRecords(TQelODBCClient& dataSet, TExportFormat format, std::ostream& out);

}  // namespace kubrix
