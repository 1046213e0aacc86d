#include "recipes/syllable_speech.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <utility>

#include "lexicon/syllable_table.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::recipes {
namespace {

using Spelling = std::pair<std::string_view, std::string_view>;  // pinyin, Zhuyin (UTF-8)

constexpr std::array<Spelling, 5> kTones = {{{"1", "ˍ"}, {"2", "ˊ"}, {"3", "ˇ"}, {"4", "ˋ"}, {"5", "˙"}}};

// Two-letter initials first, so that zh is not read as z + h.
constexpr std::array<Spelling, 21> kInitials = {{
    {"zh", "ㄓ"}, {"ch", "ㄔ"}, {"sh", "ㄕ"}, {"b", "ㄅ"}, {"p", "ㄆ"}, {"m", "ㄇ"}, {"f", "ㄈ"},
    {"d", "ㄉ"},  {"t", "ㄊ"},  {"n", "ㄋ"},  {"l", "ㄌ"}, {"g", "ㄍ"}, {"k", "ㄎ"}, {"h", "ㄏ"},
    {"j", "ㄐ"},  {"q", "ㄑ"},  {"x", "ㄒ"},  {"r", "ㄖ"}, {"z", "ㄗ"}, {"c", "ㄘ"}, {"s", "ㄙ"},
}};

// Syllables without an initial: the bare finals and the y/w spellings of
// the finals that start with i, u or ü.
constexpr std::array<Spelling, 38> kWholeSyllables = {{
    {"a", "ㄚ"},      {"o", "ㄛ"},      {"e", "ㄜ"},     {"ê", "ㄝ"},      {"ai", "ㄞ"},     {"ei", "ㄟ"},
    {"ao", "ㄠ"},     {"ou", "ㄡ"},     {"an", "ㄢ"},    {"en", "ㄣ"},     {"ang", "ㄤ"},    {"eng", "ㄥ"},
    {"er", "ㄦ"},     {"yi", "ㄧ"},     {"ya", "ㄧㄚ"},  {"yo", "ㄧㄛ"},   {"ye", "ㄧㄝ"},   {"yai", "ㄧㄞ"},
    {"yao", "ㄧㄠ"},  {"you", "ㄧㄡ"},  {"yan", "ㄧㄢ"}, {"yin", "ㄧㄣ"},  {"yang", "ㄧㄤ"}, {"ying", "ㄧㄥ"},
    {"yong", "ㄩㄥ"}, {"yu", "ㄩ"},     {"yue", "ㄩㄝ"}, {"yuan", "ㄩㄢ"}, {"yun", "ㄩㄣ"},  {"wu", "ㄨ"},
    {"wa", "ㄨㄚ"},   {"wo", "ㄨㄛ"},   {"wai", "ㄨㄞ"}, {"wei", "ㄨㄟ"},  {"wan", "ㄨㄢ"},  {"wen", "ㄨㄣ"},
    {"wang", "ㄨㄤ"}, {"weng", "ㄨㄥ"},
}};

// Finals after an initial, ü written v. iu, ui and un are the short
// spellings of iou, uei and uen.
constexpr std::array<Spelling, 35> kFinals = {{
    {"a", "ㄚ"},    {"o", "ㄛ"},      {"e", "ㄜ"},     {"ai", "ㄞ"},     {"ei", "ㄟ"},   {"ao", "ㄠ"},
    {"ou", "ㄡ"},   {"an", "ㄢ"},     {"en", "ㄣ"},    {"ang", "ㄤ"},    {"eng", "ㄥ"},  {"ong", "ㄨㄥ"},
    {"i", "ㄧ"},    {"ia", "ㄧㄚ"},   {"ie", "ㄧㄝ"},  {"iao", "ㄧㄠ"},  {"iu", "ㄧㄡ"}, {"ian", "ㄧㄢ"},
    {"in", "ㄧㄣ"}, {"iang", "ㄧㄤ"}, {"ing", "ㄧㄥ"}, {"iong", "ㄩㄥ"}, {"u", "ㄨ"},    {"ua", "ㄨㄚ"},
    {"uo", "ㄨㄛ"}, {"uai", "ㄨㄞ"},  {"ui", "ㄨㄟ"},  {"uan", "ㄨㄢ"},  {"un", "ㄨㄣ"}, {"uang", "ㄨㄤ"},
    {"v", "ㄩ"},    {"ve", "ㄩㄝ"},   {"van", "ㄩㄢ"}, {"vn", "ㄩㄣ"},   {"ue", "ㄩㄝ"},
}};

template <std::size_t N>
std::optional<std::string_view> find_spelling(const std::array<Spelling, N>& table, std::string_view pinyin) {
  for (const auto& [letters, zhuyin] : table) {
    if (letters == pinyin) return zhuyin;
  }
  return std::nullopt;
}

// The Zhuyin of the letters after an initial, or nullopt where Mandarin has
// no such syllable: j q x take only i and ü finals (their ü written u), zh ch
// sh r z c s neither, and ü follows no other initial than n and l.
std::optional<std::string> final_after(std::string_view initial, std::string letters) {
  const bool palatal = initial == "j" || initial == "q" || initial == "x";
  const bool sibilant = initial == "zh" || initial == "ch" || initial == "sh" || initial == "r" || initial == "z" ||
                        initial == "c" || initial == "s";
  if (sibilant && letters == "i") return std::string();  // zhi, ri, zi: the initial alone
  if (palatal && letters.starts_with('u')) letters[0] = 'v';
  const std::optional<std::string_view> zhuyin = find_spelling(kFinals, letters);
  if (!zhuyin) return std::nullopt;
  const bool front = zhuyin->starts_with("ㄧ") || zhuyin->starts_with("ㄩ");
  if ((palatal && !front) || (sibilant && front)) return std::nullopt;
  // After n and l, ü is written v, or u in ue (there is no ㄌㄨㄝ to confuse).
  const bool n_or_l_umlaut = (initial == "n" || initial == "l") && (letters.starts_with('v') || letters == "ue");
  if (zhuyin->starts_with("ㄩ") && !palatal && !n_or_l_umlaut) return std::nullopt;
  return std::string(*zhuyin);
}

// Zhuyin symbols ㄅ..ㄩ are U+3105..U+3129, E3 84 85..A9 in UTF-8.
bool is_zhuyin_symbols(std::string_view utf8) {
  if (utf8.empty() || utf8.size() % 3 != 0) return false;
  for (std::size_t i = 0; i < utf8.size(); i += 3) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const auto middle = static_cast<unsigned char>(utf8[i + 1]);
    const auto last = static_cast<unsigned char>(utf8[i + 2]);
    if (lead != 0xE3 || middle != 0x84 || last < 0x85 || last > 0xA9) return false;
  }
  return true;
}

