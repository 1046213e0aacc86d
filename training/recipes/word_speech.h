// Isolated words read by real speakers: audio-cmn's words (one speaker, the
// HSK list) and dsp-words (twelve words, 28 speakers).
//
// transcripts.tsv has a header line and then one line per recording: the
// audio file relative to the folder, the speaker, the simplified text, the
// traditional text, and possibly more fields. The traditional text is read as
// the vocabularies are read. A recording is left out when it has no
// traditional text (audio-cmn's syllables), when its text holds Latin letters,
// brackets or "_" (pattern words whose gaps the speaker does not fill), or a
// character without a reading.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recipes/real_speech.h"
#include "recipes/text_reader.h"

namespace kws::recipes {

// One in this many of each speaker's usable recordings is held out for testing.
inline constexpr std::size_t kWordTestShare = 8;

struct WordRecording {
  std::string file;  // relative to the folder
  std::string speaker;
  std::string traditional;  // UTF-8
};

// The lines of transcripts.tsv; nullopt with an error naming path and line
// for a line with fewer than four fields.
std::optional<std::vector<WordRecording>> parse_word_transcripts(std::string_view utf8_text, std::string_view path,
                                                                 std::string& error);

struct WordSpeech {
  std::vector<RealUtterance> training;
  std::vector<RealUtterance> test;
  std::size_t skipped = 0;
};

// Reads every recording and splits each speaker's usable ones, in file
// order: kWordTestShare-th of them, spread over the speaker's list, for the
// test, the rest for training. A missing audio file is skipped.
WordSpeech split_word_speech(const std::vector<WordRecording>& recordings, const std::filesystem::path& folder,
                             const TextReader& reader);

// The same split of usable recordings, each with its speaker, in list order;
// speakers come out in order of first appearance.
struct SpokenRecording {
  std::string speaker;
  RealUtterance utterance;
};
WordSpeech split_per_speaker(std::vector<SpokenRecording> usable, std::size_t skipped);

}  // namespace kws::recipes
