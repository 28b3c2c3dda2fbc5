#pragma once
// A growable in-memory byte stream that writes a sequence of Variant values in a compact,
// self-describing binary form and reads them back: the one form of every saved layout (the
// pivot state, the data grid's columns, the columns editor's window).
//
// Each value is a 2-byte little-endian type code (the Variant's code, flag bits included)
// followed by a payload that depends on the code: fixed-width numbers as held, strings as a
// 4-byte length and their units, byte arrays as a 4-byte high bound and one byte per element,
// other one-dimensional arrays as high bound, low bound and every element as a full value.
// Kinds without a payload form (interfaces, errors, ...) are written as the bare code and do
// not read back. There is no header and no count: readers read in the order writers wrote.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/Variant.h"

namespace kubrix {

enum class SeekOrigin { Begin, Current, End };

class TQelStorageStream {
public:
    //! Arrays nested deeper than this read as false, so that crafted data cannot exhaust
    //! the stack (deeper values are still written, but do not read back).
    static constexpr int MaxNesting = 64;

    TQelStorageStream() = default;

    //! Writes v as one tagged value at the position and moves past it.
    void SaveValue(const Variant& v);
    //! Reads one tagged value at the position into v. True when a readable code and its
    //! whole payload were read; otherwise false and v is left as it was. After a short or
    //! malformed payload the position stands at the end, so every later read is false too;
    //! after an unreadable code alone only the 2 code bytes are consumed.
    bool LoadValue(Variant& v);

    //! The whole content (independent of the position) as a byte array with bounds
    //! 0..Size()-1; an empty stream gives the empty Variant.
    Variant GetAsVariant() const;
    //! Replaces the content with the bytes of an array (a byte array as GetAsVariant gives;
    //! any other array contributes the low 8 bits of each element) and sets the position
    //! to 0. A value that is not an array leaves the stream empty.
    void SetAsVariant(const Variant& v);

    //! Reads up to count bytes at the position; returns how many were read.
    std::size_t Read(void* buffer, std::size_t count);
    //! Writes count bytes at the position, overwriting or growing the content.
    void Write(const void* data, std::size_t count);

    std::int64_t Position() const { return position_; }
    std::int64_t Size() const { return static_cast<std::int64_t>(data_.size()); }
    //! Moves the position and returns it; a position before the start raises
    //! std::out_of_range, one past the end is allowed (a later write fills the gap with zeros).
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin = SeekOrigin::Begin);
    //! Empties the stream.
    void Clear();
    //! The content, from byte 0.
    const std::vector<std::uint8_t>& Data() const { return data_; }

private:
    enum class ReadOutcome { Ok, UnreadableCode, Broken };

    void WriteValue(const Variant& v);
    ReadOutcome ReadValue(Variant& v, int depth);
    std::size_t Remaining() const;
    //! Reads exactly count bytes or, when fewer remain, moves to the end and returns false.
    bool Take(void* buffer, std::size_t count);

    std::vector<std::uint8_t> data_;
    std::int64_t position_ = 0;
};

}  // namespace kubrix
