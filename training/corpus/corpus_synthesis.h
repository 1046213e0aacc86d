// A synthesised corpus: every utterance of a recipe as a 16 kHz mono 16-bit
// WAV file, and the corpus list that names them with their syllables.
//
// Utterances are synthesised in parallel, each from its own seed, so the
// files are the same bytes whatever the number of jobs. The corpus list is
// written last, under a temporary name renamed into place: a folder with a
// corpus.txt holds a whole corpus, and a failed run leaves none.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "corpus/recipe.h"

namespace kws::corpus {

struct SynthesisOptions {
  std::filesystem::path recipe;
  std::filesystem::path output_folder;
  int jobs = 1;
  std::uint64_t seed = 1;
};

struct SynthesisSummary {
  std::size_t utterances = 0;
  double audio_seconds = 0.0;
  double elapsed_seconds = 0.0;
};

// The station takes at most 8 s of speech; a little below that leaves room
// for the frames the front end loses at the edges.
inline constexpr double kLongestUtteranceSeconds = 7.9;

// Synthesises the recipe into output_folder (<name>.wav each, then
// corpus.txt). Progress, warnings and timings go to log. nullopt with error
// naming the recipe line or the utterance on the first failure.
std::optional<SynthesisSummary> synthesise_corpus(const SynthesisOptions& options, std::FILE* log,
                                                  std::string& error);

// The corpus list line of an utterance, without its newline:
// "<name>.wav<TAB><syllables separated by single blanks>".
std::string corpus_list_line(const RecipeUtterance& utterance);

}  // namespace kws::corpus
