#include "frontend/feature_extraction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace kws {
namespace {

// A deterministic stand-in for speech: two partials under a slow envelope, a
// glide, a high tone and fixed-seed noise (raw mt19937 output is standardised).
std::vector<std::int16_t> synthetic_signal(int count, unsigned seed = 20240611u) {
  std::mt19937 noise(seed);
  std::vector<std::int16_t> samples(count);
  const double two_pi = 2.0 * std::numbers::pi;
  for (int i = 0; i < count; ++i) {
    const double t = i / 16000.0;
    const double tone = (0.5 + 0.5 * std::sin(two_pi * 3.0 * t)) *
                            (3000.0 * std::sin(two_pi * 220.0 * t) + 1500.0 * std::sin(two_pi * 1375.0 * t)) +
                        800.0 * std::sin(two_pi * (500.0 * t + 2000.0 * t * t)) +
                        600.0 * std::sin(two_pi * 3900.0 * t);
    samples[i] = static_cast<std::int16_t>(std::lround(tone) + static_cast<int>(noise() % 801u) - 400);
  }
  return samples;
}

class FeatureExtraction : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    owner_ = new FrontEndOwner;
    ASSERT_EQ(owner_->set_up(), "");
    front_ = new FrontEnd(owner_->front_end());
  }
  static void TearDownTestSuite() {
    delete front_;
    delete owner_;
  }

  int extract(const std::vector<std::int16_t>& audio, int end = -1) {
    return front_->extract_features(audio.data(), 0, end < 0 ? static_cast<int>(audio.size()) : end, *features_);
  }
  const FeatureVector& row(int t) const { return (*features_)[t]; }

  static FrontEndOwner* owner_;
  static FrontEnd* front_;
  std::unique_ptr<FeatureMatrix> features_ = std::make_unique<FeatureMatrix>();
};

FrontEndOwner* FeatureExtraction::owner_ = nullptr;
FrontEnd* FeatureExtraction::front_ = nullptr;

TEST_F(FeatureExtraction, FrameCountsAndSilence) {
  const std::vector<std::int16_t> audio = synthetic_signal(130000);
  (*features_)[0].fill(-7.0f);
  for (auto [length, frames] : {std::pair{100, -1}, {319, 0}, {320, 1}, {479, 1}, {480, 2}, {128000, 799}}) {
    EXPECT_EQ(extract(audio, length), frames) << length;
    EXPECT_EQ(owner_->buffers.frame_count, frames) << length;
    if (length == 319) {
      EXPECT_EQ(row(0)[0], -7.0f) << "nothing is computed without a whole frame";
    }
  }
  EXPECT_EQ(extract(audio), kMaxFrames) << "only the first 800 frames fit";

  ASSERT_EQ(extract(std::vector<std::int16_t>(8000, 0)), 49);
  for (int t = 0; t < 49; ++t) EXPECT_EQ(row(t), FeatureVector{}) << "frame " << t;
}

TEST_F(FeatureExtraction, ShortSegmentsHaveNoSlopeBeyondTheirLastFrame) {
  ASSERT_EQ(extract(synthetic_signal(8000, 1u)), 49);  // leaves stale records 1 and 2
  const std::vector<std::int16_t> audio = synthetic_signal(480, 2u);
  ASSERT_EQ(extract(audio, 320), 1);
  EXPECT_NE(row(0)[0], 0.0f);
  EXPECT_TRUE(std::all_of(row(0).begin() + 12, row(0).end(), [](float d) { return d == 0.0f; }));

  ASSERT_EQ(extract(audio), 2);
  for (int j = 1; j <= 12; ++j) {
    EXPECT_EQ(row(0)[11 + j], front_->static_record(1)[j] - front_->static_record(0)[j]) << "c" << j;
    EXPECT_EQ(row(1)[11 + j], 0.0f) << "c" << j;
  }
}

