// End-to-end tests of the kws command: the real binary, run as a user would.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/fixture_data.h"
#include "support/kws_runner.h"
#include "support/tone_data.h"

namespace kws {
namespace {

using testing::CommandRun;
using testing::lines_of;

CommandRun kws(const std::string& arguments) { return testing::run_kws(arguments); }

TEST(KwsCommand, SyllablesListsTheWholeTableInUtf8) {
  const CommandRun run = kws("syllables");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 1333u);
  EXPECT_EQ(lines[0], "0\tㄅㄚˍ");
  EXPECT_EQ(lines[35], "35\tㄅㄧㄝˍ");
  EXPECT_EQ(lines[1332], "1332\tㄩˋ");
}

TEST(KwsCommand, DecomposeMarksNamesTheRulesDoNotProduce) {
  const CommandRun run = kws("decompose ㄅㄢˇ ㄓˋ ㄟˋ ㄙㄟˍ");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "ㄅㄢˇ\tb_a\ten\nㄓˋ\tj_empt\tempt1\nㄟˋ\t-\t-\nㄙㄟˍ\ts_ee\tei\n");
}

TEST(KwsCommand, FeaturesOfARecordingAndOfItsRawBytes) {
  const auto directory = testing::scratch_directory();
  std::vector<short> samples(16000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>((i * 37) % 2000 - 1000);
  testing::write_wav_file(directory / "tone.wav", samples);

  const CommandRun run = kws("features " + (directory / "tone.wav").string());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 1u + 99u);  // 16000 / 160 - 1 frames
  EXPECT_EQ(lines[0], "frames 99");
  std::istringstream row(lines[1]);
  std::vector<float> values;
  for (float value; row >> value;) values.push_back(value);
  EXPECT_EQ(values.size(), 24u);
  EXPECT_EQ(lines[1].find("  "), std::string::npos);  // single blanks

  // Raw: the 44-byte header is read as 22 samples too.
  const CommandRun raw = kws("features --raw " + (directory / "tone.wav").string());
  ASSERT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(lines_of(raw.out)[0], "frames 99");  // (16000 + 22) / 160 - 1
  EXPECT_NE(raw.out, run.out);
}

TEST(KwsCommand, FeaturesConvertOtherRatesWithANoteAndSilenceIsZero) {
  const auto directory = testing::scratch_directory();
  testing::write_wav_file(directory / "silence.wav", std::vector<std::int16_t>(4000, 0), 8000);
  const CommandRun run = kws("features " + (directory / "silence.wav").string());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("converted from 8000 Hz"), std::string::npos) << run.err;
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines[0], "frames 49");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream row(lines[i]);
    for (float value; row >> value;) ASSERT_EQ(value, 0.0f) << "frame " << i - 1;
  }
}

TEST(KwsCommand, CheckDataSummarisesTheDataDirectory) {
  const auto directory = testing::write_fixture_data_directory(testing::scratch_directory() / "data");
  const CommandRun run = kws("check-data --data " + directory.string());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("models: 153\n"), std::string::npos);
  EXPECT_NE(run.out.find("  150 sil      states 5  mixtures 4 4 4\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("anti-models: 60\n"), std::string::npos);
  EXPECT_NE(run.out.find("reference records: 50 (51 keywords)\n"), std::string::npos);
  EXPECT_NE(run.out.find("reading-table entries: 5 of 14065\n"), std::string::npos);
}

TEST(KwsCommand, StartUpFailuresExitWithStatusOneAndTheirMessage) {
  const auto directory = testing::write_fixture_data_directory(testing::scratch_directory() / "data");
  const auto check_without = [&](const char* file) {
    const auto saved = directory / "saved";
    std::filesystem::rename(directory / file, saved);
    const CommandRun run = kws("check-data --data " + directory.string());
    std::filesystem::rename(saved, directory / file);
    EXPECT_EQ(run.status, 1) << file;
    EXPECT_EQ(run.out, "") << file;
    return run.err;
  };
  EXPECT_EQ(check_without("rcdmodel"), "Open file models error!\n");        // a console line
  EXPECT_EQ(check_without("train_index.txt"), "Open train_index.txt error!\n");  // a message box
  EXPECT_EQ(check_without("dict1.bin"), "Open File Table read error !!\n");  // after a key (none comes)
}

TEST(KwsCommand, UsageErrorsExitWithStatusTwoAndHelpWithZero) {
  EXPECT_EQ(kws("").status, 2);
  EXPECT_EQ(kws("frobnicate").status, 2);
  EXPECT_EQ(kws("features").status, 2);
  EXPECT_EQ(kws("features --bogus x.wav").status, 2);
  EXPECT_EQ(kws("decompose").status, 2);
  EXPECT_EQ(kws("check-data --data").status, 2);
  EXPECT_EQ(kws("features missing.wav").status, 1);
  for (const char* command : {"--help", "syllables --help", "decompose --help", "features --help", "check-data --help"}) {
    const CommandRun run = kws(command);
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.out.find("Usage: kws"), std::string::npos) << command;
  }
}

// Designed models, synthesised recordings: the keyword pass must find the
// spoken entry, accept it, and place it where it was spoken.
class KwsSpot : public ::testing::Test {
 protected:
  // Each test writes its own data directory: ctest runs the tests in parallel.
  void SetUp() override {
    directory_ = testing::write_tone_data_directory(testing::scratch_directory() / "data");
    for (int entry = 0; entry < 3; ++entry) {
      testing::write_wav_file(recording(entry), testing::synthesise_entry(entry));
    }
  }

