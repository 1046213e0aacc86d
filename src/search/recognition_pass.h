// One recorded utterance through the checks, trimming, search, ranking and
// verification.
#pragma once

namespace kws {

struct RecognizerEngine;

inline constexpr int kRecognised = 1;
inline constexpr int kRefused = -1;

// The keyword pass; kRecognised, or kRefused for an utterance that is empty
// of vocabulary, too short, offset, or too short after trimming.
int recognize_keywords(RecognizerEngine& engine, bool live);

// The large-vocabulary pass: the same checks, then recognize_syllable_loop.
int recognize_large_vocabulary(RecognizerEngine& engine, bool live);

// Moves the utterance end back over the trailing silence.
void trim_utterance_end(RecognizerEngine& engine);

// T = (end - start) / 160 - 1, stored for the search.
int utterance_frame_count(RecognizerEngine& engine);

// A free loop over the level-0 syllables; shows the ten best in a message box.
void recognize_syllable_loop(RecognizerEngine& engine);

}  // namespace kws
