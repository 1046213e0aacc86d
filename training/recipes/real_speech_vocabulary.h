// The vocabulary for spotting words in the real test speech, and what each
// test utterance says of it.
//
// The vocabulary "aishell" holds words of two to four characters that the
// test transcripts say (phrases of the phrase file, read there as the phrase
// file reads them) and as many frequent phrases that no test transcript
// holds, so a spotter is scored on misses and on false alarms alike. Every
// test utterance that has a word says at least one of the words.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lexical_data/vocabulary_files.h"
#include "recipes/corpus_sources.h"
#include "recipes/random.h"

namespace kws::recipes {

inline constexpr char kRealSpeechVocabulary[] = "aishell";
// Words the test transcripts say, before any is left out for the search's
// capacity; as many again that they do not say.
inline constexpr std::size_t kSpokenRealWords = 150;

struct RealVocabularyReport {
  int spoken_words = 0;
  int absent_words = 0;
  int left_out_for_capacity = 0;
  int utterances_with_words = 0;
};

// A test on a Big5 word and its syllables.
using WordTest = std::function<bool(const std::string& big5, const std::vector<int>& syllables)>;

// How a vocabulary draws its absent words among the frequent phrases.
struct AbsentWordDraw {
  std::size_t shortest = 0;  // characters
  std::size_t longest = 0;
  std::size_t count = 0;  // as many as the vocabulary's spoken words
  WordTest heard;         // whether some test recording holds the word
  WordTest add;           // adds the word to the vocabulary; false when it cannot
  WordTest fits = {};     // a further rule on the phrase, when set
};

// Absent words: the phrases of data of draw.shortest to draw.longest
// characters whose syllables all have units, the most frequent of them in
// random order, each added unless heard, until draw.count are added. Returns
// how many were added.
std::size_t draw_absent_words(const lexical_data::ReadingData& data, const AbsentWordDraw& draw, Random& random);

// The vocabulary; nullopt with the reason when it would not load in the
// station (checked as the lexical-data generator checks the bundled ones).
std::optional<lexical_data::Vocabulary> real_speech_vocabulary(const CorpusSources& sources, std::uint64_t seed,
                                                               RealVocabularyReport& report, std::string& error);

// The words of the vocabulary the utterance says, by where they first start
// (a longer word first): a word counts where its characters stand in the
// transcript and are read as the word is read.
std::vector<const lexical_data::VocabularyEntry*> words_said(const RealUtterance& utterance,
                                                             const lexical_data::Vocabulary& vocabulary);

// "<absolute audio path><TAB>aishell<TAB><word>|<word>..." per test utterance, UTF-8.
std::string real_references_text(const std::vector<RealUtterance>& test, const lexical_data::Vocabulary& vocabulary);

}  // namespace kws::recipes
