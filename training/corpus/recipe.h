// Recipes: what each synthesised utterance says and how it sounds.
//
// A recipe is UTF-8 text, one utterance per line, 8 TAB-separated fields:
//
//     name  voice  speed  pitch  gap  noise  snr  text
//
// name is the output path without extension ([A-Za-z0-9_/-], relative);
// voice an espeak-ng variant of the Mandarin pinyin voice or "-" for none;
// speed, pitch and gap espeak's -s (80..450), -p (0..99) and -g (0..50, in
// 10 ms); noise none, white, pink or babble; snr the speech-to-noise ratio in
// dB (ignored for none); text words of tonal Zhuyin syllables separated by
// single blanks, the token "," a short pause. Lines starting with '#' and
// blank lines are ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kws::corpus {

enum class NoiseKind { none, white, pink, babble };

// One blank-separated token of the text: a word of syllables, or a pause.
struct TextToken {
  bool pause = false;
  std::vector<std::string> syllables;  // tonal Zhuyin in UTF-8, each ending in its tone mark
};

struct RecipeUtterance {
  int line = 0;  // in the recipe file, from 1
  std::string name;
  std::string voice;  // empty for the plain voice
  int speed = 0;
  int pitch = 0;
  int gap = 0;
  NoiseKind noise = NoiseKind::none;
  double snr_db = 0.0;
  std::vector<TextToken> text;
};

// The utterances of a recipe in file order. file_name only labels the
// messages: nullopt with error "FILE:LINE: what is wrong" for the first bad line.
std::optional<std::vector<RecipeUtterance>> parse_recipe(std::string_view text, std::string_view file_name,
                                                         std::string& error);

// The syllables of the text separated by single blanks, pauses left out: the
// label of the utterance in the corpus list.
std::string syllable_labels(const RecipeUtterance& utterance);

}  // namespace kws::corpus
