#include "corpus/utterance_audio.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "platform/audio_file.h"
#include "platform/message_sink.h"

namespace kws::corpus {
namespace {

// Samples this far below the peak count as the synthesiser's silence: its
// voices end in a low tail a few samples high that is no speech.
constexpr double kTrimBelowPeakDb = 50.0;

// Around the trimmed speech: 10 ms, so that a soft onset is not cut.
constexpr std::size_t kTrimMarginMilliseconds = 10;

// The synthesiser's voices peak at up to -1 dBFS. Half their level leaves
// room for the noise: speech and noise at 0 dB SNR rarely reach full scale.
constexpr double kSpeechGain = 0.5;

// Silence before and after the speech, drawn per utterance: the station's
// endpointing and the filler models see varied but always present quiet.
constexpr std::uint64_t kFewestPaddingSamples = kStationSampleRate * 150 / 1000;
constexpr std::uint64_t kMostPaddingSamples = kStationSampleRate * 450 / 1000;

// A floor of white noise this far below the speech, so that no stretch of the
// corpus is digital zero (which real recordings never are and which gives
// log energies of minus infinity).
constexpr double kFloorLeastDb = 45.0;
constexpr double kFloorMostDb = 50.0;

std::int16_t to_16_bit(float value, std::size_t& clipped) {
  const float scaled = std::nearbyint(value * 32768.0f);
  if (scaled > 32767.0f || scaled < -32768.0f) ++clipped;
  return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

SampleSpan speech_extent(std::span<const float> samples, std::size_t margin) {
  float peak = 0.0f;
  for (const float sample : samples) peak = std::max(peak, std::fabs(sample));
  if (peak <= 0.0f) return {};
  const auto threshold = static_cast<float>(peak * std::pow(10.0, -kTrimBelowPeakDb / 20.0));
  const auto loud = [threshold](float sample) { return std::fabs(sample) >= threshold; };
  const auto first = static_cast<std::size_t>(std::find_if(samples.begin(), samples.end(), loud) - samples.begin());
  const auto last = static_cast<std::size_t>(samples.rend() - std::find_if(samples.rbegin(), samples.rend(), loud));
  return {first > margin ? first - margin : 0, std::min(samples.size(), last + margin)};
}

std::optional<std::vector<float>> speech_at_station_rate(std::span<const float> samples, int sample_rate,
                                                         std::string& error) {
  const SampleSpan extent =
      speech_extent(samples, static_cast<std::size_t>(sample_rate) * kTrimMarginMilliseconds / 1000);
  if (extent.begin >= extent.end) {
    error = "the synthesiser produced silence";
    return std::nullopt;
  }
  const std::span<const float> speech = samples.subspan(extent.begin, extent.end - extent.begin);
  if (sample_rate == kStationSampleRate) return std::vector<float>(speech.begin(), speech.end());

  const double ratio = static_cast<double>(kStationSampleRate) / sample_rate;
  std::vector<float> output(static_cast<std::size_t>(std::ceil(static_cast<double>(speech.size()) * ratio)) + 1);
  std::size_t produced = 0;
  // Float in and out: soxr dithers only when it rounds to integers, and the
  // rounding to 16 bits comes last here, after the noise.
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_error_t failure = soxr_oneshot(sample_rate, kStationSampleRate, 1, speech.data(), speech.size(), nullptr,
                                            output.data(), output.size(), &produced, nullptr, &quality, nullptr);
  if (failure != nullptr) {
    error = format_text("cannot resample from %d Hz: %s", sample_rate, failure);
    return std::nullopt;
  }
  output.resize(produced);
  return output;
}

RenderedUtterance render_utterance(std::span<const float> speech, NoiseKind noise, double snr_db,
                                   const BabbleBank* babble, std::uint64_t seed) {
  if (speech.empty()) throw std::invalid_argument("no speech to render");
  RandomSource random(seed);
  const std::size_t leading = kFewestPaddingSamples + random.below(kMostPaddingSamples - kFewestPaddingSamples + 1);
  const std::size_t trailing = kFewestPaddingSamples + random.below(kMostPaddingSamples - kFewestPaddingSamples + 1);
  const SampleSpan span{leading, leading + speech.size()};

  std::vector<float> mixture(leading + speech.size() + trailing, 0.0f);
  for (std::size_t i = 0; i < speech.size(); ++i) mixture[span.begin + i] = static_cast<float>(kSpeechGain * speech[i]);
  const double speech_power = mean_power(std::span<const float>(mixture).subspan(span.begin, speech.size()));

  const double floor_db = kFloorLeastDb + (kFloorMostDb - kFloorLeastDb) * random.uniform();
  const double floor_level = std::sqrt(speech_power) * std::pow(10.0, -floor_db / 20.0);
  for (float& sample : mixture) sample += static_cast<float>(floor_level * random.gaussian());

  if (noise != NoiseKind::none) {
    std::vector<float> added;
    if (noise == NoiseKind::white) added = white_noise(mixture.size(), random);
    if (noise == NoiseKind::pink) added = pink_noise(mixture.size(), random);
    if (noise == NoiseKind::babble) {
      if (babble == nullptr) throw std::invalid_argument("babble noise without a babble bank");
      added = babble->babble(mixture.size(), random);
    }
    add_noise_at_snr(mixture, added, speech_power, span, snr_db);
  }

  RenderedUtterance rendered;
  rendered.speech = span;
  rendered.samples.reserve(mixture.size());
  for (const float sample : mixture) rendered.samples.push_back(to_16_bit(sample, rendered.clipped_samples));
  return rendered;
}

}  // namespace kws::corpus
