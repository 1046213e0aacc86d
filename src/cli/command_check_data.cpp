// kws check-data: start the engine on a data directory and summarise what it loaded.
#include <cstdio>
#include <memory>

#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "models/model_inventory.h"

namespace kws::cli {
namespace {

void print_model_table(const char* title, const ModelSet& set) {
  std::printf("%s: %d\n", title, set.count);
  for (int slot = 0; slot < set.count; ++slot) {
    const HmmModel& model = set.records[slot];
    const std::string_view name = inventory_name(model.model_index);
    std::printf("  %3d %-8.*s states %d  mixtures", slot, static_cast<int>(name.size()), name.data(),
                model.state_count);
    for (int state = 1; state <= model.state_count - 2 && state < kStateSlots; ++state) {
      std::printf(" %d", model.mixture_count[state]);
    }
    std::printf("\n");
  }
}

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(kCheckDataCommand, arguments, {}, {"--data"}, exit_status);
  if (!parsed) return exit_status;
  if (!parsed->positionals.empty()) return usage_error(kCheckDataCommand, "unexpected argument " + parsed->positionals[0]);

  const std::shared_ptr<const LoadedData> engine = start_engine(kCheckDataCommand, *parsed);
  if (!engine) return kExitFailure;

  std::printf("data directory: %s\n", engine->data_directory.c_str());
  print_model_table("models", engine->main_models);
  print_model_table("anti-models", engine->anti_models);

  int keywords = 0;
  for (const KeywordReferenceRecord& record : engine->keyword_references) keywords += record.keyword_count;
  std::printf("reference records: %d (%d keywords)\n", kReferenceRecords, keywords);

  int readings = 0;
  for (const CharacterReadingEntry& entry : engine->character_readings) readings += entry.character[0] != '\0';
  std::printf("reading-table entries: %d of %d\n", readings, kCharacterReadingEntries);

  return kExitSuccess;
}

}  // namespace

const Command kCheckDataCommand = {
    "check-data",
    "start the engine on a data directory and summarise what it loaded",
    "Usage: kws check-data [--data DIR]\n"
    "Runs the station's start-up on the data directory DIR (default: the current\n"
    "directory, as the station does): the anti-model file, train_index.txt, the model\n"
    "list with one HMM definition per model, and dict1.bin. Prints every model with its\n"
    "state count and the mixture count of each emitting state, the anti-models, the\n"
    "reference records and the reading-table entries. A start-up failure prints its\n"
    "message on standard error and exits with status 1.\n"
    "\n"
    "Example:\n"
    "  kws check-data --data data\n",
    run,
};

}  // namespace kws::cli
