#pragma once
// Value buffers by their bytes: equal bytes are the dictionaries' equality of non-memo
// values, so a hash of the bytes finds a value without comparing it against many others.

#include <cstdint>
#include <cstring>
#include <vector>

namespace kubrix {

//! Hash of size bytes, eight at a time.
inline std::uint64_t HashValueBytes(const void* p, std::size_t size) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, b + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i < size; ++i, ++k) tail |= static_cast<std::uint64_t>(b[i]) << (8 * k);
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

//! Distinct buffers of one size, each numbered in the order first added. Holds pointers only:
//! the buffers must outlive the set. For text slots (a flag byte, then the text ended by a zero
//! byte or by the slot) only the flag and the text are hashed: equal slots have equal texts,
//! so the hash stays that of the bytes' equality, and a short text in a wide slot hashes fast.
class TOLAPBytesSet {
public:
    TOLAPBytesSet(std::size_t valueSize, std::size_t expected, bool textSlots = false)
        : size_(valueSize), text_(textSlots && valueSize > 0) {
        std::size_t cap = 16;
        while (cap < 2 * expected) cap *= 2;
        slots_.assign(cap, -1);
        mask_ = cap - 1;
    }
    //! Number of the buffer's bytes, added when new.
    std::int32_t Add(const void* buffer) {
        std::size_t h = static_cast<std::size_t>(Hash(buffer)) & mask_;
        for (;; h = (h + 1) & mask_) {
            const std::int32_t j = slots_[h];
            if (j < 0) break;
            if (std::memcmp(items_[static_cast<std::size_t>(j)], buffer, size_) == 0) return j;
        }
        const auto j = static_cast<std::int32_t>(items_.size());
        slots_[h] = j;
        items_.push_back(buffer);
        if (2 * items_.size() > slots_.size()) Grow();
        return j;
    }
    //! Number of the buffer's bytes, -1 when not added.
    std::int32_t Find(const void* buffer) const {
        for (std::size_t h = static_cast<std::size_t>(Hash(buffer)) & mask_;; h = (h + 1) & mask_) {
            const std::int32_t j = slots_[h];
            if (j < 0) return -1;
            if (std::memcmp(items_[static_cast<std::size_t>(j)], buffer, size_) == 0) return j;
        }
    }
    //! The distinct buffers, in the order first added.
    const std::vector<const void*>& Items() const { return items_; }

private:
    std::uint64_t Hash(const void* buffer) const {
        if (!text_) return HashValueBytes(buffer, size_);
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        const void* zero = std::memchr(b + 1, 0, size_ - 1);
        return HashValueBytes(b, zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - b) : size_);
    }

    void Grow() {
        slots_.assign(slots_.size() * 2, -1);
        mask_ = slots_.size() - 1;
        for (std::size_t j = 0; j < items_.size(); ++j) {
            std::size_t h = static_cast<std::size_t>(Hash(items_[j])) & mask_;
            while (slots_[h] >= 0) h = (h + 1) & mask_;
            slots_[h] = static_cast<std::int32_t>(j);
        }
    }

    std::size_t size_;
    bool text_;
    std::size_t mask_ = 0;
    std::vector<std::int32_t> slots_;
    std::vector<const void*> items_;
};

}  // namespace kubrix
