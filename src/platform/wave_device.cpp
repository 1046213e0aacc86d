#include "platform/wave_device.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "platform/portaudio_device.h"
#include "platform/queued_wave_in.h"

namespace kws {
namespace {

// A recording as the microphone. The read position survives closing and
// opening again, as time does for a real microphone, so a calibration and
// the captures after it hear successive stretches.
class RecordingWaveIn final : public QueuedWaveIn {
 public:
  RecordingWaveIn(std::vector<std::int16_t> samples, bool real_time)
      : QueuedWaveIn(real_time), samples_(std::move(samples)) {}
  ~RecordingWaveIn() override { shut_down(); }

  bool can_record() override { return true; }

 protected:
  bool open_source(std::string&) override { return true; }
  bool source_exhausted() const override { return next_ >= samples_.size(); }

  // The last stretch comes as a whole buffer, padded with digital silence.
  int read_source(std::span<std::int16_t, kWaveBufferSamples> block, std::string&) override {
    const std::size_t left = samples_.size() - std::min(next_, samples_.size());
    if (left == 0) {
      std::fill(block.begin(), block.end(), std::int16_t{0});
      return 0;
    }
    const std::size_t taken = std::min<std::size_t>(left, kWaveBufferSamples);
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(next_), taken, block.begin());
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(taken), block.end(), std::int16_t{0});
    next_ += taken;
    return kWaveBufferSamples;
  }

 private:
  const std::vector<std::int16_t> samples_;
  std::size_t next_ = 0;  // touched by the device thread only while it runs
};

class NullWaveIn final : public WaveIn {
 public:
  bool can_record() override { return true; }
  bool open(AutoResetEvent&) override { return false; }
  void add_buffer(WaveBuffer&) override {}
  void start() override {}
  void take_back(WaveBuffer&) override {}
  int reset() override { return kResetInvalidHandle; }
  void stop() override {}
  void close() override {}
  bool ended() const override { return true; }
  std::string error() const override { return "the null device cannot be opened"; }
};

class NullWaveOut final : public WaveOut {
 public:
  bool available() override { return true; }
  bool can_play() override { return true; }
  bool open(AutoResetEvent&) override { return false; }
  void write(std::span<const std::int16_t>) override {}
  int reset() override { return kResetInvalidHandle; }
  void close() override {}
  std::string error() const override { return "the null device cannot be opened"; }
};

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

// Playback into a WAV file: every block written is appended, and the header
// is kept current after each, so the file is whole whenever it is read.
class WavFileWaveOut final : public WaveOut {
 public:
  explicit WavFileWaveOut(SNDFILE* file) : file_(file) {}

  bool available() override { return true; }
  bool can_play() override { return true; }
  bool open(AutoResetEvent& buffer_done) override {
    buffer_done_ = &buffer_done;
    return true;
  }
  void write(std::span<const std::int16_t> samples) override {
    if (buffer_done_ == nullptr) return;
    const auto count = static_cast<sf_count_t>(samples.size());
    if (sf_write_short(file_.get(), samples.data(), count) != count) {
      error_ = sf_strerror(file_.get());
    }
    sf_write_sync(file_.get());
    buffer_done_->set();
  }
  int reset() override { return buffer_done_ == nullptr ? kResetInvalidHandle : 0; }
  void close() override { buffer_done_ = nullptr; }
  std::string error() const override { return error_; }

 private:
  std::unique_ptr<SNDFILE, SndfileCloser> file_;
  AutoResetEvent* buffer_done_ = nullptr;
  std::string error_;
};

bool headerless(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".raw" || extension == ".pcm";
}

WaveInChoice recording_wave_in(const std::string& path, bool real_time) {
  LoadedAudio audio = headerless(path) ? load_raw_samples(path) : load_audio_file(path);
  if (!audio.ok()) return {nullptr, audio.error};
  return {make_sample_wave_in(std::move(audio.samples), real_time), {}};
}

WaveOutChoice wav_file_wave_out(const std::string& path) {
  SF_INFO info{};
  info.samplerate = kStationSampleRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return {nullptr, format_text("cannot write %s: %s", path.c_str(), sf_strerror(nullptr))};
  sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  return {std::make_unique<WavFileWaveOut>(file), {}};
}

// "kind:rest" into kind and rest; a SPEC without a colon is all kind.
std::pair<std::string_view, std::string_view> split_spec(std::string_view spec) {
  const std::size_t colon = spec.find(':');
  if (colon == std::string_view::npos) return {spec, {}};
  return {spec.substr(0, colon), spec.substr(colon + 1)};
}

constexpr const char* kSpecForms =
    "expected portaudio:default, portaudio:N, portaudio:NAME, file:PATH, file-fast:PATH or null";

std::string environment_or(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

std::unique_ptr<WaveIn> make_sample_wave_in(std::vector<std::int16_t> samples, bool real_time) {
  return std::make_unique<RecordingWaveIn>(std::move(samples), real_time);
}

std::unique_ptr<WaveIn> make_null_wave_in() { return std::make_unique<NullWaveIn>(); }
std::unique_ptr<WaveOut> make_null_wave_out() { return std::make_unique<NullWaveOut>(); }

WaveInChoice make_wave_in(std::string_view spec) {
  const auto [kind, rest] = split_spec(spec);
  if (kind == "null" && rest.empty()) return {make_null_wave_in(), {}};
  if ((kind == "file" || kind == "file-fast") && !rest.empty())
    return recording_wave_in(std::string(rest), kind == "file");
  if (kind == "portaudio") return make_portaudio_wave_in(rest.empty() ? "default" : rest);
  return {nullptr,
          format_text("unknown audio input '%.*s': %s", static_cast<int>(spec.size()), spec.data(), kSpecForms)};
}

WaveOutChoice make_wave_out(std::string_view spec) {
  const auto [kind, rest] = split_spec(spec);
  if (kind == "null" && rest.empty()) return {make_null_wave_out(), {}};
  if ((kind == "file" || kind == "file-fast") && !rest.empty()) return wav_file_wave_out(std::string(rest));
  if (kind == "portaudio") return make_portaudio_wave_out(rest.empty() ? "default" : rest);
  return {nullptr,
          format_text("unknown audio output '%.*s': %s", static_cast<int>(spec.size()), spec.data(), kSpecForms)};
}

std::string default_wave_in_spec() { return environment_or("KWS_AUDIO_IN", "portaudio:default"); }
std::string default_wave_out_spec() { return environment_or("KWS_AUDIO_OUT", "portaudio:default"); }

SoundDeviceList list_sound_devices() { return list_portaudio_devices(); }

}  // namespace kws
