// kws-fixture-data DIR: writes the tests' small data directory, for trying the
// kws command before the bundled data directory is built.
#include <cstdio>

#include "support/fixture_data.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "Usage: kws-fixture-data DIR\nWrites a small test data directory into DIR.\n");
    return argc == 2 ? 0 : 2;
  }
  kws::testing::write_fixture_data_directory(argv[1]);
  std::printf("wrote a test data directory to %s\n", argv[1]);
  return 0;
}
