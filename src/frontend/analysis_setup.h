// Everything the front end computes once, before any audio arrives: the FFT
// length, the triangular mel filterbank, the analysis window, the DCT table and
// the work vectors. Per-frame work then reduces to one FFT, multiplications and
// table lookups.
//
// Vectors are one-based: CreateVector(k) holds k + 1 floats, element 0 carries k
// as a 32-bit integer bit pattern and elements 1..k carry the values. The
// filterbank tables follow that convention too (channel 1..18, FFT bin
// 1..256); the window and the DCT table are plain zero-based arrays.
//
// Every table is stored in single precision, but most are computed in double
// from single-precision constants; the exact constants matter because the
// acoustic models were trained on features made with them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace kws {

inline constexpr int kFrameLength = 320;           // samples, 20 ms at 16 kHz
inline constexpr int kFrameShift = 160;            // samples, 10 ms
inline constexpr int kFilterbankChannels = 18;
inline constexpr int kCepstralCoefficients = 12;   // c1..c12, no c0
inline constexpr int kMaxFrames = 800;             // 8 s, capacity of every per-frame array
inline constexpr int kFftLength = 512;             // what SetFFTConsts derives from kFrameLength
inline constexpr int kFftHalfLength = kFftLength / 2;
inline constexpr int kSamplePeriod = 625;          // 16 kHz as a period in units of 100 ns
inline constexpr float kPreEmphasis = 0.975f;      // single precision: 0.97500002

// A one-based float vector that owns its storage (see the file comment).
class OneBasedVector {
 public:
  OneBasedVector() = default;
  // Adopts storage of k + 1 floats and writes k into element 0.
  OneBasedVector(std::unique_ptr<float[]> storage, int k);

  // k, read back from element 0; 0 for an empty vector.
  int size() const;
  bool empty() const { return storage_ == nullptr; }
  float& operator[](int index) { return storage_[index]; }
  float operator[](int index) const { return storage_[index]; }
  // Element 0, so that data()[i] is element i.
  float* data() { return storage_.get(); }
  const float* data() const { return storage_.get(); }

 private:
  std::unique_ptr<float[]> storage_;
};

// A vector of k elements, zero-filled. Memory that cannot be obtained (or a
// negative k) ends the process after "CreateVector: Cannot create vector with
// k elements".
OneBasedVector CreateVector(int k);

struct AnalysisState {
  std::int32_t fft_length = 0;        // N
  std::int32_t half_length = 0;       // n = N / 2, also the highest FFT bin used
  float frequency_resolution = 0.0f;  // bin spacing over 700 Hz, the mel-formula knee
  float dct_angle_step = 0.0f;
  float cepstral_scale = 0.0f;        // sqrt(2 / channels)
  // centre[c], c = 1..18: where channel c peaks, in mel; centre[19] is the
  // upper edge of channel 18. The lower edge of channel 1 is 0.
  OneBasedVector centre_frequencies;
  // For FFT bin k = 1..n: the channel (0..18) whose falling slope the bin lies
  // on; the bin's rising-slope share goes to the next channel. Element 0 unused.
  std::unique_ptr<std::int32_t[]> low_channel;
  // For FFT bin k = 1..n: the share of the bin's magnitude for low_channel[k].
  OneBasedVector low_channel_weights;
  std::array<float, kFrameLength> window{};  // Hamming, zero-based
  OneBasedVector frame;                      // 320: one frame being analysed
  OneBasedVector fft;                        // N: the zero-padded frame, then its spectrum
  OneBasedVector filterbank;                 // 18: channel outputs
  OneBasedVector cepstrum;                   // 24: elements 1..12 receive c1..c12
  // dct_table[r - 1][j - 1] = cos((j - 0.5) * angle step * r), r = 1..12, j = 1..18.
  std::array<std::array<float, kFilterbankChannels>, kCepstralCoefficients> dct_table{};
  std::int32_t frame_count = 0;              // F of the last whole-segment extraction
};

// FFT length: the smallest power of two (from 2) at least frame_length, but
// doubling stops past 2048; a frame still longer is reported on the console
// and the short length used anyway. Sets N and n.
void SetFFTConsts(AnalysisState& state, int frame_length = kFrameLength);

// Fills the low-channel map from the centre frequencies; needs N, the
// frequency resolution and the centre frequencies. Memory that cannot be
// obtained ends the process after "CreateLoBin: Cannot create lowBin array".
void CreateLoBin(AnalysisState& state);

// Builds the whole state in its fixed order; replaces whatever it held.
void analysis_setup(AnalysisState& state);

// Mel value of FFT bin k (1-based; bin k is (k - 1) * 31.25 Hz), in double.
double mel_of_bin(int k, float frequency_resolution);

}  // namespace kws
