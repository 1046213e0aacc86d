// What the kws command prints and writes on the bundled data directory, as
// recorded in fixtures/bundled: the keyword batch test, the keyword pass with
// every result's details, an evaluation over a small reference list and the
// syllable lattice files. Processing times are left out of the comparison,
// and scores may differ in their last digits (a relative 1e-5: state scores
// are summed in single precision, in whatever order the processor's vectors
// make fastest); every decision, rank, boundary, count and rate must stay.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/fixture_data.h"
#include "support/kws_runner.h"

namespace kws {
namespace {

const std::filesystem::path kData = KWS_DATA_DIR;
const std::filesystem::path kExpected = std::filesystem::path(KWS_TEST_SOURCE_DIR) / "fixtures" / "bundled";

std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Text equal but for its decimal numbers, each within a relative 1e-5 of the
// expected one (of floor, for numbers below it).
void expect_same_but_for_rounding(const std::string& actual, const std::string& expected, double floor = 1.0) {
  static const std::regex number(R"(-?[0-9]+\.[0-9]+(e[-+]?[0-9]+)?)");
  const auto split = [](const std::string& text) {
    std::vector<std::string> words;
    std::vector<double> numbers;
    std::size_t at = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), number), end; it != end; ++it) {
      words.push_back(text.substr(at, static_cast<std::size_t>(it->position()) - at));
      numbers.push_back(std::stod(it->str()));
      at = static_cast<std::size_t>(it->position() + it->length());
    }
    words.push_back(text.substr(at));
    return std::pair(words, numbers);
  };
  const auto [actual_words, actual_numbers] = split(actual);
  const auto [expected_words, expected_numbers] = split(expected);
  ASSERT_EQ(actual_words, expected_words);
  ASSERT_EQ(actual_numbers.size(), expected_numbers.size());
  for (std::size_t i = 0; i < actual_numbers.size(); ++i) {
    EXPECT_NEAR(actual_numbers[i], expected_numbers[i], 1e-5 * std::max(std::abs(expected_numbers[i]), floor))
        << "number " << i << " after \"" << expected_words[i] << "\"";
  }
}

std::string expected(const std::string& name) {
  const std::string text = read_bytes(kExpected / name);
  EXPECT_FALSE(text.empty()) << "missing fixture " << name;
  return text;
}

// The JSON timing fields and the evaluation's timing lines, which differ run by run.
std::string without_times(std::string text) {
  text = std::regex_replace(text, std::regex(R"(,"processing_seconds":[^,]*,"times_real_time":[^}]*)"), "");
  text = std::regex_replace(text, std::regex(R"(,"times_ms":\{[^}]*\})"), "");
  return std::regex_replace(text, std::regex(R"(\n[0-9.]+ s of audio in [0-9.]+ s\n)"),
                            "\nAUDIO s of audio in TIME s\n");
}

// The recordings' paths as the fixtures spell them, with DATA for the data directory.
std::string with_data_placeholder(std::string text) {
  const std::string directory = kData.string();
  for (std::size_t at = text.find(directory); at != std::string::npos; at = text.find(directory, at)) {
    text.replace(at, directory.size(), "DATA");
  }
  return text;
}

std::string batch_recordings() {
  std::string files;
  for (int n = 1; n <= 50; ++n) files += " " + (kData / "wave" / ("tr1_" + std::to_string(n) + ".wav")).string();
  return files;
}

