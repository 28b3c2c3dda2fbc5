// Cell aggregation: every counted record is added into every pair of its vertical path
// (leaf up to the root) and its horizontal path; the sums live on the vertical nodes.

#include <algorithm>
#include <numeric>

#include "dataset/QelODBCClient.h"
#include "pivot/Kubrix.h"
#include "pivot/OLAPVisibleFields.h"
#include "support/CursorStack.h"
#include "support/FormatSettings.h"

namespace kubrix {

const double* TOLAPSums::Find(std::int32_t key) const {
    auto it = std::lower_bound(Keys.begin(), Keys.end(), key);
    if (it == Keys.end() || *it != key) return nullptr;
    return Values.data() + (it - Keys.begin()) * FieldCount;
}

void TQelOLAPVisibleFields::ReleaseSums(TOLAPNode* node) {
    for (TOLAPNode* child : node->Children) ReleaseSums(child);
    node->Sums.reset();
}

void TQelOLAPVisibleFields::ClearData() {
    TraceScope trace(this, "TQelOLAPVisibleFields.ClearData");
    TQelOLAPVisibleFields& x = grid_.XAxis;
    if (x.Root) x.ReleaseSums(x.Root.get());
}

void TQelOLAPVisibleFields::UpdateCalcData() {
    TraceScope trace(this, "TQelOLAPVisibleFields.UpdateCalcData");
    TQelODBCClient* ds = grid_.DataSet();
    if (!ds || !grid_.RecordIncluded) return;
    if (!IndexNames.empty()) {
        ClearData();
    } else {
        for (const auto& item : items_) IndexNames.push_back(item->FieldName);
    }
    TQelOLAPVisibleFields& x = grid_.XAxis;
    TQelOLAPVisibleFields& y = grid_.YAxis;
    if (!x.Root || !y.Root) return;
    const int fieldCount = Count();
    if (fieldCount == 0) return;

    // Only records both trees know are counted (records added after the trees were built
    // have no leaf yet).
    const auto& included = *grid_.RecordIncluded;
    const std::size_t n = std::min({static_cast<std::size_t>(ds->RealRecordCount()), included.size(),
                                    x.RecordLeaves.size(), y.RecordLeaves.size()});
    const std::size_t nd = static_cast<std::size_t>(fieldCount);

    // Read every value first: a value that does not convert raises before any sum exists.
    std::vector<std::uint8_t> counted(n, 0);
    std::vector<double> values(n * nd, 0.0);
    Variant v;
    for (std::size_t i = 0; i < n; ++i) {
        if (!included[i] || !x.RecordLeaves[i]->Visible || !y.RecordLeaves[i]->Visible) continue;
        counted[i] = 1;
        for (std::size_t j = 0; j < nd; ++j) {
            ds->GetFieldValueFromBuffer(items_[j]->OLAPField->Field, static_cast<int>(i), v, "new");
            values[i * nd + j] = v.IsEmptyOrNull() ? 0.0 : v.ToDouble();
        }
    }

    // Vertical node by vertical node, with a dense slot per horizontal key, so that the sums
    // of a node with many horizontal entries are gathered without sorted inserts and sorted once.
    const std::size_t slots = static_cast<std::size_t>(y.RowCount()) + 1;  // key + 1
    std::vector<std::int32_t> slot(slots, -1);
    std::vector<std::int32_t> keys;
    std::vector<double> sums;
    std::vector<std::int32_t> order;

    auto addRecord = [&](std::int32_t rec) {
        const double* rv = values.data() + static_cast<std::size_t>(rec) * nd;
        for (const TOLAPNode* b = y.RecordLeaves[static_cast<std::size_t>(rec)]; b; b = b->Parent) {
            const std::size_t s = static_cast<std::size_t>(b->OwnRow + 1);
            std::int32_t e = slot[s];
            if (e < 0) {
                e = static_cast<std::int32_t>(keys.size());
                slot[s] = e;
                keys.push_back(b->OwnRow);
                sums.resize(sums.size() + nd, 0.0);
            }
            double* dst = sums.data() + static_cast<std::size_t>(e) * nd;
            for (std::size_t j = 0; j < nd; ++j) dst[j] += rv[j];
        }
    };
    auto addLeaf = [&](const TOLAPNode* leaf) {
        for (std::int32_t rec : leaf->Records) {
            if (static_cast<std::size_t>(rec) < n && counted[static_cast<std::size_t>(rec)]) addRecord(rec);
        }
    };
    auto finish = [&](TOLAPNode* a) {
        if (keys.empty()) return;
        order.resize(keys.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](std::int32_t p, std::int32_t q) { return keys[p] < keys[q]; });
        auto s = std::make_unique<TOLAPSums>(fieldCount);
        s->Keys.reserve(keys.size());
        s->Values.reserve(sums.size());
        for (std::int32_t e : order) {
            s->Keys.push_back(keys[static_cast<std::size_t>(e)]);
            const double* src = sums.data() + static_cast<std::size_t>(e) * nd;
            s->Values.insert(s->Values.end(), src, src + nd);
        }
        a->Sums = std::move(s);
        for (std::int32_t k : keys) slot[static_cast<std::size_t>(k + 1)] = -1;
        keys.clear();
        sums.clear();
    };

    // Rows are in post-order, so a node's subtree is the rows FirstRow..OwnRow.
    for (TOLAPNode* a : x.Rows) {
        if (a->Leaf) {
            addLeaf(a);
        } else {
            for (std::int32_t r = a->FirstRow; r <= a->LastRow; ++r) {
                const TOLAPNode* d = x.Rows[static_cast<std::size_t>(r)];
                if (d->Leaf) addLeaf(d);
            }
        }
        finish(a);
    }
    TOLAPNode* root = x.Root.get();
    if (root->Leaf) {
        addLeaf(root);
    } else {
        for (const TOLAPNode* d : x.Rows) {
            if (d->Leaf) addLeaf(d);
        }
    }
    finish(root);
}

bool TQelOLAPVisibleFields::DataValue(const TOLAPNode* xNode, const TOLAPNode* yNode, double& value,
                                      int dataIndex) const {
    if (!xNode || !xNode->Sums) return false;
    const TOLAPSums& s = *xNode->Sums;
    if (dataIndex < 0 || dataIndex >= s.FieldCount) return false;
    const double* entry = s.Find(yNode ? yNode->OwnRow : 0);
    if (!entry) return false;
    value = entry[dataIndex];
    return true;
}

bool TQelOLAPVisibleFields::DataValue(int xRow, int yRow, double& value, int dataIndex) const {
    TQelOLAPVisibleFields& x = grid_.XAxis;
    TQelOLAPVisibleFields& y = grid_.YAxis;
    if (!x.Root || !y.Root || xRow < 0 || yRow < 0) return false;
    const TOLAPNode* xNode = xRow < x.RowCount() ? x.LastVisibleNode(x.Rows[static_cast<std::size_t>(xRow)]) : x.Root.get();
    const TOLAPNode* yNode = yRow < y.RowCount() ? y.LastVisibleNode(y.Rows[static_cast<std::size_t>(yRow)]) : y.Root.get();
    return DataValue(xNode, yNode, value, dataIndex);
}

void TQelOLAPVisibleFields::DataText(int xRow, int yRow, std::string& text, int dataIndex) const {
    double value = 0;
    text = DataValue(xRow, yRow, value, dataIndex) ? FormatNumber2(value) : std::string();
}

}  // namespace kubrix
