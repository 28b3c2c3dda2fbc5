#include "pivot/OLAPVisibleFields.h"

#include <algorithm>
#include <unordered_set>

#include "pivot/Kubrix.h"
#include "support/CursorStack.h"
#include "support/Errors.h"

namespace kubrix {

namespace {
const char* const kMsgNotImplemented = "Не реализовано";
const char* const kMsgTooManyLevels = "Слишком много полей на оси";

}  // namespace

TPivotTuning& PivotTuning() {
    static TPivotTuning tuning;
    return tuning;
}

TQelOLAPVisibleFields::TQelOLAPVisibleFields(TQelKubrix& grid, bool isAxis) : IsAxis(isAxis), grid_(grid) {}

TQelOLAPVisibleFields::~TQelOLAPVisibleFields() = default;

// ---------------------------------------------------------------- placed fields

TQelOLAPVisibleField& TQelOLAPVisibleFields::Field(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return *items_[static_cast<std::size_t>(index)];
}

int TQelOLAPVisibleFields::IndexOf(const TQelOLAPField* field) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i]->OLAPField == field) return static_cast<int>(i);
    }
    return -1;
}

TQelOLAPVisibleField& TQelOLAPVisibleFields::Add(const std::string& name) {
    TraceScope trace(this, "TQelOLAPVisibleFields.Add");
    TQelOLAPField& field = grid_.OLAPFields().FieldByName(name);
    if (IsAxis && !field.ValuesFilled) field.FillValues();
    // A field is placed at most once in the whole grid.
    grid_.XAxis.Del(name);
    grid_.YAxis.Del(name);
    grid_.DataFields.Del(name);
    auto item = std::make_unique<TQelOLAPVisibleField>();
    item->FieldName = name;
    item->OLAPField = &field;
    TQelOLAPVisibleField& added = *item;
    BeginUpdate();
    items_.push_back(std::move(item));
    EndUpdate();
    return added;
}

void TQelOLAPVisibleFields::Del(const std::string& name) {
    TraceScope trace(this, "TQelOLAPVisibleFields.Del");
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if ((*it)->FieldName != name) continue;
        items_.erase(it);
        Changed(nullptr);
        return;
    }
}

void TQelOLAPVisibleFields::Clear() {
    TraceScope trace(this, "TQelOLAPVisibleFields.Clear");
    if (IsAxis) {
        ClearIndex();
    } else {
        ClearData();
    }
    if (items_.empty()) return;
    BeginUpdate();
    items_.clear();
    EndUpdate();
}

void TQelOLAPVisibleFields::EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
    Changed(nullptr);
}

void TQelOLAPVisibleFields::Changed(TQelOLAPVisibleField* item) {
    if (updateCount_ == 0) Update(item);
}

void TQelOLAPVisibleFields::Update(TQelOLAPVisibleField*) {
    TraceScope trace(this, "TQelOLAPVisibleFields.Update");
    if (IsAxis) {
        UpdateIndexData();
    } else if (grid_.UpdateLock == 0) {
        // A locked grid recomputes the sums when it is unlocked.
        UpdateCalcData();
    }
    grid_.UpdateGrid();
}

void TQelOLAPVisibleFields::ForgetField(const TQelOLAPField* field) {
    if (std::find(levelFields_.begin(), levelFields_.end(), field) != levelFields_.end()) ClearIndex();
    items_.erase(std::remove_if(items_.begin(), items_.end(),
                                [field](const auto& item) { return item->OLAPField == field; }),
                 items_.end());
}

// ---------------------------------------------------------------- tree

TOLAPNode* TQelOLAPVisibleFields::NewNode() { return &nodes_.emplace_back(); }

void TQelOLAPVisibleFields::ClearIndex() {
    TraceScope trace(this, "TQelOLAPVisibleFields.ClearIndex");
    grid_.DataFields.sumsX_ = grid_.DataFields.sumsY_ = nullptr;
    Root.reset();
    nodes_.clear();
    Rows.clear();
    RecordLeaves.clear();
    IndexNames.clear();
    levelFields_.clear();
}

