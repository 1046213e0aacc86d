// The forward half of the keyword search: filler scores, the frame-synchronous
// level pass, word-end scores, preselection and the seeded hypothesis stack.
#pragma once

#include <span>

#include "lexicon/lexicon.h"

namespace kws {

struct RecognizerEngine;

// The whole search of one utterance of engine.search.frame_count frames:
// filler scores (keyword mode), the level pass, word-end scoring,
// preselection, stack seeding, the forward clock reading, then collect_nbest.
void run_keyword_search(RecognizerEngine& engine);

void compute_forward_filler(RecognizerEngine& engine);
void compute_backward_filler(RecognizerEngine& engine);

// Advances every node of one level (0..19) by frame `frame`.
void advance_level(RecognizerEngine& engine, int level, int frame);

}  // namespace kws
