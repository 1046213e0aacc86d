#include "search/state_scoring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "engine/engine.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "search/gaussian_tables.h"
#include "search/utterance_workspace.h"
#include "support/bundled_engine.h"
#include "support/capturing_sink.h"
#include "support/test_vocabulary.h"

namespace kws {
namespace {

constexpr float kMinusInf = -std::numeric_limits<float>::infinity();

FeatureVector constant(float value) {
  FeatureVector v;
  v.fill(value);
  return v;
}

void set_component(HmmModel& model, int state, int i, const FeatureVector& mean, float gconst, float weight) {
  for (int k = 0; k < kFeatureDimension; ++k) {
    model.mean[state][i][k] = mean[static_cast<std::size_t>(k)];
    model.inverse_variance[state][i][k] = 1.0f;
  }
  model.gconst[state][i] = gconst;
  model.weight[state][i] = weight;
  model.mixture_count[state] = static_cast<std::int16_t>(std::max<int>(model.mixture_count[state], i + 1));
}

TEST(StateScoring, HandComputedScores) {
  auto model = std::make_unique<HmmModel>();
  FeatureVector frame = constant(0.0f);
  frame[5] = 2.5f;
  EXPECT_EQ(best_gaussian_score(*model, 1, frame), -5e29f);  // no components
  EXPECT_EQ(mixture_score(*model, 1, frame), kMinusInf);

  set_component(*model, 1, 0, frame, 0.0f, 1.0f);  // at the frame, GConst 0
  EXPECT_EQ(best_gaussian_score(*model, 1, frame), 0.0f);
  EXPECT_EQ(mixture_score(*model, 1, frame), 0.0f);

  // Equal distances 2 + 1 either side of the frame, in either order: the
  // best Gaussian ties, the mixture adds the weights.
  FeatureVector above = frame, below = frame;
  above[0] = 1.0f;
  below[0] = -1.0f;
  set_component(*model, 2, 0, above, 2.0f, 0.25f);
  set_component(*model, 2, 1, below, 2.0f, 0.5f);
  set_component(*model, 3, 0, below, 2.0f, 0.5f);
  set_component(*model, 3, 1, above, 2.0f, 0.25f);
  for (const int state : {2, 3}) {
    EXPECT_EQ(best_gaussian_score(*model, state, frame), -1.5f);
    EXPECT_FLOAT_EQ(mixture_score(*model, state, frame), std::log(0.75f) - 1.5f);
  }

  // 1e8 plus 24 unit terms: a float sum would stay at 1e8.
  set_component(*model, 4, 0, constant(1.0f), 1e8f, 1.0f);
  EXPECT_EQ(best_gaussian_score(*model, 4, constant(0.0f)), -50000012.0f);
  EXPECT_EQ(mixture_score(*model, 4, constant(0.0f)), kMinusInf);  // exp underflows
}

float plain_distance(const HmmModel& model, int state, int i, const FeatureVector& x) {
  double sum = model.gconst[state][i];
  for (int k = 0; k < kFeatureDimension; ++k) {
    const double difference = static_cast<double>(x[static_cast<std::size_t>(k)]) - model.mean[state][i][k];
    sum += difference * difference * static_cast<double>(model.inverse_variance[state][i][k]);
  }
  return static_cast<float>(sum);
}

// Random states of 1..32 components (all block remainders) against random
// frames: the scorers must give the plain form's bits exactly.
TEST(StateScoring, MatchesThePlainFormBitForBit) {
  std::mt19937 random(20240611u);
  std::uniform_real_distribution<float> value(-4.0f, 4.0f), precision(0.05f, 3.0f), weight(0.001f, 1.0f);
  auto model = std::make_unique<HmmModel>();
  for (int i = 0; i < kMixtureSlots; ++i) {
    for (int k = 0; k < kFeatureDimension; ++k) {
      model->mean[1][i][k] = value(random);
      model->inverse_variance[1][i][k] = precision(random);
    }
    model->gconst[1][i] = 10.0f * value(random);
    model->weight[1][i] = weight(random);
  }
  for (int components = 1; components <= kMixtureSlots; ++components) {
    model->mixture_count[1] = static_cast<std::int16_t>(components);
    for (int trial = 0; trial < 4; ++trial) {
      FeatureVector frame;
      for (float& x : frame) x = value(random);
      float best = 1e30f;
      double sum = 0.0;
      for (int i = 0; i < components; ++i) {
        const float distance = plain_distance(*model, 1, i, frame);
        best = std::min(best, distance);
        sum += static_cast<double>(model->weight[1][i]) * std::exp(-0.5 * distance);
      }
      ASSERT_EQ(best_gaussian_score(*model, 1, frame), -0.5f * best) << components;
      ASSERT_EQ(mixture_score(*model, 1, frame), static_cast<float>(std::log(sum))) << components;
    }
  }
}

TEST(StateScoring, TableFillsCoverTheirModelsStatesAndFramesOnly) {
  constexpr float kUntouched = 12345.0f;
  auto engine = std::make_unique<testing::TestEngine>();
  engine->data.main_models.allocate(kMaxModels);
  for (int slot = 0; slot < kMaxModels; ++slot) {
    HmmModel& model = engine->data.main_models.records[slot];
    model.state_count = 5;  // states 1..3
    for (int state = 1; state <= 3; ++state) set_component(model, state, 0, constant(0.1f * static_cast<float>(slot % 7 + state)), 1.0f, 1.0f);
  }
  engine->data.main_models.records[20].state_count = 2;  // no emitting states
  for (int t = 0; t < 4; ++t)
    engine->work.features[static_cast<std::size_t>(t)] = constant(0.3f * static_cast<float>(t));
  for (auto& row : engine->work.state_scores) {
    for (auto& states : row) states.fill(kUntouched);
  }
  const auto entry = [&](int t, int slot, int state) { return engine->work.state_scores[t][slot][state]; };
  const auto& models = engine->data.main_models.records;
  const auto& features = engine->work.features;

  score_frames_mixture(engine->data, engine->work, 2);  // live: slots 0..152
  for (int t = 0; t < 2; ++t) {
    for (const int slot : {0, kSilenceSlot, kFillerFinalSlot}) {
      for (int state = 1; state <= 3; ++state) EXPECT_EQ(entry(t, slot, state), mixture_score(models[slot], state, features[t]));
      EXPECT_EQ(entry(t, slot, 0), kUntouched);
      EXPECT_EQ(entry(t, slot, 4), kUntouched);
    }
    EXPECT_EQ(entry(t, kFillerFinalSlot + 1, 1), kUntouched);
    EXPECT_EQ(entry(t, 20, 1), kUntouched);
  }
  EXPECT_EQ(entry(2, 0, 1), kUntouched);

  score_frames_best_gaussian(engine->data, engine->work, 3);  // batch: every loaded slot
  for (const int slot : {0, kFillerFinalSlot, kMaxModels - 1}) {
    EXPECT_EQ(entry(2, slot, 3), best_gaussian_score(models[slot], 3, features[2]));
  }
  EXPECT_EQ(entry(2, 20, 1), kUntouched);
  EXPECT_EQ(entry(3, 0, 1), kUntouched);

  engine->data.anti_models.allocate(kMaxAntiModels);
  set_component(engine->data.anti_models.records[7], 2, 0, features[2], 4.0f, 1.0f);
  score_anti_state_best_gaussian(engine->data, engine->work, 2, 7, 2);
  EXPECT_EQ(engine->work.anti_state_scores[2][7][2], -2.0f);

  testing::CapturingSink sink;
  score_frames_mixture(engine->data, engine->work, kMaxFrames + 1);
  EXPECT_EQ(entry(3, 0, 1), kUntouched);
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_NE(sink.lines[0].find("801 frames"), std::string::npos);
}

// The table fills score from the packed Gaussians in single precision: every
// entry within a relative 1e-5 of the plain rules (absolute below 1), and
// -infinity exactly where they give it.
class PackedScoring : public testing::BundledEngineTest {
 protected:
  // The largest relative error, of the fastest and of the portable loops.
  static float expect_close_to_plain(const LoadedData& data, UtteranceWorkspace& work, int frames) {
    float worst = 0.0f;
    for (const ScoringKernels kernels : {ScoringKernels::fastest, ScoringKernels::portable}) {
      choose_scoring_kernels(kernels);
      worst = std::max(worst, largest_error(data, work, frames));
    }
    choose_scoring_kernels(ScoringKernels::fastest);
    return worst;
  }

