#pragma once
// A growable in-memory byte stream, and the in-place compression of its whole content with
// zlib: the packed form of the blob values that are kept compressed. The packed form is a
// zlib stream (header and Adler-32 trailer) made at level 9, window bits 15, memory level 8,
// default strategy, in one call, so it is byte for byte what zlib's own compress2 gives.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/Errors.h"
#include "support/StorageStream.h"

namespace kubrix {

//! zlib refused to compress: its message.
class ECompressionError : public Exception {
public:
    using Exception::Exception;
};

//! zlib refused to decompress (not a zlib stream, damaged, or larger than kMaxPlainBlob).
class EDecompressionError : public Exception {
public:
    using Exception::Exception;
};

//! The largest plain value that decompressing will produce: a crafted stream that expands
//! beyond it is refused instead of exhausting memory.
inline constexpr std::size_t kMaxPlainBlob = std::size_t{1} << 30;

//! Bytes with a position, for reading and writing whole values.
class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

    //! Reads up to count bytes at the position; returns how many were read.
    std::size_t Read(void* buffer, std::size_t count);
    //! Writes count bytes at the position, overwriting or growing the content.
    void Write(const void* data, std::size_t count);
    //! Moves the position (never before 0) and returns it.
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin = SeekOrigin::Begin);
    std::int64_t Position() const { return position_; }
    std::int64_t Size() const { return static_cast<std::int64_t>(data_.size()); }
    //! Empties the stream.
    void Clear();
    //! The whole content.
    const std::string& Data() const { return data_; }
    //! Hands the content over (the stream is left empty).
    std::string TakeData();

private:
    std::string data_;
    std::size_t position_ = 0;
};

//! The packed form of plain; raises ECompressionError.
std::string ZipBytes(std::string_view plain);
//! The plain form of packed; raises EDecompressionError for anything that is not a whole
//! zlib stream or expands beyond kMaxPlainBlob. The output grows with what zlib actually
//! produces, never by a length read from the input.
std::string UnzipBytes(std::string_view packed);

//! Compresses the whole content in place; rewinds before and after. On error the stream is
//! unchanged and ECompressionError is raised.
void PackStream(TMemoryStream& stream);
//! Decompresses the whole content in place; rewinds before and after. On error the stream
//! is unchanged and EDecompressionError is raised.
void UnPackStream(TMemoryStream& stream);

}  // namespace kubrix
