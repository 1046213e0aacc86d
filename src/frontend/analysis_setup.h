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
#include <string>

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

// A vector of k elements, zero-filled; an empty vector when the memory cannot
// be had (or k is negative).
OneBasedVector CreateVector(int k);

// The tables start-up builds once; every extraction then only reads them, so
// any number of threads may share one set.
struct AnalysisTables {
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
  // dct_table[r - 1][j - 1] = cos((j - 0.5) * angle step * r), r = 1..12, j = 1..18.
  std::array<std::array<float, kFilterbankChannels>, kCepstralCoefficients> dct_table{};
};

// The work vectors one extraction writes; each thread that extracts needs its own.
struct AnalysisBuffers {
  OneBasedVector frame;       // 320: one frame being analysed
  OneBasedVector fft;         // N: the zero-padded frame, then its spectrum
  OneBasedVector filterbank;  // 18: channel outputs
  OneBasedVector cepstrum;    // 24: elements 1..12 receive c1..c12
};

// FFT length: the smallest power of two (from 2) at least frame_length, but
// doubling stops past 2048; a frame still longer is reported on the console
// and the short length used anyway. Sets N and n.
void SetFFTConsts(AnalysisTables& tables, int frame_length = kFrameLength);

// Fills the low-channel map from the centre frequencies; needs N, the
// frequency resolution and the centre frequencies. Returns the refusal text
// "CreateLoBin: Cannot create lowBin array\n" when the memory cannot be had,
// else an empty string.
std::string CreateLoBin(AnalysisTables& tables);

// Builds every table in its fixed order, replacing whatever they held.
// Returns an empty string, or the text of the allocation that failed.
// A warp other than 1 moves the filterbank's channels as a longer or shorter
// vocal tract would move the formants (training only: the station's models
// were trained on the unwarped tables).
std::string analysis_setup(AnalysisTables& tables, double warp = 1.0);

// Work vectors sized for the tables' FFT length; an empty string, or the text
// of the allocation that failed.
std::string allocate_analysis_buffers(const AnalysisTables& tables, AnalysisBuffers& buffers);

// Mel value of FFT bin k (1-based; bin k is (k - 1) * 31.25 Hz), in double.
double mel_of_bin(int k, float frequency_resolution);

}  // namespace kws
