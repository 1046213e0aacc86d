// Runs the kws command as a user would: the real binary, its exit status and
// both output streams.
#pragma once

#include <string>
#include <vector>

namespace kws::testing {

struct CommandRun {
  int status = -1;  // exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs kws with arguments (shell-quoted where needed), standard input empty;
// prefix, if any, is written before the binary (environment settings, a
// command such as timeout that runs it).
CommandRun run_kws(const std::string& arguments, const std::string& prefix = "");

// The same for another program of the build, given by its path.
CommandRun run_program(const std::string& program, const std::string& arguments, const std::string& prefix = "");

std::vector<std::string> lines_of(const std::string& text);

}  // namespace kws::testing
