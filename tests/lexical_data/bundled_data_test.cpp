// The lexical files committed in data/: they must load in the station as they
// are, with the readings a speaker expects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "engine/engine_start_up.h"
#include "lexicon/vocabulary.h"
#include "engine/start_up_files.h"
#include "lexical_data/reading_data.h"
#include "lexicon/syllable_decomposition.h"
#include "lexicon/syllable_table.h"
#include "lexicon/vocabulary.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/test_vocabulary.h"

namespace kws {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using testing::big5;

const std::filesystem::path kData = KWS_DATA_DIR;

// The vocabularies of the main dialog's combo box.
const std::vector<std::string> kVocabularies = {"數字",   "408syl", "408syllable", "KTV排行榜", "銀行",
                                                "銀行(全)", "股票",   "人名",        "火車系統",  "火車系統1"};

std::string read_bytes(const std::filesystem::path& path) {
  std::optional<std::string> bytes = read_file_bytes(path.string());
  EXPECT_TRUE(bytes.has_value()) << "cannot read " << path;
  return bytes.value_or("");
}

std::vector<std::string> tokens_of(const std::string& text) {
  std::vector<std::string> tokens;
  TokenReader reader(text);
  while (const std::optional<std::string_view> token = reader.next()) tokens.emplace_back(*token);
  return tokens;
}

bool has_models(std::string_view syllable) {
  const SyllableModels models = decompose_syllable(syllable);
  return model_index_of(models.initial_model) >= 0 && model_index_of(models.final_model) >= 0;
}

// One vocabulary's words with their syllables, read from its two files.
struct Entry {
  std::string word;                    // Big5
  std::vector<std::string> syllables;  // Big5
};

std::vector<Entry> entries_of(const std::string& name) {
  const std::vector<std::string> words = tokens_of(read_bytes(kData / "data" / (name + ".dat")));
  const std::vector<std::string> syllables = tokens_of(read_bytes(kData / "data" / (name + ".spl")));
  std::vector<Entry> entries;
  std::size_t next = 0;
  for (std::size_t i = 1; i < words.size(); i += 2) {
    Entry entry{words[i], {}};
    for (std::size_t k = 0; k < words[i].size() / 2 && next < syllables.size(); ++k) {
      entry.syllables.push_back(syllables[next++]);
    }
    entries.push_back(std::move(entry));
  }
  EXPECT_EQ(next, syllables.size()) << name << ": syllables left over";
  return entries;
}

// The readings of a character in table order, as the vocabulary editor lists them.
class BundledReadingTable : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = read_bytes(kData / "dict1.bin");
    load_character_readings(bytes_, engine_->character_readings);
  }
  std::vector<std::string> readings_of(std::string_view utf8_character) const {
    const std::string character = big5(utf8_character);
    std::vector<std::string> readings;
    for (const CharacterReadingEntry& entry : engine_->character_readings) {
      if (character == entry.character) readings.push_back(big5_to_utf8(syllable_text(entry.syllable_number)));
    }
    return readings;
  }
  std::string bytes_;
  std::unique_ptr<LoadedData> engine_ = std::make_unique<LoadedData>();
};

TEST_F(BundledReadingTable, IsExactlyTheStationsTableOfValidEntries) {
  ASSERT_EQ(bytes_.size(), kCharacterReadingEntries * sizeof(CharacterReadingEntry));
  std::set<std::pair<std::string, int>> seen;
  std::set<std::string> finished;  // characters whose run of entries has ended
  std::string previous;
  for (const CharacterReadingEntry& entry : engine_->character_readings) {
    const std::string character(entry.character, strnlen(entry.character, sizeof entry.character));
    ASSERT_TRUE(lexical_data::is_big5_hanzi(character)) << "entry of character " << big5_to_utf8(character);
    ASSERT_EQ(entry.character[2], '\0');
    ASSERT_GE(entry.syllable_number, 0);
    ASSERT_LT(entry.syllable_number, kSyllableCount);
    EXPECT_TRUE(seen.emplace(character, entry.syllable_number).second) << big5_to_utf8(character) << " twice";
    // A character's readings are one run, so the first entry found is its most frequent reading.
    if (character != previous) {
      EXPECT_FALSE(finished.contains(character)) << big5_to_utf8(character) << " comes back later";
      finished.insert(previous);
      EXPECT_GT(character, previous) << "characters in Big5 order";
    }
    previous = character;
  }
}

