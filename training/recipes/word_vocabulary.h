// A keyword test for each folder of isolated words: a vocabulary named after
// the folder, holding words its test recordings say and as many words none of
// them says, and which recording says which word.
//
// A spoken word is the whole text of a test recording, one to four characters
// whose syllables all have units. It is taken only when no other test
// recording holds its text or its syllables, so every recording says exactly
// its own word of the vocabulary: a word spotted in another recording is a
// false alarm, never a homophone (是 and 事) or a piece of a longer word (電 of
// 電話).
//
// The absent words are frequent phrases of the phrase file, two to four
// characters, drawn as the real speech vocabulary draws its own, for every
// folder alike: dsp-words records only its twelve words, so the folders' own
// untested words could not serve. No test recording holds an absent word's
// text or syllables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lexical_data/reading_data.h"
#include "lexical_data/vocabulary_files.h"
#include "recipes/real_speech.h"

namespace kws::recipes {

// Words the test recordings say, before any is left out for the search's
// capacity; as many again that they do not say.
inline constexpr std::size_t kSpokenFolderWords = 150;

struct WordVocabularyReport {
  std::string name;
  int spoken_words = 0;
  int absent_words = 0;
  int heard_elsewhere = 0;  // candidates left out: another test recording holds their text or syllables
  int left_out_for_capacity = 0;
  int recordings_with_words = 0;
  int test_recordings = 0;
};

// The vocabulary called name (the folder's name, UTF-8) for the folder's test
// recordings; nullopt with the reason when it would not load in the station.
std::optional<lexical_data::Vocabulary> word_vocabulary(const std::string& name, const std::vector<RealUtterance>& test,
                                                        const lexical_data::ReadingData& data, std::uint64_t seed,
                                                        WordVocabularyReport& report, std::string& error);

// "<absolute audio path><TAB>NAME<TAB><word>" per test recording whose word is
// in the vocabulary, in test order, UTF-8.
std::string word_references_text(const std::vector<RealUtterance>& test, const lexical_data::Vocabulary& vocabulary);

}  // namespace kws::recipes
