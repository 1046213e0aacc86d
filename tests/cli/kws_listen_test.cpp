// kws listen and the long-recording path of kws spot, end to end on the
// bundled data directory: sentences synthesised with pauses between them go
// in as the microphone, the utterances and their keywords come out. The real
// sound-device back-end is exercised through an ALSA PCM that reads a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/audio_file.h"
#include "support/fixture_data.h"
#include "support/kws_runner.h"
#include "support/tone_data.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using testing::CommandRun;
using testing::lines_of;

const std::string kData = KWS_DATA_DIR;

// Three sentences naming one station each: 台北, 板橋, 桃園.
constexpr char kRecipe[] =
    "u1\tf2\t170\t50\t5\tnone\t0\tㄨㄛˇ ㄧㄠˋ ㄑㄩˋ ㄊㄞˊㄅㄟˇ\n"
    "u2\tm1\t170\t50\t5\tnone\t0\tㄇㄧㄥˊㄊㄧㄢˍ ㄉㄠˋ ㄅㄢˇㄑㄧㄠˊ\n"
    "u3\tf2\t170\t50\t5\tnone\t0\tㄑㄧㄥˇ ㄨㄣˋ ㄊㄠˊㄩㄢˊ ㄗㄞˋ ㄋㄚˇㄌㄧˇ\n";
const std::vector<std::string> kStations = {"台北", "板橋", "桃園"};

class KwsListen : public ::testing::Test {
 protected:
  // The sentences, each after a second of room, in the test's own folder
  // (ctest runs the tests at once).
  void SetUp() override {
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "espeak-ng is not installed: no sentences to listen to";
    }
    folder_ = testing::scratch_directory();
    std::ofstream(folder_ / "recipe.txt") << kRecipe;
    const std::string command =
        "cd '" + folder_.string() + "' && " KWS_SYNTH_BINARY " --jobs 2 recipe.txt out >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "kws-synth failed";
    std::vector<std::int16_t> samples;
    for (unsigned u = 1; u <= 3; ++u) {
      const std::vector<std::int16_t> pause = testing::room_noise(16000, u, 20);
      samples.insert(samples.end(), pause.begin(), pause.end());
      const LoadedAudio sentence = load_audio_file((folder_ / "out" / ("u" + std::to_string(u) + ".wav")).string());
      ASSERT_TRUE(sentence.ok()) << sentence.error;
      samples.insert(samples.end(), sentence.samples.begin(), sentence.samples.end());
      if (u == 1) first_sentence_ = samples;
    }
    const std::vector<std::int16_t> pause = testing::room_noise(16000, 4, 20);
    samples.insert(samples.end(), pause.begin(), pause.end());
    sentences_ = folder_ / "sentences.wav";
    testing::write_wav_file(sentences_, samples);
  }

  // The keyword lines of an output, in order.
  static std::vector<std::string> keyword_lines(const std::string& out) {
    std::vector<std::string> keywords;
    for (const std::string& line : lines_of(out)) {
      if (line.find('\t') != std::string::npos) keywords.push_back(line);
    }
    return keywords;
  }
  static std::string name_of(const std::string& keyword_line) {
    return keyword_line.substr(0, keyword_line.find('\t'));
  }

  fs::path folder_;
  fs::path sentences_;
  std::vector<std::int16_t> first_sentence_;
};

