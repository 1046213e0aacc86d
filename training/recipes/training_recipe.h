// The training recipe: what the synthetic training corpus says, in the
// training voices only.
//
// Four parts, in this order: every entry of every bundled vocabulary twice,
// in two different voices, one to three entries inside a short carrier
// phrase; the text of every real training transcript; sentences of frequent
// phrases of the phrase file, up to the wanted size; and a coverage part that
// says rare syllables until every sub-syllable unit occurs kUnitCoverage
// times. No utterance says the syllables of a real test transcript.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "recipes/corpus_sources.h"
#include "recipes/recipe.h"
#include "recipes/unit_coverage.h"

namespace kws::recipes {

inline constexpr std::size_t kDefaultTrainingUtterances = 3000;
// Every unit is said at least this often, so that each state of its model
// sees a few hundred frames from several voices.
inline constexpr int kUnitCoverage = 40;
// How many times the entry part says each vocabulary entry.
inline constexpr int kEntryRepetitions = 2;
// Share of training utterances with noise mixed in, and their SNR range (dB).
// More than half: models trained mostly on clean speech missed keywords in
// the noisy test recordings.
inline constexpr int kTrainingNoisePercent = 60;
inline constexpr int kTrainingLowestSnr = 5;
inline constexpr int kTrainingHighestSnr = 25;

struct TrainingReport {
  int entry_utterances = 0;
  int distinct_entries = 0;
  int transcript_utterances = 0;
  int phrase_utterances = 0;
  int coverage_utterances = 0;
  int noisy_utterances = 0;
  UnitCounts unit_counts{};
  std::vector<int> unreachable_units;  // no syllable says them
};

// The utterances, named train/u00001 on; nullopt with an error when a
// carrier phrase cannot be read.
std::optional<std::vector<Utterance>> training_recipe(const CorpusSources& sources, std::size_t wanted,
                                                      std::uint64_t seed, TrainingReport& report, std::string& error);

// Whether the words say the syllables of one of the utterances, in a row.
bool says_any_of(const std::vector<Word>& words, const std::vector<RealUtterance>& utterances);

}  // namespace kws::recipes
