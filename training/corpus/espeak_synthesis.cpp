#include "corpus/espeak_synthesis.h"

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "corpus/espeak_pinyin.h"
#include "corpus/utterance_audio.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

extern char** environ;

namespace kws::corpus {
namespace {

struct ProgramRun {
  int status = -1;     // exit status; -1 when the program did not exit normally
  std::string output;  // standard output and standard error together
};

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

// Runs the program (found on PATH) with arguments, standard input empty and
// both output streams captured; nullopt with error when it cannot be started.
std::optional<ProgramRun> run_program(const std::vector<std::string>& arguments, std::string& error) {
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
    if (spawned == ENOENT) error += " (is espeak-ng installed and on the PATH?)";
    return std::nullopt;
  }
  write_end.release();  // else the read below would never see the end

  ProgramRun run;
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(read_end.fd, buffer, sizeof buffer);
    if (count > 0) {
      run.output.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      error = format_text("cannot wait for %s: %s", arguments[0].c_str(), std::strerror(errno));
      return std::nullopt;
    }
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The first line of a program's messages, for an error text.
std::string first_line(const std::string& output) {
  const std::string line = output.substr(0, output.find('\n'));
  return line.empty() ? "no message" : line;
}

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

}  // namespace

std::string espeak_input(const std::vector<TextToken>& text) {
  std::string input;
  for (const TextToken& token : text) {
    if (!input.empty()) input += ' ';
    if (token.pause) {
      input += ',';
      continue;
    }
    for (std::size_t i = 0; i < token.syllables.size(); ++i) {
      if (i > 0) input += '-';
      input += espeak_pinyin(utf8_to_big5(token.syllables[i]).value_or("")).value_or("?");
    }
  }
  return input;
}

std::optional<std::vector<std::string>> espeak_variants(std::string& error) {
  const std::optional<ProgramRun> run = run_program({kEspeakProgram, "--voices=variant"}, error);
  if (!run) return std::nullopt;
  if (run->status != 0) {
    error = format_text("%s --voices=variant failed: %s", kEspeakProgram, first_line(run->output).c_str());
    return std::nullopt;
  }
  // Lines like " 5  variant  --/M  Adam  !v/adam": the variant's name is
  // its file name in the !v folder.
  std::vector<std::string> variants;
  std::size_t start = 0;
  while (start < run->output.size()) {
    const std::size_t end = std::min(run->output.find('\n', start), run->output.size());
    const std::string line = run->output.substr(start, end - start);
    start = end + 1;
    const std::size_t file = line.find("!v/");
    if (file == std::string::npos) continue;
    const std::size_t name = file + 3;
    variants.push_back(line.substr(name, line.find_first_of(" \t", name) - name));
  }
  if (variants.empty()) {
    error = format_text("%s --voices=variant lists no variants", kEspeakProgram);
    return std::nullopt;
  }
  return variants;
}

std::optional<std::vector<float>> synthesise_speech(const EspeakVoice& voice, const std::string& text,
                                                    const std::filesystem::path& scratch_wav, std::string& error) {
  std::error_code ignored;
  std::filesystem::remove(scratch_wav, ignored);  // the last utterance's file must not pass for this one's
  const std::string voice_name = voice.variant.empty() ? kEspeakVoice : std::string(kEspeakVoice) + "+" + voice.variant;
  const std::optional<ProgramRun> run =
      run_program({kEspeakProgram, "-v", voice_name, "-s", std::to_string(voice.speed), "-p",
                   std::to_string(voice.pitch), "-g", std::to_string(voice.gap), "-w", scratch_wav.string(), text},
                  error);
  if (!run) return std::nullopt;
  if (run->status != 0) {
    error = format_text("%s failed (exit status %d): %s", kEspeakProgram, run->status, first_line(run->output).c_str());
    return std::nullopt;
  }

  SF_INFO info{};
  const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(scratch_wav.c_str(), SFM_READ, &info));
  if (!file) {
    error = format_text("%s wrote no readable WAV file: %s", kEspeakProgram, sf_strerror(nullptr));
    return std::nullopt;
  }
  if (info.channels < 1 || info.samplerate < 1 || info.frames <= 0) {
    error = format_text("%s wrote a WAV file without audio", kEspeakProgram);
    return std::nullopt;
  }
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
  const sf_count_t frames = std::max<sf_count_t>(sf_readf_float(file.get(), interleaved.data(), info.frames), 0);
  std::vector<float> mono(static_cast<std::size_t>(frames));
  for (std::size_t frame = 0; frame < mono.size(); ++frame) {
    double sum = 0.0;
    for (int channel = 0; channel < info.channels; ++channel) {
      sum += interleaved[frame * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(channel)];
    }
    mono[frame] = static_cast<float>(sum / info.channels);
  }
  std::string reason;
  std::optional<std::vector<float>> speech = speech_at_station_rate(mono, info.samplerate, reason);
  if (!speech) error = format_text("%s: %s", kEspeakProgram, reason.c_str());
  return speech;
}

}  // namespace kws::corpus
