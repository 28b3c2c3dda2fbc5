// Ordering of the in-memory dataset: the OrderBy text, its keys and the sort of Records.
#include <algorithm>
#include <cstring>

#include "dataset/Collation.h"
#include "dataset/FieldCompare.h"
#include "support/ScopeGuard.h"
#include "dataset/ODBCClientTree2.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/Text.h"
#include "support/ValueCodec.h"

namespace kubrix {

namespace {

bool EndsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool IsBlobKey(const TField* field) { return IsBlobType(field->DataType()); }

// The blob value of a record for a blob field ("" without one).
std::string_view BlobOf(const TMemoryRecord* rec, int slot) {
    if (slot < 0 || !rec->Blobs) return {};
    return rec->Blobs[slot];
}

int BlobSlot(const std::vector<TField*>& blobFields, const TField* field) {
    auto it = std::find(blobFields.begin(), blobFields.end(), field);
    return it == blobFields.end() ? -1 : static_cast<int>(it - blobFields.begin());
}

}  // namespace

std::vector<TOrderByItem> ParseOrderBy(const std::string& text) {
    std::vector<TOrderByItem> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string raw = comma == std::string::npos ? text.substr(start) : text.substr(start, comma - start);
        TOrderByItem item;
        item.FieldName = Trim(raw);
        if (EndsWith(item.FieldName, " ASC")) {
            item.FieldName.resize(item.FieldName.size() - 4);
        } else if (EndsWith(item.FieldName, " DESC")) {
            item.FieldName.resize(item.FieldName.size() - 5);
            item.Descending = true;
        }
        items.push_back(std::move(item));
        if (comma == std::string::npos) break;
        // Writers put one blank after each comma: that character is skipped unread.
        start = std::min(comma + 2, text.size());
    }
    return items;
}

std::vector<TOrderKey> TQelODBCClient::ParseOrderKeys() const {
    std::vector<TOrderKey> keys;
    for (const TOrderByItem& item : ParseOrderBy(orderBy_))
        keys.push_back({FieldByName(item.FieldName), item.Descending, true});
    return keys;
}

bool TQelODBCClient::GetIsIndexField(const TField* field) const {
    return std::any_of(orderKeys_.begin(), orderKeys_.end(), [&](const TOrderKey& k) { return k.Field == field; });
}

void TQelODBCClient::SetOrderBy(const std::string& text) {
    if (text == orderBy_) return;
    std::string previous = orderBy_;
    orderBy_ = text;
    // A text naming an unknown field must not stay: the records still have the old order.
    ScopeFail restore([&] { orderBy_ = std::move(previous); });
    RefreshOrderBy();
}

void TQelODBCClient::RefreshOrderBy() {
    const bool remember = Active() && !IsEmpty();
    // A pending edit is posted first: its buffer names the record by position.
    if (remember && (State() == dsEdit || State() == dsInsert)) CheckBrowseMode();
    TBookmark bookmark = remember ? GetBookmark() : TBookmark{};
    InternalRefreshOrderBy();
    if (!remember) return;
    if (!bookmark.empty() && BookmarkValid(bookmark)) {
        GotoBookmark(bookmark);
    } else {
        Resync();
        DataEvent(TDataEvent::deDataSetChange);
    }
}

void TQelODBCClient::InternalRefreshOrderBy() {
    if (Records.empty() || orderBy_.empty()) return;
    BusyCursor busy;
    if (Tree && Tree->Built()) {
        // A tree keeps its own order: each sibling group is ordered, parents before children.
        Tree->SortByOrder(orderBy_);
        return;
    }
    std::vector<TOrderKey> keys = ParseOrderKeys();
    const int savedPos = RecordPos;
    SortRecords(keys);
    orderKeys_ = std::move(keys);
    RecordPos = savedPos;
}

int TQelODBCClient::CompareRecordValues(const TMemoryRecord* a, const TMemoryRecord* b, const TOrderKey& key) const {
    if (IsBlobKey(key.Field)) {
        const int slot = BlobSlot(BlobFields, key.Field);
        return CompareTextByLocale(BlobOf(a, slot), BlobOf(b, slot), true);
    }
    const std::uint8_t* pa = FindFieldData(a->Data, key.Field);
    const std::uint8_t* pb = FindFieldData(b->Data, key.Field);
    if (!pa || !pb) return 0;
    if (pa[0] && pb[0]) return CompareFieldValues(pa + 1, pb + 1, key.Field->Codec(), key.CaseInsensitive, false);
    return (pa[0] != 0) - (pb[0] != 0);
}

int TQelODBCClient::CompareRecords(const TMemoryRecord* a, const TMemoryRecord* b,
                                   const std::vector<TOrderKey>& keys) const {
    for (const TOrderKey& key : keys) {
        int c = CompareRecordValues(a, b, key);
        if (key.Descending) c = -c;
        if (c != 0) return c;
    }
    if (a->RecordID == b->RecordID) return 0;
    const bool firstDescending = !keys.empty() && keys.front().Descending;
    return (a->RecordID < b->RecordID) != firstDescending ? -1 : 1;
}

namespace {

// How one key reads its values during a sort.
struct SortKey {
    enum Kind { kNone, kSlot, kVariant, kCollated } kind = kNone;
    TValueCodec codec;
    TValueCodec::TValueOrder order = nullptr;
    TFieldType type = ftUnknown;
    int size = 0;
    std::int32_t offset = -1;
    int descending = 1;  // 1 or -1
    bool caseInsensitive = true;
    std::vector<std::size_t> keyOffsets;  // kCollated: per record position, into the arena
};

// One record in the sort, 16 bytes. The first key's value sits inline when it fits in 8
// bytes, or its collation key's offset does; the others are read through the record at pos
// of the list as it was.
struct SortEntry {
    std::uint64_t head;
    std::int32_t id;
    std::uint32_t pos : 31;
    std::uint32_t present : 1;
};

}  // namespace