TEST_F(BundledReadingTable, ProposesTheCommonReadingFirstAndListsTheOthers) {
  EXPECT_EQ(readings_of("一").front(), "ㄧˍ");
  EXPECT_EQ(readings_of("行").front(), "ㄒㄧㄥˊ");
  EXPECT_EQ(readings_of("重").front(), "ㄓㄨㄥˋ");
  EXPECT_EQ(readings_of("的").front(), "ㄉㄜ˙");
  EXPECT_EQ(readings_of("台").front(), "ㄊㄞˊ");
  EXPECT_THAT(readings_of("長"), Contains("ㄓㄤˇ"));
  EXPECT_THAT(readings_of("長"), Contains("ㄔㄤˊ"));
  EXPECT_THAT(readings_of("行"), Contains("ㄏㄤˊ"));
  EXPECT_THAT(readings_of("樂"), Contains("ㄩㄝˋ"));
  EXPECT_THAT(readings_of("銀"), ElementsAre("ㄧㄣˊ"));
}

TEST(BundledPhoneTable, HoldsFourHundredEightDistinctModelledSyllables) {
  const std::vector<std::string> tokens = tokens_of(read_bytes(kData / "qorphone.tbl"));
  ASSERT_EQ(tokens.size(), 2u * kPhoneTableEntries);
  std::set<std::string> bases;
  for (std::size_t k = 0; k < kPhoneTableEntries; ++k) {
    EXPECT_EQ(parse_integer(tokens[2 * k]), static_cast<long>(k));
    const std::string& syllable = tokens[2 * k + 1];
    EXPECT_GE(syllable_number_of(syllable), 0) << big5_to_utf8(syllable);
    EXPECT_TRUE(has_models(syllable)) << big5_to_utf8(syllable);
    EXPECT_TRUE(bases.insert(syllable.substr(0, syllable.size() - 2)).second) << big5_to_utf8(syllable);
  }
}

class BundledVocabulary : public ::testing::TestWithParam<std::string> {};

TEST_P(BundledVocabulary, LoadsWithoutAnyMessageWithinCapacity) {
  testing::CapturingSink sink;
  auto engine = std::make_unique<LoadedData>();
  ASSERT_EQ(set_data_directory(*engine, kData.string()), "");
  testing::set_uniform_models(*engine, 2);
  auto loaded = std::make_unique<Vocabulary>();
  ASSERT_EQ(load_vocabulary(engine->data_directory, engine->main_models, GetParam(), *loaded), std::nullopt);
  EXPECT_EQ(sink.boxes, std::vector<std::string>{});
  EXPECT_EQ(sink.lines, std::vector<std::string>{});

  const std::vector<Entry> entries = entries_of(GetParam());
  const Vocabulary& vocabulary = *loaded;
  ASSERT_GT(vocabulary.loaded_entry_count, 0);
  EXPECT_EQ(vocabulary.loaded_entry_count, static_cast<int>(entries.size()));
  EXPECT_LE(vocabulary.loaded_entry_count, kMaxVocabularyEntries);
  for (int level = 0; level < kLexiconLevels; ++level) {
    const LexiconLevel& nodes = vocabulary.levels[static_cast<std::size_t>(level)];
    EXPECT_LE(nodes.count, level_capacity(level)) << "level " << level;
    for (int i = 0; i < nodes.count; ++i) {
      const LevelNode& node = nodes.nodes[static_cast<std::size_t>(i)];
      EXPECT_GE(node.initial_model_number, 0) << node.initial_model_name;
      EXPECT_GE(node.final_model_number, 0) << node.final_model_name;
    }
  }
  for (int i = 0; i < vocabulary.loaded_entry_count; ++i) {
    EXPECT_EQ(word_list_line(vocabulary, i), format_text("%5d ", i + 1) + entries[static_cast<std::size_t>(i)].word);
  }
}

