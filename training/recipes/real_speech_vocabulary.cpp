#include "recipes/real_speech_vocabulary.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/text_encoding.h"
#include "recipes/unit_coverage.h"

namespace kws::recipes {
namespace {

constexpr std::size_t kShortestWord = 2;
constexpr std::size_t kLongestWord = 4;
// The absent words are drawn among this many most frequent phrases.
constexpr std::size_t kAbsentPool = 5000;

struct Occurrence {
  std::size_t start = 0;  // character
  std::size_t length = 0;
};

// Where the Big5 word stands in the utterance's text, with the transcript's
// syllables there; every occurrence, read alike or not.
std::vector<std::pair<Occurrence, std::vector<int>>> occurrences(const RealUtterance& utterance,
                                                                 std::string_view word) {
  std::vector<std::pair<Occurrence, std::vector<int>>> found;
  const std::vector<int> syllables = syllables_of(utterance.words);
  const std::string_view text = utterance.big5;
  for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    if (at % 2 != 0) continue;
    const Occurrence occurrence{at / 2, word.size() / 2};
    found.emplace_back(
        occurrence,
        std::vector<int>(syllables.begin() + static_cast<std::ptrdiff_t>(occurrence.start),
                         syllables.begin() + static_cast<std::ptrdiff_t>(occurrence.start + occurrence.length)));
  }
  return found;
}

bool all_have_units(const std::vector<int>& syllables) {
  return std::all_of(syllables.begin(), syllables.end(), has_units);
}

}  // namespace

std::size_t draw_absent_words(const lexical_data::ReadingData& data, const AbsentWordDraw& draw, Random& random) {
  std::vector<std::pair<std::int64_t, std::string>> frequent;
  for (const auto& [word, phrase] : data.phrases) {
    const std::size_t length = word.size() / 2;
    if (length < draw.shortest || length > draw.longest || !all_have_units(phrase.syllables)) continue;
    if (draw.fits && !draw.fits(word, phrase.syllables)) continue;
    frequent.emplace_back(-phrase.frequency, word);
  }
  // Sorted in full first, as the phrases come in no fixed order.
  std::sort(frequent.begin(), frequent.end());
  frequent.resize(std::min(frequent.size(), kAbsentPool));
  random.shuffle(frequent);
  std::size_t added = 0;
  for (const auto& [minus_frequency, word] : frequent) {
    if (added >= draw.count) break;
    const std::vector<int>& syllables = data.phrases.at(word).syllables;
    if (!draw.heard(word, syllables) && draw.add(word, syllables)) ++added;
  }
  return added;
}

std::vector<const lexical_data::VocabularyEntry*> words_said(const RealUtterance& utterance,
                                                             const lexical_data::Vocabulary& vocabulary) {
  std::vector<std::pair<Occurrence, const lexical_data::VocabularyEntry*>> said;
  for (const lexical_data::VocabularyEntry& entry : vocabulary.entries) {
    for (const auto& [occurrence, syllables] : occurrences(utterance, entry.name)) {
      if (syllables == entry.syllables) {
        said.emplace_back(occurrence, &entry);
        break;
      }
    }
  }
  std::sort(said.begin(), said.end(), [](const auto& a, const auto& b) {
    if (a.first.start != b.first.start) return a.first.start < b.first.start;
    return a.first.length > b.first.length;
  });
  std::vector<const lexical_data::VocabularyEntry*> words;
  for (const auto& [occurrence, entry] : said) words.push_back(entry);
  return words;
}

