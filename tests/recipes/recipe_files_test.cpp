// kws-recipes end to end on a small world written here: reading data that
// knows only the characters the corpora need (each read with one of four
// syllables), five small vocabularies and twenty transcripts of the real
// speaker. Every output must pass the checks the downstream programs rely
// on, the same seed must give the same bytes, and the coverage part must
// bring every unit to its count although the texts say only a few.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "lexical_data/vocabulary_files.h"
#include "output_checks.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "recipes/carriers.h"
#include "recipes/recipe_writer.h"
#include "recipes/text_reader.h"
#include "support/fixture_data.h"

namespace kws::recipes {
namespace {

using kws::testing::write_file;
using testing::CheckedOutputs;

// What the readings of the small world's characters cycle through.
constexpr std::string_view kFewSyllables[] = {"ㄉㄚˋ", "ㄇㄚ", "ㄋㄧˇ", "ㄏㄠˇ"};

struct SmallVocabulary {
  const char* name;
  std::vector<std::pair<const char*, const char*>> entries;  // name, syllables
};

const std::vector<SmallVocabulary> kVocabularies = {
    {"火車系統",
     {{"基隆", "ㄐㄧˍ ㄌㄨㄥˊ"},
      {"台北", "ㄊㄞˊ ㄅㄟˇ"},
      {"高雄", "ㄍㄠˍ ㄒㄩㄥˊ"},
      {"花蓮", "ㄏㄨㄚˍ ㄌㄧㄢˊ"},
      {"台東", "ㄊㄞˊ ㄉㄨㄥˍ"}}},
    {"人名", {{"孫中山", "ㄙㄨㄣˍ ㄓㄨㄥˍ ㄕㄢˍ"}, {"李白", "ㄌㄧˇ ㄅㄞˊ"}, {"杜甫", "ㄉㄨˋ ㄈㄨˇ"}}},
    {"股票", {{"台積電", "ㄊㄞˊ ㄐㄧˍ ㄉㄧㄢˋ"}, {"聯電", "ㄌㄧㄢˊ ㄉㄧㄢˋ"}, {"鴻海", "ㄏㄨㄥˊ ㄏㄞˇ"}}},
    {"銀行", {{"台灣銀行", "ㄊㄞˊ ㄨㄢˍ ㄧㄣˊ ㄏㄤˊ"}, {"土地銀行", "ㄊㄨˇ ㄉㄧˋ ㄧㄣˊ ㄏㄤˊ"}}},
    {"數字", {{"零", "ㄌㄧㄥˊ"}, {"一", "ㄧˍ"}, {"二", "ㄦˋ"}}},
};

// id, traditional text, seconds; W19 has no audio file.
const std::vector<std::tuple<std::string, std::string, double>> kTranscripts = {
    {"W01", "設定溫度", 2.0},       {"W02", "花園設定", 2.1},
    {"W03", "溫度設定二十度", 2.5}, {"W04", "\xEF\xBB\xBF一三五一五零八二一九二", 5.1},
    {"W05", "打電話給花園", 2.0},   {"W06", "設定DJ版", 2.0},
    {"W07", "花園(新店)", 2.0},     {"W08", "設定溫度二十九度", 8.2},
    {"W09", "天天設定", 2.0},       {"W10", "溫度二十", 2.0},
    {"W11", "花園溫度", 2.0},       {"W12", "電話設定", 2.0},
    {"W13", "設定花園", 2.0},       {"W14", "二十溫度", 2.0},
    {"W15", "鬱金香花園", 2.0},     {"W16", "花園電話", 2.0},
    {"W17", "今天天氣", 2.2},       {"W18", "設定電話", 2.0},
    {"W19", "天氣溫度", 2.0},       {"W20", "溫度花園設定", 2.4},
    {"W21", "天氣設定", 2.0},       {"W22", "電話花園", 2.0},
    {"W23", "溫度天氣", 2.0},       {"W24", "花園天氣", 2.0},
};

constexpr char kPhrases[] =
    "設定 80 ㄕㄜˋ ㄉㄧㄥˋ\n溫度 50 ㄨㄣ ㄉㄨˋ\n花園 30 ㄏㄨㄚ ㄩㄢˊ\n天氣 40 ㄊㄧㄢ ㄑㄧˋ\n電話 30 ㄉㄧㄢˋ ㄏㄨㄚˋ\n"
    "今天 60 ㄐㄧㄣ ㄊㄧㄢ\n朋友 20 ㄆㄥˊ ㄧㄡˇ\n";

// The hanzi of UTF-8 texts, each once.
void add_hanzi(std::string_view text, std::set<std::string>& hanzi) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string character(text.substr(i, length));
    const std::optional<std::string> big5 = utf8_to_big5(character);
    if (big5 && lexical_data::is_big5_hanzi(*big5)) hanzi.insert(character);
    i += length;
  }
}

class RecipeFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // ctest runs each test of the suite in its own process, at the same time:
    // each process writes its own copy of the small world.
    root_ = std::filesystem::current_path() / "scratch" / ("RecipeFiles." + std::to_string(getpid()));
    std::filesystem::remove_all(root_);

    std::set<std::string> hanzi;
    for (const Domain domain : {Domain::stations, Domain::people, Domain::stocks, Domain::banks, Domain::songs,
                                Domain::digits, Domain::syllables, Domain::general}) {
      for (const CarrierUse use : {CarrierUse::training, CarrierUse::test}) {
        for (const std::string_view text : carrier_templates(domain, use)) add_hanzi(text, hanzi);
      }
    }
    for (const std::string_view text : sentences_without_entries()) add_hanzi(text, hanzi);
    for (const std::string_view text : lead_ins()) add_hanzi(text, hanzi);
    add_hanzi(kLatticeSentence, hanzi);
    add_hanzi(kSpokenReadings, hanzi);
    for (const auto& [id, text, seconds] : kTranscripts) add_hanzi(text, hanzi);
    hanzi.erase("鬱");  // W15 has a character without a reading
    std::string characters = "# word.csv of the small world\n";
    std::size_t next = 0;
    for (const std::string& character : hanzi) {
      characters += character + ",0," + std::string(kFewSyllables[next++ % std::size(kFewSyllables)]) + "\n";
    }
    write_file(root_ / "chewing" / "word.csv", characters);
    write_file(root_ / "chewing" / "tsi.big5.src", utf8_to_big5(kPhrases).value());

    for (const SmallVocabulary& small : kVocabularies) {
      lexical_data::Vocabulary vocabulary;
      vocabulary.name = small.name;
      for (const auto& [name, syllables] : small.entries) {
        lexical_data::VocabularyEntry entry;
        entry.name = utf8_to_big5(name).value();
        for (const std::string& syllable : testing::split(syllables, ' ')) {
          entry.syllables.push_back(lexical_data::syllable_row_of_utf8_token(syllable));
        }
        vocabulary.entries.push_back(entry);
      }
      write_file(root_ / "data" / "data" / (vocabulary.name + ".dat"), lexical_data::dat_text(vocabulary));
      write_file(root_ / "data" / "data" / (vocabulary.name + ".spl"), lexical_data::spl_text(vocabulary));
    }

    std::string transcripts = "utterance\tsimplified\ttraditional\tseconds\n";
    for (const auto& [id, text, seconds] : kTranscripts) {
      transcripts += id + "\t-\t" + text + "\t" + std::to_string(seconds) + "\n";
      if (id != "W19") write_file(root_ / "aishell" / "audio" / (id + ".flac"), "");
    }
    write_file(root_ / "aishell" / "transcripts.tsv", transcripts);
    write_file(root_ / "overrides.txt", "# no reviewed readings\n");

    for (const auto& [folder, seed] : {std::pair{"first", 7}, std::pair{"again", 7}, std::pair{"other", 8}}) {
      RecipeOptions options{root_ / "chewing",
                            root_ / "aishell",
                            root_ / "data",
                            root_ / "overrides.txt",
                            root_ / folder,
                            60,
                            static_cast<std::uint64_t>(seed),
                            {},
                            {},
                            {}};
      std::string error;
      std::optional<RecipeReport> report = write_recipes(options, error);
      ASSERT_TRUE(report.has_value()) << error;
      if (std::string(folder) == "first") report_ = std::move(report);
    }
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  static std::string bytes(const std::string& folder, const std::string& file) {
    return read_file_bytes((root_ / folder / file).string()).value_or("(missing)");
  }

  static inline std::filesystem::path root_;
  static inline std::optional<RecipeReport> report_;
};

const std::vector<std::string> kOutputFiles = {
    "aishell-train.txt", "aishell-test.txt",    "synth-train.recipe",       "bundled-test.recipe", "train_index.txt",
    "eval.recipe",       "eval-references.txt", "real-eval-references.txt", "vocab/aishell.dat",   "vocab/aishell.spl",
};

