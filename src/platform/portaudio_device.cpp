#include "platform/portaudio_device.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <charconv>
#include <mutex>
#include <thread>

#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "platform/queued_wave_in.h"

namespace kws {
namespace {

// PortAudio is initialised once for the process and left to the end. Its
// host APIs (ALSA, JACK) print their probing on standard error; that noise is
// held back while they start.
class PortAudioLibrary {
 public:
  static const PortAudioLibrary& get() {
    static const PortAudioLibrary library;
    return library;
  }
  bool ready() const { return error_ == paNoError; }
  std::string error() const { return format_text("PortAudio: %s", Pa_GetErrorText(error_)); }

 private:
  PortAudioLibrary() {
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && quiet >= 0) dup2(quiet, STDERR_FILENO);
    error_ = Pa_Initialize();
    if (saved >= 0) {
      dup2(saved, STDERR_FILENO);
      ::close(saved);
    }
    if (quiet >= 0) ::close(quiet);
  }
  ~PortAudioLibrary() {
    if (ready()) Pa_Terminate();
  }

  PaError error_ = paNotInitialized;
};

// The device NAME selects, for input or output; paNoDevice and the reason
// when there is none.
PaDeviceIndex find_device(std::string_view name, bool input, std::string& error) {
  const PortAudioLibrary& library = PortAudioLibrary::get();
  if (!library.ready()) {
    error = library.error();
    return paNoDevice;
  }
  const auto usable = [input](const PaDeviceInfo* info) {
    return info != nullptr && (input ? info->maxInputChannels : info->maxOutputChannels) > 0;
  };
  const char* direction = input ? "input" : "output";
  if (name == "default") {
    const PaDeviceIndex device = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    if (device == paNoDevice) error = format_text("there is no default %s sound device", direction);
    return device;
  }
  const PaDeviceIndex count = Pa_GetDeviceCount();
  int index = -1;
  const auto [end, failure] = std::from_chars(name.data(), name.data() + name.size(), index);
  if (failure == std::errc() && end == name.data() + name.size()) {
    if (index >= 0 && index < count && usable(Pa_GetDeviceInfo(index))) return index;
    error = format_text("there is no %s sound device %d (see kws devices)", direction, index);
    return paNoDevice;
  }
  PaDeviceIndex partial = paNoDevice;
  int partial_matches = 0;
  for (PaDeviceIndex device = 0; device < count; ++device) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!usable(info)) continue;
    const std::string_view device_name = info->name;
    if (device_name == name) return device;
    if (device_name.find(name) != std::string_view::npos) {
      partial = device;
      ++partial_matches;
    }
  }
  if (partial_matches == 1) return partial;
  error = format_text(partial_matches == 0 ? "there is no %s sound device called '%.*s' (see kws devices)"
                                           : "several %s sound devices match '%.*s' (see kws devices)",
                      direction, static_cast<int>(name.size()), name.data());
  return paNoDevice;
}

PaStreamParameters station_format(PaDeviceIndex device, bool input) {
  PaStreamParameters parameters{};
  parameters.device = device;
  parameters.channelCount = 1;
  parameters.sampleFormat = paInt16;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  parameters.suggestedLatency =
      info == nullptr ? 0.1 : (input ? info->defaultHighInputLatency : info->defaultHighOutputLatency);
  return parameters;
}

std::string pa_text(const char* what, PaError error) { return format_text("%s: %s", what, Pa_GetErrorText(error)); }

class PortAudioWaveIn final : public QueuedWaveIn {
 public:
  explicit PortAudioWaveIn(PaDeviceIndex device) : QueuedWaveIn(false), device_(device) {}
  ~PortAudioWaveIn() override {
    shut_down();
    close_source();
  }

  bool can_record() override {
    const PaStreamParameters parameters = station_format(device_, true);
    return Pa_IsFormatSupported(&parameters, nullptr, kStationSampleRate) == paFormatIsSupported;
  }

 protected:
  bool open_source(std::string& error) override {
    const PaStreamParameters parameters = station_format(device_, true);
    const PaError result = Pa_OpenStream(&stream_, &parameters, nullptr, kStationSampleRate, kWaveBufferSamples,
                                         paClipOff, nullptr, nullptr);
    if (result == paNoError) return true;
    stream_ = nullptr;
    error = pa_text("cannot open the sound input", result);
    return false;
  }
  bool start_source(std::string& error) override {
    const PaError result = Pa_StartStream(stream_);
    if (result == paNoError) return true;
    error = pa_text("cannot start the sound input", result);
    return false;
  }
  int read_source(std::span<std::int16_t, kWaveBufferSamples> block, std::string& error) override {
    const PaError result = Pa_ReadStream(stream_, block.data(), kWaveBufferSamples);
    // An overflow lost audio before this block; the block itself is whole.
    if (result == paNoError || result == paInputOverflowed) return kWaveBufferSamples;
    std::fill(block.begin(), block.end(), std::int16_t{0});
    error = pa_text("the sound input failed", result);
    return 0;
  }
  void stop_source() override {
    if (stream_ != nullptr && Pa_IsStreamStopped(stream_) == 0) Pa_StopStream(stream_);
  }
  void close_source() override {
    if (stream_ == nullptr) return;
    Pa_CloseStream(stream_);
    stream_ = nullptr;
  }

