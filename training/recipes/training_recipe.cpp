#include "recipes/training_recipe.h"

#include <algorithm>
#include <map>

#include "lexicon/syllable_table.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "recipes/carriers.h"
#include "recipes/random.h"
#include "recipes/voices.h"

namespace kws::recipes {
namespace {

// Lengths the training utterances aim at: long enough for a carrier and its
// entries, short enough that the trainer's alignment stays cheap.
constexpr double kShortestSeconds = 2.0;
constexpr double kLongestSeconds = 5.0;
constexpr int kMostEntriesPerUtterance = 3;
// Tries to find a carrier that fits the length before taking the last one.
constexpr int kCarrierTries = 12;
// The sentences of phrases draw from this many most frequent phrases.
constexpr std::size_t kFrequentPhrases = 20000;
// A coverage word is drawn among this many candidates of the rarest unit.
constexpr std::size_t kCoverageCandidates = 10;
// Drawings that said a test transcript and were drawn again; past this many
// the reading data is too small to avoid them and the part stops short.
constexpr int kMostRejections = 1000;

struct Phrase {
  std::string big5;
  std::vector<int> syllables;
  std::int64_t frequency = 0;
};

// Phrases of two to four characters whose syllables all have models, most
// frequent first (ties in byte order, so the order is fixed).
std::vector<Phrase> frequent_phrases(const lexical_data::ReadingData& data) {
  std::vector<Phrase> phrases;
  for (const auto& [text, reading] : data.phrases) {
    const std::size_t characters = text.size() / 2;
    if (characters < 2 || characters > 4) continue;
    if (!std::all_of(reading.syllables.begin(), reading.syllables.end(), has_units)) continue;
    phrases.push_back(Phrase{text, reading.syllables, reading.frequency});
  }
  std::sort(phrases.begin(), phrases.end(), [](const Phrase& a, const Phrase& b) {
    return a.frequency != b.frequency ? a.frequency > b.frequency : a.big5 < b.big5;
  });
  return phrases;
}

double seconds_between(Random& random, double shortest, double longest) {
  const int milliseconds = random.between(static_cast<int>(shortest * 1000), static_cast<int>(longest * 1000));
  return milliseconds / 1000.0;
}

void draw_training_noise(Random& random, Utterance& utterance) {
  if (!random.percent(kTrainingNoisePercent)) return;
  constexpr Noise kNoises[] = {Noise::white, Noise::pink, Noise::babble};
  utterance.noise = kNoises[random.below(3)];
  utterance.snr = random.between(kTrainingLowestSnr, kTrainingHighestSnr);
}

// One vocabulary entry as the entry part says it, and the voice it was
// first said in.
struct EntryUse {
  const lexical_data::VocabularyEntry* entry = nullptr;
  int first_voice = -1;
};

class TrainingWriter {
 public:
  TrainingWriter(const CorpusSources& sources, std::uint64_t seed, TrainingReport& report)
      : sources_(sources), seed_(seed), report_(report) {}

  bool entry_part(std::string& error);
  void transcript_part();
  void phrase_part(std::size_t count, const std::vector<Phrase>& phrases);
  void coverage_part(const std::vector<Phrase>& phrases);

  std::vector<Utterance> take() {
    for (std::size_t i = 0; i < utterances_.size(); ++i) utterances_[i].name = format_text("train/u%05zu", i + 1);
    return std::move(utterances_);
  }
  std::size_t size() const { return utterances_.size(); }

 private:
  void add(Utterance utterance) {
    count_units(utterance.words, report_.unit_counts);
    report_.noisy_utterances += utterance.noise == Noise::none ? 0 : 1;
    utterances_.push_back(std::move(utterance));
  }
  bool leaks(const std::vector<Word>& words) const { return says_any_of(words, sources_.real.test); }

