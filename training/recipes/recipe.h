// One utterance of a recipe, as kws-synth reads it, and the texts written from
// it: the recipe line and the syllables of a corpus list.
//
// A recipe line is eight TAB-separated fields, name, voice, speed, pitch, gap,
// noise, snr and text, where the text is words of tonal Zhuyin syllables
// (UTF-8, every syllable ending in its tone mark, ˍ for the first tone)
// separated by single blanks, and "," is a short pause.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kws::recipes {

// One spoken word: its Big5 characters (empty for syllables without a
// written form) and one SyllableTable row per syllable. A word without
// syllables is a pause.
struct Word {
  std::string big5;
  std::vector<int> syllables;
};

inline Word pause() { return Word{}; }

enum class Noise { none, white, pink, babble };

std::string_view noise_name(Noise noise);

struct Utterance {
  std::string name;  // path under the output folder, without extension
  std::string voice = "-";
  int speed = 175;  // espeak -s, words per minute
  int pitch = 50;   // espeak -p
  int gap = 0;      // espeak -g, 10 ms units
  Noise noise = Noise::none;
  int snr = 0;  // dB; 0 when there is no noise
  std::vector<Word> words;
};

// The tonal Zhuyin of one syllable row in UTF-8, the first tone written ˍ.
std::string zhuyin_syllable(int syllable);

// The recipe text: each word's syllables written together, words and pauses
// separated by single blanks.
std::string recipe_text(const std::vector<Word>& words);

// The whole recipe line, without the line break.
std::string recipe_line(const Utterance& utterance);

// All syllables in spoken order, pauses left out.
std::vector<int> syllables_of(const std::vector<Word>& words);

// The syllables blank-separated, as a corpus list writes them.
std::string syllable_list_text(const std::vector<int>& syllables);

// The Big5 text of the words, pauses and unwritten syllables left out.
std::string big5_text(const std::vector<Word>& words);

// How long the rendered utterance of the words lasts at the given speed and
// gap, from espeak's measured speaking rate; good to about a tenth.
double estimated_seconds(const std::vector<Word>& words, int speed, int gap);
inline double estimated_seconds(const Utterance& utterance) {
  return estimated_seconds(utterance.words, utterance.speed, utterance.gap);
}

}  // namespace kws::recipes
