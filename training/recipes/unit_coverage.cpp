#include "recipes/unit_coverage.h"

#include <algorithm>

#include "lexicon/syllable_decomposition.h"
#include "lexicon/syllable_table.h"

namespace kws::recipes {

const std::vector<int>& coverage_units() {
  static const std::vector<int> units(slot_order().begin(), slot_order().begin() + kCoverageUnitCount);
  return units;
}

SyllableUnits units_of(int syllable) {
  static const std::vector<SyllableUnits> table = [] {
    std::vector<SyllableUnits> units(kSyllableCount);
    for (int row = 0; row < kSyllableCount; ++row) {
      const SyllableModels models = decompose_syllable(syllable_text(row));
      units[static_cast<std::size_t>(row)] = {model_index_of(models.initial_model), model_index_of(models.final_model)};
    }
    return units;
  }();
  if (syllable < 0 || syllable >= kSyllableCount) return {};
  return table[static_cast<std::size_t>(syllable)];
}

bool has_units(int syllable) {
  const SyllableUnits units = units_of(syllable);
  return units.initial >= 0 && units.final >= 0;
}

void count_units(const std::vector<int>& syllables, UnitCounts& counts) {
  for (const int syllable : syllables) {
    const SyllableUnits units = units_of(syllable);
    if (units.initial >= 0) ++counts[static_cast<std::size_t>(units.initial)];
    if (units.final >= 0) ++counts[static_cast<std::size_t>(units.final)];
  }
}

void count_units(const std::vector<Word>& words, UnitCounts& counts) {
  for (const Word& word : words) count_units(word.syllables, counts);
}

std::vector<int> units_by_count(const UnitCounts& counts) {
  std::vector<int> units = coverage_units();
  std::stable_sort(units.begin(), units.end(), [&counts](int a, int b) {
    return counts[static_cast<std::size_t>(a)] < counts[static_cast<std::size_t>(b)];
  });
  return units;
}

}  // namespace kws::recipes
