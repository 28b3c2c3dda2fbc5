#include "session/GridExport.h"

#include <algorithm>
#include <ostream>

#include "support/Text.h"

namespace kubrix {
namespace {

using TCells = std::vector<std::vector<TKubrixCell>>;

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

void WriteCsv(const TCells& cells, std::ostream& out) {
    for (const auto& row : cells) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c) out << ',';
            out << CsvField(row[c].Text);
        }
        out << "\r\n";
    }
}

//! Text for a terminal cell: line breaks would break the columns.
std::string OneLine(const std::string& text) {
    std::string s = text;
    std::replace(s.begin(), s.end(), '\r', ' ');
    std::replace(s.begin(), s.end(), '\n', ' ');
    std::replace(s.begin(), s.end(), '\t', ' ');
    return s;
}

void WriteText(const TCells& cells, std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const auto& row : cells) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], Utf8Length(OneLine(row[c].Text)));
    }
    for (const auto& row : cells) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string text = OneLine(row[c].Text);
            const std::string pad(widths[c] - Utf8Length(text), ' ');
            if (c) line += "  ";
            if (row[c].Align == TKubrixCellAlign::Right) line += pad + text;
            else line += text + pad;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (char ch : text) {
        switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += ch;
        }
    }
    return out;
}

std::string CellClasses(const TKubrixCell& cell) {
    std::string cls;
    auto add = [&cls](const char* name) {
        if (!cls.empty()) cls += ' ';
        cls += name;
    };
    if (cell.Back == TKubrixCellBack::Silver) add("h");
    else if (cell.Back == TKubrixCellBack::Numbers) add("n");
    else if (cell.Fixed) add("f");
    if (cell.Ink == TKubrixCellInk::Silver) add("r");
    if (cell.Italic) add("i");
    if (cell.Bold) add("b");
    if (cell.Align == TKubrixCellAlign::Right) add("s");
    else if (cell.Align == TKubrixCellAlign::Center) add("c");
    return cls;
}

void WriteHtml(const TCells& cells, std::ostream& out) {
    out << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Kubrix</title>\n<style>\n"
           "table{border-collapse:collapse;font:13px sans-serif}\n"
           "td{border:1px solid #808080;padding:2px 4px;white-space:nowrap;background:#fff;color:#000}\n"
           "td.f{background:#f0f0f0}\n"
           "td.h{background:#c0c0c0}\n"
           "td.n{background:#808080;color:#fff}\n"
           "td.r{color:#c0c0c0}\n"
           "td.i{font-style:italic}\n"
           "td.b{font-weight:bold}\n"
           "td.s{text-align:right}\n"
           "td.c{text-align:center}\n"
           "</style></head><body>\n<table>\n";
    for (const auto& row : cells) {
        out << "<tr>";
        for (const auto& cell : row) {
            const std::string cls = CellClasses(cell);
            out << (cls.empty() ? "<td>" : "<td class=\"" + cls + "\">") << HtmlEscape(cell.Text) << "</td>";
        }
        out << "</tr>\n";
    }
    out << "</table>\n</body></html>\n";
}

}  // namespace

bool ParseExportFormat(const std::string& name, TExportFormat& format) {
    if (name == "csv") format = TExportFormat::Csv;
    else if (name == "text") format = TExportFormat::Text;
    else if (name == "html") format = TExportFormat::Html;
    else return false;
    return true;
}

TCells VisibleCells(const TQelKubrix& grid, bool numbers) {
    const TGridGeometry& g = grid.Geometry();
    const TKubrixDims dims = grid.Dims();
    const int skipCol = !numbers && dims.R ? 0 : -1;
    const int skipRow = !numbers && dims.C ? 0 : -1;
    TCells cells;
    for (int r = 0; r < g.Rows().Count(); ++r) {
        if (r == skipRow || !g.Rows().Visible(r)) continue;
        std::vector<TKubrixCell> row;
        for (int c = 0; c < g.Cols().Count(); ++c) {
            if (c == skipCol || !g.Cols().Visible(c)) continue;
            row.push_back(grid.CellInfo(c, r));
        }
        cells.push_back(std::move(row));
    }
    return cells;
}

bool VisibleCellAt(const TQelKubrix& grid, bool numbers, int line, int cell, int& col, int& row) {
    const TGridGeometry& g = grid.Geometry();
    const TKubrixDims dims = grid.Dims();
    const int skipCol = !numbers && dims.R ? 0 : -1;
    const int skipRow = !numbers && dims.C ? 0 : -1;
    auto find = [](const auto& lines, int skip, int wanted) {
        for (int i = 0, shown = 0; i < lines.Count(); ++i) {
            if (i == skip || !lines.Visible(i)) continue;
            if (shown++ == wanted) return i;
        }
        return -1;
    };
    if (line < 0 || cell < 0) return false;
    row = find(g.Rows(), skipRow, line);
    col = find(g.Cols(), skipCol, cell);
    return row >= 0 && col >= 0;
}

void WriteGrid(const TQelKubrix& grid, const TExportOptions& options, std::ostream& out) {
    WriteCells(VisibleCells(grid, options.Numbers), options.Format, out);
}

void WriteCells(const TCells& cells, TExportFormat format, std::ostream& out) {
    switch (format) {
        case TExportFormat::Csv: WriteCsv(cells, out); break;
        case TExportFormat::Text: WriteText(cells, out); break;
        case TExportFormat::Html: WriteHtml(cells, out); break;
    }
}

}  // namespace kubrix
