// Playing back the piece of the last utterance that a result stands for.
#pragma once

#include <cstdint>
#include <span>

#include "engine/engine.h"
#include "platform/wave_device.h"

namespace kws {

// Plays the samples of frames [start_frame, end_frame) of the sample buffer
// (frame f starts at sample 160 f) on a playback thread and waits until they
// have been played. Nothing plays when the end is not after the start, or
// when the device is missing, cannot play the format or cannot be opened.
void play_frames(WaveOut& device, std::span<const std::int16_t> sample_buffer, int start_frame, int end_frame);

// The result at display position k of a pass (0 for the first shown).
void play_segment(WaveOut& device, const RecognitionOutcome& outcome, int position,
                  std::span<const std::int16_t> sample_buffer);

}  // namespace kws