TEST(DeltaForms, ForwardBackwardAndRegressionByPosition) {
  // Cubic in t, so the three forms all give different answers.
  CepstralBuffer s{};
  for (int t = 0; t < 8; ++t) {
    for (int j = 1; j <= 12; ++j) s[t][j] = static_cast<float>(t * t * t) * 0.25f * j - j;
  }
  CepstralRecord delta{};
  FeatureVector row{};
  for (int frames : {3, 4, 5, 7}) {
    for (int t = 0; t < frames; ++t) {
      compute_delta_frame(s, t, frames, delta, row);
      for (int j = 1; j <= 12; ++j) {
        const float expected = t < 2 ? s[t + 1][j] - s[t][j]
                               : t >= frames - 2
                                   ? s[t][j] - s[t - 1][j]
                                   : ((s[t + 1][j] - s[t - 1][j]) + 2 * (s[t + 2][j] - s[t - 2][j])) / 10;
        EXPECT_FLOAT_EQ(delta[j], expected) << "F = " << frames << ", frame " << t << ", c" << j;
        EXPECT_EQ(row[j - 1], s[t][j]);
        EXPECT_EQ(row[11 + j], delta[j]);
      }
    }
  }
}

TEST_F(FeatureExtraction, BlockFormMatchesTheWholeSegment) {
  const std::vector<std::int16_t> audio = synthetic_signal(16000);
  ASSERT_EQ(extract(audio), 99);
  const FeatureMatrix whole = *features_;
  CepstralBuffer statics;
  for (int t = 0; t < 99; ++t) statics[t] = front_->static_record(t);

  ASSERT_EQ(extract(synthetic_signal(16000, 9u)), 99);  // overwrite the records
  front_->compute_static_frames(audio.data(), -4, 0);
  EXPECT_NE(front_->static_record(0), statics[0]) << "count <= 0 computes nothing";
  int frame = 0;
  for (int block : {10, 10, 7, 1, 30, 41}) {
    front_->compute_static_frames(audio.data() + frame * kFrameShift, block, frame);
    frame += block;
  }
  for (int t = 0; t < 99; ++t) ASSERT_EQ(front_->static_record(t), statics[t]) << "frame " << t;
  front_->compute_deltas(*features_);
  for (int t = 0; t < 99; ++t) ASSERT_EQ(row(t), whole[t]) << "frame " << t;

  front_->compute_static_frames(audio.data(), 10, 795);  // stops at the capacity
  for (int t = 0; t < 5; ++t) EXPECT_EQ(front_->static_record(795 + t), statics[t]);
}

// Stored features of synthetic_signal(8000). After a deliberate change of the
// front end, regenerate with
//   KWS_REGENERATE_FRONTEND_FIXTURE=1 ./frontend_tests --gtest_filter='FeatureExtraction.Regression*'
TEST_F(FeatureExtraction, RegressionAgainstStoredFeatures) {
  const std::string path = KWS_TEST_SOURCE_DIR "/fixtures/synthetic_features.txt";
  ASSERT_EQ(extract(synthetic_signal(8000)), 49);
  if (std::getenv("KWS_REGENERATE_FRONTEND_FIXTURE") != nullptr) {
    std::ofstream out(path);
    out << "# Features of synthetic_signal(8000) in feature_extraction_test.cpp:\n"
           "# one frame per line, c1..c12 then their deltas.\n";
    char text[32];
    for (int t = 0; t < 49; ++t) {
      for (int j = 0; j < kFeatureDimension; ++j) {
        std::snprintf(text, sizeof text, "%.6e", static_cast<double>(row(t)[j]));
        out << (j == 0 ? "" : " ") << text;
      }
      out << '\n';
    }
    ASSERT_TRUE(out.good()) << path;
    GTEST_SKIP() << "fixture written to " << path;
  }

  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::string line;
  while (in.peek() == '#') std::getline(in, line);
  // Seven stored digits; other compilers or libm may move the last bits of a log.
  for (int t = 0; t < 49; ++t) {
    for (int j = 0; j < kFeatureDimension; ++j) {
      double stored = 0.0;
      ASSERT_TRUE(in >> stored) << "frame " << t << ", element " << j;
      EXPECT_NEAR(row(t)[j], stored, std::max(1e-5, 1e-5 * std::abs(stored))) << "frame " << t << ", element " << j;
    }
  }
  EXPECT_FALSE(in >> line) << "fixture has more than 49 frames";
}

}  // namespace
}  // namespace kws
