#pragma once
// Text is UTF-8 inside the process and UTF-16 at the automation boundary; these helpers
// convert between them and cut text by characters without ever splitting one. A byte that
// starts no valid UTF-8 sequence (overlong forms and encoded surrogates included) counts as
// one character of its own.

#include <cstddef>
#include <string>
#include <string_view>

namespace kubrix {

//! UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
//! UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
//! Number of characters (code points) in UTF-8 text.
std::size_t Utf8Length(std::string_view text);
//! Byte length of the first maxChars characters of text, never inside a character.
std::size_t Utf8PrefixBytes(std::string_view text, std::size_t maxChars);
//! Longest prefix of at most maxBytes bytes that ends on a character boundary.
std::size_t Utf8FitBytes(std::string_view text, std::size_t maxBytes);
//! Byte string carried one byte per UTF-16 unit (for opaque binary in a wide string).
std::u16string BytesToWide(std::string_view bytes);
//! The inverse of BytesToWide; false when a unit is above 0xFF.
bool WideToBytes(std::u16string_view text, std::string& out);
//! Upper-case form of ASCII and Cyrillic letters (ё -> Ё included); other characters and
//! stray bytes are kept as they are, so the byte length never changes.
std::string Utf8Upper(std::string_view text);
//! Compares the upper-case forms character by character (code point order); negative,
//! zero or positive. Stray bytes order after every character.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);
//! Trims blanks and control characters (bytes up to 0x20) at both ends.
std::string Trim(std::string_view text);

}  // namespace kubrix
