// The large-vocabulary recognizer: every level-0 syllable of the vocabulary in
// a free loop, any syllable following the best one of the previous frame.
// Unlike the keyword search it adds the models' transition log-probabilities.
#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "search/recognition_pass.h"
#include "search/search_detail.h"
#include "search/utterance_workspace.h"

namespace kws {

namespace {

constexpr int kSyllablesShown = 10;

// One frame of one model on slots base..base+N-1 (entry, emitting states, exit).
void advance_with_transitions(float* slots, const HmmModel& model, int states,
                              const std::array<float, kStateSlots>& scores) {
  for (int s = states - 2; s >= 1; --s) {
    const float a = model.log_transition[s - 1][s];
    const float stay = slots[s] + a;
    const float enter = slots[s - 1] + a;
    slots[s] = (enter > stay ? enter : stay) + scores[static_cast<std::size_t>(s)];
  }
  slots[states - 1] = slots[states - 2] + model.log_transition[states - 2][states - 1];
}

}  // namespace

std::vector<std::string> recognize_syllable_loop(const LoadedData& data, const Vocabulary& vocabulary,
                                                 UtteranceWorkspace& work) {
  const int frame_count = work.search.frame_count;
  const LexiconLevel& level = vocabulary.levels[0];
  const int nodes = std::min({level.count, static_cast<int>(level.nodes.size()), level_capacity(0)});
  if (frame_count < 1 || frame_count > kMaxFrames) {
    message_sink().console(format_text("Syllable loop: %d frames out of range\n", frame_count));
    return {};
  }

  std::vector<std::array<float, kTrellisSlots>> trellis(static_cast<std::size_t>(std::max(nodes, 0)));
  for (auto& slots : trellis) slots.fill(kMinusInfinity);
  std::vector<float> loop_scores(static_cast<std::size_t>(frame_count));  // L[t]
  LevelExitScores& exits = work.search.level_exit_scores;

  for (int t = 0; t < frame_count; ++t) {
    float best = kMinusInfinity;
    const StateScores& row = work.state_scores[static_cast<std::size_t>(t)];
    for (int k = 0; k < nodes; ++k) {
      const LevelNode& node = level.nodes[static_cast<std::size_t>(k)];
      auto& slots = trellis[static_cast<std::size_t>(k)];
      const int initial_states = search_detail::runnable_state_count(data.main_models, node.initial_model_slot);
      const int final_states = search_detail::runnable_state_count(data.main_models, node.final_model_slot);
      float exit = kMinusInfinity;
      if (initial_states != 0 && final_states != 0) {
        // The loop is entered with 1.0 at the first frame, as the recognizer always did.
        slots[0] = t == 0 ? 1.0f : loop_scores[static_cast<std::size_t>(t) - 1];
        slots[kFinalEntrySlot] = slots[static_cast<std::size_t>(initial_states) - 1];
        const HmmModel& initial = data.main_models.records[static_cast<std::size_t>(node.initial_model_slot)];
        const HmmModel& final_model = data.main_models.records[static_cast<std::size_t>(node.final_model_slot)];
        advance_with_transitions(slots.data(), initial, initial_states,
                                 row[static_cast<std::size_t>(node.initial_model_slot)]);
        advance_with_transitions(slots.data() + kFinalEntrySlot, final_model, final_states,
                                 row[static_cast<std::size_t>(node.final_model_slot)]);
        exit = slots[static_cast<std::size_t>(kFinalEntrySlot + final_states) - 1];
      }
      if (exit > best) best = exit;
      exits.at(0, k, t) = exit;
    }
    loop_scores[static_cast<std::size_t>(t)] = best;
  }

  // Bubble passes swapping only a strictly greater left score; each pass
  // leaves the best of the unsorted part at its end, so of equal scores the
  // higher node index is ranked first.
  std::vector<int> order(static_cast<std::size_t>(std::max(nodes, 0)));
  std::iota(order.begin(), order.end(), 0);
  std::vector<int> ranking;
  ranking.reserve(order.size());
  const auto final_score = [&](int node) { return exits.at(0, node, frame_count - 1); };
  for (int pass = 0; pass < nodes; ++pass) {
    for (int j = 0; j + 1 < nodes - pass; ++j) {
      if (final_score(order[static_cast<std::size_t>(j)]) > final_score(order[static_cast<std::size_t>(j) + 1])) {
        std::swap(order[static_cast<std::size_t>(j)], order[static_cast<std::size_t>(j) + 1]);
      }
    }
    ranking.push_back(order[static_cast<std::size_t>(nodes - 1 - pass)]);
  }

  // Fewer than ten syllables: all of them are listed.
  std::vector<std::string> best;
  const int shown = std::min(kSyllablesShown, static_cast<int>(ranking.size()));
  for (int r = 0; r < shown; ++r) {
    const LevelNode& node = level.nodes[static_cast<std::size_t>(ranking[static_cast<std::size_t>(r)])];
    best.emplace_back(node.syllable_text, strnlen(node.syllable_text, sizeof node.syllable_text));
  }
  return best;
}

std::string syllable_loop_text(const std::vector<std::string>& best_syllables) {
  std::string text;
  for (const std::string& syllable : best_syllables) text += '(' + syllable + ')';
  return big5_to_utf8(text);
}

}  // namespace kws