void TQelODBCClient::SortRecords(const std::vector<TOrderKey>& keys) {
    const std::size_t n = Records.size();
    if (n < 2 || keys.empty()) return;

    // Text keys become collation keys once per record; a leading byte orders nulls
    // (1) before values (2), and the terminating zero ends each key in the arena.
    std::string arena;
    std::vector<SortKey> plan(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        SortKey& p = plan[k];
        TField* f = keys[k].Field;
        p.type = f->DataType();
        p.size = f->Size();
        p.descending = keys[k].Descending ? -1 : 1;
        p.caseInsensitive = keys[k].CaseInsensitive;
        const int blobSlot = IsBlobKey(f) ? BlobSlot(BlobFields, f) : -1;
        IODBCField* odbc = AsODBCField(f);
        p.offset = odbc && !IsBlobKey(f) ? odbc->GetDataOfs() : -1;
        if (IsBlobKey(f) || (p.offset >= 0 && IsCollatedType(p.type))) {
            p.kind = SortKey::kCollated;
            p.keyOffsets.resize(n);
            const bool ci = IsBlobKey(f) || p.type == ftGuid || p.caseInsensitive;
            const TValueCodec codec = f->Codec();
            for (std::size_t i = 0; i < n; ++i) {
                const TMemoryRecord* rec = Records[i];
                p.keyOffsets[i] = arena.size();
                if (IsBlobKey(f)) {
                    arena += '\2';
                    AppendCollationKey(BlobOf(rec, blobSlot), ci, arena);
                } else if (!rec->Data || TValueCodec::IsNull(rec->Data + p.offset)) {
                    arena += '\1';
                } else {
                    arena += '\2';
                    const std::uint8_t* slot = rec->Data + p.offset;
                    if (p.type == ftWideString)
                        AppendCollationKeyWide(codec.WideText(slot), ci, arena);
                    else
                        AppendCollationKey(codec.Text(slot), ci, arena);
                }
                arena += '\0';
            }
        } else if (p.offset >= 0) {
            p.kind = p.type == ftVariant ? SortKey::kVariant : SortKey::kSlot;
            p.codec = f->Codec();
            p.order = p.codec.OrderFunction(true);
        }
    }

    const SortKey& first = plan.front();
    const std::uint32_t firstLength = first.codec.Length();
    const bool inlineFirst = first.kind == SortKey::kSlot && firstLength <= 8;
    std::vector<SortEntry> entries(n);
    for (std::size_t i = 0; i < n; ++i) {
        TMemoryRecord* rec = Records[i];
        SortEntry& e = entries[i];
        e.head = 0;
        e.id = rec->RecordID;
        e.pos = static_cast<std::uint32_t>(i);
        e.present = 0;
        if (first.kind == SortKey::kCollated) {
            e.head = first.keyOffsets[i];
        } else if (inlineFirst && rec->Data) {
            const std::uint8_t* slot = rec->Data + first.offset;
            e.present = slot[0] != 0;
            std::memcpy(&e.head, slot + 1, firstLength);
        }
    }

    static_assert(sizeof(SortEntry) == 16);
    const std::vector<TMemoryRecord*> original = Records;
    const char* keysBase = arena.data();
    auto compareKey = [&](std::size_t k, const SortEntry& a, const SortEntry& b) -> int {
        const SortKey& p = plan[k];
        switch (p.kind) {
        case SortKey::kCollated: {
            const std::size_t oa = k == 0 ? a.head : p.keyOffsets[a.pos];
            const std::size_t ob = k == 0 ? b.head : p.keyOffsets[b.pos];
            const int c = std::strcmp(keysBase + oa, keysBase + ob);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        case SortKey::kSlot:
        case SortKey::kVariant: {
            if (k == 0 && inlineFirst) {
                if (a.present && b.present)
                    return p.order(reinterpret_cast<const std::uint8_t*>(&a.head), reinterpret_cast<const std::uint8_t*>(&b.head), p.codec);
                return static_cast<int>(a.present) - static_cast<int>(b.present);
            }
            const std::uint8_t* da = original[a.pos]->Data;
            const std::uint8_t* db = original[b.pos]->Data;
            if (!da || !db) return 0;
            const std::uint8_t* pa = da + p.offset;
            const std::uint8_t* pb = db + p.offset;
            if (pa[0] && pb[0])
                return p.kind == SortKey::kSlot ? p.order(pa + 1, pb + 1, p.codec)
                                                : CompareFieldValues(pa + 1, pb + 1, p.codec, p.caseInsensitive, true);
            return (pa[0] != 0) - (pb[0] != 0);
        }
        default: return 0;
        }
    };
    const bool firstDescending = first.descending < 0;
    const std::size_t keyCount = plan.size();
    std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
        for (std::size_t k = 0; k < keyCount; ++k) {
            const int c = compareKey(k, a, b);
            if (c != 0) return c * plan[k].descending < 0;
        }
        return firstDescending ? a.id > b.id : a.id < b.id;
    });
    TouchStore();
    for (std::size_t i = 0; i < n; ++i) Records[i] = original[entries[i].pos];
}

}  // namespace kubrix
