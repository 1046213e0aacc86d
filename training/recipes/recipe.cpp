#include "recipes/recipe.h"

#include <algorithm>

#include "lexicon/syllable_table.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::recipes {
namespace {

// espeak's speaking rate for the pinyin voice, fitted on 300 utterances of
// the recipes in all the variants used here, each word's syllables joined by
// hyphens: the speech from its first to its last loud sample lasts about
// kSyllableRate / speed per syllable, kPauseRate / speed per pause "," and
// kGapRate / speed per gap unit between two words. kLeadSeconds is the
// silence a rendered utterance has around its speech (0.15 to 0.45 s on each
// side). Single utterances stray from the estimate by 7% (one standard
// deviation), mostly with how long their syllables are.
constexpr double kSyllableRate = 46.0;
constexpr double kPauseRate = 26.0;
constexpr double kGapRate = 2.4;
constexpr double kLeadSeconds = 0.55;

}  // namespace

std::string_view noise_name(Noise noise) {
  switch (noise) {
    case Noise::none:
      return "none";
    case Noise::white:
      return "white";
    case Noise::pink:
      return "pink";
    case Noise::babble:
      return "babble";
  }
  return "none";
}

std::string zhuyin_syllable(int syllable) { return big5_to_utf8(syllable_text(syllable)); }

std::string recipe_text(const std::vector<Word>& words) {
  std::string text;
  for (const Word& word : words) {
    if (!text.empty()) text += ' ';
    if (word.syllables.empty()) {
      text += ',';
      continue;
    }
    for (const int syllable : word.syllables) text += zhuyin_syllable(syllable);
  }
  return text;
}

std::string recipe_line(const Utterance& utterance) {
  return utterance.name + '\t' + utterance.voice + '\t' + std::to_string(utterance.speed) + '\t' +
         std::to_string(utterance.pitch) + '\t' + std::to_string(utterance.gap) + '\t' +
         std::string(noise_name(utterance.noise)) + '\t' +
         std::to_string(utterance.noise == Noise::none ? 0 : utterance.snr) + '\t' + recipe_text(utterance.words);
}

std::vector<int> syllables_of(const std::vector<Word>& words) {
  std::vector<int> syllables;
  for (const Word& word : words) syllables.insert(syllables.end(), word.syllables.begin(), word.syllables.end());
  return syllables;
}

std::string syllable_list_text(const std::vector<int>& syllables) {
  std::string text;
  for (const int syllable : syllables) {
    if (!text.empty()) text += ' ';
    text += zhuyin_syllable(syllable);
  }
  return text;
}

std::string big5_text(const std::vector<Word>& words) {
  std::string text;
  for (const Word& word : words) text += word.big5;
  return text;
}

double estimated_seconds(const std::vector<Word>& words, int speed, int gap) {
  int syllables = 0;
  int pauses = 0;
  int boundaries = -1;
  for (const Word& word : words) {
    syllables += static_cast<int>(word.syllables.size());
    pauses += word.syllables.empty() ? 1 : 0;
    ++boundaries;
  }
  const double per_word_minute = 1.0 / std::max(speed, 1);
  return kLeadSeconds +
         per_word_minute * (kSyllableRate * syllables + kPauseRate * pauses + kGapRate * gap * std::max(boundaries, 0));
}

}  // namespace kws::recipes
