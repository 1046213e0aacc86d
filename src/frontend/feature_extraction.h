// Feature extraction: one 24-dimensional vector every 10 ms, 12 mel-frequency
// cepstral coefficients c1..c12 followed by their 12 deltas. Nothing else: no
// energy, no c0, no liftering, no normalisation.
//
// Two entry points share one per-frame computation. extract_features works on
// a whole segment (batch procedures); compute_static_frames computes a run of
// frames as audio arrives (live capture), and the caller forms the deltas later
// with compute_delta_frame. Both write the caller's static and delta buffers
// and work vectors; the analysis tables are only read.
//
// Per frame: pre-emphasis, Hamming window, 512-point real FFT, magnitudes into
// an 18-channel triangular mel filterbank, natural log floored at 0, DCT. All
// values are stored in single precision in a fixed order of operations.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frontend/analysis_setup.h"
#include "models/hmm_model.h"

namespace kws {

using FeatureVector = std::array<float, kFeatureDimension>;
using FeatureMatrix = std::array<FeatureVector, kMaxFrames>;

// Slots 1..12 hold c1..c12 (or their deltas); slot 0 carries nothing.
using CepstralRecord = std::array<float, kCepstralCoefficients + 1>;
using CepstralBuffer = std::array<CepstralRecord, kMaxFrames>;

// Delta record and feature row of frame t (0 <= t < frame_count) of a segment
// whose static records 0..frame_count-1 are in statics. Frames 0 and 1 use the
// forward difference (zero when the segment has no next frame), the last two
// the backward difference, the rest the two-frame regression; the earlier rule
// wins when several apply.
void compute_delta_frame(const CepstralBuffer& statics, int t, int frame_count,
                         CepstralRecord& delta, FeatureVector& row);

// What one extraction writes besides the feature rows: the analysis work
// vectors, the static and delta records, and the frame count. Each thread
// that extracts needs its own.
struct FrontEndBuffers {
  AnalysisBuffers vectors;
  CepstralBuffer statics{};
  CepstralBuffer deltas{};
  std::int32_t frame_count = 0;  // F of the last whole-segment extraction
};

// The front end over shared read-only tables and one caller's buffers. Cheap
// to make: it holds two references.
class FrontEnd {
 public:
  FrontEnd(const AnalysisTables& tables, FrontEndBuffers& buffers) : tables_(tables), buffers_(buffers) {}

  // Features of source[start, end): F = (end - start) / 160 - 1 frames (whole
  // 320-sample frames at a 160-sample shift), at most 800. Stores F as the
  // frame count, fills rows 0..F-1 of features when F > 0, and returns F,
  // also when it is 0 or negative. Rows from F on are left as they were.
  int extract_features(const std::int16_t* source, int start, int end, FeatureMatrix& features);

  // Static records first_frame .. first_frame + count - 1, frame i reading the
  // 320 samples at samples + 160 i. Frames at or past 800 are not computed.
  void compute_static_frames(const std::int16_t* samples, int count, int first_frame);

  // Deltas and feature rows 0..F-1 for the stored frame count F.
  void compute_deltas(FeatureMatrix& features);

  // Delta record t and its feature row for a segment of frame_count frames.
  void compute_delta_frame(int t, int frame_count, FeatureVector& row);

  const CepstralRecord& static_record(int frame) const { return buffers_.statics[frame]; }
  const CepstralRecord& delta_record(int frame) const { return buffers_.deltas[frame]; }

 private:
  void compute_frame(const std::int16_t* samples, CepstralRecord& record);

  const AnalysisTables& tables_;
  FrontEndBuffers& buffers_;
};

// Tables and buffers together, for a tool or test on one thread that only
// extracts features. About 90 KB; make it on the heap.
struct FrontEndOwner {
  AnalysisTables tables;
  FrontEndBuffers buffers;

  // Builds the tables and buffers; an empty string, or the allocation that failed.
  std::string set_up(double warp = 1.0) {
    std::string refusal = analysis_setup(tables, warp);
    return refusal.empty() ? allocate_analysis_buffers(tables, buffers.vectors) : refusal;
  }
  FrontEnd front_end() { return FrontEnd(tables, buffers); }
};

}  // namespace kws
