#include "dataset/ClientIndex.h"

#include <algorithm>
#include <cstring>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "dataset/StoredValue.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/ValueCodec.h"

namespace kubrix {

namespace {

constexpr const char* kMsgNoOffset = "Не получено смещение данных по полю ";
constexpr const char* kMsgDuplicateKey = "Запись с заданным ключевым полем уже есть";

}  // namespace

TQelODBCClientIndex::TQelODBCClientIndex(TComponent* owner) : TComponent(owner) {}

TQelODBCClientIndex::~TQelODBCClientIndex() { SetData(nullptr); }

void TQelODBCClientIndex::SetData(TQelODBCClient* dataSet) {
    if (data_) {
        ClearData();
        auto& list = data_->Indexes;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        RemoveFreeNotification(data_);
    }
    data_ = dataSet;
    if (data_) {
        FreeNotification(data_);
        data_->Indexes.push_back(this);
        CreateData();
    }
}

void TQelODBCClientIndex::SetFieldName(const std::string& names) {
    fieldName_ = names;
    CreateData();
}

void TQelODBCClientIndex::ClearData() {
    BusyCursor busy;
    groups_.clear();
}

void TQelODBCClientIndex::DataClosed() {
    ClearData();
    keyFields_.clear();
    keyOffsets_.clear();
    keySizes_.clear();
}

void TQelODBCClientIndex::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && data_ && component == static_cast<TComponent*>(data_)) {
        DataClosed();
        data_ = nullptr;
    }
}

void TQelODBCClientIndex::ResolveKeyFields() {
    keyFields_.clear();
    keyOffsets_.clear();
    keySizes_.clear();
    for (const std::string& name : SplitFieldNames(fieldName_))
        if (TField* f = data_->FindField(name)) keyFields_.push_back(f);
    for (TField* f : keyFields_) {
        IODBCField* odbc = AsODBCField(f);
        const std::int32_t ofs = odbc ? odbc->GetDataOfs() : -1;
        if (ofs < 0) {
            keyFields_.clear();
            keyOffsets_.clear();
            keySizes_.clear();
            throw Exception(kMsgNoOffset + f->FieldName());
        }
        keyOffsets_.push_back(ofs);
        keySizes_.push_back(static_cast<int>(f->SlotLength()) + 1);
    }
}

int TQelODBCClientIndex::CompareAreas(const std::uint8_t* a, const std::uint8_t* b) const {
    for (std::size_t i = 0; i < keyOffsets_.size(); ++i) {
        const int c = CompareMemBlocks(a + keyOffsets_[i], b + keyOffsets_[i], keySizes_[i]);
        if (c != 0) return c == 1 ? -1 : 1;
    }
    return 0;
}

bool TQelODBCClientIndex::Search(int& position, const std::uint8_t* area) const {
    int low = 0, high = static_cast<int>(groups_.size()) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int c = CompareAreas(area, groups_[static_cast<std::size_t>(middle)].front()->Data);
        if (c < 0) {
            high = middle - 1;
        } else if (c > 0) {
            low = middle + 1;
        } else {
            position = middle;
            return true;
        }
    }
    position = low;
    return false;
}

bool TQelODBCClientIndex::FindRecord(int& position, const TMemoryRecord* record) const {
    position = 0;
    if (keyFields_.empty() || !record || !record->Data) return false;
    return Search(position, record->Data);
}

