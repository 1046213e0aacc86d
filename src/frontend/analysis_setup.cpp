#include "frontend/analysis_setup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/message_sink.h"

namespace kws {
namespace {

// Constants rounded to single precision on purpose: the tables must come out
// bit for bit as the models' training front end made them.
constexpr float kDctAngleStep = 0.174532935f;      // one ulp above float(pi / 18)
constexpr float kOneNineteenth = 0.05263158f;      // float(1 / 19): 19 edges span 0..mhi
constexpr float kWindowAngleStep = 0.019696506f;   // float(2 pi / 319)
constexpr int kLongestFft = 2048;

std::string vector_refusal(int k) { return format_text("CreateVector: Cannot create vector with %d elements\n", k); }

}  // namespace

OneBasedVector::OneBasedVector(std::unique_ptr<float[]> storage, int k)
    : storage_(std::move(storage)) {
  const std::int32_t length = k;
  std::memcpy(&storage_[0], &length, sizeof length);
}

int OneBasedVector::size() const {
  if (storage_ == nullptr) return 0;
  std::int32_t length;
  std::memcpy(&length, &storage_[0], sizeof length);
  return length;
}

OneBasedVector CreateVector(int k) {
  std::unique_ptr<float[]> storage;
  if (k >= 0) storage.reset(new (std::nothrow) float[static_cast<std::size_t>(k) + 1]());
  if (storage == nullptr) return {};
  return OneBasedVector(std::move(storage), k);
}

double mel_of_bin(int k, float frequency_resolution) {
  return 1127.0 * std::log(1.0 + (k - 1) * static_cast<double>(frequency_resolution));
}

void SetFFTConsts(AnalysisTables& state, int frame_length) {
  int length = 2;
  while (length < frame_length && length <= kLongestFft) length *= 2;
  if (length < frame_length) {
    message_sink().console("SetFFTConsts: Input frame size is too large for MF analysis\n");
  }
  state.fft_length = length;
  state.half_length = length / 2;
}

std::string CreateLoBin(AnalysisTables& state) {
  const int bins = state.half_length;
  std::unique_ptr<std::int32_t[]> map(new (std::nothrow) std::int32_t[bins + 1]());
  if (map == nullptr) return "CreateLoBin: Cannot create lowBin array\n";
  const OneBasedVector& centre = state.centre_frequencies;
  // One counter for all bins: the mel values rise with k, so the channel never
  // goes back. The comparison uses the bin's mel value in single precision.
  int channel = 1;
  for (int k = 1; k <= bins; ++k) {
    const float mel = static_cast<float>(mel_of_bin(k, state.frequency_resolution));
    // Every bin lies below the top edge; the bound only keeps the map in 0..18.
    while (channel <= kFilterbankChannels && centre[channel] < mel) ++channel;
    map[k] = channel - 1;
  }
  state.low_channel = std::move(map);
  return {};
}

namespace {

// Piecewise-linear frequency warp that keeps the Nyquist frequency in place:
// factor x f below a knee, then a straight line to the top.
double warped_mel(double mel, double factor) {
  constexpr double kNyquist = 8000.0;
  constexpr double kKnee = 4800.0;
  const double frequency = 700.0 * (std::exp(mel / 1127.0) - 1.0);
  const double knee = kKnee * std::min(factor, 1.0) / factor;
  const double warped = frequency <= knee ? frequency * factor
                                          : kNyquist - (kNyquist - kKnee * std::min(factor, 1.0)) / (kNyquist - knee) *
                                                           (kNyquist - frequency);
  return 1127.0 * std::log(1.0 + warped / 700.0);
}

}  // namespace

std::string analysis_setup(AnalysisTables& state, double warp) {
  SetFFTConsts(state);
  const int bins = state.half_length;

  state.frequency_resolution =
      static_cast<float>(1e7 / ((static_cast<double>(kSamplePeriod) * state.fft_length) * 700.0));
  state.dct_angle_step = kDctAngleStep;
  state.cepstral_scale = static_cast<float>(std::sqrt(0.1111111111111111));

  // Channel edges equally spaced in mel from 0 up to the mel value of bin n + 1.
  const double top_mel = mel_of_bin(bins + 1, state.frequency_resolution);
  state.centre_frequencies = CreateVector(kFilterbankChannels + 1);
  if (state.centre_frequencies.empty()) return vector_refusal(kFilterbankChannels + 1);
  OneBasedVector& centre = state.centre_frequencies;
  for (int c = 1; c <= kFilterbankChannels + 1; ++c) {
    centre[c] = static_cast<float>((c * static_cast<double>(kOneNineteenth)) * top_mel);
  }
  if (warp != 1.0) {
    for (int c = 1; c <= kFilterbankChannels; ++c) centre[c] = static_cast<float>(warped_mel(centre[c], warp));
  }

  if (std::string refusal = CreateLoBin(state); !refusal.empty()) return refusal;

  // Triangular filters: a bin on channel ch's falling slope keeps this share
  // for ch and gives the rest to ch + 1. Below centre[1] the edge is 0.
  state.low_channel_weights = CreateVector(bins);
  if (state.low_channel_weights.empty()) return vector_refusal(bins);
  for (int k = 1; k <= bins; ++k) {
    const double mel = mel_of_bin(k, state.frequency_resolution);
    const int ch = state.low_channel[k];
    const double weight = ch > 0 ? (centre[ch + 1] - mel) / (centre[ch + 1] - centre[ch])
                                 : (centre[1] - mel) / centre[1];
    state.low_channel_weights[k] = static_cast<float>(weight);
  }

  for (int i = 0; i < kFrameLength; ++i) {
    state.window[i] = static_cast<float>(
        0.54 - 0.46 * std::cos(i * static_cast<double>(kWindowAngleStep)));
  }

  for (int r = 1; r <= kCepstralCoefficients; ++r) {
    for (int j = 1; j <= kFilterbankChannels; ++j) {
      state.dct_table[r - 1][j - 1] = static_cast<float>(
          std::cos(((j - 0.5) * static_cast<double>(state.dct_angle_step)) * r));
    }
  }
  return {};
}

std::string allocate_analysis_buffers(const AnalysisTables& tables, AnalysisBuffers& buffers) {
  // In the order start-up has always made them, so a failure names the same vector.
  buffers.frame = CreateVector(kFrameLength);
  if (buffers.frame.empty()) return vector_refusal(kFrameLength);
  buffers.cepstrum = CreateVector(2 * kCepstralCoefficients);
  if (buffers.cepstrum.empty()) return vector_refusal(2 * kCepstralCoefficients);
  buffers.fft = CreateVector(tables.fft_length);
  if (buffers.fft.empty()) return vector_refusal(tables.fft_length);
  buffers.filterbank = CreateVector(kFilterbankChannels);
  if (buffers.filterbank.empty()) return vector_refusal(kFilterbankChannels);
  return {};
}

}  // namespace kws
