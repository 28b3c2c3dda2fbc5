#include "dataset/ODBCClientTree2.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "dataset/ClientIndex.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/ScopeGuard.h"
#include "support/Text.h"
#include "support/UiServices.h"

namespace kubrix {
namespace {

constexpr int kMaxDepth = 1000;
constexpr const char* kMsgNoOffset = "Не получено смещение данных";
constexpr const char* kMsgLoop = "Зацикливание в данных\rParentKey=";
constexpr const char* kMsgShortcutKey = "Не найдена запись, на которую указывает ярлык.";
constexpr const char* kMsgShortcutNode = "Не найдена запись, на которую указывает ярлык";
constexpr const char* kMsgParentKey = "Не найдена строка с идентификатором ";
constexpr const char* kMsgParentNode = "Не найден родитель для записи";
constexpr const char* kMsgChangedNode = "Не найден узел измененной записи";
constexpr const char* kMsgNewParentKey = "Не найдена запись";
constexpr const char* kMsgNewParentNode = "Не найден узел родителя измененной записи";
constexpr const char* kMsgCopyNode = "Не найден узел удаляемой записи";
constexpr const char* kMsgHasChildren = "Нельзя удалить запись, содержащую вложенные элементы";
constexpr const char* kMsgShortcutTarget = "Нельзя удалить запись на которую ссылаются ярлыки";
// A parent chain that comes back to the record would take it and its subtree out of the tree.
constexpr const char* kMsgOwnDescendant = "Запись нельзя подчинить самой себе или своему вложенному элементу";

std::int32_t VariantInt(const Variant& v) { return v.IsEmptyOrNull() ? 0 : v.ToInt32(); }

bool LessRecord(const TMemoryRecord* a, const TMemoryRecord* b) { return std::less<const TMemoryRecord*>()(a, b); }

}  // namespace

TQelODBCClientTree2::TQelODBCClientTree2(TComponent* owner) : TComponent(owner) {}

TQelODBCClientTree2::~TQelODBCClientTree2() {
    FreeDataQuiet();
    if (dataSet_) {
        dataSet_->Tree = nullptr;
        dataSet_->TreeAttached = false;
        RemoveFreeNotification(dataSet_);
    }
}

void TQelODBCClientTree2::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == dataSet_) {
        FreeDataQuiet();
        dataSet_ = nullptr;
    }
}

void TQelODBCClientTree2::SetDataSet(TQelODBCClient* dataSet) {
    BusyCursor busy;
    FreeData();
    if (dataSet_) {
        dataSet_->Tree = nullptr;
        dataSet_->TreeAttached = false;
        RemoveFreeNotification(dataSet_);
    }
    dataSet_ = dataSet;
    if (!dataSet_) return;
    // One tree per dataset: the one arranging it before lets go.
    if (dataSet_->Tree && dataSet_->Tree != this) dataSet_->Tree->SetDataSet(nullptr);
    dataSet_->Tree = this;
    dataSet_->TreeAttached = true;
    FreeNotification(dataSet_);
    if (dataSet_->Active()) CreateTree();
}

// ---------------------------------------------------------------- nodes and lists

TTreeNode* TQelODBCClientTree2::NodeOf(const TMemoryRecord* record) const {
    int position;
    return FindRecord(position, record, nodeRecords_) ? nodes_[static_cast<std::size_t>(position)].get() : nullptr;
}

bool TQelODBCClientTree2::FindRecord(int& position, const TMemoryRecord* record,
                                     const std::vector<TMemoryRecord*>& list) {
    auto it = std::lower_bound(list.begin(), list.end(), record, LessRecord);
    position = static_cast<int>(it - list.begin());
    return it != list.end() && *it == record;
}

void TQelODBCClientTree2::AddRecordToBuf(std::unique_ptr<TTreeNode> node) {
    int position;
    FindRecord(position, node->Record, nodeRecords_);
    Count(node.get(), 1);
    nodeRecords_.insert(nodeRecords_.begin() + position, node->Record);
    nodes_.insert(nodes_.begin() + position, std::move(node));
}

void TQelODBCClientTree2::Count(const TTreeNode* node, int delta) {
    if (node->Shortcut != 0) shortcutCount_ += delta;
    if (node->Record && node->Record->MainRecord()) copyCount_ += delta;
}

