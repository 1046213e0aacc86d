// Where an utterance starts and ends, decided buffer by buffer while the
// microphone records, and the accepted audio turned into recognizer input
// as it arrives.
//
// Each 100 ms buffer gets an activity level (the mean step between samples
// five apart). A buffer louder than the start threshold begins an onset, a
// second at least as loud confirms it; then quiet buffers (below the silence
// threshold) count up and loud ones count down, and five net quiet buffers,
// or 6 s of audio, end the utterance. Start and end fall on buffer
// boundaries; the recognition pass trims the end finer.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "audio/noise_calibration.h"
#include "engine/engine.h"

namespace kws {

class RawDumpFile;

inline constexpr int kDetectorBufferSamples = 1600;
inline constexpr int kDetectorBufferBytes = 2 * kDetectorBufferSamples;
inline constexpr int kEndingSilenceCount = 5;
inline constexpr std::int32_t kNormalUtteranceBytes = 192000;    // 60 buffers, 6 s
inline constexpr std::int32_t kUtteranceCapacityBytes = 256000;  // the sample buffer

enum class DetectorState { Waiting, Onset, InSpeech };

enum class BufferStep {
  proceed,   // keep recording
  finished,  // the utterance is complete: finish it
  stop,      // the sample buffer is full without a normal end: not recognised
};

// The activity level of a 100 ms buffer: |x0| plus the |x[i] - x[i-1]| for
// i = 5, 10, ..., 1595, times 0.000625.
float buffer_level(std::span<const std::int16_t, kDetectorBufferSamples> buffer);

class EndpointDetector {
 public:
  // The level bar gets each buffer's level, truncated. The dump file, if
  // given, gets every buffer the detector stores, as it stores it.
  EndpointDetector(LiveAnalysis& analysis, const DetectorThresholds& thresholds, RawDumpFile* dump,
                   std::function<void(int)> level_bar);

  void reset();
  // One buffer of which the device recorded bytes (at most 3200).
  BufferStep process_buffer(std::span<const std::int16_t, kDetectorBufferSamples> buffer, std::int32_t bytes);
  // After finished: the utterance's sample count and its last ten frames.
  void finish_utterance();

  DetectorState state() const { return state_; }
  int silence_count() const { return silence_count_; }
  std::int32_t stored_bytes() const { return stored_bytes_; }
  std::int32_t frame_count() const { return analysis_.frame_count(); }

 private:
  void count_silence(float level, float silence_threshold);
  void first_buffer_features();
  void next_buffer_features();
  void dump_next_block();

  LiveAnalysis& analysis_;
  const DetectorThresholds& thresholds_;
  RawDumpFile* dump_;
  std::function<void(int)> level_bar_;

  DetectorState state_ = DetectorState::Waiting;
  int silence_count_ = 0;
  std::int32_t stored_bytes_ = 0;
  std::int32_t dump_offset_ = 0;
};

}  // namespace kws
