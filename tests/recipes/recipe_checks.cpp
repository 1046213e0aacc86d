#include "recipe_checks.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "lexicon/syllable_table.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws::recipes::testing {
namespace {

constexpr std::string_view kToneMarks[] = {"ˍ", "ˊ", "ˇ", "ˋ", "˙"};

bool whole_number(const std::string& text, int low, int high, int& value) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  if (text.size() > 6) return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

bool made_of(const std::string& text, std::string_view allowed) {
  return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

constexpr std::string_view kLowerAndDigits = "abcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

std::vector<std::string> CheckedRecipeLine::syllables() const {
  std::vector<std::string> all;
  for (const auto& word : words) all.insert(all.end(), word.begin(), word.end());
  return all;
}

std::vector<std::string> CheckedRecipeLine::word_texts() const {
  std::vector<std::string> texts;
  for (const auto& word : words) {
    std::string text;
    for (const std::string& syllable : word) text += syllable;
    texts.push_back(word.empty() ? "," : text);
  }
  return texts;
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

std::vector<std::string> content_lines(const std::filesystem::path& file) {
  const std::optional<std::string> text = read_file_bytes(file.string());
  EXPECT_TRUE(text.has_value()) << "cannot read " << file;
  std::vector<std::string> lines;
  if (!text) return lines;
  EXPECT_TRUE(text->empty() || text->back() == '\n') << file << " does not end with a line break";
  for (const std::string& line : split(*text, '\n')) {
    if (line.empty() || line.front() == '#') continue;
    EXPECT_EQ(line.find('\r'), std::string::npos) << file << ": a carriage return";
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> split_word(std::string_view word, std::string_view where) {
  std::vector<std::string> syllables;
  std::string current;
  while (!word.empty()) {
    const auto lead = static_cast<unsigned char>(word.front());
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string_view character = word.substr(0, length);
    word.remove_prefix(std::min(length, word.size()));
    current += character;
    if (std::find(std::begin(kToneMarks), std::end(kToneMarks), character) != std::end(kToneMarks)) {
      const std::optional<std::string> big5 = utf8_to_big5(current);
      EXPECT_TRUE(big5 && syllable_number_of(*big5) >= 0)
          << where << ": \"" << current << "\" is no syllable of the table";
      syllables.push_back(current);
      current.clear();
    }
  }
  EXPECT_TRUE(current.empty()) << where << ": \"" << current << "\" does not end in a tone mark";
  EXPECT_FALSE(syllables.empty()) << where << ": an empty word";
  return syllables;
}

std::vector<CheckedRecipeLine> read_recipe(const std::filesystem::path& file) {
  const std::string name_characters = std::string(kLowerAndDigits) + "ABCDEFGHIJKLMNOPQRSTUVWXYZ_/-";
  std::vector<CheckedRecipeLine> lines;
  const std::optional<std::string> text = read_file_bytes(file.string());
  EXPECT_TRUE(text.has_value()) << "cannot read " << file;
  if (!text) return lines;
  int number = 0;
  for (const std::string& raw : split(*text, '\n')) {
    ++number;
    if (raw.empty() || raw.front() == '#') continue;
    const std::string where = file.filename().string() + ":" + std::to_string(number);
    const std::vector<std::string> fields = split(raw, '\t');
    EXPECT_EQ(fields.size(), 8u) << where;
    if (fields.size() != 8) continue;
    CheckedRecipeLine line;
    line.line = number;
    line.name = fields[0];
    EXPECT_TRUE(made_of(line.name, name_characters)) << where << ": name " << line.name;
    EXPECT_EQ(line.name.find(".."), std::string::npos) << where;
    EXPECT_NE(line.name.front(), '/') << where;
    line.voice = fields[1];
    EXPECT_TRUE(line.voice == "-" || made_of(line.voice, kLowerAndDigits)) << where;
    EXPECT_TRUE(whole_number(fields[2], 80, 450, line.speed)) << where << ": speed " << fields[2];
    EXPECT_TRUE(whole_number(fields[3], 0, 99, line.pitch)) << where << ": pitch " << fields[3];
    EXPECT_TRUE(whole_number(fields[4], 0, 50, line.gap)) << where << ": gap " << fields[4];
    line.noise = fields[5];
    EXPECT_TRUE(line.noise == "none" || line.noise == "white" || line.noise == "pink" || line.noise == "babble")
        << where << ": noise " << line.noise;
    int snr = 0;
    EXPECT_TRUE(whole_number(fields[6], 0, 99, snr)) << where << ": snr " << fields[6];
    line.snr = snr;
    if (line.noise == "none") {
      EXPECT_EQ(fields[6], "0") << where;
    }
    const std::string& words = fields[7];
    EXPECT_FALSE(words.empty()) << where << ": no text";
    EXPECT_EQ(words.find("  "), std::string::npos) << where << ": words not separated by single blanks";
    for (const std::string& word : split(words, ' ')) {
      line.words.push_back(word == "," ? std::vector<std::string>{} : split_word(word, where));
    }
    EXPECT_FALSE(line.syllables().empty()) << where << ": says nothing";
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<CheckedCorpusLine> read_corpus_list(const std::filesystem::path& file) {
  std::vector<CheckedCorpusLine> lines;
  for (const std::string& line : content_lines(file)) {
    const std::vector<std::string> fields = split(line, '\t');
    EXPECT_EQ(fields.size(), 2u) << file << ": " << line;
    if (fields.size() != 2) continue;
    CheckedCorpusLine entry;
    entry.audio = fields[0];
    EXPECT_TRUE(std::filesystem::path(entry.audio).is_absolute()) << entry.audio;
    for (const std::string& syllable : split(fields[1], ' ')) {
      const std::vector<std::string> one = split_word(syllable, file.filename().string() + ": " + entry.audio);
      EXPECT_EQ(one.size(), 1u) << "syllables are blank-separated: " << syllable;
      entry.syllables.insert(entry.syllables.end(), one.begin(), one.end());
    }
    lines.push_back(std::move(entry));
  }
  return lines;
}

bool holds_run(const std::vector<std::string>& syllables, const std::vector<std::string>& needle) {
  return !needle.empty() &&
         std::search(syllables.begin(), syllables.end(), needle.begin(), needle.end()) != syllables.end();
}

}  // namespace kws::recipes::testing