void TQelOLAPVisibleFields::UpdateIndexData() {
    TraceScope trace(this, "TQelOLAPVisibleFields.UpdateIndexData");
    if (!IsAxis) return;
    // A built tree is never extended: it has to be cleared first.
    if (!IndexNames.empty()) throw Exception(kMsgNotImplemented);
    const TRecordSource* records = grid_.Records();
    if (!records) {
        ClearIndex();
        return;
    }
    if (items_.size() >= TOLAPNode::kRootLevel) throw Exception(kMsgTooManyLevels);

    std::vector<TQelOLAPField*> fields;
    std::vector<std::string> names;
    for (const auto& item : items_) {
        fields.push_back(item->OLAPField);
        names.push_back(item->FieldName);
    }
    const std::size_t depth = fields.size();
    const int n = records->RecordCount();
    const std::size_t count = static_cast<std::size_t>(n);

    // Each record's value at each level as its rank in the level's axis order (values that
    // compare equal share a rank), read from the field's record codes.
    std::vector<const std::int32_t*> codes(depth);
    std::vector<std::vector<std::int32_t>> ranks(depth);
    std::vector<std::int32_t> buckets(depth, 0);
    for (std::size_t k = 0; k < depth; ++k) {
        TQelOLAPField& f = *fields[k];
        codes[k] = f.RecordCodes().data();
        const std::size_t d = f.Values.size();
        std::vector<std::int32_t> perm(d);
        std::vector<std::int32_t>& rank = ranks[k];
        rank.assign(d, 0);
        for (std::size_t j = 0; j < d; ++j) perm[j] = static_cast<std::int32_t>(j);
        auto value = [&f](std::int32_t j) { return f.Values[static_cast<std::size_t>(j)]->Buffer(); };
        std::sort(perm.begin(), perm.end(), [&](std::int32_t a, std::int32_t b) { return f.Compare(value(a), value(b)) < 0; });
        std::int32_t r = 0;
        for (std::size_t j = 0; j < d; ++j) {
            if (j > 0 && f.Compare(value(perm[j - 1]), value(perm[j])) != 0) ++r;
            rank[static_cast<std::size_t>(perm[j])] = r;
        }
        buckets[k] = r + 1;
    }
    auto key = [&](std::int32_t rec, std::size_t k) {
        return ranks[k][static_cast<std::size_t>(codes[k][static_cast<std::size_t>(rec)])];
    };

    // Built aside and swapped in, so that a failure leaves the axis as it was.
    std::deque<TOLAPNode> nodes;
    auto root = std::make_unique<TOLAPNode>();
    root->Leaf = depth == 0;
    std::vector<TOLAPNode*> leaves(count, nullptr);
    std::vector<TOLAPNode*> path(depth + 1, nullptr);
    std::vector<std::size_t> pathIndex(depth + 1, 0);
    // Per node (in creation order): its lowest record, whose value the node shows.
    std::vector<std::int32_t> firstRecord;
    path[0] = root.get();
    // Extends the path to a record's value path, from the first level where it leaves the
    // previous path (same: the levels above it), creating the nodes below.
    auto descend = [&](std::size_t same, std::int32_t rec) {
        for (std::size_t k = 0; k < same; ++k) {
            std::int32_t& first = firstRecord[pathIndex[k + 1]];
            first = std::min(first, rec);
        }
        for (std::size_t k = same; k < depth; ++k) {
            TOLAPNode* node = &nodes.emplace_back();
            node->Level = static_cast<std::uint8_t>(k);
            node->Leaf = k + 1 == depth;
            node->Parent = path[k];
            path[k]->Children.push_back(node);
            path[k + 1] = node;
            pathIndex[k + 1] = firstRecord.size();
            firstRecord.push_back(rec);
        }
    };

    // The value paths as one number each (ranks in mixed radix, outermost level first), when
    // the space of paths is small enough for tables indexed by it: then the paths present are
    // walked in order and the records dealt to their leaves in one pass, with no sort.
    const std::uint64_t densePaths = std::min<std::uint64_t>(PivotTuning().DensePaths, std::uint64_t{1} << 30);
    std::uint64_t space = 1;
    for (std::size_t k = 0; k < depth && space <= densePaths; ++k) space *= static_cast<std::uint64_t>(buckets[k]);
    if (space <= std::max<std::uint64_t>(densePaths / 8, 2 * count) && space <= densePaths) {
        std::vector<std::uint32_t> stride(depth, 1);
        for (std::size_t k = depth; k-- > 1;) stride[k - 1] = stride[k] * static_cast<std::uint32_t>(buckets[k]);
        std::vector<std::uint32_t> pathOf(count);
        std::vector<std::int32_t> firstOf(space, -1), countOf(space, 0);
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t p = 0;
            for (std::size_t k = 0; k < depth; ++k) p += static_cast<std::uint32_t>(key(static_cast<std::int32_t>(i), k)) * stride[k];
            pathOf[i] = p;
            if (firstOf[p] < 0) firstOf[p] = static_cast<std::int32_t>(i);
            ++countOf[p];
        }
        std::vector<TOLAPNode*> leafOf(space, nullptr);
        std::uint32_t previous = 0;
        bool any = false;
        for (std::uint32_t p = 0; p < space; ++p) {
            if (countOf[p] == 0) continue;
            std::size_t same = 0;
            if (any) {
                while (same < depth && previous / stride[same] == p / stride[same]) ++same;
            }
            descend(same, firstOf[p]);
            leafOf[p] = path[depth];
            path[depth]->Records.reserve(static_cast<std::size_t>(countOf[p]));
            previous = p;
            any = true;
        }
        for (std::size_t i = 0; i < count; ++i) {
            TOLAPNode* leaf = leafOf[pathOf[i]];
            leaf->Records.push_back(static_cast<std::int32_t>(i));
            leaves[i] = leaf;
        }
    } else {
        // Records in the order of their value paths, equal paths in record order: a stable
        // counting sort per level, innermost level first.
        std::vector<std::int32_t> order(count), sorted(count);
        for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<std::int32_t>(i);
        for (std::size_t k = depth; k-- > 0;) {
            std::vector<std::size_t> start(static_cast<std::size_t>(buckets[k]) + 1, 0);
            for (std::int32_t rec : order) ++start[static_cast<std::size_t>(key(rec, k)) + 1];
            for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
            for (std::int32_t rec : order) sorted[start[static_cast<std::size_t>(key(rec, k))]++] = rec;
            order.swap(sorted);
        }
        std::int32_t previous = -1;
        for (std::int32_t rec : order) {
            std::size_t same = 0;
            if (previous >= 0) {
                while (same < depth && key(previous, same) == key(rec, same)) ++same;
            }
            descend(same, rec);
            path[depth]->Records.push_back(rec);
            leaves[static_cast<std::size_t>(rec)] = path[depth];
            previous = rec;
        }
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        TOLAPNode& node = nodes[i];
        const TQelOLAPField& f = *fields[node.Level];
        node.Entry = f.Values[static_cast<std::size_t>(codes[node.Level][static_cast<std::size_t>(firstRecord[i])])].get();
    }

    ClearIndex();
    Root = std::move(root);
    nodes_.swap(nodes);
    RecordLeaves.swap(leaves);
    IndexNames.swap(names);
    levelFields_.swap(fields);
    FillRows();
}

