// Reads any byte string as a sequence of stored values. Nothing may crash, hang or allocate
// beyond the input's size; and every value that reads back must write a form that reads
// back to the same bytes again (write, read, write gives equal bytes).

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/StorageStream.h"

using namespace kubrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TQelStorageStream in;
    in.Write(data, size);
    in.Seek(0);
    while (in.Position() < in.Size()) {
        const std::int64_t before = in.Position();
        Variant v;
        if (in.LoadValue(v)) {
            TQelStorageStream once;
            once.SaveValue(v);
            once.Seek(0);
            Variant again;
            if (!once.LoadValue(again) || once.Position() != once.Size()) std::abort();
            TQelStorageStream twice;
            twice.SaveValue(again);
            if (twice.Data() != once.Data()) std::abort();
        }
        // Every call consumes at least the code bytes, so the loop ends.
        if (in.Position() <= before) std::abort();
    }
    Variant v;
    if (in.LoadValue(v)) std::abort();
    return 0;
}
