#include "models/hmm_definition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "models/model_inventory.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"

namespace kws {
namespace {

std::string repeated(const char* value, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += std::string(value) + " ";
  return text;
}

// Reads text as the definition of model b_a; returns the refusal (empty if loaded).
struct Parsed {
  std::unique_ptr<HmmModel> model = std::make_unique<HmmModel>();
  std::string refusal;
  std::vector<std::string> diagnostics;
};

Parsed parse(const std::string& text) {
  testing::CapturingSink sink;
  Parsed parsed;
  parsed.refusal = parse_hmm_definition(text, "b_a", "model/bsl/b_a", *parsed.model);
  parsed.diagnostics = sink.lines;
  return parsed;
}

const std::string kTwoStateModel =
    "~h \"b_a\"\n<BeginHMM> <NumStates> 4 <VecSize> 24 <MFCC_D> <NULLD> <DIAGC> <StreamInfo> 1 24\n"
    "<State> 2 <NumMixes> 2\n"
    "<Mixture> 1 0.25 <Mean> 24 " + repeated("1.5", 24) + "<Variance> 24 " + repeated("0.5", 24) +
    "<GConst> 3.25e1\n"
    "<Mixture> 2 0.75 <Mean> 24 " + repeated("-1", 24) + "<Variance> 24 " + repeated("4", 24) +
    "<GConst> 12\n"
    "<State> 3 <Mean> 24 " + repeated("2", 24) + "<Variance> 24 " + repeated("1", 24) + "<GConst> 7\n"
    "<TransP> 4\n0 1 0 0\n0 0.6 0.4 0\n0 0 0.7 0.3\n0 0 0 -1\n<EndHMM>\n";

TEST(HmmDefinition, ReadsTheSubsetIntoTheRecord) {
  const Parsed parsed = parse(kTwoStateModel);
  ASSERT_EQ(parsed.refusal, "");
  const HmmModel& m = *parsed.model;
  EXPECT_EQ(m.state_count, 4);
  EXPECT_EQ(m.model_index, model_index_of("b_a"));
  EXPECT_EQ(m.mixture_count[1], 2);
  EXPECT_EQ(m.weight[1][0], 0.25f);
  EXPECT_EQ(m.weight[1][1], 0.75f);
  EXPECT_EQ(m.mean[1][0][23], 1.5f);
  EXPECT_EQ(m.inverse_variance[1][0][0], 2.0f);  // variance 0.5 is stored as its reciprocal
  EXPECT_EQ(m.inverse_variance[1][1][5], 0.25f);
  EXPECT_EQ(m.gconst[1][0], 32.5f);
  EXPECT_EQ(m.gconst[1][1], 12.0f);
  EXPECT_FLOAT_EQ(m.log_transition[1][2], std::log(0.4f));
  EXPECT_FLOAT_EQ(m.log_transition[0][1], 0.0f);
  // Zero and negative probabilities become ln(1e-30).
  EXPECT_NEAR(m.log_transition[0][0], -69.0776, 1e-3);
  EXPECT_NEAR(m.log_transition[3][3], -69.0776, 1e-3);
  // The quoted name and the macro header are unknown tokens: one diagnostic each.
  EXPECT_EQ(parsed.diagnostics, (std::vector<std::string>{"Idiot ~h\n", "Idiot \"b_a\"\n"}));
}

TEST(HmmDefinition, CurrentComponentSurvivesStateChanges) {
  // State 3 has no <Mixture> line, so its data lands in the component the last
  // <Mixture> chose (slot 1), while its mixture count stays the default 1.
  const Parsed parsed = parse(kTwoStateModel);
  const HmmModel& m = *parsed.model;
  EXPECT_EQ(m.mixture_count[2], 1);
  EXPECT_EQ(m.mean[2][1][0], 2.0f);
  EXPECT_EQ(m.mean[2][0][0], 0.0f);
  EXPECT_EQ(m.gconst[2][1], 7.0f);
}

TEST(HmmDefinition, DefaultsWhenStatesHaveNoMixtureLines) {
  const Parsed parsed =
      parse("<NumStates> 3 <State> 2 <Mean> 12 " + repeated("0.5", 24) + "<GConst> 1 <EndHMM>");
  ASSERT_EQ(parsed.refusal, "");
  for (int slot = 0; slot < kStateSlots; ++slot) EXPECT_EQ(parsed.model->mixture_count[slot], 1);
  EXPECT_EQ(parsed.model->weight[1][0], 1.0f);  // no <Mixture> line: weight 1
  // A <Mean> whose size says 12 still takes 24 values; the next keyword reads fine.
  EXPECT_EQ(parsed.model->mean[1][0][23], 0.5f);
  EXPECT_EQ(parsed.model->gconst[1][0], 1.0f);
}

TEST(HmmDefinition, KeywordsInOtherCaseAreUnknownTokens) {
  const Parsed parsed = parse("<NUMSTATES> 3 <STATE> 2 <ENDHMM>");
  ASSERT_EQ(parsed.refusal, "");
  EXPECT_EQ(parsed.model->state_count, 0);
  EXPECT_EQ(parsed.diagnostics.size(), 5u);  // every token, numbers included
  EXPECT_EQ(parsed.diagnostics.front(), "Idiot <NUMSTATES>\n");
}

TEST(HmmDefinition, NothingAfterEndHmmIsRead) {
  const Parsed parsed = parse("<NumStates> 3 <EndHMM> <NumStates> 5 garbage <State> 9");
  ASSERT_EQ(parsed.refusal, "");
  EXPECT_EQ(parsed.model->state_count, 3);
  EXPECT_TRUE(parsed.diagnostics.empty());
}

struct Refusal {
  std::string name;
  std::string text;
  std::string reason;
};

class HmmDefinitionRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(HmmDefinitionRefusal, NamesTheFileAndTheValue) {
  const Parsed parsed = parse(GetParam().text);
  EXPECT_EQ(parsed.refusal, "model/bsl/b_a: " + GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    ValuesOutsideTheRecord, HmmDefinitionRefusal,
    ::testing::Values(
        Refusal{"StateCountAboveSix", "<NumStates> 7", "<NumStates> 7 is outside 2..6"},
        Refusal{"NegativeStateCount", "<NumStates> -3", "<NumStates> -3 is outside 2..6"},
        Refusal{"StateAboveLastEmitting", "<NumStates> 5 <State> 5", "<State> 5 is outside 2..4 for <NumStates> 5"},
        Refusal{"EntryStateIsNotEmitting", "<NumStates> 5 <State> 1", "<State> 1 is outside 2..4 for <NumStates> 5"},
        Refusal{"StateBeforeStateCount", "<State> 2", "<State> 2 before <NumStates>"},
        Refusal{"MixtureAbove32", "<NumStates> 5 <State> 2 <Mixture> 33 0.5", "<Mixture> 33 is outside 1..32"},
        Refusal{"MixtureZero", "<NumStates> 5 <State> 2 <Mixture> 0 0.5", "<Mixture> 0 is outside 1..32"},
        Refusal{"MixtureCountAbove32", "<NumStates> 5 <State> 2 <NumMixes> 33", "<NumMixes> 33 is outside 0..32"},
        Refusal{"NegativeMixtureCount", "<NumStates> 5 <State> 2 <NumMixes> -1", "<NumMixes> -1 is outside 0..32"},
        Refusal{"TransitionsBeforeStateCount", "<TransP> 5 0.5", "<TransP> before <NumStates>"},
        Refusal{"MeanBeforeState", "<NumStates> 5 <Mean> 24 1", "<Mean> before any <State>"},
        Refusal{"GConstBeforeState", "<NumStates> 5 <GConst> 1", "<GConst> before any <State>"},
        Refusal{"MalformedReal", "<NumStates> 5 <State> 2 <Mean> 24 1 2 x", "<Mean> expects a number, found \"x\""},
        Refusal{"MalformedInteger", "<NumStates> five", "<NumStates> expects an integer, found \"five\""},
        Refusal{"FileEndsInsideVector", "<NumStates> 3 <State> 2 <Variance> 24 1 2", "the file ends inside <Variance>"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST(HmmDefinition, WrittenModelsReadBackWithoutDiagnostics) {
  const HmmModel original = testing::make_fixture_model(model_index_of("b_a"), 4, 3);
  const Parsed parsed = parse(write_hmm_definition(original));
  ASSERT_EQ(parsed.refusal, "");
  EXPECT_TRUE(parsed.diagnostics.empty());
  const HmmModel& copy = *parsed.model;
  EXPECT_EQ(copy.state_count, original.state_count);
  for (int state = 1; state <= 4; ++state) {
    EXPECT_EQ(copy.mixture_count[state], 3);
    for (int component = 0; component < 3; ++component) {
      EXPECT_EQ(copy.weight[state][component], original.weight[state][component]);
      EXPECT_EQ(copy.gconst[state][component], original.gconst[state][component]);
      for (int k = 0; k < kFeatureDimension; ++k) {
        EXPECT_EQ(copy.mean[state][component][k], original.mean[state][component][k]);
        EXPECT_FLOAT_EQ(copy.inverse_variance[state][component][k],
                        original.inverse_variance[state][component][k]);
      }
    }
  }
  for (int row = 0; row < kStateSlots; ++row) {
    for (int column = 0; column < kStateSlots; ++column) {
      EXPECT_NEAR(copy.log_transition[row][column], original.log_transition[row][column], 1e-5);
    }
  }
}

TEST(ModelInventory, NamesMapToFixedIndicesByExactMatch) {
  EXPECT_EQ(model_index_of("sil"), 0);
  EXPECT_EQ(model_index_of("fil_fin"), 152);
  EXPECT_EQ(model_index_of("j_ee"), 150);
  EXPECT_EQ(model_index_of("iai"), 128);
  EXPECT_EQ(model_index_of("a"), 104);
  EXPECT_EQ(model_index_of("sic_a"), 142);
  for (const char* name : {"Sil", "sil ", "", "empt", "s_ee", "i_o"}) EXPECT_EQ(model_index_of(name), -1) << name;
  for (int index = 0; index < kInventorySize; ++index) EXPECT_EQ(model_index_of(inventory_name(index)), index);
}

TEST(ModelInventory, SlotOrderPutsInitialsFinalsSilenceAndFiller) {
  const auto& order = slot_order();
  auto is_final = [](int index) { return index >= 104 && index <= 141; };
  for (int slot = 0; slot < kInitialSlotCount; ++slot) {
    EXPECT_FALSE(is_final(order[slot])) << slot;
    EXPECT_NE(order[slot], 0);
  }
  for (int slot = kFirstFinalSlot; slot < kFirstFinalSlot + kFinalSlotCount; ++slot) EXPECT_TRUE(is_final(order[slot]));
  EXPECT_EQ(inventory_name(order[kSilenceSlot]), "sil");
  EXPECT_EQ(inventory_name(order[kFillerInitialSlot]), "fil_ini");
  EXPECT_EQ(inventory_name(order[kFillerFinalSlot]), "fil_fin");
  std::vector<int> sorted(order.begin(), order.end());
  std::sort(sorted.begin(), sorted.end());
  for (int index = 0; index < kInventorySize; ++index) EXPECT_EQ(sorted[index], index);
  // The inverse: a name's slot.
  for (int slot = 0; slot < kInventorySize; ++slot) EXPECT_EQ(slot_in_order(inventory_name(order[slot])), slot);
  EXPECT_EQ(slot_in_order("Sil"), -1);
}

}  // namespace
}  // namespace kws
