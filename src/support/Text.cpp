#include "support/Text.h"

#include <cstdint>

namespace kubrix {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one character at text[pos]; returns its byte length (1 for an invalid byte,
// which decodes as U+FFFD). Overlong forms, surrogates and values above U+10FFFF are invalid.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if (b0 >= 0xF0 && b0 <= 0xF4) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    else { cp = kReplacement; return 1; }
    if (pos + len > text.size()) { cp = kReplacement; return 1; }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[pos + k]);
        if ((b & 0xC0) != 0x80) { cp = kReplacement; return 1; }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { cp = kReplacement; return 1; }
    return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Upper case of the letters we fold: ASCII and the Cyrillic block (ё and the other
// extended letters included); everything else maps to itself.
char32_t UpperOf(char32_t cp) {
    if (cp >= 'a' && cp <= 'z') return cp - 0x20;
    if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;
    if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;
    return cp;
}

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        pos += DecodeUtf8(text, pos, cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        char32_t cp = 0;
        pos += DecodeUtf8(text, pos, cp);
    }
    return count;
}

std::size_t Utf8PrefixBytes(std::string_view text, std::size_t maxChars) {
    std::size_t pos = 0;
    for (std::size_t count = 0; count < maxChars && pos < text.size(); ++count) {
        char32_t cp = 0;
        pos += DecodeUtf8(text, pos, cp);
    }
    return pos;
}

std::size_t Utf8FitBytes(std::string_view text, std::size_t maxBytes) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, pos, cp);
        if (pos + len > maxBytes) break;
        pos += len;
    }
    return pos;
}

std::u16string BytesToWide(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

bool WideToBytes(std::u16string_view text, std::string& out) {
    std::string r;
    r.reserve(text.size());
    for (const char16_t u : text) {
        if (u > 0xFF) return false;
        r.push_back(static_cast<char>(u));
    }
    out = std::move(r);
    return true;
}

std::string Utf8Upper(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, pos, cp);
        if (len == 1 && cp == kReplacement) out.push_back(text[pos]);  // keep stray bytes as they are
        else AppendUtf8(out, UpperOf(cp));
        pos += len;
    }
    return out;
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = 0, y = 0;
        const std::size_t lx = DecodeUtf8(a, i, x);
        const std::size_t ly = DecodeUtf8(b, j, y);
        // Stray bytes compare by their byte value, above every character.
        const std::uint32_t kx = lx == 1 && x == kReplacement ? 0x110000u + static_cast<unsigned char>(a[i]) : UpperOf(x);
        const std::uint32_t ky = ly == 1 && y == kReplacement ? 0x110000u + static_cast<unsigned char>(b[j]) : UpperOf(y);
        if (kx != ky) return kx < ky ? -1 : 1;
        i += lx;
        j += ly;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsTrimmed(text[begin])) ++begin;
    while (end > begin && IsTrimmed(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

}  // namespace kubrix
