// The generator's parts on small reading data written by the tests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "lexical_data/reading_data.h"
#include "lexical_data/vocabulary_files.h"
#include "lexicon/syllable_table.h"
#include "platform/text_encoding.h"
#include "support/big5_text.h"

namespace kws::lexical_data {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::big5;

int row(std::string_view utf8_syllable) { return syllable_number_of(big5(utf8_syllable)); }

std::vector<int> rows(std::initializer_list<std::string_view> syllables) {
  std::vector<int> result;
  for (const std::string_view syllable : syllables) result.push_back(row(syllable));
  return result;
}

std::vector<std::string> texts(const std::vector<int>& syllables) {
  std::vector<std::string> result;
  for (const int syllable : syllables) result.push_back(big5_to_utf8(syllable_text(syllable)));
  return result;
}

const RankedCharacter& ranked_character(const std::vector<RankedCharacter>& ranked, std::string_view utf8) {
  for (const RankedCharacter& character : ranked) {
    if (character.character == big5(utf8)) return character;
  }
  ADD_FAILURE() << utf8 << " not ranked";
  return ranked.front();
}

// Single-character lines give every reading the same frequency, as the
// chewing phrase file does; the phrases decide.
constexpr char kPhraseFile[] =
    "行 100 ㄏㄤˊ\n行 100 ㄒㄧㄥˊ\n行 90 ㄒㄧㄥˋ\n"
    "銀行 50 ㄧㄣˊ ㄏㄤˊ\n行人 80 ㄒㄧㄥˊ ㄖㄣˊ\n台灣銀行 5 ㄊㄞˊ ㄨㄢ ㄧㄣˊ ㄏㄤˋ\n"
    "長 30 ㄓㄤˇ\n長 30 ㄔㄤˊ\n長大 40 ㄓㄤˇ ㄉㄚˋ\n長大 20 ㄔㄤˊ ㄉㄚˋ\n"
    "重 12 ㄔㄨㄥˊ\n重 9 ㄓㄨㄥˋ\n一 10 ㄧ\n台 20 ㄊㄞˊ\n灣 5 ㄨㄢ\n銀 8 ㄧㄣˊ\n人 9 ㄖㄣˊ\n大 9 ㄉㄚˋ\n榮 3 ㄖㄨㄥˊ\n"
    // Unusable: not hanzi, reading count, frequency, a reading outside the table.
    "ㄅ 0 ㄅ\n長大 3 ㄓㄤˇ\n天 x ㄊㄧㄢ\n叭 4 ㄅㄧㄛ\n";

ReadingData fixture_data() {
  ReadingData data;
  add_character_list("# comment line\n行,0,ㄏㄤˋ\n長,0,ㄓㄤˋ\n重,0,ㄊㄨㄥˊ\n𠀀,0,ㄅㄚ\n叭,0,ㄅㄚ\n", data);
  add_phrase_file(big5(kPhraseFile) + "\x96\xa6 1 \xa3\x79\n", data);
  return data;
}

TEST(ReadingData, MarksTheFirstToneAndSkipsWhatTheStationCannotUse) {
  const ReadingData data = fixture_data();
  EXPECT_THAT(texts(data.characters.at(big5("一")).readings), ElementsAre("ㄧˍ"));
  EXPECT_EQ(data.phrases.at(big5("台灣銀行")).syllables, rows({"ㄊㄞˊ", "ㄨㄢˍ", "ㄧㄣˊ", "ㄏㄤˋ"}));
  // The more frequent of two readings of one phrase.
  EXPECT_EQ(data.phrases.at(big5("長大")).syllables, rows({"ㄓㄤˇ", "ㄉㄚˋ"}));
  EXPECT_EQ(data.characters.at(big5("長")).phrase_frequency.at(row("ㄔㄤˊ")), 20);
  EXPECT_EQ(data.longest_phrase, 4u);
  // Word list: 𠀀 is not Big5; phrase file: ㄅ, 長大 with one syllable, 天 x,
  // ㄅㄧㄛ and the damaged bytes.
  EXPECT_EQ(data.skipped_lines, 1 + 5);
  EXPECT_THAT(texts(data.characters.at(big5("叭")).readings), ElementsAre("ㄅㄚˍ"));
  EXPECT_FALSE(data.characters.contains(big5("ㄅ")));
}

TEST(ReadingRanking, PhraseFrequenciesRankWhereSingleLinesTie) {
  const ReadingData data = fixture_data();
  const std::vector<RankedCharacter> ranked = rank_readings(data);
  // 行人 (80) outweighs 銀行 (50) and 台灣銀行 (5, whose ㄏㄤˋ only the
  // character list has otherwise); ㄒㄧㄥˋ is in no phrase.
  EXPECT_THAT(texts(ranked_character(ranked, "行").readings), ElementsAre("ㄒㄧㄥˊ", "ㄏㄤˊ", "ㄏㄤˋ", "ㄒㄧㄥˋ"));
  EXPECT_THAT(texts(ranked_character(ranked, "長").readings), ElementsAre("ㄓㄤˇ", "ㄔㄤˊ", "ㄓㄤˋ"));
  // No phrase: the single lines' frequencies, then what only the character list has.
  EXPECT_THAT(texts(ranked_character(ranked, "重").readings), ElementsAre("ㄔㄨㄥˊ", "ㄓㄨㄥˋ", "ㄊㄨㄥˊ"));
  EXPECT_EQ(ranked_character(ranked, "行").frequency, 100);
  for (std::size_t i = 1; i < ranked.size(); ++i) EXPECT_LT(ranked[i - 1].character, ranked[i].character);
}

TEST(ReadingTable, DropsTheRarestAlternativesButNeverAFirstReading) {
  const ReadingData data = fixture_data();
  const std::vector<RankedCharacter> ranked = rank_readings(data);
  std::size_t all = 0;
  for (const RankedCharacter& character : ranked) all += character.readings.size();

  std::string error;
  const std::optional<ReadingTable> table = build_reading_table(data, ranked, all - 2, error);
  ASSERT_TRUE(table.has_value()) << error;
  EXPECT_EQ(table->dropped_readings, 2);
  std::map<std::string, std::vector<std::string>> kept;
  for (const ReadingTableEntry& entry : table->entries) {
    kept[big5_to_utf8(entry.character)].push_back(big5_to_utf8(syllable_text(entry.syllable)));
  }
  // Rarest: in no phrase and not in the phrase file at all; 行 ㄏㄤˋ is in a phrase.
  EXPECT_THAT(kept["行"], ElementsAre("ㄒㄧㄥˊ", "ㄏㄤˊ", "ㄏㄤˋ", "ㄒㄧㄥˋ"));
  EXPECT_THAT(kept["長"], ElementsAre("ㄓㄤˇ", "ㄔㄤˊ"));
  EXPECT_THAT(kept["重"], ElementsAre("ㄔㄨㄥˊ", "ㄓㄨㄥˋ"));
  EXPECT_THAT(kept["一"], ElementsAre("ㄧˍ"));

  EXPECT_FALSE(build_reading_table(data, ranked, ranked.size() - 1, error).has_value());
  EXPECT_THAT(error, HasSubstr("characters"));
}

TEST(ReadingTable, BytesAreLittleEndianRecordsPaddedWithZeros) {
  ReadingTable table;
  table.entries = {{big5("行"), 0x0102}, {big5("一"), 3}};
  const std::string bytes = reading_table_bytes(table, 3);
  ASSERT_EQ(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x02\x01\0\0", 4) + big5("行") + std::string(2, '\0'));
  EXPECT_EQ(bytes.substr(8, 4), std::string("\x03\0\0\0", 4));
  EXPECT_EQ(bytes.substr(16), std::string(8, '\0'));
}

TEST(PhoneTable, TakesTheMostUsedModelledBaseSyllablesInTheirMostUsedTone) {
  ReadingData data;
  // ㄌㄩㄣ and ㄉㄧㄤ have no character in the chewing data; here one does.
  add_phrase_file(big5("掄 50 ㄌㄩㄣˊ\n媽 40 ㄇㄚ\n嗎 30 ㄇㄚ˙\n嘛 20 ㄇㄚˊ\n"), data);
  const std::vector<RankedCharacter> ranked = rank_readings(data);
  std::string error;
  const std::optional<PhoneTable> table = choose_phone_table(ranked, syllable_usage(data, ranked), error);
  ASSERT_TRUE(table.has_value()) << error;
  ASSERT_EQ(table->syllables.size(), 408u);
  EXPECT_TRUE(std::is_sorted(table->syllables.begin(), table->syllables.end()));
  const auto has = [&](std::string_view syllable) {
    return std::find(table->syllables.begin(), table->syllables.end(), row(syllable)) != table->syllables.end();
  };
  EXPECT_TRUE(has("ㄌㄩㄣˊ"));
  EXPECT_TRUE(has("ㄇㄚˍ"));
  EXPECT_FALSE(has("ㄇㄚ˙"));
  for (const std::string_view unmodelled : {"ㄙㄟˍ", "ㄟˋ", "ㄝˋ", "ㄧㄛˍ"}) EXPECT_FALSE(has(unmodelled));
  // Of 410 modelled base syllables, two unused ones without characters stay out.
  EXPECT_EQ(table->left_out.size(), 2u);
  EXPECT_EQ(phone_table_text(*table).substr(0, 2 + 6 + 1), "0 " + big5("ㄅㄚˍ") + "\n");
}

class NameReading : public ::testing::Test {
 protected:
  std::pair<std::vector<std::string>, ReadingSource> read(std::string_view utf8_name) {
    const std::optional<lexical_data::NameReading> reading = reader_.read(big5(utf8_name));
    if (!reading) return {{}, ReadingSource::characters};
    return {texts(reading->syllables), reading->source};
  }
  static ReadingOverrides reviewed() {
    std::string error;
    return parse_reading_overrides("# reviewed\n長榮 ㄔㄤˊ ㄖㄨㄥˊ\n人 ㄖㄣˊ\n", "overrides", error).value();
  }
  ReadingData data_ = fixture_data();
  std::vector<RankedCharacter> ranked_ = rank_readings(data_);
  ReadingOverrides overrides_ = reviewed();
  NameReader reader_{data_, ranked_, overrides_};
};

TEST_F(NameReading, OverridesWinOverPhrasesWhichWinOverCharacters) {
  using R = ReadingSource;
  EXPECT_EQ(read("銀行"), std::make_pair(std::vector<std::string>{"ㄧㄣˊ", "ㄏㄤˊ"}, R::whole_phrase));
  // One whole phrase rather than 台 + 灣 + 銀行, even though its 行 is ㄏㄤˋ.
  EXPECT_THAT(read("台灣銀行").first, ElementsAre("ㄊㄞˊ", "ㄨㄢˍ", "ㄧㄣˊ", "ㄏㄤˋ"));
  EXPECT_EQ(read("台銀行"), std::make_pair(std::vector<std::string>{"ㄊㄞˊ", "ㄧㄣˊ", "ㄏㄤˊ"}, R::phrase_parts));
  EXPECT_EQ(read("行大"), std::make_pair(std::vector<std::string>{"ㄒㄧㄥˊ", "ㄉㄚˋ"}, R::characters));
  EXPECT_EQ(read("長榮銀行"),
            std::make_pair(std::vector<std::string>{"ㄔㄤˊ", "ㄖㄨㄥˊ", "ㄧㄣˊ", "ㄏㄤˊ"}, R::override));
  EXPECT_EQ(read("行人").second, R::override);  // the reviewed 人 outweighs the phrase 行人
  EXPECT_FALSE(reader_.read(big5("鑫")).has_value());
}

TEST_F(NameReading, ReportsOverridesNoNameUsed) {
  read("長榮");
  EXPECT_THAT(reader_.unused_overrides(), ElementsAre(big5("人")));
}

TEST(ReadingOverrides, RefusesLinesThatDoNotSpellTheirName) {
  std::string error;
  const std::optional<ReadingOverrides> good = parse_reading_overrides("\n# c\n  長安 ㄔㄤˊ ㄢ\n", "o.txt", error);
  ASSERT_TRUE(good.has_value()) << error;
  EXPECT_EQ(good->at(big5("長安")), rows({"ㄔㄤˊ", "ㄢˍ"}));

  const std::pair<std::string, std::string> refused[] = {
      {"長安 ㄔㄤˊ\n", "o.txt:1: \"長安\" has 2 characters but 1 syllables"},
      {"# c\n長安 ㄔㄤˊ ㄢㄢ\n", "o.txt:2: \"ㄢㄢ\" is not a syllable"},
      {"長安 ㄔㄤˊ ㄢ\n長安 ㄔㄤˊ ㄢ\n", "o.txt:2: \"長安\" is given twice"},
      {"KTV ㄎ ㄊ ㄨ\n", "o.txt:1: \"KTV\" is not a name of Big5 characters"},
  };
  for (const auto& [text, message] : refused) {
    EXPECT_FALSE(parse_reading_overrides(text, "o.txt", error).has_value()) << text;
    EXPECT_THAT(error, HasSubstr(message));
  }
}

TEST(NameList, AcceptsOnlyNamesTheStationSpellsOneSyllablePerCharacter) {
  std::string error;
  const auto names = parse_name_list("# banks\n\n 台灣銀行 \r\n銀行\n", "l.txt", error);
  ASSERT_TRUE(names.has_value()) << error;
  EXPECT_THAT(*names, ElementsAre(big5("台灣銀行"), big5("銀行")));

  const std::pair<std::string, std::string> refused[] = {
      {"KTV排行榜\n", "l.txt:1: \"KTV排行榜\" is not made of Big5 Chinese characters"},
      {"ＫＴＶ\n", "is not made of Big5 Chinese characters"},  // full-width letters are Big5, not hanzi
      {"台 北\n", "is not made of Big5 Chinese characters"},
      {"𠀀\n", "is not made of Big5 Chinese characters"},
      {"銀行\n# x\n銀行\n", "l.txt:3: \"銀行\" is listed twice"},
      {"中華民國台灣銀行總行營業部\n", "has more than 10 characters"},
  };
  for (const auto& [text, message] : refused) {
    EXPECT_FALSE(parse_name_list(text, "l.txt", error).has_value()) << text;
    EXPECT_THAT(error, HasSubstr(message));
  }
}

Vocabulary vocabulary_of(std::initializer_list<std::pair<std::string_view, std::vector<int>>> entries) {
  Vocabulary vocabulary{"v", {}};
  for (const auto& [name, syllables] : entries) vocabulary.entries.push_back({big5(name), syllables, {}});
  return vocabulary;
}

TEST(VocabularyFiles, WritesTheEditorsFormatsAndCountsSharedNodes) {
  const Vocabulary vocabulary =
      vocabulary_of({{"台北", rows({"ㄊㄞˊ", "ㄅㄟˇ"})}, {"北", rows({"ㄅㄟˋ"})}, {"媽", rows({"ㄇㄚˍ"})}});
  EXPECT_EQ(dat_text(vocabulary), big5("1 台北\n2 北\n3 媽\n"));
  EXPECT_EQ(spl_text(vocabulary), big5("ㄊㄞˊ ㄅㄟˇ\nㄅㄟˋ\nㄇㄚˍ\n"));
  const auto counts = level_node_counts(vocabulary);
  EXPECT_EQ(counts[0], 2);  // ㄅㄟ in either tone is one node
  EXPECT_EQ(counts[1], 1);
  EXPECT_EQ(counts[2], 0);
  EXPECT_EQ(vocabulary_problem(vocabulary), "");
}

TEST(VocabularyFiles, NamesWhatWouldNotLoadCleanly) {
  EXPECT_THAT(vocabulary_problem(vocabulary_of({{"塞", rows({"ㄙㄟˍ"})}})),
              HasSubstr("v: \"塞\" is read with ㄙㄟˍ, which has no model"));
  EXPECT_THAT(vocabulary_problem(vocabulary_of({{"台北", rows({"ㄊㄞˊ"})}})), HasSubstr("1 syllables for 2"));

  // 201 four-syllable entries with distinct first syllables: level 3 holds 200.
  Vocabulary wide{"wide", {}};
  std::set<std::string_view> bases;
  for (int syllable = 0; syllable < kSyllableCount && wide.entries.size() < 201; ++syllable) {
    const std::string_view text = syllable_text(syllable);
    if (!syllable_has_models(syllable) || !bases.insert(text.substr(0, text.size() - 2)).second) continue;
    wide.entries.push_back({big5("台北車站"), {syllable, row("ㄅㄟˇ"), row("ㄔㄜˍ"), row("ㄓㄢˋ")}, {}});
  }
  EXPECT_EQ(vocabulary_problem(wide), "wide: level 3 would hold 201 nodes; the search holds 200");
}

TEST(SyllableVocabulary, SecondChoiceTakesAnotherCharacterWhereThereIsOne) {
  ReadingData data;
  add_phrase_file(big5("八 100 ㄅㄚ\n巴 50 ㄅㄚ\n吧 70 ㄅㄚ˙\n吧 60 ㄅㄚ\n嫩 5 ㄋㄣˋ\n嫩 5 ㄋㄨㄣˋ\n"), data);
  const std::vector<RankedCharacter> ranked = rank_readings(data);
  PhoneTable table;
  table.syllables = rows({"ㄅㄚˍ", "ㄋㄣˋ", "ㄋㄨㄣˋ"});
  const auto names = [](const Vocabulary& vocabulary) {
    std::vector<std::string> result;
    for (const VocabularyEntry& entry : vocabulary.entries) result.push_back(big5_to_utf8(entry.name));
    return result;
  };
  // 八 and 巴 read ㄅㄚˍ first; 吧 (more used) can read it too but reads ㄅㄚ˙ first.
  EXPECT_THAT(names(syllable_vocabulary("first", table, data, ranked, 0)), ElementsAre("八", "嫩", "嫩"));
  EXPECT_THAT(names(syllable_vocabulary("second", table, data, ranked, 1)), ElementsAre("巴", "嫩", "嫩"));
}

}  // namespace
}  // namespace kws::lexical_data
