// Recordings on disk as 16 kHz mono 16-bit samples, the station's one format.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kws {

inline constexpr int kStationSampleRate = 16000;

struct LoadedAudio {
  std::vector<std::int16_t> samples;
  std::string error;  // empty on success; otherwise why the file could not be read
  std::string note;   // what was done to the audio on the way, if anything (conversion)

  bool ok() const { return error.empty(); }
};

// Any file libsndfile reads (WAV, FLAC, ...). A 16 kHz mono file is used as
// it is; anything else is mixed down to mono and resampled to 16 kHz, and the
// note says so.
LoadedAudio load_audio_file(const std::string& path);

// Every byte of the file as 16-bit little-endian samples, header included,
// the way the batch procedures read their recordings. An odd last byte is dropped.
LoadedAudio load_raw_samples(const std::string& path);

// Writes samples as a 16 kHz mono 16-bit WAV file; an empty string, or why not.
std::string write_wav_file(const std::string& path, std::span<const std::int16_t> samples);

}  // namespace kws
