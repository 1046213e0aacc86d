// kws syllables and kws decompose: the syllable inventory and its sub-syllable models.
#include <cstdio>

#include "cli/command_line.h"
#include "lexicon/syllable_decomposition.h"
#include "lexicon/syllable_table.h"
#include "platform/text_encoding.h"

namespace kws::cli {
namespace {

int run_syllables(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(kSyllablesCommand, arguments, {}, {}, exit_status);
  if (!parsed) return exit_status;
  if (!parsed->positionals.empty()) return usage_error(kSyllablesCommand, "unexpected argument " + parsed->positionals[0]);
  for (int row = 0; row < kSyllableCount; ++row) {
    std::printf("%d\t%s\n", row, big5_to_utf8(syllable_text(row)).c_str());
  }
  return kExitSuccess;
}

const char* or_dash(const std::string& name) { return name.empty() ? "-" : name.c_str(); }

int run_decompose(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(kDecomposeCommand, arguments, {}, {}, exit_status);
  if (!parsed) return exit_status;
  if (parsed->positionals.empty()) return usage_error(kDecomposeCommand, "expected at least one syllable");
  for (const std::string& syllable : parsed->positionals) {
    const std::optional<std::string> big5 = utf8_to_big5(syllable);
    if (!big5) {
      std::fprintf(stderr, "kws decompose: '%s' cannot be written in Big5\n", syllable.c_str());
      std::printf("%s\t-\t-\n", syllable.c_str());
      exit_status = kExitFailure;
      continue;
    }
    const SyllableModels models = decompose_syllable(*big5);
    std::printf("%s\t%s\t%s\n", syllable.c_str(), or_dash(models.initial_model), or_dash(models.final_model));
  }
  return exit_status;
}

}  // namespace

const Command kSyllablesCommand = {
    "syllables",
    "list the 1333 tonal syllables the recognizer knows",
    "Usage: kws syllables\n"
    "Prints one line per row of the syllable table, ROW<TAB>SYLLABLE, the row\n"
    "(the syllable number stored in dict1.bin) counted from 0 and the tonal Zhuyin\n"
    "syllable in UTF-8. The first tone is always written with the mark ˍ.\n"
    "\n"
    "Example:\n"
    "  kws syllables | grep 'ㄅㄚ'\n",
    run_syllables,
};

const Command kDecomposeCommand = {
    "decompose",
    "show the initial and final model of tonal syllables",
    "Usage: kws decompose SYLLABLE...\n"
    "Prints one line per argument, SYLLABLE<TAB>INITIAL<TAB>FINAL: the names of the\n"
    "initial model (dependent on the class of the following vowel) and of the final\n"
    "model. '-' stands for a name the rules do not produce. Write each syllable in\n"
    "Zhuyin with its tone mark (ˍ ˙ ˊ ˇ ˋ).\n"
    "\n"
    "Example:\n"
    "  kws decompose ㄅㄢˇ ㄐㄩㄝˊ ㄓˋ\n",
    run_decompose,
};

}  // namespace kws::cli