std::unique_ptr<TTreeNode> TQelODBCClientTree2::RemoveFromBuf(TTreeNode* node) {
    int position;
    if (!FindRecord(position, node->Record, nodeRecords_)) return nullptr;
    std::unique_ptr<TTreeNode> owned = std::move(nodes_[static_cast<std::size_t>(position)]);
    Count(owned.get(), -1);
    nodes_.erase(nodes_.begin() + position);
    nodeRecords_.erase(nodeRecords_.begin() + position);
    return owned;
}

TTreeNode* TQelODBCClientTree2::GetPriorNode(TTreeNode* node) {
    if (!node->Parent) return nullptr;
    TTreeNode* prior = nullptr;
    for (TTreeNode* c = node->Parent->FirstChild; c && c != node; c = c->NextSibling) prior = c;
    return prior;
}

int TQelODBCClientTree2::ChildrenCount(const TTreeNode* node) {
    int count = 0;
    std::vector<const TTreeNode*> stack{node};
    while (!stack.empty()) {
        const TTreeNode* n = stack.back();
        stack.pop_back();
        for (const TTreeNode* c = n->FirstChild; c; c = c->NextSibling) {
            ++count;
            stack.push_back(c);
        }
    }
    return count;
}

void TQelODBCClientTree2::Unlink(TTreeNode* node) {
    TTreeNode* parent = node->Parent;
    if (!parent) return;
    if (parent->FirstChild == node) {
        parent->FirstChild = node->NextSibling;
    } else {
        TTreeNode* prior = GetPriorNode(node);
        if (prior) prior->NextSibling = node->NextSibling;
    }
    node->Parent = nullptr;
    node->NextSibling = nullptr;
}

void TQelODBCClientTree2::AddNode(TTreeNode* parent, TTreeNode* node) { LinkNode(parent, node, false); }

// After the siblings of equal order: the records keep the order they were read in.
void TQelODBCClientTree2::AddNodeBuilt(TTreeNode* parent, TTreeNode* node) { LinkNode(parent, node, true); }

void TQelODBCClientTree2::LinkNode(TTreeNode* parent, TTreeNode* node, bool afterEqual) {
    node->Parent = parent;
    TTreeNode* first = parent->FirstChild;
    if (!first || node->Order < first->Order) {
        node->NextSibling = first;
        parent->FirstChild = node;
        return;
    }
    // Never before the first child; then before the first later sibling whose order is not
    // smaller (later additions), or after the equal ones (building).
    TTreeNode* prior = first;
    auto goesAfter = [&](const TTreeNode* sibling) {
        return afterEqual ? sibling->Order <= node->Order : sibling->Order < node->Order;
    };
    while (prior->NextSibling && goesAfter(prior->NextSibling)) prior = prior->NextSibling;
    node->NextSibling = prior->NextSibling;
    prior->NextSibling = node;
}

std::unique_ptr<TTreeNode> TQelODBCClientTree2::NodeFromRecord(TMemoryRecord* record) const {
    auto node = std::make_unique<TTreeNode>();
    node->Record = record;
    node->Order = RecordInt(record, OrderField);
    node->ParentKey = RecordInt(record, idParentField);
    node->Key = RecordInt(record, KeyField);
    node->Shortcut = ShortcutField ? RecordInt(record, ShortcutField) : 0;
    node->Expanded = DefaultExpandedState;
    return node;
}

// ---------------------------------------------------------------- reading values

std::int32_t TQelODBCClientTree2::RecordInt(TMemoryRecord* record, TField* field) const {
    if (!field) return 0;
    Variant v;
    dataSet_->GetFieldValueFromBuffer(field, record, v, "new");
    return VariantInt(v);
}

std::int32_t TQelODBCClientTree2::BufferInt(TRecordBuffer buffer, TField* field) const {
    if (!field) return 0;
    Variant v;
    dataSet_->GetFieldValueFromBuffer(field, buffer, v);
    return VariantInt(v);
}

TMemoryRecord* TQelODBCClientTree2::RecordByKey(std::int32_t key) const {
    if (!KeyIndex || !dataSet_) return nullptr;
    int position;
    if (!KeyIndex->FindRecord(position, Variant::FromInt32(key))) return nullptr;
    for (TMemoryRecord* r : KeyIndex->Groups()[static_cast<std::size_t>(position)])
        if (dataSet_->DoPostToDB || r->UpdateStatus != mrsDeleted) return r;
    return nullptr;
}

// ---------------------------------------------------------------- building

