#include "support/test_vocabulary.h"

#include <array>
#include <cstdio>

#include "models/model_inventory.h"

namespace kws::testing {
namespace {

LevelNode node_for(SyllableSlots slots, bool word_initial) {
  LevelNode node{};
  node.initial_model_number = static_cast<std::int16_t>(slot_order()[static_cast<std::size_t>(slots.first)]);
  node.final_model_number = static_cast<std::int16_t>(slot_order()[static_cast<std::size_t>(slots.second)]);
  node.initial_model_slot = static_cast<std::int16_t>(slots.first);
  node.final_model_slot = static_cast<std::int16_t>(slots.second);
  std::snprintf(node.initial_model_name, sizeof node.initial_model_name, "%d", slots.first);
  std::snprintf(node.final_model_name, sizeof node.final_model_name, "%d", slots.second);
  node.word_initial = word_initial ? 1 : 0;
  node.phone_table_index = -1;
  return node;
}

LevelNode special_node(const char* name, int initial_slot, int final_slot) {
  LevelNode node = node_for({initial_slot, final_slot}, false);
  std::snprintf(node.initial_model_name, sizeof node.initial_model_name, "%s", name);
  std::snprintf(node.final_model_name, sizeof node.final_model_name, "%s", name);
  return node;
}

}  // namespace

void build_test_vocabulary(Vocabulary& vocabulary, const std::vector<TestEntry>& entries) {
  for (LexiconLevel& level : vocabulary.levels) level = {};
  vocabulary.names.clear();
  vocabulary.phone_seqs.clear();
  vocabulary.tree.reset();

  for (const TestEntry& entry : entries) {
    const int length = static_cast<int>(entry.syllables.size());
    std::array<std::int16_t, kLexiconLevels> path{};
    for (int level = length - 1; level >= 0; --level) {
      const SyllableSlots slots = entry.syllables[static_cast<std::size_t>(length - 1 - level)];
      LexiconLevel& table = vocabulary.levels[static_cast<std::size_t>(level)];
      int index = 0;
      while (index < table.count && (table.nodes[static_cast<std::size_t>(index)].initial_model_slot != slots.first ||
                                     table.nodes[static_cast<std::size_t>(index)].final_model_slot != slots.second)) {
        ++index;
      }
      if (index == table.count) {
        table.nodes.push_back(node_for(slots, level == length - 1));
        ++table.count;
      } else if (level == length - 1) {
        table.nodes[static_cast<std::size_t>(index)].word_initial = 1;
      }
      path[static_cast<std::size_t>(level)] = static_cast<std::int16_t>(index);
    }
    vocabulary.tree.insert_entry(std::span<const std::int16_t>(path.data(), static_cast<std::size_t>(length)));
    std::string phone_seq;
    for (int level = length - 1; level >= 0; --level) phone_seq += std::to_string(path[static_cast<std::size_t>(level)]) + " ";
    vocabulary.names.push_back(entry.name);
    vocabulary.phone_seqs.push_back(phone_seq);
  }
  vocabulary.levels[0].nodes.push_back(special_node("sil", kSilenceSlot, kSilenceSlot));
  vocabulary.levels[0].nodes.push_back(special_node("Fil", kFillerInitialSlot, kFillerFinalSlot));
  vocabulary.entry_count = static_cast<std::int32_t>(entries.size());
  vocabulary.loaded_entry_count = vocabulary.entry_count;
}

void set_uniform_models(LoadedData& data, int emitting_states) {
  data.main_models.allocate(kInventorySize);
  for (int slot = 0; slot < kInventorySize; ++slot) {
    HmmModel& model = data.main_models.records[slot];
    model.state_count = static_cast<std::int16_t>(emitting_states + 2);
    model.model_index = static_cast<std::int16_t>(slot_order()[static_cast<std::size_t>(slot)]);
    for (int state = 0; state < kStateSlots; ++state) {
      model.mixture_count[state] = 1;
      model.weight[state][0] = 1.0f;
    }
  }
}

void fill_state_scores(UtteranceWorkspace& work, int frames, float value) {
  for (int t = 0; t < frames; ++t) {
    for (auto& model : work.state_scores[static_cast<std::size_t>(t)]) model.fill(value);
  }
}

void set_flat_anti_models(LoadedData& data, int emitting_states, float gconst) {
  data.anti_models.allocate(kMaxAntiModels);
  for (HmmModel& model : data.anti_models.models()) {
    model.state_count = static_cast<std::int16_t>(emitting_states + 2);
    for (int state = 1; state <= emitting_states; ++state) {
      model.mixture_count[state] = 1;
      model.gconst[state][0] = gconst;
    }
  }
}

}  // namespace kws::testing
