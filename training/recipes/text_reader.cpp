#include "recipes/text_reader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws::recipes {
namespace {

// Words longer than this are cut: espeak runs the syllables of one word
// together, and a phrase of five or more characters is rarely one word.
constexpr std::size_t kLongestWord = 4;

// A digit string this long is said digit by digit.
constexpr std::size_t kShortestDigitString = 3;

struct DigitReading {
  std::string_view character;  // UTF-8
  std::string_view syllable;   // UTF-8 Zhuyin
};

constexpr std::array<DigitReading, 12> kDigits = {{
    {"零", "ㄌㄧㄥˊ"},
    {"〇", "ㄌㄧㄥˊ"},
    {"一", "ㄧㄠˍ"},
    {"二", "ㄦˋ"},
    {"三", "ㄙㄢˍ"},
    {"四", "ㄙˋ"},
    {"五", "ㄨˇ"},
    {"六", "ㄌㄧㄡˋ"},
    {"七", "ㄑㄧˍ"},
    {"八", "ㄅㄚˍ"},
    {"九", "ㄐㄧㄡˇ"},
    {"么", "ㄧㄠˍ"},
}};

std::string big5_of(std::string_view utf8) { return utf8_to_big5(utf8).value_or(std::string()); }

// The digit reading of a Big5 character, or -1; one in a year is ㄧ.
int digit_syllable(std::string_view character, bool in_year) {
  static const std::vector<std::pair<std::string, int>> digits = [] {
    std::vector<std::pair<std::string, int>> table;
    for (const DigitReading& digit : kDigits) {
      const std::string big5 = big5_of(digit.character);
      if (!big5.empty()) table.emplace_back(big5, lexical_data::syllable_row_of_utf8_token(digit.syllable));
    }
    return table;
  }();
  static const std::string one = big5_of("一");
  static const int year_one = lexical_data::syllable_row_of_utf8_token("ㄧˍ");
  if (in_year && character == one) return year_one;
  for (const auto& [digit, syllable] : digits) {
    if (digit == character) return syllable;
  }
  return -1;
}

}  // namespace

const std::string_view kSpokenReadings =
    "什麼 ㄕㄣˊ ㄇㄜ˙\n"
    "甚麼 ㄕㄣˊ ㄇㄜ˙\n"
    "為什麼 ㄨㄟˋ ㄕㄣˊ ㄇㄜ˙\n"
    "怎麼 ㄗㄣˇ ㄇㄜ˙\n"
    "怎麼樣 ㄗㄣˇ ㄇㄜ˙ ㄧㄤˋ\n"
    "這麼 ㄓㄜˋ ㄇㄜ˙\n"
    "那麼 ㄋㄚˋ ㄇㄜ˙\n"
    "多麼 ㄉㄨㄛˍ ㄇㄜ˙\n";

lexical_data::ReadingOverrides with_spoken_readings(lexical_data::ReadingOverrides reviewed) {
  std::string error;
  const std::optional<lexical_data::ReadingOverrides> spoken =
      lexical_data::parse_reading_overrides(kSpokenReadings, "spoken readings", error);
  if (spoken) reviewed.insert(spoken->begin(), spoken->end());  // insert keeps a reviewed reading
  return reviewed;
}

std::vector<std::string_view> characters_of(std::string_view big5) {
  std::vector<std::string_view> characters;
  for (std::size_t i = 0; i + 1 < big5.size(); i += 2) characters.push_back(big5.substr(i, 2));
  return characters;
}

bool contains_text(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return false;
  for (std::size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1)) {
    if (at % 2 == 0) return true;
  }
  return false;
}

TextReader::TextReader(const lexical_data::ReadingData& data, const lexical_data::NameReader& names)
    : data_(data), names_(names) {}

std::optional<std::vector<int>> TextReader::read_syllables(std::string_view big5) const {
  const std::optional<lexical_data::NameReading> reading = names_.read(big5);
  if (!reading) return std::nullopt;
  return reading->syllables;
}

