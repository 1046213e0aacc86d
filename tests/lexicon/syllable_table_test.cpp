#include "lexicon/syllable_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "support/big5_text.h"

namespace kws {
namespace {

using testing::big5;

TEST(SyllableTable, KnownRows) {
  // ˍ sorts before every symbol and ˙ˊˇˋ after all of them, so the rows of
  // one base syllable are not adjacent: ㄅㄧㄝˍ falls between ㄅㄧˍ and ㄅㄧˊ.
  const struct {
    int row;
    const char* syllable;
  } rows[] = {{0, "ㄅㄚˍ"}, {1, "ㄅㄚ˙"}, {2, "ㄅㄚˊ"}, {34, "ㄅㄧˍ"}, {35, "ㄅㄧㄝˍ"}, {1332, "ㄩˋ"}};
  for (const auto& [row, syllable] : rows) {
    EXPECT_EQ(syllable_text(row), big5(syllable)) << row;
    EXPECT_EQ(syllable_number_of(big5(syllable)), row) << syllable;
  }
  EXPECT_GT(syllable_number_of(big5("ㄅㄧˊ")), syllable_number_of(big5("ㄅㄧㄥˋ")));
}

TEST(SyllableTable, RowsAreWellFormedAndStrictlyAscending) {
  const std::string marks[] = {big5("ˍ"), big5("˙"), big5("ˊ"), big5("ˇ"), big5("ˋ")};
  int rows_by_symbols[4] = {};
  std::set<std::string> bases;
  const SyllableTable& table = syllable_table();
  for (int row = 0; row < kSyllableCount; ++row) {
    SCOPED_TRACE(row);
    const SyllableField& field = table[static_cast<std::size_t>(row)];
    const std::string text(field.data(), strnlen(field.data(), field.size()));
    ASSERT_EQ(text.size() % 2, 0u);
    ASSERT_TRUE(text.size() >= 4 && text.size() <= 8);
    for (std::size_t i = text.size(); i < field.size(); ++i) EXPECT_EQ(field[i], '\0');
    // memcmp compares unsigned bytes, independently of the table's comparator.
    if (row > 0) {
      EXPECT_LT(std::memcmp(table[row - 1].data(), field.data(), field.size()), 0);
    }
    const std::string mark = text.substr(text.size() - 2);
    EXPECT_NE(std::find(std::begin(marks), std::end(marks), mark), std::end(marks));
    ++rows_by_symbols[text.size() / 2 - 1];
    bases.insert(text.substr(0, text.size() - 2));
  }
  EXPECT_EQ(rows_by_symbols[1], 75);
  EXPECT_EQ(rows_by_symbols[2], 748);
  EXPECT_EQ(rows_by_symbols[3], 510);
  EXPECT_EQ(bases.size(), 414u);
}

TEST(SyllableTable, NumberOfRoundTripsEveryRow) {
  for (int row = 0; row < kSyllableCount; ++row) {
    EXPECT_EQ(syllable_number_of(syllable_text(row)), row);
  }
}

TEST(SyllableTable, NumberOfRefusesTextThatIsNoRow) {
  const std::string first = big5("ㄅㄚˍ");
  const std::string not_rows[] = {
      "",
      big5("ㄅㄚ"),           // no tone mark
      big5("ㄇㄜˍ"),          // a base syllable with a tone it does not carry
      big5("ㄅˍ"),            // sorts before row 0
      big5("ㄩˋㄚ"),          // sorts after the last row
      first.substr(0, 5),     // a character cut in half
      first + '\0',           // the field's NUL is not part of the text
      "\xFF\xFF",
  };
  for (const std::string& text : not_rows) EXPECT_EQ(syllable_number_of(text), -1) << text.size();
  EXPECT_EQ(syllable_text(-1), "");
  EXPECT_EQ(syllable_text(kSyllableCount), "");
}

}  // namespace
}  // namespace kws
