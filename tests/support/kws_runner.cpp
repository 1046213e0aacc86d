#include "support/kws_runner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kws::testing {
namespace {

std::string read_text(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

CommandRun run_kws(const std::string& arguments, const std::string& prefix) {
  return run_program(KWS_BINARY, arguments, prefix);
}

CommandRun run_program(const std::string& program, const std::string& arguments, const std::string& prefix) {
  // Tests run in parallel in one folder: each keeps its own output files.
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "kws";
  const auto directory = std::filesystem::current_path() / "scratch" / "output";
  std::filesystem::create_directories(directory);
  const auto out = directory / (name + ".stdout");
  const auto err = directory / (name + ".stderr");
  const std::string command =
      prefix + " " + program + " " + arguments + " >" + out.string() + " 2>" + err.string() + " </dev/null";
  CommandRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = read_text(out);
  run.err = read_text(err);
  return run;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

}  // namespace kws::testing
