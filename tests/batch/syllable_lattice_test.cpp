// The free-syllable decoding and its syllable lattice: hand-filled state-score
// tables where the path and the scores follow by hand, the three output
// files, the refusals at the table bounds, the fixed error texts, and
// kws lattice end to end on designed models with a synthesised recording.
#include "batch/syllable_lattice.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "batch/free_syllable_decoding.h"
#include "batch/syllable_lattice_tables.h"
#include "models/model_inventory.h"
#include "platform/text_encoding.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "support/kws_runner.h"
#include "support/test_vocabulary.h"
#include "support/tone_data.h"

namespace kws {
namespace {

using ::testing::ExitedWithCode;
using testing::big5;

constexpr float kGood = 0.0f;
constexpr float kBad = -10.0f;
constexpr float kUnreached = -1e29f;  // minus infinity plus a few scores

std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The lattice file's fields in order, assembled little-endian.
struct LatticeReader {
  std::uint32_t field(int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= std::uint32_t{static_cast<unsigned char>(bytes.at(at++))} << (8 * i);
    return value;
  }
  int int16() { return static_cast<std::int16_t>(field(2)); }
  float float32() { return std::bit_cast<float>(field(4)); }
  std::string bytes;
  std::size_t at = 0;
};

using Path = std::vector<std::array<int, 3>>;  // syllable, start frame, duration

// Syllables of one initial and one final model, each with one emitting state
// and log transitions of 0, so a path's score is 1.0 plus its state scores.
class SyllableLattice : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::set_uniform_models(e.data, 1);
    for (HmmModel& model : e.data.main_models.models()) {
      for (auto& row : model.log_transition) std::fill(std::begin(row), std::end(row), 0.0f);
    }
  }
  // Syllables A, B, C (indices 0..2, slots i and 112 + i) and silence (3).
  void use_three_syllables() {
    testing::build_test_vocabulary(e.vocabulary, {{"ab", {{0, 112}}}, {"cd", {{1, 113}}}, {"ef", {{2, 114}}}});
    const char* texts[] = {"ㄅㄚ", "ㄆㄚˊ", "ㄇㄚˇ", "靜音"};
    for (int i = 0; i < 4; ++i) {
      std::snprintf(e.vocabulary.levels[0].nodes[i].syllable_text, kNodeSyllableBytes, "%s", big5(texts[i]).c_str());
    }
  }
  // Both models of syllable i score value on frames first..last.
  void speak(int syllable, int first, int last, float value = kGood) {
    for (int t = first; t <= last; ++t) {
      e.work.state_scores[t][syllable].fill(value);
      e.work.state_scores[t][112 + syllable].fill(value);
    }
  }
  const SyllableLatticeRun& run() const { return *lattice_; }
  SyllableLatticeRun& lattice() { return *lattice_; }
  // Decodes; false, with the message-box text kept, when refused.
  bool decode(int frames) { return kept(decode_free_syllables(e.data, e.vocabulary, e.work, lattice(), frames)); }
  bool kept(const std::optional<Refusal>& refusal) {
    if (!refusal) return true;
    EXPECT_EQ(refusal->shown, Refusal::Shown::message_box);
    refusals.push_back(*refusal);
    return false;
  }
  Path path() const {
    Path segments;
    for (const PathSegment& s : run().path) segments.push_back({s.syllable, s.start_frame, s.duration});
    return segments;
  }

  std::unique_ptr<testing::TestEngine> owner = std::make_unique<testing::TestEngine>();
  testing::TestEngine& e = *owner;
  std::unique_ptr<SyllableLatticeRun> lattice_ = std::make_unique<SyllableLatticeRun>();
  std::vector<Refusal> refusals;
  testing::CapturingSink sink;
};

