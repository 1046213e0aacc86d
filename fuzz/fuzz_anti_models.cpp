// The anti-model file of any bytes.
#include "fuzz_input.h"
#include "models/anti_model_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = kws::fuzz::scratch() / "anti0630.hmm";
  kws::fuzz::write_file(path, kws::fuzz::text_of(data, size));
  kws::ModelSet set;
  kws::load_anti_model_file(path.string(), set);
  return 0;
}
