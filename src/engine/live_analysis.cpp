#include <algorithm>

#include "engine/engine.h"
#include "search/recognition_pass.h"
#include "search/state_scoring.h"
#include "search/utterance_workspace.h"

namespace kws {
namespace {

constexpr int kFirstBufferFrames = 9;
constexpr int kBufferFrames = 10;
constexpr std::int32_t kUnfinishedCaptureEnd = 1600;
// Frames whose 320 samples lie wholly in the sample buffer: 0..798.
constexpr int kLiveFrames = (kSampleBufferSamples - kFrameLength) / kFrameShift + 1;

}  // namespace

void LiveAnalysis::begin_capture() {
  Utterance& utterance = workspace_.tables().utterance;
  utterance.capture_start = 0;
  utterance.capture_end = kUnfinishedCaptureEnd;
  frame_count_ = 0;
}

void LiveAnalysis::store(std::int32_t offset, std::span<const std::int16_t> samples) {
  auto& buffer = workspace_.tables().sample_buffer;
  if (offset < 0 || offset >= kSampleBufferSamples) return;
  const auto count = std::min<std::size_t>(samples.size(), static_cast<std::size_t>(kSampleBufferSamples - offset));
  std::copy_n(samples.begin(), count, buffer.begin() + offset);
}

void LiveAnalysis::first_buffer_features() {
  UtteranceWorkspace& work = workspace_.tables();
  FrontEnd(data_.analysis, work.front_end).compute_static_frames(work.sample_buffer.data(), kFirstBufferFrames, 0);
  frame_count_ = kFirstBufferFrames;
}

void LiveAnalysis::next_buffer_features() {
  UtteranceWorkspace& work = workspace_.tables();
  const int n = frame_count_;
  // Frames past the sample buffer's end cannot be analysed; only a capture
  // fed with short buffers gets there, and it is never recognised.
  const int analysed = std::clamp(kLiveFrames - n, 0, kBufferFrames);
  FrontEnd(data_.analysis, work.front_end)
      .compute_static_frames(work.sample_buffer.data() + static_cast<std::ptrdiff_t>(kFrameShift) * n, analysed, n);
  frame_count_ = n + kBufferFrames;
  // The frames whose neighbours two ahead now exist; one may be done twice,
  // with the same result.
  delta_and_score(std::max(0, n - kBufferFrames), n + analysed);
}

void LiveAnalysis::finish_utterance_features() {
  delta_and_score(std::max(0, frame_count_ - kBufferFrames), std::min(frame_count_, kLiveFrames));
}

void LiveAnalysis::delta_and_score(int first_frame, int frame_count) {
  UtteranceWorkspace& work = workspace_.tables();
  FrontEnd front_end(data_.analysis, work.front_end);
  const int last = std::min(first_frame + kBufferFrames, frame_count);
  for (int t = first_frame; t < last; ++t) {
    front_end.compute_delta_frame(t, frame_count, work.features[static_cast<std::size_t>(t)]);
  }
  // Together: each state's Gaussians are read once for the buffer's frames.
  score_frame_range_mixture(data_, work, first_frame, last);
}

void LiveAnalysis::set_capture_end(std::int32_t samples) { workspace_.tables().utterance.capture_end = samples; }

std::int32_t LiveAnalysis::capture_end() const { return workspace_.tables().utterance.capture_end; }

RecognitionOutcome recognize(const Vocabulary& vocabulary, LiveAnalysis& captured, const PassOptions& options) {
  return recognize_captured_utterance(captured.data(), vocabulary, options, captured.workspace().tables());
}

SyllableLoopOutcome recognize_syllables(const Vocabulary& vocabulary, LiveAnalysis& captured,
                                        const PassOptions& options) {
  return recognize_captured_syllables(captured.data(), vocabulary, options, captured.workspace().tables());
}

}  // namespace kws
