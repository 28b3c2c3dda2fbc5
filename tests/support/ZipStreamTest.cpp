// The packed form of compressed blob values: byte for byte zlib's own output at level 9, the
// in-place packing of a memory stream, and refusals that leave the stream as it was.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "support/ZipStream.h"

using namespace kubrix;

namespace {

// What zlib itself makes of plain at level 9 (window bits 15, memory level 8, default strategy).
std::string ZlibCompress2(const std::string& plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
                        static_cast<uLong>(plain.size()), 9),
              Z_OK);
    out.resize(size);
    return out;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

}  // namespace

TEST(ZipStream, PacksAsZlibDoesAndUnpacksBack) {
    const struct {
        const char* name;
        std::string plain;
    } cases[] = {
        {"empty", ""},
        {"one byte", "a"},
        {"10 000 identical bytes", std::string(10000, 'x')},
        {"Cyrillic text", "Съешь же ещё этих мягких французских булок, да выпей чаю. "},
        {"incompressible 100 KB", RandomBytes(100000, 7)},
        {"zero bytes inside", std::string("a\0b\0c", 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream(c.plain);
        stream.Seek(3);
        PackStream(stream);
        EXPECT_EQ(stream.Data(), ZlibCompress2(c.plain));
        EXPECT_EQ(stream.Position(), 0);
        stream.Seek(0, SeekOrigin::End);
        UnPackStream(stream);
        EXPECT_EQ(stream.Data(), c.plain);
        EXPECT_EQ(stream.Position(), 0);
    }
    EXPECT_LT(ZipBytes(std::string(10000, 'x')).size(), 100u);
}

TEST(ZipStream, RefusedInputLeavesTheStreamUnchanged) {
    const std::string good = ZlibCompress2(std::string(5000, 'q') + "tail");
    std::string badSum = good;
    badSum.back() = static_cast<char>(badSum.back() ^ 1);
    std::string badBody = good;
    badBody[4] = static_cast<char>(badBody[4] ^ 0x55);
    // Header asking for a preset dictionary (FDICT set, check bits kept valid).
    const std::string wantsDict("\x78\xbb\x00\x00\x00\x01", 6);
    const struct {
        const char* name;
        std::string packed;
    } cases[] = {
        {"plain text", "not compressed at all"},
        {"empty", ""},
        {"header only", good.substr(0, 2)},
        {"cut short", good.substr(0, good.size() / 2)},
        {"trailer missing", good.substr(0, good.size() - 4)},
        {"checksum wrong", badSum},
        {"body damaged", badBody},
        {"preset dictionary", wantsDict},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream(c.packed);
        stream.Seek(1);
        EXPECT_THROW(UnPackStream(stream), EDecompressionError);
        EXPECT_EQ(stream.Data(), c.packed);
    }
}

TEST(ZipStream, MemoryStreamReadsWritesAndSeeks) {
    TMemoryStream s;
    s.Write("hello", 5);
    EXPECT_EQ(s.Seek(-2, SeekOrigin::End), 3);
    s.Write("LOWORLD", 7);
    EXPECT_EQ(s.Data(), "helLOWORLD");
    EXPECT_EQ(s.Seek(-100, SeekOrigin::Current), 0);  // never before the start
    char buf[4] = {};
    EXPECT_EQ(s.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "helL");
    s.Seek(20);
    EXPECT_EQ(s.Read(buf, 4), 0u);
    s.Write("!", 1);
    EXPECT_EQ(s.Size(), 21);
    EXPECT_EQ(s.Data()[15], '\0');
}
