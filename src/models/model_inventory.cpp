#include "models/model_inventory.h"

#include <algorithm>

namespace kws {
namespace {

constexpr std::array<std::string_view, kInventorySize> kNames = {
    "sil",
    "b_a", "b_o", "b_e", "b_i", "b_u", "b_ee",
    "p_a", "p_o", "p_e", "p_i", "p_u", "p_ee",
    "m_a", "m_o", "m_e", "m_i", "m_u", "m_ee",
    "f_a", "f_o", "f_e", "f_u", "f_ee",
    "d_a", "d_o", "d_e", "d_i", "d_u",
    "t_a", "t_o", "t_e", "t_i", "t_u",
    "n_a", "n_e", "n_i", "n_u", "n_iu", "n_ee",
    "l_a", "l_o", "l_e", "l_i", "l_u", "l_iu", "l_ee",
    "g_a", "g_o", "g_e", "g_u", "g_ee",
    "k_a", "k_o", "k_e", "k_u",
    "h_a", "h_o", "h_e", "h_u", "h_ee",
    "ji_i", "ji_iu", "chi_i", "chi_iu", "shi_i", "shi_iu",
    "j_empt", "j_a", "j_o", "j_e", "j_u",
    "ch_empt", "ch_a", "ch_o", "ch_e", "ch_u",
    "sh_empt", "sh_a", "sh_o", "sh_e", "sh_u", "sh_ee",
    "r_empt", "r_a", "r_o", "r_e", "r_u",
    "tz_empt", "tz_a", "tz_o", "tz_e", "tz_u", "tz_ee",
    "ts_empt", "ts_a", "ts_o", "ts_e", "ts_u",
    "s_empt", "s_a", "s_o", "s_e", "s_u",
    "a", "o", "e", "ai", "ei", "au", "ou", "en", "an", "ang", "eng", "i", "u", "iu", "ia", "ie",
    "iau", "ian", "in", "iang", "ing", "ua", "uo", "uai", "iai", "iou", "uei", "uan", "uen",
    "uang", "ueng", "iue", "iuan", "iun", "iung", "er",
    "empt1", "empt2",
    "sic_a", "sic_o", "sic_e", "sic_i", "sic_u", "sic_iu",
    "d_ee", "n_o", "j_ee",
    "fil_ini", "fil_fin",
};

// Index ranges of the inventory by unit type.
constexpr int kFirstInitial = 1, kLastInitial = 103;
constexpr int kFirstFinal = 104, kLastFinal = 141;  // 36 finals, empt1, empt2
constexpr int kFirstSyllableInitial = 142, kLastLateInitial = 150;  // sic_*, d_ee, n_o, j_ee

constexpr std::array<int, kInventorySize> make_slot_order() {
  std::array<int, kInventorySize> order{};
  int slot = 0;
  for (int index = kFirstInitial; index <= kLastInitial; ++index) order[slot++] = index;
  for (int index = kFirstSyllableInitial; index <= kLastLateInitial; ++index) order[slot++] = index;
  for (int index = kFirstFinal; index <= kLastFinal; ++index) order[slot++] = index;
  order[slot++] = 0;
  order[slot++] = kInventorySize - 2;
  order[slot++] = kInventorySize - 1;
  return order;
}

constexpr std::array<int, kInventorySize> kSlotOrder = make_slot_order();
static_assert(kSlotOrder[kFirstFinalSlot] == kFirstFinal);
static_assert(kSlotOrder[kSilenceSlot] == 0);

}  // namespace

std::string_view inventory_name(int index) {
  if (index < 0 || index >= kInventorySize) return {};
  return kNames[static_cast<std::size_t>(index)];
}

int model_index_of(std::string_view name) {
  const auto found = std::find(kNames.begin(), kNames.end(), name);
  return found == kNames.end() ? -1 : static_cast<int>(found - kNames.begin());
}

const std::array<int, kInventorySize>& slot_order() { return kSlotOrder; }

int slot_in_order(std::string_view name) {
  const int index = model_index_of(name);
  if (index < 0) return -1;
  return static_cast<int>(std::find(kSlotOrder.begin(), kSlotOrder.end(), index) - kSlotOrder.begin());
}

}  // namespace kws
