// The forward half of the keyword search: filler scores, the frame-synchronous
// level pass, word-end scores, preselection and the seeded hypothesis stack.
//
// The level pass runs every node of every position level (level n: syllables
// n positions before the end of some entry) in step, and lets each level's
// nodes enter from the best exit of the level above, whatever the tree says.
// Its exit scores are therefore upper bounds of the true scores, which the
// stack decoder uses as its look-ahead. In keyword mode a keyword may start
// after any stretch of filler syllables and be followed by filler up to the
// last frame.
//
// All tables live in engine.search; T is engine.search.frame_count.
#pragma once

namespace kws {

struct RecognizerEngine;

// The whole search of one utterance: run_forward_pass, then collect_nbest.
// engine.results.count says how many results it found (0 when refused).
void run_keyword_search(RecognizerEngine& engine);

// Filler scores (keyword mode), the level pass, word-end scoring,
// preselection and stack seeding, then the processor-clock reading into
// engine.times.forward_end. Returns false, with no results and an empty stack,
// when T is outside 1..800, a level holds more nodes than its capacity, a node
// names a model that is not loaded, or a stack entry cannot be allocated;
// each case reports on the console first.
bool run_forward_pass(RecognizerEngine& engine);

// F[t], t = 0..T-1: best score of one or more filler syllables over frames 0..t.
void compute_forward_filler(RecognizerEngine& engine);
// B[t], t = T-1..0: best score of one or more filler syllables over frames t..T-1.
void compute_backward_filler(RecognizerEngine& engine);

// begin_level_pass, then all levels (19 down to 0) advanced frame by frame
// over frames 0..T-1.
void run_level_pass(RecognizerEngine& engine);

// Sets every populated level's trellis and W to minus infinity and takes the
// models' state counts; needed before the first advance_level.
void begin_level_pass(RecognizerEngine& engine);

// Advances every node of level `level` (0..19) by frame `frame`: the node
// enters from the best exit of level + 1 at this frame (for the next frame),
// word-initial nodes enter with 0 at frame 0 and, in keyword mode, with F at
// later frames. Writes the node's exit score and the level's best exit.
void advance_level(RecognizerEngine& engine, int level, int frame);

// W and E of every level-0 node: the exit at T-1, or in keyword mode the best
// exit at k followed by filler B[k+1] (the earliest such frame keeps a tie).
void score_word_ends(RecognizerEngine& engine);

// How many last syllables go to the stack search for V level-0 nodes:
// V / 3 above 200 nodes, V / 2 for 181..200, all of them up to 180.
int preselection_count(int level_zero_nodes);

// The preselection_count best level-0 nodes by W into engine.search.candidates,
// best first; of equal scores the higher node index comes first.
void preselect_candidates(RecognizerEngine& engine);

// One depth-0 hypothesis per candidate, in candidate order. False (after the
// allocation message and a key wait, with the stack emptied) when an entry
// cannot be allocated.
bool seed_stack(RecognizerEngine& engine);

}  // namespace kws
