#pragma once
// A map from text keys to 32-bit integers, kept as one array sorted by a hash of the key:
// a lookup hashes the key once, finds the hash by binary search and compares texts only
// among the entries that share it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kubrix {

//! One entry of a TmwHashStrings table.
struct TmwHashStringItem {
    //! Hash of the key under the table's comparison mode.
    std::uint32_t Hash = 0;
    //! The key as added (UTF-8).
    std::string Key;
    //! Set by the caller after adding; 0 at first.
    std::int32_t Value = 0;
};

class TmwHashStrings {
public:
    //! Case-insensitive by default; upper and lower case are told apart only when asked.
    explicit TmwHashStrings(bool caseSensitive = false) : caseSensitive_(caseSensitive) {}
    ~TmwHashStrings() { Clear(); }
    TmwHashStrings(const TmwHashStrings&) = delete;
    TmwHashStrings& operator=(const TmwHashStrings&) = delete;

    //! Adds an entry for key (value 0) at its place in hash order and returns its index.
    //! An equal key already present is not looked for: both entries stay.
    int Add(std::string_view key);
    //! Index of an entry whose key equals key under the table's mode, or -1.
    int IndexOf(std::string_view key) const;
    //! The entry at index, or null when index is out of range.
    TmwHashStringItem* GetItem(int index);
    const TmwHashStringItem* GetItem(int index) const;
    //! Number of entries.
    int Count() const { return static_cast<int>(items_.size()); }
    //! Discards every entry.
    void Clear();

    bool CaseSensitive() const { return caseSensitive_; }
    //! Changes the comparison mode; the entries are hashed again for the new mode.
    void SetCaseSensitive(bool value);

    //! The hash of key: h := h * 991 + c over its bytes, with wrap-around; in the
    //! case-insensitive mode over the bytes of its upper-case form (Cyrillic included).
    static std::uint32_t HashOf(std::string_view key, bool caseSensitive);

private:
    bool KeysEqual(std::string_view a, std::string_view b) const;
    //! Position of the first entry whose hash is not less than hash.
    std::size_t LowerBound(std::uint32_t hash) const;

    std::vector<std::unique_ptr<TmwHashStringItem>> items_;  // owned, ascending by Hash
    bool caseSensitive_;
};

}  // namespace kubrix
