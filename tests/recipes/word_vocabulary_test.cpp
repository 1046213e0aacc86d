// The keyword test of a folder of isolated words: what its vocabulary holds
// and what its references claim each test recording says.
#include "recipes/word_vocabulary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "lexical_data/reading_data.h"
#include "platform/text_encoding.h"
#include "recipe_checks.h"
#include "small_text_reader.h"
#include "support/big5_text.h"

namespace kws::recipes {
namespace {

constexpr char kCharacters[] =
    "設,0,ㄕㄜˋ\n定,0,ㄉㄧㄥˋ\n花,0,ㄏㄨㄚ\n園,0,ㄩㄢˊ\n電,0,ㄉㄧㄢˋ\n話,0,ㄏㄨㄚˋ\n化,0,ㄏㄨㄚˋ\n是,0,ㄕˋ\n"
    "事,0,ㄕˋ\n今,0,ㄐㄧㄣ\n天,0,ㄊㄧㄢ\n氣,0,ㄑㄧˋ\n好,0,ㄏㄠˇ\n朋,0,ㄆㄥˊ\n友,0,ㄧㄡˇ\n溫,0,ㄨㄣ\n度,0,ㄉㄨˋ\n"
    "腦,0,ㄋㄠˇ\n學,0,ㄒㄩㄝˊ\n生,0,ㄕㄥ\n";
// 電化 sounds as 電話; 今天, 天氣 stand in a recording too long to be a word;
// three phrases are left for four spoken words.
constexpr char kPhrases[] =
    "設定 80 ㄕㄜˋ ㄉㄧㄥˋ\n花園 30 ㄏㄨㄚ ㄩㄢˊ\n電話 30 ㄉㄧㄢˋ ㄏㄨㄚˋ\n朋友 20 ㄆㄥˊ ㄧㄡˇ\n"
    "電化 90 ㄉㄧㄢˋ ㄏㄨㄚˋ\n今天 60 ㄐㄧㄣ ㄊㄧㄢ\n天氣 40 ㄊㄧㄢ ㄑㄧˋ\n溫度 50 ㄨㄣ ㄉㄨˋ\n"
    "電腦 45 ㄉㄧㄢˋ ㄋㄠˇ\n學生 35 ㄒㄩㄝˊ ㄕㄥ\n";

bool holds_run(const std::vector<int>& syllables, const std::vector<int>& run) {
  return std::search(syllables.begin(), syllables.end(), run.begin(), run.end()) != syllables.end();
}

TEST(WordVocabulary, EachReferencedRecordingSaysExactlyItsWordAndNoTestRecordingSaysAnAbsentOne) {
  const testing::SmallTextReader reader(kCharacters, kPhrases);
  lexical_data::ReadingData data;
  lexical_data::add_character_list(kCharacters, data);
  lexical_data::add_phrase_file(kws::testing::big5(kPhrases), data);
  std::vector<RealUtterance> test;
  // 設定 by two speakers; 電 stands in 電話, 是 and 事 sound alike, the last is
  // five characters long.
  for (const char* text : {"設定", "花園", "電", "電話", "是", "事", "設定", "朋友", "今天天氣好"}) {
    RealUtterance recording;
    recording.audio = "/words/audio/" + std::to_string(test.size()) + ".flac";
    recording.big5 = kws::testing::big5(text);
    recording.words = reader->read(recording.big5).value();
    test.push_back(std::move(recording));
  }

  WordVocabularyReport report;
  std::string error;
  const std::optional<lexical_data::Vocabulary> vocabulary = word_vocabulary("dsp-words", test, data, 5, report, error);
  ASSERT_TRUE(vocabulary.has_value()) << error;
  EXPECT_EQ(lexical_data::vocabulary_problem(*vocabulary), "");
  const std::string references = word_references_text(test, *vocabulary);

  std::set<std::string> referenced;  // Big5
  std::vector<std::string> lines = testing::split(references, '\n');
  ASSERT_EQ(lines.back(), "");
  lines.pop_back();
  for (const std::string& line : lines) {
    const std::vector<std::string> fields = testing::split(line, '\t');
    ASSERT_EQ(fields.size(), 3u) << line;
    EXPECT_EQ(fields[1], "dsp-words");
    const auto recording = std::find_if(test.begin(), test.end(), [&](const auto& r) { return r.audio == fields[0]; });
    ASSERT_NE(recording, test.end()) << line;
    const std::string word = utf8_to_big5(fields[2]).value_or("");
    EXPECT_EQ(word, recording->big5) << line;
    referenced.insert(word);
    // No other entry is written or heard in the recording, so a single word
    // is all it says.
    for (const lexical_data::VocabularyEntry& entry : vocabulary->entries) {
      const bool said =
          contains_text(recording->big5, entry.name) || holds_run(syllables_of(recording->words), entry.syllables);
      EXPECT_EQ(said, entry.name == word) << line << " and " << big5_to_utf8(entry.name);
    }
  }
  EXPECT_EQ(lines.size(), 5u);
  const std::set<std::string> spoken = {kws::testing::big5("設定"), kws::testing::big5("花園"),
                                        kws::testing::big5("電話"), kws::testing::big5("朋友")};
  EXPECT_EQ(referenced, spoken);
  // Absent words, none written or heard in any test recording.
  int absent = 0;
  for (const lexical_data::VocabularyEntry& entry : vocabulary->entries) {
    if (referenced.contains(entry.name)) continue;
    ++absent;
    for (const RealUtterance& recording : test) {
      EXPECT_FALSE(contains_text(recording.big5, entry.name) ||
                   holds_run(syllables_of(recording.words), entry.syllables))
          << big5_to_utf8(recording.big5) << " says the absent " << big5_to_utf8(entry.name);
    }
  }
  EXPECT_EQ(absent, 3);
  EXPECT_EQ(report.spoken_words, 4);
  EXPECT_EQ(report.absent_words, 3);
  EXPECT_EQ(report.heard_elsewhere, 3);  // 電, 是, 事
  EXPECT_EQ(report.recordings_with_words, 5);

  // The same inputs give the same bytes.
  WordVocabularyReport again;
  const std::optional<lexical_data::Vocabulary> same = word_vocabulary("dsp-words", test, data, 5, again, error);
  ASSERT_TRUE(same.has_value()) << error;
  EXPECT_EQ(lexical_data::dat_text(*same), lexical_data::dat_text(*vocabulary));
  EXPECT_EQ(lexical_data::spl_text(*same), lexical_data::spl_text(*vocabulary));
}

}  // namespace
}  // namespace kws::recipes
