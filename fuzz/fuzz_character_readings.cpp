// dict1.bin of any bytes, and the editor's reading lookups over it.
#include <array>

#include "engine/start_up_files.h"
#include "fuzz_input.h"
#include "lexicon/vocabulary_editor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::array<kws::CharacterReadingEntry, kws::kCharacterReadingEntries> entries;
  entries = {};
  kws::load_character_readings(kws::fuzz::text_of(data, size), entries);
  // Characters the table itself names, and one it cannot.
  for (const std::string& character :
       {std::string("\xA4\x40", 2), std::string(entries[0].character, 2), std::string("a")}) {
    std::string slot;
    kws::first_reading_of(entries, character, slot);
    kws::list_readings_of(entries, character);
  }
  return 0;
}
