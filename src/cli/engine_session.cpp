#include "cli/engine_session.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kws::cli {

std::shared_ptr<const LoadedData> start_engine(const Command& command, const Arguments& arguments) {
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
  if (const std::string refusal = data_directory_refusal(directory); !refusal.empty()) return fail(refusal);
  OrRefusal<std::shared_ptr<const LoadedData>> started = kws::start_engine(directory);
  if (!started) {
    show_refusal(started.refusal());
    return nullptr;
  }
  return std::move(*started);
}

std::optional<Workspace> make_workspace_or_report(const LoadedData& data) {
  OrRefusal<Workspace> workspace = make_workspace(data);
  if (!workspace) {
    show_refusal(workspace.refusal());
    return std::nullopt;
  }
  return std::move(*workspace);
}

std::shared_ptr<const Vocabulary> choose_vocabulary_or_report(const LoadedData& data, std::string_view name) {
  OrRefusal<std::shared_ptr<const Vocabulary>> chosen = choose_vocabulary(data, name);
  if (!chosen) {
    show_refusal(chosen.refusal());
    return nullptr;
  }
  return std::move(*chosen);
}

std::optional<EngineSession> start_session(const Command& command, const Arguments& arguments, std::string_view name) {
  std::shared_ptr<const LoadedData> data = start_engine(command, arguments);
  if (!data) return std::nullopt;
  std::shared_ptr<const Vocabulary> vocabulary = choose_vocabulary_or_report(*data, name);
  if (!vocabulary) return std::nullopt;
  std::optional<Workspace> workspace = make_workspace_or_report(*data);
  if (!workspace) return std::nullopt;
  return EngineSession{std::move(data), std::move(vocabulary), std::move(*workspace)};
}

}  // namespace kws::cli
