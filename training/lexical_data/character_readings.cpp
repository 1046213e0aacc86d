#include "lexical_data/character_readings.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "lexicon/syllable_decomposition.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"

namespace kws::lexical_data {
namespace {

std::int64_t value_or_zero(const std::map<int, std::int64_t>& values, int key) {
  const auto found = values.find(key);
  return found == values.end() ? 0 : found->second;
}

// The symbols of a tonal syllable without its tone mark.
std::string_view base_of(int syllable) {
  const std::string_view text = syllable_text(syllable);
  return text.substr(0, text.size() - 2);
}

}  // namespace

std::vector<RankedCharacter> rank_readings(const ReadingData& data) {
  std::vector<RankedCharacter> ranked;
  for (const auto& [character, info] : data.characters) {
    if (info.readings.empty()) continue;
    std::vector<int> readings = info.readings;
    const auto key = [&info = info](int row) {
      return std::make_tuple(-value_or_zero(info.phrase_frequency, row), -value_or_zero(info.single_line_frequency, row),
                             info.single_line_frequency.contains(row) ? 0 : 1, row);
    };
    std::sort(readings.begin(), readings.end(), [&](int a, int b) { return key(a) < key(b); });
    ranked.push_back({character, std::move(readings), info.frequency});
  }
  return ranked;
}

std::optional<ReadingTable> build_reading_table(const ReadingData& data, const std::vector<RankedCharacter>& ranked,
                                                std::size_t capacity, std::string& error) {
  if (ranked.size() > capacity) {
    error = format_text("the reading data has %zu characters; the reading table holds %zu entries", ranked.size(),
                        capacity);
    return std::nullopt;
  }
  struct Alternative {
    std::size_t character;
    int syllable;
  };
  std::vector<Alternative> alternatives;
  for (std::size_t c = 0; c < ranked.size(); ++c) {
    for (std::size_t r = 1; r < ranked[c].readings.size(); ++r) alternatives.push_back({c, ranked[c].readings[r]});
  }
  std::vector<bool> kept(alternatives.size(), true);
  int dropped = 0;
  const std::size_t room = capacity - ranked.size();
  if (alternatives.size() > room) {
    const auto key = [&](const Alternative& alternative) {
      const CharacterInfo& info = data.characters.at(ranked[alternative.character].character);
      return std::make_tuple(-value_or_zero(info.phrase_frequency, alternative.syllable),
                             info.single_line_frequency.contains(alternative.syllable) ? 0 : 1,
                             -ranked[alternative.character].frequency, alternative.character, alternative.syllable);
    };
    std::vector<std::size_t> order(alternatives.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return key(alternatives[a]) < key(alternatives[b]); });
    for (std::size_t i = room; i < order.size(); ++i) kept[order[i]] = false;
    dropped = static_cast<int>(order.size() - room);
  }

  ReadingTable table;
  table.characters = static_cast<int>(ranked.size());
  table.dropped_readings = dropped;
  std::size_t next_alternative = 0;
  for (const RankedCharacter& character : ranked) {
    table.entries.push_back({character.character, character.readings.front()});
    for (std::size_t r = 1; r < character.readings.size(); ++r, ++next_alternative) {
      if (kept[next_alternative]) table.entries.push_back({character.character, character.readings[r]});
    }
  }
  return table;
}

std::string reading_table_bytes(const ReadingTable& table, std::size_t capacity) {
  std::string bytes(capacity * kReadingEntryBytes, '\0');
  for (std::size_t i = 0; i < table.entries.size() && i < capacity; ++i) {
    char* record = bytes.data() + i * kReadingEntryBytes;
    const auto syllable = static_cast<std::uint32_t>(table.entries[i].syllable);
    for (int b = 0; b < 4; ++b) record[b] = static_cast<char>((syllable >> (8 * b)) & 0xFF);
    table.entries[i].character.copy(record + 4, 3);
  }
  return bytes;
}

std::int64_t reading_usage(const ReadingData& data, const RankedCharacter& character, int syllable) {
  const CharacterInfo& info = data.characters.at(character.character);
  std::int64_t total = 0;
  for (const int row : character.readings) total += value_or_zero(info.phrase_frequency, row);
  if (total == 0) return syllable == character.readings.front() ? character.frequency : 0;
  // Integer shares keep the result the same on every machine.
  return static_cast<std::int64_t>(static_cast<__int128>(character.frequency) *
                                   value_or_zero(info.phrase_frequency, syllable) / total);
}

SyllableUsage syllable_usage(const ReadingData& data, const std::vector<RankedCharacter>& ranked) {
  SyllableUsage usage{};
  for (const RankedCharacter& character : ranked) {
    for (const int row : character.readings) usage[static_cast<std::size_t>(row)] += reading_usage(data, character, row);
  }
  return usage;
}

bool syllable_has_models(int syllable) {
  const SyllableModels models = decompose_syllable(syllable_text(syllable));
  return model_index_of(models.initial_model) >= 0 && model_index_of(models.final_model) >= 0;
}

std::optional<PhoneTable> choose_phone_table(const std::vector<RankedCharacter>& ranked, const SyllableUsage& usage,
                                             std::string& error) {
  std::array<bool, kSyllableCount> read_by_some_character{};
  for (const RankedCharacter& character : ranked) {
    for (const int row : character.readings) read_by_some_character[static_cast<std::size_t>(row)] = true;
  }

  struct Base {
    std::int64_t usage = 0;
    bool has_character = false;
    int first_row = 0;
    int best_tone = -1;
  };
  std::map<std::string_view, Base> bases;
  for (int row = 0; row < kSyllableCount; ++row) {
    const auto index = static_cast<std::size_t>(row);
    auto [entry, added] = bases.try_emplace(base_of(row));
    Base& base = entry->second;
    if (added) base.first_row = row;
    base.usage += usage[index];
    base.has_character = base.has_character || read_by_some_character[index];
    const auto tone_key = [&](int r) {
      const auto i = static_cast<std::size_t>(r);
      return std::make_tuple(-usage[i], read_by_some_character[i] ? 0 : 1, r);
    };
    if (base.best_tone < 0 || tone_key(row) < tone_key(base.best_tone)) base.best_tone = row;
  }

  std::vector<const Base*> candidates;
  PhoneTable table;
  for (const auto& [symbols, base] : bases) {
    // Every tone of a base decomposes alike, so one row speaks for all.
    if (syllable_has_models(base.first_row)) candidates.push_back(&base);
  }
  if (candidates.size() < static_cast<std::size_t>(kPhoneTableSyllables)) {
    error = format_text("only %zu base syllables have models; the phone table needs %d", candidates.size(),
                        kPhoneTableSyllables);
    return std::nullopt;
  }
  const auto key = [](const Base* base) {
    return std::make_tuple(-base->usage, base->has_character ? 0 : 1, base->first_row);
  };
  std::sort(candidates.begin(), candidates.end(), [&](const Base* a, const Base* b) { return key(a) < key(b); });
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    (i < static_cast<std::size_t>(kPhoneTableSyllables) ? table.syllables : table.left_out)
        .push_back(candidates[i]->best_tone);
  }
  std::sort(table.syllables.begin(), table.syllables.end());
  return table;
}

std::string phone_table_text(const PhoneTable& table) {
  std::string text;
  for (std::size_t k = 0; k < table.syllables.size(); ++k) {
    text += format_text("%zu ", k);
    text += syllable_text(table.syllables[k]);
    text += '\n';
  }
  return text;
}

}  // namespace kws::lexical_data
