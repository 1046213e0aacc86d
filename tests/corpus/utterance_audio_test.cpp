#include "corpus/utterance_audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>

namespace kws::corpus {
namespace {

// A chord of three partials, at 16 kHz unless told.
std::vector<float> voiced(std::size_t length, double amplitude, double rate = 16000.0) {
  std::vector<float> samples(length);
  for (std::size_t i = 0; i < length; ++i) {
    double value = 0.0;
    for (const double frequency : {220.0, 660.0, 1540.0}) value += std::sin(2.0 * std::numbers::pi * frequency * i / rate);
    samples[i] = static_cast<float>(amplitude * value / 3.0);
  }
  return samples;
}

double power_of(const std::vector<std::int16_t>& samples, std::size_t begin, std::size_t end) {
  double sum = 0.0;
  for (std::size_t i = begin; i < end; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return sum / static_cast<double>(end - begin);
}

double decibels(double ratio) { return 10.0 * std::log10(ratio); }

TEST(UtteranceAudio, TrimsTheSynthesisersSilenceAndResamples) {
  std::vector<float> samples(22050, 0.0f);
  const std::vector<float> speech = voiced(11025, 0.5, 22050.0);
  std::copy(speech.begin(), speech.end(), samples.begin() + 5000);
  samples[3000] = 0.0005f;  // a tail sample more than 50 dB below the peak
  samples[20000] = -0.0005f;
  const SampleSpan extent = speech_extent(samples, 100);
  EXPECT_NEAR(static_cast<double>(extent.begin), 4900.0, 3.0);  // the chord starts at zero
  EXPECT_EQ(extent.end, 5000u + 11025u + 100u);
  EXPECT_EQ(speech_extent(std::vector<float>(100, 0.0f), 10).end, 0u);

  std::string error;
  const auto resampled = speech_at_station_rate(samples, 22050, error);
  ASSERT_TRUE(resampled.has_value()) << error;
  // Half a second of chord and twice 10 ms of margin, at 16 kHz.
  EXPECT_NEAR(static_cast<double>(resampled->size()), 8000.0 + 320.0, 8.0);
  EXPECT_NEAR(mean_power(*resampled), mean_power(speech), 0.05 * mean_power(speech));
  EXPECT_FALSE(speech_at_station_rate(std::vector<float>(2205, 0.0f), 22050, error).has_value());
  EXPECT_NE(error.find("silence"), std::string::npos);
}

TEST(UtteranceAudio, PadsWithQuietThatIsNeverDigitalZero) {
  const std::vector<float> speech = voiced(16000, 0.6);
  std::set<std::size_t> leading_lengths;
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    const RenderedUtterance rendered = render_utterance(speech, NoiseKind::none, 0.0, nullptr, seed);
    const std::size_t leading = rendered.speech.begin;
    const std::size_t trailing = rendered.samples.size() - rendered.speech.end;
    EXPECT_EQ(rendered.speech.end - rendered.speech.begin, speech.size());
    EXPECT_GE(leading, 2400u);  // 150 ms
    EXPECT_LE(leading, 7200u);  // 450 ms
    EXPECT_GE(trailing, 2400u);
    EXPECT_LE(trailing, 7200u);
    leading_lengths.insert(leading);

    const double floor_db = decibels(power_of(rendered.samples, rendered.speech.begin, rendered.speech.end) /
                                     power_of(rendered.samples, 0, leading));
    EXPECT_GT(floor_db, 44.5) << seed;
    EXPECT_LT(floor_db, 50.5) << seed;
    const auto zeros = std::count(rendered.samples.begin(), rendered.samples.begin() + 2400, 0);
    EXPECT_LT(zeros, 600) << seed;
    EXPECT_EQ(rendered.clipped_samples, 0u);
  }
  EXPECT_GT(leading_lengths.size(), 15u);

  const RenderedUtterance once = render_utterance(speech, NoiseKind::white, 10.0, nullptr, 77);
  const RenderedUtterance twice = render_utterance(speech, NoiseKind::white, 10.0, nullptr, 77);
  EXPECT_EQ(once.samples, twice.samples);
}

// The ratio measured on the finished 16-bit samples: the noise alone from
// the padding, the speech as what the speech span has beyond it.
TEST(UtteranceAudio, AddsNoiseAtTheRecipesRatio) {
  const std::vector<float> speech = voiced(32000, 0.6);
  std::vector<std::vector<float>> talkers;
  for (int t = 0; t < 6; ++t) talkers.push_back(voiced(4000 + 1000 * t, 0.5));
  const BabbleBank babble(talkers);
  for (const NoiseKind noise : {NoiseKind::white, NoiseKind::pink}) {
    for (const double snr : {15.0, 5.0}) {
      const RenderedUtterance rendered = render_utterance(speech, noise, snr, &babble, 3);
      const double noise_power = (power_of(rendered.samples, 0, rendered.speech.begin) +
                                  power_of(rendered.samples, rendered.speech.end, rendered.samples.size())) / 2.0;
      const double total = power_of(rendered.samples, rendered.speech.begin, rendered.speech.end);
      EXPECT_NEAR(decibels((total - noise_power) / noise_power), snr, 1.0);
    }
  }
  // Babble is not stationary: only check that it is there at about its level.
  const RenderedUtterance rendered = render_utterance(speech, NoiseKind::babble, 0.0, &babble, 3);
  EXPECT_NEAR(decibels(power_of(rendered.samples, rendered.speech.begin, rendered.speech.end) /
                       power_of(rendered.samples, 0, rendered.speech.begin)), 3.0, 3.0);
  EXPECT_THROW(render_utterance(speech, NoiseKind::babble, 0.0, nullptr, 3), std::invalid_argument);
}

TEST(UtteranceAudio, CountsClippedSamples) {
  std::vector<float> square(8000);
  for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 40) % 2 == 0 ? 1.0f : -1.0f;
  EXPECT_EQ(render_utterance(square, NoiseKind::none, 0.0, nullptr, 1).clipped_samples, 0u);
  EXPECT_GT(render_utterance(square, NoiseKind::white, -6.0, nullptr, 1).clipped_samples, 100u);
}

}  // namespace
}  // namespace kws::corpus
