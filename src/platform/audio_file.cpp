#include "platform/audio_file.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

#include "platform/message_sink.h"
#include "platform/token_reader.h"

namespace kws {
namespace {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

std::int16_t to_sample(float value) {
  const float scaled = std::nearbyint(value * 32768.0f);
  return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

LoadedAudio load_audio_file(const std::string& path) {
  LoadedAudio audio;
  SF_INFO info{};
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    audio.error = format_text("cannot read %s: it is a directory", path.c_str());
    return audio;
  }
  SndfileHandle file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    audio.error = format_text("cannot read %s: %s", path.c_str(), sf_strerror(nullptr));
    return audio;
  }
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
    audio.error = format_text("cannot read %s: no audio in it", path.c_str());
    return audio;
  }
  const auto frames = static_cast<std::size_t>(info.frames);
  if (info.samplerate == kStationSampleRate && info.channels == 1) {
    audio.samples.resize(frames);
    const sf_count_t read = sf_read_short(file.get(), audio.samples.data(), info.frames);
    audio.samples.resize(static_cast<std::size_t>(std::max<sf_count_t>(read, 0)));
    return audio;
  }

  std::vector<float> interleaved(frames * static_cast<std::size_t>(info.channels));
  const sf_count_t read = sf_readf_float(file.get(), interleaved.data(), info.frames);
  const auto read_frames = static_cast<std::size_t>(std::max<sf_count_t>(read, 0));
  std::vector<float> mono(read_frames);
  for (std::size_t frame = 0; frame < read_frames; ++frame) {
    double sum = 0.0;
    for (int channel = 0; channel < info.channels; ++channel) {
      sum += interleaved[frame * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(channel)];
    }
    mono[frame] = static_cast<float>(sum / info.channels);
  }

  std::vector<float> resampled = std::move(mono);
  if (info.samplerate != kStationSampleRate) {
    const double ratio = static_cast<double>(kStationSampleRate) / info.samplerate;
    std::vector<float> output(static_cast<std::size_t>(std::ceil(resampled.size() * ratio)) + 1);
    std::size_t produced = 0;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t error =
        soxr_oneshot(info.samplerate, kStationSampleRate, 1, resampled.data(), resampled.size(),
                     nullptr, output.data(), output.size(), &produced, nullptr, &quality, nullptr);
    if (error != nullptr) {
      audio.error = format_text("cannot resample %s: %s", path.c_str(), error);
      return audio;
    }
    output.resize(produced);
    resampled = std::move(output);
  }
  audio.samples.reserve(resampled.size());
  for (const float value : resampled) audio.samples.push_back(to_sample(value));
  audio.note = format_text("%s: converted from %d Hz, %d channel%s to 16000 Hz mono", path.c_str(),
                           info.samplerate, info.channels, info.channels == 1 ? "" : "s");
  return audio;
}

LoadedAudio load_raw_samples(const std::string& path) {
  LoadedAudio audio;
  const std::optional<std::string> bytes = read_file_bytes(path);
  if (!bytes) {
    audio.error = format_text("cannot read %s", path.c_str());
    return audio;
  }
  audio.samples.resize(bytes->size() / 2);
  for (std::size_t i = 0; i < audio.samples.size(); ++i) {
    const auto low = static_cast<unsigned char>((*bytes)[2 * i]);
    const auto high = static_cast<unsigned char>((*bytes)[2 * i + 1]);
    audio.samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
  }
  return audio;
}

std::string write_wav_file(const std::string& path, std::span<const std::int16_t> samples) {
  SF_INFO info{};
  info.samplerate = kStationSampleRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SndfileHandle file(sf_open(path.c_str(), SFM_WRITE, &info));
  if (!file) return format_text("cannot write %s: %s", path.c_str(), sf_strerror(nullptr));
  const auto count = static_cast<sf_count_t>(samples.size());
  if (sf_write_short(file.get(), samples.data(), count) != count) {
    return format_text("cannot write %s: %s", path.c_str(), sf_strerror(file.get()));
  }
  return {};
}

}  // namespace kws
