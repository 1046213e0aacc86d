// Isolated tonal syllables read by real speakers: audio-cmn's syllables (one
// speaker, every syllable in each of its tones, labelled in toned pinyin) and
// gcin-voice's typing sounds (a male and a female speaker, one folder per
// tonal Zhuyin syllable).
//
// A recording is left out when its syllable is no row of the syllable table
// (interjections such as hm and ng, tones the table does not give a syllable)
// or its audio file is missing. The split into training and test is the
// isolated words' one: an eighth of each speaker's recordings for the test.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recipes/word_speech.h"

namespace kws::recipes {

// The tonal Zhuyin (UTF-8, first tone ˍ) of a toned pinyin syllable: lower
// case letters with ü written v or ü, then the tone as a digit 1-4 or 5 for
// the neutral tone, e.g. "lve4" -> "ㄌㄩㄝˋ", "zhi1" -> "ㄓˍ". nullopt for a
// spelling that is no Mandarin syllable.
std::optional<std::string> pinyin_zhuyin(std::string_view toned_pinyin);

// The tonal Zhuyin of a gcin-voice folder name: the syllable's symbols, then
// no digit for the first tone, 1 for the neutral tone, or 2, 3, 4 for the
// second to fourth (measured: the folders without a digit are high and
// level, those ending in 1 short and falling). nullopt for any other name.
std::optional<std::string> gcin_folder_zhuyin(std::string_view folder_name);

// The SyllableTable row of tonal Zhuyin in UTF-8, or -1.
int zhuyin_row(std::string_view utf8_syllable);

struct PinyinRecording {
  std::string file;  // relative to the folder
  std::string speaker;
  std::string pinyin;  // as the list has it, e.g. "lv3" or "_hm2"
};

// The lines of transcripts.tsv with a syllable in their pinyin column (found
// by the header); lines without one (words) are passed over. nullopt with an
// error naming path and line when there is no pinyin column or a line has
// fewer than two fields.
std::optional<std::vector<PinyinRecording>> parse_syllable_transcripts(std::string_view utf8_text,
                                                                       std::string_view path, std::string& error);

// The usable recordings, split per speaker. A leading "_" of the pinyin is
// passed over; recordings labelled with tone 5 are left out, as they are
// not one isolated syllable.
WordSpeech split_pinyin_syllables(const std::vector<PinyinRecording>& recordings, const std::filesystem::path& folder);

// gcin-voice's speakers: which file of a syllable folder is whose.
inline constexpr std::string_view kGcinMaleFile = "3.ogg";
inline constexpr std::string_view kGcinFemaleFile = "5.ogg";
inline constexpr std::string_view kGcinMale = "gcin-male";
inline constexpr std::string_view kGcinFemale = "gcin-female";

// Every recording under folder (folder/NAME/3.ogg and 5.ogg), folders in
// byte order of their names, split per speaker; nullopt with an error when
// the folder cannot be listed.
std::optional<WordSpeech> split_gcin_syllables(const std::filesystem::path& folder, std::string& error);

}  // namespace kws::recipes
