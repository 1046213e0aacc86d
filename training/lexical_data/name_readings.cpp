#include "lexical_data/name_readings.h"

#include <tuple>

#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::lexical_data {
namespace {

// How good one way of cutting a prefix of the name is; greater is better.
struct CutScore {
  int override_characters = 0;
  int phrase_characters = 0;
  int pieces = 0;
  std::int64_t phrase_frequency = 0;

  auto key() const { return std::make_tuple(override_characters, phrase_characters, -pieces, phrase_frequency); }
  bool operator>(const CutScore& other) const { return key() > other.key(); }
};

enum class PieceKind { override, phrase, character };

struct Cut {
  bool reachable = false;
  CutScore score;
  std::size_t piece_start = 0;  // the last piece: characters [piece_start, this position)
  PieceKind kind = PieceKind::character;
  const std::vector<int>* syllables = nullptr;  // of the last piece
};

}  // namespace

std::string_view source_name(ReadingSource source) {
  switch (source) {
    case ReadingSource::whole_phrase: return "whole phrase";
    case ReadingSource::phrase_parts: return "phrase parts";
    case ReadingSource::characters: return "characters";
    case ReadingSource::override: return "override";
  }
  return "?";
}

std::optional<ReadingOverrides> parse_reading_overrides(std::string_view utf8_text, std::string_view path,
                                                        std::string& error) {
  ReadingOverrides overrides;
  int line_number = 0;
  while (!utf8_text.empty()) {
    const std::size_t end = utf8_text.find('\n');
    const std::string_view line = utf8_text.substr(0, end);
    utf8_text.remove_prefix(end == std::string_view::npos ? utf8_text.size() : end + 1);
    ++line_number;
    const std::vector<std::string_view> words = words_of(line);
    if (words.empty() || words[0].front() == '#') continue;

    const std::string where =
        format_text("%.*s:%d: ", static_cast<int>(path.size()), path.data(), line_number);
    const std::optional<std::string> name = utf8_to_big5(words[0]);
    const std::optional<std::vector<std::string>> characters = name ? split_hanzi(*name) : std::nullopt;
    if (!characters) {
      error = where + "\"" + std::string(words[0]) + "\" is not a name of Big5 characters";
      return std::nullopt;
    }
    if (words.size() - 1 != characters->size()) {
      error = where + "\"" + std::string(words[0]) +
              format_text("\" has %zu characters but %zu syllables", characters->size(), words.size() - 1);
      return std::nullopt;
    }
    std::vector<int> syllables;
    for (std::size_t i = 1; i < words.size(); ++i) {
      const int row = syllable_row_of_utf8_token(words[i]);
      if (row < 0) {
        error = where + "\"" + std::string(words[i]) + "\" is not a syllable of the syllable table";
        return std::nullopt;
      }
      syllables.push_back(row);
    }
    if (!overrides.emplace(*name, std::move(syllables)).second) {
      error = where + "\"" + std::string(words[0]) + "\" is given twice";
      return std::nullopt;
    }
  }
  return overrides;
}

NameReader::NameReader(const ReadingData& data, const std::vector<RankedCharacter>& ranked,
                       const ReadingOverrides& overrides)
    : data_(data), overrides_(overrides), longest_piece_(std::max<std::size_t>(data.longest_phrase, 1)) {
  for (const RankedCharacter& character : ranked) first_reading_.emplace(character.character, character.readings.front());
  for (const auto& [name, syllables] : overrides) {
    longest_piece_ = std::max(longest_piece_, syllables.size());
    override_used_.emplace(name, false);
  }
}

std::optional<NameReading> NameReader::read(std::string_view big5_name) const {
  const std::optional<std::vector<std::string>> characters = split_hanzi(big5_name);
  if (!characters) return std::nullopt;
  const std::size_t n = characters->size();

  // The single readings live here so that cuts can point at them.
  std::vector<std::vector<int>> single(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto found = first_reading_.find((*characters)[i]);
    if (found != first_reading_.end()) single[i] = {found->second};
  }

  std::vector<Cut> cuts(n + 1);
  cuts[0].reachable = true;
  for (std::size_t start = 0; start < n; ++start) {
    if (!cuts[start].reachable) continue;
    for (std::size_t length = 1; length <= longest_piece_ && start + length <= n; ++length) {
      const std::string_view piece = big5_name.substr(2 * start, 2 * length);
      Cut candidate;
      candidate.reachable = true;
      candidate.score = cuts[start].score;
      candidate.score.pieces += 1;
      candidate.piece_start = start;
      if (const auto found = overrides_.find(std::string(piece)); found != overrides_.end()) {
        candidate.kind = PieceKind::override;
        candidate.syllables = &found->second;
        candidate.score.override_characters += static_cast<int>(length);
      } else if (const auto phrase = data_.phrases.find(std::string(piece));
                 length >= 2 && phrase != data_.phrases.end()) {
        candidate.kind = PieceKind::phrase;
        candidate.syllables = &phrase->second.syllables;
        candidate.score.phrase_characters += static_cast<int>(length);
        candidate.score.phrase_frequency += phrase->second.frequency;
      } else if (length == 1 && !single[start].empty()) {
        candidate.kind = PieceKind::character;
        candidate.syllables = &single[start];
      } else {
        continue;
      }
      Cut& cut = cuts[start + length];
      if (!cut.reachable || candidate.score > cut.score) cut = candidate;
    }
  }
  if (!cuts[n].reachable) return std::nullopt;

  NameReading reading;
  bool any_override = false;
  bool any_phrase = false;
  std::vector<std::size_t> piece_ends;
  for (std::size_t end = n; end > 0; end = cuts[end].piece_start) piece_ends.push_back(end);
  for (auto it = piece_ends.rbegin(); it != piece_ends.rend(); ++it) {
    const Cut& cut = cuts[*it];
    reading.syllables.insert(reading.syllables.end(), cut.syllables->begin(), cut.syllables->end());
    if (cut.kind == PieceKind::override) {
      any_override = true;
      override_used_[std::string(big5_name.substr(2 * cut.piece_start, 2 * (*it - cut.piece_start)))] = true;
    }
    any_phrase = any_phrase || cut.kind == PieceKind::phrase;
  }
  if (any_override) {
    reading.source = ReadingSource::override;
  } else if (piece_ends.size() == 1 && any_phrase) {
    reading.source = ReadingSource::whole_phrase;
  } else if (any_phrase) {
    reading.source = ReadingSource::phrase_parts;
  } else {
    reading.source = ReadingSource::characters;
  }
  return reading;
}

std::vector<std::string> NameReader::unused_overrides() const {
  std::vector<std::string> unused;
  for (const auto& [name, used] : override_used_) {
    if (!used) unused.push_back(name);
  }
  return unused;
}

}  // namespace kws::lexical_data
