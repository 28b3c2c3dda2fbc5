// Cell aggregation: every counted record is added into every pair of its vertical path
// (leaf up to the root) and its horizontal path; the sums live on the vertical nodes.

#include <algorithm>
#include <cstring>
#include <numeric>

#include "dataset/Field.h"
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
    sumsX_ = sumsY_ = nullptr;
    sumsCounted_.clear();
    TQelOLAPVisibleFields& x = grid_.XAxis;
    if (x.Root) x.ReleaseSums(x.Root.get());
}

namespace {

// A data field whose stored number converts to a double exactly as its variant would, read
// straight from the record's slot.
bool ReadsRaw(const TField* field) {
    if (field->FieldKind() != fkData) return false;
    switch (field->DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftAutoInc:
        case ftFloat: return true;
        default: return false;
    }
}

double RawNumber(TFieldType type, const std::uint8_t* p) {
    if (!p || p[0] == 0) return 0.0;
    switch (type) {
        case ftSmallint: {
            std::int16_t v;
            std::memcpy(&v, p + 1, sizeof v);
            return v;
        }
        case ftInteger:
        case ftAutoInc: {
            std::int32_t v;
            std::memcpy(&v, p + 1, sizeof v);
            return v;
        }
        default: {
            double v;
            std::memcpy(&v, p + 1, sizeof v);
            return v;
        }
    }
}

}  // namespace

