#include "trainer/alignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "lexicon/syllable_table.h"
#include "models/model_inventory.h"
#include "platform/text_encoding.h"
#include "test_values.h"
#include "trainer/trainer.h"

namespace kws::trainer {
namespace {

using testing::constant_vector;
using testing::row_of;

// A set of 153 models in which state s of slot m emits around 10 m + s, so a
// frame names its state; variances are small enough that any other state
// loses by far.
std::vector<TrainedModel> labelled_models() {
  std::vector<TrainedModel> models;
  const TrainingOptions options;
  for (int slot = 0; slot < kInventorySize; ++slot) {
    TrainedModel model = single_gaussian_model(slot_order()[static_cast<std::size_t>(slot)],
                                               states_of_slot(slot, options), {}, constant_vector(0.25f));
    for (int s = 0; s < static_cast<int>(model.states.size()); ++s) {
      model.states[static_cast<std::size_t>(s)].components[0].mean = constant_vector(static_cast<float>(10 * slot + s));
    }
    models.push_back(model);
  }
  return models;
}

struct Stretch {
  int slot;
  std::vector<int> frames_per_state;
};

// Frames that sit on the states of the stretches in turn; the alignment that
// produced them.
std::vector<FeatureVector> frames_of(const std::vector<Stretch>& stretches, Alignment& truth) {
  std::vector<FeatureVector> frames;
  for (const Stretch& stretch : stretches) {
    for (std::size_t s = 0; s < stretch.frames_per_state.size(); ++s) {
      for (int i = 0; i < stretch.frames_per_state[s]; ++i) {
        frames.push_back(constant_vector(static_cast<float>(10 * stretch.slot + static_cast<int>(s))));
        truth.slot.push_back(static_cast<std::int16_t>(stretch.slot));
        truth.state.push_back(static_cast<std::int8_t>(s));
      }
    }
  }
  return frames;
}

TEST(Alignment, UnitsAreSilenceSyllablesWithOptionalPausesAndSilence) {
  const std::vector<int> syllables{row_of("ㄊㄞˊ"), row_of("ㄅㄟˇ")};
  const std::vector<AlignmentUnit> units = alignment_units(syllables);
  ASSERT_EQ(units.size(), 7u);
  EXPECT_EQ(units[0].slot, kSilenceSlot);
  EXPECT_FALSE(units[0].optional);
  EXPECT_TRUE(units[3].optional);
  EXPECT_EQ(units[3].slot, kSilenceSlot);
  EXPECT_EQ(units[6].slot, kSilenceSlot);
  EXPECT_FALSE(units[6].optional);
  for (const int i : {1, 2, 4, 5}) EXPECT_FALSE(units[static_cast<std::size_t>(i)].optional);
}

TEST(Alignment, ViterbiFindsTheSegmentationWithAndWithoutThePause) {
  const std::vector<TrainedModel> models = labelled_models();
  const PackedModels packed = pack_models(models);
  const std::vector<int> syllables{row_of("ㄊㄞˊ"), row_of("ㄅㄟˇ")};
  const std::vector<AlignmentUnit> units = alignment_units(syllables);
  const int t = units[1].slot, ai = units[2].slot, b = units[4].slot, ei = units[5].slot;

  for (const bool pause : {true, false}) {
    std::vector<Stretch> stretches{{kSilenceSlot, {2, 3, 1}}, {t, {1, 2, 1}}, {ai, {3, 1, 4, 2}}};
    if (pause) stretches.push_back({kSilenceSlot, {1, 1, 2}});
    stretches.push_back({b, {2, 1, 1}});
    stretches.push_back({ei, {1, 1, 1, 5}});
    stretches.push_back({kSilenceSlot, {1, 1, 4}});
    Alignment truth;
    const std::vector<FeatureVector> frames = frames_of(stretches, truth);
    const Alignment found = viterbi_alignment(frames, units, models, packed);
    ASSERT_TRUE(found.ok);
    EXPECT_EQ(found.slot, truth.slot) << "pause " << pause;
    EXPECT_EQ(found.state, truth.state) << "pause " << pause;
    EXPECT_LT(found.log_likelihood, 0.0);

    const std::vector<Segment> segments = segments_of(found);
    ASSERT_EQ(segments.size(), stretches.size());
    EXPECT_EQ(segments[2].slot, ai);
    EXPECT_EQ(segments[2].first_frame, 10);
    EXPECT_EQ(segments[2].last_frame, 19);
  }
}

// ln of the weighted sum of the component densities in double precision, by
// log-sum-exp around the largest term.
double log_likelihood(const PreparedState& state, const FeatureVector& frame) {
  std::vector<double> terms;
  component_log_terms(state, frame, terms);
  const double best = *std::max_element(terms.begin(), terms.end());
  double sum = 0.0;
  for (const double term : terms) sum += std::exp(term - best);
  return best + std::log(sum);
}

// Alignment scores in single precision with the packed Gaussians; the
// trainer's own double-precision sum is the reference, also for frames so far
// from every component that each term underflows (training keeps them finite).
TEST(Alignment, PackedScoresStayWithinARelative1e5OfTheDoubleLogLikelihood) {
  std::mt19937 random(3u);
  std::uniform_real_distribution<float> value(-3.0f, 3.0f), variance(0.1f, 4.0f), weight(0.05f, 1.0f);
  std::vector<TrainedModel> models;
  for (int slot = 0; slot < 12; ++slot) {
    TrainedModel model;
    model.inventory_index = slot;
    model.states.resize(3);
    for (TrainedState& state : model.states) {
      state.components.resize(static_cast<std::size_t>(1 + (slot * 3 + static_cast<int>(models.size())) % 8));
      float total = 0.0f;
      for (Gaussian& g : state.components) {
        total += g.weight = weight(random);
        for (float& m : g.mean) m = 4.0f * value(random);
        for (float& v : g.variance) v = variance(random);
      }
      for (Gaussian& g : state.components) g.weight /= total;
    }
    models.push_back(model);
  }
  const PackedModels packed = pack_models(models);
  FrameGroup group;
  std::vector<FeatureVector> frames(kFrameGroup);
  for (const float spread : {3.0f, 300.0f}) {
    for (FeatureVector& frame : frames) {
      for (float& x : frame) x = spread * value(random);
    }
    GaussianTables::load_frames(frames.data(), kFrameGroup, group);
    for (const ScoringKernels kernels : {ScoringKernels::fastest, ScoringKernels::portable}) {
      choose_scoring_kernels(kernels);
      for (std::size_t slot = 0; slot < models.size(); ++slot) {
        for (std::size_t s = 0; s < models[slot].states.size(); ++s) {
          float scores[kFrameGroup];
          packed.gaussians.finite_mixture(static_cast<int>(slot), static_cast<int>(s) + 1, group, scores);
          const PreparedState state = prepare_state(models[slot].states[s]);
          for (int f = 0; f < kFrameGroup; ++f) {
            const double expected = log_likelihood(state, frames[static_cast<std::size_t>(f)]);
            ASSERT_TRUE(std::isfinite(scores[f])) << slot << " " << s << " " << spread;
            EXPECT_NEAR(scores[f], expected, 1e-5 * std::max(1.0, std::abs(expected))) << slot << " " << s;
          }
        }
      }
    }
    choose_scoring_kernels(ScoringKernels::fastest);
  }
}

TEST(Alignment, AnUtteranceShorterThanItsStatesCannotBeAligned) {
  const std::vector<TrainedModel> models = labelled_models();
  const std::vector<int> syllables{row_of("ㄊㄞˊ")};
  const std::vector<AlignmentUnit> units = alignment_units(syllables);
  // sil + t + ai + sil: 3 + 3 + 4 + 3 states.
  const std::vector<FeatureVector> frames(12, constant_vector(0.0f));
  EXPECT_FALSE(viterbi_alignment(frames, units, models, pack_models(models)).ok);
  EXPECT_FALSE(uniform_alignment(12, units, models).ok);

  const Alignment even = uniform_alignment(26, units, models);
  ASSERT_TRUE(even.ok);
  // Two frames per state, the optional pause left out.
  EXPECT_EQ(even.slot.front(), kSilenceSlot);
  EXPECT_EQ(even.state[5], 2);
  EXPECT_EQ(even.slot[6], units[1].slot);
  EXPECT_EQ(even.slot.back(), kSilenceSlot);
  EXPECT_EQ(even.state.back(), 2);
}

}  // namespace
}  // namespace kws::trainer
