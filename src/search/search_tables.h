// The tables of one utterance's search: state scores, the forward pass, the
// N-best results, their verification and what the dialog shows. All of them
// are fixed-capacity members of an utterance workspace, overwritten utterance
// by utterance.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_values.h"
#include "frontend/analysis_setup.h"
#include "lexicon/lexicon.h"
#include "models/anti_model_file.h"
#include "models/hmm_model.h"

namespace kws {

inline constexpr int kMaxModelSlots = 160;
inline constexpr float kMinusInfinity = -1e30f;  // the search's "impossible"
inline constexpr int kTrellisSlots = 12;     // initial model in 0..5, final model in 6..11
inline constexpr int kFinalEntrySlot = 6;
inline constexpr int kLevelZeroNodes = 410;  // stride of the trellis and the word tables
inline constexpr int kMaxSegments = 100;     // per result
inline constexpr int kMaxBoundaries = 40;    // per result

// Natural-log likelihood of every emitting state of every model slot, per frame.
using StateScores = std::array<std::array<float, kStateSlots>, kMaxModelSlots>;
using StateScoreTable = std::array<StateScores, kMaxFrames>;
using AntiStateScores = std::array<std::array<float, kStateSlots>, kMaxAntiModels>;
using AntiStateScoreTable = std::array<AntiStateScores, kMaxFrames>;

// First node of each level in one table of all levels' nodes, each level
// sized by its capacity; the last element is the total.
constexpr std::array<int, kLexiconLevels + 1> level_node_starts() {
  std::array<int, kLexiconLevels + 1> starts{};
  for (int level = 0; level < kLexiconLevels; ++level) {
    starts[static_cast<std::size_t>(level) + 1] = starts[static_cast<std::size_t>(level)] + level_capacity(level);
  }
  return starts;
}
inline constexpr std::array<int, kLexiconLevels + 1> kLevelNodeStarts = level_node_starts();

// Exit scores of every node of every level at every frame.
class LevelExitScores {
 public:
  float& at(int level, int node, int frame) { return scores_[offset(level, node) + static_cast<std::size_t>(frame)]; }
  float at(int level, int node, int frame) const {
    return scores_[offset(level, node) + static_cast<std::size_t>(frame)];
  }
  // The frames of one node, contiguous.
  float* node(int level, int node) { return &scores_[offset(level, node)]; }
  const float* node(int level, int node) const { return &scores_[offset(level, node)]; }

 private:
  static constexpr std::size_t offset(int level, int node) {
    return static_cast<std::size_t>(kLevelNodeStarts[static_cast<std::size_t>(level)] + node) * kMaxFrames;
  }

