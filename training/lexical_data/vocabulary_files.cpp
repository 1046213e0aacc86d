#include "lexical_data/vocabulary_files.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <utility>

#include "lexicon/syllable_decomposition.h"
#include "lexicon/vocabulary.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::lexical_data {
namespace {

std::string_view trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string_view::npos) return {};
  const std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(start, end - start + 1);
}

std::string syllables_text(const std::vector<int>& syllables) {
  std::string text;
  for (std::size_t i = 0; i < syllables.size(); ++i) {
    if (i > 0) text += ' ';
    text += syllable_text(syllables[i]);
  }
  return text;
}

}  // namespace

std::optional<std::vector<std::string>> parse_name_list(std::string_view utf8_text, std::string_view path,
                                                        std::string& error) {
  std::vector<std::string> names;
  std::set<std::string> seen;
  int line_number = 0;
  while (!utf8_text.empty()) {
    const std::size_t end = utf8_text.find('\n');
    const std::string_view line = trimmed(utf8_text.substr(0, end));
    utf8_text.remove_prefix(end == std::string_view::npos ? utf8_text.size() : end + 1);
    ++line_number;
    if (line.empty() || line.front() == '#') continue;

    const std::string where = format_text("%.*s:%d: \"%.*s\" ", static_cast<int>(path.size()), path.data(), line_number,
                                          static_cast<int>(line.size()), line.data());
    const std::optional<std::string> big5 = utf8_to_big5(line);
    const std::optional<std::vector<std::string>> characters = big5 ? split_hanzi(*big5) : std::nullopt;
    if (!characters) {
      error = where + "is not made of Big5 Chinese characters only";
      return std::nullopt;
    }
    if (characters->size() > kMaxNameCharacters) {
      error = where + format_text("has more than %zu characters", kMaxNameCharacters);
      return std::nullopt;
    }
    if (!seen.insert(*big5).second) {
      error = where + "is listed twice";
      return std::nullopt;
    }
    names.push_back(*big5);
  }
  return names;
}

std::optional<Vocabulary> read_vocabulary(std::string name, const std::vector<std::string>& big5_names,
                                          const NameReader& reader, std::string& error) {
  Vocabulary vocabulary{std::move(name), {}};
  for (const std::string& entry_name : big5_names) {
    std::optional<NameReading> reading = reader.read(entry_name);
    if (!reading) {
      error = vocabulary.name + ": no reading for \"" + big5_to_utf8(entry_name) +
              "\": a character has none; add the name to the reading overrides";
      return std::nullopt;
    }
    vocabulary.entries.push_back({entry_name, std::move(reading->syllables), reading->source});
  }
  return vocabulary;
}

Vocabulary syllable_vocabulary(std::string name, const PhoneTable& table, const ReadingData& data,
                               const std::vector<RankedCharacter>& ranked, int choice) {
  struct Candidate {
    const RankedCharacter* character;
    std::tuple<int, std::int64_t, std::int64_t> key;  // smaller is better
  };
  Vocabulary vocabulary{std::move(name), {}};
  std::set<std::string> used;
  for (const int syllable : table.syllables) {
    std::vector<Candidate> candidates;
    for (const RankedCharacter& character : ranked) {
      if (std::find(character.readings.begin(), character.readings.end(), syllable) == character.readings.end()) continue;
      candidates.push_back({&character,
                            {character.readings.front() == syllable ? 0 : 1, -reading_usage(data, character, syllable),
                             -character.frequency}});
    }
    if (candidates.empty()) continue;
    // Stable: equal keys keep Big5 order.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.key < b.key; });
    // The character this choice prefers, skipping those the vocabulary
    // already has; with none left, the preferred one all the same.
    const std::size_t preferred = std::min<std::size_t>(static_cast<std::size_t>(choice), candidates.size() - 1);
    const RankedCharacter* chosen = candidates[preferred].character;
    for (std::size_t i = preferred; i < candidates.size(); ++i) {
      if (!used.contains(candidates[i].character->character)) {
        chosen = candidates[i].character;
        break;
      }
    }
    used.insert(chosen->character);
    vocabulary.entries.push_back({chosen->character, {syllable}, ReadingSource::characters});
  }
  return vocabulary;
}

std::array<int, kLexiconLevels> level_node_counts(const Vocabulary& vocabulary) {
  std::array<std::set<std::pair<std::string, std::string>>, kLexiconLevels> pairs;
  for (const VocabularyEntry& entry : vocabulary.entries) {
    const std::size_t length = entry.syllables.size();
    for (std::size_t level = 0; level < length && level < pairs.size(); ++level) {
      SyllableModels models = decompose_syllable(syllable_text(entry.syllables[length - 1 - level]));
      pairs[level].emplace(std::move(models.initial_model), std::move(models.final_model));
    }
  }
  std::array<int, kLexiconLevels> counts{};
  for (std::size_t level = 0; level < pairs.size(); ++level) counts[level] = static_cast<int>(pairs[level].size());
  return counts;
}

std::string vocabulary_problem(const Vocabulary& vocabulary) {
  const std::string prefix = vocabulary.name + ": ";
  if (vocabulary.entries.size() > static_cast<std::size_t>(kMaxVocabularyEntries)) {
    return prefix + format_text("%zu entries; the station loads at most %d", vocabulary.entries.size(),
                                kMaxVocabularyEntries);
  }
  for (const VocabularyEntry& entry : vocabulary.entries) {
    const std::string name = format_text("\"%s\"", big5_to_utf8(entry.name).c_str());
    const std::size_t characters = entry.name.size() / 2;
    if (characters == 0 || characters > kMaxNameCharacters || entry.name.size() % 2 != 0) {
      return prefix + name + " has a length the station warns about";
    }
    if (entry.syllables.size() != characters) {
      return prefix + name + format_text(" has %zu syllables for %zu characters", entry.syllables.size(), characters);
    }
    for (const int syllable : entry.syllables) {
      if (!syllable_has_models(syllable)) {
        return prefix + name + " is read with " + big5_to_utf8(syllable_text(syllable)) +
               ", which has no model; choose another name or override its reading";
      }
    }
  }
  const std::array<int, kLexiconLevels> counts = level_node_counts(vocabulary);
  for (int level = 0; level < kLexiconLevels; ++level) {
    if (counts[static_cast<std::size_t>(level)] > level_capacity(level)) {
      return prefix + format_text("level %d would hold %d nodes; the search holds %d", level,
                                  counts[static_cast<std::size_t>(level)], level_capacity(level));
    }
  }
  return {};
}

std::string dat_text(const Vocabulary& vocabulary) {
  std::string text;
  for (std::size_t i = 0; i < vocabulary.entries.size(); ++i) {
    text += format_text("%zu ", i + 1);
    text += vocabulary.entries[i].name;
    text += '\n';
  }
  return text;
}

std::string spl_text(const Vocabulary& vocabulary) {
  std::string text;
  for (const VocabularyEntry& entry : vocabulary.entries) text += syllables_text(entry.syllables) + "\n";
  return text;
}

}  // namespace kws::lexical_data