// The recording as a corpus list has it, or nullopt when its syllable is no
// row or its audio is missing.
std::optional<RealUtterance> syllable_recording(const std::string& id, const std::optional<std::string>& zhuyin,
                                                const std::filesystem::path& audio) {
  const int row = zhuyin ? zhuyin_row(*zhuyin) : -1;
  if (row < 0) return std::nullopt;
  RealUtterance utterance;
  utterance.id = id;
  utterance.audio = std::filesystem::absolute(audio).lexically_normal();
  utterance.words.push_back(Word{"", {row}});
  std::error_code code;
  if (!std::filesystem::is_regular_file(utterance.audio, code)) return std::nullopt;
  return utterance;
}

}  // namespace

std::optional<std::string> pinyin_zhuyin(std::string_view toned_pinyin) {
  if (toned_pinyin.size() < 2) return std::nullopt;
  const std::optional<std::string_view> tone = find_spelling(kTones, toned_pinyin.substr(toned_pinyin.size() - 1));
  if (!tone) return std::nullopt;
  std::string letters;  // ü as v, the tables' one spelling of it
  for (std::string_view rest = toned_pinyin.substr(0, toned_pinyin.size() - 1); !rest.empty();) {
    const bool umlaut = rest.starts_with("ü");
    letters += umlaut ? 'v' : rest.front();
    rest.remove_prefix(umlaut ? std::string_view("ü").size() : 1);
  }

  if (const std::optional<std::string_view> whole = find_spelling(kWholeSyllables, letters)) {
    return std::string(*whole) + std::string(*tone);
  }
  for (const auto& [initial, symbol] : kInitials) {
    if (!letters.starts_with(initial)) continue;
    const std::optional<std::string> final_symbols = final_after(initial, letters.substr(initial.size()));
    if (!final_symbols) return std::nullopt;
    return std::string(symbol) + *final_symbols + std::string(*tone);
  }
  return std::nullopt;
}

