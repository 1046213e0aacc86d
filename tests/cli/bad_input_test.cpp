// Input a user or a damaged disk may hand the programs: each is answered with
// a message and a failing status, or read as it is, and never crashes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/token_reader.h"
#include "support/fixture_data.h"
#include "support/kws_runner.h"
#include "support/tone_data.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using testing::CommandRun;
using testing::lines_of;

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (const char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testing::scratch_directory();
    data_ = testing::write_tone_data_directory(folder_ / "data");
    testing::write_wav_file(folder_ / "entry.wav", testing::synthesise_entry(0));
  }

  CommandRun kws(const std::string& arguments) const { return testing::run_kws(arguments); }
  CommandRun spot(const std::string& arguments) const {
    return kws("spot --data " + quoted(data_.string()) + " --vocab tones " + arguments);
  }

  fs::path folder_;
  fs::path data_;
};

// Where a file should be: a directory, a file whose reading fails (the
// process's own memory from address 0), or one without read permission
// (which root reads anyway, so that case runs only for other users).
TEST_F(BadInput, UnreadableFilesAreRefusedAsMissingOnesAndEmptyOnesLoadEmpty) {
  enum class Damage { directory, read_error, no_permission };
  const auto damage = [](const fs::path& file, Damage how) {
    fs::rename(file, file.string() + ".kept");
    if (how == Damage::directory) fs::create_directory(file);
    if (how == Damage::read_error) fs::create_symlink("/proc/self/mem", file);
    if (how == Damage::no_permission) {
      fs::copy_file(file.string() + ".kept", file);
      fs::permissions(file, fs::perms::none);
    }
  };
  const auto repair = [](const fs::path& file) {
    fs::remove(file);
    fs::rename(file.string() + ".kept", file);
  };
  const bool permissions_count = ::geteuid() != 0;

  const std::vector<std::pair<std::string, std::string>> data_files = {
      {"rcdmodel", "Open file models error!\n"},
      {"rcdhmm/anti0630.hmm", "Open file man.hmm error!\n"},
      {"train_index.txt", "Open train_index.txt error!\n"},
      {"dict1.bin", "Open File Table read error !!\n"},
      {"model/bsl/a", "Open HMM " + (data_ / "model/bsl/a").string() + " error!\n"}};
  for (const Damage how : {Damage::directory, Damage::read_error, Damage::no_permission}) {
    if (how == Damage::no_permission && !permissions_count) continue;
    SCOPED_TRACE(static_cast<int>(how));
    for (const auto& [file, message] : data_files) {
      damage(data_ / file, how);
      const CommandRun run = kws("check-data --data " + data_.string());
      EXPECT_EQ(run.status, 1) << file;
      EXPECT_EQ(run.err, message) << file;
      repair(data_ / file);
    }
    damage(data_ / "data/tones.spl", how);
    const CommandRun vocabulary = kws("vocab --data " + data_.string() + " tones");
    EXPECT_EQ(vocabulary.status, 1);
    EXPECT_EQ(vocabulary.err, "Open File Data.spl error !!\n");
    repair(data_ / "data/tones.spl");
  }
  EXPECT_EQ(kws("check-data --data " + data_.string()).status, 0);

  // An empty data file loads as one holding nothing: what it would have held
  // stays empty, and recognition runs on what there is.
  for (const auto& [file, message] : data_files) {
    fs::rename(data_ / file, data_ / (file + ".kept"));
    testing::write_file(data_ / file, "");
    EXPECT_EQ(kws("check-data --data " + data_.string()).status, 0) << file;
    EXPECT_EQ(spot((folder_ / "entry.wav").string()).status, 0) << file;
    repair(data_ / file);
  }

  // A recording, raw samples and a training corpus list that are directories.
  fs::create_directory(folder_ / "take.wav");
  const CommandRun recording = spot((folder_ / "take.wav").string() + " " + (folder_ / "entry.wav").string());
  EXPECT_EQ(recording.status, 1);
  EXPECT_EQ(recording.err, "kws spot: cannot read " + (folder_ / "take.wav").string() + ": it is a directory\n");
  EXPECT_EQ(lines_of(recording.out).size(), 2U) << "the next recording is still spotted";
  EXPECT_EQ(kws("features --raw " + (folder_ / "take.wav").string()).status, 1);
  fs::create_directory(folder_ / "list.txt");
  const CommandRun training = testing::run_program(
      KWS_TRAIN_BINARY, "--out " + (folder_ / "out").string() + " " + (folder_ / "list.txt").string());
  EXPECT_EQ(training.status, 1);
  EXPECT_EQ(training.err, "kws-train: cannot read the corpus list " + (folder_ / "list.txt").string() + "\n");
  testing::write_file(folder_ / "empty.txt", "");
  const CommandRun empty = testing::run_program(
      KWS_TRAIN_BINARY, "--out " + (folder_ / "out").string() + " " + (folder_ / "empty.txt").string());
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("kws-train: no usable utterance"), std::string::npos) << empty.err;
}

