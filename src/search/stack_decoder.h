// The backward half of the keyword search: best-first stack decoding along the
// lexicon tree, with the forward exit scores as look-ahead, giving the N best
// vocabulary entries.
//
// Each hypothesis holds, per frame t, the best score of the syllables decoded
// so far (the entry's last ones) starting at t and running to the end of the
// utterance, trailing filler included in keyword mode. Expanding it adds the
// preceding syllable; a child's priority joins those scores with the forward
// exit scores of its syllable, an upper bound of what the rest can reach. The
// list is not sorted: one bubble pass after every change keeps a maximal
// priority at the head, and a complete head is the next result.
#pragma once

#include <string_view>

namespace kws {

struct LoadedData;
struct UtteranceWorkspace;
struct Vocabulary;

// Runs until results_wanted (at most 200) results exist or the stack runs
// empty; fills work.results (count = the results found) and releases every
// stack entry. Homophones (entries with the same PhoneSeq) give consecutive
// results with equal scores, in vocabulary order. An allocation failure ends
// the search with the results found so far.
void collect_nbest(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

// Expands the head of the stack by one syllable towards the entry's start:
// recomputes its suffix scores, appends one child per preceding syllable in
// the tree, then completes the head (its exact score and start frame, leading
// filler allowed in keyword mode) when its tree node ends an entry, or drops
// it. Ends with bubble_best_to_top. Returns false, with the message in
// work.search.allocation_failure, when a child cannot be allocated (the
// children appended so far stay), and false when the stack is empty.
bool expand_top(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

// One bubble pass from the tail: afterwards the head holds a maximal priority
// and, of equal priorities, the one nearer the head stays ahead.
void bubble_best_to_top(UtteranceWorkspace& work);

// Writes the line (cut to 199 bytes), score and entry index of result number
// `result`; a number outside 0..199 is refused.
void store_result(UtteranceWorkspace& work, int result, std::string_view line, float score, int entry);

}  // namespace kws
