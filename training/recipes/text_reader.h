// Running Chinese text as the corpora speak it: transcripts, carrier phrases
// and sentences of phrases, read the way the vocabularies are read.
//
// The reading of a text is the NameReader's reading of the whole text, so a
// character takes the reading of the phrase it stands in. The text is then
// cut into words (the units espeak groups and the recipe writes together) at
// the phrases of the phrase file. Digit strings are the exception: a string
// of three or more digits (a phone number, a code) is said digit by digit,
// one as ㄧㄠ (幺) so it is not heard as seven, except in a year (four
// digits, or digits before 年: 一九九零年), where one is ㄧ.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "lexical_data/reading_data.h"
#include "recipes/recipe.h"

namespace kws::recipes {

// Readings of everyday words as they are spoken, where the phrase file lists
// a reading nobody says first (什麼 as ㄕㄜˊ ㄇㄛ˙): UTF-8 lines in the
// format of the reading overrides.
extern const std::string_view kSpokenReadings;

// The reviewed overrides with the spoken readings added; a word the reviewed
// file reads keeps that reading.
lexical_data::ReadingOverrides with_spoken_readings(lexical_data::ReadingOverrides reviewed);

// Characters of a Big5 hanzi text, two bytes each.
std::vector<std::string_view> characters_of(std::string_view big5);

// Whether needle occurs in haystack at a character boundary (both Big5 hanzi).
bool contains_text(std::string_view haystack, std::string_view needle);

class TextReader {
 public:
  TextReader(const lexical_data::ReadingData& data, const lexical_data::NameReader& names);

  // The words of a Big5 text of hanzi only; nullopt when it holds anything
  // else or a character without a reading.
  std::optional<std::vector<Word>> read(std::string_view big5) const;

  // Words whose boundaries are given: Big5 words, "," for a pause. Each word
  // is read alone, so no phrase of the phrase file reaches across a boundary
  // the writer has set (的是 in 說 的 是).
  std::optional<std::vector<Word>> read_words(const std::vector<std::string>& big5_words) const;

  // The Big5 text's syllables as the NameReader reads it alone (a vocabulary
  // entry, a phrase); nullopt when it cannot be read.
  std::optional<std::vector<int>> read_syllables(std::string_view big5) const;

 private:
  // Word lengths (in characters) for a text of n characters whose digit
  // strings are marked.
  std::vector<std::size_t> word_lengths(std::string_view big5, const std::vector<bool>& in_digit_string) const;

  const lexical_data::ReadingData& data_;
  const lexical_data::NameReader& names_;
};

// The bytes of an input file, or nothing with error naming it.
std::optional<std::string> read_input(const std::filesystem::path& path, std::string& error);

// The reading data, the reviewed and spoken readings, and the readers over
// them, kept in one place: the readers refer to the tables.
struct ReadingTables {
  ReadingTables(lexical_data::ReadingData data, lexical_data::ReadingOverrides readings);
  ReadingTables(const ReadingTables&) = delete;
  ReadingTables& operator=(const ReadingTables&) = delete;

  const lexical_data::ReadingData data;
  const std::vector<lexical_data::RankedCharacter> ranked;
  const lexical_data::ReadingOverrides readings;
  const lexical_data::NameReader names;
  const TextReader reader;
};

// The chewing reading data of chewing_folder with the overrides file's reviewed
// readings and the spoken ones; nullptr with error set when a file cannot be read.
std::unique_ptr<const ReadingTables> load_reading_tables(const std::filesystem::path& chewing_folder,
                                                         const std::filesystem::path& overrides_file,
                                                         std::string& error);

}  // namespace kws::recipes