std::vector<std::size_t> TextReader::word_lengths(std::string_view big5,
                                                  const std::vector<bool>& in_digit_string) const {
  // Cut into phrases of the phrase file and single characters: most
  // characters inside phrases first, then the fewest words.
  const std::size_t n = big5.size() / 2;
  struct Cut {
    int phrase_characters = -1;
    int words = 0;
    std::size_t length = 0;  // of the last word
  };
  std::vector<Cut> cuts(n + 1);
  cuts[0].phrase_characters = 0;
  for (std::size_t start = 0; start < n; ++start) {
    if (cuts[start].phrase_characters < 0) continue;
    for (std::size_t length = 1; length <= kLongestWord && start + length <= n; ++length) {
      const bool phrase = length >= 2 && data_.phrases.contains(std::string(big5.substr(2 * start, 2 * length)));
      if (length >= 2 && !phrase) continue;
      if (length >= 2 && std::any_of(in_digit_string.begin() + static_cast<std::ptrdiff_t>(start),
                                     in_digit_string.begin() + static_cast<std::ptrdiff_t>(start + length),
                                     [](bool digit) { return digit; })) {
        continue;
      }
      Cut candidate{cuts[start].phrase_characters + (phrase ? static_cast<int>(length) : 0), cuts[start].words + 1,
                    length};
      Cut& cut = cuts[start + length];
      if (candidate.phrase_characters > cut.phrase_characters ||
          (candidate.phrase_characters == cut.phrase_characters && candidate.words < cut.words)) {
        cut = candidate;
      }
    }
  }
  std::vector<std::size_t> lengths;
  for (std::size_t end = n; end > 0; end -= cuts[end].length) lengths.push_back(cuts[end].length);
  std::reverse(lengths.begin(), lengths.end());
  return lengths;
}

std::optional<std::vector<Word>> TextReader::read(std::string_view big5) const {
  if (!lexical_data::split_hanzi(big5)) return std::nullopt;
  std::optional<std::vector<int>> syllables = read_syllables(big5);
  if (!syllables) return std::nullopt;
  const std::vector<std::string_view> characters = characters_of(big5);

  // Digit strings: the readings of single digits replace what the phrases gave.
  std::vector<bool> in_digit_string(characters.size(), false);
  static const std::string year = big5_of("年");
  for (std::size_t start = 0; start < characters.size();) {
    std::size_t end = start;
    while (end < characters.size() && digit_syllable(characters[end], false) >= 0) ++end;
    if (end - start >= kShortestDigitString) {
      // A year: four digits (二零一六底), or digits before 年.
      const bool is_year = end - start == 4 || (end < characters.size() && characters[end] == year);
      for (std::size_t i = start; i < end; ++i) {
        in_digit_string[i] = true;
        (*syllables)[i] = digit_syllable(characters[i], is_year);
      }
    }
    start = std::max(end, start + 1);
  }

  std::vector<Word> words;
  std::size_t at = 0;
  for (const std::size_t length : word_lengths(big5, in_digit_string)) {
    Word word;
    word.big5 = std::string(big5.substr(2 * at, 2 * length));
    word.syllables.assign(syllables->begin() + static_cast<std::ptrdiff_t>(at),
                          syllables->begin() + static_cast<std::ptrdiff_t>(at + length));
    words.push_back(std::move(word));
    at += length;
  }
  return words;
}

std::optional<std::vector<Word>> TextReader::read_words(const std::vector<std::string>& big5_words) const {
  std::vector<Word> words;
  for (const std::string& big5 : big5_words) {
    if (big5 == ",") {
      words.push_back(pause());
      continue;
    }
    std::optional<std::vector<int>> syllables = read_syllables(big5);
    if (!syllables) return std::nullopt;
    words.push_back(Word{big5, std::move(*syllables)});
  }
  return words;
}

std::optional<std::string> read_input(const std::filesystem::path& path, std::string& error) {
  std::optional<std::string> bytes = read_file_bytes(path.string());
  if (!bytes) error = "cannot read " + path.string();
  return bytes;
}

ReadingTables::ReadingTables(lexical_data::ReadingData reading_data, lexical_data::ReadingOverrides overrides)
    : data(std::move(reading_data)),
      ranked(lexical_data::rank_readings(data)),
      readings(std::move(overrides)),
      names(data, ranked, readings),
      reader(data, names) {}

std::unique_ptr<const ReadingTables> load_reading_tables(const std::filesystem::path& chewing_folder,
                                                         const std::filesystem::path& overrides_file,
                                                         std::string& error) {
  std::optional<lexical_data::ReadingData> data = lexical_data::read_reading_data(chewing_folder, error);
  if (!data) return nullptr;
  const std::optional<std::string> override_text = read_input(overrides_file, error);
  if (!override_text) return nullptr;
  std::optional<lexical_data::ReadingOverrides> overrides =
      lexical_data::parse_reading_overrides(*override_text, overrides_file.filename().string(), error);
  if (!overrides) return nullptr;
  return std::make_unique<const ReadingTables>(std::move(*data), with_spoken_readings(std::move(*overrides)));
}

}  // namespace kws::recipes
