// The engine as the subcommands that need data start it. These are the kws
// command's edge: a refusal is shown here, as the station shows it, and the
// subcommand ends with status 1.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "cli/command_line.h"
#include "engine/engine.h"

namespace kws::cli {

// Records --data (default: the current directory, as the station does) as the
// data directory and runs the engine's start-up on it. nullptr, after the
// message, when the data directory cannot be used or start-up refuses.
std::shared_ptr<const LoadedData> start_engine(const Command& command, const Arguments& arguments);

// A workspace, or nothing after the message.
std::optional<Workspace> make_workspace_or_report(const LoadedData& data);

// The vocabulary, or nullptr after its refusal is shown.
std::shared_ptr<const Vocabulary> choose_vocabulary_or_report(const LoadedData& data, std::string_view name);

// What a subcommand that runs passes over one vocabulary needs.
struct EngineSession {
  std::shared_ptr<const LoadedData> data;
  std::shared_ptr<const Vocabulary> vocabulary;
  Workspace workspace;
};

// Start-up, the vocabulary called name and a workspace; nothing after the
// message of whichever failed.
std::optional<EngineSession> start_session(const Command& command, const Arguments& arguments, std::string_view name);

}  // namespace kws::cli
