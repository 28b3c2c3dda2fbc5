// Ordering an axis by data values. The key of a node is its sum in the clicked line of the other
// axis (0 where it has no records); equal keys keep the value order, so an ordering restored on a
// rebuilt tree gives the same rows.

#include "pivot/KubrixOrder.h"

#include <algorithm>
#include <vector>

#include "pivot/Kubrix.h"
#include "support/CursorStack.h"
#include "support/ScopeGuard.h"

namespace kubrix {

namespace {

struct KeyedNode {
    double key;
    TOLAPNode* node;
};

//! Sorts every children list from the root down to the level above the leaves. Equal keys
//! keep the axis's value order (reversed when descending), whatever order the list is in now.
template <typename KeyOf>
void SortChildren(const TQelOLAPVisibleFields& axis, bool descending, KeyOf keyOf) {
    std::vector<KeyedNode> keyed;
    auto visit = [&](auto& self, TOLAPNode* node) -> void {
        if (node->Leaf || node->Children.empty()) return;
        const int level = node->Children.front()->Level;
        const TQelOLAPField* field = level < axis.LevelCount() ? axis.LevelField(level) : nullptr;
        keyed.clear();
        keyed.reserve(node->Children.size());
        for (TOLAPNode* child : node->Children) keyed.push_back({keyOf(child), child});
        std::sort(keyed.begin(), keyed.end(), [descending, field](const KeyedNode& a, const KeyedNode& b) {
            if (a.key != b.key) return descending ? a.key > b.key : a.key < b.key;
            const int c = field ? field->Compare(a.node->Entry->Buffer(), b.node->Entry->Buffer()) : 0;
            return descending ? c > 0 : c < 0;
        });
        for (std::size_t i = 0; i < keyed.size(); ++i) node->Children[i] = keyed[i].node;
        for (TOLAPNode* child : node->Children) self(self, child);
    };
    visit(visit, axis.Root.get());
}

Variant OrderVariant(bool descending, Variant rowPath, Variant colPath, int dataIndex) {
    Variant o = Variant::MakeArray(VT_VARIANT, 0, 3);
    o.PutElement(0, Variant::FromAnsi(descending ? "D" : "U"));
    o.PutElement(1, rowPath);
    o.PutElement(2, colPath);
    o.PutElement(3, Variant::FromInt32(dataIndex));
    return o;
}

}  // namespace

Variant TQelKubrix::NodeToValues(const TQelOLAPVisibleFields& axis, const TOLAPNode* node) const {
    std::vector<const TOLAPNode*> path;
    for (const TOLAPNode* n = node; n && n->Entry && n->Parent; n = n->Parent) path.push_back(n);
    Variant v = Variant::MakeArray(VT_VARIANT, 0, static_cast<std::int32_t>(path.size()) - 1);
    for (std::size_t k = 0; k < path.size(); ++k) {
        const TOLAPNode* n = path[path.size() - 1 - k];
        if (n->Level >= axis.LevelCount()) continue;
        v.PutElement(static_cast<std::int32_t>(k), axis.LevelField(n->Level)->Value(n->Entry->Buffer()));
    }
    return v;
}

void TQelKubrix::SortByData(bool horizontal, bool descending, const TOLAPNode* rowNode,
                            const TOLAPNode* colNode, int dataIndex, bool store) {
    TraceScope trace(this, "TQelKubrix.SortByData");
    TQelOLAPVisibleFields& axis = horizontal ? YAxis : XAxis;
    TQelOLAPVisibleFields& other = horizontal ? XAxis : YAxis;
    if (axis.Count() == 0 || !axis.Root || axis.LevelCount() == 0) return;
    BusyCursor busy;
    if (store) {
        Variant o = OrderVariant(descending, NodeToValues(XAxis, rowNode), NodeToValues(YAxis, colNode), dataIndex);
        (horizontal ? GDataOrderBy : VDataOrderBy) = o;
    }
    // The line of the other axis whose sums are the keys: the node its clicked line shows
    // (the outermost collapsed ancestor), or the total.
    const TOLAPNode* clicked = horizontal ? rowNode : colNode;
    const TOLAPNode* line = other.Root.get();
    if (clicked && clicked->Parent && other.Root) line = other.LastVisibleNode(const_cast<TOLAPNode*>(clicked));
    const TQelOLAPVisibleFields& data = DataFields;
    if (horizontal) {
        SortChildren(axis, descending, [&](const TOLAPNode* n) {
            double value = 0;
            return data.DataValue(line, n, value, dataIndex) ? value : 0.0;
        });
    } else {
        SortChildren(axis, descending, [&](const TOLAPNode* n) {
            double value = 0;
            return data.DataValue(n, line, value, dataIndex) ? value : 0.0;
        });
    }
    // Only rows move: the sums stay, their horizontal keys follow the renumbered rows.
    const std::vector<TOLAPNode*> before = axis.Rows;
    axis.FillRows();
    if (horizontal) {
        std::vector<std::int32_t> newKey(before.size() + 1, -1);
        for (std::size_t r = 0; r < before.size(); ++r) newKey[r + 1] = before[r]->OwnRow;
        DataFields.RemapSumKeys(newKey);
    }
    if (UpdateLock > 0 || Destroying()) return;
    struct KeepOnce {
        TQelOLAPVisibleFields& data;
        ~KeepOnce() { data.KeepSumsOnce(false); }
    } keep{DataFields};
    DataFields.KeepSumsOnce(true);
    UpdateGrid();
}

void TQelKubrix::SetVDataOrderBy(const Variant& v) {
    VDataOrderBy = v;
    if (UpdateLock == 0 && v.IsArray()) RefreshDataOrder('V');
}

void TQelKubrix::SetGDataOrderBy(const Variant& v) {
    GDataOrderBy = v;
    if (UpdateLock == 0 && v.IsArray()) RefreshDataOrder('G');
}

void TQelKubrix::RefreshDataOrder(char kind) {
    TraceScope trace(this, "TQelKubrix.RefreshDataOrder");
    BusyCursor busy;
    {
        const std::int32_t saved = UpdateLock;
        UpdateLock = 0;
        ScopeExit restore([this, saved] { UpdateLock = saved; });
        UpdateGrid();
    }
    const Variant& o = kind == 'G' ? GDataOrderBy : VDataOrderBy;
    if (!o.IsArray() || o.ElementCount() < 4) return;
    const std::int32_t low = o.LowBound();
    const Variant direction = o.GetElement(low);
    if (!direction.IsText()) return;
    const std::string d = direction.ToAnsi();
    if (d != "U" && d != "D") return;
    const Variant index = o.GetElement(low + 3);
    if (index.IsArray() || index.IsEmptyOrNull() || !index.IsNumeric()) return;
    const double dataIndex = index.ToDouble();
    // A data field that is not there orders nothing (every key would be 0).
    if (!(dataIndex >= 0 && dataIndex < DataFields.Count())) return;
    const TOLAPNode* xn = XAxis.FindNodeByValue(o.GetElement(low + 1));
    const TOLAPNode* yn = YAxis.FindNodeByValue(o.GetElement(low + 2));
    SortByData(kind == 'G', d == "D", xn, yn, static_cast<int>(dataIndex), false);
}

void CloseUpdateWithDataOrder(TQelKubrix& grid) {
    if (grid.UpdateLock > 1) {
        grid.EndUpdate();
        return;
    }
    grid.UpdateLock = 0;
    const bool g = grid.GDataOrderBy.IsArray(), v = grid.VDataOrderBy.IsArray();
    if (g) grid.RefreshDataOrder('G');
    if (v) grid.RefreshDataOrder('V');
    if (!g && !v) grid.UpdateGrid();
}

}  // namespace kubrix
