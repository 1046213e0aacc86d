// What the free-syllable decoding of a stored utterance keeps
// from one run to the next: its decoding tables, the decoded syllable path,
// the syllable lattice over that path and the report lines, together with the
// lattice depth setting.
//
// The syllable list is level 0 of the active vocabulary: its counted nodes
// 0..count-1 and the silence node at index count, so K = count + 1 entries.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "frontend/analysis_setup.h"
#include "search/search_tables.h"

namespace kws {

// The counted level-0 nodes the search allows, and the silence node.
inline constexpr int kMaxListSyllables = kLevelZeroNodes + 1;
// A longer decoded path is refused. Every traced step of a real path spans
// more than 12 frames, so 800 frames give at most 62 segments; only a
// degenerate decoding (no syllable ever long enough) can come near this.
inline constexpr int kMaxPathSegments = 300;
inline constexpr int kDefaultLatticeDepth = 25;

struct PathSegment {
  std::int16_t syllable = 0;  // index in the syllable list
  // The frame the segment's path was entered from: the previous segment's
  // last frame, or 0 for the first segment.
  std::int16_t start_frame = 0;
  std::int16_t duration = 0;  // frames, as the report and the lattice file give it
};

struct LatticeRank {
  std::int16_t syllable = 0;
  float score = 0.0f;  // the syllable's score over the segment alone
};

// The frame-synchronous decoding's working tables, indexed by syllable list
// position and frame.
struct FreeSyllableTables {
  // Per syllable, updated in place frame by frame: the scores and start
  // frames of the 12 positions (first model 0..5, second model 6..11).
  std::array<std::array<float, kTrellisSlots>, kMaxListSyllables> path_scores;
  std::array<std::array<std::int16_t, kTrellisSlots>, kMaxListSyllables> path_starts;
  // Per frame: the best end score of a syllable whose path is longer than 12
  // frames, and that syllable (0 when none is).
  std::array<float, kMaxFrames> best_end_scores;
  std::array<std::int16_t, kMaxFrames> best_end_syllables;
  // Per syllable and frame: its end score and the start frame of that path.
  std::array<std::array<float, kMaxFrames>, kMaxListSyllables> end_scores;
  std::array<std::array<std::int16_t, kMaxFrames>, kMaxListSyllables> end_start_frames;
};

struct SyllableLatticeRun {
  std::int32_t depth = kDefaultLatticeDepth;  // N: ranks kept per segment (the setting)

  // The last run; empty after a refused one.
  std::int32_t frame_count = 0;     // T
  std::int32_t syllable_count = 0;  // K
  std::vector<PathSegment> path;    // in time order
  // Per segment, the min(N, K) best syllables, best first.
  std::vector<std::vector<LatticeRank>> lattice;
  // One Big5 line per segment, without a line end: what news.rep holds and
  // what the dialog lists.
  std::vector<std::string> report_lines;

  FreeSyllableTables tables;

  void forget_last_run() {
    frame_count = 0;
    syllable_count = 0;
    path.clear();
    lattice.clear();
    report_lines.clear();
  }
};

}  // namespace kws
