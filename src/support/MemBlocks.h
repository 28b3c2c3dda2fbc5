#pragma once
// The byte order of stored values that dictionaries and key searches keep: fixed, whatever the
// type, so that a list sorted by it stays sorted and saved layouts list values the same way.

namespace kubrix {

//! Compares count bytes: count/4 little-endian int32 words, then the rest as signed bytes.
//! 0 equal, 1 when a is smaller, 2 when a is greater.
int CompareMemBlocks(const void* a, const void* b, int count);

}  // namespace kubrix
