// The SyllableTable: the 1333 tonal Zhuyin syllables the recognizer knows.
//
// Each row is one tonal syllable, Zhuyin symbols followed by one tone mark, as
// Big5 bytes in a NUL-terminated, zero-padded 10-byte field. Rows are in
// strictly ascending unsigned byte order, so the table is fixed by its set of
// syllables, and the row index is the syllable number that the character
// reading table stores.
#pragma once

#include <array>
#include <string_view>

namespace kws {

inline constexpr int kSyllableCount = 1333;
inline constexpr int kSyllableFieldBytes = 10;

using SyllableField = std::array<char, kSyllableFieldBytes>;
using SyllableTable = std::array<SyllableField, kSyllableCount>;

const SyllableTable& syllable_table();

// The Big5 text of row 0..1332 without its NUL; empty for any other row.
std::string_view syllable_text(int row);

// The row whose text equals big5_syllable byte for byte, or -1.
int syllable_number_of(std::string_view big5_syllable);

}  // namespace kws
