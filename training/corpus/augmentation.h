// Variety beyond the voices and rooms recorded: every recording can be given
// perturbed copies that sound like another speaker, room or microphone.
//
// Speed changes tempo and pitch together (resampling, as speed perturbation
// usually does); the vocal-tract warp stretches the spectrum's frequency axis
// (applied in the front end's filterbank, see warped analysis tables);
// reverberation convolves with a synthetic room response; channel colouring
// filters like a telephone, a headset or a laptop's built-in microphone;
// noise of a random colour changes what the pauses sound like (the features
// carry no energy, so silence is told from speech by its spectral shape alone).
// Every draw comes from a generator seeded by the recording's name and the
// copy number, so a corpus gives the same copies whatever the thread count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kws::corpus {

enum class Channel { kNone, kTelephone, kHeadset, kBuiltIn, kBright, kDull };

struct Perturbation {
  double speed = 1.0;               // above 1: faster and higher
  double warp = 1.0;                // vocal-tract length factor for the filterbank, 1 = as recorded
  double reverberation_time = 0.0;  // RT60 of the synthetic room in seconds, 0 = dry
  Channel channel = Channel::kNone;
  double noise_snr_db = 0.0;  // coloured noise this far below the recording's level, 0 = none
  std::uint64_t seed = 0;     // for the room's tail and the noise

  std::string describe() const;
};

// Which kinds of variety the copies draw from.
struct AugmentationKinds {
  bool speed = true;
  bool warp = true;
  bool reverberation = true;
  bool channel = true;
  bool noise = true;
};

// Reads "speed,warp,reverb,channel,noise" (any subset, or "all", or "none").
bool parse_augmentation_kinds(std::string_view text, AugmentationKinds& kinds);

// The copy-th perturbation (copy >= 1) of the recording called name.
Perturbation draw_perturbation(std::string_view name, int copy, const AugmentationKinds& kinds, std::uint64_t run_seed);

// The samples resampled so they play `factor` times faster: about
// size / factor samples long.
std::vector<std::int16_t> change_speed(const std::vector<std::int16_t>& samples, double factor);

// The samples in a synthetic room: a direct path and an exponentially decaying
// noise tail with the given RT60, cut to the input's length and scaled back
// to the input's RMS.
std::vector<std::int16_t> add_reverberation(const std::vector<std::int16_t>& samples, double reverberation_time,
                                            std::uint64_t seed);

// The samples through the frequency response of a kind of microphone.
std::vector<std::int16_t> colour_channel(const std::vector<std::int16_t>& samples, Channel channel);

// The recording with 150..300 ms of faint noise (50 dB below its peak) added
// before and after when it starts or ends in speech (within 30 dB of the peak
// in its first or last 20 ms): clipped recordings otherwise leave the
// silence that a training transcription begins and ends with no frames of its own.
std::vector<std::int16_t> pad_clipped_edges(const std::vector<std::int16_t>& samples, std::uint64_t seed);

// Noise of a colour drawn from seed (a tilt, maybe band limits) added at
// snr_db below the RMS of the samples.
std::vector<std::int16_t> add_coloured_noise(const std::vector<std::int16_t>& samples, double snr_db,
                                             std::uint64_t seed);

// Speed, room, channel and noise of the perturbation applied in that order (the warp
// belongs to the front end and is left to the caller).
std::vector<std::int16_t> perturb_audio(const std::vector<std::int16_t>& samples, const Perturbation& perturbation);

}  // namespace kws::corpus
