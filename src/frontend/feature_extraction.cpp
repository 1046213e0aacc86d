#include "frontend/feature_extraction.h"

#include <algorithm>
#include <cmath>

#include "frontend/real_fft.h"

namespace kws {

void compute_delta_frame(const CepstralBuffer& statics, int t, int frame_count,
                         CepstralRecord& delta, FeatureVector& row) {
  const CepstralRecord& current = statics[t];
  if (t < 2) {
    // With one or two frames the next record was never written: no slope.
    const bool has_next = t + 1 < frame_count;
    for (int j = 1; j <= kCepstralCoefficients; ++j) {
      delta[j] = has_next ? statics[t + 1][j] - current[j] : 0.0f;
    }
  } else if (t >= frame_count - 2) {
    for (int j = 1; j <= kCepstralCoefficients; ++j) delta[j] = current[j] - statics[t - 1][j];
  } else {
    // Regression over +-2 frames; the numerator is rounded to float once,
    // before the division by 2 * (1^2 + 2^2).
    for (int j = 1; j <= kCepstralCoefficients; ++j) {
      const double numerator =
          1.0 * (static_cast<double>(statics[t + 1][j]) - statics[t - 1][j]) +
          2.0 * (static_cast<double>(statics[t + 2][j]) - statics[t - 2][j]);
      delta[j] = static_cast<float>(numerator) / 10.0f;
    }
  }
  for (int j = 1; j <= kCepstralCoefficients; ++j) {
    row[j - 1] = current[j];
    row[kCepstralCoefficients + j - 1] = delta[j];
  }
}

int FrontEnd::extract_features(const std::int16_t* source, int start, int end,
                               FeatureMatrix& features) {
  const int frames = std::min((end - start) / kFrameShift - 1, kMaxFrames);
  buffers_.frame_count = frames;
  if (frames > 0) {
    compute_static_frames(source + start, frames, 0);
    compute_deltas(features);
  }
  return frames;
}

void FrontEnd::compute_static_frames(const std::int16_t* samples, int count, int first_frame) {
  if (count <= 0 || first_frame < 0 || first_frame >= kMaxFrames) return;
  const int frames = std::min(count, kMaxFrames - first_frame);
  for (int i = 0; i < frames; ++i) compute_frame(samples + i * kFrameShift, buffers_.statics[first_frame + i]);
}

void FrontEnd::compute_deltas(FeatureMatrix& features) {
  for (int t = 0; t < buffers_.frame_count; ++t) compute_delta_frame(t, buffers_.frame_count, features[t]);
}

void FrontEnd::compute_delta_frame(int t, int frame_count, FeatureVector& row) {
  kws::compute_delta_frame(buffers_.statics, t, frame_count, buffers_.deltas[t], row);
}

void FrontEnd::compute_frame(const std::int16_t* samples, CepstralRecord& record) {
  AnalysisBuffers& vectors = buffers_.vectors;
  float* x = vectors.frame.data();
  for (int k = 1; k <= kFrameLength; ++k) x[k] = static_cast<float>(samples[k - 1]);

  // Backwards, so each step reads the previous sample before it changes. The
  // first sample has no predecessor and keeps only its 1 - 0.975 share.
  for (int k = kFrameLength; k >= 2; --k) x[k] = x[k] - kPreEmphasis * x[k - 1];
  x[1] = x[1] * (1.0f - kPreEmphasis);
  for (int k = 1; k <= kFrameLength; ++k) x[k] = x[k] * tables_.window[k - 1];

  float* s = vectors.fft.data();
  std::copy(x + 1, x + 1 + kFrameLength, s + 1);
  std::fill(s + 1 + kFrameLength, s + 1 + tables_.fft_length, 0.0f);
  real_fft(vectors.fft);

  // Magnitude, not power, shared between two neighbouring triangles. Bin 1
  // (DC) takes no part.
  float* f = vectors.filterbank.data();
  std::fill(f + 1, f + 1 + kFilterbankChannels, 0.0f);
  const std::int32_t* low_channel = tables_.low_channel.get();
  const float* weight = tables_.low_channel_weights.data();
  for (int k = 2; k <= tables_.half_length; ++k) {
    const float re = s[2 * k - 1];
    const float im = s[2 * k];
    const float magnitude = std::sqrt(re * re + im * im);
    const int ch = low_channel[k];
    const float low_share = weight[k] * magnitude;
    if (ch > 0) f[ch] += low_share;
    if (ch < kFilterbankChannels) f[ch + 1] += magnitude - low_share;
  }

  // Raising values below 1 to 1 makes silent channels exactly 0 and keeps the
  // logarithm finite.
  for (int c = 1; c <= kFilterbankChannels; ++c) {
    f[c] = static_cast<float>(std::log(static_cast<double>(std::max(f[c], 1.0f))));
  }

  float* cepstrum = vectors.cepstrum.data();
  for (int r = 1; r <= kCepstralCoefficients; ++r) {
    const std::array<float, kFilterbankChannels>& basis = tables_.dct_table[r - 1];
    float sum = 0.0f;
    for (int j = 1; j <= kFilterbankChannels; ++j) sum = sum + f[j] * basis[j - 1];
    cepstrum[r] = tables_.cepstral_scale * sum;
    record[r] = cepstrum[r];
  }
}

}  // namespace kws
