// The backward half of the keyword search: best-first stack decoding along the
// lexicon tree, with the forward exit scores as look-ahead, giving the N best
// vocabulary entries.
#pragma once

#include <string_view>

namespace kws {

struct RecognizerEngine;

// Runs until results_wanted results exist or the stack runs empty; fills
// engine.results (count = the results found) and releases every stack entry.
void collect_nbest(RecognizerEngine& engine);

// Expands the head of the stack by one syllable towards the entry's start.
void expand_top(RecognizerEngine& engine);

// One bubble pass from the tail: afterwards the head holds a maximal priority.
void bubble_best_to_top(RecognizerEngine& engine);

// Writes result number `result`.
void store_result(RecognizerEngine& engine, int result, std::string_view line, float score, int entry);

}  // namespace kws