void TQelODBCClientTree2::FreeDataQuiet() {
    root_.reset();
    nodes_.clear();
    nodeRecords_.clear();
    shortcutCount_ = 0;
    copyCount_ = 0;
    built_ = false;
}

void TQelODBCClientTree2::FreeData() {
    BusyCursor busy;
    FreeDataQuiet();
}

void TQelODBCClientTree2::ShowLoop(std::int32_t parentKey) {
    UiServices().MessageBox(std::string(kMsgLoop) + std::to_string(parentKey), "", MB_OK | MB_ICONERROR);
}

void TQelODBCClientTree2::CreateTree() {
    BusyCursor busy;
    FreeData();
    if (!dataSet_) return;
    built_ = true;
    root_ = std::make_unique<TTreeNode>();
    root_->Expanded = true;
    std::vector<TTreeNode*> shortcuts;
    // Every record, also while a record subset is in force.
    const std::vector<TMemoryRecord*>& records = dataSet_->AllRecords();
    const std::size_t count = records.size();
    if (count > 0) {
        std::int32_t ofsOrder = -1, ofsParent = -1, ofsKey = -1, ofsShortcut = -1;
        const auto offsetOf = [](TField* field) {
            IODBCField* odbc = AsODBCField(field);
            if (!odbc || odbc->GetDataOfs() < 0) throw Exception(kMsgNoOffset);
            return odbc->GetDataOfs();
        };
        ofsOrder = offsetOf(OrderField);
        ofsParent = offsetOf(idParentField);
        ofsKey = offsetOf(KeyField);
        if (ShortcutField) ofsShortcut = offsetOf(ShortcutField);
        const auto slotInt = [](const TMemoryRecord* r, std::int32_t ofs) -> std::int32_t {
            if (ofs < 0 || !r->Data || !r->Data[ofs]) return 0;
            std::int32_t v;
            std::memcpy(&v, r->Data + ofs + 1, 4);
            return v;
        };
        nodeRecords_ = records;
        nodes_.clear();
        nodes_.resize(count);
        const auto makeNode = [&](std::size_t i) {
            auto node = std::make_unique<TTreeNode>();
            node->Record = records[i];
            node->Order = slotInt(records[i], ofsOrder);
            node->ParentKey = slotInt(records[i], ofsParent);
            node->Key = slotInt(records[i], ofsKey);
            node->Shortcut = slotInt(records[i], ofsShortcut);
            node->Expanded = DefaultExpandedState;
            TTreeNode* n = node.get();
            nodes_[i] = std::move(node);
            if (n->Shortcut != 0) shortcuts.push_back(n);
            return n;
        };
        // The live records grouped by their parent key, in the order of Records.
        std::unordered_map<std::int32_t, std::vector<std::size_t>> byParent;
        for (std::size_t i = 0; i < count; ++i)
            if (records[i]->UpdateStatus != mrsDeleted) byParent[slotInt(records[i], ofsParent)].push_back(i);

        // Top down from the root. A record is placed once: meeting one already placed, or
        // coming back to the top level from below it, is a loop in the data.
        std::function<void(TTreeNode*, std::int32_t, int)> buildChildren = [&](TTreeNode* parent, std::int32_t key, int depth) {
            auto group = byParent.find(key);
            if (group == byParent.end()) return;
            if (depth >= kMaxDepth || (key == 0 && parent != root_.get())) {
                ShowLoop(key);
                return;
            }
            bool looped = false;
            for (std::size_t i : group->second) {
                if (nodes_[i]) {
                    looped = true;
                    continue;
                }
                TTreeNode* node = makeNode(i);
                AddNodeBuilt(parent, node);
                buildChildren(node, node->Key, depth + 1);
            }
            if (looped) ShowLoop(key);
        };
        buildChildren(root_.get(), 0, 0);

        // Records not reached from the top: below their parent when it has a node or gets one
        // first, at the top level when the parent is missing or the chain of parents closes
        // into a loop (one record of the loop goes to the top level, the rest follow it).
        std::vector<std::size_t> chain;
        std::vector<char> onChain(count, 0);
        std::unordered_map<const TMemoryRecord*, std::size_t> indexOf;  // filled on first need
        const auto positionOf = [&](const TMemoryRecord* r) {
            if (indexOf.empty())
                for (std::size_t k = 0; k < count; ++k) indexOf.emplace(records[k], k);
            auto it = indexOf.find(r);
            return it == indexOf.end() ? count : it->second;
        };
        for (std::size_t i = 0; i < count; ++i) {
            if (nodes_[i]) continue;
            chain.assign(1, i);
            onChain[i] = 1;
            TTreeNode* anchor = root_.get();
            for (;;) {
                const std::size_t cur = chain.back();
                const std::int32_t parentKey = slotInt(records[cur], ofsParent);
                if (parentKey == 0) break;
                TMemoryRecord* parent = RecordByKey(parentKey);
                if (!parent) break;
                const std::size_t p = positionOf(parent);
                if (p >= count) break;
                if (nodes_[p]) {
                    anchor = nodes_[p].get();
                    break;
                }
                if (onChain[p]) break;
                onChain[p] = 1;
                chain.push_back(p);
            }
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                onChain[*it] = 0;
                TTreeNode* node = makeNode(*it);
                AddNodeBuilt(anchor, node);
                anchor = node;
            }
        }

        // Both lists by record identity, so that a record's node is found by binary search.
        std::vector<std::size_t> perm(count);
        for (std::size_t i = 0; i < count; ++i) perm[i] = i;
        std::sort(perm.begin(), perm.end(), [&](std::size_t a, std::size_t b) { return LessRecord(records[a], records[b]); });
        std::vector<TMemoryRecord*> sortedRecords(count);
        std::vector<std::unique_ptr<TTreeNode>> sortedNodes(count);
        for (std::size_t i = 0; i < count; ++i) {
            sortedRecords[i] = records[perm[i]];
            sortedNodes[i] = std::move(nodes_[perm[i]]);
        }
        nodeRecords_ = std::move(sortedRecords);
        nodes_ = std::move(sortedNodes);
        for (const auto& n : nodes_) Count(n.get(), 1);
    }
    FillShortcuts(shortcuts);
    SortDataSet();
    ApplyExpandedState();
}

