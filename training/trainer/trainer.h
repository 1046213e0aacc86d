// Training of the 153 models of the inventory from aligned utterances:
// a flat start from evenly shared frames, Viterbi re-alignment and
// re-estimation, and mixture splitting up to the wanted component count.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "trainer/acoustic_model.h"
#include "trainer/alignment.h"
#include "trainer/estimation.h"
#include "trainer/training_data.h"

namespace kws::trainer {

struct TrainingOptions {
  int jobs = 1;
  // Emitting states. The search gives every state at least one frame and the
  // verification wants seven frames per syllable: 3 + 4 makes the shortest
  // syllable the models can match exactly that long.
  int initial_states = 3;
  int final_states = 4;
  int silence_states = 3;
  int mixtures = 8;                    // components per state at most (the format allows 32)
  int single_gaussian_iterations = 5;  // re-alignments before the first split
  int iterations_per_split = 12;  // the models were still improving after 3 and 8
  double variance_floor = 0.02;            // fraction of the corpus variance
  double minimum_component_frames = 20.0;  // frames a component needs to be split off
};

using Progress = std::function<void(const std::string& line)>;

struct MainModels {
  std::vector<TrainedModel> models;   // by slot, 153
  std::vector<Alignment> alignments;  // the last alignment of every utterance
  std::vector<std::string> unseen;    // models no frame was aligned with
};

// The emitting-state count of a slot under the options.
int states_of_slot(int slot, const TrainingOptions& options);

using SetStatistics = std::vector<ModelStatistics>;

// Statistics shaped like the models, all zero.
SetStatistics empty_statistics(const std::vector<TrainedModel>& models);

// Adds the frames of one aligned utterance to the statistics of the states
// they were aligned with, and of the filler halves they also train, with the
// component posteriors of the packed models.
void accumulate_utterance(const TrainingUtterance& utterance, const Alignment& alignment, const PackedModels& models,
                          SetStatistics& statistics, std::vector<double>& scratch);

MainModels train_main_models(const std::vector<TrainingUtterance>& corpus, const TrainingOptions& options,
                             const Progress& progress);

}  // namespace kws::trainer
