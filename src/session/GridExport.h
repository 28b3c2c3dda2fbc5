#pragma once
// Writes what the pivot grid shows: every row of non-zero height and every column of non-zero
// width, each cell's text as the grid shows it, as CSV, aligned text or a self-contained HTML
// page. Reads the model only, so it runs without any display.

#include <iosfwd>
#include <string>
#include <vector>

#include "pivot/Kubrix.h"

namespace kubrix {

enum class TExportFormat { Csv, Text, Html };

struct TExportOptions {
    TExportFormat Format = TExportFormat::Csv;
    //! Keep the row-number column and the column-number row.
    bool Numbers = false;
};

//! "csv", "text" or "html"; false for anything else.
bool ParseExportFormat(const std::string& name, TExportFormat& format);

//! The shown cells, row by row (hidden lines and, unless numbers, the number lines left out).
std::vector<std::vector<TKubrixCell>> VisibleCells(const TQelKubrix& grid, bool numbers);

//! Writes rows of cells in the chosen format (UTF-8).
void WriteCells(const std::vector<std::vector<TKubrixCell>>& cells, TExportFormat format, std::ostream& out);

//! The grid cell (col, row) shown at line and cell of VisibleCells(grid, numbers); false when
//! there is none.
bool VisibleCellAt(const TQelKubrix& grid, bool numbers, int line, int cell, int& col, int& row);

//! Writes the shown cells in the chosen format (UTF-8).
void WriteGrid(const TQelKubrix& grid, const TExportOptions& options, std::ostream& out);

}  // namespace kubrix
