// How often the corpus says each of the 150 sub-syllable units the models
// are trained for: the initial and final models of every syllable, as
// decompose_syllable names them and the model inventory numbers them. The
// silence and filler units are not said by any syllable and do not count.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "models/model_inventory.h"
#include "recipes/recipe.h"

namespace kws::recipes {

inline constexpr int kCoverageUnitCount = kInitialSlotCount + kFinalSlotCount;  // 150

// Inventory indices of the 150 units, in model-list order.
const std::vector<int>& coverage_units();

struct SyllableUnits {
  int initial = -1;  // inventory index, -1 when the inventory has no such model
  int final = -1;
};

SyllableUnits units_of(int syllable);

// Whether both models of the syllable are in the inventory, so the trainer
// can use every frame of it.
bool has_units(int syllable);

using UnitCounts = std::array<int, kInventorySize>;

void count_units(const std::vector<int>& syllables, UnitCounts& counts);
void count_units(const std::vector<Word>& words, UnitCounts& counts);

// The coverage units ordered from the rarest, ties by model-list order.
std::vector<int> units_by_count(const UnitCounts& counts);

}  // namespace kws::recipes
