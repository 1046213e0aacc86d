// kws-lexical-data: writes the lexical half of the data directory from the
// chewing reading data.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "lexical_data/lexical_data.h"

namespace {

constexpr char kUsage[] =
    "Usage: kws-lexical-data [--lists DIR] [--overrides FILE] CHEWING_DIR DATA_DIR\n"
    "Writes DATA_DIR/dict1.bin (character reading table), DATA_DIR/qorphone.tbl (phone\n"
    "table) and one DATA_DIR/data/NAME.dat and NAME.spl pair per vocabulary, from\n"
    "word.csv and tsi.big5.src in CHEWING_DIR (the chewing reading data). Every name\n"
    "list NAME.txt in the lists folder becomes vocabulary NAME; 408syl and 408syllable\n"
    "come from the phone table. Prints, per vocabulary, where its readings came from\n"
    "and the node count of each level. The same inputs always give the same bytes.\n"
    "\n"
    "  --lists DIR       name lists (default: the source tree's training/vocabularies)\n"
    "  --overrides FILE  reviewed readings (default: training/reading_overrides.txt)\n"
    "\n"
    "Example:\n"
    "  kws-lexical-data ../shared/data/chewing data\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "kws-lexical-data: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  kws::lexical_data::GeneratorOptions options;
  options.lists_folder = KWS_TRAINING_SOURCE_DIR "/vocabularies";
  options.overrides_file = KWS_TRAINING_SOURCE_DIR "/reading_overrides.txt";
  std::vector<std::string> positionals;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--lists" || argument == "--overrides") {
      if (i + 1 >= argc) return usage_error(std::string(argument) + " needs a value");
      (argument == "--lists" ? options.lists_folder : options.overrides_file) = argv[++i];
    } else if (argument.starts_with("--")) {
      return usage_error("unknown option " + std::string(argument));
    } else {
      positionals.emplace_back(argument);
    }
  }
  if (positionals.size() != 2) return usage_error("expected CHEWING_DIR and DATA_DIR");
  options.chewing_folder = positionals[0];
  options.output_folder = positionals[1];

  std::string error;
  const std::optional<kws::lexical_data::GeneratorReport> report =
      kws::lexical_data::generate_lexical_data(options, error);
  if (!report) {
    std::fprintf(stderr, "kws-lexical-data: %s\n", error.c_str());
    return 1;
  }
  std::fputs(kws::lexical_data::report_text(*report).c_str(), stdout);
  return 0;
}
