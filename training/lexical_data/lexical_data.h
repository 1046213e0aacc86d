// The lexical half of the data directory, generated from the chewing reading
// data: the character reading table dict1.bin, the phone table qorphone.tbl
// and the task vocabularies data/NAME.dat and data/NAME.spl.
//
// Every name list NAME.txt of the lists folder becomes the vocabulary NAME;
// the two single-syllable vocabularies "408syl" and "408syllable" come from
// the phone table. Nothing is written unless every file is good, and the
// same inputs always give the same bytes.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "lexicon/lexicon.h"

namespace kws::lexical_data {

struct GeneratorOptions {
  std::filesystem::path chewing_folder;  // word.csv and tsi.big5.src
  std::filesystem::path lists_folder;    // NAME.txt name lists
  std::filesystem::path overrides_file;  // reviewed readings
  std::filesystem::path output_folder;   // the data directory
};

struct VocabularyReport {
  std::string name;  // UTF-8
  int entries = 0;
  int whole_phrase = 0;
  int phrase_parts = 0;
  int characters = 0;
  int overrides = 0;
  std::array<int, kLexiconLevels> level_nodes{};
};

struct GeneratorReport {
  int reading_entries = 0;
  int reading_characters = 0;
  int dropped_readings = 0;
  int skipped_lines = 0;
  std::vector<std::string> phone_table_left_out;  // UTF-8 syllables
  std::vector<VocabularyReport> vocabularies;
  std::vector<std::string> unused_overrides;  // UTF-8 names
};

inline constexpr char kSyllableVocabulary[] = "408syl";
inline constexpr char kSecondSyllableVocabulary[] = "408syllable";

// Generates and writes every file; nullopt with the reason when an input
// cannot be read or a vocabulary would not load cleanly (nothing is written
// then).
std::optional<GeneratorReport> generate_lexical_data(const GeneratorOptions& options, std::string& error);

// The report as the generator prints it.
std::string report_text(const GeneratorReport& report);

}  // namespace kws::lexical_data
