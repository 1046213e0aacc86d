// The recognition passes on designed recordings: the preamble's refusals,
// end trimming, the keyword pass end to end and the free syllable loop.
#include "search/recognition_pass.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/message_sink.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/test_vocabulary.h"

namespace kws {
namespace {

using testing::big5;

constexpr std::int16_t kLoud = 1000;

class RecognitionPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::set_uniform_models(e.data, 3);
    testing::set_flat_anti_models(e.data, 3, 4.0f);  // every anti-model state scores -2
    testing::fill_state_scores(e.work, kMaxFrames, -10.0f);
    testing::build_test_vocabulary(e.vocabulary,
                                   {{big5("台北"), {{0, 112}, {6, 113}}}, {big5("高雄"), {{12, 114}, {19, 115}}}});
    e.work.trimming.high = 10000;
    e.work.trimming.low = 10000;
    e.work.settings.results_wanted = 10;
  }

  // A recording of `samples` samples whose first `loud` samples are speech:
  // +/-1000 in blocks of ten, so every tenth sample averages to no offset.
  void record(int samples, int loud) {
    for (int i = 0; i < kSampleBufferSamples; ++i) {
      e.work.sample_buffer[static_cast<std::size_t>(i)] =
          i < loud ? static_cast<std::int16_t>((i / 10) % 2 == 0 ? kLoud : -kLoud) : std::int16_t{0};
    }
    e.work.utterance.capture_start = 0;
    e.work.utterance.capture_end = samples;
  }

  std::unique_ptr<testing::TestEngine> owner = std::make_unique<testing::TestEngine>();
  testing::TestEngine& e = *owner;
  testing::CapturingSink sink;
};

TEST_F(RecognitionPassTest, LiveRecordingOfPointFourSecondsOrLessIsRefused) {
  e.work.accepted.push_back({"old", 0, 1});
  record(6400, 6400);
  EXPECT_EQ(prepare_utterance(e.vocabulary, e.work, true), kRefused);
  EXPECT_TRUE(e.work.accepted.empty());

  // One sample more passes; speech to the end keeps the whole recording.
  record(6401, 6401);
  ASSERT_EQ(prepare_utterance(e.vocabulary, e.work, true), kRecognised);
  EXPECT_EQ(e.work.utterance.byte_count, 12802);
  EXPECT_EQ(e.work.search.frame_count, 6401 / 160 - 1);
  EXPECT_EQ(e.work.analysis_source.samples, e.work.sample_buffer.data());
  EXPECT_EQ(e.work.analysis_source.end, 6401);

  // A stored utterance is taken as 3 s whatever the capture indices say.
  record(100, 48000);
  ASSERT_EQ(prepare_utterance(e.vocabulary, e.work, false), kRecognised);
  EXPECT_EQ(e.work.utterance.byte_count, 96000);
  EXPECT_EQ(e.work.search.frame_count, 299);
}

TEST_F(RecognitionPassTest, TrimmedUtteranceNeedsPointThreeSeconds) {
  // Trimming steps back from the last sample by 40 to the first window above
  // the high threshold, then forward to the first below the low one.
  record(8000, 4719);  // stops at 4759, ends at 4799
  EXPECT_EQ(prepare_utterance(e.vocabulary, e.work, true), kRefused);
  EXPECT_EQ(e.work.utterance.end, 4799);

  record(8001, 4720);  // stops at 4760, ends at 4800
  ASSERT_EQ(prepare_utterance(e.vocabulary, e.work, true), kRecognised);
  EXPECT_EQ(e.work.utterance.end, 4800);
  EXPECT_EQ(e.work.search.frame_count, 29);
}