void TQelODBCClientTree2::FillShortcuts(std::vector<TTreeNode*>& list) {
    std::function<void(TTreeNode*)> handle = [&](TTreeNode* shortcut) {
        TMemoryRecord* target = RecordByKey(shortcut->Shortcut);
        if (!target) throw Exception(std::string(kMsgShortcutKey) + std::to_string(shortcut->Shortcut));
        TTreeNode* targetNode = NodeOf(target);
        if (!targetNode) throw Exception(kMsgShortcutNode);
        // Taken first: a shortcut to itself or to its own parent adds below the node it reads.
        std::vector<TTreeNode*> children;
        for (TTreeNode* c = targetNode->FirstChild; c; c = c->NextSibling) children.push_back(c);
        for (TTreeNode* child : children) {
            auto waiting = std::find(list.begin(), list.end(), child);
            if (waiting != list.end()) {
                *waiting = nullptr;
                handle(child);
            }
            auto copy = std::make_unique<TTreeNode>();
            copy->Record = dataSet_->CopyRecord(child->Record);
            copy->Order = child->Order;
            copy->Key = child->Key;
            copy->ParentKey = child->ParentKey;
            copy->Shortcut = child->Shortcut;
            copy->Expanded = DefaultExpandedState;
            TTreeNode* node = copy.get();
            AddRecordToBuf(std::move(copy));
            AddNode(shortcut, node);
        }
    };
    for (TTreeNode*& entry : list) {
        if (!entry) continue;
        TTreeNode* shortcut = entry;
        entry = nullptr;
        handle(shortcut);
    }
}

bool TQelODBCClientTree2::RebuildShortcuts() {
    // Nothing to remove and nothing to copy: the walk over every record is spared.
    if (!built_ || !dataSet_ || (shortcutCount_ == 0 && copyCount_ == 0)) return false;
    std::vector<TMemoryRecord*>& records = dataSet_->Records;
    // Unlinked first, freed after: a copy's node may hang below another copy's node.
    std::vector<std::unique_ptr<TTreeNode>> gone;
    for (int i = static_cast<int>(records.size()) - 1; i >= 0; --i) {
        TMemoryRecord* r = records[static_cast<std::size_t>(i)];
        if (!r->MainRecord()) continue;
        TTreeNode* node = NodeOf(r);
        if (!node) throw Exception(kMsgCopyNode);
        Unlink(node);
        gone.push_back(RemoveFromBuf(node));
        dataSet_->RemoveRecord(i);
    }
    gone.clear();
    std::vector<TTreeNode*> shortcuts;
    for (const auto& n : nodes_)
        if (n->Shortcut != 0) shortcuts.push_back(n.get());
    FillShortcuts(shortcuts);
    return true;
}

