// What the chewing reading data says about characters and phrases.
//
// Two inputs: the character list word.csv (UTF-8 lines "character,0,zhuyin")
// and the phrase file tsi.big5.src (Big5 lines "phrase frequency zhuyin ...").
// Both write the first tone without a mark; here every reading becomes a row
// of the SyllableTable, so a reading the station cannot spell (ㄝ alone, a
// misspelt syllable) is dropped as it is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kws::lexical_data {

// A Big5 character of the frequent or less frequent hanzi block (and the
// seven ETEN hanzi after it): what the station's names are made of. Zhuyin,
// punctuation and full-width Latin letters are not.
bool is_big5_hanzi(std::string_view two_bytes);

// The blank- or tab-separated words of one line (a trailing CR counts as blank).
std::vector<std::string_view> words_of(std::string_view line);

// The characters of a Big5 text, two bytes each; nullopt when the text is not
// made of hanzi only.
std::optional<std::vector<std::string>> split_hanzi(std::string_view big5);

// The SyllableTable row of a Big5 Zhuyin token, the first tone written either
// with ˍ or without a mark; -1 when no row spells it.
int syllable_row_of_token(std::string_view big5_zhuyin);

// The same for a token in UTF-8 Zhuyin (the notation of word.csv and of the
// reading overrides).
int syllable_row_of_utf8_token(std::string_view utf8_zhuyin);

struct CharacterInfo {
  // Every reading that is a SyllableTable row, each once: those of the
  // character list first, in its order, then those only the phrase file has.
  std::vector<int> readings;
  // Frequency of the phrase file's single-character line for a reading.
  std::map<int, std::int64_t> single_line_frequency;
  // Summed frequencies of the phrases (two characters or more) in which the
  // character takes the reading: what ranks the readings.
  std::map<int, std::int64_t> phrase_frequency;
  // How often the character is used: its largest single-line frequency.
  std::int64_t frequency = 0;
};

struct PhraseReading {
  std::vector<int> syllables;
  std::int64_t frequency = 0;
};

struct ReadingData {
  std::map<std::string, CharacterInfo> characters;  // Big5 byte order
  // Phrases of two characters or more, each with its most frequent reading.
  std::unordered_map<std::string, PhraseReading> phrases;
  std::size_t longest_phrase = 0;  // in characters
  int skipped_lines = 0;           // lines of either file that were not usable
};

// Adds the lines of word.csv (UTF-8) to data; a character outside Big5 or a
// reading that is no table row skips its line.
void add_character_list(std::string_view utf8_text, ReadingData& data);

// Adds the lines of tsi.big5.src (Big5) to data. A line whose phrase is not
// all hanzi, whose reading count differs from its length or whose frequency
// is no number is skipped, and so is a character line whose reading is no
// table row; the few damaged lines at the file's end are of the first kind.
// A phrase with one such reading still ranks its other characters' readings
// but gives no reading for names.
void add_phrase_file(std::string_view big5_text, ReadingData& data);

// Reads word.csv and tsi.big5.src from folder; nullopt with error naming the
// file when one cannot be read.
std::optional<ReadingData> read_reading_data(const std::filesystem::path& folder, std::string& error);

}  // namespace kws::lexical_data
