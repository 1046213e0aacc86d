#include "frontend/analysis_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "support/capturing_sink.h"

namespace kws {
namespace {

const AnalysisTables& analysis() {
  static const AnalysisTables* const state = [] {
    auto* built = new AnalysisTables;
    EXPECT_EQ(analysis_setup(*built), "");
    return built;
  }();
  return *state;
}

TEST(AnalysisSetup, ConstantsAndVectorLengths) {
  const AnalysisTables& a = analysis();
  EXPECT_EQ(a.fft_length, 512);
  EXPECT_EQ(a.half_length, 256);
  EXPECT_EQ(a.frequency_resolution, 0.044642858f);
  EXPECT_EQ(a.dct_angle_step, std::nextafter(static_cast<float>(std::numbers::pi / 18), 1.0f));
  EXPECT_EQ(a.cepstral_scale, 0.33333334f);
  AnalysisBuffers b;
  ASSERT_EQ(allocate_analysis_buffers(a, b), "");
  const int lengths[] = {a.centre_frequencies.size(),
                         a.low_channel_weights.size(),
                         b.frame.size(),
                         b.fft.size(),
                         b.filterbank.size(),
                         b.cepstrum.size()};
  EXPECT_EQ(std::vector<int>(std::begin(lengths), std::end(lengths)),
            (std::vector<int>{19, 256, 320, 512, 18, 24}));
}

TEST(AnalysisSetup, FilterbankEdgesMapAndWeights) {
  const AnalysisTables& a = analysis();
  const OneBasedVector& centre = a.centre_frequencies;
  const double top = mel_of_bin(257, a.frequency_resolution);
  EXPECT_NEAR(top, 2840.04, 0.005);
  for (int c = 1; c <= 19; ++c) EXPECT_FLOAT_EQ(centre[c], static_cast<float>(c * top / 19)) << c;

  const int expected_start[] = {0, 0, 0, 0, 1, 1, 1, 2};
  for (int k = 1; k <= 8; ++k) EXPECT_EQ(a.low_channel[k], expected_start[k - 1]) << "bin " << k;
  EXPECT_EQ(a.low_channel[222], 17);
  for (int k = 223; k <= 256; ++k) EXPECT_EQ(a.low_channel[k], 18) << "bin " << k;

  // Every bin lies on channel ch's falling slope: centre[ch] < mel <= centre[ch + 1],
  // and its share for ch shrinks as the bin moves up that slope.
  for (int k = 2; k <= 256; ++k) {
    const int ch = a.low_channel[k];
    const float mel = static_cast<float>(mel_of_bin(k, a.frequency_resolution));
    ASSERT_GE(ch, a.low_channel[k - 1]) << "bin " << k;
    EXPECT_LT(ch == 0 ? 0.0f : centre[ch], mel) << "bin " << k;
    EXPECT_LE(mel, centre[ch + 1]) << "bin " << k;
    const float weight = a.low_channel_weights[k];
    EXPECT_TRUE(weight >= 0.0f && weight <= 1.0f) << "bin " << k;
    if (ch == a.low_channel[k - 1]) {
      EXPECT_LT(weight, a.low_channel_weights[k - 1]) << "bin " << k;
    }
  }
}

TEST(AnalysisSetup, HammingWindowAndDctTable) {
  const std::array<float, kFrameLength>& w = analysis().window;
  EXPECT_NEAR(w[0], 0.08f, 1e-7);
  EXPECT_NEAR(w[319], 0.08f, 1e-6);
  for (int i = 0; i < 160; ++i) EXPECT_NEAR(w[i], w[319 - i], 1e-6) << "sample " << i;
  const auto peak = std::max_element(w.begin(), w.end()) - w.begin();
  EXPECT_TRUE(peak == 159 || peak == 160) << peak;

  const auto& table = analysis().dct_table;
  EXPECT_NEAR(table[11][0], 0.5f, 1e-5);  // r = 12, j = 1: cos(6 * angle step)
  // Half-sample-shifted cosines are orthogonal; the angle step one ulp above
  // pi / 18 leaves them so to ~1e-5. A wrong phase or index breaks this.
  for (int r = 0; r < 12; ++r) {
    for (int q = 0; q <= r; ++q) {
      double dot = 0.0;
      for (int j = 0; j < 18; ++j) dot += static_cast<double>(table[r][j]) * table[q][j];
      EXPECT_NEAR(dot, r == q ? 9.0 : 0.0, 1e-4) << "rows " << r + 1 << ", " << q + 1;
    }
  }
}

TEST(AnalysisSetup, OneBasedVectorsAndFailureMessages) {
  OneBasedVector v = CreateVector(7);
  std::int32_t header = 0;
  std::memcpy(&header, v.data(), sizeof header);
  EXPECT_EQ(header, 7);
  for (int i = 1; i <= 7; ++i) EXPECT_EQ(v[i], 0.0f);

  EXPECT_TRUE(CreateVector(-3).empty());
  // A vector that cannot be made is refused with the station's text.
  AnalysisTables broken;
  broken.fft_length = -3;
  AnalysisBuffers buffers;
  EXPECT_EQ(allocate_analysis_buffers(broken, buffers), "CreateVector: Cannot create vector with -3 elements\n");

  testing::CapturingSink sink;
  AnalysisTables state;
  SetFFTConsts(state, 2049);
  EXPECT_EQ(state.fft_length, 4096);
  EXPECT_TRUE(sink.lines.empty());
  SetFFTConsts(state, 5000);  // doubling stops past 2048, short of the frame
  EXPECT_EQ(state.fft_length, 4096);
  EXPECT_EQ(sink.lines, std::vector<std::string>{"SetFFTConsts: Input frame size is too large for MF analysis\n"});
}

}  // namespace
}  // namespace kws
