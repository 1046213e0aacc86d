// Verification on hand-filled state scores: every unit of an entry scores 0
// in the state a designed path puts it in and -10 elsewhere, so alignment,
// boundaries and segment scores follow from the design by hand.
#include "search/verification.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "models/anti_model_map.h"
#include "models/model_inventory.h"
#include "search/recognition_pass.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/test_vocabulary.h"

namespace kws {
namespace {

using testing::big5;

// Frames spent in each emitting state of one syllable's initial and final.
struct SyllablePlan {
  int initial, final_slot;
  std::array<int, 3> initial_frames, final_frames;
};

// Entry 0 with 3 + 9 frames per syllable: frames 0..23.
const std::vector<SyllablePlan> kTwelveTwelve{{0, 112, {1, 1, 1}, {3, 3, 3}}, {6, 113, {1, 1, 1}, {3, 3, 3}}};

class VerificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::set_uniform_models(e.data, 3);
    testing::set_flat_anti_models(e.data, 3, 4.0f);  // every anti-model state scores -2
    testing::fill_state_scores(e.work, 100, -10.0f);
    testing::build_test_vocabulary(
        e.vocabulary,
        {{big5("台北"), {{0, 112}, {6, 113}}}, {big5("高雄"), {{12, 114}, {19, 115}}}, {big5("山"), {{25, 116}}}});
    e.work.settings.keyword_spotting = 0;
    e.work.settings.results_wanted = 10;
  }

  float& score(int t, int slot, int state) {
    return e.work
        .state_scores[static_cast<std::size_t>(t)][static_cast<std::size_t>(slot)][static_cast<std::size_t>(state)];
  }

  void paint(int t, const std::vector<SyllablePlan>& plan) {
    for (const SyllablePlan& syllable : plan) {
      for (int state = 1; state <= 3; ++state) {
        for (int i = 0; i < syllable.initial_frames[state - 1]; ++i) score(t++, syllable.initial, state) = 0.0f;
      }
      for (int state = 1; state <= 3; ++state) {
        for (int i = 0; i < syllable.final_frames[state - 1]; ++i) score(t++, syllable.final_slot, state) = 0.0f;
      }
    }
  }

  void set_result(int u, int entry, float result_score, int start, int end) {
    const std::string& name = e.vocabulary.names[static_cast<std::size_t>(entry)];
    e.work.results.lines[u] = format_text("%d %s %5.2f", entry + 1, name.c_str(), result_score);
    e.work.results.scores[u] = result_score;
    e.work.results.entries[u] = static_cast<std::int16_t>(entry);
    e.work.results.start_frames[u] = static_cast<std::int16_t>(start);
    e.work.results.end_frames[u] = static_cast<std::int16_t>(end);
  }

  // One result of entry 0 over frames 0..frame_count-1, ranked and verified.
  void verify_single(int frame_count) {
    e.work.search.frame_count = frame_count;
    set_result(0, 0, -5.0f, 0, frame_count - 1);
    e.work.results.count = 1;
    order_results_for_display(e.work);
    verify_results(e.data, e.vocabulary, e.work);
  }

  std::unique_ptr<testing::TestEngine> owner = std::make_unique<testing::TestEngine>();
  testing::TestEngine& e = *owner;
  testing::CapturingSink sink;
};

TEST(AntiModelMapTest, GroupsInitialsAndMapsFinalsOneByOne) {
  const std::vector<std::pair<int, int>> expected{{0, 0},    {5, 0},    {6, 3},    {13, 18}, {58, 1},  {59, 24},
                                                  {111, 21}, {112, 58}, {113, 58}, {131, 6}, {149, 42}};
  for (const auto& [slot, anti] : expected) EXPECT_EQ(kAntiModelMap[static_cast<std::size_t>(slot)], anti) << slot;
}

