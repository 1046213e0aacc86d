#include "corpus/espeak_pinyin.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>

#include "lexicon/syllable_table.h"
#include "support/big5_text.h"

namespace kws::corpus {
namespace {

using testing::big5;

TEST(EspeakPinyin, SpellsSyllablesAsTheVoiceNeedsThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"ㄊㄞˊ", "tai2"},   {"ㄅㄟˇ", "bei3"},    {"ㄓˋ", "zhi4"},      {"ㄙˇ", "si3"},      {"ㄦˊ", "er2"},
      {"ㄅㄛˍ", "bo1"},    {"ㄇㄜ˙", "me5"},     {"ㄐㄩㄝˊ", "jue2"},  {"ㄒㄩㄣˊ", "xun2"}, {"ㄋㄩˇ", "nü3"},
      {"ㄌㄩㄣˊ", "lün2"}, {"ㄧㄡˇ", "you3"},    {"ㄉㄧㄡˍ", "diu1"},  {"ㄍㄨㄟˋ", "gui4"}, {"ㄉㄨㄣˋ", "dun4"},
      {"ㄨㄥˍ", "weng1"},  {"ㄉㄨㄥˍ", "dong1"}, {"ㄩㄥˇ", "yong3"},  {"ㄧˍ", "yi1"},     {"ㄟˋ", "ei4"},
      // Spellings the voice needs: these would lose a glide or split in two.
      {"ㄌㄩㄢˊ", "lyuan2"}, {"ㄑㄩㄥˊ", "qyong2"}, {"ㄐㄩㄥˇ", "jyong3"}, {"ㄒㄩㄥˊ", "xyong2"},
      {"ㄧㄞˊ", "yái"},      {"ㄝˋ", "ê4"},
  };
  for (const auto& [syllable, pinyin] : cases) EXPECT_EQ(espeak_pinyin(big5(syllable)), pinyin) << syllable;
  for (const char* not_a_syllable : {"", "ㄅ", "ㄅㄚ", "ㄨㄅˋ", "ㄅㄅㄚˍ", "台北"}) {
    EXPECT_FALSE(espeak_pinyin(big5(not_a_syllable)).has_value()) << not_a_syllable;
  }
}

// Every row of the syllable table has its own spelling, so labels and audio
// cannot be confused.
std::vector<std::string> table_spellings() {
  std::vector<std::string> spellings;
  for (int row = 0; row < kSyllableCount; ++row) {
    const std::optional<std::string> pinyin = espeak_pinyin(syllable_text(row));
    EXPECT_TRUE(pinyin.has_value()) << "row " << row;
    spellings.push_back(pinyin.value_or(""));
  }
  return spellings;
}

TEST(EspeakPinyin, EveryTableSyllableHasItsOwnSpelling) {
  const std::vector<std::string> spellings = table_spellings();
  EXPECT_EQ(std::set<std::string>(spellings.begin(), spellings.end()).size(), spellings.size());
}

// With espeak-ng installed: every spelling is said as exactly one syllable
// (one tone number in the phoneme string).
TEST(EspeakPinyin, TheVoiceSaysEachSpellingAsOneSyllable) {
  if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0) GTEST_SKIP() << "espeak-ng is not installed";
  const std::vector<std::string> spellings = table_spellings();
  // Commas make every spelling a phrase of its own, so the voice neither
  // joins nor splits words across them: one phoneme word per spelling.
  std::string text;
  for (const std::string& spelling : spellings) text += spelling + ", ";
  const std::string command = "espeak-ng -v cmn-latn-pinyin -q -x '" + text + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_NE(pipe, nullptr);
  std::string phonemes;
  char buffer[4096];
  while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe.get())) phonemes.append(buffer, read);

  std::istringstream words(phonemes);
  std::size_t index = 0;
  for (std::string word; words >> word; ++index) {
    int digit_runs = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (std::isdigit(static_cast<unsigned char>(word[i])) && (i == 0 || !std::isdigit(static_cast<unsigned char>(word[i - 1])))) {
        ++digit_runs;
      }
    }
    ASSERT_LT(index, spellings.size());
    EXPECT_EQ(digit_runs, 1) << spellings[index] << " is said as " << word;
  }
  EXPECT_EQ(index, spellings.size());
}

}  // namespace
}  // namespace kws::corpus
