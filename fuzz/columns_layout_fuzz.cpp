// Restoring a data grid's saved column layout from arbitrary bytes: read as storage-stream
// values, as the record bytes of an older layout, and as element 1 of a current one.

#include <cstddef>
#include <cstdint>

#include "support/ColumnsLayout.h"
#include "support/StorageStream.h"

using namespace kubrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Variant bytes = Variant::FromBytes(data, size);
    ReadColumnsLayout(bytes);
    TQelStorageStream stream;
    stream.SetAsVariant(bytes);
    Variant value;
    if (stream.LoadValue(value)) {
        const TSavedColumnsLayout layout = ReadColumnsLayout(value);
        // What was read writes and reads back.
        ReadColumnsLayout(SaveColumnsLayout(layout));
    }
    Variant current = Variant::MakeArray(VT_VARIANT, 0, 1);
    current.PutElement(0, Variant::FromUInt8(1));
    current.PutElement(1, bytes);
    ReadColumnsLayout(current);
    return 0;
}
