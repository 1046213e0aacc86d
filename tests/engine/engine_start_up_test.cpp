#include "engine/engine_start_up.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <fstream>

#include "engine/start_up_files.h"
#include "lexicon/syllable_table.h"
#include "models/hmm_definition.h"
#include "models/model_inventory.h"
#include "platform/text_encoding.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"

namespace kws {
namespace {

using ::testing::ExitedWithCode;
using Shown = Refusal::Shown;

class EngineStartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = testing::write_fixture_data_directory(testing::scratch_directory() / "data");
    engine_ = std::make_unique<LoadedData>();
    ASSERT_EQ(set_data_directory(*engine_, directory_.string() + "/"), "");
  }

  // The refusal start-up returns, checked to be shown where expected; an
  // empty text when start-up succeeded.
  std::string refusal_text(Shown shown = Shown::console, bool waits = false) {
    const std::optional<Refusal> refusal = engine_start_up(*engine_);
    if (!refusal) return {};
    EXPECT_EQ(refusal->shown, shown) << refusal->text;
    EXPECT_EQ(refusal->wait_for_key, waits) << refusal->text;
    EXPECT_TRUE(refusal->ends_station);
    return refusal->text;
  }

  // Start-up in a child left with far less address space than the 60
  // anti-models need, ending as the program edge does.
  void start_up_with_little_memory() {
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (1u << 20);
    const rlimit cap{limit, limit};
    setrlimit(RLIMIT_AS, &cap);
    const std::optional<Refusal> refusal = engine_start_up(*engine_);
    std::fputs(refusal ? refusal->text.c_str() : "started", stderr);
    std::exit(refusal ? 1 : 0);
  }

  void replace(const std::string& relative, std::string_view bytes) { testing::write_file(directory_ / relative, bytes); }

  std::filesystem::path directory_;
  std::unique_ptr<LoadedData> engine_;
};

TEST_F(EngineStartUp, LoadsEveryFileOfTheDataDirectory) {
  testing::CapturingSink sink;
  EXPECT_EQ(engine_start_up(*engine_), std::nullopt);
  EXPECT_TRUE(sink.lines.empty());
  EXPECT_TRUE(sink.boxes.empty());
  EXPECT_EQ(engine_->data_directory, directory_.string());  // trailing separator dropped

  ASSERT_EQ(engine_->main_models.count, kInventorySize);
  for (int slot = 0; slot < kInventorySize; ++slot) {
    EXPECT_EQ(engine_->main_models.records[slot].model_index, slot_order()[slot]) << slot;
  }
  EXPECT_EQ(engine_->main_models.records[kSilenceSlot].state_count, 5);
  EXPECT_EQ(engine_->main_models.records[0].mixture_count[2], 2);
  EXPECT_EQ(engine_->anti_models.count, 60);

  EXPECT_EQ(engine_->keyword_references[0].keyword_count, 1);  // record 1 holds one keyword
  EXPECT_STREQ(engine_->keyword_references[0].keywords[0], utf8_to_big5("板橋")->c_str());
  EXPECT_EQ(engine_->keyword_references[2].keyword_count, 0);

  EXPECT_EQ(engine_->character_readings[1].syllable_number, syllable_number_of(*utf8_to_big5("ㄒㄧㄥˊ")));
  EXPECT_STREQ(engine_->character_readings[1].character, utf8_to_big5("行")->c_str());

  EXPECT_EQ(engine_->analysis.fft_length, 512);  // the analysis set-up closes start-up
}

TEST(KeywordReferences, LineBreaksCarryNoMeaning) {
  auto per_line = std::make_unique<std::array<KeywordReferenceRecord, kReferenceRecords>>();
  auto one_line = std::make_unique<std::array<KeywordReferenceRecord, kReferenceRecords>>();
  for (auto& record : *one_line) record = {7, {}};  // stale values from an earlier load
  std::string lines;
  for (int record = 1; record <= kReferenceRecords; ++record) {
    lines += std::to_string(100 + record) + " " + (record == 2 ? "0" : "2 a" + std::to_string(record) + " b") + "\n";
  }
  std::string flat = lines;
  std::replace(flat.begin(), flat.end(), '\n', ' ');
  ASSERT_EQ(parse_keyword_references(lines, "t", *per_line), "");
  ASSERT_EQ(parse_keyword_references(flat, "t", *one_line), "");
  EXPECT_EQ(std::memcmp(per_line->data(), one_line->data(), sizeof *per_line), 0);
  // A record with count 0 has no keyword tokens: the next token starts record 3.
  EXPECT_EQ((*per_line)[1].keyword_count, 0);
  EXPECT_STREQ((*per_line)[2].keywords[0], "a3");
}

TEST(KeywordReferences, RecordsThatDoNotFitAreRefused) {
  auto records = std::make_unique<std::array<KeywordReferenceRecord, kReferenceRecords>>();
  std::string many = "1 21";
  for (int k = 0; k < 21; ++k) many += " w";
  EXPECT_EQ(parse_keyword_references(many, "t.txt", *records), "t.txt: record 1: keyword count 21 is outside 0..20");
  EXPECT_EQ(parse_keyword_references("1 1 a 2 -1", "t.txt", *records),
            "t.txt: record 2: keyword count -1 is outside 0..20");
  EXPECT_EQ(parse_keyword_references("1 1 abcdefghijklmnopqrst", "t.txt", *records),
            "t.txt: record 1: keyword 1 is 20 bytes long, more than 19");
  EXPECT_EQ(parse_keyword_references("1 x", "t.txt", *records), "t.txt: record 1: keyword count \"x\" is not a number");
  EXPECT_EQ(parse_keyword_references("1 1 abcdefghijklmnopqrs", "t.txt", *records), "");  // 19 bytes fit
  EXPECT_STREQ((*records)[0].keywords[0], "abcdefghijklmnopqrs");
}

