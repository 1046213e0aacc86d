// Running text read as the corpora say it: phrase context, word cuts, digit
// strings, spoken readings, and the carriers around vocabulary entries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "recipe_checks.h"
#include "small_text_reader.h"
#include "recipes/carriers.h"
#include "recipes/test_recipes.h"
#include "recipes/text_reader.h"
#include "support/big5_text.h"

namespace kws::recipes {
namespace {

using kws::testing::big5;
using ::testing::ElementsAre;

// Characters read alone one way and in phrases another (行, 長), digits, and
// 什麼 with the unspoken reading listed first, as the chewing phrase file has it.
constexpr char kCharacters[] =
    "行,0,ㄒㄧㄥˊ\n行,0,ㄏㄤˊ\n銀,0,ㄧㄣˊ\n長,0,ㄓㄤˇ\n大,0,ㄉㄚˋ\n我,0,ㄨㄛˇ\n去,0,ㄑㄩˋ\n在,0,ㄗㄞˋ\n"
    "零,0,ㄌㄧㄥˊ\n一,0,ㄧ\n二,0,ㄦˋ\n三,0,ㄙㄢ\n五,0,ㄨˇ\n九,0,ㄐㄧㄡˇ\n十,0,ㄕˊ\n年,0,ㄋㄧㄢˊ\n底,0,ㄉㄧˇ\n"
    "什,0,ㄕㄜˊ\n麼,0,ㄇㄛ˙\n是,0,ㄕˋ\n台,0,ㄊㄞˊ\n北,0,ㄅㄟˇ\n到,0,ㄉㄠˋ\n了,0,ㄌㄜ˙\n站,0,ㄓㄢˋ\n"
    "嗎,0,ㄇㄚ˙\n請,0,ㄑㄧㄥˇ\n問,0,ㄨㄣˋ\n";
constexpr char kPhrases[] =
    "行 100 ㄒㄧㄥˊ\n行 10 ㄏㄤˊ\n銀行 50 ㄧㄣˊ ㄏㄤˊ\n長大 40 ㄓㄤˇ ㄉㄚˋ\n什麼 20 ㄕㄜˊ ㄇㄛ˙\n什麼 20 ㄕㄣˊ ㄇㄜ˙\n"
    "台北 30 ㄊㄞˊ ㄅㄟˇ\n請問 30 ㄑㄧㄥˇ ㄨㄣˋ\n一九 2 ㄧ ㄐㄧㄡˇ\n";

class TextReading : public ::testing::Test {
 protected:
  // The words of a UTF-8 text as "word:syllable syllable".
  std::vector<std::string> read(std::string_view utf8) const {
    const std::optional<std::vector<Word>> words = reader_->read(big5(utf8));
    if (!words) return {"(no reading)"};
    std::vector<std::string> texts;
    for (const Word& word : *words) texts.push_back(big5_to_utf8(word.big5) + ":" + syllable_list_text(word.syllables));
    return texts;
  }