// ---------------------------------------------------------------- records and visibility

void TQelODBCClientTree2::SortDataSet() {
    if (!dataSet_ || !root_) return;
    std::vector<TMemoryRecord*>& records = dataSet_->Records;
    const int activeIndex = dataSet_->GetActiveRecordIndex();
    TMemoryRecord* active =
        activeIndex >= 0 && activeIndex < static_cast<int>(records.size()) ? records[static_cast<std::size_t>(activeIndex)] : nullptr;
    ScopeExit resync([this] { ResyncDataSet(); });
    std::vector<TMemoryRecord*> ordered;
    ordered.reserve(records.size());
    std::vector<const TTreeNode*> stack;
    for (const TTreeNode* c = root_->FirstChild; c; c = c->NextSibling) stack.push_back(c);
    std::reverse(stack.begin(), stack.end());
    while (!stack.empty()) {
        const TTreeNode* n = stack.back();
        stack.pop_back();
        ordered.push_back(n->Record);
        const std::size_t mark = stack.size();
        for (const TTreeNode* c = n->FirstChild; c; c = c->NextSibling) stack.push_back(c);
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(mark), stack.end());
    }
    const std::vector<TMemoryRecord*>& all = dataSet_->AllRecords();
    if (ordered.size() != all.size()) {
        // Never lose a record the tree does not hold: it follows the tree's records.
        for (TMemoryRecord* r : all)
            if (!NodeOf(r)) ordered.push_back(r);
    }
    if (dataSet_->UnfilteredRecords) {
        // A record subset keeps its members, in tree order; the full list takes the whole order.
        std::unordered_set<const TMemoryRecord*> members(records.begin(), records.end());
        std::vector<TMemoryRecord*> subset;
        subset.reserve(records.size());
        for (TMemoryRecord* r : ordered)
            if (members.count(r)) subset.push_back(r);
        *dataSet_->UnfilteredRecords = std::move(ordered);
        records = std::move(subset);
    } else {
        records = std::move(ordered);
    }
    if (active) KeepCursorOn(active);
}

void TQelODBCClientTree2::KeepCursorOn(TMemoryRecord* record) {
    const int index = record->GetIndex();
    TRecordBuffer buffer;
    if (index >= 0 && dataSet_->GetActiveRecBuf(buffer) && dataSet_->State() != dsInsert)
        std::memcpy(buffer + dataSet_->RecIndexOfs, &index, 4);
    dataSet_->RecordPos = index;
}

void TQelODBCClientTree2::ResyncDataSet() {
    if (dataSet_ && dataSet_->Active() && dataSet_->State() == dsBrowse && !dataSet_->ControlsDisabled()) dataSet_->Resync();
}

void TQelODBCClientTree2::ApplyVisibility(TTreeNode* top) {
    // A node is visible when its parent is visible and expanded.
    std::vector<std::pair<TTreeNode*, bool>> stack;
    if (top == root_.get()) {
        for (TTreeNode* c = root_->FirstChild; c; c = c->NextSibling) stack.emplace_back(c, true);
    } else {
        stack.emplace_back(top, top->Record ? top->Record->TreeVisible : true);
    }
    while (!stack.empty()) {
        auto [node, visible] = stack.back();
        stack.pop_back();
        if (node->Record) node->Record->TreeVisible = visible;
        for (TTreeNode* c = node->FirstChild; c; c = c->NextSibling) stack.emplace_back(c, visible && node->Expanded);
    }
}

void TQelODBCClientTree2::ApplyExpandedState() {
    if (!dataSet_ || !root_) return;
    ApplyVisibility(root_.get());
    CursorToVisible();
}

void TQelODBCClientTree2::CursorToVisible() {
    int pos = dataSet_->GetActiveRecordIndex();
    if (pos >= dataSet_->RealRecordCount()) pos = dataSet_->RealRecordCount() - 1;
    while (pos >= 0 && !dataSet_->IsRecordVisible(pos)) --pos;
    dataSet_->RecordPos = pos;
    ResyncDataSet();
}

void TQelODBCClientTree2::ShowNode(TTreeNode* node) {
    if (!node || !root_) return;
    TTreeNode* top = node;
    for (TTreeNode* p = node->Parent; p && p != root_.get(); p = p->Parent) {
        p->Expanded = true;
        top = p;
    }
    if (top->Parent == root_.get() && top->Record) top->Record->TreeVisible = true;
    ApplyVisibility(top);
}

