#include "corpus/recipe.h"

#include <gtest/gtest.h>

#include "corpus/corpus_synthesis.h"
#include "corpus/espeak_synthesis.h"

namespace kws::corpus {
namespace {

constexpr char kGoodLine[] = "train/u00017\tf2\t170\t45\t5\tpink\t12.5\tㄊㄞˊㄅㄟˇ , ㄓㄢˋ";

TEST(Recipe, ReadsTheFieldsOfEachUtterance) {
  const std::string text = std::string("# a recipe\n\n") + kGoodLine +
                           "\n \t \neval/x-1\t-\t80\t0\t0\tnone\t0\tㄇㄜ˙\r\nb\tm1\t450\t99\t50\tbabble\t-5\tㄧˍ\n";
  std::string error;
  const auto utterances = parse_recipe(text, "r.txt", error);
  ASSERT_TRUE(utterances.has_value()) << error;
  ASSERT_EQ(utterances->size(), 3u);

  const RecipeUtterance& first = (*utterances)[0];
  EXPECT_EQ(first.line, 3);
  EXPECT_EQ(first.name, "train/u00017");
  EXPECT_EQ(first.voice, "f2");
  EXPECT_EQ(first.speed, 170);
  EXPECT_EQ(first.pitch, 45);
  EXPECT_EQ(first.gap, 5);
  EXPECT_EQ(first.noise, NoiseKind::pink);
  EXPECT_DOUBLE_EQ(first.snr_db, 12.5);
  ASSERT_EQ(first.text.size(), 3u);
  EXPECT_EQ(first.text[0].syllables, (std::vector<std::string>{"ㄊㄞˊ", "ㄅㄟˇ"}));
  EXPECT_TRUE(first.text[1].pause);
  EXPECT_EQ(first.text[2].syllables, (std::vector<std::string>{"ㄓㄢˋ"}));
  EXPECT_EQ(corpus_list_line(first), "train/u00017.wav\tㄊㄞˊ ㄅㄟˇ ㄓㄢˋ");
  EXPECT_EQ(espeak_input(first.text), "tai2-bei3 , zhan4");

  const RecipeUtterance& second = (*utterances)[1];  // CR LF line end, plain voice
  EXPECT_EQ(second.line, 5);
  EXPECT_EQ(second.voice, "");
  EXPECT_EQ(second.noise, NoiseKind::none);
  EXPECT_EQ(corpus_list_line(second), "eval/x-1.wav\tㄇㄜ˙");
  EXPECT_EQ((*utterances)[2].noise, NoiseKind::babble);
  EXPECT_DOUBLE_EQ((*utterances)[2].snr_db, -5.0);
}

// Each bad line follows a good one, so the message must name line 4.
TEST(Recipe, RefusesABadLineNamingFileAndLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"u\t-\t170\t50\t0\tnone\t0", "expected 8 TAB-separated fields"},
      {"u\t-\t170\t50\t0\tnone\t0\tㄧˍ\textra", "found 9"},
      {"u 1\t-\t170\t50\t0\tnone\t0\tㄧˍ", "name 'u 1'"},
      {"a.b\t-\t170\t50\t0\tnone\t0\tㄧˍ", "name 'a.b'"},
      {"../up\t-\t170\t50\t0\tnone\t0\tㄧˍ", "name '../up'"},
      {"/abs\t-\t170\t50\t0\tnone\t0\tㄧˍ", "relative path"},
      {"a//b\t-\t170\t50\t0\tnone\t0\tㄧˍ", "relative path"},
      {"a/\t-\t170\t50\t0\tnone\t0\tㄧˍ", "relative path"},
      {"\t-\t170\t50\t0\tnone\t0\tㄧˍ", "empty name"},
      {"u\t\t170\t50\t0\tnone\t0\tㄧˍ", "empty voice"},
      {"u\tm+1\t170\t50\t0\tnone\t0\tㄧˍ", "voice 'm+1'"},
      {"u\t-\t79\t50\t0\tnone\t0\tㄧˍ", "speed '79' is not a whole number in 80..450"},
      {"u\t-\t451\t50\t0\tnone\t0\tㄧˍ", "speed '451'"},
      {"u\t-\tfast\t50\t0\tnone\t0\tㄧˍ", "speed 'fast'"},
      {"u\t-\t170\t100\t0\tnone\t0\tㄧˍ", "pitch '100' is not a whole number in 0..99"},
      {"u\t-\t170\t50\t51\tnone\t0\tㄧˍ", "gap '51'"},
      {"u\t-\t170\t50\t-1\tnone\t0\tㄧˍ", "gap '-1'"},
      {"u\t-\t170\t50\t0\tbrown\t0\tㄧˍ", "noise 'brown'"},
      {"u\t-\t170\t50\t0\twhite\tloud\tㄧˍ", "snr 'loud'"},
      {"u\t-\t170\t50\t0\twhite\tnan\tㄧˍ", "snr 'nan'"},
      {"u\t-\t170\t50\t0\tnone\t0\tㄊㄞˊ  ㄅㄟˇ", "single blanks"},
      {"u\t-\t170\t50\t0\tnone\t0\tㄊㄞˊ ", "single blanks"},
      {"u\t-\t170\t50\t0\tnone\t0\tㄊㄞㄅㄟˇ", "'ㄊㄞㄅㄟˇ' is not a tonal Zhuyin syllable"},
      {"u\t-\t170\t50\t0\tnone\t0\tㄊㄞˊㄅㄟ", "does not end in a tone mark"},
      {"u\t-\t170\t50\t0\tnone\t0\tㄈㄧˋ", "'ㄈㄧˋ' is not a tonal Zhuyin syllable (in word 'ㄈㄧˋ')"},
      {"u\t-\t170\t50\t0\tnone\t0\t台北", "does not end in a tone mark"},
      {"u\t-\t170\t50\t0\tnone\t0\t,", "no syllable"},
      {"train/u00017\t-\t170\t50\t0\tnone\t0\tㄧˍ", "name 'train/u00017' is used twice (first on line 3)"},
  };
  for (const auto& [line, expected] : cases) {
    const std::string text = std::string("# header\n\n") + kGoodLine + "\n" + line + "\n";
    std::string error;
    EXPECT_FALSE(parse_recipe(text, "recipes/r.txt", error).has_value()) << line;
    EXPECT_TRUE(error.starts_with("recipes/r.txt:4: ")) << error;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kws::corpus
