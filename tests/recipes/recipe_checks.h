// Readers of the files kws-recipes writes that check every field as the
// programs downstream rely on it, independent of the writer's own code.
// Each failure is reported as a test failure naming file and line.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kws::recipes::testing {

struct CheckedRecipeLine {
  int line = 0;
  std::string name;
  std::string voice;
  int speed = 0;
  int pitch = 0;
  int gap = 0;
  std::string noise;
  double snr = 0;
  // Each word's syllables (UTF-8 Zhuyin); an empty word is a pause.
  std::vector<std::vector<std::string>> words;

  std::vector<std::string> syllables() const;
  // The text's words as the recipe writes them (a pause as ",").
  std::vector<std::string> word_texts() const;
};

// The syllables of one recipe word: each ends in one of the five tone marks.
// Fails the test for a word that does not split that way.
std::vector<std::string> split_word(std::string_view word, std::string_view where);

std::vector<CheckedRecipeLine> read_recipe(const std::filesystem::path& file);

struct CheckedCorpusLine {
  std::string audio;
  std::vector<std::string> syllables;
};

std::vector<CheckedCorpusLine> read_corpus_list(const std::filesystem::path& file);

// The lines of a UTF-8 file without "#" lines and blank lines.
std::vector<std::string> content_lines(const std::filesystem::path& file);

std::vector<std::string> split(std::string_view text, char separator);

// Whether the syllables hold needle as a run.
bool holds_run(const std::vector<std::string>& syllables, const std::vector<std::string>& needle);

}  // namespace kws::recipes::testing
