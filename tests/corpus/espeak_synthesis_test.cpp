#include "corpus/espeak_synthesis.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <sstream>

namespace kws::corpus {
namespace {

bool espeak_installed() { return std::system("command -v espeak-ng >/dev/null 2>&1") == 0; }

TextToken word(std::vector<std::string> syllables) { return TextToken{.pause = false, .syllables = std::move(syllables)}; }

// The neighbours that trip the voice when syllables are written together:
// "ba1o1" is read as bao, "ba1qyong2" and "an1lyuan2" by the English rules.
// Hyphenated, each word keeps one tone per syllable and stays Mandarin.
TEST(EspeakSynthesis, TheVoiceSaysEverySyllableOfAJoinedWord) {
  const std::vector<TextToken> text = {
      word({"ㄅㄚˍ", "ㄛˍ"}), word({"ㄅㄚˍ", "ㄑㄩㄥˊ"}), word({"ㄢˍ", "ㄌㄩㄢˊ"}),
      word({"ㄧㄞˊ", "ㄢˍ", "ㄝˋ"}), word({"ㄊㄞˊ", "ㄅㄟˇ", "ㄔㄜˍ", "ㄓㄢˋ"}),
  };
  const std::vector<int> syllable_counts = {2, 2, 2, 3, 4};
  const std::string input = espeak_input(text);
  EXPECT_EQ(input, "ba1-o1 ba1-qyong2 an1-lyuan2 yái-an1-ê4 tai2-bei3-che1-zhan4");
  if (!espeak_installed()) GTEST_SKIP() << "espeak-ng is not installed";

  // Commas keep the words apart in the phoneme output.
  std::string separated;
  for (const TextToken& token : text) separated += espeak_input({token}) + ", ";
  const std::string command = "espeak-ng -v cmn-latn-pinyin -q -x '" + separated + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_NE(pipe, nullptr);
  std::string phonemes;
  char buffer[1024];
  while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe.get())) phonemes.append(buffer, read);

  std::istringstream words(phonemes);
  std::size_t index = 0;
  for (std::string said; words >> said; ++index) {
    ASSERT_LT(index, syllable_counts.size()) << phonemes;
    int tones = 0;
    for (std::size_t i = 0; i < said.size(); ++i) {
      if (std::isdigit(static_cast<unsigned char>(said[i])) && (i == 0 || !std::isdigit(static_cast<unsigned char>(said[i - 1])))) {
        ++tones;
      }
    }
    EXPECT_EQ(tones, syllable_counts[index]) << said;
    EXPECT_EQ(said.find("(en)"), std::string::npos) << said;
  }
  EXPECT_EQ(index, syllable_counts.size());
}

}  // namespace
}  // namespace kws::corpus