void TQelOLAPVisibleFields::UpdateCalcData() {
    TraceScope trace(this, "TQelOLAPVisibleFields.UpdateCalcData");
    // One-shot: set by an ordering that only renumbered rows (and moved the keys along).
    const bool keep = keepSums_;
    keepSums_ = false;
    TQelODBCClient* ds = grid_.DataSet();
    if (!ds || !grid_.RecordIncluded) return;
    TQelOLAPVisibleFields& x = grid_.XAxis;
    TQelOLAPVisibleFields& y = grid_.YAxis;
    const int fieldCount = Count();

    // Only records both trees know are counted (records added after the trees were built
    // have no leaf yet).
    const auto& included = *grid_.RecordIncluded;
    const std::size_t n = x.Root && y.Root ? std::min({static_cast<std::size_t>(ds->RealRecordCount()), included.size(),
                                                       x.RecordLeaves.size(), y.RecordLeaves.size()})
                                           : 0;
    std::vector<std::uint8_t> counted(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        counted[i] = included[i] && x.RecordLeaves[i]->Visible && y.RecordLeaves[i]->Visible ? 1 : 0;
    }
    if (keep && !IndexNames.empty() && x.Root && y.Root && x.Root.get() == sumsX_ && y.Root.get() == sumsY_ &&
        fieldCount == sumsFields_ && counted == sumsCounted_) {
        return;  // the same records in the same trees: the sums stand
    }
    sumsX_ = sumsY_ = nullptr;
    sumsCounted_.clear();

    if (!IndexNames.empty()) {
        ClearData();
    } else {
        for (const auto& item : items_) IndexNames.push_back(item->FieldName);
    }
    if (!x.Root || !y.Root) return;
    if (fieldCount == 0) return;
    const std::size_t nd = static_cast<std::size_t>(fieldCount);

    // Read every value first: a value that does not convert raises before any sum exists.
    std::vector<const TField*> fields(nd);
    std::vector<std::uint8_t> raw(nd);
    for (std::size_t j = 0; j < nd; ++j) {
        fields[j] = items_[j]->OLAPField->Field;
        raw[j] = ReadsRaw(fields[j]) ? 1 : 0;
    }
    std::vector<double> values(n * nd, 0.0);
    Variant v;
    for (std::size_t i = 0; i < n; ++i) {
        if (!counted[i]) continue;
        TMemoryRecord* rec = ds->GetMemoryRecord(static_cast<int>(i));
        for (std::size_t j = 0; j < nd; ++j) {
            if (raw[j]) {
                ds->LoadRecord(rec);
                values[i * nd + j] = RawNumber(fields[j]->DataType(), TQelODBCClient::FindFieldData(rec->Data, fields[j]));
            } else {
                ds->GetFieldValueFromBuffer(fields[j], rec, v, "new");
                values[i * nd + j] = v.IsEmptyOrNull() ? 0.0 : v.ToDouble();
            }
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

    // Every node adds its records in record order, whatever the order of the rows, so that a
    // sum does not depend on how the axis is sorted. Leaves hold their records in that order;
    // the records of the groups of one level are bucketed by group, in record order.
    TOLAPNode* root = x.Root.get();
    if (!root->Leaf) {
        for (TOLAPNode* a : x.Rows) {
            if (!a->Leaf) continue;
            for (std::int32_t rec : a->Records) {
                if (static_cast<std::size_t>(rec) < n && counted[static_cast<std::size_t>(rec)]) addRecord(rec);
            }
            finish(a);
        }
        const int depth = x.LevelCount();
        std::vector<TOLAPNode*> up(n, nullptr);  // each counted record's node at the current level
        std::vector<std::int32_t> start(static_cast<std::size_t>(x.RowCount()) + 1, 0);
        std::vector<std::int32_t> bucketed;
        for (std::size_t i = 0; i < n; ++i) {
            if (counted[i]) up[i] = x.RecordLeaves[i];
        }
        for (int level = depth - 2; level >= 0; --level) {
            std::fill(start.begin(), start.end(), 0);
            std::size_t total = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (!up[i]) continue;
                up[i] = up[i]->Parent;
                ++start[static_cast<std::size_t>(up[i]->OwnRow) + 1];
                ++total;
            }
            for (std::size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
            bucketed.resize(total);
            std::vector<std::int32_t> fill(start.begin(), start.end() - 1);
            for (std::size_t i = 0; i < n; ++i) {
                if (up[i]) bucketed[static_cast<std::size_t>(fill[static_cast<std::size_t>(up[i]->OwnRow)]++)] = static_cast<std::int32_t>(i);
            }
            for (TOLAPNode* a : x.Rows) {
                if (a->Level != level) continue;
                const std::size_t own = static_cast<std::size_t>(a->OwnRow);
                for (std::int32_t k = start[own]; k < start[own + 1]; ++k) addRecord(bucketed[static_cast<std::size_t>(k)]);
                finish(a);
            }
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (counted[i]) addRecord(static_cast<std::int32_t>(i));
    }
    finish(root);

    sumsX_ = x.Root.get();
    sumsY_ = y.Root.get();
    sumsFields_ = fieldCount;
    sumsCounted_.swap(counted);
}

void TQelOLAPVisibleFields::RemapSumKeys(const std::vector<std::int32_t>& newKey) {
    TQelOLAPVisibleFields& x = grid_.XAxis;
    if (!x.Root) return;
    std::vector<std::int32_t> order, keys;
    std::vector<double> values;
    auto remap = [&](TOLAPNode* a) {
        if (!a->Sums) return;
        TOLAPSums& s = *a->Sums;
        const std::size_t nd = static_cast<std::size_t>(s.FieldCount);
        const std::size_t count = s.Keys.size();
        for (std::int32_t& k : s.Keys) {
            const std::size_t at = static_cast<std::size_t>(k + 1);
            k = at < newKey.size() ? newKey[at] : k;
        }
        order.resize(count);
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](std::int32_t p, std::int32_t q) { return s.Keys[static_cast<std::size_t>(p)] < s.Keys[static_cast<std::size_t>(q)]; });
        keys.clear();
        values.clear();
        for (std::int32_t e : order) {
            keys.push_back(s.Keys[static_cast<std::size_t>(e)]);
            const double* src = s.Values.data() + static_cast<std::size_t>(e) * nd;
            values.insert(values.end(), src, src + nd);
        }
        s.Keys.swap(keys);
        s.Values.swap(values);
    };
    for (TOLAPNode* a : x.Rows) remap(a);
    remap(x.Root.get());
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
