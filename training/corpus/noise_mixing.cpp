#include "corpus/noise_mixing.h"

#include <cmath>
#include <numbers>
#include <numeric>
#include <stdexcept>

namespace kws::corpus {

double mean_power(std::span<const float> samples) {
  if (samples.empty()) return 0.0;
  double sum = 0.0;
  for (const float sample : samples) sum += static_cast<double>(sample) * sample;
  return sum / static_cast<double>(samples.size());
}

std::vector<float> white_noise(std::size_t length, RandomSource& random) {
  std::vector<float> noise(length);
  for (float& sample : noise) sample = static_cast<float>(random.gaussian());
  return noise;
}

std::vector<float> pink_noise(std::size_t length, RandomSource& random) {
  // Paul Kellett's filter of white noise: six first-order sections whose sum
  // falls 3 dB per octave to within 0.05 dB. The coefficients were made for
  // 44.1 kHz; at 16 kHz the same filter is pink from about 3 Hz up, which
  // covers the whole band.
  //
  // A first-order high-pass at about 50 Hz follows. Pink noise holds as much
  // power in 3..50 Hz as in 50..800 Hz, and the front end hears nothing
  // down there: counted in the ratio, it would make the noise that matters
  // weaker than the recipe says, and its slow swell would change the level
  // from one second to the next. For unit white noise, the output of both
  // has a standard deviation of about 2.27; dividing by that makes it about 1.
  constexpr double kHighPassPole = 1.0 - 2.0 * std::numbers::pi * 50.0 / 16000.0;
  double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  double previous_pink = 0.0, high_passed = 0.0;
  std::vector<float> noise(length);
  for (float& sample : noise) {
    const double white = random.gaussian();
    b0 = 0.99886 * b0 + white * 0.0555179;
    b1 = 0.99332 * b1 + white * 0.0750759;
    b2 = 0.96900 * b2 + white * 0.1538520;
    b3 = 0.86650 * b3 + white * 0.3104856;
    b4 = 0.55000 * b4 + white * 0.5329522;
    b5 = -0.7616 * b5 - white * 0.0168980;
    const double pink = (b0 + b1 + b2 + b3 + b4 + b5 + b6 + white * 0.5362) / 2.27;
    b6 = white * 0.115926;
    high_passed = pink - previous_pink + kHighPassPole * high_passed;
    previous_pink = pink;
    sample = static_cast<float>(high_passed);
  }
  return noise;
}

BabbleBank::BabbleBank(std::vector<std::vector<float>> talkers) : talkers_(std::move(talkers)) {
  if (talkers_.size() < static_cast<std::size_t>(kMostTalkers)) {
    throw std::invalid_argument("a babble bank needs at least 6 talkers");
  }
  for (std::vector<float>& talker : talkers_) {
    const double power = mean_power(talker);
    if (power <= 0.0) throw std::invalid_argument("a babble talker is silent");
    const auto scale = static_cast<float>(1.0 / std::sqrt(power));
    for (float& sample : talker) sample *= scale;
  }
}

std::vector<float> BabbleBank::babble(std::size_t length, RandomSource& random) const {
  const auto count = static_cast<std::size_t>(kFewestTalkers) +
                     static_cast<std::size_t>(random.below(kMostTalkers - kFewestTalkers + 1));
  // The first count entries of a seeded shuffle: different talkers, no repeats.
  std::vector<std::size_t> order(talkers_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  for (std::size_t i = 0; i < count; ++i) std::swap(order[i], order[i + random.below(order.size() - i)]);

  std::vector<float> mixture(length, 0.0f);
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<float>& talker = talkers_[order[i]];
    std::size_t position = random.below(talker.size());
    for (float& sample : mixture) {
      sample += talker[position];
      if (++position == talker.size()) position = 0;
    }
  }
  return mixture;
}

double add_noise_at_snr(std::span<float> mixture, std::span<const float> noise, double speech_power,
                        SampleSpan speech, double snr_db) {
  if (noise.size() < mixture.size() || speech.end > mixture.size() || speech.begin >= speech.end) {
    throw std::invalid_argument("noise shorter than the mixture, or no speech span");
  }
  const double noise_power = mean_power(noise.subspan(speech.begin, speech.end - speech.begin));
  if (noise_power <= 0.0) return 0.0;
  const double scale = std::sqrt(speech_power / (noise_power * std::pow(10.0, snr_db / 10.0)));
  for (std::size_t i = 0; i < mixture.size(); ++i) mixture[i] += static_cast<float>(scale * noise[i]);
  return scale;
}

}  // namespace kws::corpus
