// Big5 (code page 950) bytes of the Zhuyin symbols and the five tone marks.
//
// The engine's own Zhuyin tables are written in the source as readable
// Zhuyin (U"ㄅㄧㄝ") and turned into Big5 by this mapping, at compile time.
// It covers only the Zhuyin block and the tone marks, so the tables need no
// iconv; the tests check it against the iconv conversion at the edges.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace kws {

// Every Zhuyin symbol and tone mark is one two-byte Big5 character.
inline constexpr std::size_t kBig5CharBytes = 2;

using Big5Char = std::array<char, kBig5CharBytes>;

// The Big5 character of a Zhuyin symbol ㄅ..ㄩ or of a tone mark ˍ ˙ ˊ ˇ ˋ;
// nullopt for every other code point.
constexpr std::optional<Big5Char> zhuyin_big5(char32_t code_point) {
  // Big5 row A3 holds the symbols in code-point order, but its trail bytes
  // skip 7F..A0, so the block splits after ㄏ.
  if (code_point >= U'ㄅ' && code_point <= U'ㄏ') {
    return Big5Char{'\xA3', static_cast<char>(0x74 + (code_point - U'ㄅ'))};
  }
  if (code_point >= U'ㄐ' && code_point <= U'ㄩ') {
    return Big5Char{'\xA3', static_cast<char>(0xA1 + (code_point - U'ㄐ'))};
  }
  switch (code_point) {
    case U'ˍ': return Big5Char{'\xA1', '\xC5'};  // first tone
    case U'˙': return Big5Char{'\xA3', '\xBB'};  // neutral tone
    case U'ˊ': return Big5Char{'\xA3', '\xBD'};  // second tone
    case U'ˇ': return Big5Char{'\xA3', '\xBE'};  // third tone
    case U'ˋ': return Big5Char{'\xA3', '\xBF'};  // fourth tone
    default: return std::nullopt;
  }
}

// The five tone marks; a tonal syllable ends in exactly one of them.
inline constexpr Big5Char kFirstToneMark = *zhuyin_big5(U'ˍ');
inline constexpr Big5Char kNeutralToneMark = *zhuyin_big5(U'˙');
inline constexpr Big5Char kSecondToneMark = *zhuyin_big5(U'ˊ');
inline constexpr Big5Char kThirdToneMark = *zhuyin_big5(U'ˇ');
inline constexpr Big5Char kFourthToneMark = *zhuyin_big5(U'ˋ');

// Zhuyin text as Big5 bytes in a zero-padded field of Bytes bytes, for tables
// built at compile time; nullopt when a character is not Zhuyin or the text
// does not fit.
template <std::size_t Bytes>
constexpr std::optional<std::array<char, Bytes>> zhuyin_big5_field(std::u32string_view text) {
  std::array<char, Bytes> field{};
  if (text.size() * kBig5CharBytes > Bytes) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto character = zhuyin_big5(text[i]);
    if (!character) return std::nullopt;
    field[i * kBig5CharBytes] = (*character)[0];
    field[i * kBig5CharBytes + 1] = (*character)[1];
  }
  return field;
}

// The text of a zero-padded field: its bytes up to the first NUL.
template <std::size_t Bytes>
constexpr std::string_view big5_field_text(const std::array<char, Bytes>& field) {
  const std::string_view whole(field.data(), Bytes);
  return whole.substr(0, whole.find('\0'));
}

}  // namespace kws
