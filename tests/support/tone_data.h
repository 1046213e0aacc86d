// A data directory whose models the tests design, with recordings synthesised
// to match them: each sub-syllable unit of a small vocabulary is a steady tone
// of its own frequency, and its model is a Gaussian fitted to that tone's
// features by the station's own front end. Every other model, the filler and
// the anti-models are broad Gaussians over everything, so the designed units
// win on their tones and the filler wins on the quiet around them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kws::testing {

struct ToneEntry {
  std::string name_utf8;               // e.g. "台北"
  std::vector<std::string> syllables;  // tonal Zhuyin, UTF-8, e.g. "ㄊㄞˊ"
};

// The vocabulary "tones": 台北, 高雄, 新竹.
const std::vector<ToneEntry>& tone_vocabulary();

// Frames (10 ms) of one unit in the synthesised recordings: an initial is
// kInitialFrames long, a final kFinalFrames.
inline constexpr int kInitialFrames = 10;
inline constexpr int kFinalFrames = 20;
inline constexpr int kLeadingQuietFrames = 50;

// Writes the data directory (models, anti-models, model list, reference
// table, reading table, phone table and the vocabulary "tones") under root.
std::filesystem::path write_tone_data_directory(const std::filesystem::path& root);

// 16 kHz samples: quiet, then the entry's units as tones, then quiet.
std::vector<std::int16_t> synthesise_entry(int entry, int trailing_quiet_frames = 50);

// A quiet room: white noise of the given amplitude from a fixed sequence.
std::vector<std::int16_t> room_noise(std::size_t samples, unsigned seed, int amplitude = 30);

// Writes interleaved samples as a 16-bit WAV file (16 kHz mono unless told).
void write_wav_file(const std::filesystem::path& path, const std::vector<std::int16_t>& samples,
                    int sample_rate = 16000, int channels = 1);

}  // namespace kws::testing
