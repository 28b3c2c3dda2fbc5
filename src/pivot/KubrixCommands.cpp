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

void TQelKubrix::RunCommand(TKubrixCommand command, int col, int row) {
    switch (command) {
        case TKubrixCommand::None: break;
        case TKubrixCommand::CollapseAll: menu_CollapseAll(col, row); break;
        case TKubrixCommand::ExpandAll: menu_ExpandAll(col, row); break;
        case TKubrixCommand::SortUp: menu_SortUp(col, row); break;
        case TKubrixCommand::SortDown: menu_SortDown(col, row); break;
        case TKubrixCommand::ShowTotal: menu_ShowTotal(col, row); break;
        case TKubrixCommand::HideTotal: menu_HideTotal(col, row); break;
        case TKubrixCommand::SortUpDataV: menu_SortUpDataV(col, row); break;
        case TKubrixCommand::SortDownDataV: menu_SortDownDataV(col, row); break;
        case TKubrixCommand::SortUpDataG: menu_SortUpDataG(col, row); break;
        case TKubrixCommand::SortDownDataG: menu_SortDownDataG(col, row); break;
    }
}

TQelOLAPField* TQelKubrix::MenuField(int col, int row, TQelOLAPVisibleFields*& axis, int& level) const {
    int place = 0;
    axis = nullptr;
    if (!CaptionFieldAt(col, row, place, level)) return nullptr;
    axis = const_cast<TQelOLAPVisibleFields*>(place == 0 ? &XAxis : &YAxis);
    return axis->Field(level).OLAPField;
}

