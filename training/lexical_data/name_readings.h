// The reading of a whole name, right in context.
//
// A character read alone gets its most frequent reading, which is wrong for
// many names (行 in 銀行, 長 in 長榮, 重 in 重慶). So a name is read as a
// sequence of pieces: reviewed overrides first, then phrases of the phrase
// file, then single characters. Among the ways to cut a name into pieces the
// one that covers most characters by overrides, then by phrases, then uses
// the fewest pieces, then the most frequent phrases, wins.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lexical_data/character_readings.h"
#include "lexical_data/reading_data.h"

namespace kws::lexical_data {

// Where the reading of a name came from.
enum class ReadingSource {
  whole_phrase,  // the name is a phrase of the phrase file
  phrase_parts,  // phrases for some parts, the characters' own readings for the rest
  characters,    // each character's most frequent reading
  override,      // a reviewed override for the name or one of its parts
};

std::string_view source_name(ReadingSource source);

// Reviewed readings: a Big5 name or part of a name and its syllable rows.
using ReadingOverrides = std::map<std::string, std::vector<int>>;

// Parses the override file: UTF-8 lines "name syllable syllable ...", one
// syllable per character in Zhuyin (first tone with ˍ or unmarked), "#"
// starting a comment line. nullopt with an error naming path and line for a
// name that is not Big5 hanzi, a syllable that is no SyllableTable row, a
// count that does not match, or a name given twice.
std::optional<ReadingOverrides> parse_reading_overrides(std::string_view utf8_text, std::string_view path,
                                                        std::string& error);

struct NameReading {
  std::vector<int> syllables;
  ReadingSource source = ReadingSource::characters;
};

class NameReader {
 public:
  NameReader(const ReadingData& data, const std::vector<RankedCharacter>& ranked, const ReadingOverrides& overrides);

  // The reading of a Big5 name; nullopt when a character has no reading and
  // no phrase or override covers it.
  std::optional<NameReading> read(std::string_view big5_name) const;

  // Overrides that no name used so far.
  std::vector<std::string> unused_overrides() const;

 private:
  const ReadingData& data_;
  const ReadingOverrides& overrides_;
  std::map<std::string, int, std::less<>> first_reading_;
  std::size_t longest_piece_ = 1;
  mutable std::map<std::string, bool, std::less<>> override_used_;
};

}  // namespace kws::lexical_data
