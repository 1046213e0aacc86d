// The espeak-ng variants of the Mandarin pinyin voice that speak the corpora,
// and how much each utterance varies its speed, pitch and pauses.
//
// The training corpus never hears the held-out variants, so the tests measure
// how the models do on voices they have not learnt. Every variant here was
// checked to speak the pinyin voice ("-" is the plain voice).
#pragma once

#include <array>
#include <string_view>

#include "recipes/random.h"
#include "recipes/recipe.h"

namespace kws::recipes {

inline constexpr std::array<std::string_view, 16> kTrainingVoices = {
    "-",  "m1",    "m2",     "m3",     "m4",    "m5",    "f1",    "f2",
    "f3", "klatt", "klatt2", "klatt4", "david", "steph", "aunty", "robert",
};

inline constexpr std::array<std::string_view, 6> kHeldOutVoices = {"m6", "m7", "f4", "f5", "klatt3", "edward"};

// Ranges (both ends included) of espeak's speed, pitch and word gap.
struct SpeakingStyle {
  int slowest = 0;
  int fastest = 0;
  int lowest_pitch = 0;
  int highest_pitch = 0;
  int shortest_gap = 0;
  int longest_gap = 0;
};

// Training spreads wide so the models meet fast, slow, low and high speech;
// espeak's default is speed 175, pitch 50, gap 0.
inline constexpr SpeakingStyle kTrainingStyle{120, 200, 25, 75, 0, 8};
// Tests stay nearer to how people talk to the station.
inline constexpr SpeakingStyle kTestStyle{130, 190, 30, 70, 0, 5};

// Draws speed, pitch and gap for one utterance.
inline void draw_style(Random& random, const SpeakingStyle& style, Utterance& utterance) {
  utterance.speed = random.between(style.slowest, style.fastest);
  utterance.pitch = random.between(style.lowest_pitch, style.highest_pitch);
  utterance.gap = random.between(style.shortest_gap, style.longest_gap);
}

}  // namespace kws::recipes
