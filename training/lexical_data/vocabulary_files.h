// Task vocabularies as the station reads them: a .dat file of words and a .spl
// file of their tonal syllables, and the checks that make a vocabulary load
// cleanly (every syllable has both models, every level within the search's
// capacity, no length warning).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "lexicon/lexicon.h"

namespace kws::lexical_data {

// Longest name that loads without the length warning.
inline constexpr std::size_t kMaxNameCharacters = 10;

struct VocabularyEntry {
  std::string name;            // Big5
  std::vector<int> syllables;  // SyllableTable rows, one per character
  ReadingSource source = ReadingSource::characters;
};

struct Vocabulary {
  std::string name;  // UTF-8: the name in the vocabulary box and of the files on disk
  std::vector<VocabularyEntry> entries;
};

// The names of a list file: UTF-8, one name per line, blank lines and lines
// starting with "#" ignored, blanks around a name trimmed. nullopt with an
// error naming path and line for a name that is not 1..10 Big5 hanzi, or a
// name listed twice.
std::optional<std::vector<std::string>> parse_name_list(std::string_view utf8_text, std::string_view path,
                                                        std::string& error);

// The vocabulary of the names, each read by reader; nullopt with an error
// naming a name that cannot be read.
std::optional<Vocabulary> read_vocabulary(std::string name, const std::vector<std::string>& big5_names,
                                          const NameReader& reader, std::string& error);

// One single-character entry per phone-table syllable that some character
// reads. choice 0 takes the most used character of the syllable, choice 1 the
// next one (the same when the syllable has only one); characters read first
// as the syllable come before those that only can read it. A character is
// used once per vocabulary while another one is left.
Vocabulary syllable_vocabulary(std::string name, const PhoneTable& table, const ReadingData& data,
                               const std::vector<RankedCharacter>& ranked, int choice);

// Node count of each level after loading: distinct (initial, final) model
// pairs among the syllables standing that far before the end of an entry.
std::array<int, kLexiconLevels> level_node_counts(const Vocabulary& vocabulary);

// Why the vocabulary would not load cleanly, or an empty string: more than
// 4000 entries, a name of 0 or more than 10 characters, a syllable count that
// differs from the name's, a syllable without both models, a level over its
// capacity.
std::string vocabulary_problem(const Vocabulary& vocabulary);

// The two files as the vocabulary editor writes them: "%d %s" per entry
// (numbered from 1) and one line of blank-separated syllables per entry.
std::string dat_text(const Vocabulary& vocabulary);
std::string spl_text(const Vocabulary& vocabulary);

}  // namespace kws::lexical_data
