// The engine as the subcommands that need data start it.
#pragma once

#include <memory>

#include "cli/command_line.h"
#include "engine/recognizer_engine.h"

namespace kws::cli {

// Records --data (default: the current directory, as the station does) as the
// data directory and runs the engine's start-up on it; start-up failures end
// the process with their messages. nullptr, after a message, when the data
// directory cannot be used.
std::unique_ptr<RecognizerEngine> start_engine(const Command& command, const Arguments& arguments);

}  // namespace kws::cli
