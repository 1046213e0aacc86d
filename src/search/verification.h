// Verification of the displayed results: re-alignment, segment scores against
// the own model, the best competitor and the anti-model, the accept/reject
// decision, the result lines and the accepted-keyword list.
#pragma once

#include <array>
#include <cstdint>

namespace kws {

struct RecognizerEngine;

// The anti-model slot of each main model slot 0..149.
extern const std::array<std::int16_t, 150> kAntiModelMap;

void align_result(RecognizerEngine& engine, int display_position);
void trace_segmentation(RecognizerEngine& engine, int display_position);
void score_segments(RecognizerEngine& engine, int display_position);

// Verifies every displayed result (all accepted when verification is off).
void verify_results(RecognizerEngine& engine);

}  // namespace kws