TEST_F(VerificationTest, DesignedPathGivesItsBoundariesScoresAndConfidences) {
  paint(0, kTwelveTwelve);
  // Units outside the segment's kind never compete: a final, silence and the
  // filler scoring high over the first initial change nothing.
  for (int t = 0; t < 3; ++t) {
    for (int slot : {120, kSilenceSlot, kFillerInitialSlot})
      e.work.state_scores[t][static_cast<std::size_t>(slot)].fill(5.0f);
  }
  verify_single(24);
  EXPECT_EQ(e.work.results.end_frames[0], 23);
  EXPECT_EQ(e.work.verifications[0].raw_score, 0.0f);
  // The first syllable's start is its first frame, later ones start at the
  // previous syllable's last frame, so the first duration counts one less.
  EXPECT_EQ(e.work.details[0][1], "0 11 23 (11) (12) [2][9] [3][9] {0} {2} {11} {14} {23} ");
  EXPECT_EQ(e.work.details[0][2], "");
  // Segments (0,2), (2,11), (11,14), (14,23): the own model pays -10 for the
  // frame a segment shares with its neighbour; the anti-models score -2.
  EXPECT_EQ(e.work.details[0][3],
            "(2: 0.00  0.00 -2.00) (9:-1.00 -1.00 -2.00) (3:-2.50 -2.50 -2.00) (9:-1.00 -1.00 -2.00) ");
  // p1 = 0.5 when the own model is the best competitor; p2 = logistic((k - a) / 2);
  // p3 against ln(0.6 e^q + 0.4 e^a).
  EXPECT_EQ(e.work.details[0][4], "(0.50 0.73 0.55) (0.50 0.62 0.54) (0.50 0.44 0.47) (0.50 0.62 0.54) ");
  EXPECT_EQ(e.work.details[0][5], " <<0.50>><<0.60>><<0.52>> ");
  EXPECT_FLOAT_EQ(e.work.verifications[0].segments[0].p3,
                  static_cast<float>(1.0 / (1.0 + std::exp(0.5 * std::log(0.6 + 0.4 * std::exp(-2.0))))));
}

TEST_F(VerificationTest, EqualPathsKeepTheStateAlreadyHeld) {
  // Seven frames of 0 for six states: keeping the held state on ties leaves
  // the initial after frame 2 (taking the predecessor would give frame 3).
  for (int t = 0; t < 7; ++t) {
    e.work.state_scores[static_cast<std::size_t>(t)][25].fill(0.0f);
    e.work.state_scores[static_cast<std::size_t>(t)][116].fill(0.0f);
  }
  e.work.search.frame_count = 7;
  set_result(0, 2, -1.0f, 0, 6);
  e.work.results.count = 1;
  order_results_for_display(e.work);
  ASSERT_TRUE(align_result(e.data, e.vocabulary, e.work, 0) && trace_segmentation(e.work, 0));
  EXPECT_EQ(e.work.details[0][1], "0 6 (6) [2][4] {0} {2} {6} ");

  // The first syllable may end at 5 or 6 and the second's initial has a frame
  // to spare: keeping the held state puts the boundary at 5.
  for (int state = 1; state <= 3; ++state) {
    score(state - 1, 0, state) = score(state + 2, 112, state) = score(state + 9, 113, state) = 0.0f;
    for (int t = 6; t <= 9; ++t) score(t, 6, state) = 0.0f;
  }
  score(6, 112, 3) = 0.0f;
  e.work.search.frame_count = 13;
  set_result(0, 0, -1.0f, 0, 12);
  ASSERT_TRUE(align_result(e.data, e.vocabulary, e.work, 0) && trace_segmentation(e.work, 0));
  EXPECT_EQ(e.work.details[0][1], "0 5 12 (5) (7) [2][3] [4][3] {0} {2} {5} {9} {12} ");
}

TEST_F(VerificationTest, KeywordModeEndsWhereTrailingFillerScoresBest) {
  paint(0, kTwelveTwelve);
  e.work.settings.keyword_spotting = 1;
  e.work.search.frame_count = 30;
  e.work.search.backward_filler.fill(kMinusInfinity);
  e.work.search.backward_filler[23] = 0.0f;
  set_result(0, 0, -5.0f, 0, 29);
  e.work.results.count = 1;
  order_results_for_display(e.work);
  ASSERT_TRUE(align_result(e.data, e.vocabulary, e.work, 0));
  EXPECT_EQ(e.work.results.end_frames[0], 23);

  // No filler can follow anywhere: ends compare with the filler clamped at
  // -100000 but keep the unclamped sum, so a later end beats an earlier one
  // charged the full minus infinity; an unreachable exit never wins.
  e.work.search.backward_filler[23] = -200000.0f;
  for (int t = 26; t < 30; ++t) score(t, 113, 3) = kMinusInfinity;
  ASSERT_TRUE(align_result(e.data, e.vocabulary, e.work, 0));
  EXPECT_EQ(e.work.results.end_frames[0], 25);
}