  const CorpusSources& sources_;
  std::uint64_t seed_;
  TrainingReport& report_;
  std::vector<Utterance> utterances_;
};

// How many of the queued entries from position on can share one utterance:
// at most three, none twice.
std::size_t distinct_run(const std::vector<std::size_t>& queue, std::size_t position) {
  std::size_t length = 0;
  while (length < kMostEntriesPerUtterance && position + length < queue.size()) {
    const auto first = queue.begin() + static_cast<std::ptrdiff_t>(position);
    const auto next = first + static_cast<std::ptrdiff_t>(length);
    if (std::find(first, next, *next) != next) break;
    ++length;
  }
  return length;
}

bool TrainingWriter::entry_part(std::string& error) {
  Random random = Random::for_part(seed_, "training entries");
  const std::optional<std::vector<Carrier>> lead_in_carriers = read_carriers(lead_ins(), sources_.reader, error);
  if (!lead_in_carriers) return false;

  // Each entry once, with the vocabulary that owns it: an entry that several
  // vocabularies share (火車系統 and 火車系統1) is said for the first.
  std::map<std::pair<std::string, std::vector<int>>, std::size_t> seen;
  std::vector<EntryUse> uses;
  std::vector<std::pair<Domain, std::vector<std::size_t>>> owned;
  for (const lexical_data::Vocabulary& vocabulary : sources_.vocabularies) {
    std::vector<std::size_t> indices;
    for (const lexical_data::VocabularyEntry& entry : vocabulary.entries) {
      if (!seen.emplace(std::make_pair(entry.name, entry.syllables), uses.size()).second) continue;
      indices.push_back(uses.size());
      uses.push_back(EntryUse{&entry, -1});
    }
    if (!indices.empty()) owned.emplace_back(domain_of(vocabulary.name), std::move(indices));
  }
  report_.distinct_entries = static_cast<int>(uses.size());

  for (const auto& [domain, indices] : owned) {
    const std::optional<std::vector<Carrier>> carriers =
        read_carriers(carrier_templates(domain, CarrierUse::training), sources_.reader, error);
    if (!carriers) return false;
    std::vector<std::size_t> queue;
    for (int pass = 0; pass < kEntryRepetitions; ++pass) {
      std::vector<std::size_t> order = indices;
      random.shuffle(order);
      queue.insert(queue.end(), order.begin(), order.end());
    }
    for (std::size_t position = 0; position < queue.size();) {
      Utterance utterance;
      draw_style(random, kTrainingStyle, utterance);
      // As many utterances with one, two and three entries, where carriers allow.
      const int wanted = random.between(1, static_cast<int>(distinct_run(queue, position)));
      std::vector<const Carrier*> fitting;
      for (const Carrier& carrier : *carriers) {
        if (carrier.slots() == wanted) fitting.push_back(&carrier);
      }
      for (const Carrier& carrier : *carriers) {
        if (fitting.empty() && carrier.slots() >= 1 && carrier.slots() <= wanted) fitting.push_back(&carrier);
      }
      if (fitting.empty()) {
        error = "no training carrier takes a single entry of the vocabulary of " +
                big5_to_utf8(uses[queue[position]].entry->name);
        return false;
      }

      std::vector<lexical_data::VocabularyEntry> entries;
      for (int attempt = 0; attempt < kCarrierTries; ++attempt) {
        const Carrier* carrier = random.pick(fitting);
        entries.clear();
        for (std::size_t k = 0; k < static_cast<std::size_t>(carrier->slots()); ++k) {
          entries.push_back(*uses[queue[position + k]].entry);
        }
        Carrier spoken = *carrier;
        if (estimated_seconds(fill_carrier(spoken, entries), utterance.speed, utterance.gap) < kShortestSeconds) {
          spoken = with_lead_in(spoken, random.pick(*lead_in_carriers).pieces.front());
        }
        utterance.words = fill_carrier(spoken, entries);
        const double seconds = estimated_seconds(utterance);
        const bool fits = seconds >= kShortestSeconds && seconds <= kLongestSeconds;
        if (!leaks(utterance.words) && (fits || attempt + 1 == kCarrierTries)) break;
      }

      // A voice none of these entries was said in yet.
      std::vector<int> voices;
      for (int voice = 0; voice < static_cast<int>(kTrainingVoices.size()); ++voice) {
        bool used = false;
        for (std::size_t k = 0; k < entries.size(); ++k) used = used || uses[queue[position + k]].first_voice == voice;
        if (!used) voices.push_back(voice);
      }
      const int voice = random.pick(voices);
      for (std::size_t k = 0; k < entries.size(); ++k) {
        EntryUse& use = uses[queue[position + k]];
        if (use.first_voice < 0) use.first_voice = voice;
      }
      utterance.voice = std::string(kTrainingVoices[static_cast<std::size_t>(voice)]);
      draw_training_noise(random, utterance);
      add(std::move(utterance));
      ++report_.entry_utterances;
      position += entries.size();
    }
  }
  return true;
}

void TrainingWriter::transcript_part() {
  Random random = Random::for_part(seed_, "training transcripts");
  for (const RealUtterance& real : sources_.real.training) {
    Utterance utterance;
    draw_style(random, kTrainingStyle, utterance);
    utterance.voice = std::string(kTrainingVoices[random.below(kTrainingVoices.size())]);
    utterance.words = real.words;
    draw_training_noise(random, utterance);
    add(std::move(utterance));
    ++report_.transcript_utterances;
  }
}

void TrainingWriter::phrase_part(std::size_t count, const std::vector<Phrase>& phrases) {
  if (phrases.empty()) return;
  Random random = Random::for_part(seed_, "training phrases");
  const std::size_t pool = std::min(kFrequentPhrases, phrases.size());
  int rejected = 0;
  for (std::size_t made = 0; made < count;) {
    Utterance utterance;
    draw_style(random, kTrainingStyle, utterance);
    utterance.voice = std::string(kTrainingVoices[random.below(kTrainingVoices.size())]);
    const double target = seconds_between(random, kShortestSeconds, kLongestSeconds);
    while (utterance.words.empty() || estimated_seconds(utterance) < target) {
      // A short pause now and then, as between the parts of a sentence.
      if (!utterance.words.empty() && random.percent(10)) utterance.words.push_back(pause());
      const Phrase& phrase = phrases[random.below(pool)];
      utterance.words.push_back(Word{phrase.big5, phrase.syllables});
    }
    draw_training_noise(random, utterance);
    if (leaks(utterance.words)) {
      if (++rejected >= kMostRejections) break;
      continue;
    }
    add(std::move(utterance));
    ++report_.phrase_utterances;
    ++made;
  }
}

void TrainingWriter::coverage_part(const std::vector<Phrase>& phrases) {
  Random random = Random::for_part(seed_, "training coverage");
  // The words that say each unit: the most frequent phrases with it, and
  // where phrases are too few, the bare syllables (espeak says any syllable
  // of the table, written or not).
  std::map<int, std::vector<Word>> candidates;
  for (const Phrase& phrase : phrases) {
    std::vector<int> units;
    for (const int syllable : phrase.syllables) {
      for (const int unit : {units_of(syllable).initial, units_of(syllable).final}) {
        if (std::find(units.begin(), units.end(), unit) == units.end()) units.push_back(unit);
      }
    }
    for (const int unit : units) {
      std::vector<Word>& words = candidates[unit];
      if (words.size() < kCoverageCandidates) words.push_back(Word{phrase.big5, phrase.syllables});
    }
  }
  for (int syllable = 0; syllable < kSyllableCount; ++syllable) {
    if (!has_units(syllable)) continue;
    const SyllableUnits units = units_of(syllable);
    for (const int unit : {units.initial, units.final}) {
      std::vector<Word>& words = candidates[unit];
      if (words.size() < kCoverageCandidates / 2) words.push_back(Word{"", {syllable}});
    }
  }
  std::vector<int> wanted;
  for (const int unit : coverage_units()) {
    if (candidates[unit].empty()) {
      report_.unreachable_units.push_back(unit);
    } else {
      wanted.push_back(unit);
    }
  }
  const auto rarest = [&wanted](const UnitCounts& counts) {
    int best = -1;
    for (const int unit : wanted) {
      if (best < 0 || counts[static_cast<std::size_t>(unit)] < counts[static_cast<std::size_t>(best)]) best = unit;
    }
    return best;
  };

  int rejected = 0;
  while (!wanted.empty() &&
         report_.unit_counts[static_cast<std::size_t>(rarest(report_.unit_counts))] < kUnitCoverage) {
    Utterance utterance;
    draw_style(random, kTrainingStyle, utterance);
    utterance.voice = std::string(kTrainingVoices[random.below(kTrainingVoices.size())]);
    const double target = seconds_between(random, kShortestSeconds, kLongestSeconds);
    UnitCounts counts = report_.unit_counts;
    while (utterance.words.empty() || estimated_seconds(utterance) < target) {
      const int unit = rarest(counts);
      if (counts[static_cast<std::size_t>(unit)] >= kUnitCoverage) break;
      const Word& word = random.pick(candidates[unit]);
      utterance.words.push_back(word);
      count_units(word.syllables, counts);
    }
    draw_training_noise(random, utterance);
    if (leaks(utterance.words)) {
      if (++rejected >= kMostRejections) break;
      continue;
    }
    add(std::move(utterance));
    ++report_.coverage_utterances;
  }
}

}  // namespace

bool says_any_of(const std::vector<Word>& words, const std::vector<RealUtterance>& utterances) {
  const std::vector<int> said = syllables_of(words);
  for (const RealUtterance& utterance : utterances) {
    const std::vector<int> other = syllables_of(utterance.words);
    if (!other.empty() && std::search(said.begin(), said.end(), other.begin(), other.end()) != said.end()) return true;
  }
  return false;
}

std::optional<std::vector<Utterance>> training_recipe(const CorpusSources& sources, std::size_t wanted,
                                                      std::uint64_t seed, TrainingReport& report, std::string& error) {
  report = TrainingReport{};
  TrainingWriter writer(sources, seed, report);
  if (!writer.entry_part(error)) return std::nullopt;
  writer.transcript_part();
  const std::vector<Phrase> phrases = frequent_phrases(sources.data);
  writer.phrase_part(wanted > writer.size() ? wanted - writer.size() : 0, phrases);
  writer.coverage_part(phrases);
  return writer.take();
}

}  // namespace kws::recipes