TEST_F(KwsListen, FindsEachSentenceAndItsStationAndSpotCutsTheSameWay) {
  const CommandRun listen =
      testing::run_kws("listen --data " + kData + " --vocab 火車系統 --audio-in file-fast:" + sentences_.string());
  ASSERT_EQ(listen.status, 0) << listen.err;
  // Each utterance's keywords include its station.
  std::vector<std::vector<std::string>> utterances;
  for (const std::string& line : lines_of(listen.out)) {
    if (line.rfind("# utterance ", 0) == 0) {
      utterances.emplace_back();
    } else if (!utterances.empty()) {
      utterances.back().push_back(name_of(line));
    }
  }
  ASSERT_EQ(utterances.size(), 3u) << listen.out;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NE(std::find(utterances[i].begin(), utterances[i].end(), kStations[i]), utterances[i].end()) << listen.out;
  }
  const std::vector<std::string> keywords = keyword_lines(listen.out);
  const std::vector<std::string> statuses = lines_of(listen.err);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), "測靜音中...");
  EXPECT_EQ(statuses.back(), "等待輸入指令...");

  // The recording is longer than 8 s: kws spot cuts it as live capture
  // does, and counts the frames from the start of the file as listen does.
  const CommandRun spot = testing::run_kws("spot --data " + kData + " --vocab 火車系統 " + sentences_.string());
  ASSERT_EQ(spot.status, 0) << spot.err;
  EXPECT_EQ(lines_of(spot.out).front(), sentences_.string());
  EXPECT_EQ(keyword_lines(spot.out), keywords);
}

// PortAudio through ALSA: a PCM of type file whose input is a recording (the
// room, then the first sentence), over the null PCM. Every capture opens the
// device afresh and so hears the recording from its start.
TEST_F(KwsListen, ThePortAudioBackEndHearsTheSentence) {
  const fs::path home = folder_ / "alsa-home";
  fs::create_directories(home);
  const fs::path input = home / "input.raw";
  {
    std::ofstream raw(input, std::ios::binary);
    for (const std::int16_t sample : first_sentence_) {
      const auto value = static_cast<std::uint16_t>(sample);
      raw.put(static_cast<char>(value & 0xFF)).put(static_cast<char>(value >> 8));
    }
  }
  std::ofstream(home / ".asoundrc") << "pcm.kwsfile {\n  type file\n  slave.pcm \"null\"\n  file \""
                                    << (home / "played.raw").string() << "\"\n  infile \"" << input.string()
                                    << "\"\n  format \"raw\"\n}\n";
  const std::string environment = "HOME='" + home.string() + "'";
  const CommandRun devices = testing::run_kws("devices", environment);
  if (devices.out.find("kwsfile") == std::string::npos) {
    GTEST_SKIP() << "PortAudio does not list the ALSA file device:\n" << devices.out << devices.err;
  }

  const fs::path dump = home / "debug.pcm";
  const CommandRun listen = testing::run_kws(
      "listen --data " + kData + " --vocab 火車系統 --audio-in portaudio:kwsfile --utterances 1 --dump " + dump.string(),
      environment);
  EXPECT_EQ(listen.status, 0) << listen.err;
  const std::vector<std::string> keywords = keyword_lines(listen.out);
  ASSERT_FALSE(keywords.empty()) << listen.out << listen.err;
  EXPECT_EQ(name_of(keywords.front()), kStations[0]);
  EXPECT_EQ(lines_of(listen.err).back(), "等待輸入指令...");
  const auto dumped = fs::file_size(dump);
  EXPECT_GT(dumped, 0u);
  EXPECT_EQ(dumped % 3200, 0u);
}

// Ctrl-C, at whatever point it comes, ends kws listen with status 0 and a
// dump of whole blocks. (In the foreground, timeout signals kws alone; else it
// signals its whole group too, and a second Ctrl-C ends the process at once.)
TEST_F(KwsListen, CtrlCStopsListeningCleanly) {
  const fs::path dump = folder_ / "debug.pcm";
  const CommandRun listen = testing::run_kws(
      "listen --data " + kData + " --vocab 火車系統 --audio-in file:" + sentences_.string() + " --dump " + dump.string(),
      "timeout --foreground -s INT --preserve-status 3");
  EXPECT_EQ(listen.status, 0) << listen.err;
  if (fs::exists(dump)) {
    EXPECT_EQ(fs::file_size(dump) % 3200, 0u);
  }
}

}  // namespace
}  // namespace kws
