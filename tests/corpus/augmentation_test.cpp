#include "corpus/augmentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>

#include "frontend/feature_extraction.h"

namespace kws::corpus {
namespace {

std::vector<std::int16_t> tone(double frequency, int samples, double amplitude = 8000.0) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(samples));
  for (int i = 0; i < samples; ++i) {
    out[static_cast<std::size_t>(i)] =
        static_cast<std::int16_t>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / 16000.0));
  }
  return out;
}

// Magnitude of one frequency over the middle of the signal (a single DFT bin).
double magnitude_at(const std::vector<std::int16_t>& signal, double frequency) {
  std::complex<double> sum;
  const std::size_t from = signal.size() / 4;
  const std::size_t to = signal.size() * 3 / 4;
  for (std::size_t i = from; i < to; ++i) {
    sum += static_cast<double>(signal[i]) * std::polar(1.0, -2.0 * std::numbers::pi * frequency * i / 16000.0);
  }
  return std::abs(sum) / static_cast<double>(to - from);
}

double rms(const std::vector<std::int16_t>& signal, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(signal[i]) * signal[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

// Mean cepstrum (c1..c12) of a signal under a filterbank warp.
std::vector<double> mean_cepstrum(const std::vector<std::int16_t>& signal, double warp) {
  auto owner = std::make_unique<FrontEndOwner>();
  EXPECT_EQ(owner->set_up(warp), "");
  auto features = std::make_unique<FeatureMatrix>();
  const int frames = owner->front_end().extract_features(signal.data(), 0, static_cast<int>(signal.size()), *features);
  std::vector<double> mean(kCepstralCoefficients, 0.0);
  for (int t = 0; t < frames; ++t) {
    for (int c = 0; c < kCepstralCoefficients; ++c) mean[static_cast<std::size_t>(c)] += (*features)[t][c] / frames;
  }
  return mean;
}

double distance(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum);
}

TEST(Augmentation, SpeedChangesLengthAndPitchTogether) {
  const std::vector<std::int16_t> source = tone(1000.0, 16000);
  const std::vector<std::int16_t> faster = change_speed(source, 1.1);
  const std::vector<std::int16_t> slower = change_speed(source, 0.9);
  EXPECT_NEAR(static_cast<double>(faster.size()), 16000 / 1.1, 2.0);
  EXPECT_NEAR(static_cast<double>(slower.size()), 16000 / 0.9, 2.0);
  EXPECT_GT(magnitude_at(faster, 1100.0), 10.0 * magnitude_at(faster, 1000.0));
  EXPECT_GT(magnitude_at(slower, 900.0), 10.0 * magnitude_at(slower, 1000.0));
  EXPECT_EQ(change_speed(source, 1.0), source);
}

TEST(Augmentation, WarpedFilterbankSeesTheSpectrumShifted) {
  // Below the knee a warp of 1.1 moves every channel 10 % up: a 1100 Hz tone
  // then looks like a 1000 Hz tone through the plain filterbank.
  const std::vector<double> plain_1000 = mean_cepstrum(tone(1000.0, 8000), 1.0);
  const std::vector<double> plain_1100 = mean_cepstrum(tone(1100.0, 8000), 1.0);
  const std::vector<double> warped_1100 = mean_cepstrum(tone(1100.0, 8000), 1.1);
  EXPECT_LT(distance(warped_1100, plain_1000), 0.25 * distance(plain_1100, plain_1000));

  // A warp of exactly 1 builds the station's own tables.
  AnalysisTables plain;
  AnalysisTables unit;
  ASSERT_EQ(analysis_setup(plain), "");
  ASSERT_EQ(analysis_setup(unit, 1.0), "");
  for (int c = 1; c <= kFilterbankChannels + 1; ++c) EXPECT_EQ(plain.centre_frequencies[c], unit.centre_frequencies[c]);
}

TEST(Augmentation, RoomKeepsLengthAndLevelAndAddsATail) {
  std::vector<std::int16_t> burst(16000, 0);
  const std::vector<std::int16_t> noise_tone = tone(700.0, 4000);
  std::copy(noise_tone.begin(), noise_tone.end(), burst.begin() + 2000);
  const std::vector<std::int16_t> wet = add_reverberation(burst, 0.5, 42);
  ASSERT_EQ(wet.size(), burst.size());
  EXPECT_NEAR(rms(wet, 0, wet.size()), rms(burst, 0, burst.size()), 0.02 * rms(burst, 0, burst.size()));
  // After the burst ends the room still sounds; the dry signal is silent there.
  EXPECT_GT(rms(wet, 6500, 8000), 10.0);
  EXPECT_EQ(add_reverberation(burst, 0.5, 42), wet);
}

TEST(Augmentation, TelephoneChannelCutsBassAndTop) {
  std::vector<std::int16_t> mixture(16000);
  const std::vector<std::int16_t> low = tone(100.0, 16000, 5000.0);
  const std::vector<std::int16_t> mid = tone(1000.0, 16000, 5000.0);
  const std::vector<std::int16_t> high = tone(6000.0, 16000, 5000.0);
  for (std::size_t i = 0; i < mixture.size(); ++i) mixture[i] = static_cast<std::int16_t>(low[i] + mid[i] + high[i]);
  const std::vector<std::int16_t> phone = colour_channel(mixture, Channel::kTelephone);
  ASSERT_EQ(phone.size(), mixture.size());
  EXPECT_LT(magnitude_at(phone, 100.0), 0.05 * magnitude_at(phone, 1000.0));
  EXPECT_LT(magnitude_at(phone, 6000.0), 0.05 * magnitude_at(phone, 1000.0));
}

TEST(Augmentation, DrawsAreSeededPerRecordingAndKindsAreIndependent) {
  const AugmentationKinds all;
  const Perturbation first = draw_perturbation("w00001.mp3", 1, all, 7);
  const Perturbation again = draw_perturbation("w00001.mp3", 1, all, 7);
  EXPECT_EQ(first.describe(), again.describe());
  EXPECT_NE(first.describe(), draw_perturbation("w00001.mp3", 2, all, 7).describe());

  AugmentationKinds no_speed;
  ASSERT_TRUE(parse_augmentation_kinds("warp,reverb,channel,noise", no_speed));
  const Perturbation without = draw_perturbation("w00001.mp3", 1, no_speed, 7);
  EXPECT_EQ(without.speed, 1.0);
  EXPECT_EQ(without.warp, first.warp);
  EXPECT_EQ(without.reverberation_time, first.reverberation_time);
  EXPECT_EQ(without.channel, first.channel);
  EXPECT_EQ(without.noise_snr_db, first.noise_snr_db);

  AugmentationKinds kinds;
  EXPECT_FALSE(parse_augmentation_kinds("speed,pitch", kinds));
  EXPECT_TRUE(parse_augmentation_kinds("none", kinds));
  EXPECT_EQ(draw_perturbation("w00001.mp3", 1, kinds, 7).describe(), Perturbation{}.describe());
}

TEST(Augmentation, ClippedRecordingsGetQuietEdgesAndOthersStayAsTheyAre) {
  std::vector<std::int16_t> padded_source(16000, 0);
  const std::vector<std::int16_t> word = tone(500.0, 8000);
  std::copy(word.begin(), word.end(), padded_source.begin() + 4000);
  EXPECT_EQ(pad_clipped_edges(padded_source, 1), padded_source);

  const std::vector<std::int16_t> padded = pad_clipped_edges(word, 1);
  ASSERT_GE(padded.size(), word.size() + 2 * 2400);
  ASSERT_LE(padded.size(), word.size() + 2 * 4800);
  EXPECT_LT(rms(padded, 0, 2000), 8000.0 / 100.0);
  EXPECT_LT(rms(padded, padded.size() - 2000, padded.size()), 8000.0 / 100.0);
  const auto at = std::search(padded.begin(), padded.end(), word.begin(), word.end());
  EXPECT_NE(at, padded.end());
}

}  // namespace
}  // namespace kws::corpus
