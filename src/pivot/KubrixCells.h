#pragma once
// What one cell of the pivot grid shows, decided by the model from the current layout: which kind of
// cell it is, its text, and everything a painter or an exporter needs to render it (background,
// text colour, italic, placement, filter button). A view paints by reading this and never works the
// layout out again. No Qt here.

#include <cstdint>
#include <string>

namespace kubrix {

//! The kinds of cells, in the order in which they are tested (the first that applies wins).
enum class TKubrixCellCase : std::uint8_t {
    None = 0,             //!< no case applies: the base grid's own background, no text
    Corner = 1,           //!< top-left cell with row numbers on: plain silver
    RowNumber = 2,        //!< row-number column
    ColNumber = 3,        //!< column-number row
    OneDataCaption = 4,   //!< the one data field's label above the vertical captions
    VertCaption = 5,      //!< a vertical field's caption (or "Данные") in the last fixed row
    VertValue = 6,        //!< a value of the vertical axis (or a data field label) in a header column
    HorzCaption = 7,      //!< a horizontal field's caption (or "Данные") in the caption row
    HorzValue = 8,        //!< a value of the horizontal axis (or a data field label) in a header row
    Data = 9,             //!< a sum of a vertical and a horizontal row
    TotalRowLabel = 10,   //!< "Итог" over the total rows
    TotalRowDataCaption = 11,  //!< the data field label of a total row
    TotalColLabel = 12,   //!< "Итог" over the total columns
    TotalColDataCaption = 13,  //!< the data field label of a total column
    Empty = 14,           //!< a header or data cell with nothing to show
    Total = 15,           //!< a sum in the total rows or columns
};

//! Background of a cell.
enum class TKubrixCellBack : std::uint8_t {
    Base,      //!< the grid's own background: the fixed colour for fixed cells, the window colour else
    Silver,    //!< header silver, RGB 0xC0C0C0
    Numbers,   //!< the system's grey-text colour (row and column numbers)
};

//! Text colour of a cell.
enum class TKubrixCellInk : std::uint8_t {
    Normal,  //!< the control's font colour
    Silver,  //!< repeated axis values, RGB 0xC0C0C0
    White,   //!< row and column numbers, RGB 0xFFFFFF
};

enum class TKubrixCellAlign : std::uint8_t { Left, Right, Center };

//! A cell rectangle in pixels; Right and Bottom are exclusive.
struct TKubrixRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TKubrixRect&) const = default;
    //! Inclusive of all four edges (a click on the edge of a button hits it).
    bool Contains(int x, int y) const { return x >= Left && x <= Right && y >= Top && y <= Bottom; }
};

//! Filter button geometry: a square of this size, this far below the top and left of the right edge.
struct TKubrixButtonMetrics {
    int TopMargin = 1, RightMargin = 1, Height = 10, Width = 10;
};

//! The filter button rectangle of a cell rectangle: left Right-11, top Top+1, right Right-1, bottom Top+11.
inline TKubrixRect GetBtnRect(const TKubrixRect& cell, const TKubrixButtonMetrics& m = {}) {
    return {cell.Right - m.RightMargin - m.Width, cell.Top + m.TopMargin, cell.Right - m.RightMargin,
            cell.Top + m.TopMargin + m.Height};
}

//! Everything about one cell that a painter, the in-place editor, the hint or an export reads.
struct TKubrixCell {
    TKubrixCellCase Case = TKubrixCellCase::None;
    //! The text drawn (UTF-8); empty when nothing is written.
    std::string Text;
    TKubrixCellBack Back = TKubrixCellBack::Base;
    TKubrixCellInk Ink = TKubrixCellInk::Normal;
    bool Italic = false;
    bool Bold = false;
    TKubrixCellAlign Align = TKubrixCellAlign::Left;
    //! Text offsets: left alignment draws at Left + DX; every alignment draws at Top + DY.
    //! Right alignment draws at Right - text width - 3; centred at the middle of the cell.
    int DX = 1, DY = 2;
    //! The cell lies in the fixed rows or columns.
    bool Fixed = false;
    //! A filter button is drawn at GetBtnRect of the cell rectangle (caption cells of fields).
    bool FilterButton = false;
    //! The cell holds a sum: a data cell (Data) or a total (Total).
    bool IsData = false;
    bool IsTotal = false;
    //! Caption cells of a field: 0 vertical, 1 horizontal, -1 none ("Данные" and all other cells).
    int CaptionPlace = -1;
    //! Caption cells of a field: the field's index on its axis.
    int CaptionField = -1;
};

//! The layout quantities of the current grid: the counts every mapping of a cell starts from.
struct TKubrixDims {
    int R = 0, C = 0;            //!< row-number column, column-number row (0 or 1)
    int nX = 0, nY = 0, nD = 0;  //!< fields on the vertical axis, the horizontal axis, the data list
    int rX = 0, rY = 0;          //!< rows of the vertical and horizontal axis
    int dX = 0, dY = 0;          //!< the data fields run along the rows / the columns
    int mX = 1, mY = 1;          //!< grid rows per vertical row, grid columns per horizontal row
    int FixedCols = 1, FixedRows = 1;
    int ColCount = 0, RowCount = 0;
};

}  // namespace kubrix