void TQelOLAPVisibleFields::FillRows() {
    TraceScope trace(this, "TQelOLAPVisibleFields.FillRows");
    Rows.clear();
    if (!Root) return;
    Rows.reserve(nodes_.size());
    // Post-order: a group's members first, then the group's own (subtotal) row.
    auto number = [this](auto& self, std::vector<TOLAPNode*>& list) -> void {
        for (TOLAPNode* node : list) {
            node->FirstRow = node->FirstVisibleRow = static_cast<std::int32_t>(Rows.size());
            if (!node->Leaf) {
                self(self, node->Children);
                node->LastRow = static_cast<std::int32_t>(Rows.size()) - 1;
            } else {
                node->LastRow = node->FirstRow;
            }
            node->OwnRow = static_cast<std::int32_t>(Rows.size());
            Rows.push_back(node);
        }
    };
    if (!Root->Leaf) number(number, Root->Children);
    Root->FirstRow = Root->LastRow = static_cast<std::int32_t>(Rows.size());
}

void TQelOLAPVisibleFields::SortLevel(int level) {
    TraceScope trace(this, "TQelOLAPVisibleFields.SortLevel");
    if (!Root || level < 0 || level >= LevelCount()) return;
    const TQelOLAPField& f = *levelFields_[static_cast<std::size_t>(level)];
    auto less = [&f](const TOLAPNode* a, const TOLAPNode* b) {
        return f.Compare(a->Entry->Buffer(), b->Entry->Buffer()) < 0;
    };
    if (level == 0) {
        std::stable_sort(Root->Children.begin(), Root->Children.end(), less);
        return;
    }
    for (TOLAPNode& node : nodes_) {
        if (node.Level == level - 1) std::stable_sort(node.Children.begin(), node.Children.end(), less);
    }
}

bool TQelOLAPVisibleFields::GetExpanded(const TOLAPNode* node) const {
    return node && node->Entry ? node->Entry->Expanded : true;
}

void TQelOLAPVisibleFields::SetExpanded(TOLAPNode* node, bool flag) {
    if (node && node->Entry) node->Entry->Expanded = flag;
}

bool TQelOLAPVisibleFields::HasIncludedRecords(const TOLAPNode* node) const {
    if (!grid_.RecordIncluded) return false;
    const auto& included = *grid_.RecordIncluded;
    if (node->Leaf) {
        for (std::int32_t r : node->Records) {
            if (static_cast<std::size_t>(r) < included.size() && included[static_cast<std::size_t>(r)]) return true;
        }
        return false;
    }
    for (const TOLAPNode* child : node->Children) {
        if (HasIncludedRecords(child)) return true;
    }
    return false;
}

