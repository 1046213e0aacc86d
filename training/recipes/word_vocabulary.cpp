#include "recipes/word_vocabulary.h"

#include <algorithm>
#include <map>

#include "platform/text_encoding.h"
#include "recipes/random.h"
#include "recipes/real_speech_vocabulary.h"
#include "recipes/text_reader.h"
#include "recipes/unit_coverage.h"

namespace kws::recipes {
namespace {

constexpr std::size_t kLongestWord = 4;
constexpr std::size_t kShortestAbsentWord = 2;

bool all_have_units(const std::vector<int>& syllables) {
  return std::all_of(syllables.begin(), syllables.end(), has_units);
}

bool holds_run(const std::vector<int>& syllables, const std::vector<int>& run) {
  return std::search(syllables.begin(), syllables.end(), run.begin(), run.end()) != syllables.end();
}

// The entry the recording says: its whole text, read as the entry is read.
const lexical_data::VocabularyEntry* entry_said(const RealUtterance& recording,
                                                const lexical_data::Vocabulary& vocabulary) {
  const std::vector<int> syllables = syllables_of(recording.words);
  for (const lexical_data::VocabularyEntry& entry : vocabulary.entries) {
    if (entry.name == recording.big5 && entry.syllables == syllables) return &entry;
  }
  return nullptr;
}

}  // namespace

std::optional<lexical_data::Vocabulary> word_vocabulary(const std::string& name, const std::vector<RealUtterance>& test,
                                                        const lexical_data::ReadingData& data, std::uint64_t seed,
                                                        WordVocabularyReport& report, std::string& error) {
  Random random = Random::for_part(seed, "word vocabulary " + name);
  report.name = name;
  report.test_recordings = static_cast<int>(test.size());
  std::vector<std::vector<int>> heard(test.size());
  for (std::size_t u = 0; u < test.size(); ++u) heard[u] = syllables_of(test[u].words);
  const auto holds = [&](std::size_t u, const std::string& word, const std::vector<int>& syllables) {
    return contains_text(test[u].big5, word) || holds_run(heard[u], syllables);
  };

  std::map<std::string, std::vector<int>> candidates;  // Big5 byte order, so the draw depends on the inputs only
  for (std::size_t u = 0; u < test.size(); ++u) {
    const std::size_t length = test[u].big5.size() / 2;
    if (length == 0 || length > kLongestWord || heard[u].size() != length || !all_have_units(heard[u])) continue;
    candidates.emplace(test[u].big5, heard[u]);
  }
  std::vector<std::string> spoken_candidates;
  for (const auto& [word, syllables] : candidates) {
    bool elsewhere = false;
    for (std::size_t u = 0; u < test.size() && !elsewhere; ++u) {
      elsewhere = test[u].big5 == word ? heard[u] != syllables : holds(u, word, syllables);
    }
    if (elsewhere) {
      ++report.heard_elsewhere;
    } else {
      spoken_candidates.push_back(word);
    }
  }
  random.shuffle(spoken_candidates);

  lexical_data::Vocabulary vocabulary;
  vocabulary.name = name;
  const auto add = [&](const std::string& word, const std::vector<int>& syllables) {
    const auto phrase = data.phrases.find(word);
    const bool whole_phrase = phrase != data.phrases.end() && phrase->second.syllables == syllables;
    vocabulary.entries.push_back(lexical_data::VocabularyEntry{
        word, syllables,
        whole_phrase ? lexical_data::ReadingSource::whole_phrase : lexical_data::ReadingSource::characters});
    if (!lexical_data::vocabulary_problem(vocabulary).empty()) {
      vocabulary.entries.pop_back();
      ++report.left_out_for_capacity;
      return false;
    }
    return true;
  };
  std::size_t spoken = 0;
  for (const std::string& word : spoken_candidates) {
    if (spoken >= kSpokenFolderWords) break;
    if (add(word, candidates.at(word))) ++spoken;
  }
  report.spoken_words = static_cast<int>(spoken);

  const AbsentWordDraw draw{
      .shortest = kShortestAbsentWord,
      .longest = kLongestWord,
      .count = spoken,
      .heard =
          [&](const std::string& word, const std::vector<int>& syllables) {
            for (std::size_t u = 0; u < test.size(); ++u) {
              if (holds(u, word, syllables)) return true;
            }
            return false;
          },
      .add = add,
      .fits = [](const std::string& word,
                 const std::vector<int>& syllables) { return syllables.size() == word.size() / 2; },
  };
  report.absent_words = static_cast<int>(draw_absent_words(data, draw, random));

  // Byte order of the words, so the file does not tell which are said.
  std::sort(vocabulary.entries.begin(), vocabulary.entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  if (std::string problem = lexical_data::vocabulary_problem(vocabulary); !problem.empty()) {
    error = std::move(problem);
    return std::nullopt;
  }
  for (const RealUtterance& recording : test) report.recordings_with_words += entry_said(recording, vocabulary) ? 1 : 0;
  return vocabulary;
}

std::string word_references_text(const std::vector<RealUtterance>& test, const lexical_data::Vocabulary& vocabulary) {
  std::string text;
  for (const RealUtterance& recording : test) {
    const lexical_data::VocabularyEntry* entry = entry_said(recording, vocabulary);
    if (entry == nullptr) continue;
    text += recording.audio.string() + '\t' + vocabulary.name + '\t' + big5_to_utf8(entry->name) + '\n';
  }
  return text;
}

}  // namespace kws::recipes