  const testing::SmallTextReader reader_{kCharacters, kPhrases, with_spoken_readings({})};
};

TEST_F(TextReading, ReadsCharactersInTheirPhrasesAndCutsWordsThere) {
  EXPECT_THAT(read("我去銀行"), ElementsAre("我:ㄨㄛˇ", "去:ㄑㄩˋ", "銀行:ㄧㄣˊ ㄏㄤˊ"));
  EXPECT_THAT(read("長大"), ElementsAre("長大:ㄓㄤˇ ㄉㄚˋ"));
  EXPECT_THAT(read("我在X"), ElementsAre("(no reading)"));
  EXPECT_THAT(read("我在鬱"), ElementsAre("(no reading)"));  // no reading for 鬱
}

TEST_F(TextReading, SaysDigitStringsDigitByDigitWithOneAsYao) {
  // A phone number: every one is ㄧㄠ, each digit its own word.
  EXPECT_THAT(read("一三五一九"), ElementsAre("一:ㄧㄠˍ", "三:ㄙㄢˍ", "五:ㄨˇ", "一:ㄧㄠˍ", "九:ㄐㄧㄡˇ"));
  EXPECT_THAT(read("我一三五"), ElementsAre("我:ㄨㄛˇ", "一:ㄧㄠˍ", "三:ㄙㄢˍ", "五:ㄨˇ"));
  // Two digits are no digit string; a number with 十 neither.
  EXPECT_THAT(read("十一"), ElementsAre("十:ㄕˊ", "一:ㄧˍ"));
  EXPECT_THAT(read("三十一"), ElementsAre("三:ㄙㄢˍ", "十:ㄕˊ", "一:ㄧˍ"));
  // Years keep one as ㄧ: before 年, or four digits.
  EXPECT_THAT(read("一九九零年"), ElementsAre("一:ㄧˍ", "九:ㄐㄧㄡˇ", "九:ㄐㄧㄡˇ", "零:ㄌㄧㄥˊ", "年:ㄋㄧㄢˊ"));
  EXPECT_THAT(read("二零一五底"), ElementsAre("二:ㄦˋ", "零:ㄌㄧㄥˊ", "一:ㄧˍ", "五:ㄨˇ", "底:ㄉㄧˇ"));
  EXPECT_THAT(read("二零一五一"), ElementsAre("二:ㄦˋ", "零:ㄌㄧㄥˊ", "一:ㄧㄠˍ", "五:ㄨˇ", "一:ㄧㄠˍ"));
}

TEST_F(TextReading, SaysEverydayWordsAsTheyAreSpoken) {
  EXPECT_THAT(read("是什麼"), ElementsAre("是:ㄕˋ", "什麼:ㄕㄣˊ ㄇㄜ˙"));
  // A reviewed reading wins over the spoken one.
  const lexical_data::ReadingOverrides reviewed = with_spoken_readings(
      {{big5("什麼"),
        {lexical_data::syllable_row_of_utf8_token("ㄕㄜˊ"), lexical_data::syllable_row_of_utf8_token("ㄇㄜ˙")}}});
  EXPECT_EQ(syllable_list_text(reviewed.at(big5("什麼"))), "ㄕㄜˊ ㄇㄜ˙");
  std::string error;
  EXPECT_TRUE(lexical_data::parse_reading_overrides(kSpokenReadings, "spoken", error).has_value()) << error;
}

TEST_F(TextReading, FillsCarriersAndKnowsWhetherTheyAddAnEntry) {
  std::string error;
  const std::optional<Carrier> carrier = read_carrier("請問 {} 到 了 嗎", *reader_, error);
  ASSERT_TRUE(carrier.has_value()) << error;
  EXPECT_EQ(carrier->slots(), 1);
  lexical_data::Vocabulary stations{
      "stations",
      {{big5("台北"),
        {lexical_data::syllable_row_of_utf8_token("ㄊㄞˊ"), lexical_data::syllable_row_of_utf8_token("ㄅㄟˇ")}},
       {big5("北"), {lexical_data::syllable_row_of_utf8_token("ㄅㄟˇ")}},
       {big5("問"), {lexical_data::syllable_row_of_utf8_token("ㄨㄣˋ")}}}};
  const std::vector<Word> words = fill_carrier(*carrier, std::span(stations.entries).first(1));
  EXPECT_EQ(recipe_text(words), "ㄑㄧㄥˇㄨㄣˋ ㄊㄞˊㄅㄟˇ ㄉㄠˋ ㄌㄜ˙ ㄇㄚ˙");
  // 北 lies inside the spoken 台北 and counts as said with it; 問 of 請問 is
  // said by the carrier itself.
  EXPECT_FALSE(says_only(*carrier, std::span(stations.entries).first(1), stations));
  stations.entries.pop_back();
  EXPECT_TRUE(says_only(*carrier, std::span(stations.entries).first(1), stations));

  const std::optional<Carrier> pauses = read_carrier("{} , {} 到 {}", *reader_, error);
  ASSERT_TRUE(pauses.has_value()) << error;
  const std::vector<lexical_data::VocabularyEntry> three(3, stations.entries[0]);
  EXPECT_EQ(recipe_text(fill_carrier(*pauses, three)), "ㄊㄞˊㄅㄟˇ , ㄊㄞˊㄅㄟˇ ㄉㄠˋ ㄊㄞˊㄅㄟˇ");
  EXPECT_FALSE(read_carrier("請問 {} abc", *reader_, error).has_value());
  EXPECT_THAT(error, ::testing::HasSubstr("abc"));
}

TEST(Carriers, TestCarriersNeverSayAStationOfTheBundledVocabulary) {
  // Read straight from the committed vocabulary file, as the batch test does.
  const std::optional<std::string> dat = read_file_bytes(KWS_DATA_DIR "/data/火車系統.dat");
  ASSERT_TRUE(dat.has_value());
  std::vector<std::string> stations;
  for (const std::string& line : testing::split(*dat, '\n')) {
    const std::size_t blank = line.find(' ');
    if (blank != std::string::npos) stations.push_back(line.substr(blank + 1));
  }
  ASSERT_GT(stations.size(), 200u);
  ASSERT_NE(std::find(stations.begin(), stations.end(), big5("台北")), stations.end()) << "names are read whole";
  std::vector<std::string_view> texts(sentences_without_entries().begin(), sentences_without_entries().end());
  for (const std::string_view text : carrier_templates(Domain::stations, CarrierUse::test)) texts.push_back(text);
  for (const std::string_view text : lead_ins()) texts.push_back(text);
  for (const std::string_view text : texts) {
    std::string hanzi;
    for (const char c : text) {
      if (c != ' ' && c != ',' && c != '{' && c != '}') hanzi += c;
    }
    const std::string big5_text = big5(hanzi);
    for (const std::string& station : stations) {
      EXPECT_FALSE(contains_text(big5_text, station)) << text << " says " << big5_to_utf8(station);
    }
  }
}

}  // namespace
}  // namespace kws::recipes
