// What every cell of the pivot grid shows.

#include "pivot/Kubrix.h"

namespace kubrix {

TKubrixCell TQelKubrix::CellInfo(int, int) const { return {}; }

std::string TQelKubrix::GetEditText(int col, int row) const { return CellInfo(col, row).Text; }

}  // namespace kubrix