TEST_F(VerificationTest, DecisionOnAlignedResults) {
  // 24 frames: end - start = 23 is short of 6 x 4 bytes.
  paint(0, kTwelveTwelve);
  e.work.search.forward_filler[0] = 99.0f;  // verification counts the filler from 0 at frame 0
  e.work.search.forward_filler[23] = -48.0f;
  verify_single(24);
  EXPECT_EQ(e.work.details[0][0], big5(" 1. (拒絕) 台北  -5.00 (時間) 0   23  (23 ) (K)  0.00 (A) -2.00 (F) -2.00 \n"));
  EXPECT_TRUE(e.work.accepted.empty());

  // One frame more in the last state: 24 is enough.
  paint(0, {{0, 112, {1, 1, 1}, {3, 3, 3}}, {6, 113, {1, 1, 1}, {3, 3, 4}}});
  e.work.search.forward_filler[24] = -50.0f;
  verify_single(25);
  EXPECT_EQ(e.work.details[0][0], big5(" 1. (接受) 台北  -5.00 (時間) 0   24  (24 ) (K) 0.00 (A)-2.00 (F)-2.00 \n"));
  ASSERT_EQ(e.work.accepted.size(), 1u);
  EXPECT_EQ(e.work.accepted[0].name, big5("台北"));
  EXPECT_EQ(e.work.accepted[0].end_frame, 24);

  // Better competitors of both kinds everywhere (q = 1 per frame) push the
  // first confidence under 0.39.
  for (int t = 0; t < 25; ++t) {
    for (int slot : {1, 114})
      e.work.state_scores[static_cast<std::size_t>(t)][static_cast<std::size_t>(slot)].fill(1.0f);
  }
  e.work.accepted.clear();
  verify_single(25);
  EXPECT_FLOAT_EQ(e.work.verifications[0].segments[0].p1, static_cast<float>(1.0 / (1.0 + std::exp(0.5))));
  EXPECT_NE(e.work.details[0][0].find(big5("拒絕")), std::string::npos);
  EXPECT_TRUE(e.work.accepted.empty());
}

TEST_F(VerificationTest, SixFrameSyllableIsRejectedWhateverItsScores) {
  paint(0, {{0, 112, {2, 2, 2}, {5, 5, 4}}, {6, 113, {1, 1, 1}, {1, 1, 1}}});
  verify_single(26);
  EXPECT_EQ(e.work.verifications[0].durations[1], 6);
  EXPECT_GE(e.work.verifications[0].v1, 0.39f);
  EXPECT_NE(e.work.details[0][0].find(big5("拒絕")), std::string::npos);
}

TEST(KeywordDecisionTest, EachRuleHasItsEdge) {
  const std::array<std::int16_t, 2> durations{7, 7};
  const float nearest = 0.39f;  // 0.38999998569...
  const float above = std::nextafter(nearest, 1.0f);
  EXPECT_TRUE(keyword_accepted(durations, 4, 10, 34, above));
  EXPECT_FALSE(keyword_accepted(durations, 4, 10, 34, nearest));
  EXPECT_FALSE(keyword_accepted(durations, 4, 10, 33, above));
  const std::array<std::int16_t, 2> short_second{7, 6};
  EXPECT_FALSE(keyword_accepted(short_second, 4, 10, 100, 1.0f));
}

TEST(ResultLineTest, AcceptedAndRejectedDifferInWordsAndBlanks) {
  EXPECT_EQ(big5("接受"), "\xB1\xB5\xA8\xFC");
  EXPECT_EQ(big5("拒絕"), "\xA9\xDA\xB5\xB4");
  EXPECT_EQ(big5("時間"), "\xAE\xC9\xB6\xA1");
  const std::string name = big5("高雄");
  const ResultLineValues values{9, name, 12.345f, 5, 140, 0.5f, -2.25f, -13.0f};
  EXPECT_EQ(format_result_line(values, true),
            big5("10. (接受) 高雄  12.35 (時間) 5   140 (135) (K) 0.50 (A)-2.25 (F)-13.00 \n"));
  EXPECT_EQ(format_result_line(values, false),
            big5("10. (拒絕) 高雄  12.35 (時間) 5   140 (135) (K)  0.50 (A) -2.25 (F) -13.00 \n"));
}

