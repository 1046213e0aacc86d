// How kws prints a pass's outcome, shared by the commands that run passes.
#pragma once

#include <cstdint>

#include "cli/json_writer.h"
#include "engine/engine.h"

namespace kws::cli {

// Why a pass refused an utterance, in words.
const char* refusal_text(UtteranceRefusal refusal);

// NAME<TAB>START_FRAME<TAB>END_FRAME for every accepted keyword (frames of
// 10 ms, counted from frame_offset); with details, the six detail lines of
// every result.
void print_keyword_lines(const RecognitionOutcome& outcome, std::int64_t frame_offset, bool details);

// The outcome's members of a JSON object (status, accepted keywords, every
// result with its scores, boundaries and decision, processing times), frames
// counted from frame_offset.
void write_outcome_members(JsonWriter& json, const RecognitionOutcome& outcome, std::int64_t frame_offset);

}  // namespace kws::cli
