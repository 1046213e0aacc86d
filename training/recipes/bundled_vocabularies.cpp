#include "recipes/bundled_vocabularies.h"

#include <algorithm>
#include <system_error>

#include "lexical_data/reading_data.h"
#include "lexicon/syllable_table.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws::recipes {
namespace {

std::vector<std::string> tokens_of(std::string_view text) {
  std::vector<std::string> tokens;
  TokenReader reader{std::string(text)};
  while (const std::optional<std::string_view> token = reader.next()) tokens.emplace_back(*token);
  return tokens;
}

}  // namespace

std::optional<lexical_data::Vocabulary> parse_bundled_vocabulary(std::string name, std::string_view dat,
                                                                 std::string_view spl, std::string& error) {
  const std::vector<std::string> words = tokens_of(dat);
  const std::vector<std::string> syllables = tokens_of(spl);
  if (words.size() % 2 != 0) {
    error = name + ".dat: a number without its word at the end";
    return std::nullopt;
  }
  lexical_data::Vocabulary vocabulary;
  vocabulary.name = std::move(name);
  std::size_t next = 0;
  for (std::size_t i = 1; i < words.size(); i += 2) {
    const std::string& word = words[i];
    const std::optional<std::vector<std::string>> characters = lexical_data::split_hanzi(word);
    if (!characters) {
      error = vocabulary.name + ".dat: \"" + big5_to_utf8(word) + "\" is not a word of Big5 hanzi";
      return std::nullopt;
    }
    lexical_data::VocabularyEntry entry;
    entry.name = word;
    for (std::size_t k = 0; k < characters->size(); ++k, ++next) {
      const int row = next < syllables.size() ? syllable_number_of(syllables[next]) : -1;
      if (row < 0) {
        const std::string problem = next < syllables.size() ? format_text("\"%s\" is no syllable of the table",
                                                                          big5_to_utf8(syllables[next]).c_str())
                                                            : std::string("runs out of syllables");
        error = format_text("%s.spl: %s (word \"%s\")", vocabulary.name.c_str(), problem.c_str(),
                            big5_to_utf8(word).c_str());
        return std::nullopt;
      }
      entry.syllables.push_back(row);
    }
    vocabulary.entries.push_back(std::move(entry));
  }
  if (next != syllables.size()) {
    error = vocabulary.name + ".spl: more syllables than the words of " + vocabulary.name + ".dat have characters";
    return std::nullopt;
  }
  return vocabulary;
}

std::optional<std::vector<lexical_data::Vocabulary>> read_bundled_vocabularies(const std::filesystem::path& data_folder,
                                                                               std::string& error) {
  const std::filesystem::path folder = data_folder / "data";
  std::vector<std::string> names;
  std::error_code code;
  for (const auto& item : std::filesystem::directory_iterator(folder, code)) {
    if (item.path().extension() == ".dat") names.push_back(item.path().stem().string());
  }
  if (code) {
    error = "cannot list " + folder.string() + ": " + code.message();
    return std::nullopt;
  }
  std::sort(names.begin(), names.end());
  std::vector<lexical_data::Vocabulary> vocabularies;
  for (const std::string& name : names) {
    const std::optional<std::string> dat = read_file_bytes((folder / (name + ".dat")).string());
    const std::optional<std::string> spl = read_file_bytes((folder / (name + ".spl")).string());
    if (!dat || !spl) {
      error = "cannot read " + (folder / (name + (dat ? ".spl" : ".dat"))).string();
      return std::nullopt;
    }
    std::optional<lexical_data::Vocabulary> vocabulary = parse_bundled_vocabulary(name, *dat, *spl, error);
    if (!vocabulary) return std::nullopt;
    vocabularies.push_back(std::move(*vocabulary));
  }
  if (vocabularies.empty()) {
    error = "no vocabulary (NAME.dat) in " + folder.string();
    return std::nullopt;
  }
  return vocabularies;
}

const lexical_data::Vocabulary* find_vocabulary(const std::vector<lexical_data::Vocabulary>& vocabularies,
                                                std::string_view name) {
  for (const lexical_data::Vocabulary& vocabulary : vocabularies) {
    if (vocabulary.name == name) return &vocabulary;
  }
  return nullptr;
}

}  // namespace kws::recipes
