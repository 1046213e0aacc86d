// kws-recipes: every file that says what the corpora say, from the reading
// data, the bundled vocabularies and the real speaker's transcripts.
//
// Into the output folder: aishell-train.txt and aishell-test.txt (corpus
// lists of the real speech), synth-train.recipe, bundled-test.recipe with
// train_index.txt, eval.recipe with eval-references.txt, and the real-speech
// evaluation: vocab/aishell.dat and .spl with real-eval-references.txt; for
// every folder of isolated words, NAME-train.txt and NAME-test.txt (NAME the
// folder's name) and its keyword test, vocab/NAME.dat and .spl with
// NAME-eval-references.txt; for every folder of pinyin-labelled syllables,
// NAME-syllables-train.txt and -test.txt; for gcin-voice's syllables,
// gcin-train.txt and gcin-test.txt.
// The same inputs and seed always give the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "recipes/real_speech_vocabulary.h"
#include "recipes/test_recipes.h"
#include "recipes/training_recipe.h"
#include "recipes/word_vocabulary.h"

namespace kws::recipes {

inline constexpr std::uint64_t kDefaultSeed = 20240607;

struct RecipeOptions {
  std::filesystem::path chewing_folder;  // word.csv and tsi.big5.src
  std::filesystem::path aishell_folder;  // transcripts.tsv and audio/
  std::filesystem::path data_folder;     // the bundled data directory (data/NAME.dat, .spl)
  std::filesystem::path overrides_file;  // reviewed readings
  std::filesystem::path output_folder;
  std::size_t training_utterances = kDefaultTrainingUtterances;
  std::uint64_t seed = kDefaultSeed;
  std::vector<std::filesystem::path> word_folders;      // isolated words of real speakers (transcripts.tsv)
  std::vector<std::filesystem::path> syllable_folders;  // isolated syllables in toned pinyin (transcripts.tsv)
  std::filesystem::path gcin_folder;                    // gcin-voice's ogg folder; empty for none
};

struct RecipeReport {
  int transcripts = 0;
  std::vector<std::pair<std::string, SkipReason>> skipped;
  int real_training = 0;
  int real_test = 0;
  TrainingReport training;
  TestReport bundled;
  TestReport evaluation;
  int evaluation_utterances = 0;
  RealVocabularyReport real_vocabulary;
  struct WordLists {
    std::string name;
    std::size_t training = 0;
    std::size_t test = 0;
    std::size_t skipped = 0;
  };
  std::vector<WordLists> word_lists;
  std::vector<WordLists> syllable_lists;  // named by their list files' prefix
  // The keyword test of each word list, in the same order.
  std::vector<WordVocabularyReport> word_vocabularies;
};

// Writes every file; nullopt with the reason when an input cannot be read
// (nothing is written then).
std::optional<RecipeReport> write_recipes(const RecipeOptions& options, std::string& error);

// The report as kws-recipes prints it on standard error.
std::string report_text(const RecipeReport& report);

}  // namespace kws::recipes
