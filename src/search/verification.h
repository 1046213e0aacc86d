// Verification of the displayed results: re-alignment, segment scores against
// the own model, the best competitor and the anti-model, the accept/reject
// decision, the result lines and the accepted-keyword list.
//
// Each result is re-aligned from its start frame with the filler-free
// syllable chain of its entry, which fixes its end frame and its syllable and
// initial/final boundaries. Every initial and final segment is then scored on
// its own against the own model, all units of its kind and its anti-model;
// the three per-frame log-likelihood differences become logistic confidences
// whose means decide, together with two duration rules, acceptance.
//
// Everything works on a workspace's state-score tables, so tests can verify
// hand-made results on hand-filled tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/engine_values.h"

namespace kws {

struct LoadedData;
struct UtteranceWorkspace;
struct Vocabulary;

// The decision rules, each of which must hold:
inline constexpr int kMinSyllableFrames = 7;    // every syllable at least 70 ms
inline constexpr int kFramesPerNameByte = 6;    // 12 frames per two-byte character

// The results shown this utterance: results_wanted, but never more than the
// search found or the result tables hold.
int displayed_result_count(const UtteranceWorkspace& work);

// The three operations below take a display position t < displayed_result_count
// and work on the result shown there. Each returns false when the result
// cannot be verified (an entry or frame outside the tables, a path that never
// reaches its end); the result is then rejected.

// Aligns the result's entry from its start frame: sets its end frame, its raw
// keyword score and (K), and the alignment back-pointers.
bool align_result(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work, int display_position);

// Reads the syllable and initial/final boundaries back from the alignment
// tables and writes the segmentation trace (detail line 2).
bool trace_segmentation(UtteranceWorkspace& work, int display_position);

// Scores every segment, fills the confidences, their means and (A), and
// writes detail lines 4 to 6. False when a segment is empty or a model is
// unusable; its confidences are then 0 and the lines are still written.
bool score_segments(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work,
                    int display_position);

// The rules that do not depend on the threshold: every syllable duration >= 7
// frames and end - start >= 6 x the name's byte length.
bool meets_duration_rules(std::span<const std::int16_t> durations, std::size_t name_bytes, int start_frame,
                          int end_frame);

// The decision: the duration rules, and the mean own-versus-competitor
// confidence v1 >= threshold (compared in double; the station's is 0.39).
bool keyword_accepted(std::span<const std::int16_t> durations, std::size_t name_bytes, int start_frame, int end_frame,
                      float v1, double threshold = kDefaultThreshold);

// Values of one result line.
struct ResultLineValues {
  int display_position = 0;  // printed one-based
  std::string_view name;     // Big5
  float score = 0.0f;        // of the N-best search
  int start_frame = 0;
  int end_frame = 0;
  float keyword = 0.0f;  // (K)
  float anti = 0.0f;     // (A)
  float filler = 0.0f;   // (F)
};

// Detail line 1, in Big5: the accepted or the rejected format, which differ
// in the words and in a blank after (K), (A) and (F).
std::string format_result_line(const ResultLineValues& values, bool accepted);

// Verifies every displayed result (all accepted, without detail lines, when
// verification is off) and fills the accepted-keyword list.
void verify_results(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work);

}  // namespace kws
