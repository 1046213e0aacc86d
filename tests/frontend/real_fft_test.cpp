#include "frontend/real_fft.h"

#include <gtest/gtest.h>

#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace kws {
namespace {

using Complex = std::complex<double>;

// Unscaled DFT with a positive exponent, in double, the slow obvious way.
std::vector<Complex> naive_dft(const std::vector<Complex>& z) {
  const std::size_t n = z.size();
  std::vector<Complex> out(n);
  for (std::size_t k = 0; k < n; ++k) {
    for (std::size_t m = 0; m < n; ++m) {
      out[k] += z[m] * std::polar(1.0, 2.0 * std::numbers::pi * static_cast<double>(m * k % n) / n);
    }
  }
  return out;
}

OneBasedVector random_vector(int length, unsigned seed) {
  std::mt19937 random(seed);
  OneBasedVector v = CreateVector(length);
  for (int i = 1; i <= length; ++i) v[i] = static_cast<float>(random()) / 4294967296.0f * 2.0f - 1.0f;
  return v;
}

// Bin k (1-based) of interleaved complex values.
Complex bin(const OneBasedVector& s, int k) { return {s[2 * k - 1], s[2 * k]}; }

std::vector<Complex> as_complex(const OneBasedVector& s) {
  std::vector<Complex> z;
  for (int k = 1; k <= s.size() / 2; ++k) z.push_back(bin(s, k));
  return z;
}

constexpr double kTolerance = 1e-4;  // inputs in [-1, 1]; float rounding stays near 1e-5

TEST(RealFft, ComplexTransformMatchesTheDirectSum) {
  for (int points : {1, 2, 4, 16, 256}) {
    OneBasedVector s = random_vector(2 * points, 7u + points);
    const std::vector<Complex> expected = naive_dft(as_complex(s));
    fft_in_place(s);
    for (int k = 1; k <= points; ++k) {
      EXPECT_NEAR(std::abs(bin(s, k) - expected[k - 1]), 0.0, kTolerance) << points << " points, bin " << k;
    }
  }
}

TEST(RealFft, RealSpectrumWithItsDeliberateDepartures) {
  OneBasedVector s = random_vector(512, 2024u);
  std::vector<Complex> samples;
  for (int i = 1; i <= 512; ++i) samples.emplace_back(s[i], 0.0);
  const std::vector<Complex> spectrum = naive_dft(samples);
  const std::vector<Complex> packed = naive_dft(as_complex(s));  // even samples real, odd imaginary
  real_fft(s);

  EXPECT_NEAR(s[1], spectrum[0].real(), kTolerance);
  EXPECT_EQ(s[2], 0.0f);  // the Nyquist value is dropped...
  EXPECT_GT(std::abs(spectrum[256]), 0.1);  // ...though there was one
  for (int k = 2; k <= 256; ++k) {
    if (k == 128 || k == 130) continue;
    EXPECT_NEAR(std::abs(bin(s, k) - spectrum[k - 1]), 0.0, kTolerance) << "bin " << k;
  }
  // The split step stops one pair early, so bins 128 and 130 keep the packed
  // transform's values, which the trained models expect. Near the middle the
  // twiddle is close to i, so they are off by only ~1% of the odd part.
  for (int k : {128, 130}) {
    EXPECT_NEAR(std::abs(bin(s, k) - packed[k - 1]), 0.0, kTolerance) << "bin " << k;
    EXPECT_GT(std::abs(bin(s, k) - spectrum[k - 1]), 10 * kTolerance) << "bin " << k;
  }
}

}  // namespace
}  // namespace kws
