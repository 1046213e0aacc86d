// One recorded utterance through the checks, trimming, search, ranking and
// verification.
//
// The caller has already put the utterance into the sample buffer (from
// sample 0), computed its features and filled the state-score table; the
// passes only check, trim, search and rank. Refused utterances leave no new
// results: the accepted-keyword list is emptied before any check.
#pragma once

namespace kws {

struct RecognizerEngine;

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
int prepare_utterance(RecognizerEngine& engine, bool live);

// The keyword pass; kRecognised, or kRefused for an utterance that is empty
// of vocabulary, too short, offset, or too short after trimming.
int recognize_keywords(RecognizerEngine& engine, bool live);

// The keyword pass from the search on, for an utterance whose features, state
// scores and frame count are in place: search, display order, verification
// with its clock readings. recognize_keywords runs it after its checks; the
// batch test, which has no checks, runs it directly.
void search_rank_and_verify(RecognizerEngine& engine);

// The processor clock in milliseconds, for the pass's time readings.
double processor_milliseconds();

// The large-vocabulary pass: the same checks, then recognize_syllable_loop.
int recognize_large_vocabulary(RecognizerEngine& engine, bool live);

// Moves the utterance end back over the trailing silence, by the 80-sample
// window energies against the calibration's two trimming thresholds. Sets
// start to 0 and end to at most the sample count.
void trim_utterance_end(RecognizerEngine& engine);

// T = (end - start) / 160 - 1, stored for the search.
int utterance_frame_count(RecognizerEngine& engine);

// Sorts the results found for display, best score first; of equal scores the
// later result comes first. Positions beyond them are set to -1.
void order_results_for_display(RecognizerEngine& engine);

// A free loop over the level-0 syllables with transition probabilities;
// shows the ten best (or all there are, if fewer) in a message box and
// leaves each node's exit scores in the level-0 exit table.
void recognize_syllable_loop(RecognizerEngine& engine);

}  // namespace kws
