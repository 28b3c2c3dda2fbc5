#include "session/GridCopy.h"

#include <algorithm>

#include "session/GridExport.h"

namespace kubrix {
namespace {

std::string TabField(const std::string& text) {
    if (text.find_first_of("\t\r\n\"") == std::string::npos) return text;
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

std::string TabLines(const std::vector<std::vector<TKubrixCell>>& cells) {
    std::string out;
    for (const auto& row : cells) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c) out += '\t';
            out += TabField(row[c].Text);
        }
        out += '\n';
    }
    return out;
}

}  // namespace

std::string CellsAsTabText(const TQelKubrix& grid, const TCellBlock& block) {
    const TGridGeometry& g = grid.Geometry();
    std::vector<std::vector<TKubrixCell>> cells;
    const int bottom = std::min(block.Bottom, g.Rows().Count() - 1);
    const int right = std::min(block.Right, g.Cols().Count() - 1);
    for (int r = std::max(block.Top, 0); r <= bottom; ++r) {
        if (!g.Rows().Visible(r)) continue;
        std::vector<TKubrixCell> row;
        for (int c = std::max(block.Left, 0); c <= right; ++c)
            if (g.Cols().Visible(c)) row.push_back(grid.CellInfo(c, r));
        cells.push_back(std::move(row));
    }
    return TabLines(cells);
}

std::string GridAsTabText(const TQelKubrix& grid) { return TabLines(VisibleCells(grid, false)); }

}  // namespace kubrix
