#include "trainer/estimation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_values.h"

namespace kws::trainer {
namespace {

using testing::constant_vector;

TEST(Estimation, SingleGaussianGetsTheFramesMeanVarianceAndStayProbability) {
  TrainedModel model = single_gaussian_model(0, 2, constant_vector(0.0f), constant_vector(1.0f));
  ModelStatistics statistics = statistics_for(model);
  const PreparedModel ready = prepare_model(model);
  std::vector<double> scratch;
  // State 0: values 1, 3 (mean 2, variance 1), entered and left twice.
  for (const float x : {1.0f, 3.0f, 1.0f, 3.0f})
    add_frame(ready[0], constant_vector(x), 1.0, statistics.states[0], scratch);
  statistics.states[0].exits = 2.0;
  // State 1: one value only: its variance is the floor.
  add_frame(ready[1], constant_vector(5.0f), 2.0, statistics.states[1], scratch);
  statistics.states[1].exits = 2.0;

  EstimationRules rules;
  rules.variance_floor = constant_vector(0.01f);
  EXPECT_TRUE(reestimate(statistics, rules, model));
  const Gaussian& first = model.states[0].components[0];
  EXPECT_FLOAT_EQ(first.mean[7], 2.0f);
  EXPECT_FLOAT_EQ(first.variance[7], 1.0f);
  EXPECT_FLOAT_EQ(model.states[0].self_loop, 0.5f);  // 4 frames, 2 exits
  EXPECT_FLOAT_EQ(model.states[1].components[0].variance[0], 0.01f);
  // 2 frames of weight, 2 exits: never stays, kept just above zero.
  EXPECT_FLOAT_EQ(model.states[1].self_loop, 0.05f);
}

TEST(Estimation, StatesWithoutFramesKeepTheirParametersAndAreReported) {
  TrainedModel model = single_gaussian_model(0, 1, constant_vector(4.0f), constant_vector(2.0f));
  const ModelStatistics statistics = statistics_for(model);
  EXPECT_FALSE(reestimate(statistics, EstimationRules{}, model));
  EXPECT_FLOAT_EQ(model.states[0].components[0].mean[0], 4.0f);
  EXPECT_FLOAT_EQ(model.states[0].components[0].variance[0], 2.0f);
}

TEST(Estimation, ComponentsShareFramesByPosteriorAndStarvedOnesAreDropped) {
  TrainedModel model = single_gaussian_model(0, 1, constant_vector(0.0f), constant_vector(1.0f));
  model.states[0].components = {{0.5f, constant_vector(-3.0f), constant_vector(1.0f)},
                                {0.4f, constant_vector(3.0f), constant_vector(1.0f)},
                                {0.1f, constant_vector(40.0f), constant_vector(1.0f)}};
  ModelStatistics statistics = statistics_for(model);
  const PreparedModel ready = prepare_model(model);
  std::vector<double> scratch;
  for (int i = 0; i < 30; ++i) {
    add_frame(ready[0], constant_vector(i % 2 ? -3.5f : -2.5f), 1.0, statistics.states[0], scratch);
    add_frame(ready[0], constant_vector(i % 2 ? 3.5f : 2.5f), 1.0, statistics.states[0], scratch);
  }
  EstimationRules rules;
  rules.minimum_component_frames = 3.0;
  reestimate(statistics, rules, model);
  ASSERT_EQ(model.states[0].components.size(), 2u);  // the component at 40 saw nothing
  EXPECT_NEAR(model.states[0].components[0].mean[3], -3.0f, 1e-4);
  EXPECT_NEAR(model.states[0].components[1].mean[3], 3.0f, 1e-4);
  EXPECT_NEAR(model.states[0].components[0].weight, 0.5f, 1e-6);
  EXPECT_NEAR(model.states[0].components[1].variance[0], 0.25f, 1e-4);
}

TEST(Estimation, SplittingMovesMeansApartAndStopsWhenFramesRunShort) {
  TrainedModel model = single_gaussian_model(0, 1, constant_vector(1.0f), constant_vector(4.0f));
  ModelStatistics statistics = statistics_for(model);
  statistics.states[0].frames = 100.0;
  split_mixtures(statistics, 8, 20.0, model);
  // 100 frames: halves of 50 can split again, quarters of 25 cannot give two of 20.
  const std::vector<Gaussian>& components = model.states[0].components;
  ASSERT_EQ(components.size(), 4u);
  for (const Gaussian& g : components) EXPECT_FLOAT_EQ(g.weight, 0.25f);
  // Each split moves the two means 0.2 standard deviations (0.4 here) each way.
  EXPECT_FLOAT_EQ(components[0].mean[0], 1.8f);
  EXPECT_FLOAT_EQ(components[3].mean[0], 0.2f);
  EXPECT_FLOAT_EQ(components[3].variance[0], 4.0f);
}

}  // namespace
}  // namespace kws::trainer