TEST_F(RecipeFiles, TheSameSeedGivesTheSameBytesAndAnotherSeedOtherRecipes) {
  ASSERT_TRUE(report_.has_value());
  for (const std::string& file : kOutputFiles) {
    EXPECT_NE(bytes("first", file), "(missing)") << file;
    EXPECT_TRUE(bytes("first", file) == bytes("again", file)) << file << " differs between two runs";
  }
  EXPECT_NE(bytes("first", "synth-train.recipe"), bytes("other", "synth-train.recipe"));
  EXPECT_NE(bytes("first", "bundled-test.recipe"), bytes("other", "bundled-test.recipe"));
  // The real speech does not depend on the seed: the test set is fixed.
  EXPECT_EQ(bytes("first", "aishell-test.txt"), bytes("other", "aishell-test.txt"));
}

TEST_F(RecipeFiles, EveryOutputKeepsItsFormatAndPromises) {
  const CheckedOutputs outputs = testing::check_outputs(root_ / "first", root_ / "data");
  EXPECT_EQ(outputs.real_test.size(), 4u);  // a quarter of the 19 usable
  EXPECT_EQ(outputs.real_training.size() + outputs.real_test.size(), 19u);
}

TEST_F(RecipeFiles, LeavesOutTranscriptsByTheRulesAndReadsPhoneNumbersWithYao) {
  std::map<std::string, std::vector<std::string>> listed;
  for (const std::string file : {"aishell-train.txt", "aishell-test.txt"}) {
    for (const testing::CheckedCorpusLine& line : testing::read_corpus_list(root_ / "first" / file)) {
      listed[std::filesystem::path(line.audio).stem().string()] = line.syllables;
    }
  }
  for (const char* left_out : {"W06", "W07", "W08", "W15", "W19"}) EXPECT_FALSE(listed.contains(left_out)) << left_out;
  ASSERT_TRUE(listed.contains("W04"));
  EXPECT_THAT(listed["W04"], ::testing::ElementsAre("ㄧㄠˍ", "ㄙㄢˍ", "ㄨˇ", "ㄧㄠˍ", "ㄨˇ", "ㄌㄧㄥˊ", "ㄅㄚˍ", "ㄦˋ",
                                                    "ㄧㄠˍ", "ㄐㄧㄡˇ", "ㄦˋ"));
  ASSERT_TRUE(listed.contains("W01"));
  EXPECT_THAT(listed["W01"], ::testing::ElementsAre("ㄕㄜˋ", "ㄉㄧㄥˋ", "ㄨㄣˍ", "ㄉㄨˋ"));

  std::map<SkipReason, int> skipped;
  for (const auto& [id, reason] : report_->skipped) ++skipped[reason];
  EXPECT_EQ(skipped[SkipReason::latin_or_brackets], 2);
  EXPECT_EQ(skipped[SkipReason::too_long], 1);
  EXPECT_EQ(skipped[SkipReason::no_reading], 1);
  EXPECT_EQ(skipped[SkipReason::no_audio], 1);
}

TEST_F(RecipeFiles, CoversEveryUnitFortyTimesThoughTheTextsSayFourSyllables) {
  const std::map<std::string, int> counts =
      testing::unit_counts(testing::read_recipe(root_ / "first" / "synth-train.recipe"));
  ASSERT_EQ(counts.size(), 150u);
  for (const auto& [unit, count] : counts) EXPECT_GE(count, kUnitCoverage) << unit;
  EXPECT_TRUE(report_->training.unreachable_units.empty());
  EXPECT_GT(report_->training.coverage_utterances, 0);
  EXPECT_THAT(report_text(*report_), ::testing::HasSubstr("rarest units:"));
}

TEST_F(RecipeFiles, SaysEachVocabularyEntryTwiceAndFillsUpWithPhraseSentences) {
  // 16 distinct entries twice, one to three per utterance.
  EXPECT_EQ(report_->training.distinct_entries, 16);
  EXPECT_GE(report_->training.entry_utterances, 11);
  EXPECT_LE(report_->training.entry_utterances, 32);
  EXPECT_EQ(report_->training.transcript_utterances, 15);
  EXPECT_EQ(report_->training.entry_utterances + report_->training.transcript_utterances +
                report_->training.phrase_utterances,
            std::max(60, report_->training.entry_utterances + report_->training.transcript_utterances));
}

}  // namespace
}  // namespace kws::recipes
