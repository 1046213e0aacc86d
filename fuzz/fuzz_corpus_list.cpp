// The trainer's and adaptation's corpus lists on any text.
#include "fuzz_input.h"
#include "trainer/corpus_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  kws::trainer::parse_corpus_list(kws::fuzz::text_of(data, size), "fuzz.txt", "/nonexistent", error);
  return 0;
}
