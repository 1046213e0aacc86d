// Noise for the synthesised corpora, and adding it at a chosen ratio of
// speech to noise.
//
// The ratio is one of mean powers over the speech alone (the padding of
// silence around it does not count): the noise is scaled so that its mean
// power over the samples where the speech is stands snr dB below the mean
// power of the clean speech there.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "corpus/random_source.h"

namespace kws::corpus {

// Where the speech is in an utterance: samples [begin, end).
struct SampleSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Mean of the squared samples; 0 for none.
double mean_power(std::span<const float> samples);

// Gaussian white noise of unit variance.
std::vector<float> white_noise(std::size_t length, RandomSource& random);

// Pink noise (power falling 3 dB per octave) from about 50 Hz up, of
// roughly unit variance.
std::vector<float> pink_noise(std::size_t length, RandomSource& random);

// A few talkers talking at once, from a fixed bank of recordings.
class BabbleBank {
 public:
  static constexpr int kFewestTalkers = 4;
  static constexpr int kMostTalkers = 6;

  // talkers: speech of different voices, at least kMostTalkers of them, none
  // silent. Each is scaled to unit power, so that no voice drowns the others.
  explicit BabbleBank(std::vector<std::vector<float>> talkers);

  // The sum of 4..6 different talkers, each from an offset of its own and
  // looped to length.
  std::vector<float> babble(std::size_t length, RandomSource& random) const;

  std::size_t talker_count() const { return talkers_.size(); }

 private:
  std::vector<std::vector<float>> talkers_;
};

// Adds noise (as long as mixture at least) to mixture, scaled so that
// speech_power over its mean power over speech is snr_db. Returns the scale;
// 0, and nothing added, when the noise is silent over the speech.
double add_noise_at_snr(std::span<float> mixture, std::span<const float> noise, double speech_power,
                        SampleSpan speech, double snr_db);

}  // namespace kws::corpus
