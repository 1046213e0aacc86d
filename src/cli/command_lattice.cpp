// kws lattice: the station's free-syllable decoding of a stored recording and
// its syllable lattice files.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "engine/engine.h"
#include "platform/text_encoding.h"

namespace kws::cli {
namespace {

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed =
      arguments_or_exit(kLatticeCommand, arguments, {}, {"--data", "--vocab", "--wave", "--out"}, exit_status);
  if (!parsed) return exit_status;
  if (!parsed->positionals.empty()) return usage_error(kLatticeCommand, "unexpected argument " + parsed->positionals[0]);
  const std::optional<std::string> vocabulary = parsed->value("--vocab");
  if (!vocabulary) return usage_error(kLatticeCommand, "--vocab NAME is required");

  std::optional<EngineSession> session = start_session(kLatticeCommand, *parsed, *vocabulary);
  if (!session) return kExitFailure;

  LatticeFiles files = station_lattice_files(*session->data);
  if (const std::optional<std::string> wave = parsed->value("--wave")) files.recording = *wave;
  if (const std::optional<std::string> out = parsed->value("--out")) files.output_folder = *out;
  // The station expects its dat folder to exist; here it is made on demand.
  // A folder that cannot be made shows up as the write failure of its file.
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(files.output_folder) / "dat", ignored);

  const OrRefusal<LatticeOutcome> run =
      run_syllable_lattice(*session->data, *session->vocabulary, files, session->workspace);
  if (!run) {
    show_refusal(run.refusal());
    return kExitFailure;
  }
  for (const std::string& line : run->report_lines) std::printf("%s\n", big5_to_utf8(line).c_str());
  std::fprintf(stderr,
               "kws lattice: %d frames, %d segments, %d syllables; wrote news.rep, syllable.h and dat/%s.dat in %s\n",
               run->frame_count, run->segments, run->syllable_count, lattice_name(files.recording).c_str(),
               files.output_folder.c_str());
  return kExitSuccess;
}

}  // namespace

const Command kLatticeCommand = {
    "lattice",
    "decode a stored recording as free syllables and write its syllable lattice",
    "Usage: kws lattice --data DIR --vocab NAME [--wave FILE] [--out FOLDER]\n"
    "Runs the station's large-vocabulary batch procedure: loads the vocabulary NAME,\n"
    "reads the recording (default DIR/wave/n34512.wav) whole as raw 16-bit samples,\n"
    "header bytes included, as the station does, computes features and best-Gaussian\n"
    "state scores, decodes it as a free sequence of the vocabulary's last syllables\n"
    "and silence, and ranks the 25 best syllables of every decoded segment.\n"
    "\n"
    "Prints one line per segment: (SEGMENT.::DURATION) and the ranked syllables.\n"
    "Writes into FOLDER (default: DIR): news.rep (the same lines, in Big5),\n"
    "dat/NAME.dat (the binary lattice, NAME being FILE's name cut at its first '.';\n"
    "the dat folder is created if missing) and syllable.h (the syllable list).\n"
    "A recording longer than 8 s is refused; file failures exit with status 1.\n"
    "\n"
    "Example:\n"
    "  kws lattice --data data --vocab 408syl --wave news.wav --out lattice\n",
    run,
};

}  // namespace kws::cli