void TQelODBCClientTree2::SetExpanded(TTreeNode* node, bool expanded) {
    if (!node || node == root_.get() || node->Expanded == expanded) return;
    node->Expanded = expanded;
    ApplyVisibility(node);
    ApplyExpandedState();
}

// ---------------------------------------------------------------- changes from the dataset

void TQelODBCClientTree2::CheckPost(TRecordBuffer buffer, const TMemoryRecord* record) {
    if (!built_ || !dataSet_ || !root_) return;
    const std::int32_t parentKey = BufferInt(buffer, idParentField);
    TTreeNode* node = nullptr;
    if (record) {
        node = NodeOf(record);
        if (!node) throw Exception(kMsgChangedNode);
        if (parentKey == node->ParentKey && BufferInt(buffer, OrderField) == node->Order) return;
    } else {
        Variant key;
        dataSet_->GetFieldValueFromBuffer(KeyField, buffer, key);
        // A record without a key cannot be placed: the conversion refuses it.
        if (parentKey != 0 && key.ToInt32() == parentKey) throw Exception(kMsgOwnDescendant);
    }
    if (parentKey == 0) return;
    TMemoryRecord* parent = RecordByKey(parentKey);
    if (!parent) throw Exception(record ? std::string(kMsgNewParentKey) : kMsgParentKey + std::to_string(parentKey));
    TTreeNode* parentNode = NodeOf(parent);
    if (!parentNode) throw Exception(record ? kMsgNewParentNode : kMsgParentNode);
    for (TTreeNode* p = parentNode; node && p; p = p->Parent)
        if (p == node) throw Exception(kMsgOwnDescendant);
}

void TQelODBCClientTree2::InsertRecord(TMemoryRecord* record) {
    if (!built_ || !dataSet_ || !root_) return;
    BusyCursor busy;
    std::unique_ptr<TTreeNode> owned = NodeFromRecord(record);
    TTreeNode* node = owned.get();
    TTreeNode* parent = root_.get();
    if (node->ParentKey != 0) {
        TMemoryRecord* parentRecord = RecordByKey(node->ParentKey);
        if (!parentRecord) throw Exception(kMsgParentKey + std::to_string(node->ParentKey));
        parent = NodeOf(parentRecord);
        if (!parent) throw Exception(kMsgParentNode);
    }
    AddRecordToBuf(std::move(owned));
    AddNode(parent, node);
    // Without shortcuts the other records keep their places: the new one alone is moved.
    if (RebuildShortcuts() || dataSet_->UnfilteredRecords)
        SortDataSet();
    else
        PlaceRecord(node);
    // Only the new record's branch changes what is shown.
    ShowNode(node);
    CursorToVisible();
    dataSet_->RecordPos = record->GetIndex();
}

void TQelODBCClientTree2::PlaceRecord(TTreeNode* node) {
    std::vector<TMemoryRecord*>& records = dataSet_->Records;
    const int from = node->Record->GetIndex();
    if (from < 0) return;
    records.erase(records.begin() + from);
    int to = 0;
    if (TTreeNode* prior = GetPriorNode(node)) {
        // After the prior sibling's subtree, whose last record is down its chain of last children.
        TTreeNode* last = prior;
        while (last->FirstChild) {
            last = last->FirstChild;
            while (last->NextSibling) last = last->NextSibling;
        }
        to = last->Record->GetIndex() + 1;
    } else if (node->Parent != root_.get()) {
        to = node->Parent->Record->GetIndex() + 1;
    }
    records.insert(records.begin() + std::max(to, 0), node->Record);
}

