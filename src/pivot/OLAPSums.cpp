// Cell aggregation: every counted record is added into every pair of its vertical path
// (leaf up to the root) and its horizontal path; the sums live on the vertical nodes.

#include <algorithm>
#include <exception>
#include <numeric>
#include <thread>

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


// A value read as a number: integers and floats straight from the slot, anything else as its
// variant converts (a true flag counts -1, a text must hold a number).
double NumberOf(const TQelOLAPField& field, const void* buffer, Variant& v) {
    if (field.IsMemo()) {
        field.Value(buffer, v);
    } else {
        const auto* slot = static_cast<const std::uint8_t*>(buffer);
        if (field.Codec.ReadsAsNumber()) return field.Codec.AsDouble(slot);
        v = field.Codec.Decode(slot);
    }
    return v.IsEmptyOrNull() ? 0.0 : v.ToDouble();
}

}  // namespace

bool TQelOLAPVisibleFields::RecordCounted(std::int32_t record) const {
    const TQelOLAPVisibleFields& x = grid_.XAxis;
    const TQelOLAPVisibleFields& y = grid_.YAxis;
    if (!grid_.RecordIncluded || !x.Root || !y.Root || record < 0) return false;
    const auto i = static_cast<std::size_t>(record);
    const auto& included = *grid_.RecordIncluded;
    if (i >= included.size() || i >= x.RecordLeaves.size() || i >= y.RecordLeaves.size()) return false;
    return included[i] && x.RecordLeaves[i]->Visible && y.RecordLeaves[i]->Visible;
}

bool TQelOLAPVisibleFields::AllRecordsCounted() const {
    const int n = grid_.RecordCount();
    for (std::int32_t r = 0; r < n; ++r) {
        if (!RecordCounted(r)) return false;
    }
    return true;
}

