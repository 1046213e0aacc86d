// Vocabularies for search tests, built straight from model slots: no files,
// no decomposition. Each syllable is a pair (initial slot, final slot); equal
// pairs at the same level share a node, as vocabulary loading would make them.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "search/utterance_workspace.h"

namespace kws::testing {

using SyllableSlots = std::pair<int, int>;  // initial model slot, final model slot

struct TestEntry {
  std::string name;  // Big5 (two bytes per syllable) or any text of 2 x syllables bytes
  std::vector<SyllableSlots> syllables;  // in spoken order
};

// What a pass reads and writes, made by hand: loaded data without files, a
// vocabulary and a workspace.
struct TestEngine {
  LoadedData data;
  Vocabulary vocabulary;
  UtteranceWorkspace work;
};

// Replaces the vocabulary with the entries: levels (with the silence and
// filler nodes after level 0), tree, names and PhoneSeq strings.
void build_test_vocabulary(Vocabulary& vocabulary, const std::vector<TestEntry>& entries);

// A main model set of 153 slots whose models all have `states` emitting
// states of one component (the search reads only state counts and scores).
void set_uniform_models(LoadedData& data, int emitting_states);

// Fills every state score of frames 0..frames-1 with value.
void fill_state_scores(UtteranceWorkspace& work, int frames, float value);

// All 60 anti-models with `emitting_states` states of one zero-precision
// component: every state scores -gconst / 2 on any frame.
void set_flat_anti_models(LoadedData& data, int emitting_states, float gconst);

// A search test's engine: 153 one-state models, with helpers to load a test
// vocabulary over a table of equal scores and to raise chosen models' scores.
class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = std::make_unique<TestEngine>();
    set_uniform_models(engine_->data, 1);
  }
  void use(const std::vector<TestEntry>& entries, int frames, float score, int keyword_mode) {
    build_test_vocabulary(engine_->vocabulary, entries);
    engine_->work.search.frame_count = frames;
    fill_state_scores(engine_->work, frames, score);
    engine_->work.settings.keyword_spotting = static_cast<std::int16_t>(keyword_mode);
  }
  // Every state of the models scores value over frames first..last.
  void score(std::initializer_list<int> models, int first, int last, float value) {
    for (const int model : models) {
      for (int t = first; t <= last; ++t) engine_->work.state_scores[t][model].fill(value);
    }
  }

  std::unique_ptr<TestEngine> engine_;
};

}  // namespace kws::testing