void TQelODBCClientTree2::UpdateRecord(TMemoryRecord* record) {
    if (!built_ || !dataSet_ || !root_) return;
    BusyCursor busy;
    TTreeNode* node = NodeOf(record);
    if (!node) throw Exception(kMsgChangedNode);
    const std::int32_t parentKey = RecordInt(record, idParentField);
    const std::int32_t order = RecordInt(record, OrderField);
    // The key and the shortcut are kept current; they alone do not move the node.
    node->Key = RecordInt(record, KeyField);
    const std::int32_t shortcut = ShortcutField ? RecordInt(record, ShortcutField) : 0;
    const bool shortcutChanged = shortcut != node->Shortcut;
    Count(node, -1);
    node->Shortcut = shortcut;
    Count(node, 1);
    if (parentKey == node->ParentKey && order == node->Order) {
        if (shortcutChanged) {
            RebuildShortcuts();
            SortDataSet();
            ApplyExpandedState();
        }
        return;
    }
    TTreeNode* parent = root_.get();
    if (parentKey != 0) {
        TMemoryRecord* parentRecord = RecordByKey(parentKey);
        if (!parentRecord) throw Exception(kMsgNewParentKey);
        parent = NodeOf(parentRecord);
        if (!parent) throw Exception(kMsgNewParentNode);
        for (TTreeNode* p = parent; p; p = p->Parent)
            if (p == node) throw Exception(kMsgOwnDescendant);
    }
    Unlink(node);
    std::unique_ptr<TTreeNode> owned = RemoveFromBuf(node);
    node->ParentKey = parentKey;
    node->Order = order;
    AddRecordToBuf(std::move(owned));
    AddNode(parent, node);
    ShowNode(node);
    RebuildShortcuts();
    SortDataSet();
    CursorToVisible();
    dataSet_->RecordPos = record->GetIndex();
    ResyncDataSet();
}

void TQelODBCClientTree2::DeleteRecord(TMemoryRecord* record) {
    if (!built_ || !dataSet_ || !root_) return;
    TTreeNode* node = NodeOf(record);
    if (!node) return;
    BusyCursor busy;
    // A shortcut's copies go with it; any other child would lose its parent.
    for (TTreeNode* c = node->FirstChild; c; c = c->NextSibling)
        if (node->Shortcut == 0 || !c->Record->MainRecord()) throw Exception(kMsgHasChildren);
    for (const auto& n : nodes_)
        if (n->Shortcut != 0 && n->Shortcut == node->Key && n.get() != node) throw Exception(kMsgShortcutTarget);
    RemoveCopies(node);
    // The record's own copies below other shortcuts go with it.
    std::vector<TMemoryRecord*>& records = dataSet_->Records;
    for (int i = static_cast<int>(records.size()) - 1; i >= 0; --i) {
        TMemoryRecord* r = records[static_cast<std::size_t>(i)];
        if (r->MainRecord() != record) continue;
        if (TTreeNode* copy = NodeOf(r)) {
            Unlink(copy);
            RemoveFromBuf(copy);
        }
        dataSet_->RemoveRecord(i);
    }
    Unlink(node);
    RemoveFromBuf(node);
}

void TQelODBCClientTree2::RemoveCopies(TTreeNode* node) {
    std::vector<TTreeNode*> copies;
    std::vector<TTreeNode*> stack;
    for (TTreeNode* c = node->FirstChild; c; c = c->NextSibling) stack.push_back(c);
    while (!stack.empty()) {
        TTreeNode* n = stack.back();
        stack.pop_back();
        copies.push_back(n);
        for (TTreeNode* c = n->FirstChild; c; c = c->NextSibling) stack.push_back(c);
    }
    node->FirstChild = nullptr;
    std::vector<std::unique_ptr<TTreeNode>> gone;
    for (TTreeNode* n : copies) {
        TMemoryRecord* r = n->Record;
        gone.push_back(RemoveFromBuf(n));
        const int index = r->GetIndex();
        if (index >= 0) dataSet_->RemoveRecord(index);
    }
}

void TQelODBCClientTree2::CorrectOrders(TTreeNode* parent) {
    if (!DoOrderCorrection || correcting_ || !parent || !dataSet_ || !OrderField) return;
    correcting_ = true;
    ScopeExit done([this] { correcting_ = false; });
    TQelODBCConnection* connection = dataSet_->Connection();
    const bool begun = connection && connection->Connected() && !connection->InTransaction();
    if (begun) connection->BeginTrans();
    try {
        dataSet_->DisableControls();
        ScopeExit enable([this] { dataSet_->EnableControls(); });
        const TBookmark bookmark = dataSet_->GetBookmark();
        std::vector<TTreeNode*> children;
        for (TTreeNode* c = parent->FirstChild; c; c = c->NextSibling) children.push_back(c);
        // Renumbered through the dataset's edit path, so that the change is posted.
        for (int i = static_cast<int>(children.size()) - 1; i >= 0; --i) {
            TMemoryRecord* r = children[static_cast<std::size_t>(i)]->Record;
            if (RecordInt(r, OrderField) == i) continue;
            ShowNode(children[static_cast<std::size_t>(i)]);
            TBookmark target(4);
            std::memcpy(target.data(), &r->RecordID, 4);
            if (!dataSet_->BookmarkValid(target)) {
                // Hidden by the filter: the value changes in memory alone.
                dataSet_->SetFieldValueInBuffer(OrderField, r, Variant::FromInt32(i));
                UpdateRecord(r);
                continue;
            }
            dataSet_->GotoBookmark(target);
            dataSet_->Edit();
            dataSet_->SetFieldValueToActiveBuffer(OrderField, Variant::FromInt32(i));
            dataSet_->Post();
        }
        if (!bookmark.empty() && dataSet_->BookmarkValid(bookmark)) dataSet_->GotoBookmark(bookmark);
    } catch (...) {
        if (connection && connection->InTransaction()) connection->RollbackTrans();
        throw;
    }
    if (begun) connection->CommitTrans();
}