std::vector<std::uint8_t> TQelODBCClientIndex::KeyArea(const Variant& value, bool& whole) const {
    whole = true;
    std::size_t size = 0;
    for (std::size_t i = 0; i < keyOffsets_.size(); ++i)
        size = std::max(size, static_cast<std::size_t>(keyOffsets_[i]) + static_cast<std::size_t>(keySizes_[i]));
    std::vector<std::uint8_t> area(size, 0);
    auto put = [&](std::size_t i, const Variant& part) {
        whole = whole && keyFields_[i]->Codec().KeepsWhole(part);
        std::vector<std::uint8_t> slot = VariantToFieldData(part, keySizes_[i], keyFields_[i]);
        std::memcpy(area.data() + keyOffsets_[i], slot.data(), std::min<std::size_t>(slot.size(), keySizes_[i]));
    };
    if (keyFields_.size() == 1) {
        put(0, value);
        return area;
    }
    // Several key fields: an array with one element per field; GetVarArray and GetElement
    // refuse anything else, so a short array never reads past its end.
    const TVarArrayInfo info = GetVarArray(value);
    for (std::size_t i = 0; i < keyFields_.size(); ++i) put(i, value.GetElement(info.LowBound + static_cast<std::int32_t>(i)));
    return area;
}

bool TQelODBCClientIndex::FindRecord(int& position, const Variant& value) const {
    position = 0;
    if (keyFields_.empty()) return false;
    bool whole;
    const std::vector<std::uint8_t> area = KeyArea(value, whole);
    // A key longer than every loaded value: its cut form would match a shorter one.
    return Search(position, area.data()) && whole;
}

bool TQelODBCClientIndex::Refuses(const TGroup& group, const TMemoryRecord* self) const {
    if (!unique_) return false;
    const bool strict = data_ && data_->DoPostToDB;
    return std::any_of(group.begin(), group.end(), [&](const TMemoryRecord* r) {
        return r != self && (strict || r->UpdateStatus != mrsDeleted);
    });
}

void TQelODBCClientIndex::CheckAdd(const std::uint8_t* area, const TMemoryRecord* self) const {
    if (!unique_ || keyFields_.empty() || !area) return;
    int position;
    if (Search(position, area) && Refuses(groups_[static_cast<std::size_t>(position)], self))
        throw Exception(kMsgDuplicateKey);
}

void TQelODBCClientIndex::Add(TMemoryRecord* record) {
    if (keyFields_.empty() || !record || !record->Data) return;
    int position;
    if (FindRecord(position, record)) {
        TGroup& group = groups_[static_cast<std::size_t>(position)];
        if (Refuses(group, nullptr)) throw Exception(kMsgDuplicateKey);
        group.push_back(record);
    } else {
        groups_.insert(groups_.begin() + position, TGroup{record});
    }
}

void TQelODBCClientIndex::Add(int recordIndex) {
    if (!data_) return;
    Add(data_->GetMemoryRecord(recordIndex));
}

void TQelODBCClientIndex::Delete(TMemoryRecord* record) {
    int position;
    if (!FindRecord(position, record)) return;
    TGroup& group = groups_[static_cast<std::size_t>(position)];
    auto it = std::find(group.begin(), group.end(), record);
    if (it == group.end()) return;
    group.erase(it);
    if (group.empty()) groups_.erase(groups_.begin() + position);
}

