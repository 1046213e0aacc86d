// kws vocab: load a vocabulary as the station does and list it with its readings.
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "platform/data_path.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws::cli {
namespace {

// The syllables of every entry as the .spl file spells them, paired with the
// words the way loading pairs them: each word takes the next byte-length / 2
// tokens, and a word the loader skips (more syllables than levels) takes its
// tokens along. The engine keeps only model names per node, whose syllable
// text may be another entry's tone variant, so the file is read again here.
std::vector<std::string> entry_readings(const std::string& data_directory, const std::string& name) {
  std::vector<std::string> readings;
  const std::string folder = "\\data\\" + name;
  std::optional<TokenReader> words = TokenReader::open(join_data_path(data_directory, folder + ".dat"));
  std::optional<TokenReader> syllables = TokenReader::open(join_data_path(data_directory, folder + ".spl"));
  if (!words || !syllables) return readings;
  while (words->next()) {
    const std::optional<std::string_view> word = words->next();
    if (!word) break;
    std::string reading;
    const std::size_t length = word->size() / 2;
    for (std::size_t i = 0; i < length; ++i) {
      const std::optional<std::string_view> syllable = syllables->next();
      if (!syllable) break;
      if (i > 0) reading += ' ';
      reading += *syllable;
    }
    if (length <= static_cast<std::size_t>(kMaxEntrySyllables)) readings.push_back(std::move(reading));
  }
  return readings;
}

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(kVocabCommand, arguments, {}, {"--data"}, exit_status);
  if (!parsed) return exit_status;
  if (parsed->positionals.size() != 1) return usage_error(kVocabCommand, "expected one vocabulary NAME");
  const std::string& name = parsed->positionals[0];

  const std::shared_ptr<const LoadedData> engine = start_engine(kVocabCommand, *parsed);
  if (!engine) return kExitFailure;
  const std::shared_ptr<const Vocabulary> loaded = choose_vocabulary_or_report(*engine, name);
  if (!loaded) {
    return kExitFailure;
  }

  const Vocabulary& vocabulary = *loaded;
  const std::vector<std::string> readings = entry_readings(engine->data_directory, name);
  for (int entry = 0; entry < vocabulary.loaded_entry_count; ++entry) {
    const std::string line = big5_to_utf8(word_list_line(vocabulary, entry));
    const auto index = static_cast<std::size_t>(entry);
    if (index < readings.size()) {
      std::printf("%s\t%s\n", line.c_str(), big5_to_utf8(readings[index]).c_str());
    } else {
      std::printf("%s\n", line.c_str());
    }
  }
  std::printf("entries: %d\n", vocabulary.loaded_entry_count);
  std::printf("level nodes:");
  for (int level = 0; level < kLexiconLevels; ++level) {
    const int count = vocabulary.levels[static_cast<std::size_t>(level)].count;
    if (count > 0) std::printf(" %d:%d/%d", level, count, level_capacity(level));
  }
  std::printf("\n");

  return kExitSuccess;
}

}  // namespace

const Command kVocabCommand = {
    "vocab",
    "load a vocabulary and list its entries with their readings",
    "Usage: kws vocab [--data DIR] NAME\n"
    "Starts the engine on the data directory DIR (default: the current directory)\n"
    "and loads the vocabulary NAME from DIR/data/NAME.dat and NAME.spl as the station\n"
    "does when NAME is chosen in its vocabulary box. Prints the station's word list,\n"
    "one line per entry (the entry number right-aligned in five characters, a blank,\n"
    "the word), each followed by a tab and the entry's tonal syllables, then the entry\n"
    "count and the node count of every level in use with the level's capacity\n"
    "(LEVEL:NODES/CAPACITY). Warnings of loading go to standard error; a data file\n"
    "that is missing, or a vocabulary over the search's capacity, exits with status 1.\n"
    "\n"
    "Example:\n"
    "  kws vocab --data data 火車系統\n",
    run,
};

}  // namespace kws::cli
