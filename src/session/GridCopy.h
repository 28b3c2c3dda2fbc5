#pragma once
// The grid's cell texts as tab-separated lines, as spreadsheets take them from the clipboard.

#include <string>

#include "pivot/Kubrix.h"

namespace kubrix {

//! A block of grid cells, corners included.
struct TCellBlock {
    int Left = 0;
    int Top = 0;
    int Right = -1;
    int Bottom = -1;
};

//! The texts of the cells of block as the grid shows them, a line per row and a tab between
//! cells; hidden rows and columns are left out, the block is cut to the grid. A text holding a
//! tab, a line break or a quote is quoted (quotes doubled), so that it stays one cell.
std::string CellsAsTabText(const TQelKubrix& grid, const TCellBlock& block);

//! Every shown cell as the export writes it (the number lines left out).
std::string GridAsTabText(const TQelKubrix& grid);

}  // namespace kubrix
