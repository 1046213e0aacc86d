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
#include <optional>
#include <string>
#include <vector>

#include "lexical_data/vocabulary_files.h"
#include "recipes/corpus_sources.h"

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