  std::filesystem::path recording(int entry) const {
    return directory_ / ("entry" + std::to_string(entry) + ".wav");
  }
  std::string spot(const std::string& options, const std::string& files) const {
    return "spot --data " + directory_.string() + " --vocab tones " + options + " " + files;
  }

  std::filesystem::path directory_;
};

TEST_F(KwsSpot, FindsEachSpokenEntryWhereItWasSpoken) {
  const std::string files = recording(0).string() + " " + recording(1).string() + " " + recording(2).string();
  const CommandRun run = kws(spot("", files));
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 6u) << run.out;
  const int first_frame = testing::kLeadingQuietFrames;
  const int last_frame = first_frame + 2 * (testing::kInitialFrames + testing::kFinalFrames) - 1;
  for (int entry = 0; entry < 3; ++entry) {
    EXPECT_EQ(lines[2 * entry], recording(entry).string());
    std::istringstream keyword(lines[2 * entry + 1]);
    std::string name;
    int start = 0;
    int end = 0;
    std::getline(keyword, name, '\t');
    keyword >> start >> end;
    EXPECT_EQ(name, testing::tone_vocabulary()[entry].name_utf8);
    EXPECT_NEAR(start, first_frame, 3) << lines[2 * entry + 1];
    EXPECT_NEAR(end, last_frame, 6) << lines[2 * entry + 1];
  }
}

TEST_F(KwsSpot, DetailsAndJsonShowEveryResult) {
  const CommandRun details = kws(spot("--details --results 2", recording(1).string()));
  ASSERT_EQ(details.status, 0) << details.err;
  const auto lines = lines_of(details.out);
  ASSERT_EQ(lines.size(), 2u + 2u * 6u) << details.out;
  EXPECT_EQ(lines[2].rfind(" 1. (接受) 高雄  ", 0), 0u) << lines[2];
  EXPECT_EQ(lines[8].rfind(" 2. (拒絕) ", 0), 0u) << lines[8];

  const CommandRun json = kws(spot("--json", recording(1).string()));
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(lines_of(json.out).size(), 1u);
  EXPECT_NE(json.out.find("\"status\":\"recognised\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"accepted\":[{\"name\":\"高雄\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"times_ms\":{\"forward\":"), std::string::npos) << json.out;
}

TEST_F(KwsSpot, RefusedAndUnreadableRecordingsAreReportedAndTheRestGoesOn) {
  const auto too_short = directory_ / "short.wav";
  testing::write_wav_file(too_short, std::vector<std::int16_t>(6400, 0));
  const auto offset = directory_ / "offset.wav";
  testing::write_wav_file(offset, std::vector<std::int16_t>(16000, 600));
  const CommandRun run = kws(spot("--json", too_short.string() + " missing.wav " + offset.string() + " " +
                                                recording(2).string()));
  EXPECT_EQ(run.status, 1);  // one file could not be read
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_NE(lines[0].find("\"reason\":\"the recording is 0.4 s or shorter\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("DC offset"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("新竹"), std::string::npos) << lines[2];
  EXPECT_NE(run.err.find("missing.wav"), std::string::npos) << run.err;
}

TEST_F(KwsSpot, RecordingsLongerThanTheSampleBufferAreCutIntoUtterances) {
  // Three entries with 1.5 s of quiet after each: 10.8 s.
  std::vector<std::int16_t> samples;
  for (int entry = 0; entry < 3; ++entry) {
    const std::vector<std::int16_t> spoken = testing::synthesise_entry(entry, 200);
    samples.insert(samples.end(), spoken.begin(), spoken.end());
  }
  const auto long_recording = directory_ / "long.wav";
  testing::write_wav_file(long_recording, samples);
  // The recording starts with speech: the room is calibrated on its own recording.
  const auto room = directory_ / "room.wav";
  testing::write_wav_file(room, std::vector<std::int16_t>(samples.end() - 16000, samples.end()));
  const CommandRun run = kws(spot("--noise " + room.string(), long_recording.string()));
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0], long_recording.string());
  const int entry_frames = static_cast<int>(samples.size() / 3 / 160);
  for (int entry = 0; entry < 3; ++entry) {
    std::istringstream keyword(lines[static_cast<std::size_t>(entry) + 1]);
    std::string name;
    int start = 0;
    std::getline(keyword, name, '\t');
    keyword >> start;
    EXPECT_EQ(name, testing::tone_vocabulary()[static_cast<std::size_t>(entry)].name_utf8);
    // Counted from the start of the whole recording.
    EXPECT_NEAR(start, entry * entry_frames + testing::kLeadingQuietFrames, 3) << lines[entry + 1];
  }

  // A long recording of digital silence has no utterance.
  const auto silence = directory_ / "silence.wav";
  testing::write_wav_file(silence, std::vector<std::int16_t>(128001, 0));
  const CommandRun quiet = kws(spot("", silence.string()));
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, silence.string() + "\n");
  EXPECT_EQ(kws(spot("--results 0", recording(0).string())).status, 2);
  EXPECT_EQ(kws("spot --data " + directory_.string() + " " + recording(0).string()).status, 2);
}

}  // namespace
}  // namespace kws
