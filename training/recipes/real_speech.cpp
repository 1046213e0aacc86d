#include "recipes/real_speech.h"

#include <algorithm>
#include <system_error>

#include "lexical_data/reading_data.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::recipes {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Latin letters (ASCII or full width) and brackets of any width.
bool has_latin_or_brackets(std::string_view utf8) {
  for (const char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) return true;
    if (c == '(' || c == ')' || c == '[' || c == ']' || c == '{' || c == '}') return true;
  }
  for (const std::string_view wide : {"（", "）", "［", "］", "【", "】", "《", "》", "〈", "〉", "「", "」"}) {
    if (utf8.find(wide) != std::string_view::npos) return true;
  }
  // Full-width Latin letters: U+FF21..U+FF3A and U+FF41..U+FF5A (EF BC A1..BA, EF BD 81..9A).
  for (std::size_t i = 0; i + 2 < utf8.size(); ++i) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
    const auto b2 = static_cast<unsigned char>(utf8[i + 2]);
    if (b0 == 0xEF && ((b1 == 0xBC && b2 >= 0xA1 && b2 <= 0xBA) || (b1 == 0xBD && b2 >= 0x81 && b2 <= 0x9A))) {
      return true;
    }
  }
  return false;
}

std::string without_byte_order_marks(std::string_view text) {
  std::string result;
  for (std::size_t at = 0; at < text.size();) {
    if (text.substr(at).starts_with(kByteOrderMark)) {
      at += kByteOrderMark.size();
    } else {
      result += text[at++];
    }
  }
  return result;
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return std::string(text);
}

}  // namespace

std::vector<std::string> tab_separated_fields(std::string_view line) {
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(trimmed(line.substr(start, tab == std::string_view::npos ? tab : tab - start)));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::vector<TextLine> text_lines(std::string_view text) {
  std::vector<TextLine> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lines.empty() && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    lines.push_back({static_cast<int>(lines.size()) + 1, line});
  }
  return lines;
}

std::optional<std::vector<Transcript>> parse_transcripts(std::string_view utf8_text, std::string_view path,
                                                         std::string& error) {
  std::vector<Transcript> transcripts;
  for (const auto& [line_number, text] : text_lines(utf8_text)) {
    const std::string line = without_byte_order_marks(text);
    if (trimmed(line).empty()) continue;
    const std::vector<std::string> fields = tab_separated_fields(line);
    const std::string where = format_text("%.*s:%d: ", static_cast<int>(path.size()), path.data(), line_number);
    if (fields.size() != 4) {
      error = where + format_text("expected 4 TAB-separated fields, found %zu", fields.size());
      return std::nullopt;
    }
    if (line_number == 1 && fields[3] == "seconds") continue;  // the header
    char* number_end = nullptr;
    const double seconds = std::strtod(fields[3].c_str(), &number_end);
    if (fields[3].empty() || *number_end != '\0' || !(seconds >= 0)) {
      error = where + "\"" + fields[3] + "\" is no duration in seconds";
      return std::nullopt;
    }
    transcripts.push_back(Transcript{fields[0], fields[2], seconds});
  }
  return transcripts;
}

std::string_view skip_reason_text(SkipReason reason) {
  switch (reason) {
    case SkipReason::latin_or_brackets:
      return "Latin letters or brackets";
    case SkipReason::no_reading:
      return "a character without a reading";
    case SkipReason::too_long:
      return "7.9 s or longer";
    case SkipReason::no_audio:
      return "no audio file";
    case SkipReason::same_text_as_test:
      return "saying a test utterance's text";
  }
  return "?";
}

ReadTranscript read_transcript(const Transcript& transcript, const std::filesystem::path& audio,
                               const TextReader& reader) {
  ReadTranscript result;
  if (has_latin_or_brackets(transcript.traditional)) {
    result.reason = SkipReason::latin_or_brackets;
    return result;
  }
  if (transcript.seconds >= kLongestRealUtterance) {
    result.reason = SkipReason::too_long;
    return result;
  }
  const std::optional<std::string> big5 = utf8_to_big5(transcript.traditional);
  std::optional<std::vector<Word>> words = big5 ? reader.read(*big5) : std::nullopt;
  if (!words) {
    result.reason = SkipReason::no_reading;
    return result;
  }
  RealUtterance utterance;
  utterance.id = transcript.id;
  utterance.audio = std::filesystem::absolute(audio).lexically_normal();
  utterance.big5 = *big5;
  utterance.words = std::move(*words);
  utterance.seconds = transcript.seconds;
  result.utterance = std::move(utterance);
  return result;
}

std::vector<std::size_t> spread_choice(std::size_t total, std::size_t count) {
  std::vector<std::size_t> chosen;
  count = std::min(count, total);
  // The middle of each of count equal stretches.
  for (std::size_t k = 0; k < count; ++k) chosen.push_back((2 * k + 1) * total / (2 * count));
  return chosen;
}

RealSpeech split_real_speech(const std::vector<Transcript>& transcripts, const std::filesystem::path& folder,
                             const TextReader& reader) {
  RealSpeech speech;
  std::vector<RealUtterance> usable;
  for (const Transcript& transcript : transcripts) {
    ReadTranscript read = read_transcript(transcript, folder / "audio" / (transcript.id + ".flac"), reader);
    if (read.utterance) {
      std::error_code code;
      if (!std::filesystem::is_regular_file(read.utterance->audio, code)) {
        read.utterance.reset();
        read.reason = SkipReason::no_audio;
      }
    }
    if (read.utterance) {
      usable.push_back(std::move(*read.utterance));
    } else {
      speech.skipped.emplace_back(transcript.id, read.reason);
    }
  }

  const std::vector<std::size_t> test = spread_choice(usable.size(), std::min(kRealTestUtterances, usable.size() / 4));
  std::vector<std::string> test_texts;
  for (const std::size_t index : test) test_texts.push_back(usable[index].big5);
  const auto says_a_test_text = [&test_texts](const std::string& text) {
    return std::any_of(test_texts.begin(), test_texts.end(),
                       [&text](const std::string& test_text) { return contains_text(text, test_text); });
  };
  std::size_t next_test = 0;
  for (std::size_t i = 0; i < usable.size(); ++i) {
    if (next_test < test.size() && test[next_test] == i) {
      speech.test.push_back(std::move(usable[i]));
      ++next_test;
    } else if (says_a_test_text(usable[i].big5)) {
      speech.skipped.emplace_back(usable[i].id, SkipReason::same_text_as_test);
    } else {
      speech.training.push_back(std::move(usable[i]));
    }
  }
  return speech;
}

std::string corpus_list_text(const std::vector<RealUtterance>& utterances, std::string_view comment) {
  std::string text = "# " + std::string(comment) + "\n";
  for (const RealUtterance& utterance : utterances) {
    text += utterance.audio.string() + '\t' + syllable_list_text(syllables_of(utterance.words)) + '\n';
  }
  return text;
}

}  // namespace kws::recipes