TEST_F(BadInput, RecordingsThatAreNotAudioAreNamedAndTheOthersStillSpotted) {
  const std::string wav_header = read_file_bytes((folder_ / "entry.wav").string()).value_or("").substr(0, 44);
  ASSERT_EQ(wav_header.size(), 44U);
  testing::write_file(folder_ / "empty.wav", "");
  testing::write_file(folder_ / "text.wav", "1 台北\n2 高雄\n");
  testing::write_file(folder_ / "cut.wav", wav_header.substr(0, 30));
  std::string noise(3001, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + 13) % 251);
  testing::write_file(folder_ / "noise.wav", noise);
  std::string files;
  for (const char* name : {"empty.wav", "text.wav", "cut.wav", "noise.wav", "missing.wav", "entry.wav"}) {
    files += " " + (folder_ / name).string();
  }
  const CommandRun spotted = spot(files);
  EXPECT_EQ(spotted.status, 1);
  const std::vector<std::string> errors = lines_of(spotted.err);
  ASSERT_EQ(errors.size(), 5U) << spotted.err;
  for (const std::string& error : errors) EXPECT_EQ(error.rfind("kws spot: cannot read ", 0), 0U) << error;
  EXPECT_NE(errors[4].find("No such file or directory"), std::string::npos) << errors[4];
  const std::vector<std::string> lines = lines_of(spotted.out);
  ASSERT_EQ(lines.size(), 2U) << spotted.out;
  EXPECT_EQ(lines[1].substr(0, lines[1].find('\t')), testing::tone_vocabulary()[0].name_utf8);

  // Raw samples of an odd byte length: the last byte is no sample.
  testing::write_file(folder_ / "odd.raw", std::string(3201, '\x10'));
  EXPECT_EQ(lines_of(kws("features --raw " + (folder_ / "odd.raw").string()).out).at(0), "frames 9");

  // Huge: a header that claims 4 GB over a few samples, and 10 minutes of
  // digital silence; both end with the file, in bounded memory.
  std::string claims = wav_header;
  claims.replace(4, 4, "\xF0\xFF\xFF\xFF");
  claims.replace(40, 4, "\x00\xFF\xFF\xFF", 4);
  testing::write_file(folder_ / "claims.wav", claims + std::string(40000, '\x01'));
  testing::write_wav_file(folder_ / "long.wav", std::vector<std::int16_t>(16000 * 600, 0));
  const CommandRun huge = spot((folder_ / "claims.wav").string() + " " + (folder_ / "long.wav").string());
  EXPECT_EQ(huge.status, 0) << huge.err;
  EXPECT_EQ(huge.out, (folder_ / "claims.wav").string() + "\n" + (folder_ / "long.wav").string() + "\n");
}

// The vocabulary files are Big5: UTF-8 ones read as other characters whose
// readings the table does not have, and a name cut inside a character stops
// loading where it is.
TEST_F(BadInput, VocabularyFilesInTheWrongEncodingOrCutInsideACharacter) {
  testing::write_file(data_ / "data/utf8.dat", "1 台北\n2 高雄\n");
  testing::write_file(data_ / "data/utf8.spl", "ㄊㄞˊ ㄅㄟˇ\nㄍㄠˍ ㄒㄩㄥˊ\n");
  const CommandRun utf8 = kws("vocab --data " + data_.string() + " utf8");
  EXPECT_EQ(utf8.status, 0) << utf8.err;
  const std::vector<std::string> boxes = lines_of(utf8.err);
  ASSERT_GE(boxes.size(), 2U) << utf8.err;
  EXPECT_EQ(boxes[0], "Map Error");
  EXPECT_NE(boxes.back().find("loading stops there"), std::string::npos) << utf8.err;

  testing::write_file(data_ / "data/cut.dat", "1 \xA5\x78\xA5\n");  // 台 and half a character
  fs::copy_file(data_ / "data/tones.spl", data_ / "data/cut.spl");
  const CommandRun cut = kws("vocab --data " + data_.string() + " cut");
  EXPECT_EQ(cut.status, 0);
  EXPECT_NE(cut.err.find("has an odd byte length 3; loading stops there."), std::string::npos) << cut.err;
  EXPECT_NE(cut.out.find("entries: 0"), std::string::npos) << cut.out;

  testing::write_file(data_ / "data/empty.dat", "");
  testing::write_file(data_ / "data/empty.spl", "");
  const CommandRun empty = kws("spot --data " + data_.string() + " --vocab empty " + (folder_ / "entry.wav").string());
  EXPECT_EQ(empty.status, 0);
  EXPECT_NE(empty.err.find("refused: the vocabulary has no entries"), std::string::npos) << empty.err;
}

TEST_F(BadInput, OddFileNamesAreReadAndReportedAsGiven) {
  const std::vector<std::string> names = {
      "with blank.wav", "quote\"and'apostrophe.wav", "new\nline.wav", "台北.wav", "latin1\xE9.wav", "-dash.wav"};
  std::string arguments = "--json --";
  for (const std::string& name : names) {
    fs::copy_file(folder_ / "entry.wav", folder_ / name);
    arguments += " " + quoted((folder_ / name).string());
  }
  const CommandRun run = spot(arguments);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), names.size()) << run.out;
  const std::string prefix = "{\"file\":\"" + folder_.string() + "/";
  const std::vector<std::string> shown = {"with blank.wav", "quote\\\"and'apostrophe.wav", "new\\nline.wav",
                                          "台北.wav",       "latin1\xEF\xBF\xBD.wav",      "-dash.wav"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(prefix + shown[i] + "\",", 0), 0U) << lines[i];
    EXPECT_NE(lines[i].find(testing::tone_vocabulary()[0].name_utf8), std::string::npos) << lines[i];
  }
  // Plain output names a file as given, byte for byte.
  const CommandRun plain = spot("-- " + quoted((folder_ / names[4]).string()));
  EXPECT_EQ(lines_of(plain.out).at(0), (folder_ / names[4]).string());
}

}  // namespace
}  // namespace kws
