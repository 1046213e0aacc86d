// The model list (rcdmodel) of any text, read by the start-up of a data
// directory that holds nothing else.
#include "engine/engine.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kws::fuzz::silence_messages();
  const auto folder = kws::fuzz::scratch() / "list";
  std::filesystem::create_directories(folder);
  kws::fuzz::write_file(folder / "rcdmodel", kws::fuzz::text_of(data, size));
  kws::start_engine(folder.string());
  return 0;
}
