#include "recipes/enrolment.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "platform/file_output.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "recipes/random.h"

namespace kws::recipes {
namespace {

// Prompts are made of this many most frequent phrases, so that the speaker
// reads words they know.
constexpr std::size_t kFrequentPhrases = 20000;
// A unit the frequent phrases say in fewer phrases than this gets that many
// from further down; a unit no phrase says gets that many phrases read with
// another reading of one of their characters.
constexpr std::size_t kRarePhrasesPerUnit = 10;
// Equal gains go to the more frequent phrase, by bands of this many ranks;
// within a band the seed decides, so that seeds give different prompts of
// words equally well known.
constexpr std::size_t kFrequencyBand = 1000;
// What fills a prompt still too short: the most common words.
constexpr std::size_t kFillerPhrases = 2000;
constexpr std::size_t kMostPhrasesPerPrompt = 3;
// Past coverage the prompts aim at evener counts, up to this many of each
// unit; beyond it nothing is worth another prompt.
constexpr int kHighestTarget = 100;

// Words nobody should be asked to read aloud to their computer, and a
// misspelling the phrase file has (破廉恥); no prompt holds them.
constexpr std::string_view kAvoidedWords[] = {
    "狗男女", "犯賤", "笨蛋", "白痴", "白癡", "婊子", "性交", "性愛", "性慾",
    "強姦",   "公娼", "色情", "媽的", "該死", "打死", "殺死", "屁股", "破恥廉",
};

bool holds_avoided_word(std::string_view big5) {
  static const std::vector<std::string> avoided = [] {
    std::vector<std::string> words;
    for (const std::string_view word : kAvoidedWords) words.push_back(utf8_to_big5(word).value_or(""));
    return words;
  }();
  return std::any_of(avoided.begin(), avoided.end(),
                     [big5](const std::string& word) { return contains_text(big5, word); });
}

std::size_t characters(const PromptPhrase& phrase) { return phrase.big5.size() / 2; }

// A phrase as the choice sees it.
struct PoolPhrase {
  std::size_t index = 0;                   // in the phrases
  std::vector<std::pair<int, int>> units;  // inventory index, occurrences
  std::size_t characters = 0;
  std::uint64_t rank = 0;  // equal gains go to the lower
};

std::vector<std::pair<int, int>> units_said(const std::vector<int>& syllables) {
  UnitCounts counts{};
  count_units(syllables, counts);
  std::vector<std::pair<int, int>> units;
  for (const int unit : coverage_units()) {
    const int count = counts[static_cast<std::size_t>(unit)];
    if (count > 0) units.emplace_back(unit, count);
  }
  return units;
}

// The frequent phrases, and for every unit they say in fewer than
// kRarePhrasesPerUnit phrases, the next phrases that say it; in the order
// equal gains go.
std::vector<PoolPhrase> phrase_pool(const std::vector<PromptPhrase>& phrases, Random& random) {
  std::vector<PoolPhrase> pool;
  UnitCounts sayers{};
  for (std::size_t i = 0; i < phrases.size(); ++i) {
    std::vector<std::pair<int, int>> units = units_said(phrases[i].syllables);
    const bool rare = std::any_of(units.begin(), units.end(), [&sayers](const std::pair<int, int>& unit) {
      return sayers[static_cast<std::size_t>(unit.first)] < static_cast<int>(kRarePhrasesPerUnit);
    });
    if (i >= kFrequentPhrases && !rare) continue;
    for (const auto& [unit, count] : units) ++sayers[static_cast<std::size_t>(unit)];
    const std::uint64_t band = std::min(i, kFrequentPhrases) / kFrequencyBand;
    pool.push_back(PoolPhrase{i, std::move(units), characters(phrases[i]), band << 32 | (random.next() >> 32)});
  }
  std::sort(pool.begin(), pool.end(), [](const PoolPhrase& a, const PoolPhrase& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.index < b.index;
  });
  return pool;
}

std::string numbered(std::size_t number, std::size_t count) {
  const int width = std::max(2, static_cast<int>(std::to_string(count).size()));
  return format_text("%0*zu", width, number);
}

// The characters of a prompt for the speaker, a comma between its phrases so
// that they read it as the words it is made of.
std::string prompt_characters(const std::vector<Word>& prompt) {
  std::string text;
  for (const Word& word : prompt) {
    if (!text.empty()) text += "，";
    text += big5_to_utf8(word.big5);
  }
  return text;
}

}  // namespace

std::vector<PromptPhrase> prompt_phrases(const lexical_data::ReadingData& data, const TextReader& reader) {
  struct Ranked {
    const std::string* big5;
    std::int64_t frequency;
  };
  std::vector<Ranked> ranked;
  for (const auto& [text, reading] : data.phrases) {
    const std::size_t length = text.size() / 2;
    if (length < 2 || length > kLongestPrompt || holds_avoided_word(text)) continue;
    ranked.push_back({&text, reading.frequency});
  }
  std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
    return a.frequency != b.frequency ? a.frequency > b.frequency : *a.big5 < *b.big5;
  });
  std::vector<PromptPhrase> phrases;
  UnitCounts said{};
  for (const Ranked& phrase : ranked) {
    std::optional<std::vector<int>> syllables = reader.read_syllables(*phrase.big5);
    if (!syllables || syllables->size() != phrase.big5->size() / 2) continue;
    if (!std::all_of(syllables->begin(), syllables->end(), has_units)) continue;
    count_units(*syllables, said);
    phrases.push_back(PromptPhrase{*phrase.big5, std::move(*syllables)});
  }

  // A unit no phrase says (ㄓㄟˋ, as 這 is often said) still has a character
  // reading that says it: the most frequent phrases with that character are
  // added once more, read with it (這個 as ㄓㄟˋ ㄍㄜ˙).
  const std::size_t read_as_phrases = phrases.size();
  for (const int unit : coverage_units()) {
    if (said[static_cast<std::size_t>(unit)] > 0) continue;
    std::size_t added = 0;
    for (const auto& [character, info] : data.characters) {
      for (const int reading : info.readings) {
        const SyllableUnits units = units_of(reading);
        if (!has_units(reading) || (units.initial != unit && units.final != unit)) continue;
        for (std::size_t i = 0; i < read_as_phrases && added < kRarePhrasesPerUnit; ++i) {
          PromptPhrase variant = phrases[i];
          const std::vector<std::string_view> text = characters_of(variant.big5);
          for (std::size_t k = 0; k < text.size(); ++k) {
            if (text[k] == character) variant.syllables[k] = reading;
          }
          if (variant.syllables == phrases[i].syllables) continue;
          phrases.push_back(std::move(variant));
          ++added;
        }
      }
    }
  }
  return phrases;
}

