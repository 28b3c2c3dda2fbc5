#include "support/MemBlocks.h"

#include <cstdint>
#include <cstring>

namespace kubrix {

int CompareMemBlocks(const void* a, const void* b, int count) {
    const auto* pa = static_cast<const std::uint8_t*>(a);
    const auto* pb = static_cast<const std::uint8_t*>(b);
    if (count <= 0) return 0;
    const int words = count / 4;
    for (int i = 0; i < words; ++i) {
        std::int32_t x, y;
        std::memcpy(&x, pa + 4 * i, 4);
        std::memcpy(&y, pb + 4 * i, 4);
        if (x != y) return x < y ? 1 : 2;
    }
    for (int i = words * 4; i < count; ++i) {
        auto x = static_cast<std::int8_t>(pa[i]);
        auto y = static_cast<std::int8_t>(pb[i]);
        if (x != y) return x < y ? 1 : 2;
    }
    return 0;
}

}  // namespace kubrix
