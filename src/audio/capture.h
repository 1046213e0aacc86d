// Recording one utterance: the capture thread keeps two 100 ms buffers
// queued on the input device, hands each returned buffer to the endpoint
// detector and closes the device when the utterance is over, the user stops,
// the buffer is full or the input has ended.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/endpoint_detector.h"
#include "platform/wave_device.h"

namespace kws {

// The keyword toggle: idle (a capture in progress stops), or live
// recognition running.
inline constexpr std::int16_t kToggleIdle = 1;
inline constexpr std::int16_t kToggleRunning = -1;

enum class CaptureEnd {
  utterance,    // the detector ended an utterance; it is ready for the pass
  stopped,      // the toggle went idle
  buffer_full,  // short buffers filled the sample buffer without an end
  no_device,    // the device could not be opened
  input_ended,  // the source ran out (or failed) before an utterance ended
};

struct CaptureResult {
  CaptureEnd end = CaptureEnd::no_device;
  // The source has no more audio (a recording at its end, a failed device);
  // also set when its end completed the utterance.
  bool input_ended = false;
  // Sample index, in the device's stream, of the utterance's sample 0, and
  // the utterance's length in samples (when it ended as an utterance).
  std::int64_t stream_position = 0;
  std::int32_t utterance_samples = 0;
};

// Runs one capture on a thread of its own at the highest priority the system
// grants and waits for it. The detector's analysis holds the utterance
// afterwards; a capture that did not end with an utterance leaves its length
// at 1600 samples, which the pass refuses.
CaptureResult capture_utterance(WaveIn& device, EndpointDetector& detector,
                                const std::atomic<std::int16_t>& keyword_toggle);

}  // namespace kws