EnrolmentPrompts choose_prompts(const std::vector<PromptPhrase>& phrases, std::size_t wanted, std::uint64_t seed) {
  Random random = Random::for_part(seed, "enrolment prompts");
  const std::vector<PoolPhrase> pool = phrase_pool(phrases, random);
  std::vector<int> sayable;
  {
    UnitCounts said{};
    for (const PoolPhrase& phrase : pool) {
      for (const auto& [unit, count] : phrase.units) said[static_cast<std::size_t>(unit)] += count;
    }
    for (const int unit : coverage_units()) {
      if (said[static_cast<std::size_t>(unit)] > 0) sayable.push_back(unit);
    }
  }
  EnrolmentPrompts chosen;
  UnitCounts& counts = chosen.unit_counts;
  const auto all_reach = [&](int times) {
    return std::all_of(sayable.begin(), sayable.end(),
                       [&](int unit) { return counts[static_cast<std::size_t>(unit)] >= times; });
  };

  std::set<std::string_view> used;  // texts: a phrase read two ways is still one phrase
  const auto free = [&](const PoolPhrase& phrase, std::size_t room) {
    return phrase.characters <= room && !used.contains(phrases[phrase.index].big5);
  };
  int target = kEnrolmentCoverage;
  while (!sayable.empty() && target <= kHighestTarget) {
    if (chosen.prompts.size() >= wanted && all_reach(kEnrolmentCoverage)) break;
    // Once every unit has its due, the rarest are said again, up to wanted.
    while (all_reach(target)) ++target;

    // The prompt that adds the most missing occurrences, phrase by phrase:
    // each the one that adds the most to what the prompt already says.
    UnitCounts said = counts;
    std::vector<const PoolPhrase*> prompt;
    std::size_t length = 0;
    while (prompt.size() < kMostPhrasesPerPrompt) {
      const PoolPhrase* best = nullptr;
      int best_gain = 0;
      for (const PoolPhrase& phrase : pool) {
        if (!free(phrase, kLongestPrompt - length)) continue;
        int gain = 0;
        for (const auto& [unit, count] : phrase.units) {
          gain += std::min(count, std::max(0, target - said[static_cast<std::size_t>(unit)]));
        }
        // Equal gains go to the shorter phrase, leaving room for another.
        if (gain > best_gain || (gain == best_gain && best != nullptr && phrase.characters < best->characters)) {
          best = &phrase;
          best_gain = gain;
        }
      }
      if (best == nullptr) break;
      prompt.push_back(best);
      used.insert(phrases[best->index].big5);
      length += best->characters;
      for (const auto& [unit, count] : best->units) said[static_cast<std::size_t>(unit)] += count;
    }
    if (prompt.empty()) {
      // Nothing adds to the rarest units any more: aim higher, or stop short.
      if (!all_reach(kEnrolmentCoverage)) break;
      ++target;
      continue;
    }
    // A prompt too short to read as one gets a common word.
    for (int tries = 0; length < kShortestPrompt && tries < 100; ++tries) {
      const PoolPhrase& filler = pool[random.below(std::min(kFillerPhrases, pool.size()))];
      if (!free(filler, kLongestPrompt - length)) continue;
      prompt.push_back(&filler);
      used.insert(phrases[filler.index].big5);
      length += filler.characters;
    }
    random.shuffle(prompt);
    std::vector<Word> words;
    for (const PoolPhrase* phrase : prompt) {
      words.push_back(Word{phrases[phrase->index].big5, phrases[phrase->index].syllables});
    }
    count_units(words, counts);
    chosen.prompts.push_back(std::move(words));
    if (chosen.prompts.size() > wanted) chosen.beyond_wanted = true;
  }
  for (const int unit : coverage_units()) {
    if (counts[static_cast<std::size_t>(unit)] < kEnrolmentCoverage) chosen.uncovered_units.push_back(unit);
  }
  return chosen;
}

