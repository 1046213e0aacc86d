#include "cli/engine_session.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kws::cli {

std::unique_ptr<RecognizerEngine> start_engine(const Command& command, const Arguments& arguments) {
  const auto fail = [&command](const std::string& message) {
    std::fprintf(stderr, "kws %.*s: %s\n", static_cast<int>(command.name.size()), command.name.data(), message.c_str());
    return nullptr;
  };
  std::string directory;
  if (const std::optional<std::string> data = arguments.value("--data")) {
    directory = *data;
  } else {
    std::error_code error;
    directory = std::filesystem::current_path(error).string();
    if (error) return fail("cannot determine the current directory: " + error.message());
  }
  auto engine = std::make_unique<RecognizerEngine>();
  if (const std::string refusal = set_data_directory(*engine, directory); !refusal.empty()) return fail(refusal);
  engine_start_up(*engine);
  return engine;
}

}  // namespace kws::cli
