#include "trainer/trainer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "lexicon/syllable_table.h"
#include "models/model_inventory.h"
#include "platform/text_encoding.h"
#include "models/anti_model_map.h"
#include "search/verification.h"
#include "test_values.h"
#include "trainer/anti_models.h"

namespace kws::trainer {
namespace {

using testing::row_of;

// Utterances of two syllables whose units each sound like a fixed vector
// (10 x the slot, plus noise), with silence around them and sometimes a pause.
std::vector<TrainingUtterance> designed_corpus() {
  std::uint64_t state = 12345;
  const auto noise = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<float>((state >> 40) % 1000) / 1000.0f - 0.5f;
  };
  const std::vector<std::vector<int>> sentences{{row_of("ㄊㄞˊ"), row_of("ㄅㄟˇ")}, {row_of("ㄅㄟˇ"), row_of("ㄊㄞˊ")}};
  std::vector<TrainingUtterance> corpus;
  for (int u = 0; u < 24; ++u) {
    TrainingUtterance utterance;
    utterance.origin = "designed";
    const std::vector<int>& syllables = sentences[static_cast<std::size_t>(u) % 2];
    utterance.units = alignment_units(syllables);
    for (const AlignmentUnit& unit : utterance.units) {
      const int frames = unit.optional ? (u % 3 == 0 ? 5 : 0) : 6 + u % 5;
      for (int f = 0; f < frames; ++f) {
        FeatureVector v;
        for (float& x : v) x = static_cast<float>(unit.slot) * 10.0f + noise();
        utterance.frames.push_back(v);
      }
    }
    corpus.push_back(std::move(utterance));
  }
  return corpus;
}

TEST(Trainer, LearnsDesignedUnitsAndGivesTheSameModelsWhateverTheThreadCount) {
  const std::vector<TrainingUtterance> corpus = designed_corpus();
  TrainingOptions options;
  options.mixtures = 2;
  options.single_gaussian_iterations = 3;
  options.iterations_per_split = 2;
  options.minimum_component_frames = 5.0;
  std::vector<std::string> progress;
  options.jobs = 1;
  const MainModels one = train_main_models(corpus, options, [&](const std::string& line) { progress.push_back(line); });
  options.jobs = 2;
  const MainModels two = train_main_models(corpus, options, [](const std::string&) {});
  for (std::size_t slot = 0; slot < one.models.size(); ++slot) {
    ASSERT_EQ(definition_text(one.models[slot]), definition_text(two.models[slot])) << "slot " << slot;
  }

  ASSERT_EQ(progress.size(), 6u);  // even shares, 3 re-alignments, 1 split stage of 2
  EXPECT_NE(progress[0].find("iteration 1/6"), std::string::npos) << progress[0];
  EXPECT_NE(progress[5].find("24 utterances aligned, 0 not"), std::string::npos) << progress[5];

  const int t = corpus[0].units[1].slot;
  for (const TrainedState& state : one.models[static_cast<std::size_t>(t)].states) {
    for (const Gaussian& g : state.components) EXPECT_NEAR(g.mean[0], 10.0f * static_cast<float>(t), 0.5f);
  }
  // The filler halves pool every initial and every final.
  const TrainedModel& filler = one.models[kFillerInitialSlot];
  float lowest = 1e9f, highest = -1e9f;
  for (const Gaussian& g : filler.states[0].components) {
    lowest = std::min(lowest, g.mean[0]);
    highest = std::max(highest, g.mean[0]);
  }
  EXPECT_LT(lowest, highest - 10.0f);
  // Models no frame reaches are reported.
  EXPECT_NE(std::find(one.unseen.begin(), one.unseen.end(), "iung"), one.unseen.end());

  AntiModelOptions anti_options;
  anti_options.mixtures = 1;
  anti_options.competitors = 1;
  const AntiModels anti = train_anti_models(corpus, one, anti_options, [](const std::string&) {});
  ASSERT_EQ(anti.models.size(), 59u);
  // The group of t_a has only b_ei to compete with among the initials seen.
  const int t_group = kAntiModelMap[static_cast<std::size_t>(t)];
  const int b = corpus[0].units[4].slot;
  ASSERT_EQ(anti.competitors[static_cast<std::size_t>(t_group)].size(), 1u);
  EXPECT_EQ(anti.competitors[static_cast<std::size_t>(t_group)][0], b);
  EXPECT_NEAR(anti.models[static_cast<std::size_t>(t_group)].states[0].components[0].mean[0], 10.0f * b, 0.5f);
}

}  // namespace
}  // namespace kws::trainer
