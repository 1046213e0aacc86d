#include "recipes/test_recipes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "recipes/bundled_vocabularies.h"
#include "recipes/carriers.h"
#include "recipes/random.h"
#include "recipes/voices.h"

namespace kws::recipes {
namespace {

// Drawings of carrier, entries and lead-in before the one nearest to the
// wanted length is taken.
constexpr int kSentenceTries = 200;
constexpr int kLowestTestSnr = 10;
constexpr int kHighestTestSnr = 20;
constexpr int kEvaluationSnrs[] = {20, 10};
constexpr Noise kNoiseRotation[] = {Noise::white, Noise::pink, Noise::babble};

constexpr double kLatticeSeconds = 6.0;

// What the test sentences of one vocabulary are made from.
struct SentencePool {
  const lexical_data::Vocabulary* vocabulary = nullptr;
  std::vector<Carrier> carriers;  // with slots; their own text says no entry
  std::vector<Carrier> plain;     // sentences without entries
  std::vector<Carrier> lead_ins;
  std::vector<std::size_t> order;  // the entries in the order they are used
  std::size_t next = 0;
};

// Reads the carriers and keeps those whose own words say no entry of the
// vocabulary, so a reference listing the entries put in is complete.
std::optional<SentencePool> sentence_pool(const CorpusSources& sources, const lexical_data::Vocabulary& vocabulary,
                                          Random& random, TestReport& report, std::string& error) {
  SentencePool pool;
  pool.vocabulary = &vocabulary;
  const auto keep = [&](std::span<const std::string_view> texts, std::vector<Carrier>& kept) {
    std::optional<std::vector<Carrier>> carriers = read_carriers(texts, sources.reader, error);
    if (!carriers) return false;
    for (Carrier& carrier : *carriers) {
      if (says_only(carrier, {}, vocabulary)) {
        kept.push_back(std::move(carrier));
      } else {
        report.dropped_carriers.push_back(vocabulary.name + ": " + std::string(carrier.text));
      }
    }
    return true;
  };
  if (!keep(carrier_templates(domain_of(vocabulary.name), CarrierUse::test), pool.carriers) ||
      !keep(sentences_without_entries(), pool.plain) || !keep(lead_ins(), pool.lead_ins)) {
    return std::nullopt;
  }
  if (pool.plain.empty() || pool.lead_ins.empty() || vocabulary.entries.empty()) {
    error = "vocabulary " + vocabulary.name + ": no test sentence can be made without saying an entry";
    return std::nullopt;
  }
  for (std::size_t i = 0; i < vocabulary.entries.size(); ++i) pool.order.push_back(i);
  random.shuffle(pool.order);
  return pool;
}

double distance_outside(double seconds, double shortest, double longest) {
  return seconds < shortest ? shortest - seconds : seconds > longest ? seconds - longest : 0.0;
}

// One sentence with `count` entries (none for 0) whose length is as near to
// the range as the drawings get; its words go into utterance, its entries
// (Big5, spoken order) into entries. False when no carrier takes `count`
// entries or the vocabulary has fewer.
bool make_sentence(SentencePool& pool, Random& random, int count, Utterance& utterance,
                   std::vector<std::string>& entries) {
  std::vector<const Carrier*> fitting;
  for (const Carrier& carrier : count == 0 ? pool.plain : pool.carriers) {
    if (carrier.slots() == count) fitting.push_back(&carrier);
  }
  const std::size_t size = pool.order.size();
  if (fitting.empty() || static_cast<std::size_t>(count) > size) return false;

  double best = std::numeric_limits<double>::infinity();
  std::size_t best_next = pool.next;
  for (int attempt = 0; attempt < kSentenceTries && best > 0; ++attempt) {
    const Carrier& carrier = *random.pick(fitting);
    // Later attempts move on along the entries, so every try differs.
    const std::size_t first = pool.next + static_cast<std::size_t>(attempt) * static_cast<std::size_t>(count);
    std::vector<lexical_data::VocabularyEntry> chosen;
    for (int k = 0; k < count; ++k)
      chosen.push_back(pool.vocabulary->entries[pool.order[(first + static_cast<std::size_t>(k)) % size]]);
    Carrier spoken = carrier;
    if (estimated_seconds(fill_carrier(spoken, chosen), utterance.speed, utterance.gap) < kShortestTestSeconds) {
      spoken = with_lead_in(spoken, random.pick(pool.lead_ins).pieces.front());
    }
    if (!says_only(spoken, chosen, *pool.vocabulary)) continue;
    std::vector<Word> words = fill_carrier(spoken, chosen);
    const double distance = distance_outside(estimated_seconds(words, utterance.speed, utterance.gap),
                                             kShortestTestSeconds, kLongestTestSeconds);
    if (distance < best) {
      best = distance;
      best_next = first + static_cast<std::size_t>(count);
      utterance.words = std::move(words);
      entries.clear();
      for (const lexical_data::VocabularyEntry& entry : chosen) entries.push_back(entry.name);
    }
  }
  pool.next = best_next % size;
  return best < std::numeric_limits<double>::infinity();
}

void note_length(const Utterance& utterance, TestReport& report) {
  const double seconds = estimated_seconds(utterance);
  if (report.longest_seconds == 0 || seconds < report.shortest_seconds) report.shortest_seconds = seconds;
  report.longest_seconds = std::max(report.longest_seconds, seconds);
}

}  // namespace

std::optional<std::vector<TestUtterance>> bundled_test(const CorpusSources& sources, std::uint64_t seed,
                                                       TestReport& report, std::string& error) {
  const lexical_data::Vocabulary* stations = find_vocabulary(sources.vocabularies, kBatchVocabulary);
  if (stations == nullptr) {
    error = std::string("the vocabulary ") + kBatchVocabulary + " is not among the bundled vocabularies";
    return std::nullopt;
  }
  Random random = Random::for_part(seed, "bundled test");
  std::optional<SentencePool> pool = sentence_pool(sources, *stations, random, report, error);
  if (!pool) return std::nullopt;

  // Which records say no station and which are noisy: spread by a shuffle.
  std::vector<int> records(kBatchRecords);
  for (int i = 0; i < kBatchRecords; ++i) records[static_cast<std::size_t>(i)] = i;
  random.shuffle(records);
  const std::vector<int> without(records.begin(), records.begin() + kBatchRecordsWithoutEntries);
  random.shuffle(records);
  std::vector<int> noisy(records.begin(), records.begin() + kBatchNoisyRecords);
  std::sort(noisy.begin(), noisy.end());

  std::vector<TestUtterance> utterances;
  for (int i = 0; i < kBatchRecords; ++i) {
    TestUtterance test;
    test.vocabulary = kBatchVocabulary;
    Utterance& utterance = test.utterance;
    utterance.name = format_text("tr1_%d", i + 1);
    utterance.voice = std::string(kHeldOutVoices[static_cast<std::size_t>(i) % kHeldOutVoices.size()]);
    draw_style(random, kTestStyle, utterance);
    const bool says_none = std::find(without.begin(), without.end(), i) != without.end();
    const int count = says_none ? 0 : random.between(1, 3);
    if (!make_sentence(*pool, random, count, utterance, test.entries)) {
      error = format_text("no test sentence of %s can say %d of its entries", kBatchVocabulary, count);
      return std::nullopt;
    }
    if (const auto at = std::find(noisy.begin(), noisy.end(), i); at != noisy.end()) {
      utterance.noise = kNoiseRotation[static_cast<std::size_t>(at - noisy.begin()) % std::size(kNoiseRotation)];
      utterance.snr = random.between(kLowestTestSnr, kHighestTestSnr);
    }
    note_length(utterance, report);
    utterances.push_back(std::move(test));
  }

  // The free-syllable sentence, at the speed that makes it about 6 s long.
  std::optional<Carrier> sentence = read_carrier(kLatticeSentence, sources.reader, error);
  if (!sentence) return std::nullopt;
  TestUtterance lattice;
  Utterance& utterance = lattice.utterance;
  utterance.name = kLatticeUtterance;
  utterance.voice = std::string(kHeldOutVoices[random.below(kHeldOutVoices.size())]);
  draw_style(random, kTestStyle, utterance);
  utterance.gap = 0;
  utterance.words = sentence->pieces.front();
  // estimated_seconds is lead + talk / speed.
  const double lead = estimated_seconds({}, 1, 0);
  const double talk = estimated_seconds(utterance.words, 1, 0) - lead;
  utterance.speed = std::clamp(static_cast<int>(std::lround(talk / (kLatticeSeconds - lead))), kTestStyle.slowest,
                               kTestStyle.fastest);
  utterances.push_back(std::move(lattice));
  return utterances;
}

std::string train_index_text(const std::vector<TestUtterance>& bundled) {
  std::string text;
  int record = 0;
  for (const TestUtterance& test : bundled) {
    if (test.utterance.name == kLatticeUtterance) continue;
    text += std::to_string(++record) + ' ' + std::to_string(test.entries.size());
    for (const std::string& entry : test.entries) text += ' ' + entry;
    text += '\n';
  }
  return text;
}

std::optional<std::vector<TestUtterance>> evaluation(const CorpusSources& sources, std::uint64_t seed,
                                                     TestReport& report, std::string& error) {
  std::vector<TestUtterance> utterances;
  for (const EvaluationVocabulary& wanted : kEvaluationVocabularies) {
    const lexical_data::Vocabulary* vocabulary = find_vocabulary(sources.vocabularies, wanted.name);
    if (vocabulary == nullptr) {
      error = "the vocabulary " + std::string(wanted.name) + " is not among the bundled vocabularies";
      return std::nullopt;
    }
    Random random = Random::for_part(seed, "evaluation " + std::string(wanted.tag));
    std::optional<SentencePool> pool = sentence_pool(sources, *vocabulary, random, report, error);
    if (!pool) return std::nullopt;

    std::vector<TestUtterance> sentences;
    for (int i = 0; i < kEvaluationSentences; ++i) {
      TestUtterance test;
      test.vocabulary = vocabulary->name;
      Utterance& utterance = test.utterance;
      utterance.voice = std::string(kHeldOutVoices[static_cast<std::size_t>(i) % kHeldOutVoices.size()]);
      draw_style(random, kTestStyle, utterance);
      // Every fifth sentence says no entry.
      const int count = i % 5 == 4 ? 0 : random.between(1, 2);
      if (!make_sentence(*pool, random, count, utterance, test.entries)) {
        error = "no test sentence of " + vocabulary->name + format_text(" can say %d of its entries", count);
        return std::nullopt;
      }
      note_length(utterance, report);
      sentences.push_back(std::move(test));
    }
    const auto add_condition = [&](std::string_view condition, int snr) {
      for (int i = 0; i < kEvaluationSentences; ++i) {
        TestUtterance test = sentences[static_cast<std::size_t>(i)];
        test.utterance.name = format_text("eval/%.*s_%.*s_%03d", static_cast<int>(wanted.tag.size()), wanted.tag.data(),
                                          static_cast<int>(condition.size()), condition.data(), i + 1);
        if (snr > 0) {
          test.utterance.noise = kNoiseRotation[static_cast<std::size_t>(i) % std::size(kNoiseRotation)];
          test.utterance.snr = snr;
        }
        utterances.push_back(std::move(test));
      }
    };
    add_condition("clean", 0);
    for (const int snr : kEvaluationSnrs) add_condition(format_text("snr%d", snr), snr);
  }
  return utterances;
}

std::string evaluation_references_text(const std::vector<TestUtterance>& utterances) {
  std::string text;
  for (const TestUtterance& test : utterances) {
    text += test.utterance.name + ".wav\t" + test.vocabulary + '\t';
    for (std::size_t k = 0; k < test.entries.size(); ++k) {
      if (k > 0) text += '|';
      text += big5_to_utf8(test.entries[k]);
    }
    text += '\n';
  }
  return text;
}

}  // namespace kws::recipes
