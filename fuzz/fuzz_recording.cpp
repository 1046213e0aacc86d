// A recording of any bytes, as kws reads it: through libsndfile (WAV, FLAC,
// ... converted to 16 kHz mono) and as raw samples.
#include "fuzz_input.h"
#include "platform/audio_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = kws::fuzz::scratch() / "recording.wav";
  kws::fuzz::write_file(path, kws::fuzz::text_of(data, size));
  kws::load_audio_file(path.string());
  kws::load_raw_samples(path.string());
  return 0;
}
