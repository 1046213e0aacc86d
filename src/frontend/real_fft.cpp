#include "frontend/real_fft.h"

#include <cmath>
#include <utility>

namespace kws {
namespace {

// 2 pi to 15 digits; its last digits reach the twiddle factors' low bits.
constexpr double kTwoPi = 6.28318530717959;

// Rotation step of a twiddle recurrence: w <- w + w * (wpr + i wpi), with
// wpr = -2 sin^2(theta / 2) rather than cos(theta) - 1 to keep its precision.
struct RotationStep {
  double wpr;
  double wpi;
};

RotationStep rotation_step(double theta) {
  const double half_sine = std::sin(0.5 * theta);
  return {-2.0 * half_sine * half_sine, std::sin(theta)};
}

}  // namespace

void fft_in_place(OneBasedVector& vector) {
  float* s = vector.data();
  const int length = vector.size();  // floats, 2n

  // Bit-reversal permutation of the complex elements.
  int j = 1;
  for (int i = 1; i < length; i += 2) {
    if (j > i) {
      std::swap(s[j], s[i]);
      std::swap(s[j + 1], s[i + 1]);
    }
    int m = length / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }

  // Stage `span` builds transforms of span complex points; partners lie span
  // floats (span / 2 complex points) apart.
  for (int span = 2; span < length; span *= 2) {
    const int step = 2 * span;
    const RotationStep rotation = rotation_step(kTwoPi / span);
    double wr = 1.0;
    double wi = 0.0;
    for (int m = 1; m < span; m += 2) {
      for (int i = m; i <= length; i += step) {
        const int partner = i + span;
        const float temp_re = static_cast<float>(wr * s[partner] - wi * s[partner + 1]);
        const float temp_im = static_cast<float>(wr * s[partner + 1] + wi * s[partner]);
        s[partner] = s[i] - temp_re;
        s[partner + 1] = s[i + 1] - temp_im;
        s[i] += temp_re;
        s[i + 1] += temp_im;
      }
      const double old_wr = wr;
      wr = old_wr * rotation.wpr - wi * rotation.wpi + wr;
      wi = wi * rotation.wpr + old_wr * rotation.wpi + wi;
    }
  }
}

void real_fft(OneBasedVector& vector) {
  fft_in_place(vector);
  float* s = vector.data();
  const int points = vector.size() / 2;  // n complex points, 2n real samples

  // Untangle the transforms of the even and odd samples: bin k and its mirror
  // n - k come from Z_k and Z_{n-k} with the twiddle exp(+2 pi i k / 2n).
  const RotationStep rotation = rotation_step(kTwoPi / (2 * points));
  double wr = 1.0 + rotation.wpr;
  double wi = rotation.wpi;
  const int mirror = 2 * points + 3;
  // The loop stops one pair short of n / 2 (the pair i = n / 2 is left as the
  // complex transform gave it); the models were trained on that spectrum.
  for (int i = 2; i <= points / 2 - 1; ++i) {
    const int i1 = 2 * i - 1;
    const int i2 = i1 + 1;
    const int i3 = mirror - i2;
    const int i4 = i3 + 1;
    const float xr1 = 0.5f * (s[i1] + s[i3]);
    const float xi1 = 0.5f * (s[i2] - s[i4]);
    const float xr2 = 0.5f * (s[i2] + s[i4]);
    const float xi2 = 0.5f * (s[i3] - s[i1]);
    s[i1] = static_cast<float>(xr1 + wr * xr2 - wi * xi2);
    s[i2] = static_cast<float>(xi1 + wr * xi2 + wi * xr2);
    s[i3] = static_cast<float>(xr1 - wr * xr2 + wi * xi2);
    s[i4] = static_cast<float>(-xi1 + wr * xi2 + wi * xr2);
    const double old_wr = wr;
    wr = old_wr * rotation.wpr - wi * rotation.wpi + wr;
    wi = wi * rotation.wpr + old_wr * rotation.wpi + wi;
  }

  // DC is the sum of the even and odd sums; the Nyquist value is dropped.
  s[1] = s[1] + s[2];
  s[2] = 0.0f;
}

}  // namespace kws
