#include "search/stack_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "models/model_inventory.h"
#include "search/gaussian_tables.h"
#include "search/keyword_search.h"
#include "support/test_vocabulary.h"

namespace kws {
namespace {

// Entry, score, start and end frame of one result.
struct Found {
  int entry;
  float score;
  int start, end;
  bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os) {
  *os << "{entry " << f.entry << ", " << f.score << ", frames " << f.start << ".." << f.end << "}";
}

// One emitting state per model: every syllable, filler syllables too, takes
// at least two frames, and scores add up by hand.
class StackDecoder : public testing::SearchTest {
 protected:
  void SetUp() override {
    SearchTest::SetUp();
    engine_->work.settings.results_wanted = 10;
  }
  std::vector<Found> found() const {
    const RecognitionResults& r = engine_->work.results;
    std::vector<Found> all;
    for (int i = 0; i < r.count; ++i) all.push_back({r.entries[i], r.scores[i], r.start_frames[i], r.end_frames[i]});
    return all;
  }
  const HypothesisStack& stack() const { return engine_->work.search.stack; }
};

TEST_F(StackDecoder, BubblePassCarriesTheBestFromTheTailToTheHead) {
  HypothesisStack& entries = engine_->work.search.stack;
  for (const float priority : {3.0f, 1.0f, 5.0f, 5.0f, 2.0f}) {
    entries.emplace_back().priority = priority;
    entries.back().node_index = static_cast<std::int16_t>(entries.size() - 1);
  }
  bubble_best_to_top(engine_->work);
  std::vector<int> order;
  for (const StackEntry& entry : entries) order.push_back(entry.node_index);
  EXPECT_EQ(order, (std::vector<int>{2, 0, 1, 3, 4}));  // of the equal 5s, the one nearer the head
}

TEST_F(StackDecoder, OneSyllableEntryCompletesOnItsFirstExpansion) {
  use({{"AA", {{2, 114}}}}, 4, -1.0f, 0);
  ASSERT_TRUE(run_forward_pass(engine_->data, engine_->vocabulary, engine_->work));
  ASSERT_TRUE(expand_top(engine_->data, engine_->vocabulary, engine_->work));
  ASSERT_EQ(stack().size(), 1u);
  EXPECT_EQ(stack().front().complete, 1);
  EXPECT_EQ(stack().front().priority, -4.0f);
  EXPECT_EQ(stack().front().start_frame, 0);
  EXPECT_LE((*stack().front().suffix_scores)[3], -1e29f);  // a syllable needs two frames
}

TEST_F(StackDecoder, LeadingFillerGivesTheEarliestBestStartFrame) {
  // Frame 0 is poor for the keyword; every start from frame 2 on then ties at -8.
  use({{"AA", {{2, 114}}}}, 8, -1.0f, 1);
  score({2, 114}, 0, 0, -10.0f);
  run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(found(), (std::vector<Found>{{0, -8.0f, 2, 7}}));  // earlier ends with trailing filler only tie
}

TEST_F(StackDecoder, HomophonesGiveConsecutiveEqualResultsAndTheStackMayRunEmpty) {
  use({{"AA", {{5, 117}}}, {"BB", {{6, 118}}}, {"CC", {{5, 117}}}}, 4, -1.0f, 0);
  score({6, 118}, 0, 3, -2.0f);
  engine_->work.results.count = 9;  // left from an earlier utterance
  run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(found(), (std::vector<Found>{{0, -4.0f, 0, 3}, {2, -4.0f, 0, 3}, {1, -8.0f, 0, 3}}));
  EXPECT_EQ(engine_->work.results.lines[1], "3 CC -4.00");
  EXPECT_TRUE(stack().empty());
  EXPECT_EQ(engine_->work.search.stack_size, 0);
}

TEST_F(StackDecoder, StopsAtTheWantedNumberOfResults) {
  // All three tie; of equal last syllables the higher node index is tried first.
  use({{"AA", {{5, 117}}}, {"BB", {{6, 118}}}, {"CC", {{5, 117}}}}, 4, -1.0f, 0);
  engine_->work.settings.results_wanted = 1;
  run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(found(), (std::vector<Found>{{1, -4.0f, 0, 3}}));
  EXPECT_TRUE(stack().empty());
}

TEST_F(StackDecoder, ChildPriorityLeavesOutFrameZero) {
  use({{"AB", {{0, 112}, {1, 113}}}}, 4, -1.0f, 0);
  ASSERT_TRUE(run_forward_pass(engine_->data, engine_->vocabulary, engine_->work));
  engine_->work.search.level_exit_scores.at(1, 0, 0) = 1000.0f;  // would win if frame 0 counted
  ASSERT_TRUE(expand_top(engine_->data, engine_->vocabulary, engine_->work));
  ASSERT_EQ(stack().size(), 1u);
  EXPECT_EQ(stack().front().depth, 1);
  EXPECT_EQ(stack().front().priority, -5.0f);  // suffix -3 at frame 1 + exit -2 there

  use({{"AB", {{0, 112}, {1, 113}}}}, 1, -1.0f, 1);
  ASSERT_TRUE(run_forward_pass(engine_->data, engine_->vocabulary, engine_->work));
  ASSERT_TRUE(expand_top(engine_->data, engine_->vocabulary, engine_->work));
  ASSERT_EQ(stack().size(), 1u);
  EXPECT_EQ(stack().front().priority, kMinusInfinity);
}

TEST_F(StackDecoder, NodeThatEndsOneEntryAndContinuesAnotherIsCompletedAndExpanded) {
  use({{"AA", {{2, 114}}}, {"BBAA", {{1, 113}, {2, 114}}}}, 4, -1.0f, 0);
  ASSERT_TRUE(run_forward_pass(engine_->data, engine_->vocabulary, engine_->work));
  ASSERT_TRUE(expand_top(engine_->data, engine_->vocabulary, engine_->work));
  ASSERT_EQ(stack().size(), 2u);
  EXPECT_EQ(stack().front().complete, 1);
  EXPECT_EQ(stack().back().depth, 1);

  run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(found(), (std::vector<Found>{{0, -4.0f, 0, 3}, {1, -4.0f, 0, 3}}));
  EXPECT_EQ(engine_->work.results.lines[1], "2 BBAA -4.00");
}

TEST_F(StackDecoder, KeywordOfMultiStateModelsTakesAFramePerState) {
  // Four frames at least: the keyword fits best on 4..5 but must run on over
  // 6..7, where filler (-1 a frame) would score better.
  use({{"AA", {{2, 114}}}}, 12, -5.0f, 1);
  for (const int model : {2, 114}) engine_->data.main_models.records[model].state_count = 4;
  score({kFillerInitialSlot, kFillerFinalSlot}, 0, 11, -1.0f);
  score({2, 114}, 4, 5, 0.0f);
  score({2, 114}, 6, 7, -3.0f);
  run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(found(), (std::vector<Found>{{0, -14.0f, 4, 7}}));
}

TEST_F(StackDecoder, ThreeSyllableKeywordIsFoundWithItsStartAndEndFrames) {
  // "ABCDEF" is spoken on frames 5..10, one frame per model, with filler (-2
  // a frame) around it; "GH" is its last syllable alone, "ABCDIJ" shares its
  // first two syllables.
  use({{"ABCDEF", {{10, 120}, {11, 121}, {12, 122}}}, {"GH", {{12, 122}}}, {"ABCDIJ", {{10, 120}, {11, 121}, {13, 123}}}},
      20, -6.0f, 1);
  score({kFillerInitialSlot, kFillerFinalSlot}, 0, 19, -2.0f);
  int frame = 5;
  for (const int model : {10, 120, 11, 121, 12, 122}) {
    score({model}, frame, frame, 0.0f);
    ++frame;
  }
  run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(found(), (std::vector<Found>{{0, -28.0f, 5, 10}, {1, -36.0f, 9, 10}, {2, -40.0f, 5, 10}}));
  EXPECT_EQ(engine_->work.results.lines[0], "1 ABCDEF -28.00");
}

TEST_F(StackDecoder, EmptyStackAndResultNumbersBeyondTheTable) {
  EXPECT_FALSE(expand_top(engine_->data, engine_->vocabulary, engine_->work));
  collect_nbest(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(engine_->work.results.count, 0);
  store_result(engine_->work, kMaxResults, "x", 1.0f, 1);  // refused
  store_result(engine_->work, 3, std::string(300, 'a'), 2.5f, 4);
  EXPECT_EQ(engine_->work.results.lines[3].size(), 199u);
  EXPECT_EQ(engine_->work.results.scores[3], 2.5f);
}

// The vector steps of the level pass and of the stack search against the
// plain ones: models of 0..4 emitting states (0 and 4 included), scores of a
// few values so that ties are everywhere, homophones, both modes. Exit scores
// and results must agree bit for bit.
TEST_F(StackDecoder, VectorStepsGiveThePlainStepsResultsBitForBit) {
  std::mt19937 random(7u);
  std::uniform_int_distribution<int> states(0, 4);
  for (int slot = 0; slot < kInventorySize; ++slot)
    engine_->data.main_models.records[slot].state_count = static_cast<std::int16_t>(states(random) + 2);
  std::vector<testing::TestEntry> entries;
  std::uniform_int_distribution<int> initial(0, 11);
  std::uniform_int_distribution<int> final_slot(kFirstFinalSlot, kFirstFinalSlot + 7);
  std::uniform_int_distribution<int> length(1, 4);
  for (int e = 0; e < 150; ++e) {
    testing::TestEntry entry;
    for (int s = length(random); s > 0; --s) entry.syllables.emplace_back(initial(random), final_slot(random));
    entry.name = std::string(2 * entry.syllables.size(), static_cast<char>('A' + e % 26));
    entries.push_back(entry);
  }
  constexpr int kFrames = 203;  // not a multiple of a vector or of a span of frames
  std::uniform_int_distribution<int> score(-6, -1);
  engine_->work.settings.results_wanted = kMaxResults;
  for (const int keyword_mode : {0, 1}) {
    use(entries, kFrames, -1.0f, keyword_mode);
    for (int t = 0; t < kFrames; ++t) {
      for (auto& model : engine_->work.state_scores[t]) {
        for (float& state : model) state = static_cast<float>(score(random));
      }
    }
    struct Outcome {
      std::vector<Found> found;
      std::vector<float> exits;
    };
    const auto search = [&](ScoringKernels kernels) {
      choose_scoring_kernels(kernels);
      run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
      choose_scoring_kernels(ScoringKernels::fastest);
      Outcome outcome{found(), {}};
      for (int level = 0; level < kLexiconLevels; ++level) {
        for (int node = 0; node < engine_->vocabulary.levels[level].count; ++node) {
          const float* exits = engine_->work.search.level_exit_scores.node(level, node);
          outcome.exits.insert(outcome.exits.end(), exits, exits + kFrames);
        }
      }
      return outcome;
    };
    const Outcome fast = search(ScoringKernels::fastest);
    const Outcome plain = search(ScoringKernels::portable);
    ASSERT_GT(fast.found.size(), 20u) << keyword_mode;
    EXPECT_EQ(fast.found, plain.found) << keyword_mode;
    ASSERT_EQ(fast.exits.size(), plain.exits.size());
    EXPECT_EQ(std::memcmp(fast.exits.data(), plain.exits.data(), fast.exits.size() * sizeof(float)), 0) << keyword_mode;
  }
}

}  // namespace
}  // namespace kws