TEST_F(SyllableLattice, WeightsAreTheStepIntoEachStateAddedOnStaysToo) {
  testing::build_test_vocabulary(e.vocabulary, {{"ab", {{0, 112}}}});
  HmmModel& initial = e.data.main_models.records[0];
  HmmModel& final_model = e.data.main_models.records[112];
  // Every element but the steps s-1 -> s is a loud wrong answer.
  for (HmmModel* model : {&initial, &final_model, &e.data.main_models.records[kSilenceSlot]}) {
    for (auto& row : model->log_transition) std::fill(std::begin(row), std::end(row), -100.0f);
  }
  initial.state_count = 4;  // two emitting states
  initial.log_transition[0][1] = -0.5f;
  initial.log_transition[1][2] = -0.25f;
  initial.log_transition[2][3] = -0.125f;  // the exit
  final_model.log_transition[0][1] = -4.0f;
  final_model.log_transition[1][2] = -0.0625f;
  testing::fill_state_scores(e.work, 4, kBad);
  for (int t = 0; t < 4; ++t) {
    e.work.state_scores[t][0][1] = -1.0f;
    e.work.state_scores[t][0][2] = -2.0f;
    e.work.state_scores[t][112][1] = -8.0f;
  }
  // The silence node's slot fields point elsewhere: only slot 150 counts.
  e.vocabulary.levels[0].nodes[1].initial_model_slot = 5;
  e.data.main_models.records[kSilenceSlot].log_transition[0][1] = -0.5f;
  e.data.main_models.records[kSilenceSlot].log_transition[1][2] = -0.25f;
  e.work.state_scores[0][kSilenceSlot][1] = -2.0f;
  ASSERT_TRUE(decode(4));

  const auto& ends = run().tables.end_scores[0];
  EXPECT_LE(ends[1], kUnreached);  // three states need three frames
  // 1 + (w1 + b1) + (w2 + b2) + exit + (w + b) of the final + its exit.
  EXPECT_EQ(ends[2], 1.0f - 1.5f - 2.25f - 0.125f - 12.0f - 0.0625f);
  // The cheapest stay is the initial's first state, at w1 + b1 = -1.5.
  EXPECT_EQ(ends[3], ends[2] - 1.5f);
  // One model: the silence ends in the very first frame.
  EXPECT_EQ(run().tables.end_scores[1][0], 1.0f - 0.5f - 2.0f - 0.25f);
}

TEST_F(SyllableLattice, ASyllableOfExactlyTwelveFramesCannotEndASegment) {
  use_three_syllables();
  testing::fill_state_scores(e.work, 60, kBad);
  speak(0, 0, 19);
  speak(1, 20, 31);  // entered from frame 19: 31 - 19 = 12, not more
  speak(2, 32, 59);
  ASSERT_TRUE(decode(60));
  EXPECT_EQ(run().tables.end_scores[1][31], 1.0f);
  EXPECT_EQ(run().tables.end_start_frames[1][31], 19);
  EXPECT_NE(run().tables.best_end_syllables[31], 1);
  // B has to take one bad frame more, and C loses its first.
  EXPECT_EQ(path(), (Path{{0, 0, 19}, {1, 19, 13}, {2, 32, 27}}));

  // The final syllable obeys the same rule: T - start must exceed 12.
  testing::fill_state_scores(e.work, 13, kBad);
  speak(1, 0, 12, -1.0f);  // B everywhere better than A, both entered at 0
  ASSERT_TRUE(decode(12));
  EXPECT_EQ(path(), (Path{{0, 0, 11}}));  // nobody qualifies: syllable 0
  ASSERT_TRUE(decode(13));
  EXPECT_EQ(path(), (Path{{1, 0, 12}}));  // one syllable: T - start - 1 frames

  // A single frame: no syllable's end is reached, its start (-1) is taken
  // as frame 0, and the lattice holds the silence, the one that can end.
  ASSERT_TRUE(decode(1));
  EXPECT_EQ(path(), (Path{{0, 0, 0}}));
  build_syllable_lattice(e.data, e.vocabulary, e.work, lattice());
  EXPECT_EQ(run().lattice.at(0).at(0).syllable, 3);
}

