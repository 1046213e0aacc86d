// kws features: the station's 24 features of every frame of a recording.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "cli/command_line.h"
#include "engine/engine_values.h"
#include "frontend/feature_extraction.h"
#include "platform/audio_file.h"

namespace kws::cli {
namespace {

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(kFeaturesCommand, arguments, {"--raw"}, {}, exit_status);
  if (!parsed) return exit_status;
  if (parsed->positionals.size() != 1) return usage_error(kFeaturesCommand, "expected exactly one FILE");

  const std::string& path = parsed->positionals[0];
  LoadedAudio audio = parsed->has("--raw") ? load_raw_samples(path) : load_audio_file(path);
  if (!audio.ok()) {
    std::fprintf(stderr, "kws features: %s\n", audio.error.c_str());
    return kExitFailure;
  }
  if (!audio.note.empty()) std::fprintf(stderr, "kws features: %s\n", audio.note.c_str());
  // The station analyses at most its 8-second sample buffer.
  if (audio.samples.size() > static_cast<std::size_t>(kSampleBufferSamples)) {
    std::fprintf(stderr, "kws features: %s: using the first %d samples (8 s) of %zu\n", path.c_str(),
                 kSampleBufferSamples, audio.samples.size());
    audio.samples.resize(kSampleBufferSamples);
  }

  auto front = std::make_unique<FrontEndOwner>();
  auto features = std::make_unique<FeatureMatrix>();
  if (const std::string refusal = front->set_up(); !refusal.empty()) {
    std::fprintf(stderr, "kws features: %s", refusal.c_str());
    return kExitFailure;
  }
  const int frames = std::max(0, front->front_end().extract_features(
                                     audio.samples.data(), 0, static_cast<int>(audio.samples.size()), *features));

  std::printf("frames %d\n", frames);
  for (int t = 0; t < frames; ++t) {
    const FeatureVector& row = (*features)[static_cast<std::size_t>(t)];
    for (std::size_t k = 0; k < row.size(); ++k) std::printf(k == 0 ? "%.6e" : " %.6e", row[k]);
    std::printf("\n");
  }
  return kExitSuccess;
}

}  // namespace

const Command kFeaturesCommand = {
    "features",
    "print the 24 features of every 10 ms frame of a recording",
    "Usage: kws features [--raw] FILE\n"
    "Prints 'frames F', then one line per frame with c1..c12 and their 12 deltas\n"
    "(%.6e, single blanks). FILE is read as audio (WAV, FLAC, ...): a 16 kHz mono\n"
    "file is used as is, anything else is converted to 16 kHz mono with a note on\n"
    "standard error. With --raw every byte of the file, header included, is taken as\n"
    "16-bit little-endian samples, the way the batch procedures read recordings.\n"
    "At most the first 8 s (128000 samples) are analysed, as in the station.\n"
    "\n"
    "Example:\n"
    "  kws features data/wave/tr1_1.wav | head -3\n",
    run,
};

}  // namespace kws::cli
