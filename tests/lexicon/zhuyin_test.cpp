#include "lexicon/zhuyin.h"

#include <gtest/gtest.h>

#include <string>

#include "support/big5_text.h"

namespace kws {
namespace {

std::string utf8_of(char32_t code_point) {  // code points below U+10000 suffice here
  std::string utf8;
  if (code_point < 0x800) {
    utf8 += static_cast<char>(0xC0 | (code_point >> 6));
  } else {
    utf8 += static_cast<char>(0xE0 | (code_point >> 12));
    utf8 += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
  }
  utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
  return utf8;
}

TEST(ZhuyinBig5, AgreesWithIconvForEverySymbolAndToneMark) {
  std::u32string characters = U"ˍ˙ˊˇˋ";
  for (char32_t symbol = U'ㄅ'; symbol <= U'ㄩ'; ++symbol) characters += symbol;
  ASSERT_EQ(characters.size(), 5u + 37u);
  for (const char32_t character : characters) {
    const std::string utf8 = utf8_of(character);
    const auto mapped = zhuyin_big5(character);
    ASSERT_TRUE(mapped) << utf8;
    EXPECT_EQ(std::string(mapped->data(), mapped->size()), testing::big5(utf8)) << utf8;
  }
}

TEST(ZhuyinBig5, RefusesNeighboursOfTheMappedRanges) {
  // U+02C9 ˉ is the macron often typed for the first tone; Big5 writes it elsewhere.
  for (const char32_t other : {U'\u3104', U'\u312A', U'ˉ', U'ˆ', U'a', U'\0'}) {
    EXPECT_FALSE(zhuyin_big5(other)) << static_cast<unsigned>(other);
  }
}

}  // namespace
}  // namespace kws
