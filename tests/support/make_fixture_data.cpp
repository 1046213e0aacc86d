// kws-fixture-data DIR: writes the tests' designed data directory (tone
// models for the three-entry vocabulary "tones") and a synthesised recording
// of each entry, for trying the kws command before trained models exist.
#include <cstdio>
#include <string>

#include "support/tone_data.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr,
                 "Usage: kws-fixture-data DIR\n"
                 "Writes a small designed data directory into DIR, with the vocabulary \"tones\"\n"
                 "and the recordings DIR/entry0.wav .. entry2.wav.\n");
    return argc == 2 ? 0 : 2;
  }
  const std::filesystem::path root = kws::testing::write_tone_data_directory(argv[1]);
  for (int entry = 0; entry < 3; ++entry) {
    kws::testing::write_wav_file(root / ("entry" + std::to_string(entry) + ".wav"), kws::testing::synthesise_entry(entry));
  }
  std::printf("wrote a designed test data directory and three recordings to %s\n", argv[1]);
  return 0;
}
