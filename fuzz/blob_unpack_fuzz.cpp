// Decompresses any byte string as a stored DoZip blob value. Nothing may crash, hang or
// allocate by a length read from the input; a refused value leaves the stream as it was;
// and a value that decompresses packs again into a form that decompresses to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/ZipStream.h"

using namespace kubrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string stored(reinterpret_cast<const char*>(data), size);
    TMemoryStream stream(stored);
    try {
        UnPackStream(stream);
    } catch (const EDecompressionError&) {
        if (stream.Data() != stored || stream.Position() != 0) std::abort();
        return 0;
    }
    if (stream.Position() != 0) std::abort();
    const std::string plain = stream.Data();
    PackStream(stream);
    if (stream.Data() != ZipBytes(plain)) std::abort();
    UnPackStream(stream);
    if (stream.Data() != plain) std::abort();
    return 0;
}
