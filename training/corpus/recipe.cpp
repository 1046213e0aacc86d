#include "corpus/recipe.h"

#include <array>
#include <cmath>
#include <map>

#include "corpus/espeak_pinyin.h"
#include "lexicon/syllable_table.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws::corpus {
namespace {

constexpr std::size_t kFieldCount = 8;

// The tone marks in UTF-8; each ends a syllable.
constexpr std::array<std::string_view, 5> kToneMarks = {"ˍ", "ˊ", "ˇ", "ˋ", "˙"};

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// 'text', for messages.
std::string quoted(std::string_view text) {
  std::string result = "'";
  result += text;
  result += '\'';
  return result;
}

bool is_blank_line(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

std::string check_name(std::string_view name) {
  if (name.empty()) return "empty name";
  for (const char c : name) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                         c == '_' || c == '/' || c == '-';
    if (!allowed) return "name " + quoted(name) + " may hold only A-Z a-z 0-9 _ / -";
  }
  // With '.' refused there is no ".." to climb out; an empty folder level
  // or a leading '/' would still leave the output folder or name nothing.
  if (name.front() == '/' || name.back() == '/' || name.find("//") != std::string_view::npos) {
    return "name " + quoted(name) + " must be a relative path of non-empty parts";
  }
  return {};
}

std::string check_voice(std::string_view voice) {
  if (voice.empty()) return "empty voice (write - for the plain voice)";
  for (const char c : voice) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                         c == '_' || c == '-';
    if (!allowed) return "voice " + quoted(voice) + " is no espeak-ng variant name";
  }
  return {};
}

std::optional<int> bounded_integer(std::string_view field, int low, int high) {
  const std::optional<long> value = parse_integer(field);
  if (!value || *value < low || *value > high) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<NoiseKind> noise_kind(std::string_view field) {
  if (field == "none") return NoiseKind::none;
  if (field == "white") return NoiseKind::white;
  if (field == "pink") return NoiseKind::pink;
  if (field == "babble") return NoiseKind::babble;
  return std::nullopt;
}

// A syllable the station knows and the voice can say; the reason otherwise.
std::string check_syllable(std::string_view syllable) {
  const std::optional<std::string> big5 = utf8_to_big5(syllable);
  if (!big5 || syllable_number_of(*big5) < 0 || !espeak_pinyin(*big5)) {
    return quoted(syllable) + " is not a tonal Zhuyin syllable";
  }
  return {};
}

// Splits a word after each tone mark: every syllable ends in one, so the
// split is unambiguous.
std::string split_word(std::string_view word, std::vector<std::string>& syllables) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < word.size();) {
    std::size_t mark_size = 0;
    for (const std::string_view mark : kToneMarks) {
      if (word.substr(i, mark.size()) == mark) mark_size = mark.size();
    }
    if (mark_size == 0) {
      ++i;
      continue;
    }
    i += mark_size;
    const std::string_view syllable = word.substr(start, i - start);
    if (std::string reason = check_syllable(syllable); !reason.empty()) {
      return reason + " (in word " + quoted(word) + ")";
    }
    syllables.emplace_back(syllable);
    start = i;
  }
  if (start < word.size()) {
    return "word " + quoted(word) + " does not end in a tone mark (ˍ ˊ ˇ ˋ ˙)";
  }
  return {};
}

std::string parse_text(std::string_view field, std::vector<TextToken>& text) {
  bool any_syllable = false;
  for (const std::string_view token : split(field, ' ')) {
    if (token.empty()) return "text " + quoted(field) + ": words are separated by single blanks";
    TextToken parsed;
    if (token == ",") {
      parsed.pause = true;
    } else if (std::string reason = split_word(token, parsed.syllables); !reason.empty()) {
      return reason;
    }
    any_syllable = any_syllable || !parsed.syllables.empty();
    text.push_back(std::move(parsed));
  }
  if (!any_syllable) return "text has no syllable";
  return {};
}

// The reason a line is refused, or empty with utterance filled in.
std::string parse_line(std::string_view line, RecipeUtterance& utterance) {
  const std::vector<std::string_view> fields = split(line, '\t');
  if (fields.size() != kFieldCount) {
    return format_text("expected 8 TAB-separated fields (name voice speed pitch gap noise snr text), found %zu",
                       fields.size());
  }
  if (std::string reason = check_name(fields[0]); !reason.empty()) return reason;
  utterance.name = fields[0];
  if (std::string reason = check_voice(fields[1]); !reason.empty()) return reason;
  utterance.voice = fields[1] == "-" ? "" : std::string(fields[1]);

  struct Bounded {
    const char* what;
    std::string_view field;
    int low, high;
    int* value;
  };
  for (const Bounded& number : {Bounded{"speed", fields[2], 80, 450, &utterance.speed},
                                Bounded{"pitch", fields[3], 0, 99, &utterance.pitch},
                                Bounded{"gap", fields[4], 0, 50, &utterance.gap}}) {
    const std::optional<int> value = bounded_integer(number.field, number.low, number.high);
    if (!value) {
      return format_text("%s '%.*s' is not a whole number in %d..%d", number.what,
                         static_cast<int>(number.field.size()), number.field.data(), number.low, number.high);
    }
    *number.value = *value;
  }
  const std::optional<NoiseKind> noise = noise_kind(fields[5]);
  if (!noise) return "noise " + quoted(fields[5]) + " is none of none, white, pink, babble";
  utterance.noise = *noise;
  const std::optional<float> snr = parse_real(fields[6]);
  if (!snr || !std::isfinite(*snr)) return "snr " + quoted(fields[6]) + " is not a number of dB";
  utterance.snr_db = *snr;
  return parse_text(fields[7], utterance.text);
}

}  // namespace

std::optional<std::vector<RecipeUtterance>> parse_recipe(std::string_view text, std::string_view file_name,
                                                         std::string& error) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark some editors write
  std::vector<RecipeUtterance> utterances;
  std::map<std::string, int, std::less<>> first_lines;  // name -> line
  const std::vector<std::string_view> lines = split(text, '\n');
  for (std::size_t index = 0; index < lines.size(); ++index) {
    std::string_view line = lines[index];
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.starts_with('#') || is_blank_line(line)) continue;
    RecipeUtterance utterance;
    utterance.line = static_cast<int>(index + 1);
    std::string reason = parse_line(line, utterance);
    if (reason.empty()) {
      const auto [first, inserted] = first_lines.emplace(utterance.name, utterance.line);
      if (!inserted) reason = format_text("name '%s' is used twice (first on line %d)", utterance.name.c_str(), first->second);
    }
    if (!reason.empty()) {
      error = std::string(file_name) + ":" + std::to_string(index + 1) + ": " + reason;
      return std::nullopt;
    }
    utterances.push_back(std::move(utterance));
  }
  return utterances;
}

std::string syllable_labels(const RecipeUtterance& utterance) {
  std::string labels;
  for (const TextToken& token : utterance.text) {
    for (const std::string& syllable : token.syllables) {
      if (!labels.empty()) labels += ' ';
      labels += syllable;
    }
  }
  return labels;
}

}  // namespace kws::corpus