TEST_F(SyllableLattice, TracedSegmentsAreRescoredAloneRankedAndWritten) {
  use_three_syllables();
  testing::fill_state_scores(e.work, 60, kBad);
  speak(0, 0, 19);
  speak(1, 20, 39);
  speak(2, 40, 59);
  lattice().depth = 2;
  ASSERT_TRUE(decode(60));
  // A segment starts at the frame it was entered from, the previous one's
  // last frame; the last segment lasts T - start - 1 frames.
  EXPECT_EQ(path(), (Path{{0, 0, 19}, {1, 19, 20}, {2, 39, 20}}));
  build_syllable_lattice(e.data, e.vocabulary, e.work, lattice());

  // Segment B spans frames 19..38. Entered only at frame 19, B pays for
  // that frame (1 - 10). In segment A, B, C and silence tie at -189:
  // the highest index, silence, ranks first.
  LatticeReader lattice{lattice_file_bytes(run())};
  EXPECT_EQ(lattice.int16(), 3);
  EXPECT_EQ(lattice.int16(), 19);
  EXPECT_EQ(lattice.int16(), 20);
  EXPECT_EQ(lattice.int16(), 20);
  const std::pair<int, float> ranks[3][2] = {{{0, 1.0f}, {3, -189.0f}}, {{1, -9.0f}, {0, -189.0f}}, {{2, -9.0f}, {1, -199.0f}}};
  for (const auto& segment : ranks) {
    EXPECT_EQ(lattice.int16(), 2);  // each segment carries its own depth
    for (const auto& [syllable, score] : segment) {
      EXPECT_EQ(lattice.int16(), syllable);
      EXPECT_EQ(lattice.float32(), score);
    }
  }
  EXPECT_EQ(lattice.at, lattice.bytes.size());

  const std::string ba = big5("ㄅㄚ");   // four bytes: four blanks of padding
  const std::string pa = big5("ㄆㄚˊ");  // six bytes
  ASSERT_EQ(run().report_lines.size(), 3u);
  EXPECT_EQ(run().report_lines[0], "(  0.:: 19)    " + ba + "     " + big5("靜音") + " ");
  EXPECT_EQ(run().report_lines[1], "(  1.:: 20)  " + pa + "     " + ba + " ");
  EXPECT_EQ(report_text(run()), run().report_lines[0] + "\n" + run().report_lines[1] + "\n" +
                                    run().report_lines[2] + "\n");
  EXPECT_EQ(syllable_index_text(e.vocabulary, run().syllable_count),
            "## Total Syllable number=4\n0  " + ba + "\n1  " + pa + "\n2  " + big5("ㄇㄚˇ") + "\n3  " + big5("靜音") + "\n");
}

TEST_F(SyllableLattice, FrameAndSegmentBoundsAreRefusedWithAMessage) {
  use_three_syllables();
  testing::fill_state_scores(e.work, kMaxFrames, kBad);
  EXPECT_FALSE(decode(kMaxFrames + 1));
  EXPECT_FALSE(decode(0));
  ASSERT_EQ(refusals.size(), 2u);
  EXPECT_NE(refusals[0].text.find("801 frames"), std::string::npos) << refusals[0].text;
  EXPECT_TRUE(decode(kMaxFrames));

  // Nothing reachable: every path stays at minus infinity, no syllable ever
  // qualifies, and the trace walks back a few frames at a time.
  testing::fill_state_scores(e.work, kMaxFrames, kMinusInfinity);
  EXPECT_FALSE(decode(kMaxFrames));
  ASSERT_EQ(refusals.size(), 3u);
  EXPECT_NE(refusals[2].text.find("more than 300 segments"), std::string::npos) << refusals[2].text;
  EXPECT_FALSE(refusals[2].ends_station);
  EXPECT_TRUE(run().path.empty());

  e.vocabulary.levels[0] = {};  // no vocabulary: no silence node
  EXPECT_FALSE(decode(10));
}