TEST_F(VerificationTest, DisabledVerificationAcceptsAllWithoutResultLines) {
  e.work.settings.verification_enabled = 0;
  set_result(0, 0, -5.0f, 0, 23);
  set_result(1, 1, -7.0f, 2, 20);
  set_result(2, 2, -1.0f, 4, 9);  // left from an earlier utterance
  e.work.results.count = 2;
  e.work.details[0][0] = "stale";
  order_results_for_display(e.work);
  verify_results(e.data, e.vocabulary, e.work);
  ASSERT_EQ(e.work.accepted.size(), 2u);
  EXPECT_EQ(e.work.accepted[1].name, big5("高雄"));
  EXPECT_EQ(e.work.accepted[1].start_frame, 2);
  EXPECT_EQ(e.work.accepted[1].end_frame, 20);
  for (const ResultDetail& detail : e.work.details) {
    for (const std::string& line : detail) EXPECT_EQ(line, "");
  }
}

TEST_F(VerificationTest, OnlyResultsFoundAreRankedLaterOfEqualScoresFirst) {
  e.work.settings.results_wanted = 5;
  const std::array<float, 5> scores{1.0f, 3.0f, 3.0f, 2.0f, 3.0f};
  std::copy(scores.begin(), scores.end(), e.work.results.scores.begin());
  e.work.results.count = 5;
  order_results_for_display(e.work);
  EXPECT_EQ(std::vector<std::int16_t>(e.work.display_order.begin(), e.work.display_order.begin() + 5),
            (std::vector<std::int16_t>{4, 2, 1, 3, 0}));

  paint(0, kTwelveTwelve);
  e.work.search.frame_count = 24;
  set_result(0, 1, -9.0f, 0, 23);
  set_result(1, 0, -5.0f, 0, 23);
  set_result(2, 2, 100.0f, 0, 23);  // stale, and the best score of all
  e.work.results.count = 2;
  order_results_for_display(e.work);
  EXPECT_EQ(e.work.display_order[0], 1);
  EXPECT_EQ(e.work.display_order[1], 0);
  EXPECT_EQ(e.work.display_order[2], -1);
  verify_results(e.data, e.vocabulary, e.work);
  EXPECT_NE(e.work.details[0][0].find(big5("台北")), std::string::npos);
  EXPECT_NE(e.work.details[1][0].find(big5("高雄")), std::string::npos);
  EXPECT_EQ(e.work.details[2][0], "");
}

TEST_F(VerificationTest, UnverifiableResultsAreRejectedCleanly) {
  e.work.search.frame_count = 10;  // too short for the twelve states of entry 0
  set_result(0, 0, -5.0f, 0, 9);
  set_result(1, 2, -6.0f, 12, 9);  // starts beyond the utterance
  set_result(2, 0, -7.0f, 0, 9);
  e.work.results.lines[2] = "77 x -7.00";  // no such entry
  e.work.results.count = 3;
  order_results_for_display(e.work);
  verify_results(e.data, e.vocabulary, e.work);
  EXPECT_TRUE(e.work.accepted.empty());
  for (int t = 0; t < 3; ++t) EXPECT_EQ(e.work.details[static_cast<std::size_t>(t)][0], "");
  EXPECT_EQ(sink.lines.size(), 3u);

  // A segment that ends before it starts is scored as nothing, not divided by.
  paint(0, kTwelveTwelve);
  e.work.search.frame_count = 24;
  set_result(0, 2, -5.0f, 0, 23);
  e.work.results.count = 1;
  order_results_for_display(e.work);
  ResultVerification& v = e.work.verifications[0];
  v.syllable_count = 1;
  v.unit_bounds[0] = 5;
  v.unit_bounds[1] = 3;
  v.unit_bounds[2] = 20;
  EXPECT_FALSE(score_segments(e.data, e.vocabulary, e.work, 0));
  EXPECT_EQ(e.work.details[0][4].substr(0, 17), "(0.00 0.00 0.00) ");
  EXPECT_TRUE(std::isfinite(v.v1));
}

}  // namespace
}  // namespace kws
