// The fixed inventory of the 153 acoustic units the recognizer knows by name.
//
// Each name has a fixed index 0..152. The HMM reader stores the index in every
// model record, start-up refuses a model list naming anything else, and
// vocabulary loading finds the loaded model of a sub-syllable name through it.
// Scoring and search address models by slot (position in the model list), not
// by this index; slot_order() gives the list order they rely on.
#pragma once

#include <array>
#include <string_view>

namespace kws {

inline constexpr int kInventorySize = 153;

// Slot layout of the main model set that scoring and search rely on.
inline constexpr int kInitialSlotCount = 112;  // slots 0..111: initial-type units
inline constexpr int kFinalSlotCount = 38;     // slots 112..149: final-type units
inline constexpr int kFirstFinalSlot = kInitialSlotCount;
inline constexpr int kSilenceSlot = 150;
inline constexpr int kFillerInitialSlot = 151;
inline constexpr int kFillerFinalSlot = 152;

// The name of inventory index 0..152.
std::string_view inventory_name(int index);

// The index whose name equals name byte for byte, or -1.
int model_index_of(std::string_view name);

// Inventory indices in the order a model list must name them: the initial-type
// units (context-dependent initials, sic_ units, d_ee, n_o, j_ee), the finals
// with empt1 and empt2, then sil, fil_ini and fil_fin.
const std::array<int, kInventorySize>& slot_order();

// The slot of the unit called name in a set in slot_order(); -1 for a name
// that is not in the inventory.
int slot_in_order(std::string_view name);

}  // namespace kws
