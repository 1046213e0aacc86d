#include "lexicon/syllable_decomposition.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "support/big5_text.h"
#include "lexicon/syllable_table.h"
#include "lexicon/zhuyin.h"
#include "models/model_inventory.h"

namespace kws {
namespace {

using testing::big5;

struct Decomposition {
  const char* syllable;  // UTF-8
  const char* initial_model;
  const char* final_model;
};

void PrintTo(const Decomposition& d, std::ostream* out) { *out << d.syllable; }

class DecomposeSyllable : public ::testing::TestWithParam<Decomposition> {};

TEST_P(DecomposeSyllable, GivesInitialAndFinalModel) {
  const SyllableModels models = decompose_syllable(big5(GetParam().syllable));
  EXPECT_EQ(models.initial_model, GetParam().initial_model);
  EXPECT_EQ(models.final_model, GetParam().final_model);
}

INSTANTIATE_TEST_SUITE_P(InitialAndFinal, DecomposeSyllable, ::testing::Values(
    Decomposition{"ㄅㄚˍ", "b_a", "a"}, Decomposition{"ㄅㄧˍ", "b_i", "i"},
    // ㄢ is "en" of class a, ㄣ is "an" of class e
    Decomposition{"ㄅㄢˇ", "b_a", "en"}, Decomposition{"ㄅㄣˇ", "b_e", "an"},
    Decomposition{"ㄅㄟˇ", "b_ee", "ei"}, Decomposition{"ㄉㄟˇ", "d_ee", "ei"},
    Decomposition{"ㄋㄩˇ", "n_iu", "iu"}, Decomposition{"ㄐㄩㄝˊ", "ji_iu", "iue"},
    Decomposition{"ㄓㄨㄤˋ", "j_u", "uang"}, Decomposition{"ㄌㄩㄢˊ", "l_iu", "iuan"}));

INSTANTIATE_TEST_SUITE_P(WholeSyllable, DecomposeSyllable, ::testing::Values(
    Decomposition{"ㄓˋ", "j_empt", "empt1"}, Decomposition{"ㄖˋ", "r_empt", "empt1"},
    Decomposition{"ㄙˇ", "s_empt", "empt2"}, Decomposition{"ㄚˍ", "sic_a", "a"},
    Decomposition{"ㄦˊ", "sic_e", "er"}, Decomposition{"ㄧㄚˊ", "sic_i", "ia"},
    Decomposition{"ㄨㄛˇ", "sic_u", "uo"}));

// Names outside the inventory come out as the rules make them.
INSTANTIATE_TEST_SUITE_P(OutsideInventory, DecomposeSyllable, ::testing::Values(
    Decomposition{"ㄙㄟˍ", "s_ee", "ei"}, Decomposition{"ㄧㄛˍ", "i_o", "o"},
    Decomposition{"ㄅㄝˋ", "b", ""}));  // a final in no class adds no suffix

INSTANTIATE_TEST_SUITE_P(NoNames, DecomposeSyllable, ::testing::Values(
    Decomposition{"ㄟˋ", "", ""}, Decomposition{"ㄝˋ", "", ""}, Decomposition{"ㄅˍ", "", ""},
    Decomposition{"ˍ", "", ""}, Decomposition{"", "", ""}, Decomposition{"ㄅㄧㄝㄚˍ", "", ""}));

TEST(DecomposeSyllableBytes, OddLengthGivesNoNames) {
  const SyllableModels models = decompose_syllable(big5("ㄅㄚˍ").substr(0, 5));
  EXPECT_EQ(models.initial_model, "");
  EXPECT_EQ(models.final_model, "");
}

TEST(DecomposeSyllableTable, NamesAreTheInventorysSubSyllableUnits) {
  std::set<std::string> expected_initials = {"s_ee", "i_o"}, expected_finals;
  for (int slot = 0; slot < kFirstFinalSlot + kFinalSlotCount; ++slot) {
    const std::string name(inventory_name(slot_order()[slot]));
    (slot < kFirstFinalSlot ? expected_initials : expected_finals).insert(name);
  }
  std::set<std::string> initials, finals;
  std::map<std::string, std::string> names_of_base;  // the tone never changes the names
  for (int row = 0; row < kSyllableCount; ++row) {
    const std::string_view text = syllable_text(row);
    const SyllableModels models = decompose_syllable(text);
    const bool unnamed = text == big5("ㄟˋ") || text == big5("ㄝˋ");
    EXPECT_EQ(models.initial_model.empty(), unnamed) << row;
    EXPECT_EQ(models.final_model.empty(), unnamed) << row;
    EXPECT_LE(models.initial_model.size(), 9u) << row;  // names fit a 10-byte field
    const std::string names = models.initial_model + "+" + models.final_model;
    const auto [known, added] = names_of_base.emplace(text.substr(0, text.size() - 2), names);
    EXPECT_EQ(known->second, names) << row;
    if (unnamed) continue;
    initials.insert(models.initial_model);
    finals.insert(models.final_model);
  }
  EXPECT_EQ(initials, expected_initials);
  EXPECT_EQ(finals, expected_finals);
  EXPECT_EQ(model_index_of("s_ee"), -1);
  EXPECT_EQ(model_index_of("i_o"), -1);
}

TEST(UnitNameOf, MatchesOneSymbolOrACompoundFinalExactly) {
  EXPECT_EQ(unit_name_of(big5("ㄢ")), "en");
  EXPECT_EQ(unit_name_of(big5("ㄣ")), "an");
  EXPECT_EQ(unit_name_of(big5("ㄐ")), "ji");
  EXPECT_EQ(unit_name_of(big5("ㄩㄥ")), "iung");
  for (const char* none : {"ㄝ", "ㄧㄛ", "ㄅㄚ", "ㄚˍ", "ˍ", ""}) {
    EXPECT_EQ(unit_name_of(big5(none)), std::nullopt) << none;
  }
  EXPECT_EQ(unit_name_of(big5("ㄢ").substr(0, 1)), std::nullopt);
  // Every single symbol but ㄝ has a unit: 21 initials and 15 one-symbol finals.
  int named = 0;
  for (char32_t symbol = U'ㄅ'; symbol <= U'ㄩ'; ++symbol) {
    const auto character = zhuyin_big5(symbol);
    named += unit_name_of({character->data(), character->size()}).has_value();
  }
  EXPECT_EQ(named, 36);
}

}  // namespace
}  // namespace kws