TEST_P(BundledVocabulary, SpellsEveryWordInHanziWithOneTableSyllablePerCharacter) {
  std::set<std::string> words;
  std::set<std::pair<std::string, std::vector<std::string>>> readings;
  for (const Entry& entry : entries_of(GetParam())) {
    const std::string word = big5_to_utf8(entry.word);
    const std::optional<std::vector<std::string>> characters = lexical_data::split_hanzi(entry.word);
    ASSERT_TRUE(characters.has_value()) << word;
    EXPECT_LE(characters->size(), 10u) << word;
    ASSERT_EQ(entry.syllables.size(), characters->size()) << word;
    for (const std::string& syllable : entry.syllables) {
      EXPECT_GE(syllable_number_of(syllable), 0) << word << " " << big5_to_utf8(syllable);
    }
    EXPECT_TRUE(readings.emplace(entry.word, entry.syllables).second) << word << " twice";
    // Only the syllable sets may repeat a word: a character that alone reads two syllables.
    if (GetParam().rfind("408", 0) != 0) {
      EXPECT_TRUE(words.insert(entry.word).second) << word << " twice";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ComboBox, BundledVocabulary, ::testing::ValuesIn(kVocabularies),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return "vocabulary" + std::to_string(info.index);
                         });

// The reading of every occurrence of a part of a name, over all vocabularies.
std::vector<std::string> readings_of_part(std::string_view utf8_part) {
  const std::string part = big5(utf8_part);
  std::vector<std::string> found;
  for (const std::string& name : kVocabularies) {
    for (const Entry& entry : entries_of(name)) {
      for (std::size_t at = entry.word.find(part); at != std::string::npos; at = entry.word.find(part, at + 2)) {
        if (at % 2 != 0) continue;
        std::string reading;
        for (std::size_t k = at / 2; k < (at + part.size()) / 2; ++k) {
          if (!reading.empty()) reading += ' ';
          reading += big5_to_utf8(entry.syllables[k]);
        }
        found.push_back(reading);
      }
    }
  }
  return found;
}

TEST(BundledReadings, PolyphonicCharactersAreReadInContext) {
  const std::map<std::string, std::string> expected = {
      {"銀行", "ㄧㄣˊ ㄏㄤˊ"},  {"台北", "ㄊㄞˊ ㄅㄟˇ"},  {"長榮", "ㄔㄤˊ ㄖㄨㄥˊ"}, {"謝長廷", "ㄒㄧㄝˋ ㄔㄤˊ ㄊㄧㄥˊ"},
      {"曾雅妮", "ㄗㄥˍ ㄧㄚˇ ㄋㄧˊ"}, {"樂天", "ㄌㄜˋ ㄊㄧㄢˍ"}, {"快樂", "ㄎㄨㄞˋ ㄌㄜˋ"}, {"和平", "ㄏㄜˊ ㄆㄧㄥˊ"},
      {"還有", "ㄏㄞˊ ㄧㄡˇ"},  {"得已", "ㄉㄜˊ ㄧˇ"},    {"新埔", "ㄒㄧㄣˍ ㄆㄨˇ"},  {"重慶", "ㄔㄨㄥˊ ㄑㄧㄥˋ"},
  };
  for (const auto& [part, reading] : expected) {
    const std::vector<std::string> found = readings_of_part(part);
    // 重慶 is checked wherever a list may come to hold it.
    if (part != "重慶") {
      EXPECT_FALSE(found.empty()) << part << " occurs nowhere";
    }
    for (const std::string& actual : found) EXPECT_EQ(actual, reading) << part;
  }
}

TEST(BundledReadings, MainStationsAreStationsReadTheSameWay) {
  std::map<std::string, std::vector<std::string>> all;
  for (const Entry& entry : entries_of("火車系統")) all[entry.word] = entry.syllables;
  for (const Entry& entry : entries_of("火車系統1")) {
    ASSERT_TRUE(all.contains(entry.word)) << big5_to_utf8(entry.word);
    EXPECT_EQ(all[entry.word], entry.syllables) << big5_to_utf8(entry.word);
  }
}

TEST(BundledReadings, SyllableSetsSpellThePhoneTableOnce) {
  const std::vector<std::string> table = tokens_of(read_bytes(kData / "qorphone.tbl"));
  std::set<std::string> phone_table;
  for (std::size_t k = 1; k < table.size(); k += 2) phone_table.insert(table[k]);
  for (const std::string name : {"408syl", "408syllable"}) {
    std::set<std::string> syllables;
    for (const Entry& entry : entries_of(name)) {
      ASSERT_EQ(entry.syllables.size(), 1u);
      EXPECT_TRUE(phone_table.contains(entry.syllables[0])) << big5_to_utf8(entry.syllables[0]);
      EXPECT_TRUE(syllables.insert(entry.syllables[0]).second) << big5_to_utf8(entry.syllables[0]);
    }
    // Every phone-table syllable that some character reads; one has no character at all.
    EXPECT_GE(syllables.size(), phone_table.size() - 1) << name;
  }
}

}  // namespace
}  // namespace kws
