// The keyword batch test: scoring candidates against the reference records,
// running totals and their texts, a whole run over 50 synthesised recordings
// with designed models, the oversized and missing recordings, and kws batch.
#include "batch/keyword_batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <tuple>

#include "engine/engine.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "support/kws_runner.h"
#include "support/tone_data.h"

namespace kws {
namespace {

using testing::big5;

KeywordReferenceRecord record_of(const std::vector<std::string>& keywords) {
  KeywordReferenceRecord record{};
  record.keyword_count = static_cast<std::int16_t>(keywords.size());
  for (std::size_t k = 0; k < keywords.size(); ++k) {
    std::strncpy(record.keywords[k], keywords[k].c_str(), kKeywordFieldBytes - 1);
  }
  return record;
}

std::vector<AcceptedKeyword> candidates_of(const std::vector<std::string>& names) {
  std::vector<AcceptedKeyword> candidates;
  for (const std::string& name : names) candidates.push_back({name, 0, 0});
  return candidates;
}

TEST(KeywordBatchScoring, EachCandidateCountsOnceByExactBytes) {
  // A keyword listed twice still gives one detection per matching candidate,
  // and a repeated candidate is detected again.
  KeywordReferenceRecord record = record_of({big5("台北"), big5("台北"), big5("高雄")});
  ReferenceScore score = score_against_reference(record, candidates_of({big5("台北"), big5("新竹"), big5("台北")}));
  EXPECT_EQ(score.candidate_detected, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(score.detected, 2);
  EXPECT_EQ(score.false_alarms, 1);

  // Big5 trail bytes may be ASCII letters: A4 41 and A4 61 differ only in "case".
  const std::string nineteen(19, 'k');
  record = record_of({"abc", "\xA4\x41", nineteen});
  score = score_against_reference(
      record, candidates_of({"ABC", "abc ", "ab", "\xA4\x61", "\xA4\x41", nineteen, nineteen + "k"}));
  EXPECT_EQ(score.candidate_detected, (std::vector<bool>{false, false, false, false, true, true, false}));
  EXPECT_EQ(score.detected, 2);
  EXPECT_EQ(score.false_alarms, 5);
}

TEST(KeywordBatchScoring, RatesComeFromTheRunningTotalsAndZeroDenominatorsShowNotApplicable) {
  const std::vector<std::string> empty = batch_statistics_lines("tr1_1.wav", {}, record_of({}), {}, 0);
  EXPECT_EQ(empty[8], "Detection Rate=  n/a");  // as wide as " 0.00"
  EXPECT_EQ(empty[9], "FalseAlarmRate=  n/a");
  EXPECT_EQ(batch_rate_text(1, 8), " 0.12");  // printf rounds the exact half to even

  // File 1: both references found. File 2: nothing spoken, 台北 reported:
  // false, though detected in file 1. File 3: its one reference missed.
  KeywordBatchTotals totals;
  const KeywordReferenceRecord first = record_of({big5("台北"), big5("高雄")});
  add_to_totals(totals, first, score_against_reference(first, candidates_of({big5("高雄"), big5("台北")})), 2);
  const KeywordReferenceRecord second = record_of({});
  const ReferenceScore false_alarm = score_against_reference(second, candidates_of({big5("台北")}));
  EXPECT_EQ(false_alarm.candidate_detected, std::vector<bool>{false});
  add_to_totals(totals, second, false_alarm, 1);
  const KeywordReferenceRecord third = record_of({big5("新竹")});
  const ReferenceScore missed = score_against_reference(third, {});
  add_to_totals(totals, third, missed, 0);
  EXPECT_EQ(
      batch_statistics_lines("tr1_3.wav", totals, third, missed, 0),
      (std::vector<std::string>{"tr1_3.wav", "*******************************", "Total_KWs=3", "Accepted_KWs=3",
                                "Detected_KWs=2", "False_KWs=1", "LocalKWs=1 Cands=0 Detected:0",
                                "-----------------------------", "Detection Rate= 0.67", "FalseAlarmRate= 0.33"}));
}

TEST(KeywordBatchScoring, CandidateLinesIndentOneBlankPerWholeTenFrames) {
  const std::string name = big5("新竹");
  EXPECT_EQ(batch_candidate_line({name, 9, 40}), name);
  EXPECT_EQ(batch_candidate_line({name, 10, 40}), " " + name);
  EXPECT_EQ(batch_candidate_line({name, 129, 200}), std::string(12, ' ') + name);
}

// What file n of the synthesised set holds and what its record lists.
struct PlannedFile {
  std::vector<int> spoken;              // tone-vocabulary entries, in order
  std::vector<std::string> references;  // UTF-8
};

std::string entry_name(int entry) { return testing::tone_vocabulary()[static_cast<std::size_t>(entry)].name_utf8; }

// Every tenth file is quiet with an empty record; files 5, 15, ... hold two
// entries; file 3 lists its keyword twice; file 7's record names a keyword
// other than the one spoken; the rest hold one entry and list it.
PlannedFile planned_file(int n) {
  if (n % 10 == 0) return {};
  if (n % 10 == 5) {
    const int first = (n / 10) % 3;
    const int second = (first + 1) % 3;
    return {{first, second}, {entry_name(first), entry_name(second)}};
  }
  const int entry = (n - 1) % 3;
  if (n == 3) return {{entry}, {entry_name(entry), entry_name(entry)}};
  if (n == 7) return {{entry}, {entry_name((entry + 1) % 3)}};
  return {{entry}, {entry_name(entry)}};
}

std::vector<std::int16_t> planned_samples(const PlannedFile& file) {
  std::vector<std::int16_t> samples;
  if (file.spoken.empty()) {
    // 2 s of the quiet that surrounds the synthesised entries.
    const std::vector<std::int16_t> entry = testing::synthesise_entry(0);
    const auto quiet = entry.begin() + testing::kLeadingQuietFrames * 160;
    for (int i = 0; i < 4; ++i) samples.insert(samples.end(), entry.begin(), quiet);
    return samples;
  }
  for (const int entry : file.spoken) {
    const std::vector<std::int16_t> part = testing::synthesise_entry(entry, 20);
    samples.insert(samples.end(), part.begin(), part.end());
  }
  return samples;
}

// A tone data directory with the 50 recordings of set 1 and their records.
std::filesystem::path write_batch_data(const std::filesystem::path& root) {
  const auto directory = testing::write_tone_data_directory(root);
  std::filesystem::create_directories(directory / "wave");
  std::string index;
  for (int n = 1; n <= kBatchTestFiles; ++n) {
    const PlannedFile file = planned_file(n);
    testing::write_wav_file(directory / "wave" / ("tr1_" + std::to_string(n) + ".wav"), planned_samples(file));
    index.append(std::to_string(n)).append(" ").append(std::to_string(file.references.size()));
    for (const std::string& keyword : file.references) index.append(" ").append(big5(keyword));
    index.append("\n");
  }
  testing::write_file(directory / "train_index.txt", index);
  return directory;
}

class RecordingObserver final : public KeywordBatchObserver {
 public:
  void file_started(int file_number, std::string_view short_name) override {
    started.emplace_back(file_number, std::string(short_name));
  }
  void file_finished(const KeywordBatchFileReport& report) override {
    EXPECT_EQ(started.size(), reports.size() + 1) << "finished before started";
    reports.push_back(report);
  }

  std::vector<std::pair<int, std::string>> started;
  std::vector<KeywordBatchFileReport> reports;
};

class KeywordBatchRun : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = write_batch_data(testing::scratch_directory() / "data");
    OrRefusal<std::shared_ptr<const LoadedData>> started = start_engine(directory_.string());
    ASSERT_TRUE(started) << started.refusal().text;
    data_ = *started;
    OrRefusal<std::shared_ptr<const Vocabulary>> chosen = choose_vocabulary(*data_, "tones");
    ASSERT_TRUE(chosen) << chosen.refusal().text;
    vocabulary_ = *chosen;
    OrRefusal<Workspace> workspace = make_workspace(*data_);
    ASSERT_TRUE(workspace);
    workspace_.emplace(std::move(*workspace));
  }

