#include "trainer/acoustic_model.h"

#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>

#include "models/hmm_definition.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"

namespace kws::trainer {

TrainedModel single_gaussian_model(int inventory_index, int emitting_states, const FeatureVector& mean,
                                   const FeatureVector& variance) {
  TrainedModel model;
  model.inventory_index = inventory_index;
  model.states.resize(static_cast<std::size_t>(emitting_states));
  for (TrainedState& state : model.states) state.components.push_back({1.0f, mean, variance});
  return model;
}

float gconst_of(const Gaussian& gaussian) {
  double sum = kFeatureDimension * std::log(2.0 * std::numbers::pi);
  for (const float v : gaussian.variance) sum += std::log(static_cast<double>(v));
  return static_cast<float>(sum);
}

namespace {

void append_vector(std::string& text, const char* keyword, const FeatureVector& values) {
  text += format_text("%s %d\n", keyword, kFeatureDimension);
  for (int k = 0; k < kFeatureDimension; ++k) {
    text += format_text(k + 1 < kFeatureDimension ? "%.9g " : "%.9g\n",
                        static_cast<double>(values[static_cast<std::size_t>(k)]));
  }
}

}  // namespace

std::string definition_text(const TrainedModel& model) {
  const int n = model.state_count();
  std::string text = "<BeginHMM>\n";
  text += format_text("<NumStates> %d\n", n);
  for (int s = 0; s + 2 < n; ++s) {
    const TrainedState& state = model.states[static_cast<std::size_t>(s)];
    text += format_text("<State> %d\n<NumMixes> %d\n", s + 2, static_cast<int>(state.components.size()));
    for (std::size_t m = 0; m < state.components.size(); ++m) {
      const Gaussian& gaussian = state.components[m];
      text += format_text("<Mixture> %d %.9g\n", static_cast<int>(m) + 1, static_cast<double>(gaussian.weight));
      append_vector(text, "<Mean>", gaussian.mean);
      append_vector(text, "<Variance>", gaussian.variance);
      text += format_text("<GConst> %.9g\n", static_cast<double>(gconst_of(gaussian)));
    }
  }
  text += format_text("<TransP> %d\n", n);
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      double p = 0.0;
      if (row == 0) {
        p = column == 1 ? 1.0 : 0.0;
      } else if (row < n - 1) {
        const double stay = model.states[static_cast<std::size_t>(row) - 1].self_loop;
        p = column == row ? stay : column == row + 1 ? 1.0 - stay : 0.0;
      }
      text += format_text(column + 1 < n ? "%.9g " : "%.9g\n", p);
    }
  }
  text += "<EndHMM>\n";
  return text;
}

HmmModel model_record(const TrainedModel& model) {
  HmmModel record{};
  const std::string name =
      model.inventory_index >= 0 ? std::string(inventory_name(model.inventory_index)) : std::string("anti");
  const std::string refusal = parse_hmm_definition(definition_text(model), name, name, record);
  if (!refusal.empty()) throw std::logic_error("trained model " + name + " is not readable: " + refusal);
  // Anti-models have no inventory name; the station never looks theirs up.
  record.model_index = static_cast<std::int16_t>(model.inventory_index);
  return record;
}

PreparedState prepare_state(const TrainedState& state) {
  PreparedState prepared;
  for (const Gaussian& g : state.components) {
    prepared.offset.push_back(std::log(static_cast<double>(g.weight)) - 0.5 * gconst_of(g));
    prepared.mean.push_back(g.mean);
    FeatureVector precision;
    for (std::size_t k = 0; k < precision.size(); ++k) precision[k] = 1.0f / g.variance[k];
    prepared.precision.push_back(precision);
  }
  return prepared;
}

PreparedModel prepare_model(const TrainedModel& model) {
  PreparedModel prepared;
  for (const TrainedState& state : model.states) prepared.push_back(prepare_state(state));
  return prepared;
}

PackedModels pack_models(std::span<const TrainedModel> models) {
  PackedModels packed;
  if (!packed.set.allocate(static_cast<std::int16_t>(models.size()))) throw std::bad_alloc();
  for (std::size_t slot = 0; slot < models.size(); ++slot) packed.set.records[slot] = model_record(models[slot]);
  packed.gaussians = GaussianTables(packed.set, packed.set.count);
  return packed;
}

void component_log_terms(const PreparedState& state, const FeatureVector& frame, std::vector<double>& terms) {
  terms.resize(state.offset.size());
  for (std::size_t m = 0; m < terms.size(); ++m) {
    const FeatureVector& mean = state.mean[m];
    const FeatureVector& precision = state.precision[m];
    double distance = 0.0;
    for (std::size_t k = 0; k < frame.size(); ++k) {
      const double d = static_cast<double>(frame[k]) - mean[k];
      distance += d * d * precision[k];
    }
    terms[m] = state.offset[m] - 0.5 * distance;
  }
}

}  // namespace kws::trainer
