#include "audio/capture.h"

#include <array>
#include <thread>

#include "platform/auto_reset_event.h"
#include "platform/message_sink.h"
#include "platform/thread_priority.h"

namespace kws {
namespace {

CaptureResult run_capture(WaveIn& device, EndpointDetector& detector, const std::atomic<std::int16_t>& keyword_toggle) {
  CaptureResult result;
  detector.reset();
  AutoResetEvent buffer_done;
  if (!device.open(buffer_done)) {
    message_sink().device_console("\nFail to open waveform input device\n");
    return result;
  }
  std::array<WaveBuffer, 2> buffers;
  for (WaveBuffer& buffer : buffers) device.add_buffer(buffer);
  device.start();

  std::size_t current = 0;
  while (true) {
    if (keyword_toggle.load(std::memory_order_relaxed) == kToggleIdle) {
      result.end = CaptureEnd::stopped;
      break;
    }
    buffer_done.wait();
    WaveBuffer& buffer = buffers[current];
    device.take_back(buffer);
    if (buffer.recorded_bytes == 0 && device.ended()) {
      // The recording is over: an utterance it cut off ends here.
      result.input_ended = true;
      result.end = CaptureEnd::input_ended;
      if (detector.state() == DetectorState::InSpeech) {
        detector.finish_utterance();
        result.end = CaptureEnd::utterance;
      }
      break;
    }
    const bool waiting = detector.state() == DetectorState::Waiting;
    const BufferStep step = detector.process_buffer(buffer.samples, buffer.recorded_bytes);
    if (waiting && detector.state() == DetectorState::Onset) result.stream_position = buffer.position;
    if (step == BufferStep::finished) {
      // The other queued buffer comes back too; its audio is not used.
      buffer_done.wait();
      detector.finish_utterance();
      result.end = CaptureEnd::utterance;
      break;
    }
    if (buffer.recorded_bytes < kWaveBufferBytes) message_sink().message_box("Less");
    device.add_buffer(buffer);
    current ^= 1;
    if (step == BufferStep::stop) {
      result.end = CaptureEnd::buffer_full;
      break;
    }
  }

  if (result.end == CaptureEnd::utterance) result.utterance_samples = detector.stored_bytes() / 2;

  const int reset = device.reset();
  message_sink().device_console(reset == kResetInvalidHandle ? " ERROR\n" : format_text("  x=%d\n", reset));
  device.stop();
  device.reset();
  for (WaveBuffer& buffer : buffers) device.take_back(buffer);
  device.close();
  return result;
}

}  // namespace

CaptureResult capture_utterance(WaveIn& device, EndpointDetector& detector,
                                const std::atomic<std::int16_t>& keyword_toggle) {
  CaptureResult result;
  AutoResetEvent capture_finished;
  std::thread capture([&] {
    set_current_thread_priority(ThreadPriority::time_critical);
    result = run_capture(device, detector, keyword_toggle);
    capture_finished.set();
  });
  capture_finished.wait();
  capture.join();
  return result;
}

}  // namespace kws