  static float largest_error(const LoadedData& data, UtteranceWorkspace& work, int frames) {
    float worst = 0.0f;
    for (const bool mixture : {false, true}) {
      if (mixture) {
        score_frames_mixture(data, work, frames);
      } else {
        score_frames_best_gaussian(data, work, frames);
      }
      const int slots = mixture ? std::min<int>(data.main_models.count, kInventorySize) : data.main_models.count;
      for (int t = 0; t < frames; ++t) {
        for (int slot = 0; slot < slots; ++slot) {
          const HmmModel& model = data.main_models.records[slot];
          for (int state = 1; state <= model.state_count - 2; ++state) {
            const FeatureVector& x = work.features[static_cast<std::size_t>(t)];
            const float plain = mixture ? mixture_score(model, state, x) : best_gaussian_score(model, state, x);
            const float fast = work.state_scores[static_cast<std::size_t>(t)][static_cast<std::size_t>(slot)]
                                                [static_cast<std::size_t>(state)];
            if (std::isinf(plain)) {
              EXPECT_EQ(fast, plain) << "frame " << t << " slot " << slot << " state " << state;
              continue;
            }
            const float error = std::abs(fast - plain) / std::max(std::abs(plain), 1.0f);
            worst = std::max(worst, error);
            EXPECT_LE(error, 1e-5f) << (mixture ? "mixture" : "best Gaussian") << ", frame " << t << " slot " << slot
                                    << " state " << state << ": " << fast << " for " << plain;
          }
        }
      }
    }
    return worst;
  }
};

TEST_F(PackedScoring, StaysWithinARelative1e5OfThePlainRulesOnRealAndRandomModels) {
  // The shipped models on the features of two recordings.
  Workspace workspace = this->workspace();
  float worst = 0.0f;
  for (const int n : {1, 27}) {
    const std::vector<std::int16_t> samples = recording(n);
    recognize(*data(), *vocabulary(), samples, PassOptions{}, workspace);
    const int frames = std::min<int>(static_cast<int>(samples.size()) / 160 - 1, kMaxFrames);
    worst = std::max(worst, expect_close_to_plain(*data(), workspace.tables(), frames));
  }

  // Random states of 0..32 components (every block remainder), weights of 0
  // among them, on frames near and far (where every term underflows).
  auto engine = std::make_unique<testing::TestEngine>();
  ModelSet& models = engine->data.main_models;
  models.allocate(kMaxModels);
  std::mt19937 random(7u);
  std::uniform_real_distribution<float> value(-4.0f, 4.0f), precision(0.05f, 3.0f), weight(0.0f, 1.0f);
  for (int slot = 0; slot < kMaxModels; ++slot) {
    HmmModel& model = models.records[slot];
    model.state_count = 6;
    for (int state = 1; state <= 4; ++state) {
      model.mixture_count[state] = static_cast<std::int16_t>((slot * 4 + state) % (kMixtureSlots + 1));
      for (int i = 0; i < model.mixture_count[state]; ++i) {
        for (int k = 0; k < kFeatureDimension; ++k) {
          model.mean[state][i][k] = 10.0f * value(random);
          model.inverse_variance[state][i][k] = precision(random);
        }
        model.gconst[state][i] = 10.0f * value(random);
        model.weight[state][i] = i % 5 == 3 ? 0.0f : weight(random);
      }
    }
  }
  pack_gaussians(engine->data);
  for (int t = 0; t < 20; ++t) {
    for (float& x : engine->work.features[static_cast<std::size_t>(t)]) x = (t < 17 ? 12.0f : 400.0f) * value(random);
  }
  worst = std::max(worst, expect_close_to_plain(engine->data, engine->work, 20));
  RecordProperty("largest_relative_error", format_text("%.3g", worst));
}

}  // namespace
}  // namespace kws
