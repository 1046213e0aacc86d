// Free-syllable decoding: an utterance decoded as an unconstrained sequence
// of the syllables of the active vocabulary's level 0 (any syllable may
// follow any other), frame by frame, then traced back into a path of
// syllable segments, and each segment rescored for every syllable.
//
// Each syllable is its initial model followed by its final model; the
// silence node, last in the list, is the slot-150 model alone. Unlike the
// keyword search, every state step adds the model's log transition
// probability from the previous state slot, w(s) = log_transition[s-1][s],
// to whichever of "stay" and "come from s-1" wins. A syllable may end a
// segment only when its path is longer than 12 frames, so that a frame's best
// syllable end is never a sliver.
//
// Reads the workspace's state-score table, the main models and level 0;
// writes the tables and path of a SyllableLatticeRun.
#pragma once

#include <optional>

#include "platform/refusal.h"

namespace kws {

struct LoadedData;
struct UtteranceWorkspace;
struct SyllableLatticeRun;
struct Vocabulary;

// Frames a syllable's path must exceed (strictly) to end a segment.
inline constexpr int kMinSyllableFrames = 12;

// K, the syllable list's size: the counted level-0 nodes and the silence
// node. 0 when level 0 has no silence node (no vocabulary loaded) or more
// nodes than the decoding tables hold.
int syllable_list_size(const Vocabulary& vocabulary);

// Decodes frames 0..frame_count-1 of the workspace's state scores and leaves
// the path in time order, with durations, in run (path, frame_count,
// syllable_count; the lattice and report lines are cleared). A syllable whose
// models are not loaded (or have no emitting state) never ends a path.
//
// Refuses, with nothing decoded, a frame count outside 1..800, an unusable
// syllable list, and a path of more than 300 segments: a message-box text
// after which the station goes on. A traced start frame that no path reached
// (-1) is taken as frame 0.
std::optional<Refusal> decode_free_syllables(const LoadedData& data, const Vocabulary& vocabulary,
                                             const UtteranceWorkspace& work, SyllableLatticeRun& run, int frame_count);

// The score of list syllable `syllable` over frames first..last alone: its
// path enters only at the first frame, with 1.0, and the score is its exit at
// the last frame; -1e30 for a syllable that cannot be decoded or frames
// outside the state-score table.
float rescore_segment(const LoadedData& data, const Vocabulary& vocabulary, const UtteranceWorkspace& work,
                      int syllable, int first_frame, int last_frame);

}  // namespace kws