// The driver on real features: models of one Gaussian each, an analysis set-up.
class SyllableLatticeDriver : public SyllableLattice {
 protected:
  void SetUp() override {
    SyllableLattice::SetUp();
    ASSERT_EQ(analysis_setup(e.data.analysis), "");
    ASSERT_EQ(allocate_analysis_buffers(e.data.analysis, e.work.front_end.vectors), "");
    use_three_syllables();
    folder_ = testing::scratch_directory();
    std::filesystem::create_directories(folder_ / "dat");
  }
  LatticeFiles files_for(int samples) {
    std::string bytes(2 * static_cast<std::size_t>(samples), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) % 251);
    testing::write_file(folder_ / "rec.raw", bytes);
    return {(folder_ / "rec.raw").string(), folder_.string()};
  }

  bool run_lattice(const LatticeFiles& files) {
    const OrRefusal<LatticeOutcome> outcome = run_syllable_lattice(e.data, e.vocabulary, files, e.work, lattice());
    if (outcome) return true;
    refusals.push_back(outcome.refusal());
    return false;
  }

  std::filesystem::path folder_;
};

TEST_F(SyllableLatticeDriver, RecordingsBeyondTheSampleBufferAreRefusedAndNothingIsWritten) {
  EXPECT_FALSE(run_lattice(files_for(kSampleBufferSamples + 1)));
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_NE(refusals[0].text.find("more than the 128000"), std::string::npos) << refusals[0].text;
  EXPECT_FALSE(refusals[0].ends_station);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "news.rep"));

  EXPECT_FALSE(run_lattice(files_for(319)));
  EXPECT_NE(refusals.at(1).text.find("too few for one 320-sample frame"), std::string::npos) << refusals[1].text;
  EXPECT_FALSE(std::filesystem::exists(folder_ / "news.rep"));

  // The whole buffer is 799 frames, within every table.
  ASSERT_TRUE(run_lattice(files_for(kSampleBufferSamples)));
  EXPECT_EQ(run().frame_count, kSampleBufferSamples / 160 - 1);
  EXPECT_EQ(read_bytes(folder_ / "news.rep"), report_text(run()));
  EXPECT_EQ(read_bytes(folder_ / "dat" / "rec.dat"), lattice_file_bytes(run()));  // rec.raw cut at the "."
  EXPECT_EQ(read_bytes(folder_ / "syllable.h"), syllable_index_text(e.vocabulary, 4));

  EXPECT_EQ(lattice_name("/a.b/news.take2.wav"), "news");
  e.data.data_directory = "/station";
  EXPECT_EQ(station_lattice_files(e.data).recording, "/station/wave/n34512.wav");
  EXPECT_EQ(station_lattice_files(e.data).output_folder, "/station");
}

TEST_F(SyllableLatticeDriver, FileFailuresAreRefusedWithTheirFixedTexts) {
  const LatticeFiles files = files_for(16000);
  const auto refused = [this](const LatticeFiles& attempt) {
    EXPECT_FALSE(run_lattice(attempt));
    if (refusals.empty()) return std::string();
    EXPECT_EQ(refusals.back().shown, Refusal::Shown::message_box);
    EXPECT_TRUE(refusals.back().ends_station);
    return refusals.back().text;
  };
  EXPECT_EQ(refused({(folder_ / "missing.wav").string(), folder_.string()}), "Open source error!\n");
  EXPECT_EQ(refused({files.recording, (folder_ / "no-such-folder").string()}), "Open news.rep error!\n");
  std::filesystem::remove(folder_ / "dat");  // the lattice file cannot be created
  EXPECT_EQ(refused(files), "Open syllable.h error!\n");
  std::filesystem::create_directories(folder_ / "dat");
  std::filesystem::create_directories(folder_ / "syllable.h");  // a folder in the index file's way
  EXPECT_EQ(refused(files), "Open syllable.h error!\n");
  EXPECT_TRUE(sink.boxes.empty()) << "the caller shows them";
}

// --- kws lattice ----------------------------------------------------------

