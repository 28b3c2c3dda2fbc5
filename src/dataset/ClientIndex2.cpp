#include "dataset/ClientIndex2.h"

#include <algorithm>
#include <cstring>

#include "dataset/ODBCFields.h"
#include "support/ScopeGuard.h"
#include "dataset/QelODBCClient.h"
#include "dataset/StoredValue.h"
#include "support/Errors.h"
#include "support/ValueCodec.h"

namespace kubrix {

namespace {

constexpr const char* kMsgNoOffset = "Не получено смещение данных по полю ";

int CompareKey(const std::uint8_t* a, const std::uint8_t* b, int size) {
    const int c = CompareMemBlocks(a, b, size);
    return c == 0 ? 0 : (c == 1 ? -1 : 1);
}

}  // namespace

TQelODBCClientIndex2::TQelODBCClientIndex2(TComponent* owner) : TComponent(owner) {}

TQelODBCClientIndex2::~TQelODBCClientIndex2() {
    ClearData();
    if (indexData_ && indexData_->SecondIndex == this) indexData_->SecondIndex = nullptr;
}

void TQelODBCClientIndex2::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    if (data_ && component == static_cast<TComponent*>(data_)) {
        ClearData();
        keyFields_.clear();
        data_ = nullptr;
    }
    if (indexData_ && component == static_cast<TComponent*>(indexData_)) indexData_ = nullptr;
}

void TQelODBCClientIndex2::SetData(TQelODBCClient* dataSet) {
    if (active_) ClearData();
    if (data_ && data_ != indexData_) RemoveFreeNotification(data_);
    data_ = dataSet;
    if (data_) FreeNotification(data_);
}

void TQelODBCClientIndex2::SetFieldName(const std::string& names) {
    if (active_) ClearData();
    fieldName_ = names;
}

void TQelODBCClientIndex2::SetIndexData(TQelODBCClient* dataSet) {
    if (indexData_ && indexData_ != data_) RemoveFreeNotification(indexData_);
    if (indexData_ && indexData_->SecondIndex == this) indexData_->SecondIndex = nullptr;
    indexData_ = dataSet;
    if (!indexData_) return;
    FreeNotification(indexData_);
    indexData_->SecondIndex = this;
    if (active_) InitIndexData();
}

void TQelODBCClientIndex2::ClearData() {
    root_.reset();
    active_ = false;
}

void TQelODBCClientIndex2::ResolveKeyFields() {
    keyFields_.clear();
    std::vector<TKeyField> keys;
    for (const std::string& name : SplitFieldNames(fieldName_)) {
        TField* f = data_->FindField(name);
        if (!f) continue;
        IODBCField* odbc = AsODBCField(f);
        const std::int32_t ofs = odbc ? odbc->GetDataOfs() : -1;
        if (ofs < 0) throw Exception(kMsgNoOffset + f->FieldName());
        keys.push_back({f->FieldName(), f->DataType(), f->Size(), f->Required(), ofs,
                        static_cast<int>(f->SlotLength()) + 1});
    }
    keyFields_ = std::move(keys);
}

void TQelODBCClientIndex2::SetActive(bool value) {
    ClearData();
    if (!value) return;
    if (!data_) throw Exception("Нет набора данных");
    if (!data_->Active()) throw Exception("Набор данных не открыт");
    if (fieldName_.empty()) throw Exception("Нет списка полей индекса");
    ResolveKeyFields();
    {
        ScopeFail clear([this] { ClearData(); });
        CreateData();
    }
    active_ = true;
    if (indexData_) InitIndexData();
}

std::unique_ptr<TQelODBCClientIndex2::TNode> TQelODBCClientIndex2::NewNode(TNode* parent, const std::uint8_t* key,
                                                                          int size) {
    auto node = std::make_unique<TNode>();
    node->Parent = parent;
    if (key) node->Key.assign(key, key + size);
    node->Id = ++nextId_;
    return node;
}

void TQelODBCClientIndex2::Add(TMemoryRecord* record, TNode* node, int level) {
    if (!record || !record->Data || !node || level < 0 || level >= static_cast<int>(keyFields_.size())) return;
    const TKeyField& key = keyFields_[static_cast<std::size_t>(level)];
    const std::uint8_t* slot = record->Data + key.Offset;
    auto& children = node->Children;
    int low = 0, high = static_cast<int>(children.size()) - 1, found = -1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int c = CompareKey(slot, children[static_cast<std::size_t>(middle)]->Key.data(), key.SlotSize);
        if (c < 0) high = middle - 1;
        else if (c > 0) low = middle + 1;
        else {
            found = middle;
            break;
        }
    }
    if (found < 0) {
        children.insert(children.begin() + low, NewNode(node, slot, key.SlotSize));
        found = low;
    }
    TNode* child = children[static_cast<std::size_t>(found)].get();
    if (level + 1 < static_cast<int>(keyFields_.size()))
        Add(record, child, level + 1);
    else
        child->Records.push_back(record);
}

