#include "trainer/model_reading.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>

#include "models/anti_model_file.h"
#include "models/hmm_definition.h"
#include "models/model_inventory.h"
#include "models/model_set.h"
#include "platform/message_sink.h"
#include "platform/token_reader.h"

namespace kws::trainer {
namespace {

// The station floors a zero probability at 1e-30 before its logarithm; anything
// this small is a transition the model does not have.
constexpr float kNoTransition = 1e-20f;

// What a definition file says beyond its record: the variances as printed (the
// record's reciprocals cannot always be undone: 1/x maps neighbouring floats
// onto one) and the transition matrix as printed.
struct PrintedValues {
  std::array<std::array<FeatureVector, kMixtureSlots>, kStateSlots> variance{};
  std::array<std::array<bool, kMixtureSlots>, kStateSlots> has_variance{};
  std::vector<float> transitions;  // n x n, row by row; empty without <TransP>
};

// Walks the tokens the way the station's reader does (a <State> keeps the
// component of the <Mixture> before it). The reader has accepted the text.
PrintedValues printed_values(const std::string& text, int state_count) {
  PrintedValues values;
  TokenReader tokens(text);
  int state = -1, component = 0;
  auto next_real = [&tokens] {
    const std::optional<std::string_view> token = tokens.next();
    const std::optional<float> value = token ? parse_real(*token) : std::nullopt;
    return value.value_or(0.0f);
  };
  auto next_integer = [&tokens] {
    const std::optional<std::string_view> token = tokens.next();
    const std::optional<long> value = token ? parse_integer(*token) : std::nullopt;
    return static_cast<int>(value.value_or(0));
  };
  for (std::optional<std::string_view> token = tokens.next(); token && *token != "<EndHMM>"; token = tokens.next()) {
    if (*token == "<State>") {
      state = next_integer() - 1;
    } else if (*token == "<Mixture>") {
      component = next_integer() - 1;
      tokens.next();
    } else if (*token == "<Variance>" && state >= 0 && state < kStateSlots && component >= 0 &&
               component < kMixtureSlots) {
      tokens.next();
      FeatureVector& variance = values.variance[static_cast<std::size_t>(state)][static_cast<std::size_t>(component)];
      for (float& v : variance) v = next_real();
      values.has_variance[static_cast<std::size_t>(state)][static_cast<std::size_t>(component)] = true;
    } else if (*token == "<TransP>") {
      tokens.next();
      values.transitions.resize(static_cast<std::size_t>(state_count) * static_cast<std::size_t>(state_count));
      for (float& p : values.transitions) p = next_real();
    }
  }
  return values;
}

// Checks the left-to-right shape on is_transition(row, column) and returns the
// stay probabilities through stay(row); an empty string or what is wrong.
template <typename IsTransition>
std::string shape_problem(int state_count, IsTransition&& is_transition) {
  for (int column = 0; column < state_count; ++column) {
    if (is_transition(0, column) != (column == 1)) return "the entry state does not lead to the first state only";
  }
  for (int row = 1; row + 1 < state_count; ++row) {
    for (int column = 0; column < state_count; ++column) {
      if (column != row && column != row + 1 && is_transition(row, column)) {
        return format_text("state %d has a transition to state %d; only staying and stepping on are kept", row + 1,
                           column + 1);
      }
    }
  }
  return {};
}

std::string structure_problem(const HmmModel& record) {
  if (record.state_count < 3 || record.state_count > kStateSlots) {
    return format_text("%d states; 3..%d are needed", record.state_count, kStateSlots);
  }
  for (int s = 1; s + 1 < record.state_count; ++s) {
    if (record.mixture_count[s] < 1 || record.mixture_count[s] > kMixtureSlots) {
      return format_text("state %d has %d mixture components", s + 1, record.mixture_count[s]);
    }
  }
  return {};
}

std::optional<TrainedModel> main_model(int slot, const std::filesystem::path& root, std::string& error) {
  const std::string name(inventory_name(slot_order()[static_cast<std::size_t>(slot)]));
  const std::string path = (root / "model" / "bsl" / name).string();
  std::optional<std::string> text = read_file_bytes(path);
  if (!text) {
    error = "cannot read the model definition " + path;
    return std::nullopt;
  }
  HmmModel record{};
  if (std::string refusal = parse_hmm_definition(*text, name, path, record); !refusal.empty()) {
    error = refusal;
    return std::nullopt;
  }
  std::string problem = structure_problem(record);
  const PrintedValues printed = printed_values(*text, record.state_count);
  const int n = record.state_count;
  if (problem.empty() && printed.transitions.empty()) problem = "no <TransP>";
  if (problem.empty()) {
    problem = shape_problem(n, [&](int row, int column) {
      return printed.transitions[static_cast<std::size_t>(row * n + column)] > kNoTransition;
    });
  }
  TrainedModel model;
  model.inventory_index = record.model_index;
  for (int s = 1; problem.empty() && s + 1 < n; ++s) {
    TrainedState state;
    state.self_loop = printed.transitions[static_cast<std::size_t>(s * n + s)];
    for (int m = 0; m < record.mixture_count[s]; ++m) {
      if (!printed.has_variance[static_cast<std::size_t>(s)][static_cast<std::size_t>(m)]) {
        problem = format_text("state %d component %d has no <Variance>", s + 1, m + 1);
        break;
      }
      Gaussian g;
      g.weight = record.weight[s][m];
      std::copy(std::begin(record.mean[s][m]), std::end(record.mean[s][m]), g.mean.begin());
      g.variance = printed.variance[static_cast<std::size_t>(s)][static_cast<std::size_t>(m)];
      for (const float v : g.variance) {
        if (!(v > 0.0f) || !std::isfinite(v))
          problem = format_text("state %d component %d: variance %g", s + 1, m + 1, v);
      }
      state.components.push_back(g);
    }
    model.states.push_back(std::move(state));
  }
  if (!problem.empty()) {
    error = path + ": " + problem;
    return std::nullopt;
  }
  return model;
}

// The log probability the station's record holds for a probability the
// trainer prints: printed to 9 digits, read as a float, floored, logged.
float record_log_of(double probability) {
  float p = parse_real(format_text("%.9g", probability)).value_or(0.0f);
  if (!(p > 0.0f)) p = 1e-30f;
  return static_cast<float>(std::log(static_cast<double>(p)));
}

// Floats within reach steps of start for which accepts(candidate) holds,
// nearest to target first.
template <typename Accepts>
std::vector<float> nearby_floats(float start, double target, int reach, Accepts&& accepts) {
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  std::vector<float> found;
  float c = start;
  for (int i = 0; i < reach; ++i) c = std::nextafter(c, -kInfinity);
  for (int i = 0; i <= 2 * reach; ++i, c = std::nextafter(c, kInfinity)) {
    if (accepts(c)) found.push_back(c);
  }
  std::stable_sort(found.begin(), found.end(),
                   [target](float a, float b) { return std::abs(a - target) < std::abs(b - target); });
  return found;
}

// A variance the definition reader turns into this reciprocal. Where several
// floats do, the one that also gives the record's GConst is chosen below.
std::vector<float> variance_candidates(float inverse) {
  const double exact = 1.0 / static_cast<double>(inverse);
  return nearby_floats(static_cast<float>(exact), exact, 4, [inverse](float v) { return 1.0f / v == inverse; });
}

// Picks among each dimension's candidates the choice for which gconst_of(g)
// is the record's GConst. Near zero a GConst's last place is finer than one
// step of a single variance, so only the right combination meets it; the
// ambiguous dimensions are few and every combination is tried. A GConst the
// trainer did not compute may be met by none; the nearest variances stay then.
void meet_gconst(const std::array<std::vector<float>, kFeatureDimension>& candidates, float gconst, Gaussian& g) {
  if (gconst_of(g) == gconst) return;
  std::array<std::vector<double>, kFeatureDimension> logs;
  std::vector<std::size_t> ambiguous;
  std::size_t combinations = 1;
  for (std::size_t k = 0; k < kFeatureDimension; ++k) {
    for (const float c : candidates[k]) logs[k].push_back(std::log(static_cast<double>(c)));
    if (candidates[k].size() > 1) ambiguous.push_back(k), combinations *= candidates[k].size();
    if (combinations > (1u << 20)) return;
  }
  std::array<std::size_t, kFeatureDimension> choice{};
  for (std::size_t n = 1; n < combinations; ++n) {
    // The next choice, counting in mixed radix over the ambiguous dimensions.
    for (const std::size_t k : ambiguous) {
      if (++choice[k] < candidates[k].size()) break;
      choice[k] = 0;
    }
    // The same sum, in the same order, as gconst_of.
    double sum = kFeatureDimension * std::log(2.0 * std::numbers::pi);
    for (std::size_t k = 0; k < kFeatureDimension; ++k) sum += logs[k][choice[k]];
    if (static_cast<float>(sum) != gconst) continue;
    for (const std::size_t k : ambiguous) g.variance[k] = candidates[k][choice[k]];
    return;
  }
}

// The anti-model file holds records only. Each value is recovered so that the
// record made of it again is the record read.
std::optional<TrainedModel> anti_model(const HmmModel& record, std::string& problem) {
  problem = structure_problem(record);
  if (!problem.empty()) return std::nullopt;
  const int n = record.state_count;
  const float no_transition = static_cast<float>(std::log(static_cast<double>(kNoTransition)));
  problem = shape_problem(n, [&](int row, int column) { return record.log_transition[row][column] > no_transition; });
  if (!problem.empty()) return std::nullopt;

  TrainedModel model;
  // Kept as found, so that the record written back is the record read.
  model.inventory_index = record.model_index;
  for (int s = 1; s + 1 < n; ++s) {
    TrainedState state;
    const float stay_log = record.log_transition[s][s], leave_log = record.log_transition[s][s + 1];
    const double stay = std::exp(static_cast<double>(stay_log));
    std::vector<float> stays = nearby_floats(static_cast<float>(stay), stay, 32, [&](float p) {
      return record_log_of(p) == stay_log && record_log_of(1.0 - static_cast<double>(p)) == leave_log;
    });
    if (stays.empty()) {
      stays = nearby_floats(static_cast<float>(stay), stay, 32, [&](float p) { return record_log_of(p) == stay_log; });
    }
    state.self_loop = stays.empty() ? static_cast<float>(stay) : stays.front();

    for (int m = 0; m < record.mixture_count[s]; ++m) {
      Gaussian g;
      g.weight = record.weight[s][m];
      std::copy(std::begin(record.mean[s][m]), std::end(record.mean[s][m]), g.mean.begin());
      std::array<std::vector<float>, kFeatureDimension> candidates;
      for (int k = 0; k < kFeatureDimension; ++k) {
        const float inverse = record.inverse_variance[s][m][k];
        if (!(inverse > 0.0f) || !std::isfinite(inverse)) {
          problem = format_text("state %d component %d: inverse variance %g", s + 1, m + 1, inverse);
          return std::nullopt;
        }
        candidates[static_cast<std::size_t>(k)] = variance_candidates(inverse);
        if (candidates[static_cast<std::size_t>(k)].empty()) {
          candidates[static_cast<std::size_t>(k)].push_back(static_cast<float>(1.0 / inverse));
        }
        g.variance[static_cast<std::size_t>(k)] = candidates[static_cast<std::size_t>(k)].front();
      }
      meet_gconst(candidates, record.gconst[s][m], g);
      state.components.push_back(g);
    }
    model.states.push_back(std::move(state));
  }
  return model;
}

std::optional<std::vector<TrainedModel>> main_models(const std::filesystem::path& root, std::string& error) {
  const std::string path = (root / "rcdmodel").string();
  std::optional<TokenReader> list = TokenReader::open(path);
  if (!list) {
    error = "cannot read the model list " + path;
    return std::nullopt;
  }
  const std::optional<std::string_view> count = list->next();
  if (!count || parse_integer(*count) != kInventorySize) {
    error = format_text("%s: the list must name the %d models of the inventory", path.c_str(), kInventorySize);
    return std::nullopt;
  }
  std::vector<TrainedModel> models;
  for (int slot = 0; slot < kInventorySize; ++slot) {
    const std::string_view expected = inventory_name(slot_order()[static_cast<std::size_t>(slot)]);
    const std::optional<std::string_view> name = list->next();
    if (name != expected) {
      error = format_text("%s: model %d is \"%s\" where the station's order has \"%.*s\"", path.c_str(), slot + 1,
                          std::string(name.value_or("")).c_str(), static_cast<int>(expected.size()), expected.data());
      return std::nullopt;
    }
    std::optional<TrainedModel> model = main_model(slot, root, error);
    if (!model) return std::nullopt;
    models.push_back(std::move(*model));
  }
  return models;
}

}  // namespace

std::optional<DirectoryModels> read_model_files(const std::string& data_directory, std::string& error) {
  const std::filesystem::path root(data_directory);
  std::optional<std::vector<TrainedModel>> models = main_models(root, error);
  if (!models) return std::nullopt;

  const std::string path = (root / "rcdhmm" / "anti0630.hmm").string();
  ModelSet set;
  switch (load_anti_model_file(path, set)) {
    case AntiModelLoad::loaded:
      break;
    case AntiModelLoad::cannot_open:
      error = "cannot read the anti-models " + path;
      return std::nullopt;
    case AntiModelLoad::count_out_of_range:
      error = format_text("%s: anti-model count %d is outside 0..%d", path.c_str(), set.count, kMaxAntiModels);
      return std::nullopt;
    case AntiModelLoad::no_memory:
      error = "no memory for the anti-models of " + path;
      return std::nullopt;
  }
  DirectoryModels result;
  result.models = std::move(*models);
  for (int i = 0; i < set.count; ++i) {
    std::string problem;
    std::optional<TrainedModel> anti = anti_model(set.records[static_cast<std::size_t>(i)], problem);
    if (!anti) {
      error = format_text("%s: anti-model %d: %s", path.c_str(), i + 1, problem.c_str());
      return std::nullopt;
    }
    result.anti_models.push_back(std::move(*anti));
  }
  return result;
}

}  // namespace kws::trainer
