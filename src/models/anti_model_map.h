// Which anti-model verifies which main model: initials share an anti-model
// per group of similar initials, every final has its own. The verification
// scores a segment against it, and the trainer trains each anti-model on the
// confusions of the units that map to it.
#pragma once

#include <array>
#include <cstdint>

#include "models/model_inventory.h"

namespace kws {

namespace anti_model_map_detail {

struct AntiRange {
  int first, last, anti;
};

// Initial-type units share an anti-model per group of initials.
constexpr std::array<AntiRange, 22> kInitialAntiRanges{{
    {0, 5, 0},    {6, 11, 3},  {12, 13, 18}, {14, 18, 15},  {19, 24, 20},   {25, 29, 25},   {30, 34, 17}, {35, 39, 9},
    {40, 41, 14}, {42, 47, 4}, {48, 51, 13}, {52, 58, 1},   {59, 64, 24},   {65, 71, 8},    {72, 77, 23}, {78, 82, 5},
    {83, 84, 19}, {85, 90, 2}, {91, 95, 7},  {96, 100, 22}, {101, 106, 16}, {107, 111, 21},
}};

// Final-type units have one anti-model each (slots 112..149 in order).
constexpr std::array<std::int16_t, kFinalSlotCount> kFinalAnti{58, 58, 29, 31, 11, 12, 10, 30, 32, 34, 35, 55, 28,
                                                               51, 54, 39, 40, 38, 50, 6,  41, 43, 37, 47, 56, 48,
                                                               49, 57, 33, 36, 53, 52, 44, 46, 26, 45, 27, 42};

constexpr std::array<std::int16_t, 150> build() {
  std::array<std::int16_t, 150> map{};
  for (const AntiRange& range : kInitialAntiRanges) {
    for (int slot = range.first; slot <= range.last; ++slot)
      map[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(range.anti);
  }
  for (int i = 0; i < kFinalSlotCount; ++i)
    map[static_cast<std::size_t>(kFirstFinalSlot + i)] = kFinalAnti[static_cast<std::size_t>(i)];
  return map;
}

}  // namespace anti_model_map_detail

// The anti-model slot of each main model slot 0..149.
inline constexpr std::array<std::int16_t, 150> kAntiModelMap = anti_model_map_detail::build();

}  // namespace kws
