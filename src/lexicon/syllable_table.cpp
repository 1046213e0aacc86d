#include "lexicon/syllable_table.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "lexicon/zhuyin.h"

namespace kws {
namespace {

// A base syllable (its Zhuyin symbols) and the tone marks it carries; each
// pair of base and mark is one row of the table.
struct BaseSyllable {
  std::u32string_view symbols;
  std::u32string_view tone_marks;
};

// The 414 base syllables, grouped by leading initial.
constexpr BaseSyllable kBaseSyllables[] = {
    // ㄅ
    {U"ㄅㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄅㄛ", U"ˍ˙ˊˇˋ"}, {U"ㄅㄞ", U"ˍˊˇˋ"}, {U"ㄅㄟ", U"ˍˇˋ"},
    {U"ㄅㄠ", U"ˍˊˇˋ"}, {U"ㄅㄢ", U"ˍˇˋ"}, {U"ㄅㄣ", U"ˍˇˋ"}, {U"ㄅㄤ", U"ˍˇˋ"},
    {U"ㄅㄥ", U"ˍˊˇˋ"}, {U"ㄅㄧ", U"ˍˊˇˋ"}, {U"ㄅㄧㄝ", U"ˍˊˇˋ"}, {U"ㄅㄧㄠ", U"ˍˇˋ"},
    {U"ㄅㄧㄢ", U"ˍˇˋ"}, {U"ㄅㄧㄣ", U"ˍˇˋ"}, {U"ㄅㄧㄥ", U"ˍˇˋ"}, {U"ㄅㄨ", U"ˍˊˇˋ"},
    // ㄆ
    {U"ㄆㄚ", U"ˍ˙ˊˋ"}, {U"ㄆㄛ", U"ˍˊˇˋ"}, {U"ㄆㄞ", U"ˍˊˇˋ"}, {U"ㄆㄟ", U"ˍˊˋ"},
    {U"ㄆㄠ", U"ˍˊˇˋ"}, {U"ㄆㄡ", U"ˍˊˇ"}, {U"ㄆㄢ", U"ˍˊˋ"}, {U"ㄆㄣ", U"ˍˊˋ"},
    {U"ㄆㄤ", U"ˍˊˇˋ"}, {U"ㄆㄥ", U"ˍˊˇˋ"}, {U"ㄆㄧ", U"ˍˊˇˋ"}, {U"ㄆㄧㄝ", U"ˍˇ"},
    {U"ㄆㄧㄠ", U"ˍˊˇˋ"}, {U"ㄆㄧㄢ", U"ˍˊˇˋ"}, {U"ㄆㄧㄣ", U"ˍˊˇˋ"}, {U"ㄆㄧㄥ", U"ˍˊˋ"},
    {U"ㄆㄨ", U"ˍˊˇˋ"},
    // ㄇ
    {U"ㄇㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄇㄛ", U"ˍ˙ˊˇˋ"}, {U"ㄇㄜ", U"˙"}, {U"ㄇㄞ", U"ˊˇˋ"},
    {U"ㄇㄟ", U"ˊˇˋ"}, {U"ㄇㄠ", U"ˍˊˇˋ"}, {U"ㄇㄡ", U"ˊˇˋ"}, {U"ㄇㄢ", U"ˍˊˇˋ"},
    {U"ㄇㄣ", U"ˍ˙ˊˋ"}, {U"ㄇㄤ", U"ˊˇ"}, {U"ㄇㄥ", U"ˍˊˇˋ"}, {U"ㄇㄧ", U"ˍˊˇˋ"},
    {U"ㄇㄧㄝ", U"ˍˋ"}, {U"ㄇㄧㄠ", U"ˍˊˇˋ"}, {U"ㄇㄧㄡ", U"ˋ"}, {U"ㄇㄧㄢ", U"ˊˇˋ"},
    {U"ㄇㄧㄣ", U"ˊˇ"}, {U"ㄇㄧㄥ", U"ˊˇˋ"}, {U"ㄇㄨ", U"ˊˇˋ"},
    // ㄈ
    {U"ㄈㄚ", U"ˍˊˇˋ"}, {U"ㄈㄛ", U"ˊˋ"}, {U"ㄈㄟ", U"ˍˊˇˋ"}, {U"ㄈㄡ", U"ˊˇ"},
    {U"ㄈㄢ", U"ˍˊˇˋ"}, {U"ㄈㄣ", U"ˍˊˇˋ"}, {U"ㄈㄤ", U"ˍˊˇˋ"}, {U"ㄈㄥ", U"ˍˊˇˋ"},
    {U"ㄈㄨ", U"ˍˊˇˋ"},
    // ㄉ
    {U"ㄉㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄉㄜ", U"˙ˊ"}, {U"ㄉㄞ", U"ˍˇˋ"}, {U"ㄉㄟ", U"ˇ"},
    {U"ㄉㄠ", U"ˍˊˇˋ"}, {U"ㄉㄡ", U"ˍˇˋ"}, {U"ㄉㄢ", U"ˍˇˋ"}, {U"ㄉㄣ", U"ˋ"},
    {U"ㄉㄤ", U"ˍˇˋ"}, {U"ㄉㄥ", U"ˍˇˋ"}, {U"ㄉㄧ", U"ˍ˙ˊˇˋ"}, {U"ㄉㄧㄝ", U"ˍˊ"},
    {U"ㄉㄧㄠ", U"ˍˇˋ"}, {U"ㄉㄧㄡ", U"ˍ"}, {U"ㄉㄧㄢ", U"ˍˇˋ"}, {U"ㄉㄧㄤ", U"ˍ"},
    {U"ㄉㄧㄥ", U"ˍˇˋ"}, {U"ㄉㄨ", U"ˍˊˇˋ"}, {U"ㄉㄨㄛ", U"ˍˊˇˋ"}, {U"ㄉㄨㄟ", U"ˍˋ"},
    {U"ㄉㄨㄢ", U"ˍˇˋ"}, {U"ㄉㄨㄣ", U"ˍˇˋ"}, {U"ㄉㄨㄥ", U"ˍˇˋ"},
    // ㄊ
    {U"ㄊㄚ", U"ˍˇˋ"}, {U"ㄊㄜ", U"ˍˋ"}, {U"ㄊㄞ", U"ˍˊˋ"}, {U"ㄊㄠ", U"ˍ˙ˊˇˋ"},
    {U"ㄊㄡ", U"ˍ˙ˊˋ"}, {U"ㄊㄢ", U"ˍˊˇˋ"}, {U"ㄊㄤ", U"ˍˊˇˋ"}, {U"ㄊㄥ", U"ˍˊ"},
    {U"ㄊㄧ", U"ˍˊˇˋ"}, {U"ㄊㄧㄝ", U"ˍˇˋ"}, {U"ㄊㄧㄠ", U"ˍˊˇˋ"}, {U"ㄊㄧㄢ", U"ˍˊˇˋ"},
    {U"ㄊㄧㄥ", U"ˍˊˇˋ"}, {U"ㄊㄨ", U"ˍˊˇˋ"}, {U"ㄊㄨㄛ", U"ˍˊˇˋ"}, {U"ㄊㄨㄟ", U"ˍˊˇˋ"},
    {U"ㄊㄨㄢ", U"ˍˊˇˋ"}, {U"ㄊㄨㄣ", U"ˍˊˇˋ"}, {U"ㄊㄨㄥ", U"ˍˊˇˋ"},
    // ㄋ
    {U"ㄋㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄋㄜ", U"˙ˋ"}, {U"ㄋㄞ", U"ˇˋ"}, {U"ㄋㄟ", U"ˇˋ"},
    {U"ㄋㄠ", U"ˍˊˇˋ"}, {U"ㄋㄡ", U"˙ˋ"}, {U"ㄋㄢ", U"ˍˊˇˋ"}, {U"ㄋㄣ", U"ˋ"},
    {U"ㄋㄤ", U"˙ˊˇˋ"}, {U"ㄋㄥ", U"ˊˋ"}, {U"ㄋㄧㄚ", U"ˊ"}, {U"ㄋㄧㄝ", U"ˍˊˋ"},
    {U"ㄋㄧㄠ", U"ˇˋ"}, {U"ㄋㄧㄡ", U"ˍˊˇˋ"}, {U"ㄋㄧㄢ", U"ˍˊˇˋ"}, {U"ㄋㄧㄣ", U"ˊ"},
    {U"ㄋㄧㄤ", U"ˊˋ"}, {U"ㄋㄧㄥ", U"ˊˇˋ"}, {U"ㄋㄧ", U"ˊˇˋ"}, {U"ㄋㄨㄛ", U"ˊˇˋ"},
    {U"ㄋㄨㄢ", U"ˇ"}, {U"ㄋㄨㄣ", U"ˋ"}, {U"ㄋㄨㄥ", U"ˊˋ"}, {U"ㄋㄨ", U"ˊˇˋ"},
    {U"ㄋㄩㄝ", U"ˋ"}, {U"ㄋㄩ", U"ˇˋ"},
    // ㄌ
    {U"ㄌㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄌㄛ", U"˙"}, {U"ㄌㄜ", U"ˍ˙ˋ"}, {U"ㄌㄞ", U"ˊˋ"},
    {U"ㄌㄟ", U"ˍˊˇˋ"}, {U"ㄌㄠ", U"ˍˊˇˋ"}, {U"ㄌㄡ", U"ˍ˙ˊˇˋ"}, {U"ㄌㄢ", U"ˊˇˋ"},
    {U"ㄌㄤ", U"ˍˊˇˋ"}, {U"ㄌㄥ", U"ˍˊˇˋ"}, {U"ㄌㄧ", U"ˍ˙ˊˇˋ"}, {U"ㄌㄧㄚ", U"ˇ"},
    {U"ㄌㄧㄝ", U"ˍˊˇˋ"}, {U"ㄌㄧㄠ", U"ˍˊˇˋ"}, {U"ㄌㄧㄡ", U"ˍˊˇˋ"}, {U"ㄌㄧㄢ", U"ˍˊˇˋ"},
    {U"ㄌㄧㄣ", U"ˊˇˋ"}, {U"ㄌㄧㄤ", U"ˊˇˋ"}, {U"ㄌㄧㄥ", U"ˍˊˇˋ"}, {U"ㄌㄨ", U"ˍˊˇˋ"},
    {U"ㄌㄨㄛ", U"ˍˊˇˋ"}, {U"ㄌㄨㄢ", U"ˊˇˋ"}, {U"ㄌㄨㄣ", U"ˍˊˋ"}, {U"ㄌㄨㄥ", U"ˊˇˋ"},
    {U"ㄌㄩㄝ", U"ˋ"}, {U"ㄌㄩㄢ", U"ˊˇ"}, {U"ㄌㄩㄣ", U"ˊ"}, {U"ㄌㄩ", U"ˊˇˋ"},
    // ㄍ
    {U"ㄍㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄍㄜ", U"ˍ˙ˊˇˋ"}, {U"ㄍㄞ", U"ˍˇˋ"}, {U"ㄍㄟ", U"ˇ"},
    {U"ㄍㄠ", U"ˍˇˋ"}, {U"ㄍㄡ", U"ˍˇˋ"}, {U"ㄍㄢ", U"ˍˇˋ"}, {U"ㄍㄣ", U"ˍˊˇˋ"},
    {U"ㄍㄤ", U"ˍˇˋ"}, {U"ㄍㄥ", U"ˍˇˋ"}, {U"ㄍㄨ", U"ˍˊˇˋ"}, {U"ㄍㄨㄚ", U"ˍˇˋ"},
    {U"ㄍㄨㄛ", U"ˍ˙ˊˇˋ"}, {U"ㄍㄨㄞ", U"ˍˇˋ"}, {U"ㄍㄨㄟ", U"ˍˇˋ"}, {U"ㄍㄨㄢ", U"ˍˇˋ"},
    {U"ㄍㄨㄣ", U"ˇˋ"}, {U"ㄍㄨㄤ", U"ˍˇˋ"}, {U"ㄍㄨㄥ", U"ˍˇˋ"},
    // ㄎ
    {U"ㄎㄚ", U"ˍˇˋ"}, {U"ㄎㄜ", U"ˍˊˇˋ"}, {U"ㄎㄞ", U"ˍˇˋ"}, {U"ㄎㄠ", U"ˍˇˋ"},
    {U"ㄎㄡ", U"ˍˇˋ"}, {U"ㄎㄢ", U"ˍˇˋ"}, {U"ㄎㄣ", U"ˇˋ"}, {U"ㄎㄤ", U"ˍˊˇˋ"},
    {U"ㄎㄥ", U"ˍˇ"}, {U"ㄎㄨ", U"ˍˇˋ"}, {U"ㄎㄨㄚ", U"ˍˇˋ"}, {U"ㄎㄨㄛ", U"ˋ"},
    {U"ㄎㄨㄞ", U"ˍˇˋ"}, {U"ㄎㄨㄟ", U"ˍˊˇˋ"}, {U"ㄎㄨㄢ", U"ˍˇ"}, {U"ㄎㄨㄣ", U"ˍˇˋ"},
    {U"ㄎㄨㄤ", U"ˍˊˇˋ"}, {U"ㄎㄨㄥ", U"ˍˇˋ"},
    // ㄏ
    {U"ㄏㄚ", U"ˍˊˇ"}, {U"ㄏㄜ", U"ˍˊˋ"}, {U"ㄏㄞ", U"ˍˊˇˋ"}, {U"ㄏㄟ", U"ˍˇˋ"},
    {U"ㄏㄠ", U"ˍˊˇˋ"}, {U"ㄏㄡ", U"ˍˊˇˋ"}, {U"ㄏㄢ", U"ˍˊˇˋ"}, {U"ㄏㄣ", U"ˍˊˇˋ"},
    {U"ㄏㄤ", U"ˍˊˋ"}, {U"ㄏㄥ", U"ˍˊˋ"}, {U"ㄏㄨ", U"ˍˊˇˋ"}, {U"ㄏㄨㄚ", U"ˍˊˋ"},
    {U"ㄏㄨㄛ", U"ˍ˙ˊˇˋ"}, {U"ㄏㄨㄞ", U"ˊˋ"}, {U"ㄏㄨㄟ", U"ˍˊˇˋ"}, {U"ㄏㄨㄢ", U"ˍˊˇˋ"},
    {U"ㄏㄨㄣ", U"ˍˊˇˋ"}, {U"ㄏㄨㄤ", U"ˍ˙ˊˇˋ"}, {U"ㄏㄨㄥ", U"ˍˊˇˋ"},
    // ㄐ
    {U"ㄐㄧ", U"ˍˊˇˋ"}, {U"ㄐㄧㄚ", U"ˍˊˇˋ"}, {U"ㄐㄧㄝ", U"ˍˊˇˋ"}, {U"ㄐㄧㄠ", U"ˍˊˇˋ"},
    {U"ㄐㄧㄡ", U"ˍˇˋ"}, {U"ㄐㄧㄢ", U"ˍˇˋ"}, {U"ㄐㄧㄣ", U"ˍˇˋ"}, {U"ㄐㄧㄤ", U"ˍˇˋ"},
    {U"ㄐㄧㄥ", U"ˍˇˋ"}, {U"ㄐㄩ", U"ˍˊˇˋ"}, {U"ㄐㄩㄝ", U"ˍˊˇˋ"}, {U"ㄐㄩㄢ", U"ˍˇˋ"},
    {U"ㄐㄩㄣ", U"ˍˇˋ"}, {U"ㄐㄩㄥ", U"ˍˇ"},
    // ㄑ
    {U"ㄑㄧ", U"ˍˊˇˋ"}, {U"ㄑㄧㄚ", U"ˍˊˇˋ"}, {U"ㄑㄧㄝ", U"ˍˊˇˋ"}, {U"ㄑㄧㄠ", U"ˍˊˇˋ"},
    {U"ㄑㄧㄡ", U"ˍˊˇ"}, {U"ㄑㄧㄢ", U"ˍˊˇˋ"}, {U"ㄑㄧㄣ", U"ˍˊˇˋ"}, {U"ㄑㄧㄤ", U"ˍˊˇˋ"},
    {U"ㄑㄧㄥ", U"ˍˊˇˋ"}, {U"ㄑㄩ", U"ˍˊˇˋ"}, {U"ㄑㄩㄝ", U"ˍˊˋ"}, {U"ㄑㄩㄢ", U"ˍˊˇˋ"},
    {U"ㄑㄩㄣ", U"ˍˊ"}, {U"ㄑㄩㄥ", U"ˍˊˇ"},
    // ㄒ
    {U"ㄒㄧ", U"ˍˊˇˋ"}, {U"ㄒㄧㄚ", U"ˍˊˋ"}, {U"ㄒㄧㄝ", U"ˍˊˇˋ"}, {U"ㄒㄧㄠ", U"ˍˊˇˋ"},
    {U"ㄒㄧㄡ", U"ˍˇˋ"}, {U"ㄒㄧㄢ", U"ˍˊˇˋ"}, {U"ㄒㄧㄣ", U"ˍˊˋ"}, {U"ㄒㄧㄤ", U"ˍˊˇˋ"},
    {U"ㄒㄧㄥ", U"ˍˊˇˋ"}, {U"ㄒㄩ", U"ˍˊˇˋ"}, {U"ㄒㄩㄝ", U"ˍˊˇˋ"}, {U"ㄒㄩㄢ", U"ˍˊˇˋ"},
    {U"ㄒㄩㄣ", U"ˍˊˋ"}, {U"ㄒㄩㄥ", U"ˍˊˋ"},
    // ㄓ
    {U"ㄓ", U"ˍˊˇˋ"}, {U"ㄓㄚ", U"ˍˊˇˋ"}, {U"ㄓㄜ", U"ˍ˙ˊˇˋ"}, {U"ㄓㄞ", U"ˍˊˇˋ"},
    {U"ㄓㄟ", U"ˋ"}, {U"ㄓㄠ", U"ˍˊˇˋ"}, {U"ㄓㄡ", U"ˍˊˇˋ"}, {U"ㄓㄢ", U"ˍˇˋ"},
    {U"ㄓㄣ", U"ˍˇˋ"}, {U"ㄓㄤ", U"ˍˇˋ"}, {U"ㄓㄥ", U"ˍˇˋ"}, {U"ㄓㄨ", U"ˍˊˇˋ"},
    {U"ㄓㄨㄚ", U"ˍˇ"}, {U"ㄓㄨㄛ", U"ˍˊ"}, {U"ㄓㄨㄞ", U"ˍˇˋ"}, {U"ㄓㄨㄟ", U"ˍˋ"},
    {U"ㄓㄨㄢ", U"ˍˇˋ"}, {U"ㄓㄨㄣ", U"ˍˇ"}, {U"ㄓㄨㄤ", U"ˍˇˋ"}, {U"ㄓㄨㄥ", U"ˍˇˋ"},
    // ㄔ
    {U"ㄔ", U"ˍˊˇˋ"}, {U"ㄔㄚ", U"ˍˊˇˋ"}, {U"ㄔㄜ", U"ˍˇˋ"}, {U"ㄔㄞ", U"ˍˊˇˋ"},
    {U"ㄔㄠ", U"ˍˊˇˋ"}, {U"ㄔㄡ", U"ˍˊˇˋ"}, {U"ㄔㄢ", U"ˍˊˇˋ"}, {U"ㄔㄣ", U"ˍˊˇˋ"},
    {U"ㄔㄤ", U"ˍˊˇˋ"}, {U"ㄔㄥ", U"ˍˊˇˋ"}, {U"ㄔㄨ", U"ˍˊˇˋ"}, {U"ㄔㄨㄚ", U"ˍˇˋ"},
    {U"ㄔㄨㄛ", U"ˍˋ"}, {U"ㄔㄨㄞ", U"ˍˇˋ"}, {U"ㄔㄨㄟ", U"ˍˊˋ"}, {U"ㄔㄨㄢ", U"ˍˊˇˋ"},
    {U"ㄔㄨㄣ", U"ˍˊˇ"}, {U"ㄔㄨㄤ", U"ˍˊˇˋ"}, {U"ㄔㄨㄥ", U"ˍˊˇˋ"},
    // ㄕ
    {U"ㄕ", U"ˍ˙ˊˇˋ"}, {U"ㄕㄚ", U"ˍˊˇˋ"}, {U"ㄕㄜ", U"ˍˊˇˋ"}, {U"ㄕㄞ", U"ˍˇˋ"},
    {U"ㄕㄟ", U"ˊ"}, {U"ㄕㄠ", U"ˍˊˇˋ"}, {U"ㄕㄡ", U"ˍˊˇˋ"}, {U"ㄕㄢ", U"ˍˇˋ"},
    {U"ㄕㄣ", U"ˍˊˇˋ"}, {U"ㄕㄤ", U"ˍ˙ˇˋ"}, {U"ㄕㄥ", U"ˍˊˇˋ"}, {U"ㄕㄨ", U"ˍˊˇˋ"},
    {U"ㄕㄨㄚ", U"ˍˇˋ"}, {U"ㄕㄨㄛ", U"ˍˋ"}, {U"ㄕㄨㄞ", U"ˍˇˋ"}, {U"ㄕㄨㄟ", U"ˊˇˋ"},
    {U"ㄕㄨㄢ", U"ˍˋ"}, {U"ㄕㄨㄣ", U"ˇˋ"}, {U"ㄕㄨㄤ", U"ˍˇˋ"},
    // ㄖ
    {U"ㄖㄜ", U"ˇˋ"}, {U"ㄖㄠ", U"ˊˇˋ"}, {U"ㄖㄡ", U"ˊˇˋ"}, {U"ㄖㄢ", U"ˊˇ"},
    {U"ㄖㄣ", U"ˊˇˋ"}, {U"ㄖㄤ", U"ˍˊˇˋ"}, {U"ㄖㄥ", U"ˍˊˇ"}, {U"ㄖㄨㄛ", U"ˊˋ"},
    {U"ㄖㄨㄟ", U"ˊˇˋ"}, {U"ㄖㄨㄢ", U"ˊˇ"}, {U"ㄖㄨㄣ", U"ˋ"}, {U"ㄖㄨㄥ", U"ˊˇ"},
    {U"ㄖㄨ", U"ˊˇˋ"}, {U"ㄖ", U"ˋ"},
    // ㄗ
    {U"ㄗ", U"ˍ˙ˇˋ"}, {U"ㄗㄚ", U"ˍˊ"}, {U"ㄗㄜ", U"ˊˇˋ"}, {U"ㄗㄞ", U"ˍˇˋ"},
    {U"ㄗㄟ", U"ˊ"}, {U"ㄗㄠ", U"ˍˊˇˋ"}, {U"ㄗㄡ", U"ˍˇˋ"}, {U"ㄗㄢ", U"ˍˊˇˋ"},
    {U"ㄗㄣ", U"ˍˇˋ"}, {U"ㄗㄤ", U"ˍˋ"}, {U"ㄗㄥ", U"ˍˋ"}, {U"ㄗㄨ", U"ˍˊˇ"},
    {U"ㄗㄨㄛ", U"ˍˊˇˋ"}, {U"ㄗㄨㄟ", U"ˍˇˋ"}, {U"ㄗㄨㄢ", U"ˍˇˋ"}, {U"ㄗㄨㄣ", U"ˍˇˋ"},
    {U"ㄗㄨㄥ", U"ˍˇˋ"},
    // ㄘ
    {U"ㄘ", U"ˍˊˇˋ"}, {U"ㄘㄚ", U"ˍˇ"}, {U"ㄘㄜ", U"ˋ"}, {U"ㄘㄞ", U"ˍˊˇˋ"},
    {U"ㄘㄠ", U"ˍˊˇˋ"}, {U"ㄘㄡ", U"ˋ"}, {U"ㄘㄢ", U"ˍˊˇˋ"}, {U"ㄘㄣ", U"ˍˊ"},
    {U"ㄘㄤ", U"ˍˊˇ"}, {U"ㄘㄥ", U"ˍˊˇˋ"}, {U"ㄘㄨ", U"ˍˊˋ"}, {U"ㄘㄨㄛ", U"ˍˊˇˋ"},
    {U"ㄘㄨㄟ", U"ˍˇˋ"}, {U"ㄘㄨㄢ", U"ˍˊˋ"}, {U"ㄘㄨㄣ", U"ˍˊˇˋ"}, {U"ㄘㄨㄥ", U"ˍˊ"},
    // ㄙ
    {U"ㄙ", U"ˍˇˋ"}, {U"ㄙㄚ", U"ˍ˙ˇˋ"}, {U"ㄙㄜ", U"ˋ"}, {U"ㄙㄞ", U"ˍˋ"},
    {U"ㄙㄟ", U"ˍ"}, {U"ㄙㄠ", U"ˍˇˋ"}, {U"ㄙㄡ", U"ˍˇˋ"}, {U"ㄙㄢ", U"ˍˇˋ"},
    {U"ㄙㄣ", U"ˍ"}, {U"ㄙㄤ", U"ˍˇˋ"}, {U"ㄙㄥ", U"ˍ"}, {U"ㄙㄨ", U"ˍˊˋ"},
    {U"ㄙㄨㄛ", U"ˍˊˇˋ"}, {U"ㄙㄨㄟ", U"ˍˊˇˋ"}, {U"ㄙㄨㄢ", U"ˍˋ"}, {U"ㄙㄨㄣ", U"ˍˇˋ"},
    {U"ㄙㄨㄥ", U"ˍˊˇˋ"},
    // no initial
    {U"ㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄛ", U"ˍˊˇ"}, {U"ㄜ", U"ˍˊˇˋ"}, {U"ㄝ", U"ˋ"},
    {U"ㄞ", U"ˍˊˇˋ"}, {U"ㄟ", U"ˋ"}, {U"ㄠ", U"ˍˊˇˋ"}, {U"ㄡ", U"ˍˊˇˋ"},
    {U"ㄢ", U"ˍˇˋ"}, {U"ㄣ", U"ˍˋ"}, {U"ㄤ", U"ˍˊˋ"}, {U"ㄦ", U"ˍˊˇˋ"},
    {U"ㄧ", U"ˍˊˇˋ"}, {U"ㄧㄚ", U"ˍ˙ˊˇˋ"}, {U"ㄧㄛ", U"ˍ"}, {U"ㄧㄝ", U"ˍˊˇˋ"},
    {U"ㄧㄞ", U"ˊ"}, {U"ㄧㄠ", U"ˍˊˇˋ"}, {U"ㄧㄡ", U"ˍˊˇˋ"}, {U"ㄧㄢ", U"ˍˊˇˋ"},
    {U"ㄧㄣ", U"ˍˊˇˋ"}, {U"ㄧㄤ", U"ˍˊˇˋ"}, {U"ㄧㄥ", U"ˍˊˇˋ"}, {U"ㄨ", U"ˍˊˇˋ"},
    {U"ㄨㄚ", U"ˍˊˇˋ"}, {U"ㄨㄛ", U"ˍˇˋ"}, {U"ㄨㄞ", U"ˍˇˋ"}, {U"ㄨㄟ", U"ˍˊˇˋ"},
    {U"ㄨㄢ", U"ˍˊˇˋ"}, {U"ㄨㄣ", U"ˍˊˇˋ"}, {U"ㄨㄤ", U"ˍˊˇˋ"}, {U"ㄨㄥ", U"ˍˇˋ"},
    {U"ㄩ", U"ˍˊˇˋ"}, {U"ㄩㄝ", U"ˍˋ"}, {U"ㄩㄢ", U"ˍˊˇˋ"}, {U"ㄩㄣ", U"ˍˊˇˋ"},
    {U"ㄩㄥ", U"ˍˊˇˋ"},
};
static_assert(std::size(kBaseSyllables) == 414);

constexpr std::u32string_view kToneMarks = U"ˍ˙ˊˇˋ";

constexpr bool is_tone_mark(char32_t code_point) {
  return kToneMarks.find(code_point) != std::u32string_view::npos;
}

// One to three Zhuyin symbols and at least one tone mark, so every row is a
// tonal syllable that leaves its field a NUL to spare.
constexpr bool well_formed(const BaseSyllable& base) {
  const auto& symbols = base.symbols;
  const auto& marks = base.tone_marks;
  return symbols.size() >= 1 && symbols.size() <= 3 &&
         std::none_of(symbols.begin(), symbols.end(), is_tone_mark) &&
         zhuyin_big5_field<kSyllableFieldBytes>(symbols).has_value() && !marks.empty() &&
         std::all_of(marks.begin(), marks.end(), is_tone_mark);
}
static_assert(std::all_of(std::begin(kBaseSyllables), std::end(kBaseSyllables), well_formed));

constexpr int count_rows() {
  int rows = 0;
  for (const BaseSyllable& base : kBaseSyllables) rows += static_cast<int>(base.tone_marks.size());
  return rows;
}
static_assert(count_rows() == kSyllableCount);

// Rows compare as unsigned bytes: Big5 bytes are above 0x7F, and plain char is
// signed here, so a char comparison would put A3 74 (ㄅ) after A3 A1 (ㄐ).
constexpr bool bytes_less(std::string_view left, std::string_view right) {
  return std::lexicographical_compare(
      left.begin(), left.end(), right.begin(), right.end(),
      [](char a, char b) { return static_cast<unsigned char>(a) < static_cast<unsigned char>(b); });
}

constexpr bool fields_less(const SyllableField& left, const SyllableField& right) {
  return bytes_less({left.data(), left.size()}, {right.data(), right.size()});
}

constexpr SyllableTable build_table() {
  SyllableTable table{};
  std::size_t row = 0;
  for (const BaseSyllable& base : kBaseSyllables) {
    const SyllableField symbols = *zhuyin_big5_field<kSyllableFieldBytes>(base.symbols);
    const std::size_t mark_at = base.symbols.size() * kBig5CharBytes;
    for (const char32_t mark : base.tone_marks) {
      SyllableField& field = table[row++];
      field = symbols;
      const Big5Char mark_bytes = *zhuyin_big5(mark);
      field[mark_at] = mark_bytes[0];
      field[mark_at + 1] = mark_bytes[1];
    }
  }
  std::sort(table.begin(), table.end(), fields_less);
  return table;
}

constexpr SyllableTable kTable = build_table();

// Strict order also proves that no base syllable carries a mark twice.
static_assert(std::adjacent_find(kTable.begin(), kTable.end(),
                                 [](const SyllableField& left, const SyllableField& right) {
                                   return !fields_less(left, right);
                                 }) == kTable.end());

}  // namespace

const SyllableTable& syllable_table() { return kTable; }

std::string_view syllable_text(int row) {
  if (row < 0 || row >= kSyllableCount) return {};
  return big5_field_text(kTable[static_cast<std::size_t>(row)]);
}

int syllable_number_of(std::string_view big5_syllable) {
  const auto found = std::lower_bound(
      kTable.begin(), kTable.end(), big5_syllable,
      [](const SyllableField& field, std::string_view text) {
        return bytes_less(big5_field_text(field), text);
      });
  if (found == kTable.end() || big5_field_text(*found) != big5_syllable) return -1;
  return static_cast<int>(found - kTable.begin());
}

}  // namespace kws