  OrRefusal<KeywordBatchSummary> run(KeywordBatchObserver& observer) {
    return run_keyword_batch_test(*data_, *vocabulary_, 1, batch_pass_options(), observer, *workspace_);
  }

  std::filesystem::path recording(int n) const { return directory_ / "wave" / ("tr1_" + std::to_string(n) + ".wav"); }

  testing::CapturingSink sink_;
  std::filesystem::path directory_;
  std::shared_ptr<const LoadedData> data_;
  std::shared_ptr<const Vocabulary> vocabulary_;
  std::optional<Workspace> workspace_;
};

TEST_F(KeywordBatchRun, FindsTheSpokenKeywordsAndKeepsRunningTotals) {
  RecordingObserver observer;
  const OrRefusal<KeywordBatchSummary> run_summary = run(observer);
  ASSERT_TRUE(run_summary);
  const KeywordBatchSummary& summary = *run_summary;
  ASSERT_EQ(observer.reports.size(), 50u);
  KeywordBatchTotals expected;
  for (int n = 1; n <= kBatchTestFiles; ++n) {
    const KeywordBatchFileReport& report = observer.reports[static_cast<std::size_t>(n) - 1];
    SCOPED_TRACE(report.short_name);
    EXPECT_EQ(observer.started[static_cast<std::size_t>(n) - 1], std::make_pair(n, report.short_name));
    EXPECT_EQ(report.short_name, "tr1_" + std::to_string(n) + ".wav");
    const PlannedFile file = planned_file(n);
    ASSERT_EQ(report.candidates.size(), file.spoken.size());
    // Candidates come best score first; in time they follow the spoken order.
    std::vector<BatchCandidate> in_time = report.candidates;
    std::ranges::sort(in_time, {}, [](const BatchCandidate& c) { return c.keyword.start_frame; });
    for (std::size_t i = 0; i < file.spoken.size(); ++i) {
      EXPECT_EQ(in_time[i].keyword.name, big5(entry_name(file.spoken[i])));
      EXPECT_EQ(in_time[i].detected, n != 7);
    }
    const auto detected = static_cast<int>(n == 7 ? 0 : file.spoken.size());
    expected.total = static_cast<std::int16_t>(expected.total + file.references.size());
    expected.accepted = static_cast<std::int16_t>(expected.accepted + file.spoken.size());
    expected.detected = static_cast<std::int16_t>(expected.detected + detected);
    EXPECT_EQ(std::tie(report.totals.total, report.totals.accepted, report.totals.detected),
              std::tie(expected.total, expected.accepted, expected.detected));
    EXPECT_EQ(report.statistics_lines[2], "Total_KWs=" + std::to_string(expected.total));
  }
  // File 3 lists its keyword twice: one detection of two references.
  EXPECT_EQ(observer.reports[2].statistics_lines[6], "LocalKWs=2 Cands=1 Detected:1");
  EXPECT_EQ(observer.reports[6].statistics_lines[9], "FalseAlarmRate= 0.12");  // 1 of 8 candidates
  EXPECT_EQ(std::tie(summary.files, summary.totals.total, summary.totals.accepted, summary.totals.false_alarms),
            std::make_tuple(50, std::int16_t{51}, std::int16_t{50}, std::int16_t{1}));
  EXPECT_TRUE(sink_.lines.empty());

  // File 2 (高雄 alone): the indented candidate and six detail lines for each
  // of the three displayed results, the accepted one first.
  const KeywordBatchFileReport& report = observer.reports[1];
  const AcceptedKeyword& keyword = report.candidates[0].keyword;
  EXPECT_NEAR(keyword.start_frame, testing::kLeadingQuietFrames, 3);
  EXPECT_EQ(report.candidate_lines, std::vector<std::string>{batch_candidate_line(keyword)});
  ASSERT_EQ(report.detail_lines.size(), 18u);
  EXPECT_EQ(report.detail_lines[0].rfind(big5(" 1. (接受) 高雄  "), 0), 0u) << report.detail_lines[0];
  EXPECT_EQ(report.detail_lines[6].rfind(big5(" 2. (拒絕) "), 0), 0u);
  // The whole file is analysed, header included.
  EXPECT_EQ(report.sample_count, static_cast<std::int32_t>(std::filesystem::file_size(recording(2)) / 2));
}

TEST_F(KeywordBatchRun, ARecordingLongerThanTheSampleBufferIsCutToEightSeconds) {
  // 台北, then quiet up to 9.1 s.
  testing::write_wav_file(recording(1), testing::synthesise_entry(0, 800));
  RecordingObserver observer;
  ASSERT_TRUE(run(observer));
  const KeywordBatchFileReport& report = observer.reports[0];
  EXPECT_TRUE(report.truncated);
  EXPECT_EQ(report.sample_count, kSampleBufferSamples);
  ASSERT_EQ(report.candidates.size(), 1u);
  EXPECT_TRUE(report.candidates[0].detected);
  ASSERT_EQ(sink_.lines.size(), 1u);
  EXPECT_NE(sink_.lines[0].find("tr1_1.wav: 145622 samples"), std::string::npos) << sink_.lines[0];
  EXPECT_NE(sink_.lines[0].find("only the first 8 s are used"), std::string::npos);
  EXPECT_FALSE(observer.reports[1].truncated);
}

TEST_F(KeywordBatchRun, AMissingRecordingIsRefusedNamingItAfterTheFilesBefore) {
  std::filesystem::remove(recording(2));
  RecordingObserver observer;
  const OrRefusal<KeywordBatchSummary> summary = run(observer);
  ASSERT_FALSE(summary);
  EXPECT_EQ(summary.refusal().text, "Cannot open test recording " + recording(2).string() + "\n");
  EXPECT_EQ(summary.refusal().shown, Refusal::Shown::console);
  EXPECT_EQ(observer.reports.size(), 1u);
  EXPECT_TRUE(sink_.lines.empty()) << "the caller shows it";
}

// kws batch, the real binary. Skipped until the command is registered.
class KwsBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    const testing::CommandRun help = testing::run_kws("batch --help");
    if (help.status != 0) GTEST_SKIP() << "kws batch is not registered: " << help.err;
    directory_ = write_batch_data(testing::scratch_directory() / "data");
  }

  std::string batch(const std::string& options) const {
    return "batch --data " + directory_.string() + " --vocab tones " + options;
  }

  std::filesystem::path directory_;
};

