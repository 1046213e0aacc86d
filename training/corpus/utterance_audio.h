// From the synthesiser's speech to a finished utterance of the corpus: edges
// trimmed, resampled to 16 kHz, padded with silence, a faint noise floor
// everywhere, the recipe's noise on top, rounded to 16 bits.
//
// Everything random is drawn from the utterance's own seed, so an utterance
// sounds the same whatever else the recipe holds and however many jobs run.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corpus/noise_mixing.h"
#include "corpus/recipe.h"

namespace kws::corpus {

// The span of samples from the first to the last one within 50 dB of the
// peak, widened by margin samples on each side; empty for silence. The
// synthesiser starts and ends with silence of its own whose length depends
// on the voice and the word gap; trimming it leaves the padding to the seed.
SampleSpan speech_extent(std::span<const float> samples, std::size_t margin);

// The speech in samples (at sample_rate) trimmed to its extent and resampled
// to 16 kHz; nullopt with error for silence or a failed resampling.
std::optional<std::vector<float>> speech_at_station_rate(std::span<const float> samples, int sample_rate,
                                                         std::string& error);

struct RenderedUtterance {
  std::vector<std::int16_t> samples;  // 16 kHz
  SampleSpan speech;                  // where the speech is, between the padding
  std::size_t clipped_samples = 0;    // samples beyond the 16-bit range, set to its limit
};

// The finished utterance of 16 kHz speech (full scale 1.0): silence of
// 150..450 ms before and after, a noise floor 45..50 dB below the speech,
// and for white, pink or babble noise at snr_db (babble must then be given).
RenderedUtterance render_utterance(std::span<const float> speech, NoiseKind noise, double snr_db,
                                   const BabbleBank* babble, std::uint64_t seed);

}  // namespace kws::corpus