std::optional<std::string> gcin_folder_zhuyin(std::string_view folder_name) {
  std::string_view tone = "ˍ";
  if (!folder_name.empty() && folder_name.back() >= '0' && folder_name.back() <= '9') {
    static constexpr std::array<std::string_view, 5> kDigitTones = {"", "˙", "ˊ", "ˇ", "ˋ"};
    const std::size_t digit = static_cast<std::size_t>(folder_name.back() - '0');
    if (digit == 0 || digit >= kDigitTones.size()) return std::nullopt;
    tone = kDigitTones[digit];
    folder_name.remove_suffix(1);
  }
  if (!is_zhuyin_symbols(folder_name)) return std::nullopt;
  return std::string(folder_name) + std::string(tone);
}

int zhuyin_row(std::string_view utf8_syllable) {
  const std::optional<std::string> big5 = utf8_to_big5(utf8_syllable);
  return big5 ? syllable_number_of(*big5) : -1;
}

std::optional<std::vector<PinyinRecording>> parse_syllable_transcripts(std::string_view utf8_text,
                                                                       std::string_view path, std::string& error) {
  std::vector<PinyinRecording> recordings;
  std::size_t pinyin_column = 0;
  const std::vector<TextLine> lines = text_lines(utf8_text);
  if (lines.empty()) {
    error = std::string(path) + ": empty, without the header";
    return std::nullopt;
  }
  for (const auto& [line_number, line] : lines) {
    const std::vector<std::string> fields = tab_separated_fields(line);
    const std::string where = format_text("%.*s:%d: ", static_cast<int>(path.size()), path.data(), line_number);
    if (line_number == 1) {
      const auto column = std::find(fields.begin(), fields.end(), "pinyin");
      if (column == fields.end()) {
        error = where + "the header names no pinyin column";
        return std::nullopt;
      }
      pinyin_column = static_cast<std::size_t>(column - fields.begin());
      continue;
    }
    if (fields.size() == 1 && fields[0].empty()) continue;
    if (fields.size() < 2) {
      error = where + format_text("expected at least 2 TAB-separated fields, found %zu", fields.size());
      return std::nullopt;
    }
    if (pinyin_column >= fields.size() || fields[pinyin_column].empty()) continue;  // a word
    recordings.push_back({fields[0], fields[1], fields[pinyin_column]});
  }
  return recordings;
}

WordSpeech split_pinyin_syllables(const std::vector<PinyinRecording>& recordings, const std::filesystem::path& folder) {
  std::vector<SpokenRecording> usable;
  std::size_t skipped = 0;
  for (const PinyinRecording& recording : recordings) {
    // "_" marks the source's interjections and unusual spellings; lüan is
    // one of them and still a syllable of the table.
    std::string_view pinyin = recording.pinyin;
    if (pinyin.starts_with('_')) pinyin.remove_prefix(1);
    // audio-cmn's fifth-tone files last up to 5 s and most say several
    // syllables, so they are not taken for one neutral-tone syllable.
    const bool one_syllable = !pinyin.ends_with('5');
    std::optional<RealUtterance> utterance = syllable_recording(
        recording.file, one_syllable ? pinyin_zhuyin(pinyin) : std::nullopt, folder / recording.file);
    if (utterance) {
      usable.push_back({recording.speaker, std::move(*utterance)});
    } else {
      ++skipped;
    }
  }
  return split_per_speaker(std::move(usable), skipped);
}

std::optional<WordSpeech> split_gcin_syllables(const std::filesystem::path& folder, std::string& error) {
  std::vector<std::string> names;
  std::error_code code;
  for (std::filesystem::directory_iterator entry(folder, code), end; !code && entry != end; entry.increment(code)) {
    std::error_code kind_code;
    if (entry->is_directory(kind_code)) names.push_back(entry->path().filename().string());
  }
  if (code) {
    error = "cannot list " + folder.string() + ": " + code.message();
    return std::nullopt;
  }
  std::sort(names.begin(), names.end());  // the listing's order is the file system's

  std::vector<SpokenRecording> usable;
  std::size_t skipped = 0;
  for (const std::string& name : names) {
    const std::optional<std::string> zhuyin = gcin_folder_zhuyin(name);
    for (const auto& [file, speaker] : {std::pair{kGcinMaleFile, kGcinMale}, std::pair{kGcinFemaleFile, kGcinFemale}}) {
      const std::filesystem::path audio = folder / name / file;
      std::error_code exists_code;
      if (!std::filesystem::is_regular_file(audio, exists_code)) continue;  // not every folder has both speakers
      std::optional<RealUtterance> utterance = syllable_recording(name + "/" + std::string(file), zhuyin, audio);
      if (utterance) {
        usable.push_back({std::string(speaker), std::move(*utterance)});
      } else {
        ++skipped;
      }
    }
  }
  return split_per_speaker(std::move(usable), skipped);
}

}  // namespace kws::recipes
