#include "trainer/estimation.h"

#include <algorithm>
#include <cmath>

#include "models/hmm_model.h"
#include "trainer/acoustic_model.h"

namespace kws::trainer {
namespace {

void accumulate(ComponentStatistics& component, const FeatureVector& frame, double weight) {
  component.occupancy += weight;
  for (std::size_t k = 0; k < frame.size(); ++k) {
    const double x = frame[k];
    component.sum[k] += weight * x;
    component.square_sum[k] += weight * x * x;
  }
}

}  // namespace

void FrameMoments::add(const FeatureVector& frame) {
  for (std::size_t k = 0; k < kFeatureDimension; ++k) {
    sum_[k] += frame[k];
    square_sum_[k] += static_cast<double>(frame[k]) * frame[k];
  }
  count_ += 1.0;
}

FeatureVector FrameMoments::mean() const {
  FeatureVector mean{};
  for (std::size_t k = 0; k < kFeatureDimension; ++k)
    mean[k] = count_ > 0 ? static_cast<float>(sum_[k] / count_) : 0.0f;
  return mean;
}

FeatureVector FrameMoments::variance() const {
  FeatureVector variance;
  for (std::size_t k = 0; k < kFeatureDimension; ++k) {
    const double mean = count_ > 0 ? sum_[k] / count_ : 0.0;
    variance[k] = static_cast<float>(count_ > 0 ? std::max(square_sum_[k] / count_ - mean * mean, 1e-6) : 1.0);
  }
  return variance;
}

ModelStatistics statistics_for(const TrainedModel& model) {
  ModelStatistics statistics;
  statistics.states.resize(model.states.size());
  for (std::size_t s = 0; s < model.states.size(); ++s) {
    statistics.states[s].components.resize(model.states[s].components.size());
  }
  return statistics;
}

namespace {

// Turns the terms ln w + ln N of one frame into the components' posteriors.
void posteriors_of_terms(std::vector<double>& terms) {
  const double best = *std::max_element(terms.begin(), terms.end());
  double total = 0.0;
  for (double& p : terms) total += (p = std::exp(p - best));
  for (double& p : terms) p /= total;
}

void add_with_posteriors(const std::vector<double>& posteriors, const FeatureVector& frame, double weight,
                         StateStatistics& statistics) {
  for (std::size_t m = 0; m < posteriors.size(); ++m) {
    if (posteriors[m] > 1e-6) accumulate(statistics.components[m], frame, weight * posteriors[m]);
  }
}

}  // namespace

void component_posteriors(const PreparedState& state, const FeatureVector& frame, std::vector<double>& posteriors) {
  component_log_terms(state, frame, posteriors);
  posteriors_of_terms(posteriors);
}

void add_frame(const PreparedState& state, const FeatureVector& frame, double weight, StateStatistics& statistics,
               std::vector<double>& scratch) {
  statistics.frames += weight;
  if (state.offset.size() == 1) return accumulate(statistics.components[0], frame, weight);
  component_posteriors(state, frame, scratch);
  add_with_posteriors(scratch, frame, weight, statistics);
}

void add_frame_with_terms(std::span<const float> terms, const FeatureVector& frame, double weight,
                          StateStatistics& statistics, std::vector<double>& scratch) {
  statistics.frames += weight;
  if (terms.size() == 1) return accumulate(statistics.components[0], frame, weight);
  scratch.assign(terms.begin(), terms.end());
  posteriors_of_terms(scratch);
  add_with_posteriors(scratch, frame, weight, statistics);
}

bool reestimate(const ModelStatistics& statistics, const EstimationRules& rules, TrainedModel& model) {
  bool every_state_seen = true;
  for (std::size_t s = 0; s < model.states.size(); ++s) {
    const StateStatistics& state_statistics = statistics.states[s];
    TrainedState& state = model.states[s];
    if (state_statistics.frames <= 0.0) {
      every_state_seen = false;
      continue;
    }
    // The best-fed component survives even below the minimum.
    std::size_t heaviest = 0;
    for (std::size_t m = 1; m < state_statistics.components.size(); ++m) {
      if (state_statistics.components[m].occupancy > state_statistics.components[heaviest].occupancy) heaviest = m;
    }
    std::vector<Gaussian> components;
    double kept = 0.0;
    for (std::size_t m = 0; m < state_statistics.components.size(); ++m) {
      const ComponentStatistics& c = state_statistics.components[m];
      if (c.occupancy <= 0.0 || (c.occupancy < rules.minimum_component_frames && m != heaviest)) continue;
      Gaussian g;
      for (std::size_t k = 0; k < kFeatureDimension; ++k) {
        const double mean = c.sum[k] / c.occupancy;
        const double variance = c.square_sum[k] / c.occupancy - mean * mean;
        g.mean[k] = static_cast<float>(mean);
        g.variance[k] = static_cast<float>(std::max(variance, static_cast<double>(rules.variance_floor[k])));
      }
      g.weight = static_cast<float>(c.occupancy);
      kept += c.occupancy;
      components.push_back(g);
    }
    for (Gaussian& g : components) g.weight = static_cast<float>(g.weight / kept);
    state.components = std::move(components);
    const double leave = state_statistics.exits / state_statistics.frames;
    state.self_loop = static_cast<float>(std::clamp(1.0 - leave, 0.05, 0.95));
  }
  return every_state_seen;
}

void split_mixtures(const ModelStatistics& statistics, int target, double minimum_frames_per_component,
                    TrainedModel& model) {
  for (std::size_t s = 0; s < model.states.size(); ++s) {
    std::vector<Gaussian>& components = model.states[s].components;
    const double frames = statistics.states[s].frames;
    while (static_cast<int>(components.size()) < target) {
      auto heaviest = std::max_element(components.begin(), components.end(),
                                       [](const Gaussian& a, const Gaussian& b) { return a.weight < b.weight; });
      if (heaviest == components.end() || heaviest->weight * frames < 2.0 * minimum_frames_per_component) break;
      Gaussian copy = *heaviest;
      copy.weight = heaviest->weight *= 0.5f;
      for (std::size_t k = 0; k < kFeatureDimension; ++k) {
        const float offset = 0.2f * std::sqrt(heaviest->variance[k]);
        heaviest->mean[k] += offset;
        copy.mean[k] -= offset;
      }
      components.push_back(copy);
    }
  }
}

}  // namespace kws::trainer