 private:
  const PaDeviceIndex device_;
  PaStream* stream_ = nullptr;
};

class PortAudioWaveOut final : public WaveOut {
 public:
  explicit PortAudioWaveOut(PaDeviceIndex device) : device_(device) {}
  ~PortAudioWaveOut() override { close(); }

  bool available() override { return Pa_GetDeviceCount() > 0; }
  bool can_play() override {
    const PaStreamParameters parameters = station_format(device_, false);
    return Pa_IsFormatSupported(nullptr, &parameters, kStationSampleRate) == paFormatIsSupported;
  }
  bool open(AutoResetEvent& buffer_done) override {
    if (stream_ != nullptr) return false;
    const PaStreamParameters parameters = station_format(device_, false);
    const PaError result = Pa_OpenStream(&stream_, nullptr, &parameters, kStationSampleRate, kWaveBufferSamples,
                                         paClipOff, nullptr, nullptr);
    if (result != paNoError) {
      stream_ = nullptr;
      error_ = pa_text("cannot open the sound output", result);
      return false;
    }
    buffer_done_ = &buffer_done;
    return true;
  }
  // Played on a thread of its own; done is signalled however it ends.
  void write(std::span<const std::int16_t> samples) override {
    if (stream_ == nullptr || player_.joinable()) return;
    player_ = std::thread([this, samples] {
      PaError result = Pa_StartStream(stream_);
      if (result == paNoError) {
        result = Pa_WriteStream(stream_, samples.data(), static_cast<unsigned long>(samples.size()));
        // Stopping waits until the last sample has been played.
        const PaError stopped = Pa_StopStream(stream_);
        if (result == paNoError || result == paOutputUnderflowed) result = stopped;
      }
      if (result != paNoError && result != paStreamIsStopped) {
        std::lock_guard lock(mutex_);
        error_ = pa_text("the sound output failed", result);
      }
      buffer_done_->set();
    });
  }
  int reset() override {
    if (stream_ == nullptr) return kResetInvalidHandle;
    if (player_.joinable()) {
      Pa_AbortStream(stream_);
      player_.join();
    }
    return 0;
  }
  void close() override {
    if (stream_ == nullptr) return;
    reset();
    Pa_CloseStream(stream_);
    stream_ = nullptr;
    buffer_done_ = nullptr;
  }
  std::string error() const override {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  const PaDeviceIndex device_;
  PaStream* stream_ = nullptr;
  AutoResetEvent* buffer_done_ = nullptr;
  std::thread player_;
  mutable std::mutex mutex_;
  std::string error_;
};

}  // namespace

WaveInChoice make_portaudio_wave_in(std::string_view name) {
  std::string error;
  const PaDeviceIndex device = find_device(name, true, error);
  if (device == paNoDevice) return {nullptr, error};
  return {std::make_unique<PortAudioWaveIn>(device), {}};
}

WaveOutChoice make_portaudio_wave_out(std::string_view name) {
  std::string error;
  const PaDeviceIndex device = find_device(name, false, error);
  if (device == paNoDevice) return {nullptr, error};
  return {std::make_unique<PortAudioWaveOut>(device), {}};
}

SoundDeviceList list_portaudio_devices() {
  SoundDeviceList list;
  const PortAudioLibrary& library = PortAudioLibrary::get();
  if (!library.ready()) {
    list.error = library.error();
    return list;
  }
  const PaDeviceIndex default_input = Pa_GetDefaultInputDevice();
  const PaDeviceIndex default_output = Pa_GetDefaultOutputDevice();
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex device = 0; device < count; ++device) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr) continue;
    const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
    SoundDevice entry;
    entry.spec = format_text("portaudio:%d", device);
    entry.name = host == nullptr ? info->name : format_text("%s (%s)", info->name, host->name);
    entry.input_channels = info->maxInputChannels;
    entry.output_channels = info->maxOutputChannels;
    entry.is_default_input = device == default_input;
    entry.is_default_output = device == default_output;
    list.devices.push_back(std::move(entry));
  }
  return list;
}

}  // namespace kws
