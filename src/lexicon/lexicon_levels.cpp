#include <algorithm>
#include <cstring>
#include <new>

#include "lexicon/vocabulary.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"

namespace kws {
namespace {

// Copies text into a NUL-terminated field, cut to the field's size.
template <std::size_t N>
void copy_to_field(char (&field)[N], std::string_view text) {
  const std::size_t length = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), length);
  std::memset(field + length, 0, N - length);
}

// The first slot of the set holding the model with inventory index number, or -1.
int slot_of(const ModelSet& models, int number) {
  if (number < 0) return -1;
  const std::span<const HmmModel> set = models.models();
  for (std::size_t slot = 0; slot < set.size(); ++slot) {
    if (set[slot].model_index == number) return static_cast<int>(slot);
  }
  return -1;
}

// The stand-in for a half that maps to no loaded model: the filler's half of
// the same kind, trained on pooled initials or finals and so the neutral
// choice. Slot 0 when the set is too short to hold the filler.
int stand_in_slot(const ModelSet& models, int filler_slot) { return models.count > filler_slot ? filler_slot : 0; }

}  // namespace

void map_node_models(const ModelSet& models, LevelNode& node) {
  node.initial_model_number = static_cast<std::int16_t>(model_index_of(node.initial_model_name));
  node.final_model_number = static_cast<std::int16_t>(model_index_of(node.final_model_name));
  const int initial_slot = slot_of(models, node.initial_model_number);
  const int final_slot = slot_of(models, node.final_model_number);
  node.initial_model_slot =
      static_cast<std::int16_t>(initial_slot >= 0 ? initial_slot : stand_in_slot(models, kFillerInitialSlot));
  node.final_model_slot =
      static_cast<std::int16_t>(final_slot >= 0 ? final_slot : stand_in_slot(models, kFillerFinalSlot));
  if (initial_slot < 0 && final_slot < 0) message_sink().message_box("Map Error");
}

int level_find_or_add(Vocabulary& vocabulary, const ModelSet& models, int level, std::string_view initial,
                      std::string_view final_name, std::string_view syllable, int syllable_count,
                      std::span<std::int16_t, kLexiconLevels> level_path) {
  LexiconLevel& table = vocabulary.levels[static_cast<std::size_t>(level)];
  const bool word_initial = level == syllable_count - 1;

  // Built first so that matching compares the names as the fields hold them.
  LevelNode candidate{};
  copy_to_field(candidate.initial_model_name, initial);
  copy_to_field(candidate.final_model_name, final_name);

  for (int index = 0; index < table.count; ++index) {
    LevelNode& node = table.nodes[static_cast<std::size_t>(index)];
    if (std::strcmp(node.initial_model_name, candidate.initial_model_name) == 0 &&
        std::strcmp(node.final_model_name, candidate.final_model_name) == 0) {
      if (word_initial) node.word_initial = 1;
      level_path[static_cast<std::size_t>(level)] = static_cast<std::int16_t>(index);
      return index;
    }
  }

  copy_to_field(candidate.syllable_text, syllable);
  candidate.word_initial = word_initial ? 1 : 0;
  candidate.phone_table_index = -1;
  map_node_models(models, candidate);
  // At index count, ahead of any silence and filler node already after it.
  table.nodes.insert(table.nodes.begin() + table.count, candidate);
  const int index = table.count++;
  level_path[static_cast<std::size_t>(level)] = static_cast<std::int16_t>(index);
  return index;
}

}  // namespace kws