void TQelKubrix::SetLevelExpanded(int col, int row, bool expanded) {
    TraceScope trace(this, expanded ? "TQelKubrix.menu_ExpandAll" : "TQelKubrix.menu_CollapseAll");
    TQelOLAPVisibleFields* axis = nullptr;
    int level = 0;
    if (!MenuField(col, row, axis, level)) return;
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

void TQelKubrix::menu_CollapseAll(int col, int row) { SetLevelExpanded(col, row, false); }
void TQelKubrix::menu_ExpandAll(int col, int row) { SetLevelExpanded(col, row, true); }

void TQelKubrix::SortMenuField(int col, int row, bool descending) {
    TraceScope trace(this, descending ? "TQelKubrix.menu_SortDown" : "TQelKubrix.menu_SortUp");
    TQelOLAPVisibleFields* axis = nullptr;
    int level = 0;
    TQelOLAPField* field = MenuField(col, row, axis, level);
    if (!field) return;
    BusyCursor busy;
    // Ordering by the field's own values ends the axis's ordering by data values.
    (axis == &XAxis ? VDataOrderBy : GDataOrderBy) = Variant();
    field->SetDescSort(descending);
}

void TQelKubrix::menu_SortUp(int col, int row) { SortMenuField(col, row, false); }
void TQelKubrix::menu_SortDown(int col, int row) { SortMenuField(col, row, true); }

void TQelKubrix::ShowTotalsMenuField(int col, int row, bool show) {
    TraceScope trace(this, show ? "TQelKubrix.menu_ShowTotal" : "TQelKubrix.menu_HideTotal");
    TQelOLAPVisibleFields* axis = nullptr;
    int level = 0;
    TQelOLAPField* field = MenuField(col, row, axis, level);
    if (!field) return;
    BusyCursor busy;
    field->SetShowTotals(show);
}

void TQelKubrix::menu_ShowTotal(int col, int row) { ShowTotalsMenuField(col, row, true); }
void TQelKubrix::menu_HideTotal(int col, int row) { ShowTotalsMenuField(col, row, false); }

const TOLAPNode* TQelKubrix::LineNode(int place, int line, int& dataIndex) const {
    const TKubrixDims d = Dims();
    const TQelOLAPVisibleFields& axis = place == 0 ? XAxis : YAxis;
    const int offset = line - (place == 0 ? d.FixedRows : d.FixedCols);
    if (d.nD > 1 && DataPlace == place) dataIndex = DataFldInd(axis, offset);
    if (axis.Count() == 0 || !axis.Root) return axis.Root.get();
    // A collapsed group's line shows the group's sums; a total line the root's.
    const int i = GridRowToIndRow(axis, place, offset);
    if (i < 0 || i >= axis.RowCount()) return axis.Root.get();
    return axis.LastVisibleNode(axis.Rows[static_cast<std::size_t>(i)]);
}

void TQelKubrix::SortMenuData(int col, int row, bool horizontal, bool descending) {
    TraceScope trace(this, "TQelKubrix.SortMenuData");
    const TQelOLAPVisibleFields& ordered = horizontal ? YAxis : XAxis;
    if (ordered.Count() == 0 || !ordered.Root) return;
    int dataIndex = 0;
    const TOLAPNode* rowNode = LineNode(0, row, dataIndex);
    const TOLAPNode* colNode = LineNode(1, col, dataIndex);
    BusyCursor busy;
    SortByData(horizontal, descending, rowNode, colNode, dataIndex, true);
}

void TQelKubrix::menu_SortUpDataV(int col, int row) { SortMenuData(col, row, false, false); }
void TQelKubrix::menu_SortDownDataV(int col, int row) { SortMenuData(col, row, false, true); }
void TQelKubrix::menu_SortUpDataG(int col, int row) { SortMenuData(col, row, true, false); }
void TQelKubrix::menu_SortDownDataG(int col, int row) { SortMenuData(col, row, true, true); }

void TQelKubrix::CellPressed(int col, int row) {
    if (col == 0 && row == 0 && CanEditGrid) Tell([this](IKubrixListener& l) { l.KubrixEditGrid(*this); });
}

bool TQelKubrix::OnFilterButton(int col, int row, const TKubrixRect& cell, int x, int y) const {
    const TKubrixDims d = Dims();
    if (col < 0 || row < 0 || col >= d.ColCount || row >= d.RowCount) return false;
    if (cell.Right <= cell.Left || cell.Bottom <= cell.Top) return false;
    const TKubrixCell info = CellInfo(col, row);
    if (!info.FilterButton || info.CaptionPlace < 0) return false;
    return GetBtnRect(cell).Contains(x, y);
}

bool TQelKubrix::FilterButtonPressed(int col, int row, const TKubrixRect& cell, int x, int y) {
    if (!OnFilterButton(col, row, cell, x, y)) return false;
    int place = 0, index = 0;
    if (!CaptionFieldAt(col, row, place, index)) return false;
    TQelOLAPField* field = (place == 0 ? XAxis : YAxis).Field(index).OLAPField;
    if (!field) return false;
    TraceScope trace(this, "TQelKubrix.ShowValueFilter");
    Tell([&](IKubrixListener& l) { l.KubrixValueFilter(*this, *field, col, row); });
    return true;
}

std::optional<std::vector<std::int32_t>> TQelKubrix::DrillDownRecords(int col, int row) const {
    const TKubrixDims d = Dims();
    if (col < d.FixedCols || row < d.FixedRows || col >= d.ColCount || row >= d.RowCount) return std::nullopt;
    int dataIndex = 0;
    const TOLAPNode* xNode = LineNode(0, row, dataIndex);
    const TOLAPNode* yNode = LineNode(1, col, dataIndex);
    // Only what the sums add up: a record filtered out by a value, or under a hidden leaf, is in
    // no cell.
    const bool all = DataFields.AllRecordsCounted();
    if (xNode == XAxis.Root.get() && yNode == YAxis.Root.get() && all) return std::nullopt;
    auto records = [](const TQelOLAPVisibleFields& axis, const TOLAPNode* node) {
        std::vector<std::int32_t> list;
        if (node && node != axis.Root.get()) axis.GetRecsFromRow(node->FirstRow, node->Level, list);
        return list;
    };
    const bool inX = xNode && xNode != XAxis.Root.get(), inY = yNode && yNode != YAxis.Root.get();
    std::vector<std::int32_t> list;
    if (inX) {
        list = records(XAxis, xNode);
        if (inY) {
            const std::vector<std::int32_t> other = records(YAxis, yNode);
            const std::unordered_set<std::int32_t> keep(other.begin(), other.end());
            std::erase_if(list, [&keep](std::int32_t r) { return !keep.contains(r); });
        }
    } else if (inY) {
        list = records(YAxis, yNode);
    } else {
        list.reserve(static_cast<std::size_t>(RecordCount()));
        for (std::int32_t r = 0; r < RecordCount(); ++r) list.push_back(r);
    }
    if (!all) std::erase_if(list, [this](std::int32_t r) { return !DataFields.RecordCounted(r); });
    return list;
}

void TQelKubrix::CellDoubleClicked(int col, int row) {
    TraceScope trace(this, "TQelKubrix.CellDoubleClicked");
    const TKubrixDims d = Dims();
    if (col < d.FixedCols && row >= d.FixedRows) {
        RevertExpandedStateX(col, row, true);
    } else if (col >= d.FixedCols && row < d.FixedRows) {
        RevertExpandedStateY(col, row, true);
    } else if (col >= d.FixedCols && row >= d.FixedRows) {
        const std::optional<std::vector<std::int32_t>> records = DrillDownRecords(col, row);
        Tell([&](IKubrixListener& l) { l.KubrixDrillDown(*this, records); });
    }
}

}  // namespace kubrix
