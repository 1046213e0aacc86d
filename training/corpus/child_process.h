// Running a helper program (espeak-ng) as a child process with an argument
// vector, no shell, and a time limit.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kws::corpus {

struct ProgramRun {
  int status = -1;     // exit status; -1 when the program did not exit normally
  std::string output;  // standard output and standard error together, the first 64 KiB
};

// Runs the program (found on PATH) with arguments, standard input empty and
// both output streams captured. nullopt with error when it cannot be started,
// or when it has not finished within the time limit: it is then killed, so a
// hung helper cannot stall a long synthesis run.
std::optional<ProgramRun> run_program(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                                      std::string& error);

}  // namespace kws::corpus