void TQelODBCClientIndex::CreateData() {
    BusyCursor busy;
    ClearData();
    if (!data_ || fieldName_.empty() || !data_->CursorOpen) return;
    ResolveKeyFields();
    if (keyFields_.empty() || data_->Records.empty()) return;

    // Sorting once gives the groups that adding the records one by one gives. The key slots
    // are first rewritten into bytes that memcmp orders as CompareMemBlocks orders the slots
    // (each 32-bit word big-endian with its sign bit flipped, then each remaining byte with
    // its sign bit flipped), so the sort compares plain bytes; ties keep list order.
    const auto& records = data_->Records;
    std::size_t width = 0;
    for (int size : keySizes_) width += static_cast<std::size_t>(size);
    struct Entry {
        std::uint64_t head;  // the first 8 ordered key bytes, big-endian
        std::uint32_t pos;
    };
    std::vector<std::uint8_t> keys;
    std::vector<Entry> entries;
    keys.resize(records.size() * width);
    entries.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i]->Data) continue;
        std::uint8_t* out = keys.data() + entries.size() * width;
        for (std::size_t f = 0; f < keyOffsets_.size(); ++f) {
            const std::uint8_t* slot = records[i]->Data + keyOffsets_[f];
            const int size = keySizes_[f];
            const int words = size / 4;
            for (int w = 0; w < words; ++w) {
                out[0] = static_cast<std::uint8_t>(slot[4 * w + 3] ^ 0x80);
                out[1] = slot[4 * w + 2];
                out[2] = slot[4 * w + 1];
                out[3] = slot[4 * w];
                out += 4;
            }
            for (int r = words * 4; r < size; ++r) *out++ = static_cast<std::uint8_t>(slot[r] ^ 0x80);
        }
        const std::uint8_t* key = keys.data() + entries.size() * width;
        std::uint64_t head = 0;
        for (std::size_t k = 0; k < 8; ++k) head = (head << 8) | (k < width ? key[k] : 0);
        entries.push_back({head, static_cast<std::uint32_t>(i)});
    }
    // Each entry's key row is found by its rank at creation; keep that before sorting.
    std::vector<std::uint32_t> row(records.size(), 0);
    for (std::size_t e = 0; e < entries.size(); ++e) row[entries[e].pos] = static_cast<std::uint32_t>(e);
    auto keyOf = [&](const Entry& e) { return keys.data() + static_cast<std::size_t>(row[e.pos]) * width; };
    auto compareKeys = [&](const Entry& a, const Entry& b) {
        if (a.head != b.head) return a.head < b.head ? -1 : 1;
        if (width <= 8) return 0;
        const int c = std::memcmp(keyOf(a) + 8, keyOf(b) + 8, width - 8);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const int c = compareKeys(a, b);
        return c != 0 ? c < 0 : a.pos < b.pos;
    });

    // A unique index refuses the first record, in list order, that joins a group holding
    // a record it may not share with; adding one by one would stop there.
    std::size_t stop = records.size() + 1;
    if (unique_) {
        for (std::size_t i = 0; i < entries.size();) {
            std::size_t j = i + 1;
            while (j < entries.size() && compareKeys(entries[i], entries[j]) == 0) ++j;
            TGroup run;
            for (std::size_t k = i; k < j; ++k) {
                if (!run.empty() && Refuses(run, nullptr)) {
                    stop = std::min<std::size_t>(stop, entries[k].pos);
                    break;
                }
                run.push_back(records[entries[k].pos]);
            }
            i = j;
        }
    }

    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].pos >= stop) continue;
        TMemoryRecord* rec = records[entries[i].pos];
        if (i > 0 && !groups_.empty() && compareKeys(entries[i - 1], entries[i]) == 0 && entries[i - 1].pos < stop)
            groups_.back().push_back(rec);
        else
            groups_.push_back(TGroup{rec});
    }
    if (stop <= records.size()) throw Exception(kMsgDuplicateKey);
}

int TQelODBCClientIndex::FindRecordByValue(const Variant& value) const {
    int position;
    if (!FindRecord(position, value)) return -1;
    const TGroup& group = groups_[static_cast<std::size_t>(position)];
    if (data_ && data_->DoPostToDB) return group.front()->GetIndex();
    for (const TMemoryRecord* r : group)
        if (r->UpdateStatus != mrsDeleted) return r->GetIndex();
    return -1;
}

void TQelODBCClientIndex::AllRecordsByValue2(const Variant& value, std::vector<int>& list) const {
    int position;
    if (!FindRecord(position, value)) return;
    for (const TMemoryRecord* r : groups_[static_cast<std::size_t>(position)]) {
        if (r->UpdateStatus == mrsDeleted) continue;
        if (data_ && data_->UnfilteredRecords) {
            const auto& all = *data_->UnfilteredRecords;
            auto it = std::find(all.begin(), all.end(), r);
            list.push_back(it == all.end() ? -1 : static_cast<int>(it - all.begin()));
        } else {
            list.push_back(r->GetIndex());
        }
    }
}

}  // namespace kubrix