void TQelOLAPVisibleFields::UpdateCalcData() {
    TraceScope trace(this, "TQelOLAPVisibleFields.UpdateCalcData");
    // One-shot: set by an ordering that only renumbered rows (and moved the keys along).
    const bool keep = keepSums_;
    keepSums_ = false;
    const TRecordSource* records = grid_.Records();
    if (!records || !grid_.RecordIncluded) return;
    TQelOLAPVisibleFields& x = grid_.XAxis;
    TQelOLAPVisibleFields& y = grid_.YAxis;
    const int fieldCount = Count();

    // Only records both trees know are counted (records added after the trees were built
    // have no leaf yet).
    const auto& included = *grid_.RecordIncluded;
    const std::size_t n = x.Root && y.Root ? std::min({static_cast<std::size_t>(records->RecordCount()), included.size(),
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
    // Only counted records are kept, in record order, each with its horizontal leaf's row.
    std::vector<const TQelOLAPField*> fields(nd);
    std::vector<std::uint8_t> raw(nd);  // read straight from the slot
    for (std::size_t j = 0; j < nd; ++j) {
        fields[j] = items_[j]->OLAPField;
        raw[j] = fields[j]->Offset >= 0 && fields[j]->Codec.ReadsAsNumber() ? 1 : 0;
    }
    std::vector<double> values;
    std::vector<std::int32_t> yLeaf, xLeaf;  // OwnRow + 1 (0: the root is the leaf)
    std::vector<std::int32_t> recordOf;      // the record's position in the full list
    values.reserve(n * nd);
    yLeaf.reserve(n);
    xLeaf.reserve(n);
    recordOf.reserve(n);
    Variant v;
    for (std::size_t i = 0; i < n; ++i) {
        if (!counted[i]) continue;
        const int record = static_cast<int>(i);
        const std::uint8_t* data = records->RecordData(record);
        for (std::size_t j = 0; j < nd; ++j) {
            const TQelOLAPField& f = *fields[j];
            values.push_back(raw[j] ? f.Codec.AsDouble(data + f.Offset) : NumberOf(f, f.RecordValue(*records, record), v));
        }
        yLeaf.push_back(y.RecordLeaves[i]->OwnRow + 1);
        xLeaf.push_back(x.RecordLeaves[i]->OwnRow + 1);
        recordOf.push_back(record);
    }
    const std::size_t m = yLeaf.size();

    // Per horizontal row + 1: the keys + 1 of its node and its ancestors up to the root.
    const std::size_t slots = static_cast<std::size_t>(y.RowCount()) + 1;  // key + 1
    std::vector<std::int32_t> chainStart(slots + 1, 0), chain;
    for (std::size_t r = 0; r < slots; ++r) {
        chainStart[r] = static_cast<std::int32_t>(chain.size());
        const TOLAPNode* b = r == 0 ? y.Root.get() : y.Rows[r - 1];
        for (; b; b = b->Parent) chain.push_back(b->OwnRow + 1);
    }
    chainStart[slots] = static_cast<std::int32_t>(chain.size());

    // Vertical node by vertical node, with a dense slot per horizontal key, so that the sums
    // of a node with many horizontal entries are gathered without sorted inserts and sorted once.
    std::vector<std::int32_t> slot(slots, -1);
    std::vector<std::int32_t> keys;
    std::vector<double> sums;
    std::vector<std::int32_t> order;

    auto add = [&](std::int32_t yl, const double* rv) {
        const std::int32_t end = chainStart[static_cast<std::size_t>(yl) + 1];
        for (std::int32_t c = chainStart[static_cast<std::size_t>(yl)]; c < end; ++c) {
            const std::size_t s = static_cast<std::size_t>(chain[static_cast<std::size_t>(c)]);
            std::int32_t e = slot[s];
            if (e < 0) {
                e = static_cast<std::int32_t>(keys.size());
                slot[s] = e;
                keys.push_back(static_cast<std::int32_t>(s) - 1);
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
    // sum does not depend on how the axis is sorted.
    TOLAPNode* root = x.Root.get();
    const std::size_t xSlots = static_cast<std::size_t>(x.RowCount()) + 1;
    if (xSlots * slots <= PivotTuning().DenseCells && xSlots * slots <= 16 * m + 65536) {
        // Few cells. The leaves of the vertical axis read their own records (in record order)
        // into a row of sums per horizontal node; the inner nodes and the root, which share
        // records, take every record in record order into a table of their rows. The two run
        // side by side: they write to different nodes.
        const bool leaves = !root->Leaf;
        // Keeps a row of sums (slots entries, flags in used) as a node's sums and clears it.
        auto keep = [&](TOLAPNode* a, double* row, std::uint8_t* used) {
            std::size_t entries = 0;
            for (std::size_t c = 0; c < slots; ++c) entries += used[c];
            if (entries == 0) return;
            auto s = std::make_unique<TOLAPSums>(fieldCount);
            s->Keys.reserve(entries);
            s->Values.reserve(entries * nd);
            for (std::size_t c = 0; c < slots; ++c) {
                if (!used[c]) continue;
                s->Keys.push_back(static_cast<std::int32_t>(c) - 1);
                s->Values.insert(s->Values.end(), row + c * nd, row + c * nd + nd);
                used[c] = 0;
                std::fill_n(row + c * nd, nd, 0.0);
            }
            a->Sums = std::move(s);
        };
        auto leafSums = [&] {
            // A table row per leaf, filled in one pass over the records in record order (each
            // cell still adds its records in that order).
            std::vector<std::int32_t> leafOf(xSlots, -1);
            std::vector<TOLAPNode*> leafNodes;
            for (std::size_t r = 1; r < xSlots; ++r) {
                if (!x.Rows[r - 1]->Leaf) continue;
                leafOf[r] = static_cast<std::int32_t>(leafNodes.size());
                leafNodes.push_back(x.Rows[r - 1]);
            }
            std::vector<double> table(leafNodes.size() * slots * nd, 0.0);
            std::vector<std::uint8_t> used(leafNodes.size() * slots, 0);
            for (std::size_t i = 0; i < m; ++i) {
                const std::int32_t t = leafOf[static_cast<std::size_t>(xLeaf[i])];
                if (t < 0) continue;
                const double* rv = values.data() + i * nd;
                const std::size_t yl = static_cast<std::size_t>(yLeaf[i]);
                const std::size_t base = static_cast<std::size_t>(t) * slots;
                for (std::int32_t d = chainStart[yl]; d < chainStart[yl + 1]; ++d) {
                    const std::size_t cell = base + static_cast<std::size_t>(chain[static_cast<std::size_t>(d)]);
                    used[cell] = 1;
                    double* dst = table.data() + cell * nd;
                    for (std::size_t j = 0; j < nd; ++j) dst[j] += rv[j];
                }
            }
            for (std::size_t t = 0; t < leafNodes.size(); ++t)
                keep(leafNodes[t], table.data() + t * slots * nd, used.data() + t * slots);
        };
        auto innerSums = [&] {
            // Rows of the table: the root first, then the inner nodes; each vertical leaf
            // key + 1 lists the table rows of its ancestors (and the root's own when it is the leaf).
            std::vector<std::int32_t> rowOf(xSlots, -1);
            std::vector<TOLAPNode*> inner{root};
            rowOf[0] = 0;
            for (std::size_t r = 1; r < xSlots; ++r) {
                if (x.Rows[r - 1]->Leaf) continue;
                rowOf[r] = static_cast<std::int32_t>(inner.size());
                inner.push_back(x.Rows[r - 1]);
            }
            std::vector<std::int32_t> xStart(xSlots + 1, 0), xChain;
            for (std::size_t r = 0; r < xSlots; ++r) {
                xStart[r] = static_cast<std::int32_t>(xChain.size());
                for (const TOLAPNode* a = r == 0 ? root : x.Rows[r - 1]; a; a = a->Parent) {
                    const std::int32_t t = rowOf[static_cast<std::size_t>(a->OwnRow + 1)];
                    if (t >= 0) xChain.push_back(t);
                }
            }
            xStart[xSlots] = static_cast<std::int32_t>(xChain.size());
            std::vector<double> table(inner.size() * slots * nd, 0.0);
            std::vector<std::uint8_t> used(inner.size() * slots, 0);
            for (std::size_t i = 0; i < m; ++i) {
                const double* rv = values.data() + i * nd;
                const std::size_t xl = static_cast<std::size_t>(xLeaf[i]), yl = static_cast<std::size_t>(yLeaf[i]);
                for (std::int32_t c = xStart[xl]; c < xStart[xl + 1]; ++c) {
                    const std::size_t base = static_cast<std::size_t>(xChain[static_cast<std::size_t>(c)]) * slots;
                    for (std::int32_t d = chainStart[yl]; d < chainStart[yl + 1]; ++d) {
                        const std::size_t cell = base + static_cast<std::size_t>(chain[static_cast<std::size_t>(d)]);
                        used[cell] = 1;
                        double* dst = table.data() + cell * nd;
                        for (std::size_t j = 0; j < nd; ++j) dst[j] += rv[j];
                    }
                }
            }
            for (std::size_t t = 0; t < inner.size(); ++t) keep(inner[t], table.data() + t * slots * nd, used.data() + t * slots);
        };
        if (leaves && m >= PivotTuning().ParallelRecords) {
            std::exception_ptr failed;
            std::thread other([&] {
                try {
                    leafSums();
                } catch (...) {
                    failed = std::current_exception();
                }
            });
            try {
                innerSums();
            } catch (...) {
                other.join();
                throw;
            }
            other.join();
            if (failed) std::rethrow_exception(failed);
        } else {
            if (leaves) leafSums();
            innerSums();
        }
        sumsX_ = x.Root.get();
        sumsY_ = y.Root.get();
        sumsFields_ = fieldCount;
        sumsCounted_.swap(counted);
        return;
    }

    // Many cells: level by level, the counted records are
    // moved into one bucket per node of the level (a stable counting sort), so that each node
    // then reads its records one after another.
    if (!root->Leaf) {
        std::vector<std::int32_t> parentOf(xSlots, 0);
        for (std::size_t r = 1; r < xSlots; ++r) parentOf[r] = x.Rows[r - 1]->Parent->OwnRow + 1;
        std::vector<std::int32_t> start(xSlots + 1, 0), fill;
        std::vector<std::int32_t> bucketY(m);
        std::vector<double> bucketV(m * nd);
        std::vector<std::int32_t>& up = xLeaf;  // each record's node at the current level
        for (int level = x.LevelCount() - 1; level >= 0; --level) {
            if (level < x.LevelCount() - 1) {
                for (std::int32_t& u : up) u = parentOf[static_cast<std::size_t>(u)];
            }
            std::fill(start.begin(), start.end(), 0);
            for (std::int32_t u : up) ++start[static_cast<std::size_t>(u) + 1];
            for (std::size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
            fill.assign(start.begin(), start.end() - 1);
            for (std::size_t i = 0; i < m; ++i) {
                const std::size_t at = static_cast<std::size_t>(fill[static_cast<std::size_t>(up[i])]++);
                bucketY[at] = yLeaf[i];
                std::copy_n(values.data() + i * nd, nd, bucketV.data() + at * nd);
            }
            for (TOLAPNode* a : x.Rows) {
                if (a->Level != level) continue;
                const std::size_t own = static_cast<std::size_t>(a->OwnRow) + 1;
                for (std::int32_t k = start[own]; k < start[own + 1]; ++k) {
                    add(bucketY[static_cast<std::size_t>(k)], bucketV.data() + static_cast<std::size_t>(k) * nd);
                }
                finish(a);
            }
        }
    }
    for (std::size_t i = 0; i < m; ++i) add(yLeaf[i], values.data() + i * nd);
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
