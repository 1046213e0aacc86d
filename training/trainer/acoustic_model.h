// The trainer's view of an HMM: Gaussians with variances (not their
// reciprocals) and linear transition probabilities, from which the station's
// definition text and model record are made.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "frontend/feature_extraction.h"
#include "models/hmm_model.h"
#include "models/model_set.h"
#include "search/gaussian_tables.h"

namespace kws::trainer {

struct Gaussian {
  float weight = 1.0f;
  FeatureVector mean{};
  FeatureVector variance{};
};

struct TrainedState {
  std::vector<Gaussian> components;
  float self_loop = 0.5f;  // probability of staying; the rest goes to the next state
};

// A left-to-right model without skips: entry state, the emitting states, exit.
struct TrainedModel {
  int inventory_index = -1;  // -1 for anti-models, which have no inventory name
  std::vector<TrainedState> states;

  int state_count() const { return static_cast<int>(states.size()) + 2; }
};

// The model with every state a single Gaussian of the given statistics.
TrainedModel single_gaussian_model(int inventory_index, int emitting_states, const FeatureVector& mean,
                                   const FeatureVector& variance);

// 24 ln(2 pi) + the sum of the log variances: the constant that makes the
// station's -0.5 x (GConst + weighted squared distance) the log density.
float gconst_of(const Gaussian& gaussian);

// The definition file text, in the keyword subset the station reads without
// a diagnostic. Every number is written so that it reads back to the same float.
std::string definition_text(const TrainedModel& model);

// The record the station makes of definition_text(model).
HmmModel model_record(const TrainedModel& model);

// A state made ready for scoring many frames: per component the log weight
// with the Gaussian's constant folded in, the mean and the precisions.
struct PreparedState {
  std::vector<double> offset;
  std::vector<FeatureVector> mean;
  std::vector<FeatureVector> precision;
};
PreparedState prepare_state(const TrainedState& state);

// Every state of a model, prepared.
using PreparedModel = std::vector<PreparedState>;
PreparedModel prepare_model(const TrainedModel& model);

// The models as the station holds them (records[slot] is model_record(models[slot])),
// with their Gaussians packed to score many frames at once: what alignment
// scores with, in single precision as the station does. State s of a trained
// model is state s + 1 of its record.
struct PackedModels {
  ModelSet set;
  GaussianTables gaussians;
};
PackedModels pack_models(std::span<const TrainedModel> models);

// The per-component terms ln w + ln N(frame) behind log_likelihood.
void component_log_terms(const PreparedState& state, const FeatureVector& frame, std::vector<double>& terms);

}  // namespace kws::trainer