std::string prompts_text(const std::vector<std::vector<Word>>& prompts) {
  std::string text;
  for (std::size_t i = 0; i < prompts.size(); ++i) {
    text += numbered(i + 1, prompts.size()) + "  " + prompt_characters(prompts[i]) + "  " +
            syllable_list_text(syllables_of(prompts[i])) + '\n';
  }
  return text;
}

std::string enrolment_list_text(const std::vector<std::vector<Word>>& prompts) {
  std::string text =
      "# Enrolment recordings for kws-train adapt --data DIR --out DIR enrolment.txt\n"
      "# Read each prompt of prompts.txt aloud and record it as rec/NN.wav (NN its number) in a folder\n"
      "# rec next to this list: 16 kHz mono WAV, or any format libsndfile reads with the name below\n"
      "# changed to match.\n"
      "# audio\ttonal Zhuyin syllables\n";
  for (std::size_t i = 0; i < prompts.size(); ++i) {
    text += "rec/" + numbered(i + 1, prompts.size()) + ".wav\t" + syllable_list_text(syllables_of(prompts[i])) + '\n';
  }
  return text;
}

std::optional<EnrolmentPrompts> write_enrolment(const EnrolmentOptions& options, std::string& error) {
  const std::unique_ptr<const ReadingTables> tables =
      load_reading_tables(options.chewing_folder, options.overrides_file, error);
  if (!tables) return std::nullopt;
  const lexical_data::ReadingData& data = tables->data;
  const TextReader& reader = tables->reader;

  EnrolmentPrompts chosen = choose_prompts(prompt_phrases(data, reader), options.prompts, options.seed);
  std::error_code code;
  std::filesystem::create_directories(options.output_folder, code);
  if (code) {
    error = "cannot create " + options.output_folder.string() + ": " + code.message();
    return std::nullopt;
  }
  error = write_file_whole(options.output_folder / "prompts.txt", prompts_text(chosen.prompts));
  if (!error.empty()) return std::nullopt;
  error = write_file_whole(options.output_folder / "enrolment.txt", enrolment_list_text(chosen.prompts));
  if (!error.empty()) return std::nullopt;
  return chosen;
}

std::string enrolment_report_text(const EnrolmentPrompts& chosen, std::size_t wanted) {
  std::size_t syllables = 0;
  for (const std::vector<Word>& prompt : chosen.prompts) syllables += syllables_of(prompt).size();
  std::string text =
      format_text("enrolment: %zu prompts, %zu syllables\nleast said units:", chosen.prompts.size(), syllables);
  const std::vector<int> units = units_by_count(chosen.unit_counts);
  for (std::size_t i = 0; i < units.size() && i < 10; ++i) {
    text += format_text(" %s %d", std::string(inventory_name(units[i])).c_str(),
                        chosen.unit_counts[static_cast<std::size_t>(units[i])]);
  }
  text += '\n';
  for (const int unit : chosen.uncovered_units) {
    text += format_text("warning: the prompts say the unit %s only %d times; no further phrase says it\n",
                        std::string(inventory_name(unit)).c_str(), chosen.unit_counts[static_cast<std::size_t>(unit)]);
  }
  if (chosen.beyond_wanted) {
    text += format_text("note: %zu prompts instead of %zu, to say every unit %d times\n", chosen.prompts.size(), wanted,
                        kEnrolmentCoverage);
  }
  return text;
}

}  // namespace kws::recipes
