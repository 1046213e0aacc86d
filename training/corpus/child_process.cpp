#include "corpus/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/message_sink.h"

extern char** environ;

namespace kws::corpus {
namespace {

// A descriptor closed when it goes out of scope, unless released earlier.
struct FileDescriptor {
  explicit FileDescriptor(int descriptor) : fd(descriptor) {}
  ~FileDescriptor() { release(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  void release() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  int fd;
};

using Clock = std::chrono::steady_clock;

constexpr std::size_t kOutputKept = 64 * 1024;

int milliseconds_left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

std::optional<ProgramRun> run_program(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                                      std::string& error) {
  const Clock::time_point deadline = Clock::now() + limit;
  // Close-on-exec, so that children started at the same time by other
  // threads do not hold the pipe open.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    error = format_text("cannot make a pipe: %s", std::strerror(errno));
    return std::nullopt;
  }
  FileDescriptor read_end{ends[0]};
  FileDescriptor write_end{ends[1]};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, write_end.fd, 1);
  posix_spawn_file_actions_adddup2(&actions, write_end.fd, 2);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    error = format_text("cannot run %s: %s", arguments[0].c_str(), std::strerror(spawned));
    if (spawned == ENOENT) error += " (is it installed and on the PATH?)";
    return std::nullopt;
  }
  write_end.release();  // else the read below would never see the end

  const auto stop = [&] {
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    error = format_text("%s did not finish within %g s and was stopped", arguments[0].c_str(),
                        std::chrono::duration<double>(limit).count());
    return std::nullopt;
  };

  ProgramRun run;
  char buffer[4096];
  for (;;) {
    // The limit holds for a program that keeps writing as well.
    const int left = milliseconds_left(deadline);
    pollfd readable{read_end.fd, POLLIN, 0};
    const int ready = left == 0 ? 0 : poll(&readable, 1, left);
    if (ready == 0) return stop();
    if (ready < 0 && errno == EINTR) continue;
    const ssize_t count = ready < 0 ? -1 : read(read_end.fd, buffer, sizeof buffer);
    if (count > 0) {
      // Only the start is kept: messages are read for their first line.
      const std::size_t room = kOutputKept - std::min(run.output.size(), kOutputKept);
      run.output.append(buffer, std::min(static_cast<std::size_t>(count), room));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  // The output is closed; the program may still be running.
  int status = 0;
  for (;;) {
    const pid_t waited = waitpid(child, &status, WNOHANG);
    if (waited == child) break;
    if (waited < 0 && errno != EINTR) {
      error = format_text("cannot wait for %s: %s", arguments[0].c_str(), std::strerror(errno));
      return std::nullopt;
    }
    if (milliseconds_left(deadline) == 0) return stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace kws::corpus
