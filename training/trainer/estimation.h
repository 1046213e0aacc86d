// Re-estimation of Gaussian mixtures from aligned frames, and mixture
// splitting.
//
// Frames are hard-assigned to states by the alignment; within a state each
// component takes the frame in proportion to its posterior. Sums are kept in
// double and added in a fixed order, so the result does not depend on how the
// alignments were computed in parallel.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "frontend/feature_extraction.h"
#include "trainer/acoustic_model.h"

namespace kws::trainer {

struct ComponentStatistics {
  double occupancy = 0.0;
  std::array<double, kFeatureDimension> sum{};
  std::array<double, kFeatureDimension> square_sum{};
};

struct StateStatistics {
  std::vector<ComponentStatistics> components;
  double frames = 0.0;
  double exits = 0.0;  // times the state was left
};

// Statistics of one model, shaped like it.
struct ModelStatistics {
  std::vector<StateStatistics> states;
};

ModelStatistics statistics_for(const TrainedModel& model);

// Component posteriors of one frame in one state (they sum to 1).
void component_posteriors(const PreparedState& state, const FeatureVector& frame, std::vector<double>& posteriors);

// Adds frame, weighted, to a state's statistics with the state's posteriors.
void add_frame(const PreparedState& state, const FeatureVector& frame, double weight, StateStatistics& statistics,
               std::vector<double>& scratch);

// The same with the state's component terms ln w + ln N of the frame given,
// one per component (as PackedModels scores them).
void add_frame_with_terms(std::span<const float> terms, const FeatureVector& frame, double weight,
                          StateStatistics& statistics, std::vector<double>& scratch);

// Mean and variance per dimension of a set of frames.
class FrameMoments {
 public:
  void add(const FeatureVector& frame);
  FeatureVector mean() const;
  // Never below 1e-6, and 1 when no frame was added.
  FeatureVector variance() const;

 private:
  std::array<double, kFeatureDimension> sum_{};
  std::array<double, kFeatureDimension> square_sum_{};
  double count_ = 0.0;
};

struct EstimationRules {
  FeatureVector variance_floor{};         // per dimension
  double minimum_component_frames = 3.0;  // a component with less is dropped
};

// New parameters from the statistics. A state without frames keeps its old
// parameters; returns whether every state had frames.
bool reestimate(const ModelStatistics& statistics, const EstimationRules& rules, TrainedModel& model);

// Splits components (the heaviest first, means moved 0.2 standard deviations
// apart) until each state has target components or no component has enough
// frames left for two: occupancy is taken from the statistics the model was
// last estimated from.
void split_mixtures(const ModelStatistics& statistics, int target, double minimum_frames_per_component,
                    TrainedModel& model);

}  // namespace kws::trainer
