// The pivot grid's interaction in the model: context menus, their commands, double clicks
// (toggling and drill-down), the report editor and value filter entry points, the hint rule.

#include <algorithm>
#include <array>
#include <unordered_set>

#include "pivot/Kubrix.h"
#include "support/CursorStack.h"
#include "support/Text.h"

namespace kubrix {

namespace {

constexpr std::array<TKubrixMenuItem, 13> kMenu{{
    {"Свернуть все", TKubrixMenu::Caption, TKubrixCommand::CollapseAll},
    {"Раскрыть все", TKubrixMenu::Caption, TKubrixCommand::ExpandAll},
    {"-", TKubrixMenu::Caption, TKubrixCommand::None},
    {"Упорядочить по возрастанию", TKubrixMenu::Caption, TKubrixCommand::SortUp},
    {"Упорядочить по убыванию", TKubrixMenu::Caption, TKubrixCommand::SortDown},
    {"-", TKubrixMenu::Caption, TKubrixCommand::None},
    {"Показать итоги", TKubrixMenu::Caption, TKubrixCommand::ShowTotal},
    {"Скрыть итоги", TKubrixMenu::Caption, TKubrixCommand::HideTotal},
    {"Упорядочить по возрастанию - вертикально", TKubrixMenu::Data, TKubrixCommand::SortUpDataV},
    {"Упорядочить по убыванию - вертикально", TKubrixMenu::Data, TKubrixCommand::SortDownDataV},
    {"-", TKubrixMenu::Data, TKubrixCommand::None},
    {"Упорядочить по возрастанию - горизонтально", TKubrixMenu::Data, TKubrixCommand::SortUpDataG},
    {"Упорядочить по убыванию - горизонтально", TKubrixMenu::Data, TKubrixCommand::SortDownDataG},
}};

}  // namespace

std::span<const TKubrixMenuItem> KubrixMenuItems() { return kMenu; }

std::string HintText(std::string_view text) {
    std::string s = Trim(text);
    const std::size_t cut = Utf8PrefixBytes(s, kHintMaxChars);
    if (cut < s.size()) {
        s.resize(cut);
        s += "...";
    }
    return s;
}

bool TQelKubrix::CaptionFieldAt(int col, int row, int& place, int& index) const {
    const TKubrixDims d = Dims();
    place = index = -1;
    if (d.nX > 0 && row == d.FixedRows - 1 && col >= d.R && col < d.FixedCols) {
        const int p = col - d.R;
        if (d.dX == 1 && p == DataIndex) return false;
        const int field = p - (d.dX == 1 && DataIndex < p ? 1 : 0);
        if (field < 0 || field >= d.nX) return false;
        place = 0;
        index = field;
        return true;
    }
    int pos = 0;
    if (d.nY > 0 && row == d.C && col >= d.FixedCols && col < d.ColCount && ColToYFldInd(col, pos)) {
        if (d.nD > 1 && DataPlace == 1 && pos == DataIndex) return false;
        const int field = pos - (d.dY == 1 && DataIndex < pos ? 1 : 0);
        if (field < 0 || field >= d.nY) return false;
        place = 1;
        index = field;
        return true;
    }
    return false;
}

TKubrixMenu TQelKubrix::MenuAt(int col, int row) const {
    const TKubrixDims d = Dims();
    if (col < 0 || row < 0 || col >= d.ColCount || row >= d.RowCount) return TKubrixMenu::None;
    int place = 0, index = 0;
    if (CaptionFieldAt(col, row, place, index)) return TKubrixMenu::Caption;
    if (row >= d.FixedRows && col >= d.FixedCols) return TKubrixMenu::Data;
    return TKubrixMenu::None;
}

TKubrixMenu TQelKubrix::OpenMenuAt(int col, int row) {
    const TKubrixMenu menu = MenuAt(col, row);
    if (menu != TKubrixMenu::None) {
        MenuRow = row;
        MenuCol = col;
    }
    return menu;
}

void TQelKubrix::RunCommand(TKubrixCommand command) {
    switch (command) {
        case TKubrixCommand::None: break;
        case TKubrixCommand::CollapseAll: menu_CollapseAll(); break;
        case TKubrixCommand::ExpandAll: menu_ExpandAll(); break;
        case TKubrixCommand::SortUp: menu_SortUp(); break;
        case TKubrixCommand::SortDown: menu_SortDown(); break;
        case TKubrixCommand::ShowTotal: menu_ShowTotal(); break;
        case TKubrixCommand::HideTotal: menu_HideTotal(); break;
        case TKubrixCommand::SortUpDataV: menu_SortUpDataV(); break;
        case TKubrixCommand::SortDownDataV: menu_SortDownDataV(); break;
        case TKubrixCommand::SortUpDataG: menu_SortUpDataG(); break;
        case TKubrixCommand::SortDownDataG: menu_SortDownDataG(); break;
    }
}

TQelOLAPField* TQelKubrix::MenuField(TQelOLAPVisibleFields*& axis, int& level) const {
    int place = 0;
    axis = nullptr;
    if (!CaptionFieldAt(MenuCol, MenuRow, place, level)) return nullptr;
    axis = const_cast<TQelOLAPVisibleFields*>(place == 0 ? &XAxis : &YAxis);
    return axis->Field(level).OLAPField;
}

void TQelKubrix::SetLevelExpanded(bool expanded) {
    TraceScope trace(this, expanded ? "TQelKubrix.menu_ExpandAll" : "TQelKubrix.menu_CollapseAll");
    TQelOLAPVisibleFields* axis = nullptr;
    int level = 0;
    if (!MenuField(axis, level)) return;
    BusyCursor busy;
    // Every value of the level, wherever it occurs: walked from the root through coarser levels.
    if (axis->Root && !axis->Root->Leaf) {
        auto walk = [&](auto& self, const std::vector<TOLAPNode*>& list) -> void {
            for (TOLAPNode* n : list) {
                if (n->Level == level) {
                    if (n->Entry) n->Entry->Expanded = expanded;
                } else if (n->Level < level && !n->Leaf) {
                    self(self, n->Children);
                }
            }
        };
        walk(walk, axis->Root->Children);
    }
    UpdateGrid();
}

void TQelKubrix::menu_CollapseAll() { SetLevelExpanded(false); }
void TQelKubrix::menu_ExpandAll() { SetLevelExpanded(true); }

void TQelKubrix::SortMenuField(bool descending) {
    TraceScope trace(this, descending ? "TQelKubrix.menu_SortDown" : "TQelKubrix.menu_SortUp");
    TQelOLAPVisibleFields* axis = nullptr;
    int level = 0;
    TQelOLAPField* field = MenuField(axis, level);
    if (!field) return;
    BusyCursor busy;
    // Ordering by the field's own values ends the axis's ordering by data values.
    (axis == &XAxis ? VDataOrderBy : GDataOrderBy) = Variant();
    field->SetDescSort(descending);
}

void TQelKubrix::menu_SortUp() { SortMenuField(false); }
void TQelKubrix::menu_SortDown() { SortMenuField(true); }

void TQelKubrix::ShowTotalsMenuField(bool show) {
    TraceScope trace(this, show ? "TQelKubrix.menu_ShowTotal" : "TQelKubrix.menu_HideTotal");
    TQelOLAPVisibleFields* axis = nullptr;
    int level = 0;
    TQelOLAPField* field = MenuField(axis, level);
    if (!field) return;
    BusyCursor busy;
    field->SetShowTotals(show);
}

void TQelKubrix::menu_ShowTotal() { ShowTotalsMenuField(true); }
void TQelKubrix::menu_HideTotal() { ShowTotalsMenuField(false); }

void TQelKubrix::SortMenuData(bool horizontal, bool descending) {
    TraceScope trace(this, "TQelKubrix.SortMenuData");
    const TKubrixDims d = Dims();
    const TQelOLAPVisibleFields& ordered = horizontal ? YAxis : XAxis;
    if (ordered.Count() == 0 || !ordered.Root) return;
    int dataIndex = 0;
    if (d.nD > 1)
        dataIndex = DataPlace == 0 ? DataFldInd(XAxis, MenuRow - d.FixedRows) : DataFldInd(YAxis, MenuCol - d.FixedCols);
    // The node a line stands for (a collapsed group's row shows the group's sums); the root
    // for a total line or an axis without fields.
    auto lineNode = [this](const TQelOLAPVisibleFields& axis, int place, int offset) -> const TOLAPNode* {
        if (axis.Count() == 0) return nullptr;
        const int i = GridRowToIndRow(axis, place, offset);
        if (i < 0 || i >= axis.RowCount()) return nullptr;
        return axis.LastVisibleNode(axis.Rows[static_cast<std::size_t>(i)]);
    };
    const TOLAPNode* rowNode = lineNode(XAxis, 0, MenuRow - d.FixedRows);
    const TOLAPNode* colNode = lineNode(YAxis, 1, MenuCol - d.FixedCols);
    BusyCursor busy;
    SortByData(horizontal, descending, rowNode, colNode, dataIndex, true);
}

void TQelKubrix::menu_SortUpDataV() { SortMenuData(false, false); }
void TQelKubrix::menu_SortDownDataV() { SortMenuData(false, true); }
void TQelKubrix::menu_SortUpDataG() { SortMenuData(true, false); }
void TQelKubrix::menu_SortDownDataG() { SortMenuData(true, true); }

void TQelKubrix::CellPressed(int col, int row) {
    if (col == 0 && row == 0 && CanEditGrid) EditGrid();
}

bool TQelKubrix::FilterButtonPressed(int col, int row) {
    int place = 0, index = 0;
    if (!CaptionFieldAt(col, row, place, index)) return false;
    TQelOLAPField* field = (place == 0 ? XAxis : YAxis).Field(index).OLAPField;
    if (!field) return false;
    ShowValueFilter(*field, col, row);
    return true;
}

std::optional<std::vector<std::int32_t>> TQelKubrix::DrillDownRecords(int col, int row) const {
    const TKubrixDims d = Dims();
    if (col < d.FixedCols || row < d.FixedRows || col >= d.ColCount || row >= d.RowCount) return std::nullopt;
    const int x = GridRowToIndRow(XAxis, 0, row - d.FixedRows);
    const int y = GridRowToIndRow(YAxis, 1, col - d.FixedCols);
    // A collapsed group's line stands for all of the group's records.
    auto records = [](const TQelOLAPVisibleFields& axis, int i) {
        std::vector<std::int32_t> list;
        const TOLAPNode* n = axis.LastVisibleNode(axis.Rows[static_cast<std::size_t>(i)]);
        axis.GetRecsFromRow(i, n->Level, list);
        return list;
    };
    const bool inX = x >= 0 && x < d.rX, inY = y >= 0 && y < d.rY;
    if (inX) {
        std::vector<std::int32_t> list = records(XAxis, x);
        if (inY) {
            const std::vector<std::int32_t> other = records(YAxis, y);
            const std::unordered_set<std::int32_t> keep(other.begin(), other.end());
            std::erase_if(list, [&keep](std::int32_t r) { return !keep.contains(r); });
        }
        return list;
    }
    if (inY) return records(YAxis, y);
    return std::nullopt;
}

void TQelKubrix::CellDoubleClicked(int col, int row) {
    TraceScope trace(this, "TQelKubrix.CellDoubleClicked");
    const TKubrixDims d = Dims();
    if (col < d.FixedCols && row >= d.FixedRows) {
        RevertExpandedStateX(col, row, true);
    } else if (col >= d.FixedCols && row < d.FixedRows) {
        RevertExpandedStateY(col, row, true);
    } else if (col >= d.FixedCols && row >= d.FixedRows) {
        ApplyDrillDown(DrillDownRecords(col, row));
    }
}

}  // namespace kubrix