TEST(BundledOutputs, KeywordBatchTestJson) {
  const testing::CommandRun run = testing::run_kws("batch --data " + kData.string() + " --vocab 火車系統 --json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(without_times(run.out), expected("batch.jsonl"));
}

TEST(BundledOutputs, KeywordPassJsonAndDetailLines) {
  const std::string arguments = "spot --data " + kData.string() + " --vocab 火車系統 --details";
  const testing::CommandRun json = testing::run_kws(arguments + " --json" + batch_recordings());
  ASSERT_EQ(json.status, 0) << json.err;
  expect_same_but_for_rounding(with_data_placeholder(without_times(json.out)), expected("spot.jsonl"));

  const testing::CommandRun text = testing::run_kws(arguments + batch_recordings());
  ASSERT_EQ(text.status, 0) << text.err;
  expect_same_but_for_rounding(with_data_placeholder(text.out), expected("spot-details.txt"));
}

TEST(BundledOutputs, EvaluationWithAndWithoutVerification) {
  const testing::CommandRun run = testing::run_kws("evaluate --data " + kData.string() + " --audio " +
                                                   (kData / "wave").string() + " --verification both " +
                                                   (kExpected / "references.txt").string());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(without_times(run.out), expected("evaluate.txt"));
}

// The sweep verifies once and decides at every threshold: at the station's
// 0.39 it must count exactly what the plain evaluation counts, and lower
// thresholds can only accept more.
TEST(BundledOutputs, SweepAgreesWithThePlainEvaluationAtTheDefaultThreshold) {
  const std::string arguments = "evaluate --data " + kData.string() + " --audio " + (kData / "wave").string() + " " +
                                (kExpected / "references.txt").string();
  const testing::CommandRun sweep = testing::run_kws(arguments + " --sweep");
  ASSERT_EQ(sweep.status, 0) << sweep.err;
  const std::vector<std::string> lines = testing::lines_of(sweep.out);
  ASSERT_EQ(lines.size(), 1u + 21u + 2u) << sweep.out;
  // At 0.39 the counts of the verified evaluation's "all" row (the first one).
  std::vector<int> verified(4), at_default(4);
  for (const std::string& line : testing::lines_of(expected("evaluate.txt"))) {
    if (line.rfind("all ", 0) != 0) continue;
    std::istringstream all_row(line.substr(4));
    int files = 0;
    all_row >> files >> verified[0] >> verified[1] >> verified[2] >> verified[3];
    break;
  }
  std::istringstream default_row(lines[10]);
  double default_threshold = 0.0;
  default_row >> default_threshold >> at_default[0] >> at_default[1] >> at_default[2] >> at_default[3];
  EXPECT_EQ(default_threshold, 0.39);
  EXPECT_EQ(at_default, verified) << lines[10];
  int previous_accepted = 1 << 30;
  for (std::size_t k = 1; k <= 21; ++k) {
    std::istringstream row(lines[k]);
    double threshold = 0.0;
    int spoken = 0, detected = 0, accepted = 0;
    row >> threshold >> spoken >> detected >> accepted;
    EXPECT_LE(accepted, previous_accepted) << lines[k];
    previous_accepted = accepted;
  }
  EXPECT_EQ(lines[22].rfind("figure of merit 0.", 0), 0u) << lines[22];

  // A threshold given by hand decides the same way: the "all" row of the
  // evaluation at 0.30 counts what the sweep's 0.30 row counts.
  const testing::CommandRun lower = testing::run_kws(arguments + " --threshold 0.30");
  ASSERT_EQ(lower.status, 0) << lower.err;
  std::vector<int> swept(4), plain(4);
  std::istringstream sweep_row(lines[1]);
  double threshold = 0.0;
  sweep_row >> threshold >> swept[0] >> swept[1] >> swept[2] >> swept[3];
  for (const std::string& line : testing::lines_of(lower.out)) {
    if (line.rfind("all ", 0) != 0) continue;
    std::istringstream all_row(line.substr(4));
    int files = 0;
    all_row >> files >> plain[0] >> plain[1] >> plain[2] >> plain[3];
  }
  EXPECT_EQ(threshold, 0.30);
  EXPECT_EQ(plain, swept) << lower.out;
}

TEST(BundledOutputs, SyllableLatticeFiles) {
  const std::filesystem::path out = testing::scratch_directory();
  const testing::CommandRun run =
      testing::run_kws("lattice --data " + kData.string() + " --vocab 408syl --out " + out.string());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected("lattice.txt"));
  EXPECT_EQ(read_bytes(out / "news.rep"), expected("news.rep"));
  EXPECT_EQ(read_bytes(out / "syllable.h"), expected("syllable.h"));
  // int16 segment count and durations, then per segment an int16 count of
  // (int16 syllable, float32 score) pairs: the scores as text. A score is a
  // sum over the segment's frames, so one near 0 carries the rounding of
  // terms in the hundreds: numbers below 10 may differ by 1e-4.
  const auto readable = [](const std::string& bytes) {
    std::ostringstream text;
    std::size_t at = 0;
    const auto next_int16 = [&] {
      std::int16_t value = 0;
      if (at + 2 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 2);
      at += 2;
      return value;
    };
    const int segments = next_int16();
    for (int k = 0; k < segments; ++k) text << next_int16() << ' ';
    for (int k = 0; k < segments && at < bytes.size(); ++k) {
      const int count = next_int16();
      text << '\n';
      for (int i = 0; i < count; ++i) {
        text << next_int16() << ' ';
        float score = 0.0f;
        if (at + 4 <= bytes.size()) std::memcpy(&score, bytes.data() + at, 4);
        at += 4;
        text << std::fixed << score << ' ';
      }
    }
    text << "\nbytes " << bytes.size();
    return text.str();
  };
  expect_same_but_for_rounding(readable(read_bytes(out / "dat" / "n34512.dat")), readable(expected("n34512.dat")),
                               10.0);
}

}  // namespace
}  // namespace kws
