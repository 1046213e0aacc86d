#include "corpus/child_process.h"

#include <gtest/gtest.h>

namespace kws::corpus {
namespace {

using std::chrono::milliseconds;

TEST(ChildProcess, CapturesBothStreamsAndTheExitStatus) {
  std::string error;
  const auto run = run_program({"sh", "-c", "echo out; echo err >&2; exit 3"}, milliseconds(10000), error);
  ASSERT_TRUE(run) << error;
  EXPECT_EQ(run->status, 3);
  EXPECT_EQ(run->output, "out\nerr\n");
}

TEST(ChildProcess, AHungProgramIsStoppedAtTheLimit) {
  std::string error;
  const auto started = std::chrono::steady_clock::now();
  // Silent with its output open, silent with its output closed, talkative.
  for (const char* script : {"sleep 30", "exec >/dev/null 2>&1; sleep 30", "yes"}) {
    EXPECT_FALSE(run_program({"sh", "-c", script}, milliseconds(300), error));
    EXPECT_EQ(error, "sh did not finish within 0.3 s and was stopped") << script;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
}

TEST(ChildProcess, KeepsOnlyTheStartOfALongOutput) {
  std::string error;
  const auto run = run_program({"sh", "-c", "echo first; head -c 1000000 /dev/zero"}, milliseconds(10000), error);
  ASSERT_TRUE(run) << error;
  EXPECT_EQ(run->status, 0);
  EXPECT_EQ(run->output.size(), 64u * 1024u);
  EXPECT_TRUE(run->output.starts_with("first\n"));
}

TEST(ChildProcess, AMissingProgramIsReported) {
  std::string error;
  EXPECT_FALSE(run_program({"kws-no-such-program"}, milliseconds(1000), error));
  EXPECT_EQ(error, "cannot run kws-no-such-program: No such file or directory (is it installed and on the PATH?)");
}

}  // namespace
}  // namespace kws::corpus
