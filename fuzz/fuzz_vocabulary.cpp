// A vocabulary's .dat/.spl pair of any bytes (split at the first NUL), as the
// engine loads it over a full model set, and as the vocabulary editor opens it.
#include <array>

#include "engine/loaded_data.h"
#include "fuzz_input.h"
#include "lexicon/vocabulary.h"
#include "lexicon/vocabulary_editor.h"
#include "models/model_inventory.h"

namespace {

const kws::ModelSet& models() {
  static const kws::ModelSet set = [] {
    kws::ModelSet made;
    made.allocate(kws::kInventorySize);
    for (int slot = 0; slot < kws::kInventorySize; ++slot) {
      kws::HmmModel& model = made.records[slot];
      model.state_count = 3;
      model.model_index = static_cast<std::int16_t>(kws::slot_order()[static_cast<std::size_t>(slot)]);
    }
    return made;
  }();
  return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kws::fuzz::silence_messages();
  const auto [words, syllables] = kws::fuzz::split_at_nul(kws::fuzz::text_of(data, size));
  const auto folder = kws::fuzz::scratch() / "data";
  std::filesystem::create_directories(folder / "data");
  kws::fuzz::write_file(folder / "data" / "fuzz.dat", words);
  kws::fuzz::write_file(folder / "data" / "fuzz.spl", syllables);

  kws::Vocabulary vocabulary;
  kws::load_vocabulary(folder.string(), models(), "fuzz", vocabulary);
  kws::release_vocabulary(vocabulary);

  static std::array<kws::CharacterReadingEntry, kws::kCharacterReadingEntries> readings{};
  kws::VocabularyEditor editor(readings, kws::station_reading_slots());
  editor.open((folder / "data" / "fuzz.dat").string());
  return 0;
}
