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
// All tables live in work.search; T is work.search.frame_count.
#pragma once

namespace kws {

struct LoadedData;
struct UtteranceWorkspace;
struct Vocabulary;

// The whole search of one utterance: run_forward_pass, then collect_nbest.
// work.results.count says how many results it found (0 when refused).
void run_keyword_search(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

// Filler scores (keyword mode), the level pass, word-end scoring,
// preselection and stack seeding, then the processor-clock reading into
// work.times.forward_end. Returns false, with no results and an empty stack,
// when T is outside 1..800, a level holds more nodes than its capacity, a node
// names a model that is not loaded, or a stack entry cannot be allocated;
// each case reports on the console first.
bool run_forward_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

// F[t], t = 0..T-1: best score of one or more filler syllables over frames 0..t.
void compute_forward_filler(const LoadedData& data, UtteranceWorkspace& work);
// B[t], t = T-1..0: best score of one or more filler syllables over frames t..T-1.
void compute_backward_filler(const LoadedData& data, UtteranceWorkspace& work);

// begin_level_pass, then run_level for every level from 19 down to 0.
void run_level_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

// Sets W to minus infinity, takes the models' state counts and lists each
// level's nodes for run_level.
void begin_level_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

// Runs every node of level `level` (0..19) over frames 0..T-1: a node enters
// at frame t from the best exit of level + 1 at t-1; word-initial nodes enter
// with 0 at frame 0 and, in keyword mode, with F[t-1] when it is better.
// Writes the nodes' exit scores and the level's best exit per frame; level + 1
// must have run.
void run_level(UtteranceWorkspace& work, int level);

// W and E of every level-0 node: the exit at T-1, or in keyword mode the best
// exit at k followed by filler B[k+1] (the earliest such frame keeps a tie).
void score_word_ends(const Vocabulary& vocabulary, UtteranceWorkspace& work);

// How many last syllables go to the stack search for V level-0 nodes:
// V / 3 above 200 nodes, V / 2 for 181..200, all of them up to 180.
int preselection_count(int level_zero_nodes);

// The preselection_count best level-0 nodes by W into work.search.candidates,
// best first; of equal scores the higher node index comes first.
void preselect_candidates(const Vocabulary& vocabulary, UtteranceWorkspace& work);

// One depth-0 hypothesis per candidate, in candidate order. False, with the
// stack emptied and the message in work.search.allocation_failure, when an
// entry cannot be allocated.
bool seed_stack(const Vocabulary& vocabulary, UtteranceWorkspace& work);

}  // namespace kws
