// Sound devices as the capture, calibration and playback code use them: the
// queued-buffer model of a wave-input service (the caller queues buffers, the
// device fills them in order and gives a buffer-done notice for each) and a
// wave-output device that plays one block and says when it is done.
//
// The format is always 16 kHz mono 16-bit PCM. Back-ends:
//
//   portaudio:default | portaudio:N | portaudio:NAME   a sound device
//   file:PATH        a recording plays the microphone at real time
//                    (WAV, FLAC, ... converted as kws reads them; .raw and
//                    .pcm are headerless 16-bit little-endian 16 kHz mono);
//                    for output, a WAV file that every playback appends to
//   file-fast:PATH   the same, delivered as fast as the consumer takes it
//   null             a device that is never there (open fails)
//
// Waits in the callers have no time-out, so a device never leaves a notice
// unsent: every queued buffer comes back, with the audio it got, when it is
// full, when the device is reset, when the recording ends or when the device
// fails.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/auto_reset_event.h"

namespace kws {

inline constexpr int kWaveBufferSamples = 1600;  // 100 ms
inline constexpr int kWaveBufferBytes = 2 * kWaveBufferSamples;
inline constexpr int kResetInvalidHandle = 5;  // what reset returns for a device that is not open

struct WaveBuffer {
  std::array<std::int16_t, kWaveBufferSamples> samples{};
  std::int32_t recorded_bytes = 0;  // set by the device when it returns the buffer
  std::int64_t position = 0;        // sample index of samples[0] in the device's stream
};

class WaveIn {
 public:
  virtual ~WaveIn() = default;

  // Whether the device can record 16 kHz mono 16-bit at all.
  virtual bool can_record() = 0;
  // Opens the device; buffer_done is set once for every buffer it returns,
  // in queue order, and never again for one buffer until the caller has
  // taken the previous one back. False, with error() saying why, on failure.
  virtual bool open(AutoResetEvent& buffer_done) = 0;
  // Queues a buffer; it belongs to the device until it is taken back.
  virtual void add_buffer(WaveBuffer& buffer) = 0;
  virtual void start() = 0;
  // Takes back the oldest returned buffer, before the caller reads it.
  virtual void take_back(WaveBuffer& buffer) = 0;
  // Returns every pending buffer; 0, or kResetInvalidHandle when not open.
  virtual int reset() = 0;
  virtual void stop() = 0;
  virtual void close() = 0;
  // The source has no more audio (a recording at its end, or a device that
  // failed): every buffer from now on comes back empty.
  virtual bool ended() const = 0;
  virtual std::string error() const = 0;
};

class WaveOut {
 public:
  virtual ~WaveOut() = default;

  // Whether there is an output device, and whether it plays 16 kHz mono 16-bit.
  virtual bool available() = 0;
  virtual bool can_play() = 0;
  // Opens the device; buffer_done is set when a written block has been played
  // (or could not be). False, with error() saying why, on failure.
  virtual bool open(AutoResetEvent& buffer_done) = 0;
  // Plays a block; the samples must stay valid until buffer_done is set.
  virtual void write(std::span<const std::int16_t> samples) = 0;
  virtual int reset() = 0;
  virtual void close() = 0;
  virtual std::string error() const = 0;
};

// A device from its SPEC (see above); nullptr and the reason for a SPEC that
// names nothing usable (an unknown kind, a file that cannot be read).
struct WaveInChoice {
  std::unique_ptr<WaveIn> device;
  std::string error;
};
struct WaveOutChoice {
  std::unique_ptr<WaveOut> device;
  std::string error;
};
WaveInChoice make_wave_in(std::string_view spec);
WaveOutChoice make_wave_out(std::string_view spec);

// The SPEC when none is given: KWS_AUDIO_IN or KWS_AUDIO_OUT, else the
// default sound device.
std::string default_wave_in_spec();
std::string default_wave_out_spec();

// A recording as a microphone, from samples already at hand.
std::unique_ptr<WaveIn> make_sample_wave_in(std::vector<std::int16_t> samples, bool real_time);
// A device whose open always fails.
std::unique_ptr<WaveIn> make_null_wave_in();
std::unique_ptr<WaveOut> make_null_wave_out();

// The sound devices the system has, with the SPEC that selects each.
struct SoundDevice {
  std::string spec;
  std::string name;
  int input_channels = 0;
  int output_channels = 0;
  bool is_default_input = false;
  bool is_default_output = false;
};
struct SoundDeviceList {
  std::vector<SoundDevice> devices;
  std::string error;  // why the list could not be had
};
SoundDeviceList list_sound_devices();

}  // namespace kws
