#include "trainer/model_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "models/anti_model_file.h"
#include "models/hmm_definition.h"
#include "models/model_inventory.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "support/kws_runner.h"
#include "trainer/trainer.h"

namespace kws::trainer {
namespace {

// A model with numbers that do not print short: every digit must survive.
TrainedModel awkward_model(int inventory_index, int states, int mixtures, int seed) {
  TrainedModel model;
  model.inventory_index = inventory_index;
  model.states.resize(static_cast<std::size_t>(states));
  for (int s = 0; s < states; ++s) {
    TrainedState& state = model.states[static_cast<std::size_t>(s)];
    state.self_loop = 0.6f + 0.01f * static_cast<float>(s) + 1e-7f * static_cast<float>(seed);
    for (int m = 0; m < mixtures; ++m) {
      Gaussian g;
      g.weight = 1.0f / static_cast<float>(mixtures) + (m == 0 ? 1e-7f : 0.0f);
      for (int k = 0; k < kFeatureDimension; ++k) {
        g.mean[static_cast<std::size_t>(k)] = std::sin(static_cast<float>(seed * 1000 + s * 100 + m * 24 + k)) * 7.3f;
        g.variance[static_cast<std::size_t>(k)] = 0.013f + std::fabs(std::cos(static_cast<float>(seed + k * m + s)));
      }
      state.components.push_back(g);
    }
  }
  return model;
}

TEST(ModelFiles, WhatTheTrainerWritesTheStationReadsBackToTheSameNumbers) {
  const std::filesystem::path root = testing::scratch_directory();
  const TrainingOptions options;
  std::vector<TrainedModel> models;
  for (int slot = 0; slot < kInventorySize; ++slot) {
    models.push_back(
        awkward_model(slot_order()[static_cast<std::size_t>(slot)], states_of_slot(slot, options), 1 + slot % 8, slot));
  }
  const std::vector<TrainedModel> anti{awkward_model(-1, 3, 8, 500), awkward_model(-1, 4, 2, 501)};
  ASSERT_EQ(write_model_files(root.string(), models, anti), "");

  const testing::CapturingSink sink;
  for (const int slot : {0, 77, 112, 149, 150, 152}) {
    const TrainedModel& trained = models[static_cast<std::size_t>(slot)];
    HmmModel read{};
    read_hmm_definition(root.string(), inventory_name(trained.inventory_index), read);
    ASSERT_EQ(read.state_count, trained.state_count());
    EXPECT_EQ(read.model_index, trained.inventory_index);
    for (int s = 0; s < static_cast<int>(trained.states.size()); ++s) {
      const TrainedState& state = trained.states[static_cast<std::size_t>(s)];
      ASSERT_EQ(read.mixture_count[s + 1], static_cast<int>(state.components.size()));
      for (std::size_t m = 0; m < state.components.size(); ++m) {
        const Gaussian& g = state.components[m];
        EXPECT_EQ(read.weight[s + 1][m], g.weight);
        EXPECT_EQ(read.gconst[s + 1][m], gconst_of(g));
        for (std::size_t k = 0; k < kFeatureDimension; ++k) {
          EXPECT_EQ(read.mean[s + 1][m][k], g.mean[k]);
          EXPECT_EQ(read.inverse_variance[s + 1][m][k], 1.0f / g.variance[k]);
        }
      }
      EXPECT_EQ(read.log_transition[s + 1][s + 1], static_cast<float>(std::log(static_cast<double>(state.self_loop))));
    }
    EXPECT_EQ(read.log_transition[0][1], 0.0f);
  }
  EXPECT_TRUE(sink.lines.empty()) << sink.lines.front();  // no "Idiot" line

  ModelSet loaded;
  ASSERT_EQ(load_anti_model_file((root / "rcdhmm" / "anti0630.hmm").string(), loaded), AntiModelLoad::loaded);
  ASSERT_EQ(loaded.count, 2);
  const HmmModel expected = model_record(anti[1]);
  EXPECT_EQ(std::memcmp(&loaded.records[1], &expected, sizeof(HmmModel)), 0);
  EXPECT_EQ(loaded.records[1].model_index, -1);
}

TEST(ModelFiles, TheStationStartsOnTheWrittenModelsWithoutADiagnostic) {
  const std::filesystem::path root = testing::write_fixture_data_directory(testing::scratch_directory());
  const TrainingOptions options;
  std::vector<TrainedModel> models;
  for (int slot = 0; slot < kInventorySize; ++slot) {
    models.push_back(
        awkward_model(slot_order()[static_cast<std::size_t>(slot)], states_of_slot(slot, options), 2, slot));
  }
  std::vector<TrainedModel> anti;
  for (int a = 0; a < 59; ++a) anti.push_back(awkward_model(-1, a < 26 ? 3 : 4, 4, a));
  ASSERT_EQ(write_model_files(root.string(), models, anti), "");
  EXPECT_FALSE(std::filesystem::exists(root / "rcdmodel.partial"));

  const testing::CommandRun run = testing::run_kws("check-data --data " + root.string());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("models: 153"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("anti-models: 59"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace kws::trainer
