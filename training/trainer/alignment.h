// Forced alignment of an utterance with its transcription: which state of
// which model every frame belongs to.
//
// The utterance is modelled as silence, then each syllable's initial and
// final unit with an optional pause after every syllable but the last, then
// silence again. Alignment is Viterbi over that chain of states; every state
// takes at least one frame, as in the station's search.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "frontend/feature_extraction.h"
#include "trainer/acoustic_model.h"

namespace kws::trainer {

struct AlignmentUnit {
  int slot = 0;
  bool optional = false;
};

// The units of an utterance of the given SyllableTable rows.
std::vector<AlignmentUnit> alignment_units(std::span<const int> syllables);

struct Alignment {
  bool ok = false;                 // false when the utterance is too short for its units
  double log_likelihood = 0.0;     // of the best path, transitions included
  std::vector<std::int16_t> slot;  // per frame
  std::vector<std::int8_t> state;  // per frame: emitting state 0..n-1 of that model
};

// Frames shared out evenly over the states of the non-optional units: the
// starting point before any model exists.
Alignment uniform_alignment(int frame_count, std::span<const AlignmentUnit> units,
                            std::span<const TrainedModel> models);

// The best path through the units' states with the models' current
// densities (mixture sums, from packed = pack_models(models)) and transitions.
Alignment viterbi_alignment(std::span<const FeatureVector> frames, std::span<const AlignmentUnit> units,
                            std::span<const TrainedModel> models, const PackedModels& packed);

// A stretch of frames spent in one model.
struct Segment {
  int slot = 0;
  int first_frame = 0;
  int last_frame = 0;
};
std::vector<Segment> segments_of(const Alignment& alignment);

}  // namespace kws::trainer