bool TQelOLAPVisibleFields::GetVisible(const TOLAPNode* node) const {
    if (!node) return false;
    if (node->Entry && !node->Entry->Selected) return false;
    return HasIncludedRecords(node);
}

bool TQelOLAPVisibleFields::MarkIncluded(TOLAPNode* node, const std::vector<std::uint8_t>& included) {
    bool any = false;
    if (node->Leaf) {
        for (std::int32_t r : node->Records) {
            if (static_cast<std::size_t>(r) < included.size() && included[static_cast<std::size_t>(r)]) {
                any = true;
                break;
            }
        }
    } else {
        for (TOLAPNode* child : node->Children) any = MarkIncluded(child, included) || any;
    }
    node->HasIncluded = any;
    return any;
}

bool TQelOLAPVisibleFields::VisitVisible(std::vector<TOLAPNode*>& list, bool parent) {
    bool anyVisible = false;
    for (TOLAPNode* node : list) {
        const bool g = node->Entry->Selected && node->HasIncluded;
        const bool c = node->Leaf ? true : VisitVisible(node->Children, g);
        node->Visible = c && g && parent;
        if (node->Visible) anyVisible = true;
        if (!node->Leaf) {
            for (TOLAPNode* child : node->Children) {
                if (child->Visible) {
                    node->FirstVisibleRow = child->FirstVisibleRow;
                    break;
                }
            }
        }
    }
    return anyVisible;
}

void TQelOLAPVisibleFields::UpdateNodesVisible() {
    TraceScope trace(this, "TQelOLAPVisibleFields.UpdateNodesVisible");
    if (!Root || items_.empty() || Root->Leaf) return;
    static const std::vector<std::uint8_t> kNone;
    MarkIncluded(Root.get(), grid_.RecordIncluded ? *grid_.RecordIncluded : kNone);
    Root->Visible = true;
    VisitVisible(Root->Children, true);
}

TOLAPNode* TQelOLAPVisibleFields::LastVisibleNode(TOLAPNode* node) const {
    if (!node || !node->Entry || node->Level == 0) return node;
    std::vector<TOLAPNode*> chain;
    for (TOLAPNode* n = node; n && n->Entry; n = n->Parent) chain.push_back(n);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!(*it)->Entry->Expanded) return *it;
    }
    return node;
}

void TQelOLAPVisibleFields::GetRecsFromRow(int row, int level, std::vector<std::int32_t>& list) const {
    TraceScope trace(this, "TQelOLAPVisibleFields.GetRecsFromRow");
    if (row < 0 || row >= RowCount()) return;
    const TOLAPNode* node = Rows[static_cast<std::size_t>(row)];
    while (node->Entry && node->Level > level && node->Parent) node = node->Parent;
    std::unordered_set<std::int32_t> held(list.begin(), list.end());
    const int first = node->Entry ? node->FirstRow : 0;
    const int last = node->Entry ? node->LastRow : RowCount() - 1;
    for (int r = first; r <= last && r < RowCount(); ++r) {
        const TOLAPNode* n = Rows[static_cast<std::size_t>(r)];
        if (!n->Leaf) continue;
        for (std::int32_t rec : n->Records) {
            if (held.insert(rec).second) list.push_back(rec);
        }
    }
}

TOLAPNode* TQelOLAPVisibleFields::FindNodeByValue(const Variant& values) const {
    TraceScope trace(this, "TQelOLAPVisibleFields.FindNodeByValue");
    TOLAPNode* node = Root.get();
    if (!node || !values.IsArray()) return node;
    const std::int64_t count = std::min<std::int64_t>(values.ElementCount(), LevelCount());
    for (std::int64_t k = 0; k < count && !node->Leaf; ++k) {
        const Variant element = values.GetElement(values.LowBound() + static_cast<std::int32_t>(k));
        const TQelOLAPField& f = *levelFields_[static_cast<std::size_t>(k)];
        TOLAPValueEntry* entry;
        if (f.IsMemo()) {
            const std::string text = element.IsEmptyOrNull() ? std::string() : element.ToAnsi();
            entry = f.FindValueM(&text);
        } else {
            // The value in its stored form, as the records hold it: a key of the dictionary. A
            // text longer than the slot is no loaded value (cut, it might match one).
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::max(f.ValueSize, 1)), 0);
            if (!element.IsEmptyOrNull()) f.Codec.Encode(buffer.data(), element);
            entry = f.Codec.KeepsWhole(element) ? f.FindValue(buffer.data()) : nullptr;
        }
        TOLAPNode* next = nullptr;
        for (TOLAPNode* child : node->Children) {
            if (child->Entry == entry) {
                next = child;
                break;
            }
        }
        if (!next) break;
        node = next;
    }
    return node;
}

}  // namespace kubrix
