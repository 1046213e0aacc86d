#include "corpus/noise_mixing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <set>
#include <stdexcept>

namespace kws::corpus {
namespace {

std::vector<float> sine(std::size_t length, double frequency, double amplitude) {
  std::vector<float> samples(length);
  for (std::size_t i = 0; i < length; ++i) {
    samples[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / 16000.0));
  }
  return samples;
}

double decibels(double ratio) { return 10.0 * std::log10(ratio); }

// Mean power of the noise between low and high Hz, from DFTs of 1024-sample
// blocks (a 15.6 Hz bin), per bin.
double band_power(const std::vector<float>& noise, double low, double high) {
  constexpr std::size_t kBlock = 1024;
  std::vector<std::complex<double>> turns(kBlock);
  for (std::size_t i = 0; i < kBlock; ++i) turns[i] = std::polar(1.0, -2.0 * std::numbers::pi * i / kBlock);
  const auto first_bin = static_cast<std::size_t>(low * kBlock / 16000.0);
  const auto last_bin = static_cast<std::size_t>(high * kBlock / 16000.0);
  double power = 0.0;
  std::size_t count = 0;
  for (std::size_t start = 0; start + kBlock <= noise.size(); start += kBlock) {
    for (std::size_t bin = first_bin; bin < last_bin; ++bin, ++count) {
      std::complex<double> sum = 0.0;
      for (std::size_t i = 0; i < kBlock; ++i) sum += static_cast<double>(noise[start + i]) * turns[(bin * i) % kBlock];
      power += std::norm(sum);
    }
  }
  return power / static_cast<double>(count);
}

TEST(NoiseMixing, WhiteIsFlatAndPinkFallsThreeDecibelsPerOctave) {
  RandomSource random(5);
  const std::vector<float> white = white_noise(64 * 1024, random);
  const std::vector<float> pink = pink_noise(64 * 1024, random);
  EXPECT_NEAR(mean_power(white), 1.0, 0.03);
  EXPECT_NEAR(mean_power(pink), 1.0, 0.1);
  // Per bin, four octaves apart: the same for white, 12 dB less for pink.
  EXPECT_NEAR(decibels(band_power(white, 3000, 4000) / band_power(white, 187.5, 250)), 0.0, 1.0);
  EXPECT_NEAR(decibels(band_power(pink, 3000, 4000) / band_power(pink, 187.5, 250)), -12.0, 1.5);
  EXPECT_NEAR(decibels(band_power(pink, 6000, 8000) / band_power(pink, 3000, 4000)), -3.0, 1.0);
}

TEST(NoiseMixing, NoiseStandsTheRatioBelowTheSpeechOverTheSpeechOnly) {
  // Speech in the middle, silence around it that must not count.
  constexpr std::size_t kPadding = 4000, kSpeech = 16000;
  const SampleSpan span{kPadding, kPadding + kSpeech};
  std::vector<float> clean(kSpeech + 2 * kPadding, 0.0f);
  const std::vector<float> tone = sine(kSpeech, 440.0, 0.3);
  std::copy(tone.begin(), tone.end(), clean.begin() + kPadding);
  const double speech_power = mean_power(tone);

  RandomSource random(9);
  for (const double snr : {20.0, 10.0, 0.0, -5.0}) {
    for (const bool pink : {false, true}) {
      const std::vector<float> noise = pink ? pink_noise(clean.size(), random) : white_noise(clean.size(), random);
      std::vector<float> mixture = clean;
      EXPECT_GT(add_noise_at_snr(mixture, noise, speech_power, span, snr), 0.0);
      std::vector<float> added(kSpeech);
      for (std::size_t i = 0; i < kSpeech; ++i) added[i] = mixture[kPadding + i] - clean[kPadding + i];
      EXPECT_NEAR(decibels(speech_power / mean_power(added)), snr, 0.01) << snr << (pink ? " pink" : " white");
      // The padding gets the same noise (pink varies more over 250 ms).
      const std::span<const float> padding(mixture.data(), kPadding);
      EXPECT_NEAR(decibels(speech_power / mean_power(padding)), snr, 1.0);
    }
  }

  std::vector<float> mixture = clean;
  EXPECT_EQ(add_noise_at_snr(mixture, std::vector<float>(clean.size(), 0.0f), speech_power, span, 10.0), 0.0);
  EXPECT_EQ(mixture, clean);
  EXPECT_THROW(add_noise_at_snr(mixture, std::vector<float>(10, 1.0f), speech_power, span, 10.0),
               std::invalid_argument);
}

// Talkers of different sines, each a whole number of periods long, so that
// the looped sum of n of them has a mean power of n exactly.
std::vector<std::vector<float>> sine_talkers(int count) {
  std::vector<std::vector<float>> talkers;
  for (int t = 0; t < count; ++t) talkers.push_back(sine(1600, 100.0 * (t + 1), 0.25 * (t + 1)));
  return talkers;
}

TEST(NoiseMixing, BabbleSumsFourToSixTalkersFromTheirOwnOffsets) {
  EXPECT_THROW(BabbleBank(sine_talkers(5)), std::invalid_argument);
  const BabbleBank bank(sine_talkers(7));
  std::set<long> talker_counts;
  std::set<float> first_samples;
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    RandomSource random(seed);
    const std::vector<float> babble = bank.babble(16000, random);  // ten loops of each talker
    ASSERT_EQ(babble.size(), 16000u);
    const double power = mean_power(babble);
    EXPECT_NEAR(power, std::round(power), 1e-3) << seed;  // unit-power talkers, each at most once
    talker_counts.insert(std::lround(power));
    first_samples.insert(babble[0]);

    RandomSource again(seed);
    EXPECT_EQ(bank.babble(16000, again), babble);
  }
  EXPECT_EQ(talker_counts, (std::set<long>{4, 5, 6}));
  EXPECT_GT(first_samples.size(), 30u);  // offsets differ from seed to seed
}

}  // namespace
}  // namespace kws::corpus
