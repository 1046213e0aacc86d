// Training corpora as the trainer reads them: a list of recordings, each with
// the tonal Zhuyin syllables spoken in it, and what those syllables are in
// model slots.
//
// A list is UTF-8 text, one utterance per line: the audio file (relative to
// the list's folder unless absolute), a TAB or blank, then the syllables
// separated by blanks, the first tone written with ˍ or left unmarked. Lines
// starting with # and blank lines are skipped. This is also the format users
// bring their own recordings in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kws::trainer {

struct ListedUtterance {
  std::string audio_path;      // resolved against the list's folder
  std::vector<int> syllables;  // SyllableTable rows
  std::string origin;          // "list.txt:12", for messages
};

// The utterances of one list file; nullopt with error set (naming the file
// and line) when the file cannot be read or a line is malformed.
std::optional<std::vector<ListedUtterance>> read_corpus_list(const std::string& path, std::string& error);

// The same from text already read; folder resolves relative audio paths.
std::optional<std::vector<ListedUtterance>> parse_corpus_list(std::string_view utf8_text, std::string_view list_name,
                                                              std::string_view folder, std::string& error);

// The two model slots a syllable is recognised with, as vocabulary loading
// maps them: the initial-type unit and the final unit, and for a half the
// inventory has no model for, the filler half of the same kind.
struct SyllableSlots {
  int initial_slot;
  int final_slot;
};
SyllableSlots syllable_slots(int syllable_row);

}  // namespace kws::trainer
