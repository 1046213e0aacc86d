// End-to-end tests of kws-synth: the real binary on short recipes.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/fixture_data.h"
#include "support/kws_runner.h"

namespace kws::corpus {
namespace {

namespace fs = std::filesystem;
using testing::CommandRun;
using testing::lines_of;

// Three short utterances, one of each kind of noise but pink, one in a sub-folder.
constexpr char kRecipe[] =
    "# name\tvoice\tspeed\tpitch\tgap\tnoise\tsnr\ttext\n"
    "clean/a\t-\t200\t50\t0\tnone\t0\tㄊㄞˊㄅㄟˇ\n"
    "\n"
    "b\tf2\t220\t60\t5\twhite\t10\tㄋㄧˇ , ㄏㄠˇ\n"
    "c\tm1\t200\t40\t0\tbabble\t5\tㄍㄠˍㄒㄩㄥˊ\n";

bool espeak_installed() { return std::system("command -v espeak-ng >/dev/null 2>&1") == 0; }

std::string read_text(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs kws-synth in folder with arguments, after the environment settings in
// environment (e.g. "PATH=..."), capturing both streams.
CommandRun synth(const fs::path& folder, const std::string& arguments, const std::string& environment = "") {
  const std::string command = "cd '" + folder.string() + "' && " + environment + " " KWS_SYNTH_BINARY " " +
                              arguments + " >stdout.txt 2>stderr.txt </dev/null";
  const int raw = std::system(command.c_str());
  CommandRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = read_text(folder / "stdout.txt");
  run.err = read_text(folder / "stderr.txt");
  return run;
}

struct WavFile {
  SF_INFO info{};
  std::vector<short> samples;
};

WavFile read_wav(const fs::path& path) {
  WavFile wav;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wav.info);
  if (file == nullptr) {
    ADD_FAILURE() << "cannot read " << path;
    return wav;
  }
  wav.samples.resize(static_cast<std::size_t>(wav.info.frames));
  sf_read_short(file, wav.samples.data(), wav.info.frames);
  sf_close(file);
  return wav;
}

double rms(const std::vector<short>& samples, std::size_t begin, std::size_t end) {
  double sum = 0.0;
  for (std::size_t i = begin; i < end; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return std::sqrt(sum / static_cast<double>(end - begin));
}

TEST(SynthCommand, WritesTheSameCorpusWhateverTheJobs) {
  if (!espeak_installed()) GTEST_SKIP() << "espeak-ng is not installed";
  const fs::path folder = testing::scratch_directory();
  testing::write_file(folder / "recipe.txt", kRecipe);

  const CommandRun one = synth(folder, "--jobs 1 recipe.txt one");
  ASSERT_EQ(one.status, 0) << one.err;
  const CommandRun two = synth(folder, "--jobs=2 recipe.txt two");
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_NE(two.err.find("3/3 utterances"), std::string::npos) << two.err;
  EXPECT_EQ(lines_of(read_text(folder / "one/corpus.txt")),
            (std::vector<std::string>{"clean/a.wav\tㄊㄞˊ ㄅㄟˇ", "b.wav\tㄋㄧˇ ㄏㄠˇ", "c.wav\tㄍㄠˍ ㄒㄩㄥˊ"}));
  for (const char* file : {"corpus.txt", "clean/a.wav", "b.wav", "c.wav"}) {
    EXPECT_EQ(read_text(folder / "one" / file), read_text(folder / "two" / file)) << file;
  }
  EXPECT_FALSE(fs::exists(folder / "one/corpus.txt.partial"));

  for (const char* file : {"clean/a.wav", "b.wav", "c.wav"}) {
    const WavFile wav = read_wav(folder / "one" / file);
    EXPECT_EQ(wav.info.samplerate, 16000) << file;
    EXPECT_EQ(wav.info.channels, 1) << file;
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << file;
    // Two syllables at a brisk pace between 0.3 and 0.9 s of padding.
    EXPECT_GT(wav.samples.size(), 16000u * 6 / 10) << file;
    EXPECT_LT(wav.samples.size(), 16000u * 25 / 10) << file;
  }
  // The clean one: quiet but not digital zero in the first and last 150 ms.
  const WavFile clean = read_wav(folder / "one/clean/a.wav");
  const std::size_t edge = 2400, length = clean.samples.size();
  const double speech = rms(clean.samples, edge, length - edge);
  for (const double quiet : {rms(clean.samples, 0, edge), rms(clean.samples, length - edge, length)}) {
    EXPECT_GT(quiet, 0.5);
    EXPECT_GT(20.0 * std::log10(speech / quiet), 35.0);
  }

  // Another seed, other padding and noise.
  testing::write_file(folder / "clean.txt", "clean/a\t-\t200\t50\t0\tnone\t0\tㄊㄞˊㄅㄟˇ\n");
  ASSERT_EQ(synth(folder, "--seed 2 clean.txt seed2").status, 0);
  EXPECT_NE(read_text(folder / "seed2/clean/a.wav"), read_text(folder / "one/clean/a.wav"));
}

TEST(SynthCommand, RefusesABadRecipeNamingItsLine) {
  const fs::path folder = testing::scratch_directory();
  testing::write_file(folder / "recipe.txt", std::string(kRecipe) + "d\t-\t200\t50\t0\tnone\t0\tㄊㄞ\n");
  const CommandRun run = synth(folder, "recipe.txt out");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("kws-synth: recipe.txt:6: word 'ㄊㄞ' does not end in a tone mark"), std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(folder / "out/corpus.txt"));

  EXPECT_EQ(synth(folder, "--jobs 0 recipe.txt out").status, 2);
  EXPECT_EQ(synth(folder, "--seed -3 recipe.txt out").status, 2);
  EXPECT_EQ(synth(folder, "recipe.txt").status, 2);
  const CommandRun help = synth(folder, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Example:"), std::string::npos);
}

TEST(SynthCommand, NamesTheUtteranceWhenEspeakFailsAndLeavesNoCorpusList) {
  const fs::path folder = testing::scratch_directory();
  testing::write_file(folder / "recipe.txt", "clean/a\t-\t200\t50\t0\tnone\t0\tㄊㄞˊㄅㄟˇ\n"
                                             "b\tf2\t220\t60\t5\twhite\t10\tㄋㄧˇ , ㄏㄠˇ\n");
  // A stand-in that lists two variants and then fails to speak.
  testing::write_file(folder / "bin/espeak-ng",
                      "#!/bin/sh\n"
                      "case \"$1\" in --voices=*)\n"
                      "  printf ' 5  variant  --/M  m1  !v/m1\\n 5  variant  --/F  female2  !v/f2\\n'; exit 0;;\n"
                      "esac\n"
                      "echo 'no voice today' >&2\nexit 3\n");
  fs::permissions(folder / "bin/espeak-ng", fs::perms::owner_all);
  testing::write_file(folder / "out/corpus.txt", "from an earlier run\n");

  const CommandRun failing = synth(folder, "--jobs 1 recipe.txt out", "PATH=\"$PWD/bin:/usr/bin:/bin\"");
  EXPECT_EQ(failing.status, 1);
  EXPECT_NE(failing.err.find("utterance clean/a (recipe line 1): espeak-ng failed (exit status 3): no voice today"),
            std::string::npos) << failing.err;
  EXPECT_FALSE(fs::exists(folder / "out/corpus.txt"));

  testing::write_file(folder / "m2.txt", "u\tm2\t200\t50\t0\tnone\t0\tㄧˍ\n");
  const CommandRun unknown_voice = synth(folder, "m2.txt out", "PATH=\"$PWD/bin:/usr/bin:/bin\"");
  EXPECT_EQ(unknown_voice.status, 1);
  EXPECT_NE(unknown_voice.err.find("m2.txt:1: voice 'm2' is no variant of espeak-ng"), std::string::npos)
      << unknown_voice.err;

  fs::create_directories(folder / "empty");
  const CommandRun missing = synth(folder, "recipe.txt out", "PATH=\"$PWD/empty\"");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot run espeak-ng"), std::string::npos) << missing.err;
}

TEST(SynthCommand, NamesTheUtteranceItCannotWrite) {
  if (!espeak_installed()) GTEST_SKIP() << "espeak-ng is not installed";
  const fs::path folder = testing::scratch_directory();
  testing::write_file(folder / "recipe.txt", "taken/a\t-\t200\t50\t0\tnone\t0\tㄧˍ\n");
  testing::write_file(folder / "out/taken", "a file where the folder should be\n");
  const CommandRun run = synth(folder, "recipe.txt out");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("utterance taken/a (recipe line 1): cannot create folder"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace kws::corpus