  std::array<float, static_cast<std::size_t>(kLevelNodeStarts[kLexiconLevels]) * kMaxFrames> scores_;
};

// One partial hypothesis of the stack decoder.
struct StackEntry {
  std::int16_t depth = 0;        // level reached (0 = the entry's last syllable)
  std::int16_t node_index = 0;   // node of that level
  float priority = kMinusInfinity;  // optimistic total; exact once complete
  // Per frame t: best score of the decoded syllables from t to the end.
  // Children share their parent's array until they are expanded themselves:
  // a copy for each of hundreds of children cost more than the search.
  std::shared_ptr<std::vector<float>> suffix_scores;
  std::uint8_t complete = 0;
  const LexiconTreeNode* tree_node = nullptr;
  std::int16_t end_frame = 0;
  std::int16_t start_frame = 0;  // set when complete
};

// Hypotheses whose front (head) holds a maximal priority after every change.
// A deque keeps the bubble pass over contiguous blocks, and references to
// the head stay valid while children are appended.
using HypothesisStack = std::deque<StackEntry>;

inline constexpr int kTrellisLanes = 8;  // floats in one vector of the trellis steps

// One node of the level pass: where its models' state scores sit in a row
// of the state-score table and how many emitting states each has.
struct LevelPassNode {
  std::int16_t node = 0;
  std::int8_t initial_states = 0;
  std::int8_t final_states = 0;
  std::int32_t initial_scores = 0;  // offsets in a state-score row (floats)
  std::int32_t final_scores = 0;
  std::uint8_t word_initial = 0;
  // The trellis between two spans of frames: the initial's states in 1..4,
  // the final's in 7..10.
  std::array<float, kTrellisSlots> g;
};

// Forward pass state and the seeds of the stack search.
struct KeywordSearchTables {
  std::int32_t frame_count = 0;  // T
  // Each level's nodes as the level pass steps them.
  std::array<std::vector<LevelPassNode>, kLexiconLevels> level_nodes;
  LevelExitScores level_exit_scores;
  std::array<std::array<float, kMaxFrames>, 2> level_best;  // level n writes [n % 2], reads [(n + 1) % 2]
  // What enters a level's first state at each frame: [0] for every node,
  // [1] for the first syllables of entries (after filler, from 0 at frame 0).
  std::array<std::array<float, kMaxFrames>, 2> level_entries;
  std::array<float, kMaxFrames> forward_filler;   // F[t]: filler syllables over frames 0..t
  std::array<float, kMaxFrames> backward_filler;  // B[t]: filler syllables over t..T-1
  std::array<float, kLevelZeroNodes> word_scores;             // W[j]
  std::array<std::int16_t, kLevelZeroNodes> word_end_frames;  // E[j]
  std::array<std::int16_t, kLevelZeroNodes> preselection_order;
  std::array<std::int16_t, kLevelZeroNodes> candidates;       // best first
  std::int32_t candidate_count = 0;
  HypothesisStack stack;
  std::int32_t stack_size = 0;
  // Why the stack search stopped early, when a hypothesis could not be
  // allocated: the console text the station shows before it waits for a key.
  std::string allocation_failure;
};

// The N best entries of the last utterance, in the order they were found.
struct RecognitionResults {
  std::int32_t count = 0;  // results found in this utterance; later slots are stale
  std::array<std::string, kMaxResults> lines;  // "%d %s %5.2f": entry number from 1, Name, score
  std::array<float, kMaxResults> scores;
  std::array<std::int16_t, kMaxResults> entries;
  std::array<std::int16_t, kMaxResults> end_frames;
  std::array<std::int16_t, kMaxResults> start_frames;
};

struct SegmentScore {
  float own = -1e8f;         // K
  float competitor = -1e8f;  // Q
  float anti = -1e8f;        // A
  float p1 = 0.0f, p2 = 0.0f, p3 = 0.0f;
};

// Verification of one result: its alignment, boundaries and segment scores.
struct ResultVerification {
  float raw_score = 0.0f;        // exit score at the aligned end
  float keyword_score = 0.0f;    // (K): raw score per frame
  std::int16_t syllable_count = 0;
  std::array<std::int16_t, kMaxEntrySyllables + 1> syllable_bounds{};  // SB[0..L]
  std::array<std::int16_t, kMaxEntrySyllables + 1> initial_ends{};     // MID[1..L]
  std::array<std::int16_t, kMaxEntrySyllables> durations{};            // DUR[0..L-1]
  std::array<std::int16_t, kMaxBoundaries + 1> unit_bounds{};          // BND[0..2L]
  std::array<SegmentScore, kMaxSegments> segments{};
  float v1 = 0.0f, v2 = 0.0f, v3 = 0.0f;
  float anti_score = 0.0f;  // (A): mean over the segments of the per-frame anti-model score
  float filler_score = 0.0f;  // (F): forward filler score per frame over the result's span
  bool meets_duration_rules = false;  // the decision's rules but the confidence threshold
  bool accepted = false;
};

struct AlignmentTables {
  // Per level and frame: where the best path of that level's syllable ending
  // at the frame began, and the last frame of its initial.
  std::array<std::array<std::int16_t, kMaxFrames>, kLexiconLevels> syllable_starts;
  std::array<std::array<std::int16_t, kMaxFrames>, kLexiconLevels> initial_ends;
  std::array<float, kMaxFrames> exit_scores;  // P[t]
};

// The options of the pass in progress, as the search reads them.
struct SearchSettings {
  std::int16_t keyword_spotting = 1;
  std::int16_t verification_enabled = 1;
  std::int32_t results_wanted = 30;
  double threshold = kDefaultThreshold;  // of the mean confidence v1
};

}  // namespace kws