// The tone data directory with a vocabulary of its six syllables as
// one-syllable entries, so every spoken syllable is in the syllable list.
class KwsLattice : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = testing::write_tone_data_directory(testing::scratch_directory() / "data");
    std::string words;
    std::string syllables;
    int number = 1;
    for (const testing::ToneEntry& entry : testing::tone_vocabulary()) {
      for (std::size_t i = 0; i < entry.syllables.size(); ++i) {
        // Each character of the name, one per syllable.
        words += std::to_string(number++) + " " + big5(entry.name_utf8).substr(2 * i, 2) + "\n";
        syllables += big5(entry.syllables[i]) + "\n";
      }
    }
    testing::write_file(directory_ / "data" / "six.dat", words);
    testing::write_file(directory_ / "data" / "six.spl", syllables);
  }
  std::string lattice(const std::string& options) const {
    return "lattice --data " + directory_.string() + " --vocab six " + options;
  }

  std::filesystem::path directory_;
};

// The first name of each line's ranking, UTF-8.
std::vector<std::string> best_syllables(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const std::string& line : lines) {
    const std::size_t after = line.find(')') + 1;
    const std::size_t first = line.find_first_not_of(' ', after);
    names.push_back(line.substr(first, line.find(' ', first) - first));
  }
  return names;
}

TEST_F(KwsLattice, DecodesTheSpokenSyllablesInOrderAndWritesTheThreeFiles) {
  std::filesystem::create_directories(directory_ / "wave");
  testing::write_wav_file(directory_ / "wave" / "n34512.wav", testing::synthesise_entry(0));
  const testing::CommandRun run = testing::run_kws(lattice(""));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = testing::lines_of(run.out);
  EXPECT_EQ(best_syllables(lines), (std::vector<std::string>{"靜音", "ㄊㄞˊ", "ㄅㄟˇ", "靜音"})) << run.out;
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("(  0.::", 0), 0u) << lines[0];

  // news.rep holds the same lines in Big5; seven syllables, so seven ranks.
  EXPECT_EQ(big5_to_utf8(read_bytes(directory_ / "news.rep")), run.out);
  LatticeReader file{read_bytes(directory_ / "dat" / "n34512.dat")};
  EXPECT_EQ(file.int16(), 4);
  int frames = 0;
  for (int k = 0; k < 4; ++k) {
    const int duration = file.int16();
    // The spoken syllables last as long as they were synthesised.
    if (k == 1 || k == 2) {
      EXPECT_NEAR(duration, testing::kInitialFrames + testing::kFinalFrames, 2) << k;
    }
    frames += duration;
  }
  // Durations add up to T - 1: the first segment starts at frame 0.
  const int samples = static_cast<int>(std::filesystem::file_size(directory_ / "wave" / "n34512.wav") / 2);
  EXPECT_EQ(frames, samples / 160 - 2);
  EXPECT_EQ(file.int16(), 7);
  const std::string index = big5_to_utf8(read_bytes(directory_ / "syllable.h"));
  EXPECT_EQ(index.rfind("## Total Syllable number=7\n0  ㄊㄞˊ\n1  ㄅㄟˇ\n", 0), 0u) << index;
}

TEST_F(KwsLattice, AnotherRecordingAndOutputFolderAndUsageErrors) {
  const auto out = directory_.parent_path() / "out";
  const auto wave = directory_.parent_path() / "takahashi.take2.wav";
  testing::write_wav_file(wave, testing::synthesise_entry(1));
  const testing::CommandRun run = testing::run_kws(lattice("--wave " + wave.string() + " --out " + out.string()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(best_syllables(testing::lines_of(run.out)), (std::vector<std::string>{"靜音", "ㄍㄠˍ", "ㄒㄩㄥˊ", "靜音"}))
      << run.out;
  EXPECT_TRUE(std::filesystem::exists(out / "dat" / "takahashi.dat"));
  EXPECT_TRUE(std::filesystem::exists(out / "news.rep"));
  EXPECT_FALSE(std::filesystem::exists(directory_ / "news.rep"));

  const testing::CommandRun missing = testing::run_kws(lattice(""));  // no wave/n34512.wav
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Open source error!"), std::string::npos) << missing.err;

  const testing::CommandRun help = testing::run_kws("lattice --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Example:"), std::string::npos);
  EXPECT_EQ(testing::run_kws("lattice --data " + directory_.string()).status, 2);  // no --vocab
  EXPECT_EQ(testing::run_kws(lattice("extra")).status, 2);
}

}  // namespace
}  // namespace kws