std::optional<lexical_data::Vocabulary> real_speech_vocabulary(const CorpusSources& sources, std::uint64_t seed,
                                                               RealVocabularyReport& report, std::string& error) {
  Random random = Random::for_part(seed, "real speech vocabulary");
  const std::vector<RealUtterance>& test = sources.real.test;

  // Candidates: words of the test transcripts that are phrases of the phrase
  // file, read there as the phrase file reads them. A phrase read otherwise
  // (a digit string, 還 of 還是 and of 還錢) is no candidate: the reference
  // could not say whether it was said.
  std::map<std::string, std::vector<int>> readings;  // Big5 word -> syllables
  std::set<std::string> read_otherwise;
  std::vector<std::vector<std::string>> in_utterance(test.size());
  for (std::size_t u = 0; u < test.size(); ++u) {
    // The words the transcript is cut into, not any phrase inside them
    // (海市 of 上海市).
    for (const Word& word : test[u].words) {
      const std::size_t length = word.big5.size() / 2;
      if (length < kShortestWord || length > kLongestWord) continue;
      const auto phrase = sources.data.phrases.find(word.big5);
      if (phrase == sources.data.phrases.end() || !all_have_units(phrase->second.syllables)) continue;
      if (word.syllables != phrase->second.syllables) {
        read_otherwise.insert(word.big5);
        continue;
      }
      readings.emplace(word.big5, word.syllables);
      in_utterance[u].push_back(word.big5);
    }
  }
  // A word read otherwise anywhere in the test is no candidate either.
  for (const auto& [word, syllables] : readings) {
    for (const RealUtterance& utterance : test) {
      for (const auto& [occurrence, here] : occurrences(utterance, word)) {
        if (here != syllables) read_otherwise.insert(word);
      }
    }
  }
  for (const std::string& word : read_otherwise) readings.erase(word);

  lexical_data::Vocabulary vocabulary;
  vocabulary.name = kRealSpeechVocabulary;
  std::set<std::string> chosen;
  const auto add = [&](const std::string& word, const std::vector<int>& syllables) {
    if (chosen.contains(word)) return false;
    vocabulary.entries.push_back(
        lexical_data::VocabularyEntry{word, syllables, lexical_data::ReadingSource::whole_phrase});
    if (!lexical_data::vocabulary_problem(vocabulary).empty()) {
      vocabulary.entries.pop_back();
      ++report.left_out_for_capacity;
      return false;
    }
    chosen.insert(word);
    return true;
  };

  // First the longest word of each utterance, so that as many utterances as
  // possible say one; then words drawn among the rest.
  std::size_t spoken = 0;
  for (std::size_t u = 0; u < test.size() && spoken < kSpokenRealWords; ++u) {
    std::vector<std::string> words;
    for (const std::string& word : in_utterance[u]) {
      if (readings.contains(word)) words.push_back(word);
    }
    std::stable_sort(words.begin(), words.end(), [&sources](const std::string& a, const std::string& b) {
      if (a.size() != b.size()) return a.size() > b.size();
      return sources.data.phrases.at(a).frequency > sources.data.phrases.at(b).frequency;
    });
    for (const std::string& word : words) {
      if (chosen.contains(word)) break;  // the utterance says a chosen word already
      if (add(word, readings.at(word))) {
        ++spoken;
        break;
      }
    }
  }
  std::vector<std::string> rest;
  for (const auto& [word, syllables] : readings) {
    if (!chosen.contains(word)) rest.push_back(word);
  }
  random.shuffle(rest);
  for (const std::string& word : rest) {
    if (spoken >= kSpokenRealWords) break;
    if (add(word, readings.at(word))) ++spoken;
  }
  report.spoken_words = static_cast<int>(spoken);

  // Absent words: frequent phrases no test transcript holds.
  const AbsentWordDraw draw{
      .shortest = kShortestWord,
      .longest = kLongestWord,
      .count = spoken,
      .heard =
          [&test](const std::string& word, const std::vector<int>&) {
            return std::any_of(test.begin(), test.end(),
                               [&word](const RealUtterance& utterance) { return contains_text(utterance.big5, word); });
          },
      .add = add,
  };
  report.absent_words = static_cast<int>(draw_absent_words(sources.data, draw, random));

  // Byte order of the words, so the file does not tell which are said.
  std::sort(vocabulary.entries.begin(), vocabulary.entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  if (std::string problem = lexical_data::vocabulary_problem(vocabulary); !problem.empty()) {
    error = std::move(problem);
    return std::nullopt;
  }
  for (const RealUtterance& utterance : test)
    report.utterances_with_words += words_said(utterance, vocabulary).empty() ? 0 : 1;
  return vocabulary;
}

std::string real_references_text(const std::vector<RealUtterance>& test, const lexical_data::Vocabulary& vocabulary) {
  std::string text;
  for (const RealUtterance& utterance : test) {
    text += utterance.audio.string() + '\t' + vocabulary.name + '\t';
    const std::vector<const lexical_data::VocabularyEntry*> words = words_said(utterance, vocabulary);
    for (std::size_t k = 0; k < words.size(); ++k) {
      if (k > 0) text += '|';
      text += big5_to_utf8(words[k]->name);
    }
    text += '\n';
  }
  return text;
}

}  // namespace kws::recipes
