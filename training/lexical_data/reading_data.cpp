#include "lexical_data/reading_data.h"

#include <algorithm>

#include "lexicon/syllable_table.h"
#include "lexicon/zhuyin.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws::lexical_data {
namespace {

bool is_tone_mark(std::string_view two_bytes) {
  for (const Big5Char& mark : {kFirstToneMark, kNeutralToneMark, kSecondToneMark, kThirdToneMark, kFourthToneMark}) {
    if (two_bytes == std::string_view(mark.data(), mark.size())) return true;
  }
  return false;
}

// The lines of a text without their line ends.
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// One code point of UTF-8 text at position, advancing it; nullopt when the
// bytes there are not UTF-8.
std::optional<char32_t> next_code_point(std::string_view text, std::size_t& position) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(position);
  int length = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    length = 1;
    value = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (position + static_cast<std::size_t>(length) > text.size()) return std::nullopt;
  for (int i = 1; i < length; ++i) {
    const unsigned char continuation = byte(position + static_cast<std::size_t>(i));
    if ((continuation & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (continuation & 0x3F);
  }
  position += static_cast<std::size_t>(length);
  return value;
}

void add_reading(CharacterInfo& info, int row) {
  if (std::find(info.readings.begin(), info.readings.end(), row) == info.readings.end()) {
    info.readings.push_back(row);
  }
}

}  // namespace

std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t position = 0;
  while (position < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t\r", position);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
    words.push_back(line.substr(start, end - start));
    position = end;
  }
  return words;
}

bool is_big5_hanzi(std::string_view two_bytes) {
  if (two_bytes.size() != 2) return false;
  const int code = static_cast<unsigned char>(two_bytes[0]) << 8 | static_cast<unsigned char>(two_bytes[1]);
  const int trail = code & 0xFF;
  if (!((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE))) return false;
  return (code >= 0xA440 && code <= 0xC67E) || (code >= 0xC940 && code <= 0xF9DC);
}

std::optional<std::vector<std::string>> split_hanzi(std::string_view big5) {
  if (big5.empty() || big5.size() % 2 != 0) return std::nullopt;
  std::vector<std::string> characters;
  for (std::size_t i = 0; i < big5.size(); i += 2) {
    if (!is_big5_hanzi(big5.substr(i, 2))) return std::nullopt;
    characters.emplace_back(big5.substr(i, 2));
  }
  return characters;
}

int syllable_row_of_token(std::string_view big5_zhuyin) {
  if (big5_zhuyin.empty() || big5_zhuyin.size() % 2 != 0) return -1;
  if (is_tone_mark(big5_zhuyin.substr(big5_zhuyin.size() - 2))) return syllable_number_of(big5_zhuyin);
  std::string marked(big5_zhuyin);
  marked.append(kFirstToneMark.data(), kFirstToneMark.size());
  return syllable_number_of(marked);
}

int syllable_row_of_utf8_token(std::string_view utf8_zhuyin) {
  std::string big5;
  std::size_t position = 0;
  while (position < utf8_zhuyin.size()) {
    const std::optional<char32_t> code_point = next_code_point(utf8_zhuyin, position);
    if (!code_point) return -1;
    const std::optional<Big5Char> character = zhuyin_big5(*code_point);
    if (!character) return -1;
    big5.append(character->data(), character->size());
  }
  return syllable_row_of_token(big5);
}

void add_character_list(std::string_view utf8_text, ReadingData& data) {
  for (const std::string_view line : lines_of(utf8_text)) {
    if (line.empty() || line.front() == '#') continue;
    const std::size_t first_comma = line.find(',');
    const std::size_t last_comma = line.rfind(',');
    if (first_comma == std::string_view::npos || first_comma == last_comma) {
      ++data.skipped_lines;
      continue;
    }
    const std::optional<std::string> character = utf8_to_big5(line.substr(0, first_comma));
    const int row = syllable_row_of_utf8_token(line.substr(last_comma + 1));
    if (!character || !is_big5_hanzi(*character) || row < 0) {
      ++data.skipped_lines;
      continue;
    }
    add_reading(data.characters[*character], row);
  }
}

void add_phrase_file(std::string_view big5_text, ReadingData& data) {
  for (const std::string_view line : lines_of(big5_text)) {
    const std::vector<std::string_view> fields = words_of(line);
    if (fields.empty()) continue;
    const std::optional<std::vector<std::string>> characters = split_hanzi(fields[0]);
    const std::optional<long> frequency = fields.size() >= 2 ? parse_integer(fields[1]) : std::nullopt;
    if (!characters || !frequency || *frequency < 0 || fields.size() != characters->size() + 2) {
      ++data.skipped_lines;
      continue;
    }
    std::vector<int> rows;
    for (std::size_t i = 2; i < fields.size(); ++i) rows.push_back(syllable_row_of_token(fields[i]));

    if (characters->size() == 1) {
      if (rows[0] < 0) {
        ++data.skipped_lines;
        continue;
      }
      CharacterInfo& info = data.characters[(*characters)[0]];
      add_reading(info, rows[0]);
      std::int64_t& single = info.single_line_frequency[rows[0]];
      single = std::max<std::int64_t>(single, *frequency);
      info.frequency = std::max<std::int64_t>(info.frequency, *frequency);
      continue;
    }
    // A syllable the station cannot spell takes only its own character's
    // evidence out; the phrase's other characters still count.
    for (std::size_t i = 0; i < characters->size(); ++i) {
      if (rows[i] >= 0) data.characters[(*characters)[i]].phrase_frequency[rows[i]] += *frequency;
    }
    if (std::find(rows.begin(), rows.end(), -1) != rows.end()) continue;
    PhraseReading& phrase = data.phrases[std::string(fields[0])];
    if (phrase.syllables.empty() || *frequency > phrase.frequency) phrase = {rows, *frequency};
    data.longest_phrase = std::max(data.longest_phrase, characters->size());
  }
}

std::optional<ReadingData> read_reading_data(const std::filesystem::path& folder, std::string& error) {
  ReadingData data;
  const std::filesystem::path character_list = folder / "word.csv";
  const std::filesystem::path phrase_file = folder / "tsi.big5.src";
  const std::optional<std::string> characters = read_file_bytes(character_list.string());
  if (!characters) {
    error = "cannot read " + character_list.string();
    return std::nullopt;
  }
  const std::optional<std::string> phrases = read_file_bytes(phrase_file.string());
  if (!phrases) {
    error = "cannot read " + phrase_file.string();
    return std::nullopt;
  }
  add_character_list(*characters, data);
  add_phrase_file(*phrases, data);
  return data;
}

}  // namespace kws::lexical_data
