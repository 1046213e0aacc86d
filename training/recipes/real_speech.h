// The real speech: the transcripts of the recorded speaker, which of them the
// station can use, their readings, and the split into training and test.
//
// transcripts.tsv has a header line and then one line per utterance: id,
// simplified text, traditional text, seconds; the audio is audio/<id>.flac.
// The traditional text is read as the vocabularies are read. An utterance is
// left out when its text holds Latin letters or brackets (shop and song names
// the syllable table cannot spell), a character without a reading, or when
// it lasts 7.9 s or more, since the station listens to at most 8 s.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recipes/recipe.h"
#include "recipes/text_reader.h"

namespace kws::recipes {

inline constexpr double kLongestRealUtterance = 7.9;  // seconds, excluded
inline constexpr std::size_t kRealTestUtterances = 100;

struct Transcript {
  std::string id;
  std::string traditional;  // UTF-8, byte-order mark removed
  double seconds = 0;
};

// The TAB-separated fields of a line, each without surrounding blanks and
// carriage returns.
std::vector<std::string> tab_separated_fields(std::string_view line);

struct TextLine {
  int number = 0;  // from 1
  std::string_view text;
};

// The lines of a text, without their line ends ("\n" or "\r\n") and the first
// without a byte-order mark; a last line end starts no further line.
std::vector<TextLine> text_lines(std::string_view text);

// The lines of transcripts.tsv; nullopt with an error naming path and line
// for a line without four fields or with a duration that is no number.
std::optional<std::vector<Transcript>> parse_transcripts(std::string_view utf8_text, std::string_view path,
                                                         std::string& error);

enum class SkipReason { latin_or_brackets, no_reading, too_long, no_audio, same_text_as_test };

std::string_view skip_reason_text(SkipReason reason);

struct RealUtterance {
  std::string id;
  std::filesystem::path audio;  // absolute
  std::string big5;             // the traditional text
  std::vector<Word> words;
  double seconds = 0;
};

// The utterance as the corpora use it, with audio as its recording (made
// absolute), or why it is left out. The audio file is not looked at.
struct ReadTranscript {
  std::optional<RealUtterance> utterance;
  SkipReason reason = SkipReason::no_reading;
};
ReadTranscript read_transcript(const Transcript& transcript, const std::filesystem::path& audio,
                               const TextReader& reader);

struct RealSpeech {
  std::vector<RealUtterance> training;
  std::vector<RealUtterance> test;
  std::vector<std::pair<std::string, SkipReason>> skipped;  // id and reason
};

// count indices of 0..total-1 spread evenly over the range, ascending.
std::vector<std::size_t> spread_choice(std::size_t total, std::size_t count);

// Reads every transcript and splits the usable ones: kRealTestUtterances
// spread over the file (at most a quarter of them) for the test, the rest for
// training. A training utterance whose text holds the text of a test one
// (the same sentence, or it inside a longer one) is left out, so no test
// sentence is ever trained on.
RealSpeech split_real_speech(const std::vector<Transcript>& transcripts, const std::filesystem::path& folder,
                             const TextReader& reader);

// A corpus list: a comment line, then "absolute audio path<TAB>syllables".
std::string corpus_list_text(const std::vector<RealUtterance>& utterances, std::string_view comment);

}  // namespace kws::recipes