TEST_F(RecognitionPassTest, TrimmingComparesStrictlyAndNeverPassesTheRecording) {
  // Speech up to 7999, a quieter tail of amplitude 500 up to 8199, then
  // silence. Windows on the 40-sample grid from 15999: 8039 holds 60000,
  // 8079..8199 exactly 40000, 8239 20000.
  e.work.utterance.byte_count = 2 * 16000;
  record(16000, 8000);
  for (int i = 8000; i < 8200; ++i) e.work.sample_buffer[static_cast<std::size_t>(i)] = 500;
  // Windows equal to the high threshold do not stop the backward steps.
  e.work.trimming.high = 40000;
  e.work.trimming.low = 50000;
  trim_utterance_end(e.work);
  EXPECT_EQ(e.work.utterance.start, 0);
  EXPECT_EQ(e.work.utterance.end, 8079);
  // Windows equal to the low threshold do not stop the forward steps.
  e.work.trimming.low = 40000;
  trim_utterance_end(e.work);
  EXPECT_EQ(e.work.utterance.end, 8239);

  // Speech up to the last sample: the forward steps run past it, the end
  // stays at the sample count.
  e.work.utterance.byte_count = 2 * 6401;
  record(6401, 6401);
  trim_utterance_end(e.work);
  EXPECT_EQ(e.work.utterance.end, 6401);
}

TEST_F(RecognitionPassTest, OffsetBeyondFiveHundredIsRefused) {
  record(8000, 0);
  for (const auto& [offset, outcome] :
       {std::pair{600, kRefused}, {-600, kRefused}, {501, kRefused}, {500, kRecognised}}) {
    std::fill_n(e.work.sample_buffer.data(), 8000, static_cast<std::int16_t>(offset));
    EXPECT_EQ(prepare_utterance(e.vocabulary, e.work, true), outcome) << offset;
  }
}

