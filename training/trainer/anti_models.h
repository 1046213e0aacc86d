// Anti-models: one per anti-model slot, each trained on what its group of
// units is most easily confused with, so that the verification can tell a
// unit that fits from a competitor that happens to score well.
#pragma once

#include <vector>

#include "trainer/trainer.h"

namespace kws::trainer {

struct AntiModelOptions {
  int jobs = 1;
  int competitors = 4;  // units pooled into each anti-model
  int mixtures = 8;
  int iterations_per_split = 2;
  int sample_segments = 20;     // per unit, for measuring confusion
  int training_segments = 400;  // per competitor unit at most
  double variance_floor = 0.02;
  double minimum_component_frames = 20.0;
};

struct AntiModels {
  std::vector<TrainedModel> models;  // by anti-model slot
  // For each anti-model slot, the units (slots) it was trained on.
  std::vector<std::vector<int>> competitors;
};

AntiModels train_anti_models(const std::vector<TrainingUtterance>& corpus, const MainModels& main,
                             const AntiModelOptions& options, const Progress& progress);

}  // namespace kws::trainer