void TQelODBCClientIndex2::CreateData() {
    nextId_ = 0;
    root_ = NewNode(nullptr, nullptr, 0);
    if (!data_ || keyFields_.empty()) return;
    // One stable sort by the whole key path gives the tree that adding the records one by
    // one gives, without shifting the child lists for every new group.
    std::vector<TMemoryRecord*> sorted;
    sorted.reserve(data_->Records.size());
    for (TMemoryRecord* r : data_->Records)
        if (r->Data) sorted.push_back(r);
    auto comparePath = [&](const TMemoryRecord* a, const TMemoryRecord* b) {
        for (const TKeyField& k : keyFields_)
            if (int c = CompareKey(a->Data + k.Offset, b->Data + k.Offset, k.SlotSize)) return c;
        return 0;
    };
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const TMemoryRecord* a, const TMemoryRecord* b) { return comparePath(a, b) < 0; });
    const std::size_t levels = keyFields_.size();
    std::vector<TNode*> path(levels, nullptr);
    for (TMemoryRecord* rec : sorted) {
        std::size_t level = 0;
        while (level < levels && path[level] &&
               CompareKey(rec->Data + keyFields_[level].Offset, path[level]->Key.data(), keyFields_[level].SlotSize) == 0)
            ++level;
        for (; level < levels; ++level) {
            TNode* parent = level == 0 ? root_.get() : path[level - 1];
            const TKeyField& k = keyFields_[level];
            parent->Children.push_back(NewNode(parent, rec->Data + k.Offset, k.SlotSize));
            path[level] = parent->Children.back().get();
            for (std::size_t deeper = level + 1; deeper < levels; ++deeper) path[deeper] = nullptr;
        }
        path[levels - 1]->Records.push_back(rec);
    }
}

void TQelODBCClientIndex2::InitIndexData() {
    if (!indexData_) return;
    TQelODBCClient& out = *indexData_;
    out.Close();
    std::vector<TField*> fields = out.Fields();
    for (TField* f : fields) delete f;
    out.FieldDefs().Clear();
    for (const TKeyField& k : keyFields_) {
        const bool sized = k.DataType == ftString || k.DataType == ftBytes || k.DataType == ftVarBytes ||
                           k.DataType == ftWideString || k.DataType == ftGuid;
        TFieldDef* def = out.FieldDefs().Add(k.Name, k.DataType, sized ? k.Size : 0, k.Required);
        if (k.DataType == ftBCD) {
            def->Size = 4;
            def->Precision = 19;
        }
        out.FieldDefs().Add(k.Name + "_node", ftInteger);
    }
    out.FieldDefs().Add("is_total", ftBoolean);
    out.Open();
    outKeys_.clear();
    outNodes_.clear();
    for (const TKeyField& k : keyFields_) {
        outKeys_.push_back(out.FieldByName(k.Name));
        outNodes_.push_back(out.FieldByName(k.Name + "_node"));
    }
    outTotal_ = out.FieldByName("is_total");
    if (root_ && !keyFields_.empty()) WriteRows(root_.get(), -1);
    out.Resync();
    out.DataEvent(TDataEvent::deDataSetChange);
}

void TQelODBCClientIndex2::WriteRows(const TNode* node, int level) {
    const int last = static_cast<int>(keyFields_.size()) - 1;
    if (level == last - 1) {
        for (const auto& child : node->Children) AppendRow(child.get(), last, false);
        // One total row per enclosing group, innermost first.
        int l = level;
        for (const TNode* n = node; n != root_.get() && n; n = n->Parent, --l) AppendRow(n, l, true);
        return;
    }
    for (const auto& child : node->Children) WriteRows(child.get(), level + 1);
}

void TQelODBCClientIndex2::AppendRow(const TNode* deepest, int deepestLevel, bool total) {
    TQelODBCClient& out = *indexData_;
    TMemoryRecord* rec = out.AddRecord();
    int level = deepestLevel;
    for (const TNode* n = deepest; n && level >= 0; n = n->Parent, --level) {
        const auto l = static_cast<std::size_t>(level);
        if (std::uint8_t* slot = TQelODBCClient::FindFieldData(rec->Data, outKeys_[l])) {
            const std::size_t size = std::min<std::size_t>(n->Key.size(), outKeys_[l]->SlotLength() + 1u);
            if (keyFields_[l].DataType == ftVariant) {
                // A stored Variant owns its value: copy it, never its bytes.
                if (size == n->Key.size() && n->Key[0]) {
                    VariantSlotAssign(slot + 1, VariantSlotRead(n->Key.data() + 1));
                    slot[0] = 1;
                }
            } else {
                std::memcpy(slot, n->Key.data(), size);
            }
        }
        out.SetFieldValueInBuffer(outNodes_[l], rec, Variant::FromInt32(n->Id));
    }
    if (total) out.SetFieldValueInBuffer(outTotal_, rec, Variant::FromBool(true));
}

}  // namespace kubrix