TEST_F(RecognitionPassTest, VocabularySizeBoundsTheResultsWanted) {
  std::vector<testing::TestEntry> entries;
  for (int i = 0; i < 12; ++i) entries.push_back({"ab", {{i, 112 + i}}});
  testing::build_test_vocabulary(e.vocabulary, entries);
  record(8000, 8000);
  e.work.settings.results_wanted = 30;
  EXPECT_EQ(prepare_utterance(e.vocabulary, e.work, true), kRecognised);
  EXPECT_EQ(e.work.settings.results_wanted, 12);
  e.work.settings.results_wanted = 10;
  EXPECT_EQ(prepare_utterance(e.vocabulary, e.work, true), kRecognised);
  EXPECT_EQ(e.work.settings.results_wanted, 10);

  testing::build_test_vocabulary(e.vocabulary, {});
  EXPECT_EQ(prepare_utterance(e.vocabulary, e.work, true), kRefused);
  EXPECT_EQ(recognize_keywords(e.data, e.vocabulary, e.work, true), kRefused);
  EXPECT_EQ(recognize_large_vocabulary(e.data, e.vocabulary, e.work, true).refusal, UtteranceRefusal::empty_vocabulary);
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(RecognitionPassTest, KeywordPassFindsRanksAndVerifiesTheSpokenEntry) {
  e.work.settings.keyword_spotting = 0;
  record(8000, 8000);  // T = 49
  // 台北 spoken over all 49 frames; everything else scores -10 per frame.
  const std::array<std::pair<int, std::array<int, 3>>, 4> plan{
      {{0, {3, 3, 3}}, {112, {5, 5, 5}}, {6, {3, 3, 3}}, {113, {5, 5, 6}}}};
  int t = 0;
  for (const auto& [slot, frames] : plan) {
    for (int state = 1; state <= 3; ++state) {
      for (int i = 0; i < frames[static_cast<std::size_t>(state) - 1]; ++i) {
        e.work.state_scores[static_cast<std::size_t>(t++)][static_cast<std::size_t>(slot)]
                           [static_cast<std::size_t>(state)] = 0.0f;
      }
    }
  }
  ASSERT_EQ(t, 49);
  e.work.settings.results_wanted = 30;
  ASSERT_EQ(recognize_keywords(e.data, e.vocabulary, e.work, true), kRecognised);
  EXPECT_EQ(e.work.settings.results_wanted, 2);
  ASSERT_EQ(e.work.results.count, 2);
  EXPECT_EQ(e.work.results.entries[static_cast<std::size_t>(e.work.display_order[0])], 0);
  ASSERT_FALSE(e.work.accepted.empty());
  EXPECT_EQ(e.work.accepted[0].name, big5("台北"));
  EXPECT_EQ(e.work.details[0][0].substr(0, 10), big5(" 1. (接受)"));
  EXPECT_FALSE(e.work.details[1][0].empty());
  EXPECT_LE(e.work.times.start, e.work.times.forward_end);
  EXPECT_LE(e.work.times.forward_end, e.work.times.verification_start);
  EXPECT_LE(e.work.times.verification_start, e.work.times.verification_end);
}

class SyllableLoopTest : public RecognitionPassTest {
 protected:
  // Single-syllable entries on their own initials and finals, each unit
  // scoring `score` in every state at every frame.
  void build_loop(const std::vector<float>& scores) {
    std::vector<testing::TestEntry> entries;
    for (std::size_t i = 0; i < scores.size(); ++i)
      entries.push_back({"ab", {{static_cast<int>(i), 112 + static_cast<int>(i)}}});
    testing::build_test_vocabulary(e.vocabulary, entries);
    for (std::size_t i = 0; i < scores.size(); ++i) {
      const std::string text = big5(kSyllables[i]);
      LevelNode& node = e.vocabulary.levels[0].nodes[i];
      std::snprintf(node.syllable_text, sizeof node.syllable_text, "%s", text.c_str());
      for (int t = 0; t < kMaxFrames; ++t) {
        e.work.state_scores[static_cast<std::size_t>(t)][i].fill(scores[i]);
        e.work.state_scores[static_cast<std::size_t>(t)][112 + i].fill(scores[i]);
      }
    }
  }

  std::string loop_text() { return syllable_loop_text(recognize_syllable_loop(e.data, e.vocabulary, e.work)); }

  static constexpr std::array<const char*, 12> kSyllables{"ㄅㄚˍ", "ㄆㄚˍ", "ㄇㄚˍ", "ㄈㄚˍ", "ㄉㄚˍ", "ㄊㄚˍ",
                                                          "ㄋㄚˍ", "ㄌㄚˍ", "ㄍㄚˍ", "ㄎㄚˍ", "ㄏㄚˍ", "ㄐㄧˍ"};
};

TEST_F(SyllableLoopTest, ShowsTheTenBestBestFirst) {
  build_loop({-5, -1, -9, -2, -3, -4, -8, -6, -7, -10, -11, -0.5f});
  record(8000, 8000);
  const SyllableLoopOutcome outcome = recognize_large_vocabulary(e.data, e.vocabulary, e.work, true);
  ASSERT_EQ(outcome.refusal, UtteranceRefusal::none);
  EXPECT_EQ(outcome.text, "(ㄐㄧˍ)(ㄆㄚˍ)(ㄈㄚˍ)(ㄉㄚˍ)(ㄊㄚˍ)(ㄅㄚˍ)(ㄌㄚˍ)(ㄍㄚˍ)(ㄋㄚˍ)(ㄇㄚˍ)");
  EXPECT_EQ(outcome.best_syllables.size(), 10u);
}

TEST_F(SyllableLoopTest, FewerSyllablesAllShownTiesHigherNodeFirstTransitionsCount) {
  build_loop({-2, -1, -2});
  e.work.search.frame_count = 30;
  EXPECT_EQ(loop_text(), "(ㄆㄚˍ)(ㄇㄚˍ)(ㄅㄚˍ)");

  // Six emitting states entered with 1.0 (not 0): with every score and
  // transition at 0, the first exit is at frame 5 and equals 1.0.
  build_loop({0, -1});
  EXPECT_EQ(loop_text(), "(ㄅㄚˍ)(ㄆㄚˍ)");
  EXPECT_EQ(e.work.search.level_exit_scores.at(0, 0, 4), kMinusInfinity);
  EXPECT_EQ(e.work.search.level_exit_scores.at(0, 0, 5), 1.0f);
  // An unlikely exit from the better syllable's final puts it last.
  e.data.main_models.records[112].log_transition[3][4] = -1000.0f;
  EXPECT_EQ(loop_text(), "(ㄆㄚˍ)(ㄅㄚˍ)");
}

}  // namespace
}  // namespace kws