TEST_F(KwsBatch, ReportsEveryFileAndASummaryInTextAndJson) {
  const testing::CommandRun text = testing::run_kws(batch(""));
  ASSERT_EQ(text.status, 0) << text.err;
  const auto lines = testing::lines_of(text.out);
  ASSERT_EQ(lines.size(), 50u * 10u + 5u) << text.out;
  EXPECT_EQ(lines[490], "tr1_50.wav");
  EXPECT_EQ(lines[501], "Total_KWs=51 Accepted_KWs=50 Detected_KWs=49 False_KWs=1");
  EXPECT_EQ(lines[502], "Detection Rate= 0.96");
  EXPECT_EQ(lines[503], "FalseAlarmRate= 0.02");
  EXPECT_EQ(lines[504].rfind("Processing time "), 0u) << lines[504];
  EXPECT_NE(lines[504].find("s of audio: "), std::string::npos) << lines[504];
  EXPECT_NE(lines[504].find(" times real time"), std::string::npos) << lines[504];
  const auto progress = testing::lines_of(text.err);
  ASSERT_EQ(progress.size(), 50u) << text.err;
  EXPECT_EQ(progress[6], "kws batch: file 7 of 50 (tr1_7.wav): detection rate 0.78, false-alarm rate 0.12");

  const testing::CommandRun json = testing::run_kws(batch("--json"));
  ASSERT_EQ(json.status, 0) << json.err;
  const auto objects = testing::lines_of(json.out);
  ASSERT_EQ(objects.size(), 51u);
  EXPECT_EQ(objects[6].rfind("{\"file\":7,\"name\":\"tr1_7.wav\",", 0), 0u) << objects[6];
  EXPECT_NE(objects[6].find("\"references\":[\"高雄\"],\"candidates\":[{\"name\":\"台北\",\"start_frame\":"),
            std::string::npos)
      << objects[6];
  EXPECT_NE(objects[6].find("\"detected\":false}],\"detected\":0,\"false\":1,"), std::string::npos) << objects[6];
  EXPECT_NE(objects[9].find("\"totals\":{\"total\":11,\"accepted\":10,\"detected\":9,\"false\":1}"), std::string::npos)
      << objects[9];
  EXPECT_EQ(objects[50].rfind("{\"summary\":{\"set\":1,\"files\":50,", 0), 0u) << objects[50];
  EXPECT_NE(objects[50].find("\"times_real_time\":"), std::string::npos);
}

TEST_F(KwsBatch, MissingRecordingsAndUsageErrors) {
  const testing::CommandRun other_set = testing::run_kws(batch("--set 2"));
  EXPECT_EQ(other_set.status, 1);
  EXPECT_NE(other_set.err.find("Cannot open test recording " + (directory_ / "wave" / "tr2_1.wav").string()),
            std::string::npos)
      << other_set.err;
  EXPECT_EQ(other_set.out, "");

  EXPECT_EQ(testing::run_kws("batch --data " + directory_.string()).status, 2);  // no vocabulary
  EXPECT_EQ(testing::run_kws(batch("--set 0")).status, 2);
  EXPECT_EQ(testing::run_kws(batch("--set x")).status, 2);
  EXPECT_EQ(testing::run_kws(batch("extra")).status, 2);
  const testing::CommandRun help = testing::run_kws("batch --help");
  EXPECT_NE(help.out.find("Example:\n  kws batch --data"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace kws