TEST_F(EngineStartUp, DeepDataDirectoriesWorkAndOnlyImpossibleOnesAreRefused) {
  std::filesystem::path deep = directory_.parent_path();
  while (deep.string().size() < 300) deep /= "a-rather-long-folder-name";
  std::filesystem::create_directories(deep);
  std::filesystem::rename(directory_, deep / "data");
  ASSERT_EQ(set_data_directory(*engine_, (deep / "data").string()), "");
  testing::CapturingSink sink;
  EXPECT_EQ(refusal_text(), "");
  EXPECT_EQ(engine_->main_models.count, kInventorySize);

  const std::string too_long(5000, 'x');
  EXPECT_NE(set_data_directory(*engine_, too_long), "");
  EXPECT_EQ(engine_->data_directory, (deep / "data").string());  // unchanged
}

// Every start-up failure comes back as its fixed text, shown where the
// station shows it; the program edge ends with status 1 after it.
TEST_F(EngineStartUp, MissingFilesAreRefusedWithTheirTexts) {
  testing::CapturingSink sink;
  const auto without = [&](const std::filesystem::path& file, Shown shown, bool waits = false) {
    const std::string saved = (directory_ / "saved").string();
    std::filesystem::rename(directory_ / file, saved);
    const std::string text = refusal_text(shown, waits);
    std::filesystem::rename(saved, directory_ / file);
    return text;
  };
  EXPECT_EQ(without("rcdhmm/anti0630.hmm", Shown::console), "Open file man.hmm error!\n");
  EXPECT_EQ(without("train_index.txt", Shown::message_box), "Open train_index.txt error!\n");
  EXPECT_EQ(without("rcdmodel", Shown::console), "Open file models error!\n");
  EXPECT_EQ(without("model/bsl/b_o", Shown::message_box),
            "Open HMM " + (directory_ / "model" / "bsl" / "b_o").string() + " error!\n");
  // The reading table's text pauses for a key before the station ends.
  EXPECT_EQ(without("dict1.bin", Shown::console, true), "Open File Table read error !!\n");
  EXPECT_TRUE(sink.lines.empty() && sink.boxes.empty()) << "start-up shows nothing itself";

  replace("rcdmodel", "2 b_a Sil");  // names compare byte for byte
  EXPECT_EQ(refusal_text(Shown::message_box), "Unknown model Sil\n");
}

TEST_F(EngineStartUp, ModelMemoryThatCannotBeHadIsRefused) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve address space, so an address-space limit cannot be set";
#else
  // The text holds no regular-expression character.
  EXPECT_EXIT(start_up_with_little_memory(), ExitedWithCode(1), "HMM Memory allocation error !\n");
#endif
}

TEST_F(EngineStartUp, CountsBeyondTheEnginesArraysAreRefused) {
  replace("rcdmodel", "161 sil");
  EXPECT_EQ(refusal_text(), (directory_ / "rcdmodel").string() + ": model count 161 is outside 0..160\n");
  std::string bytes(2, '\0');
  bytes[0] = 61;
  replace("rcdhmm/anti0630.hmm", bytes);
  EXPECT_THAT(refusal_text(), ::testing::EndsWith(": anti-model count 61 is outside 0..60\n"));
  bytes[0] = bytes[1] = '\xFF';
  replace("rcdhmm/anti0630.hmm", bytes);
  EXPECT_THAT(refusal_text(), ::testing::EndsWith(": anti-model count -1 is outside 0..60\n"));
}

TEST_F(EngineStartUp, ModelCountKeepsOnlyItsLow16Bits) {
  replace("rcdmodel", "65537 sil");  // 0x10001: one model
  testing::CapturingSink sink;
  EXPECT_EQ(refusal_text(), "");
  EXPECT_EQ(engine_->main_models.count, 1);
  EXPECT_EQ(engine_->main_models.records[0].model_index, 0);
}

TEST_F(EngineStartUp, RefusedFilesAreNamed) {
  replace("model/bsl/b_a", "<NumStates> 9");
  EXPECT_THAT(refusal_text(), ::testing::EndsWith("b_a: <NumStates> 9 is outside 2..6\n"));
  replace("train_index.txt", "1 21");
  EXPECT_THAT(refusal_text(), ::testing::EndsWith("train_index.txt: record 1: keyword count 21 is outside 0..20\n"));
}

TEST_F(EngineStartUp, ShortInputsLeaveTheRestAsItWas) {
  replace("rcdmodel", "3 sil b_a");         // fewer names than announced
  replace("train_index.txt", "1 1 x 2 2 y");  // record 2 ends early, records 3..50 absent
  replace("dict1.bin", std::string(8, '\x01'));
  testing::CapturingSink sink;
  EXPECT_EQ(refusal_text(), "");
  EXPECT_EQ(engine_->main_models.count, 3);
  EXPECT_EQ(engine_->main_models.records[1].model_index, model_index_of("b_a"));
  EXPECT_EQ(engine_->main_models.records[2].state_count, 0);
  EXPECT_EQ(engine_->keyword_references[1].keyword_count, 2);
  EXPECT_STREQ(engine_->keyword_references[1].keywords[0], "y");
  EXPECT_EQ(engine_->keyword_references[2].keyword_count, 0);
  EXPECT_EQ(engine_->character_readings[0].syllable_number, 0x01010101);
  EXPECT_EQ(engine_->character_readings[1].syllable_number, 0);
}

}  // namespace
}  // namespace kws
