#include "audio/endpoint_detector.h"

#include <algorithm>
#include <cstdlib>

#include "audio/raw_dump_file.h"

namespace kws {

float buffer_level(std::span<const std::int16_t, kDetectorBufferSamples> x) {
  std::int32_t steps = std::abs(static_cast<std::int32_t>(x[0]));
  for (int i = 5; i < kDetectorBufferSamples; i += 5) steps += std::abs(x[i] - x[i - 1]);
  return static_cast<float>(steps) * 0.000625f;
}

EndpointDetector::EndpointDetector(LiveAnalysis& analysis, const DetectorThresholds& thresholds, RawDumpFile* dump,
                                   std::function<void(int)> level_bar)
    : analysis_(analysis), thresholds_(thresholds), dump_(dump), level_bar_(std::move(level_bar)) {}

void EndpointDetector::reset() {
  state_ = DetectorState::Waiting;
  silence_count_ = 0;
  stored_bytes_ = 0;
  dump_offset_ = 0;
  analysis_.begin_capture();
}

BufferStep EndpointDetector::process_buffer(std::span<const std::int16_t, kDetectorBufferSamples> buffer,
                                            std::int32_t bytes) {
  const float level = buffer_level(buffer);
  if (level_bar_) level_bar_(static_cast<int>(level));
  const float start = thresholds_.start.load(std::memory_order_relaxed);
  const float silence = thresholds_.silence.load(std::memory_order_relaxed);
  const auto recorded = buffer.first(static_cast<std::size_t>(std::clamp(bytes, 0, kDetectorBufferBytes) / 2));

  switch (state_) {
    case DetectorState::Waiting:
      if (level > start) {
        analysis_.store(0, recorded);
        first_buffer_features();
        state_ = DetectorState::Onset;
      }
      break;
    case DetectorState::Onset:
      // At least as loud as the start threshold confirms; anything quieter
      // gives the onset up, and the next loud buffer starts at sample 0 again.
      if (level >= start) {
        analysis_.store(bytes / 2, recorded);
        stored_bytes_ = 2 * bytes;
        next_buffer_features();
        state_ = DetectorState::InSpeech;
        count_silence(level, silence);
      } else {
        state_ = DetectorState::Waiting;
      }
      break;
    case DetectorState::InSpeech:
      count_silence(level, silence);
      analysis_.store(stored_bytes_ / 2, recorded);
      next_buffer_features();
      stored_bytes_ += bytes;
      break;
  }

  if (silence_count_ == kEndingSilenceCount || stored_bytes_ == kNormalUtteranceBytes) return BufferStep::finished;
  // Short buffers can step past the normal length; the sample buffer's end
  // then stops the capture without an utterance.
  if (stored_bytes_ >= kUtteranceCapacityBytes) return BufferStep::stop;
  return BufferStep::proceed;
}

void EndpointDetector::finish_utterance() {
  analysis_.set_capture_end(stored_bytes_ / 2);
  analysis_.finish_utterance_features();
}

// A net count: quiet buffers add, loud ones earn the hang-over back.
void EndpointDetector::count_silence(float level, float silence_threshold) {
  if (level < silence_threshold) {
    ++silence_count_;
  } else if (silence_count_ > 0) {
    --silence_count_;
  }
}

void EndpointDetector::first_buffer_features() {
  analysis_.first_buffer_features();
  dump_offset_ = 0;
  dump_next_block();
}

void EndpointDetector::next_buffer_features() {
  analysis_.next_buffer_features();
  dump_next_block();
}

void EndpointDetector::dump_next_block() {
  const std::span<const std::int16_t> samples = analysis_.samples();
  const std::size_t first = static_cast<std::size_t>(dump_offset_ / 2);
  if (dump_ != nullptr && first + kDetectorBufferSamples <= samples.size()) {
    dump_->append(samples.subspan(first, kDetectorBufferSamples));
  }
  dump_offset_ += kDetectorBufferBytes;
}

}  // namespace kws
