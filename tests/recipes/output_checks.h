// The checks every output folder of kws-recipes must pass, whatever the
// inputs: the promises the synthesiser, the trainer and the evaluations
// rely on. Failures are test failures; the return values let a test look
// closer at its own inputs.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "recipe_checks.h"

namespace kws::recipes::testing {

// A vocabulary entry as the data directory spells it.
struct CheckedEntry {
  std::string name;                    // UTF-8
  std::vector<std::string> syllables;  // UTF-8 Zhuyin
  std::string word() const;            // as a recipe writes it
};

// Every data/NAME.dat of the data directory with its .spl, by name (UTF-8).
std::map<std::string, std::vector<CheckedEntry>> read_data_vocabularies(const std::filesystem::path& data_folder);

struct CheckedOutputs {
  std::vector<CheckedCorpusLine> real_training;
  std::vector<CheckedCorpusLine> real_test;
  std::vector<CheckedRecipeLine> training;
  std::vector<CheckedRecipeLine> bundled;
  std::vector<CheckedRecipeLine> evaluation;
  std::vector<std::vector<std::string>> batch_records;    // names (UTF-8) of tr1_1..tr1_50
  std::vector<std::vector<std::string>> real_references;  // words (UTF-8) per test utterance
  std::vector<CheckedEntry> real_vocabulary;
};

// Reads and checks every file of the output folder against the vocabularies
// of the data folder.
CheckedOutputs check_outputs(const std::filesystem::path& output, const std::filesystem::path& data_folder);

// How often each of the 150 sub-syllable units is said, by inventory name.
std::map<std::string, int> unit_counts(const std::vector<CheckedRecipeLine>& lines);

}  // namespace kws::recipes::testing
