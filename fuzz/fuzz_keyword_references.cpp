// train_index.txt on any text.
#include <array>

#include "engine/start_up_files.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::array<kws::KeywordReferenceRecord, kws::kReferenceRecords> records;
  records = {};
  kws::parse_keyword_references(std::string(kws::fuzz::text_of(data, size)), "fuzz", records);
  return 0;
}
