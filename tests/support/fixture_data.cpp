#include "support/fixture_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

#include "engine/engine_values.h"
#include "engine/loaded_data.h"
#include "lexicon/syllable_table.h"
#include "models/anti_model_file.h"
#include "models/hmm_definition.h"
#include "models/model_inventory.h"
#include "support/big5_text.h"

namespace kws::testing {
namespace {

// A fixed linear congruential sequence, so fixtures are the same on every machine.
class Sequence {
 public:
  explicit Sequence(std::uint32_t seed) : state_(seed * 2654435761u + 1u) {}
  float next_unit() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(state_ >> 8) / static_cast<float>(1u << 24);
  }

 private:
  std::uint32_t state_;
};

std::string keyword_reference_text() {
  const std::string stations[] = {big5("台北"), big5("板橋"), big5("新竹"), big5("台中"), big5("高雄")};
  std::string text;
  for (int record = 1; record <= kReferenceRecords; ++record) {
    const int count = record % 3;  // 0, 1 or 2 keywords
    text += std::to_string(record) + " " + std::to_string(count);
    for (int k = 0; k < count; ++k) text += " " + stations[(record + k) % 5];
    text += "\n";
  }
  return text;
}

std::string character_reading_bytes() {
  const std::pair<const char*, const char*> readings[] = {
      {"一", "ㄧˍ"}, {"行", "ㄒㄧㄥˊ"}, {"行", "ㄏㄤˊ"}, {"長", "ㄔㄤˊ"}, {"長", "ㄓㄤˇ"}};
  std::string bytes(kCharacterReadingEntries * sizeof(CharacterReadingEntry), '\0');
  std::size_t offset = 0;
  for (const auto& [character, syllable] : readings) {
    CharacterReadingEntry entry{};
    entry.syllable_number = syllable_number_of(big5(syllable));
    const std::string text = big5(character);
    std::memcpy(entry.character, text.data(), std::min(text.size(), sizeof entry.character - 1));
    std::memcpy(bytes.data() + offset, &entry, sizeof entry);
    offset += sizeof entry;
  }
  return bytes;
}

}  // namespace

HmmModel make_fixture_model(int model_index, int emitting_states, int mixtures) {
  HmmModel model{};
  model.state_count = static_cast<std::int16_t>(emitting_states + 2);
  model.model_index = static_cast<std::int16_t>(model_index);
  Sequence sequence(static_cast<std::uint32_t>(model_index));
  const float gconst = static_cast<float>(kFeatureDimension * std::log(2.0 * std::numbers::pi));
  for (int state = 1; state <= emitting_states; ++state) {
    model.mixture_count[state] = static_cast<std::int16_t>(mixtures);
    for (int component = 0; component < mixtures; ++component) {
      model.weight[state][component] = 1.0f / static_cast<float>(mixtures);
      model.gconst[state][component] = gconst;
      for (int k = 0; k < kFeatureDimension; ++k) {
        model.mean[state][component][k] = 4.0f * sequence.next_unit() - 2.0f;
        model.inverse_variance[state][component][k] = 1.0f;
      }
    }
  }
  // Left-to-right: stay or step on, from the entry state straight to the first emitting state.
  for (int row = 0; row < kStateSlots; ++row) {
    for (int column = 0; column < kStateSlots; ++column) model.log_transition[row][column] = std::log(1e-30f);
  }
  model.log_transition[0][1] = 0.0f;
  for (int state = 1; state <= emitting_states; ++state) {
    model.log_transition[state][state] = std::log(0.6f);
    model.log_transition[state][state + 1] = std::log(0.4f);
  }
  return model;
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << "cannot write " << path;
}

std::filesystem::path scratch_directory() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "scratch";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path directory = std::filesystem::current_path() / "scratch" / name;
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  return directory;
}

std::filesystem::path write_fixture_data_directory(const std::filesystem::path& root) {
  std::string model_list = std::to_string(kInventorySize) + "\n";
  for (const int index : slot_order()) {
    const std::string_view name = inventory_name(index);
    model_list.append(name).append("\n");
    const bool filler_or_silence = index == 0 || index >= kInventorySize - 2;
    const HmmModel model = make_fixture_model(index, filler_or_silence ? 3 : 2, filler_or_silence ? 4 : 2);
    write_file(root / "model" / "bsl" / std::string(name), write_hmm_definition(model));
  }
  write_file(root / "rcdmodel", model_list);

  std::vector<HmmModel> anti_models;
  for (int slot = 0; slot < kMaxAntiModels; ++slot) anti_models.push_back(make_fixture_model(slot, 2, 4));
  write_file(root / "rcdhmm" / "anti0630.hmm", anti_model_file_bytes(anti_models));

  write_file(root / "train_index.txt", keyword_reference_text());
  write_file(root / "dict1.bin", character_reading_bytes());
  return root;
}

}  // namespace kws::testing