void TQelODBCClientTree2::SortByOrder(const std::string& text) {
    if (nodes_.empty() || Trim(text).empty() || !dataSet_ || !root_) return;
    BusyCursor busy;
    std::vector<TOrderKey> keys;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string item = Trim(std::string_view(text).substr(start, comma - start));
        start = comma + 1;
        if (item.empty()) continue;
        bool descending = false;
        if (item.size() > 4 && item.compare(item.size() - 4, 4, " ASC") == 0) {
            item = Trim(item.substr(0, item.size() - 4));
        } else if (item.size() > 5 && item.compare(item.size() - 5, 5, " DESC") == 0) {
            item = Trim(item.substr(0, item.size() - 5));
            descending = true;
        }
        keys.push_back({dataSet_->FieldByName(item), descending, true});
    }
    if (keys.empty()) return;

    // The value a node is ordered by: the extreme along its record and the chain of last
    // children below it (the largest ascending, the smallest descending).
    const auto extreme = [&](const TTreeNode* node, const TOrderKey& key) {
        const TMemoryRecord* best = node->Record;
        for (const TTreeNode* n = node->FirstChild; n;) {
            const TTreeNode* last = n;
            while (last->NextSibling) last = last->NextSibling;
            const int c = dataSet_->CompareRecordValues(last->Record, best, key);
            if (key.Descending ? c < 0 : c > 0) best = last->Record;
            n = last->FirstChild;
        }
        return best;
    };
    const bool firstDescending = keys.front().Descending;
    struct Entry {
        TTreeNode* Node;
        std::vector<const TMemoryRecord*> Values;
    };
    const auto sortChildren = [&](TTreeNode* parent) {
        std::vector<Entry> entries;
        for (TTreeNode* c = parent->FirstChild; c; c = c->NextSibling) {
            Entry e{c, {}};
            for (const TOrderKey& key : keys) e.Values.push_back(extreme(c, key));
            entries.push_back(std::move(e));
        }
        if (entries.size() < 2) return;
        std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
            for (std::size_t k = 0; k < keys.size(); ++k) {
                int c = dataSet_->CompareRecordValues(a.Values[k], b.Values[k], keys[k]);
                if (keys[k].Descending) c = -c;
                if (c != 0) return c < 0;
            }
            const std::int32_t ia = a.Node->Record->RecordID, ib = b.Node->Record->RecordID;
            return firstDescending ? ia > ib : ia < ib;
        });
        parent->FirstChild = entries.front().Node;
        for (std::size_t i = 0; i < entries.size(); ++i)
            entries[i].Node->NextSibling = i + 1 < entries.size() ? entries[i + 1].Node : nullptr;
    };
    // Children before their parent's sibling group: the chain of last children is final.
    std::vector<std::pair<TTreeNode*, bool>> stack{{root_.get(), false}};
    while (!stack.empty()) {
        auto [node, visited] = stack.back();
        stack.pop_back();
        if (visited) {
            sortChildren(node);
            continue;
        }
        stack.emplace_back(node, true);
        for (TTreeNode* c = node->FirstChild; c; c = c->NextSibling)
            if (c->FirstChild) stack.emplace_back(c, false);
    }
    SortDataSet();
}

void TQelODBCClientTree2::ReplaceKey(std::int32_t oldKey, std::int32_t newKey) {
    for (const auto& n : nodes_) {
        if (n->Key == oldKey) n->Key = newKey;
        if (n->ParentKey == oldKey) n->ParentKey = newKey;
    }
}

}  // namespace kubrix
