#include "audio/playback.h"

#include <algorithm>
#include <thread>

#include "platform/auto_reset_event.h"
#include "platform/message_sink.h"

namespace kws {
namespace {

constexpr int kSamplesPerFrame = 160;

void play_block(WaveOut& device, std::span<const std::int16_t> block) {
  if (!device.available() || !device.can_play()) return;
  AutoResetEvent buffer_done;
  if (!device.open(buffer_done)) {
    message_sink().device_console("\nFail to open waveform output device\n");
    return;
  }
  device.write(block);
  buffer_done.wait();
  device.reset();
  device.close();
}

}  // namespace

void play_frames(WaveOut& device, std::span<const std::int16_t> sample_buffer, int start_frame, int end_frame) {
  const auto first = static_cast<std::size_t>(std::max(start_frame, 0)) * kSamplesPerFrame;
  const auto last = std::min(static_cast<std::size_t>(std::max(end_frame, 0)) * kSamplesPerFrame, sample_buffer.size());
  if (last <= first) return;
  AutoResetEvent playback_finished;
  std::thread playback([&] {
    play_block(device, sample_buffer.subspan(first, last - first));
    playback_finished.set();
  });
  playback_finished.wait();
  playback.join();
}

void play_segment(WaveOut& device, const RecognitionOutcome& outcome, int position,
                  std::span<const std::int16_t> sample_buffer) {
  if (position < 0 || static_cast<std::size_t>(position) >= outcome.results.size()) return;
  const DisplayedResult& result = outcome.results[static_cast<std::size_t>(position)];
  play_frames(device, sample_buffer, result.start_frame, result.end_frame);
}

}  // namespace kws
