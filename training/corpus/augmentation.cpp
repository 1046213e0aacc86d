#include "corpus/augmentation.h"

#include <soxr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "corpus/random_source.h"

namespace kws::corpus {

namespace {

constexpr double kSampleRate = 16000.0;

std::int16_t to_sample(double value) {
  return static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

double rms_of(const std::vector<double>& signal) {
  double sum = 0.0;
  for (const double value : signal) sum += value * value;
  return signal.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(signal.size()));
}

// The signal scaled to the RMS of the original, so a copy is as loud as its
// source and the trainer's level-sensitive units (silence) see the same range.
std::vector<std::int16_t> at_level_of(const std::vector<std::int16_t>& original, const std::vector<double>& signal) {
  std::vector<double> reference(original.begin(), original.end());
  const double have = rms_of(signal);
  const double gain = have > 0.0 ? rms_of(reference) / have : 1.0;
  std::vector<std::int16_t> out(signal.size());
  for (std::size_t i = 0; i < signal.size(); ++i) out[i] = to_sample(signal[i] * gain);
  return out;
}

// A second-order section in direct form I, coefficients normalised by a0.
struct Biquad {
  double b0, b1, b2, a1, a2;

  void run(std::vector<double>& signal) const {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (double& value : signal) {
      const double y = b0 * value + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
      x2 = x1;
      x1 = value;
      y2 = y1;
      y1 = y;
      value = y;
    }
  }
};

// The audio-EQ-cookbook filters, Q = 1/sqrt(2) for the pass filters.
Biquad normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

Biquad high_pass(double frequency) {
  const double w = 2.0 * std::numbers::pi * frequency / kSampleRate;
  const double alpha = std::sin(w) / (2.0 * std::numbers::sqrt2 / 2.0);
  const double c = std::cos(w);
  return normalised((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad low_pass(double frequency) {
  const double w = 2.0 * std::numbers::pi * frequency / kSampleRate;
  const double alpha = std::sin(w) / (2.0 * std::numbers::sqrt2 / 2.0);
  const double c = std::cos(w);
  return normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad high_shelf(double frequency, double gain_db) {
  const double a = std::pow(10.0, gain_db / 40.0);
  const double w = 2.0 * std::numbers::pi * frequency / kSampleRate;
  const double c = std::cos(w);
  const double alpha = std::sin(w) / 2.0 * std::numbers::sqrt2;  // shelf slope 1
  const double root = 2.0 * std::sqrt(a) * alpha;
  return normalised(a * ((a + 1) + (a - 1) * c + root), -2 * a * ((a - 1) + (a + 1) * c),
                    a * ((a + 1) + (a - 1) * c - root), (a + 1) - (a - 1) * c + root, 2 * ((a - 1) - (a + 1) * c),
                    (a + 1) - (a - 1) * c - root);
}

std::vector<Biquad> channel_filters(Channel channel) {
  switch (channel) {
    case Channel::kNone:
      return {};
    case Channel::kTelephone:  // the 300-3400 Hz band, fourth order at each edge
      return {high_pass(300), high_pass(300), low_pass(3400), low_pass(3400)};
    case Channel::kHeadset:  // close talking: little bass, a lift in the presence range
      return {high_pass(120), high_shelf(2500, 4.0)};
    case Channel::kBuiltIn:  // small capsule: thin and without the top octave
      return {high_pass(350), high_pass(350), low_pass(6500)};
    case Channel::kBright:
      return {high_shelf(1500, 6.0)};
    case Channel::kDull:
      return {high_shelf(1500, -6.0)};
  }
  return {};
}

const char* channel_name(Channel channel) {
  switch (channel) {
    case Channel::kNone:
      return "none";
    case Channel::kTelephone:
      return "telephone";
    case Channel::kHeadset:
      return "headset";
    case Channel::kBuiltIn:
      return "built-in";
    case Channel::kBright:
      return "bright";
    case Channel::kDull:
      return "dull";
  }
  return "none";
}

}  // namespace

std::string Perturbation::describe() const {
  char text[160];
  std::snprintf(text, sizeof text, "speed %.2f, warp %.3f, room %.2f s, channel %s, noise %.0f dB", speed, warp,
                reverberation_time, channel_name(channel), noise_snr_db);
  return text;
}

bool parse_augmentation_kinds(std::string_view text, AugmentationKinds& kinds) {
  if (text == "all") {
    kinds = {};
    return true;
  }
  AugmentationKinds parsed{false, false, false, false, false};
  if (text == "none") {
    kinds = parsed;
    return true;
  }
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view word = text.substr(0, comma);
    if (word == "speed") {
      parsed.speed = true;
    } else if (word == "warp") {
      parsed.warp = true;
    } else if (word == "reverb") {
      parsed.reverberation = true;
    } else if (word == "channel") {
      parsed.channel = true;
    } else if (word == "noise") {
      parsed.noise = true;
    } else {
      return false;
    }
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
  }
  kinds = parsed;
  return true;
}

Perturbation draw_perturbation(std::string_view name, int copy, const AugmentationKinds& kinds,
                               std::uint64_t run_seed) {
  RandomSource random(utterance_seed(name, run_seed ^ mix_64(static_cast<std::uint64_t>(copy))));
  Perturbation perturbation;
  // Every draw is made whether or not its kind is on, so switching one kind
  // off leaves the others' values as they were.
  static constexpr std::array<double, 3> kSpeeds{0.9, 1.0, 1.1};
  const double speed = kSpeeds[random.below(kSpeeds.size())];
  const double warp = 0.85 + 0.3 * random.uniform();
  const bool reverberant = random.uniform() < 0.4;
  const double reverberation_time = 0.15 + 0.45 * random.uniform();
  const bool coloured = random.uniform() < 0.6;
  const auto channel = static_cast<Channel>(1 + random.below(5));
  perturbation.seed = random.next();
  const bool noisy = random.uniform() < 0.7;
  const double snr_db = 10.0 + 30.0 * random.uniform();
  if (kinds.noise && noisy) perturbation.noise_snr_db = snr_db;
  if (kinds.speed) perturbation.speed = speed;
  if (kinds.warp) perturbation.warp = warp;
  if (kinds.reverberation && reverberant) perturbation.reverberation_time = reverberation_time;
  if (kinds.channel && coloured) perturbation.channel = channel;
  return perturbation;
}

std::vector<std::int16_t> change_speed(const std::vector<std::int16_t>& samples, double factor) {
  if (factor == 1.0 || samples.empty()) return samples;
  std::vector<float> input(samples.begin(), samples.end());
  std::vector<float> output(static_cast<std::size_t>(std::ceil(samples.size() / factor)) + 1);
  std::size_t produced = 0;
  // Played at 16 kHz, audio taken as recorded at 16 kHz x factor runs factor times faster.
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_error_t error = soxr_oneshot(kSampleRate * factor, kSampleRate, 1, input.data(), input.size(), nullptr,
                                          output.data(), output.size(), &produced, nullptr, &quality, nullptr);
  if (error != nullptr) return samples;
  std::vector<std::int16_t> out(produced);
  for (std::size_t i = 0; i < produced; ++i) out[i] = to_sample(output[i]);
  return out;
}

std::vector<std::int16_t> add_reverberation(const std::vector<std::int16_t>& samples, double reverberation_time,
                                            std::uint64_t seed) {
  if (reverberation_time <= 0.0 || samples.empty()) return samples;
  RandomSource random(seed);
  // Velvet noise: one signed pulse at a random place in every cell of a fixed
  // grid sounds like a dense diffuse tail, and its few taps make the
  // convolution cheap enough for a whole corpus.
  constexpr int kCell = 8;  // 2000 pulses a second
  const int start = static_cast<int>(0.004 * kSampleRate);
  const int length = static_cast<int>(std::min(reverberation_time, 0.8) * kSampleRate);
  const double direct_to_reverberant_db = 8.0 * random.uniform();
  struct Tap {
    int delay;
    double gain;
  };
  std::vector<Tap> taps;
  double tail_energy = 0.0;
  for (int cell = start; cell + kCell <= length; cell += kCell) {
    const int delay = cell + static_cast<int>(random.below(kCell));
    const double envelope = std::exp(-6.9078 * delay / (reverberation_time * kSampleRate));
    const double gain = (random.uniform() < 0.5 ? -1.0 : 1.0) * envelope;
    taps.push_back({delay, gain});
    tail_energy += gain * gain;
  }
  const double tail_scale =
      tail_energy > 0.0 ? std::sqrt(std::pow(10.0, -direct_to_reverberant_db / 10.0) / tail_energy) : 0.0;
  std::vector<double> signal(samples.begin(), samples.end());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double value = samples[i];
    if (value == 0.0) continue;
    for (const Tap& tap : taps) {
      const std::size_t at = i + static_cast<std::size_t>(tap.delay);
      if (at >= signal.size()) break;
      signal[at] += value * tap.gain * tail_scale;
    }
  }
  return at_level_of(samples, signal);
}

std::vector<std::int16_t> colour_channel(const std::vector<std::int16_t>& samples, Channel channel) {
  const std::vector<Biquad> filters = channel_filters(channel);
  if (filters.empty() || samples.empty()) return samples;
  std::vector<double> signal(samples.begin(), samples.end());
  for (const Biquad& filter : filters) filter.run(signal);
  return at_level_of(samples, signal);
}

std::vector<std::int16_t> pad_clipped_edges(const std::vector<std::int16_t>& samples, std::uint64_t seed) {
  constexpr std::size_t kEdge = 320;
  if (samples.size() < 4 * kEdge) return samples;
  double peak = 0.0;
  for (const std::int16_t value : samples) peak = std::max(peak, std::abs(static_cast<double>(value)));
  auto edge_peak = [&](std::size_t from) {
    double high = 0.0;
    for (std::size_t i = from; i < from + kEdge; ++i) high = std::max(high, std::abs(static_cast<double>(samples[i])));
    return high;
  };
  const double speech_level = peak * std::pow(10.0, -30.0 / 20.0);
  if (peak == 0.0 || (edge_peak(0) < speech_level && edge_peak(samples.size() - kEdge) < speech_level)) {
    return samples;
  }
  RandomSource random(seed);
  const double floor = peak * std::pow(10.0, -50.0 / 20.0);
  auto padding = [&] {
    std::vector<std::int16_t> noise(static_cast<std::size_t>((0.15 + 0.15 * random.uniform()) * kSampleRate));
    for (std::int16_t& value : noise) value = to_sample(floor * random.gaussian());
    return noise;
  };
  std::vector<std::int16_t> out = padding();
  out.insert(out.end(), samples.begin(), samples.end());
  const std::vector<std::int16_t> after = padding();
  out.insert(out.end(), after.begin(), after.end());
  return out;
}

std::vector<std::int16_t> add_coloured_noise(const std::vector<std::int16_t>& samples, double snr_db,
                                             std::uint64_t seed) {
  if (snr_db <= 0.0 || samples.empty()) return samples;
  RandomSource random(mix_64(seed));
  std::vector<double> noise(samples.size());
  for (double& value : noise) value = random.gaussian();
  high_shelf(500.0 + 3500.0 * random.uniform(), -15.0 + 30.0 * random.uniform()).run(noise);
  if (random.uniform() < 0.5) low_pass(2500.0 + 5000.0 * random.uniform()).run(noise);
  if (random.uniform() < 0.3) high_pass(60.0 + 340.0 * random.uniform()).run(noise);
  const std::vector<double> signal(samples.begin(), samples.end());
  const double noise_rms = rms_of(noise);
  const double gain = noise_rms > 0.0 ? rms_of(signal) * std::pow(10.0, -snr_db / 20.0) / noise_rms : 0.0;
  std::vector<std::int16_t> out(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) out[i] = to_sample(signal[i] + gain * noise[i]);
  return out;
}

std::vector<std::int16_t> perturb_audio(const std::vector<std::int16_t>& samples, const Perturbation& perturbation) {
  std::vector<std::int16_t> out = change_speed(samples, perturbation.speed);
  out = add_reverberation(out, perturbation.reverberation_time, perturbation.seed);
  out = colour_channel(out, perturbation.channel);
  return add_coloured_noise(out, perturbation.noise_snr_db, perturbation.seed);
}

}  // namespace kws::corpus
