#include "batch/free_syllable_decoding.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "batch/syllable_lattice_tables.h"
#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "search/search_detail.h"
#include "search/utterance_workspace.h"

namespace kws {
namespace {

// The one or two models a syllable is decoded with, in order.
struct SyllableBlocks {
  int count = 0;  // 0: the syllable cannot be decoded
  std::array<const HmmModel*, 2> models{};
  std::array<int, 2> slots{};
  std::array<int, 2> states{};  // N of each model, entry and exit included
};

SyllableBlocks blocks_of(const LoadedData& data, const Vocabulary& vocabulary, int syllable, int list_size) {
  const LevelNode& node = vocabulary.levels[0].nodes[static_cast<std::size_t>(syllable)];
  // The silence node is the silence model alone, whatever its slot fields say.
  const std::array<int, 2> slots = {syllable == list_size - 1 ? kSilenceSlot : node.initial_model_slot,
                                    node.final_model_slot};
  const int wanted = syllable == list_size - 1 ? 1 : 2;
  SyllableBlocks blocks;
  for (int b = 0; b < wanted; ++b) {
    if (search_detail::runnable_state_count(data.main_models, slots[static_cast<std::size_t>(b)]) == 0) return {};
    const HmmModel& model = data.main_models.records[static_cast<std::size_t>(slots[static_cast<std::size_t>(b)])];
    blocks.models[static_cast<std::size_t>(b)] = &model;
    blocks.slots[static_cast<std::size_t>(b)] = slots[static_cast<std::size_t>(b)];
    blocks.states[static_cast<std::size_t>(b)] = model.state_count;
  }
  blocks.count = wanted;
  return blocks;
}

// The position of the syllable's end: the exit of its last block.
int exit_position(const SyllableBlocks& blocks) {
  return blocks.count == 2 ? kFinalEntrySlot + blocks.states[1] - 1 : blocks.states[0] - 1;
}

// One frame of one model block on positions 0..N-1 (entry, emitting states,
// exit). States are visited from the last down, so each reads its
// predecessor's score of the previous frame; the predecessor takes over only
// on a strictly greater score, and w(s) is added whichever wins.
void advance_block(float* scores, std::int16_t* starts, const HmmModel& model, int states,
                   const std::array<float, kStateSlots>& state_scores) {
  for (int s = states - 2; s >= 1; --s) {
    const float weight = model.log_transition[s - 1][s];
    if (scores[s - 1] > scores[s]) {
      scores[s] = scores[s - 1] + weight + state_scores[static_cast<std::size_t>(s)];
      starts[s] = starts[s - 1];
    } else {
      scores[s] = scores[s] + weight + state_scores[static_cast<std::size_t>(s)];
    }
  }
  scores[states - 1] = scores[states - 2] + model.log_transition[states - 2][states - 1];
  starts[states - 1] = starts[states - 2];
}

// One frame of a syllable whose entry (position 0) is already set: the
// second block's entry takes the first block's exit as the previous frame
// left it, then the blocks run in order.
void advance_syllable(float* scores, std::int16_t* starts, const SyllableBlocks& blocks, const StateScores& row) {
  if (blocks.count == 2) {
    scores[kFinalEntrySlot] = scores[blocks.states[0] - 1];
    starts[kFinalEntrySlot] = starts[blocks.states[0] - 1];
  }
  for (int b = 0; b < blocks.count; ++b) {
    const int base = b == 0 ? 0 : kFinalEntrySlot;
    const auto u = static_cast<std::size_t>(b);
    advance_block(scores + base, starts + base, *blocks.models[u], blocks.states[u],
                  row[static_cast<std::size_t>(blocks.slots[u])]);
  }
}

}  // namespace

int syllable_list_size(const Vocabulary& vocabulary) {
  const LexiconLevel& level = vocabulary.levels[0];
  if (level.count < 0 || level.count + 1 > kMaxListSyllables) return 0;
  if (static_cast<int>(level.nodes.size()) < level.count + 1) return 0;
  return level.count + 1;
}

std::optional<Refusal> decode_free_syllables(const LoadedData& data, const Vocabulary& vocabulary,
                                             const UtteranceWorkspace& work, SyllableLatticeRun& run, int frame_count) {
  run.forget_last_run();
  if (frame_count < 1 || frame_count > kMaxFrames) {
    return Refusal::in_message_box_going_on(format_text(
        "Syllable lattice: the utterance has %d frames; 1 to %d can be decoded\n", frame_count, kMaxFrames));
  }
  const int list_size = syllable_list_size(vocabulary);
  if (list_size == 0) {
    return Refusal::in_message_box_going_on(
        format_text("Syllable lattice: no syllable list; load a vocabulary of at most %d level-0 syllables\n",
                    kMaxListSyllables - 1));
  }

  FreeSyllableTables& tables = run.tables;
  std::vector<SyllableBlocks> blocks(static_cast<std::size_t>(list_size));
  for (int i = 0; i < list_size; ++i) {
    const auto u = static_cast<std::size_t>(i);
    blocks[u] = blocks_of(data, vocabulary, i, list_size);
    tables.path_scores[u].fill(kMinusInfinity);
    tables.path_starts[u].fill(-1);
  }

  for (int d = 0; d < frame_count; ++d) {
    const auto frame = static_cast<std::size_t>(d);
    tables.best_end_scores[frame] = kMinusInfinity;
    tables.best_end_syllables[frame] = 0;
    const StateScores& row = work.state_scores[frame];
    for (int i = 0; i < list_size; ++i) {
      const auto u = static_cast<std::size_t>(i);
      float* scores = tables.path_scores[u].data();
      std::int16_t* starts = tables.path_starts[u].data();
      float end = kMinusInfinity;
      std::int16_t start = -1;
      if (blocks[u].count != 0) {
        // Any syllable follows the best syllable end of the previous frame;
        // the first frame is entered with 1.0, as the station always did.
        scores[0] = d == 0 ? 1.0f : tables.best_end_scores[frame - 1];
        starts[0] = static_cast<std::int16_t>(d == 0 ? 0 : d - 1);
        advance_syllable(scores, starts, blocks[u], row);
        end = scores[exit_position(blocks[u])];
        start = starts[exit_position(blocks[u])];
      }
      tables.end_scores[u][frame] = end;
      tables.end_start_frames[u][frame] = start;
      if (end > tables.best_end_scores[frame] && d - start > kMinSyllableFrames) {
        tables.best_end_scores[frame] = end;
        tables.best_end_syllables[frame] = static_cast<std::int16_t>(i);
      }
    }
  }

  // The final syllable: the best end at the last frame among paths longer
  // than 12 frames; syllable 0 when none is.
  const auto last = static_cast<std::size_t>(frame_count - 1);
  int final_syllable = 0;
  float best = kMinusInfinity;
  for (int i = 0; i < list_size; ++i) {
    const auto u = static_cast<std::size_t>(i);
    if (frame_count - tables.end_start_frames[u][last] > kMinSyllableFrames && tables.end_scores[u][last] > best) {
      best = tables.end_scores[u][last];
      final_syllable = i;
    }
  }

  // Trace back from the last frame: each segment was entered from the best
  // syllable end of its start frame. Start frames only decrease, so this ends.
  std::vector<PathSegment> reversed;
  int syllable = final_syllable;
  int start = tables.end_start_frames[static_cast<std::size_t>(final_syllable)][last];
  for (;;) {
    if (static_cast<int>(reversed.size()) == kMaxPathSegments) {
      return Refusal::in_message_box_going_on(format_text(
          "Syllable lattice: the decoded path has more than %d segments; nothing is written\n", kMaxPathSegments));
    }
    reversed.push_back({static_cast<std::int16_t>(syllable), static_cast<std::int16_t>(std::max(start, 0)), 0});
    if (start < 1) break;
    const auto frame = static_cast<std::size_t>(start);
    syllable = tables.best_end_syllables[frame];
    start = tables.end_start_frames[static_cast<std::size_t>(syllable)][frame];
  }

  run.path.assign(reversed.rbegin(), reversed.rend());
  for (std::size_t k = 0; k < run.path.size(); ++k) {
    const int next_start = k + 1 < run.path.size() ? run.path[k + 1].start_frame : frame_count - 1;
    run.path[k].duration = static_cast<std::int16_t>(next_start - run.path[k].start_frame);
  }
  run.frame_count = frame_count;
  run.syllable_count = list_size;
  return std::nullopt;
}

float rescore_segment(const LoadedData& data, const Vocabulary& vocabulary, const UtteranceWorkspace& work,
                      int syllable, int first_frame, int last_frame) {
  const int list_size = syllable_list_size(vocabulary);
  if (syllable < 0 || syllable >= list_size || first_frame < 0 || last_frame >= kMaxFrames) return kMinusInfinity;
  const SyllableBlocks blocks = blocks_of(data, vocabulary, syllable, list_size);
  if (blocks.count == 0) return kMinusInfinity;
  std::array<float, kTrellisSlots> scores;
  std::array<std::int16_t, kTrellisSlots> starts{};  // not needed here; the recursion keeps them anyway
  scores.fill(kMinusInfinity);
  scores[0] = 1.0f;
  for (int d = first_frame; d <= last_frame; ++d) {
    advance_syllable(scores.data(), starts.data(), blocks, work.state_scores[static_cast<std::size_t>(d)]);
    scores[0] = kMinusInfinity;  // entry only at the segment's first frame
  }
  return scores[static_cast<std::size_t>(exit_position(blocks))];
}

}  // namespace kws
