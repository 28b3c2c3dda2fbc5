#include "control/Dispatch.h"

#include <cstdlib>
#include <cstring>

namespace kubrix {

BSTR SysAllocStringLen(const char16_t* text, std::uint32_t count) {
    // The byte length must fit its four-byte prefix.
    if (count > (0x7FFFFFF0u - 6) / 2) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(4 + std::size_t(count) * 2 + 2));
    if (!block) return nullptr;
    const std::uint32_t bytes = count * 2;
    std::memcpy(block, &bytes, 4);
    auto* units = reinterpret_cast<char16_t*>(block + 4);
    if (text) std::memcpy(units, text, bytes);
    else std::memset(units, 0, bytes);
    units[count] = 0;
    return units;
}

BSTR SysAllocString(const char16_t* text) {
    if (!text) return nullptr;
    std::uint32_t n = 0;
    while (text[n]) ++n;
    return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR s) {
    if (s) std::free(reinterpret_cast<unsigned char*>(s) - 4);
}

std::uint32_t SysStringLen(BSTR s) {
    if (!s) return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(s) - 4, 4);
    return bytes / 2;
}

BSTR AllocWide(const std::u16string& text) {
    BSTR s = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
    if (!s) throw EOleSysError("Out of memory", E_OUTOFMEMORY);
    return s;
}

std::u16string WideOf(BSTR s) { return s ? std::u16string(s, SysStringLen(s)) : std::u16string(); }

void VariantInit(VARIANT* v) {
    std::memset(static_cast<void*>(v), 0, sizeof *v);
    v->vt = VT_EMPTY;
}

void VariantClear(VARIANT* v) {
    if (!v) return;
    switch (v->vt) {
        case VT_BSTR: SysFreeString(v->bstrVal); break;
        case VT_UNKNOWN: if (v->punkVal) v->punkVal->Release(); break;
        case VT_DISPATCH: if (v->pdispVal) v->pdispVal->Release(); break;
        default: break;
    }
    VariantInit(v);
}

}  // namespace kubrix
