#include "corpus/espeak_pinyin.h"

#include <array>
#include <utility>

#include "platform/text_encoding.h"

namespace kws::corpus {
namespace {

using Spelling = std::pair<std::string_view, std::string_view>;  // Zhuyin (UTF-8), pinyin

constexpr std::array<Spelling, 21> kInitials = {{
    {"ㄅ", "b"}, {"ㄆ", "p"}, {"ㄇ", "m"}, {"ㄈ", "f"}, {"ㄉ", "d"}, {"ㄊ", "t"}, {"ㄋ", "n"},
    {"ㄌ", "l"}, {"ㄍ", "g"}, {"ㄎ", "k"}, {"ㄏ", "h"}, {"ㄐ", "j"}, {"ㄑ", "q"}, {"ㄒ", "x"},
    {"ㄓ", "zh"}, {"ㄔ", "ch"}, {"ㄕ", "sh"}, {"ㄖ", "r"}, {"ㄗ", "z"}, {"ㄘ", "c"}, {"ㄙ", "s"},
}};

// Finals after an initial. ü stays ü here; the initial decides its spelling.
constexpr std::array<Spelling, 38> kFinals = {{
    {"ㄚ", "a"},    {"ㄛ", "o"},     {"ㄜ", "e"},    {"ㄝ", "ê"},    {"ㄞ", "ai"},    {"ㄟ", "ei"},
    {"ㄠ", "ao"},   {"ㄡ", "ou"},    {"ㄢ", "an"},   {"ㄣ", "en"},   {"ㄤ", "ang"},   {"ㄥ", "eng"},
    {"ㄦ", "er"},   {"ㄧ", "i"},     {"ㄧㄚ", "ia"}, {"ㄧㄛ", "io"}, {"ㄧㄝ", "ie"},  {"ㄧㄞ", "iai"},
    {"ㄧㄠ", "iao"}, {"ㄧㄡ", "iu"},  {"ㄧㄢ", "ian"}, {"ㄧㄣ", "in"}, {"ㄧㄤ", "iang"}, {"ㄧㄥ", "ing"},
    {"ㄨ", "u"},    {"ㄨㄚ", "ua"},  {"ㄨㄛ", "uo"}, {"ㄨㄞ", "uai"}, {"ㄨㄟ", "ui"},  {"ㄨㄢ", "uan"},
    {"ㄨㄣ", "un"}, {"ㄨㄤ", "uang"}, {"ㄨㄥ", "ong"}, {"ㄩ", "ü"},    {"ㄩㄝ", "üe"},  {"ㄩㄢ", "üan"},
    {"ㄩㄣ", "ün"}, {"ㄩㄥ", "iong"},
}};

// Finals that are the whole syllable: i, u and ü take their y/w spellings.
constexpr std::array<Spelling, 25> kWholeSyllableFinals = {{
    {"ㄧ", "yi"},    {"ㄧㄚ", "ya"},  {"ㄧㄛ", "yo"},   {"ㄧㄝ", "ye"},  {"ㄧㄞ", "yai"},  {"ㄧㄠ", "yao"},
    {"ㄧㄡ", "you"}, {"ㄧㄢ", "yan"}, {"ㄧㄣ", "yin"},  {"ㄧㄤ", "yang"}, {"ㄧㄥ", "ying"}, {"ㄨ", "wu"},
    {"ㄨㄚ", "wa"},  {"ㄨㄛ", "wo"},  {"ㄨㄞ", "wai"},  {"ㄨㄟ", "wei"}, {"ㄨㄢ", "wan"},  {"ㄨㄣ", "wen"},
    {"ㄨㄤ", "wang"}, {"ㄨㄥ", "weng"}, {"ㄩ", "yu"},   {"ㄩㄝ", "yue"}, {"ㄩㄢ", "yuan"}, {"ㄩㄣ", "yun"},
    {"ㄩㄥ", "yong"},
}};

// Tone marks in UTF-8 and their digits.
constexpr std::array<Spelling, 5> kTones = {{{"ˍ", "1"}, {"ˊ", "2"}, {"ˇ", "3"}, {"ˋ", "4"}, {"˙", "5"}}};

// In UTF-8 every Zhuyin symbol is three bytes and every tone mark two.
constexpr std::size_t kSymbolBytes = 3;
constexpr std::size_t kToneMarkBytes = 2;

template <std::size_t N>
std::optional<std::string_view> spelling_of(const std::array<Spelling, N>& table, std::string_view zhuyin) {
  for (const auto& [symbols, pinyin] : table) {
    if (symbols == zhuyin) return pinyin;
  }
  return std::nullopt;
}

// The final's spelling after an initial: ü is written u after j, q, x (which
// take no plain u), and the syllabic vowel of zh ch sh r z c s is i.
std::optional<std::string> final_after(std::string_view initial, std::string_view final_symbols) {
  if (final_symbols.empty()) {
    for (const std::string_view retroflex_or_dental : {"zh", "ch", "sh", "r", "z", "c", "s"}) {
      if (initial == retroflex_or_dental) return std::string("i");
    }
    return std::nullopt;
  }
  const std::optional<std::string_view> spelling = spelling_of(kFinals, final_symbols);
  if (!spelling) return std::nullopt;
  std::string written(*spelling);
  const bool palatal = initial == "j" || initial == "q" || initial == "x";
  if (palatal && final_symbols == "ㄩㄥ") return std::string("yong");  // jiong etc. lose the glide
  if (palatal && written.starts_with("ü")) written.replace(0, std::string_view("ü").size(), "u");
  if (initial == "l" && final_symbols == "ㄩㄢ") written = "yuan";  // lüan is read as two syllables
  return written;
}

}  // namespace

std::optional<std::string> espeak_pinyin(std::string_view big5_syllable) {
  const std::string utf8 = big5_to_utf8(big5_syllable);
  if (utf8.size() < kSymbolBytes + kToneMarkBytes || (utf8.size() - kToneMarkBytes) % kSymbolBytes != 0) {
    return std::nullopt;
  }
  const std::optional<std::string_view> tone =
      spelling_of(kTones, std::string_view(utf8).substr(utf8.size() - kToneMarkBytes));
  if (!tone) return std::nullopt;
  const std::string_view symbols = std::string_view(utf8).substr(0, utf8.size() - kToneMarkBytes);

  if (symbols == "ㄧㄞ" && *tone == "2") return std::string("yái");  // yai2 is read as two syllables
  std::string pinyin;
  if (const std::optional<std::string_view> initial = spelling_of(kInitials, symbols.substr(0, kSymbolBytes))) {
    const std::optional<std::string> final_spelling = final_after(*initial, symbols.substr(kSymbolBytes));
    if (!final_spelling) return std::nullopt;
    pinyin = std::string(*initial) + *final_spelling;
  } else if (const std::optional<std::string_view> whole = spelling_of(kWholeSyllableFinals, symbols)) {
    pinyin = *whole;
  } else if (const std::optional<std::string_view> plain = spelling_of(kFinals, symbols)) {
    pinyin = *plain;
  } else {
    return std::nullopt;
  }
  return pinyin + std::string(*tone);
}

}  // namespace kws::corpus
