#pragma once
// Text order "by the locale" for the dataset's ordering and searches: a collator for the
// user's locale (LC_ALL, LC_COLLATE or LANG), falling back to the root collation when that
// locale has none or names no language (C, POSIX). Case is a tertiary difference, so a
// case-insensitive comparison uses the secondary strength: "abc" equals "ABC", while "ё"
// still sorts next to "е" and before "ж". Text is UTF-8; bytes that are not valid UTF-8
// compare as U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>

namespace kubrix {

//! The locale whose collation is in use ("ru_RU", or "" for the root collation).
std::string CollationLocale();
//! Uses the collation of locale instead of the user's ("" for the root collation); for
//! hosts and tests that must not depend on the environment. Unknown locales fall back to root.
void SetCollationLocale(const std::string& locale);

//! -1, 0 or 1 by the locale's order.
int CompareTextByLocale(std::string_view a, std::string_view b, bool ignoreCase);
//! The same for UTF-16 text.
int CompareWideByLocale(std::u16string_view a, std::u16string_view b, bool ignoreCase);

//! Appends the collation key of text without its terminating zero: two keys compare with
//! memcmp (shorter first on a common prefix) exactly as CompareTextByLocale compares the texts.
//! A key never holds a zero byte.
void AppendCollationKey(std::string_view text, bool ignoreCase, std::string& out);
//! The same for UTF-16 text.
void AppendCollationKeyWide(std::u16string_view text, bool ignoreCase, std::string& out);

}  // namespace kubrix
