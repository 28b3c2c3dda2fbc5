#include "support/HashStrings.h"

#include <algorithm>

#include "support/Text.h"

namespace kubrix {

std::uint32_t TmwHashStrings::HashOf(std::string_view key, bool caseSensitive) {
    // Text is UTF-8, so case folding works on whole characters, not on single bytes; the
    // upper-case form hashes the same for every spelling of a key.
    std::string upper;
    if (!caseSensitive) {
        upper = Utf8Upper(key);
        key = upper;
    }
    std::uint32_t h = 0;
    for (const char c : key) h = h * 991u + static_cast<std::uint8_t>(c);
    return h;
}

bool TmwHashStrings::KeysEqual(std::string_view a, std::string_view b) const {
    if (caseSensitive_) return a == b;
    return Utf8Upper(a) == Utf8Upper(b);
}

std::size_t TmwHashStrings::LowerBound(std::uint32_t hash) const {
    const auto it = std::lower_bound(items_.begin(), items_.end(), hash,
                                     [](const std::unique_ptr<TmwHashStringItem>& item, std::uint32_t h) {
                                         return item->Hash < h;
                                     });
    return static_cast<std::size_t>(it - items_.begin());
}

int TmwHashStrings::Add(std::string_view key) {
    auto item = std::make_unique<TmwHashStringItem>();
    item->Hash = HashOf(key, caseSensitive_);
    item->Key.assign(key.data(), key.size());
    // A new entry goes before the entries that share its hash.
    const std::size_t at = LowerBound(item->Hash);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    return static_cast<int>(at);
}

int TmwHashStrings::IndexOf(std::string_view key) const {
    const std::uint32_t hash = HashOf(key, caseSensitive_);
    for (std::size_t i = LowerBound(hash); i < items_.size() && items_[i]->Hash == hash; ++i)
        if (KeysEqual(items_[i]->Key, key)) return static_cast<int>(i);
    return -1;
}

TmwHashStringItem* TmwHashStrings::GetItem(int index) {
    if (index < 0 || index >= Count()) return nullptr;
    return items_[static_cast<std::size_t>(index)].get();
}

const TmwHashStringItem* TmwHashStrings::GetItem(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return items_[static_cast<std::size_t>(index)].get();
}

void TmwHashStrings::Clear() {
    items_.clear();
    items_.shrink_to_fit();
}

void TmwHashStrings::SetCaseSensitive(bool value) {
    if (value == caseSensitive_) return;
    caseSensitive_ = value;
    for (auto& item : items_) item->Hash = HashOf(item->Key, caseSensitive_);
    // Entries that share a hash keep their relative order.
    std::stable_sort(items_.begin(), items_.end(),
                     [](const std::unique_ptr<TmwHashStringItem>& a, const std::unique_ptr<TmwHashStringItem>& b) {
                         return a->Hash < b->Hash;
                     });
}

}  // namespace kubrix
