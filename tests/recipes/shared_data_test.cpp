// kws-recipes on the real inputs: the chewing reading data, the bundled
// vocabularies and the 500 utterances of the real speaker. Needs the shared
// data beside the repository; a clone without it skips.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "engine/engine_start_up.h"
#include "engine/start_up_files.h"
#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "lexical_data/reading_data.h"
#include "lexicon/vocabulary.h"
#include "output_checks.h"
#include "platform/token_reader.h"
#include "recipes/recipe_writer.h"
#include "support/capturing_sink.h"
#include "support/test_vocabulary.h"

namespace kws::recipes {
namespace {

using ::testing::ElementsAre;

const std::filesystem::path kChewing = KWS_CHEWING_DIR;
const std::filesystem::path kAishell = KWS_AISHELL_DIR;
const std::filesystem::path kData = KWS_DATA_DIR;
const std::filesystem::path kTraining = KWS_TRAINING_DIR;

class SharedData : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kChewing / "tsi.big5.src") || !std::filesystem::exists(kAishell / "transcripts.tsv")) {
      GTEST_SKIP() << "the shared data is not at " << kChewing << " and " << kAishell
                   << " (it lives beside the repository, in ../shared/data); nothing to make recipes from";
    }
  }
};

TEST_F(SharedData, ReadsKnownTranscriptsAsTheSpeakerSaysThemAndHoldsAHundredOut) {
  std::string error;
  const std::optional<lexical_data::ReadingData> data = lexical_data::read_reading_data(kChewing, error);
  ASSERT_TRUE(data.has_value()) << error;
  const std::vector<lexical_data::RankedCharacter> ranked = lexical_data::rank_readings(*data);
  const std::optional<lexical_data::ReadingOverrides> reviewed = lexical_data::parse_reading_overrides(
      read_file_bytes((kTraining / "reading_overrides.txt").string()).value_or(""), "overrides", error);
  ASSERT_TRUE(reviewed.has_value()) << error;
  const lexical_data::ReadingOverrides overrides = with_spoken_readings(*reviewed);
  const lexical_data::NameReader names(*data, ranked, overrides);
  const TextReader reader(*data, names);
  const std::optional<std::vector<Transcript>> transcripts = parse_transcripts(
      read_file_bytes((kAishell / "transcripts.tsv").string()).value_or(""), "transcripts.tsv", error);
  ASSERT_TRUE(transcripts.has_value()) << error;
  ASSERT_EQ(transcripts->size(), 500u);
  const RealSpeech speech = split_real_speech(*transcripts, kAishell, reader);
  EXPECT_EQ(speech.test.size(), 100u);
  EXPECT_GT(speech.training.size(), 300u);

  const auto syllables = [&speech](std::string_view id) {
    for (const auto* list : {&speech.training, &speech.test}) {
      for (const RealUtterance& utterance : *list) {
        if (utterance.id == id) return syllable_list_text(syllables_of(utterance.words));
      }
    }
    return std::string("(not listed)");
  };
  EXPECT_EQ(syllables("BAC009S0150W0001"), "ㄕㄜˋ ㄉㄧㄥˋ ㄦˋ ㄕˊ ㄐㄧㄡˇ ㄉㄨˋ");  // 設定二十九度
  // A phone number behind a byte-order mark: one is ㄧㄠ.
  EXPECT_EQ(syllables("BAC009S0150W0085"), "ㄧㄠˍ ㄙㄢˍ ㄨˇ ㄧㄠˍ ㄨˇ ㄌㄧㄥˊ ㄅㄚˍ ㄦˋ ㄧㄠˍ ㄐㄧㄡˇ ㄦˋ");
  // A year: one is ㄧ.
  EXPECT_THAT(syllables("BAC009S0150W0162"), ::testing::StartsWith("ㄧˍ ㄐㄧㄡˇ ㄐㄧㄡˇ ㄌㄧㄥˊ ㄋㄧㄢˊ"));
  // Characters in their phrases: 長 of 增長, 行 of 銀行-like words.
  EXPECT_THAT(syllables("BAC009S0150W0295"), ::testing::EndsWith("ㄗㄥˍ ㄓㄤˇ"));  // 推動該公司利潤增長
  // Latin letters, brackets and 7.9 s or more are left out.
  for (const char* id : {"BAC009S0150W0050", "BAC009S0150W0020", "BAC009S0150W0240", "BAC009S0150W0500"}) {
    EXPECT_EQ(syllables(id), "(not listed)") << id;
  }
}

TEST_F(SharedData, WritesRecipesThatKeepEveryPromiseAndAVocabularyTheStationLoads) {
  const std::filesystem::path output = std::filesystem::current_path() / "scratch" / "SharedData";
  std::filesystem::remove_all(output);
  const RecipeOptions options{
      kChewing, kAishell, kData, kTraining / "reading_overrides.txt", output, kDefaultTrainingUtterances, kDefaultSeed,
      {},       {},       {}};
  std::string error;
  const std::optional<RecipeReport> report = write_recipes(options, error);
  ASSERT_TRUE(report.has_value()) << error;
  const testing::CheckedOutputs outputs = testing::check_outputs(output, kData);
  EXPECT_EQ(outputs.real_test.size(), 100u);
  EXPECT_GT(outputs.training.size(), 2700u);
  EXPECT_LT(outputs.training.size(), 3600u);
  for (const auto& [unit, count] : testing::unit_counts(outputs.training)) EXPECT_GE(count, kUnitCoverage) << unit;

  // The vocabulary loads in a data directory with the bundled phone table.
  const std::filesystem::path data = output / "station";
  std::filesystem::create_directories(data / "data");
  std::filesystem::copy_file(kData / "qorphone.tbl", data / "qorphone.tbl");
  std::filesystem::copy_file(output / "vocab" / "aishell.dat", data / "data" / "aishell.dat");
  std::filesystem::copy_file(output / "vocab" / "aishell.spl", data / "data" / "aishell.spl");
  kws::testing::CapturingSink sink;
  auto engine = std::make_unique<LoadedData>();
  ASSERT_EQ(set_data_directory(*engine, data.string()), "");
  kws::testing::set_uniform_models(*engine, 2);
  auto vocabulary = std::make_unique<Vocabulary>();
  ASSERT_EQ(load_vocabulary(engine->data_directory, engine->main_models, "aishell", *vocabulary), std::nullopt);
  EXPECT_EQ(sink.boxes, std::vector<std::string>{});
  EXPECT_EQ(sink.lines, std::vector<std::string>{});
  EXPECT_EQ(vocabulary->loaded_entry_count, static_cast<int>(outputs.real_vocabulary.size()));

  // At least a hundred words the test says, as many it does not.
  std::set<std::string> said;
  int utterances_with_words = 0;
  for (const std::vector<std::string>& words : outputs.real_references) {
    said.insert(words.begin(), words.end());
    utterances_with_words += words.empty() ? 0 : 1;
  }
  EXPECT_GE(said.size(), 100u);
  EXPECT_GE(outputs.real_vocabulary.size() - said.size(), said.size());
  EXPECT_GE(utterances_with_words, 90);
}

}  // namespace
}  // namespace kws::recipes
