// kws: the keyword-spotting engine without a window.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/message_sink.h"

namespace kws::cli {
namespace {

constexpr std::array<const Command*, 11> kCommands = {
    &kSpotCommand,  &kListenCommand,    &kDevicesCommand,  &kBatchCommand,     &kEvaluateCommand, &kLatticeCommand,
    &kVocabCommand, &kCheckDataCommand, &kFeaturesCommand, &kSyllablesCommand, &kDecomposeCommand};

void print_overview(std::FILE* stream) {
  std::fputs(
      "Usage: kws COMMAND [OPTIONS] [ARGUMENTS]\n"
      "Mandarin keyword spotting without a window.\n\nCommands:\n",
      stream);
  for (const Command* command : kCommands) {
    std::fprintf(stream, "  %-12.*s %.*s\n", static_cast<int>(command->name.size()), command->name.data(),
                 static_cast<int>(command->summary.size()), command->summary.data());
  }
  std::fputs("\nRun 'kws COMMAND --help' for a command's options and an example.\n", stream);
}

}  // namespace
}  // namespace kws::cli

int main(int argc, char** argv) {
  using namespace kws::cli;
  // Standard output carries results only; the engine's console lines and
  // message boxes go to standard error.
  static kws::StreamSink sink(stderr, stderr, true);
  kws::install_message_sink(&sink);

  if (argc < 2) {
    print_overview(stderr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    print_overview(stdout);
    return kExitSuccess;
  }
  for (const Command* command : kCommands) {
    if (command->name == name) {
      const std::vector<std::string> arguments(argv + 2, argv + argc);
      return command->run(arguments);
    }
  }
  std::fprintf(stderr, "kws: unknown command '%s'\n\n", name.c_str());
  print_overview(stderr);
  return kExitUsage;
}
