#include "support/ZipStream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "support/ScopeGuard.h"

namespace kubrix {

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= data_.size()) return 0;
    const std::size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

void TMemoryStream::Write(const void* data, std::size_t count) {
    if (count == 0) return;
    if (position_ + count > data_.size()) data_.resize(position_ + count);
    std::memcpy(data_.data() + position_, data, count);
    position_ += count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? Position() : Size();
    std::int64_t to = base + offset;
    position_ = to < 0 ? 0 : static_cast<std::size_t>(to);
    return Position();
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}

std::string TMemoryStream::TakeData() {
    std::string out = std::move(data_);
    Clear();
    return out;
}

namespace {

std::string ZlibMessage(const z_stream& z, int code) {
    return z.msg ? std::string(z.msg) : std::string(zError(code));
}

// zlib counts in 32-bit units: feed a long input in pieces.
constexpr std::size_t kChunk = std::numeric_limits<uInt>::max();

}  // namespace

std::string ZipBytes(std::string_view plain) {
    z_stream z{};
    int rc = deflateInit2(&z, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) throw ECompressionError(ZlibMessage(z, rc));
    ScopeExit end([&] { deflateEnd(&z); });
    const std::size_t n = plain.size();
    // Room for the whole result at once; deflate's worst case is far below a tenth more.
    std::string out((n + n / 10 + 267) / 256 * 256, '\0');
    std::size_t in = 0, produced = 0;
    for (;;) {
        if (z.avail_in == 0 && in < n) {
            const std::size_t take = std::min(kChunk, n - in);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data() + in));
            z.avail_in = static_cast<uInt>(take);
            in += take;
        }
        if (produced == out.size()) out.resize(out.size() + 256);
        const std::size_t room = std::min(kChunk, out.size() - produced);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        z.avail_out = static_cast<uInt>(room);
        rc = deflate(&z, in < n ? Z_NO_FLUSH : Z_FINISH);
        produced += room - z.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw ECompressionError(ZlibMessage(z, rc));
    }
    out.resize(produced);
    return out;
}

std::string UnzipBytes(std::string_view packed) {
    z_stream z{};
    int rc = inflateInit2(&z, 15);
    if (rc != Z_OK) throw EDecompressionError(ZlibMessage(z, rc));
    ScopeExit end([&] { inflateEnd(&z); });
    const std::size_t n = packed.size();
    // Starts at the input's length and doubles: the size follows what inflate produces.
    std::string out(std::max<std::size_t>((n + 255) / 256 * 256, 256), '\0');
    std::size_t in = 0, produced = 0;
    for (;;) {
        if (z.avail_in == 0 && in < n) {
            const std::size_t take = std::min(kChunk, n - in);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data() + in));
            z.avail_in = static_cast<uInt>(take);
            in += take;
        }
        if (produced == out.size()) {
            if (out.size() >= kMaxPlainBlob) throw EDecompressionError("Decompressed value too large");
            out.resize(std::min(out.size() * 2, kMaxPlainBlob));
        }
        const std::size_t room = std::min(kChunk, out.size() - produced);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        z.avail_out = static_cast<uInt>(room);
        rc = inflate(&z, Z_NO_FLUSH);
        produced += room - z.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc == Z_NEED_DICT) throw EDecompressionError("need dictionary");
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && in >= n && z.avail_out > 0) throw EDecompressionError("unexpected end of data");
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw EDecompressionError(ZlibMessage(z, rc));
    }
    out.resize(produced);
    return out;
}

void PackStream(TMemoryStream& stream) {
    stream.Seek(0);
    std::string packed = ZipBytes(stream.Data());
    stream.Clear();
    stream.Write(packed.data(), packed.size());
    stream.Seek(0);
}

void UnPackStream(TMemoryStream& stream) {
    stream.Seek(0);
    std::string plain = UnzipBytes(stream.Data());
    stream.Clear();
    stream.Write(plain.data(), plain.size());
    stream.Seek(0);
}

}  // namespace kubrix
