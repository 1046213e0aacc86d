// The HMM definition reader on any text.
#include "fuzz_input.h"
#include "models/hmm_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kws::HmmModel record;
  record = {};
  kws::parse_hmm_definition(std::string(kws::fuzz::text_of(data, size)), "a_a", "fuzz", record);
  return 0;
}
