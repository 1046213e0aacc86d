// Enrolment prompts: a few dozen short prompts a user reads aloud so that
// kws-train adapt can fit the models to their voice.
//
// A prompt is one phrase of the phrase file or two or three of them in a row,
// 4 to 10 characters. The prompts are chosen greedily, each the one that adds
// the most of the occurrences still missing (built phrase by phrase), until
// every sub-syllable unit is said kEnrolmentCoverage times; then, up to the
// wanted number, towards an even higher count of the rarest units. No phrase
// is used twice.
//
// Into the output folder: prompts.txt, numbered prompts in characters and
// Zhuyin for the speaker, and enrolment.txt, the corpus list adaptation
// reads, naming the recordings rec/NN.wav next to it. The same inputs and
// seed always give the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "lexical_data/reading_data.h"
#include "recipes/recipe.h"
#include "recipes/recipe_writer.h"
#include "recipes/text_reader.h"
#include "recipes/unit_coverage.h"

namespace kws::recipes {

inline constexpr std::size_t kDefaultEnrolmentPrompts = 60;
// Each unit this often: enough frames for MAP to move its Gaussians without
// asking the speaker for more than a few minutes.
inline constexpr int kEnrolmentCoverage = 3;
inline constexpr std::size_t kShortestPrompt = 4;  // characters
inline constexpr std::size_t kLongestPrompt = 10;

// A phrase prompts are made of, read as the reader reads it alone.
struct PromptPhrase {
  std::string big5;
  std::vector<int> syllables;
};

// Phrases of the phrase file of 2 to 10 characters that the reader can read
// and whose syllables all have models, most frequent first (ties in byte
// order). For a unit none of them says, a few of them follow read with
// another reading of one of their characters that says it.
std::vector<PromptPhrase> prompt_phrases(const lexical_data::ReadingData& data, const TextReader& reader);

struct EnrolmentPrompts {
  std::vector<std::vector<Word>> prompts;  // each a run of phrases
  UnitCounts unit_counts{};
  // Units said fewer than kEnrolmentCoverage times: no unused phrase says them.
  std::vector<int> uncovered_units;
  // More prompts than wanted, as the coverage needed them.
  bool beyond_wanted = false;
};

// About wanted prompts from the phrases (most frequent first, as
// prompt_phrases gives them): fewer when the phrases run out, more when
// coverage needs them.
EnrolmentPrompts choose_prompts(const std::vector<PromptPhrase>& phrases, std::size_t wanted, std::uint64_t seed);

// prompts.txt: "NN  characters  syllables" per prompt, NN from 01 (three
// digits from 100 prompts on), a full-width comma between the phrases.
std::string prompts_text(const std::vector<std::vector<Word>>& prompts);

// enrolment.txt: a comment header on how to record, then
// "rec/NN.wav<TAB>syllables" per prompt.
std::string enrolment_list_text(const std::vector<std::vector<Word>>& prompts);

struct EnrolmentOptions {
  std::filesystem::path chewing_folder;  // word.csv and tsi.big5.src
  std::filesystem::path overrides_file;  // reviewed readings
  std::filesystem::path output_folder;
  std::size_t prompts = kDefaultEnrolmentPrompts;
  std::uint64_t seed = kDefaultSeed;
};

// Chooses the prompts and writes both files; nullopt with the reason when an
// input cannot be read or a file cannot be written.
std::optional<EnrolmentPrompts> write_enrolment(const EnrolmentOptions& options, std::string& error);

// What kws-recipes enrolment prints on standard error: the counts, the least
// said units, and warnings for units left short and for extra prompts.
std::string enrolment_report_text(const EnrolmentPrompts& chosen, std::size_t wanted);

}  // namespace kws::recipes
