#include "search/keyword_search.h"

#include <gtest/gtest.h>

#include <memory>

#include "models/model_inventory.h"
#include "support/capturing_sink.h"
#include "support/test_vocabulary.h"

namespace kws {
namespace {

constexpr float kImpossible = -1e29f;  // minus infinity plus a few scores

// One emitting state per model unless a test says otherwise: a syllable, and
// a filler syllable, takes at least two frames, and scores add up by hand.
class KeywordSearch : public testing::SearchTest {
 protected:
  void set_states(std::initializer_list<int> models, int emitting) {
    for (const int model : models)
      engine_->data.main_models.records[model].state_count = static_cast<std::int16_t>(emitting + 2);
  }
  float exit(int level, int node, int t) const { return engine_->work.search.level_exit_scores.at(level, node, t); }
  float forward(int t) const { return engine_->work.search.forward_filler[t]; }
  float backward(int t) const { return engine_->work.search.backward_filler[t]; }
};

TEST_F(KeywordSearch, FillerScoresCoverFromTheStartAndToTheEnd) {
  use({}, 6, -1.0f, 1);
  set_states({kFillerInitialSlot}, 2);  // a filler syllable now takes three frames
  score({kFillerInitialSlot}, 1, 1, -3.0f);  // frame 1 is always an initial frame
  compute_forward_filler(engine_->data, engine_->work);
  compute_backward_filler(engine_->data, engine_->work);
  const float expected_forward[] = {kImpossible, kImpossible, -5, -6, -7, -8};
  const float expected_backward[] = {-8, -7, -4, -3, kImpossible, kImpossible};
  for (int t = 0; t < 6; ++t) {
    if (expected_forward[t] == kImpossible) EXPECT_LE(forward(t), kImpossible) << t;
    else EXPECT_EQ(forward(t), expected_forward[t]) << t;
    if (expected_backward[t] == kImpossible) EXPECT_LE(backward(t), kImpossible) << t;
    else EXPECT_EQ(backward(t), expected_backward[t]) << t;
  }
}

TEST_F(KeywordSearch, LevelPassOutsideKeywordModeStartsAtFrameZeroAndEndsAtTheLastFrame) {
  use({{"AB", {{0, 112}, {1, 113}}}}, 12, -1.0f, 0);
  set_states({0, 1}, 2);
  set_states({112, 113}, 3);  // five frames at least per syllable
  engine_->work.search.backward_filler.fill(1000.0f);  // must not be read
  run_level_pass(engine_->data, engine_->vocabulary, engine_->work);
  score_word_ends(engine_->vocabulary, engine_->work);
  EXPECT_LE(exit(1, 0, 3), kImpossible);
  EXPECT_EQ(exit(1, 0, 4), -5.0f);
  EXPECT_LE(exit(0, 0, 8), kImpossible);
  EXPECT_EQ(exit(0, 0, 9), -10.0f);
  EXPECT_EQ(engine_->work.search.word_scores[0], -12.0f);
  EXPECT_EQ(engine_->work.search.word_end_frames[0], 11);
}

TEST_F(KeywordSearch, EveryNodeEntersFromTheBestNodeOfTheLevelAbove) {
  use({{"AB", {{0, 112}, {1, 113}}}, {"CD", {{2, 114}, {3, 115}}}}, 4, -1.0f, 0);
  score({2}, 0, 3, -5.0f);  // "C" is poor, so "D" is reached through "A"'s exit
  run_level_pass(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(exit(0, 1, 3), -4.0f);
}

TEST_F(KeywordSearch, KeywordModeLetsFillerSurroundTheKeyword) {
  use({{"AB", {{0, 112}, {1, 113}}}}, 10, -5.0f, 1);
  score({kFillerInitialSlot, kFillerFinalSlot}, 0, 9, -2.0f);
  score({0, 112, 1, 113}, 2, 5, 0.0f);
  ASSERT_TRUE(run_forward_pass(engine_->data, engine_->vocabulary, engine_->work));
  EXPECT_EQ(exit(0, 0, 5), -4.0f);  // filler over 0..1, keyword over 2..5
  EXPECT_EQ(engine_->work.search.word_scores[0], -12.0f);  // and filler over 6..9
  EXPECT_EQ(engine_->work.search.word_end_frames[0], 5);
}

TEST_F(KeywordSearch, OneSyllableEntryEntersWithZeroAtFrameZeroAndAfterFillerLater) {
  use({{"A", {{2, 114}}}}, 5, -1.0f, 0);
  score({2, 114}, 0, 2, -10.0f);
  score({2, 114}, 3, 4, 0.0f);
  run_level_pass(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(exit(0, 0, 1), -20.0f);
  EXPECT_EQ(exit(0, 0, 4), -30.0f);

  engine_->work.settings.keyword_spotting = 1;
  compute_forward_filler(engine_->data, engine_->work);
  run_level_pass(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(exit(0, 0, 1), -20.0f);
  EXPECT_EQ(exit(0, 0, 3), -12.0f);  // filler over 0..1, then frames 2..3
  EXPECT_EQ(exit(0, 0, 4), -3.0f);   // filler over 0..2, then frames 3..4
}

TEST(Preselection, DivisorFollowsTheVocabularySize) {
  EXPECT_EQ(preselection_count(1), 1);
  EXPECT_EQ(preselection_count(180), 180);
  EXPECT_EQ(preselection_count(181), 90);
  EXPECT_EQ(preselection_count(200), 100);
  EXPECT_EQ(preselection_count(201), 67);
}

TEST_F(KeywordSearch, PreselectionTakesTheBestFirstAndTheHigherIndexFirstOnTies) {
  std::vector<testing::TestEntry> entries;
  for (int i = 0; i < 201; ++i) entries.push_back({"AA", {{i % 112, 112 + i / 112}}});
  use(entries, 1, -1.0f, 0);
  auto& scores = engine_->work.search.word_scores;
  for (int j = 0; j < 201; ++j) scores[j] = static_cast<float>(j % 10);  // 20 nodes score 9
  scores[4] = 20.0f;
  preselect_candidates(engine_->vocabulary, engine_->work);
  ASSERT_EQ(engine_->work.search.candidate_count, 67);
  const auto& candidates = engine_->work.search.candidates;
  EXPECT_EQ(candidates[0], 4);
  EXPECT_EQ(candidates[1], 199);
  EXPECT_EQ(candidates[2], 189);
  EXPECT_EQ(candidates[20], 9);
  EXPECT_EQ(candidates[21], 198);
  EXPECT_EQ(candidates[66], 146);
}

TEST_F(KeywordSearch, StackIsSeededWithOneHypothesisPerCandidate) {
  use({{"A", {{2, 114}}}, {"B", {{3, 115}}}, {"CB", {{4, 116}, {3, 115}}}}, 4, -1.0f, 0);
  score({114}, 0, 3, -2.0f);
  engine_->work.times.forward_end = -1.0;
  ASSERT_TRUE(run_forward_pass(engine_->data, engine_->vocabulary, engine_->work));
  EXPECT_NE(engine_->work.times.forward_end, -1.0);
  const KeywordSearchTables& search = engine_->work.search;
  ASSERT_EQ(search.stack_size, 2);
  ASSERT_EQ(search.stack.size(), 2u);
  EXPECT_EQ(search.stack.front().node_index, 1);  // "B": -4 before "A": -5
  EXPECT_EQ(search.stack.front().priority, -4.0f);
  EXPECT_EQ(search.stack.back().priority, -5.0f);
  for (const StackEntry& entry : search.stack) {
    EXPECT_EQ(entry.depth, 0);
    EXPECT_EQ(entry.end_frame, 3);
    EXPECT_EQ(entry.tree_node->key, entry.node_index);
    EXPECT_EQ(entry.tree_node->parent, engine_->vocabulary.tree.root());
    EXPECT_EQ(entry.suffix_scores->size(), 4u);
  }
}

TEST_F(KeywordSearch, OutOfRangeInputsAreRefusedWithNoResults) {
  const auto expect_refused = [&](std::string_view message_part) {
    testing::CapturingSink sink;
    engine_->work.results.count = 7;  // left from an earlier utterance
    run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
    EXPECT_EQ(engine_->work.results.count, 0);
    EXPECT_TRUE(engine_->work.search.stack.empty());
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_NE(sink.lines[0].find(message_part), std::string::npos) << sink.lines[0];
  };
  const auto reset = [&] {
    testing::set_uniform_models(engine_->data, 1);
    use({{"AB", {{0, 112}, {1, 113}}}}, 5, -1.0f, 1);
  };
  reset();
  engine_->work.search.frame_count = 0;
  expect_refused("0 frames");
  engine_->work.search.frame_count = kMaxFrames + 1;
  expect_refused("801 frames");

  reset();
  engine_->vocabulary.levels[3].nodes.assign(201, engine_->vocabulary.levels[1].nodes[0]);
  engine_->vocabulary.levels[3].count = 201;
  expect_refused("level 3 holds 201 nodes");

  reset();
  engine_->vocabulary.levels[1].nodes[0].final_model_slot = -1;
  expect_refused("node 0 of level 1");

  reset();
  engine_->data.main_models.count = kFillerFinalSlot;
  expect_refused("filler");

  reset();
  run_keyword_search(engine_->data, engine_->vocabulary, engine_->work);
  EXPECT_EQ(engine_->work.results.count, 1);
}

}  // namespace
}  // namespace kws
