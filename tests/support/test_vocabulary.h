// Vocabularies for search tests, built straight from model slots: no files,
// no decomposition. Each syllable is a pair (initial slot, final slot); equal
// pairs at the same level share a node, as vocabulary loading would make them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/recognizer_engine.h"

namespace kws::testing {

using SyllableSlots = std::pair<int, int>;  // initial model slot, final model slot

struct TestEntry {
  std::string name;  // Big5 (two bytes per syllable) or any text of 2 x syllables bytes
  std::vector<SyllableSlots> syllables;  // in spoken order
};

// Replaces engine.vocabulary with the entries: levels (with the silence and
// filler nodes after level 0), tree, names and PhoneSeq strings.
void build_test_vocabulary(RecognizerEngine& engine, const std::vector<TestEntry>& entries);

// A main model set of 153 slots whose models all have `states` emitting
// states of one component (the search reads only state counts and scores).
void set_uniform_models(RecognizerEngine& engine, int emitting_states);

// Fills every state score of frames 0..frames-1 with value.
void fill_state_scores(RecognizerEngine& engine, int frames, float value);

}  // namespace kws::testing
