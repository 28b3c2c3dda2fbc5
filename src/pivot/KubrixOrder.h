#pragma once
// Ordering an axis by data values: the rows by the sums of one column or the columns by the
// sums of one row (TQelKubrix::SortByData, SetVDataOrderBy, SetGDataOrderBy, RefreshDataOrder).

namespace kubrix {

class TQelKubrix;

//! Closes the grid's update bracket; the outermost close re-applies the orderings by data
//! values (first the columns', then the rows'), or updates the grid when there is none.
void CloseUpdateWithDataOrder(TQelKubrix& grid);

}  // namespace kubrix
