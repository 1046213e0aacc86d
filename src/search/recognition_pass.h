// One recorded utterance through the checks, trimming, search, ranking and
// verification.
//
// recognize_utterance is the whole pass from samples to outcome; every caller
// goes through it (or through recognize_syllable_utterance). The steps below
// it are for tests: they expect the utterance in the sample buffer (from
// sample 0), its features computed and the state-score table filled, and
// only check, trim, search and rank. Refused utterances leave no new
// results: the accepted-keyword list is emptied before any check.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/engine_values.h"

namespace kws {

struct LoadedData;
struct UtteranceWorkspace;
struct Vocabulary;

inline constexpr int kRecognised = 1;
inline constexpr int kRefused = -1;

// Utterance limits, in samples at 16 kHz.
inline constexpr int kMinRecordedSamples = 6400;       // 0.4 s; this many or fewer is refused
inline constexpr int kMinTrimmedSamples = 4800;        // 0.3 s after trimming
inline constexpr int kStoredUtteranceSamples = 48000;  // 3 s, what a stored (non-live) utterance holds
inline constexpr int kMaxMeanSample = 500;             // a larger DC offset means a faulty input
inline constexpr int kTrimStepSamples = 40;

// The checks and trimming both passes start with: empties the accepted list,
// lowers results_wanted to the vocabulary size, refuses an empty vocabulary,
// a live recording of 0.4 s or less, a mean sample beyond +/-500 and a
// trimmed utterance under 0.3 s; otherwise sets the analysis source and T
// and takes the start-of-processing clock. Non-live utterances are taken as
// 3 s long.
int prepare_utterance(const Vocabulary& vocabulary, UtteranceWorkspace& work, bool live);

// The keyword pass; kRecognised, or kRefused for an utterance that is empty
// of vocabulary, too short, offset, or too short after trimming.
int recognize_keywords(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work, bool live);

// The keyword pass from the search on, for an utterance whose features, state
// scores and frame count are in place: search, display order, verification
// with its clock readings. recognize_keywords runs it after its checks; the
// batch test, which has no checks, runs it directly.
void search_rank_and_verify(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

// The processor clock in milliseconds, for the pass's time readings.
double processor_milliseconds();

// The large-vocabulary pass: the same checks, then recognize_syllable_loop.
SyllableLoopOutcome recognize_large_vocabulary(const LoadedData& data, const Vocabulary& vocabulary,
                                               UtteranceWorkspace& work, bool live);

// Moves the utterance end back over the trailing silence, by the 80-sample
// window energies against the calibration's two trimming thresholds. Sets
// start to 0 and end to at most the sample count.
void trim_utterance_end(UtteranceWorkspace& work);

// T = (end - start) / 160 - 1, stored for the search.
int utterance_frame_count(UtteranceWorkspace& work);

// Sorts the results found for display, best score first; of equal scores the
// later result comes first. Positions beyond them are set to -1.
void order_results_for_display(UtteranceWorkspace& work);

// A free loop over the level-0 syllables with transition probabilities;
// returns the ten best (or all there are, if fewer), best first, as their
// Big5 texts, and leaves each node's exit scores in the level-0 exit table.
std::vector<std::string> recognize_syllable_loop(const LoadedData& data, const Vocabulary& vocabulary,
                                                 UtteranceWorkspace& work);

// What the station shows for them: "(syllable)" each, in UTF-8.
std::string syllable_loop_text(const std::vector<std::string>& best_syllables);

// The one recognition call every caller makes: copies the samples (16-bit,
// 16 kHz) into the workspace, computes features and state scores, and runs
// the keyword pass as the options say (see PassOptions). Returns what the
// station shows; the workspace keeps every table of the pass until the next.
// With checks off, samples beyond the sample buffer's 8 s are not used.
RecognitionOutcome recognize_utterance(const LoadedData& data, const Vocabulary& vocabulary,
                                       std::span<const std::int16_t> samples, const PassOptions& options,
                                       UtteranceWorkspace& work);

// The keyword pass over an utterance captured live: its samples are in the
// sample buffer from sample 0 to the capture end, and its features and state
// scores were computed while it was recorded. Always with the live checks.
RecognitionOutcome recognize_captured_utterance(const LoadedData& data, const Vocabulary& vocabulary,
                                                const PassOptions& options, UtteranceWorkspace& work);
// The large-vocabulary pass over such an utterance.
SyllableLoopOutcome recognize_captured_syllables(const LoadedData& data, const Vocabulary& vocabulary,
                                                 const PassOptions& options, UtteranceWorkspace& work);

// The large-vocabulary pass over samples: always with the live checks and
// trimming, then the free syllable loop.
SyllableLoopOutcome recognize_syllable_utterance(const LoadedData& data, const Vocabulary& vocabulary,
                                                 std::span<const std::int16_t> samples, const PassOptions& options,
                                                 UtteranceWorkspace& work);

// Features of the workspace's analysis source into its feature matrix, with
// the loaded analysis tables; returns the frame count.
int extract_features(const LoadedData& data, UtteranceWorkspace& work);

}  // namespace kws
