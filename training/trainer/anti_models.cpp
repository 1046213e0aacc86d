#include "trainer/anti_models.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>

#include "models/anti_model_map.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "search/state_scoring.h"
#include "search/verification.h"
#include "trainer/estimation.h"
#include "trainer/parallel.h"

namespace kws::trainer {
namespace {

struct Occurrence {
  int utterance;
  Segment segment;
};

// At most limit occurrences, spread evenly over the list.
std::vector<Occurrence> spread(const std::vector<Occurrence>& all, int limit) {
  if (static_cast<int>(all.size()) <= limit) return all;
  std::vector<Occurrence> chosen;
  for (int i = 0; i < limit; ++i)
    chosen.push_back(all[all.size() * static_cast<std::size_t>(i) / static_cast<std::size_t>(limit)]);
  return chosen;
}

// Per-frame score of a segment in a model as the verification scores it:
// left to right, every state at least one frame, no transition costs.
double chain_score_per_frame(const HmmModel& model, const std::vector<FeatureVector>& frames, const Segment& segment) {
  const int states = model.state_count - 2;
  const int length = segment.last_frame - segment.first_frame + 1;
  constexpr double kImpossible = -std::numeric_limits<double>::infinity();
  if (states <= 0 || length < states) return kImpossible;
  std::vector<double> score(static_cast<std::size_t>(states), kImpossible);
  for (int t = segment.first_frame; t <= segment.last_frame; ++t) {
    const FeatureVector& frame = frames[static_cast<std::size_t>(t)];
    for (int s = states - 1; s >= 0; --s) {
      double best = t == segment.first_frame ? (s == 0 ? 0.0 : kImpossible) : score[static_cast<std::size_t>(s)];
      if (s > 0 && t > segment.first_frame) best = std::max(best, score[static_cast<std::size_t>(s) - 1]);
      score[static_cast<std::size_t>(s)] = best + best_gaussian_score(model, s + 1, frame);
    }
  }
  return score[static_cast<std::size_t>(states) - 1] / length;
}

bool is_initial_type(int slot) { return slot < kInitialSlotCount; }

}  // namespace

AntiModels train_anti_models(const std::vector<TrainingUtterance>& corpus, const MainModels& main,
                             const AntiModelOptions& options, const Progress& progress) {
  const auto started = std::chrono::steady_clock::now();
  constexpr int kUnits = kSilenceSlot;  // slots 0..149 have anti-models
  std::vector<std::vector<Occurrence>> occurrences(kUnits);
  for (std::size_t u = 0; u < corpus.size(); ++u) {
    if (!main.alignments[u].ok) continue;
    for (const Segment& segment : segments_of(main.alignments[u])) {
      if (segment.slot < kUnits)
        occurrences[static_cast<std::size_t>(segment.slot)].push_back({static_cast<int>(u), segment});
    }
  }
  std::vector<HmmModel> records;
  for (const TrainedModel& model : main.models) records.push_back(model_record(model));

  // affinity[u][m]: how well model m fits unit u's segments, relative to u's
  // own model (mean per-frame difference; 0 = as well as its own).
  std::vector<std::vector<double>> affinity(kUnits,
                                            std::vector<double>(kUnits, -std::numeric_limits<double>::infinity()));
  parallel_for(kUnits, options.jobs, [&](int u) {
    const std::vector<Occurrence> sample = spread(occurrences[static_cast<std::size_t>(u)], options.sample_segments);
    const int first = is_initial_type(u) ? 0 : kFirstFinalSlot;
    const int last = is_initial_type(u) ? kInitialSlotCount : kSilenceSlot;
    std::vector<double> sum(kUnits, 0.0);
    int used = 0;
    for (const Occurrence& o : sample) {
      const std::vector<FeatureVector>& frames = corpus[static_cast<std::size_t>(o.utterance)].frames;
      const double own = chain_score_per_frame(records[static_cast<std::size_t>(u)], frames, o.segment);
      if (!std::isfinite(own)) continue;
      ++used;
      for (int m = first; m < last; ++m) {
        const double score = chain_score_per_frame(records[static_cast<std::size_t>(m)], frames, o.segment);
        sum[static_cast<std::size_t>(m)] += std::isfinite(score) ? score - own : -1e6;
      }
    }
    if (used == 0) return;
    for (int m = first; m < last; ++m)
      affinity[static_cast<std::size_t>(u)][static_cast<std::size_t>(m)] = sum[static_cast<std::size_t>(m)] / used;
  });

  int slots = 0;
  for (const std::int16_t anti : kAntiModelMap) slots = std::max(slots, anti + 1);
  AntiModels result;
  result.models.resize(static_cast<std::size_t>(slots));
  result.competitors.resize(static_cast<std::size_t>(slots));

  parallel_for(slots, options.jobs, [&](int anti) {
    std::vector<int> group;
    for (int slot = 0; slot < kUnits; ++slot) {
      if (kAntiModelMap[static_cast<std::size_t>(slot)] == anti) group.push_back(slot);
    }
    if (group.empty()) return;
    const bool initial = is_initial_type(group.front());
    // Competitors: units of the same kind outside the group whose segments
    // the group's models accept most readily.
    std::vector<std::pair<double, int>> ranked;
    for (int u = initial ? 0 : kFirstFinalSlot; u < (initial ? kInitialSlotCount : kSilenceSlot); ++u) {
      if (std::find(group.begin(), group.end(), u) != group.end()) continue;
      double best = -std::numeric_limits<double>::infinity();
      for (const int g : group)
        best = std::max(best, affinity[static_cast<std::size_t>(u)][static_cast<std::size_t>(g)]);
      if (std::isfinite(best)) ranked.emplace_back(-best, u);
    }
    std::sort(ranked.begin(), ranked.end());
    std::vector<int>& competitors = result.competitors[static_cast<std::size_t>(anti)];
    for (std::size_t i = 0; i < ranked.size() && static_cast<int>(i) < options.competitors; ++i)
      competitors.push_back(ranked[i].second);

    const int states = static_cast<int>(main.models[static_cast<std::size_t>(group.front())].states.size());
    // The frames, each with the anti-model state it trains.
    std::vector<std::pair<const FeatureVector*, int>> frames;
    for (const int u : competitors) {
      const int unit_states = static_cast<int>(main.models[static_cast<std::size_t>(u)].states.size());
      for (const Occurrence& o : spread(occurrences[static_cast<std::size_t>(u)], options.training_segments)) {
        const Alignment& alignment = main.alignments[static_cast<std::size_t>(o.utterance)];
        for (int t = o.segment.first_frame; t <= o.segment.last_frame; ++t) {
          const int state = alignment.state[static_cast<std::size_t>(t)] * states / unit_states;
          frames.emplace_back(&corpus[static_cast<std::size_t>(o.utterance)].frames[static_cast<std::size_t>(t)],
                              state);
        }
      }
    }
    TrainedModel model;
    model.states.resize(static_cast<std::size_t>(states));
    // Start from each state's own single Gaussian (from the group's first
    // model when no frame reaches it).
    const TrainedModel& first_member = main.models[static_cast<std::size_t>(group.front())];
    for (std::size_t s = 0; s < model.states.size(); ++s) {
      model.states[s].components = {first_member.states[s].components.front()};
    }
    EstimationRules rules;
    rules.minimum_component_frames = 3.0;
    // Floors relative to the pooled frames' own spread.
    FrameMoments moments;
    for (const auto& [frame, state] : frames) moments.add(*frame);
    const FeatureVector variance = moments.variance();
    for (std::size_t k = 0; k < kFeatureDimension; ++k) {
      rules.variance_floor[k] = static_cast<float>(options.variance_floor * variance[k]);
    }
    ModelStatistics statistics;
    auto estimate = [&] {
      statistics = statistics_for(model);
      const PreparedModel prepared = prepare_model(model);
      std::vector<double> scratch;
      for (const auto& [frame, state] : frames) {
        add_frame(prepared[static_cast<std::size_t>(state)], *frame, 1.0,
                  statistics.states[static_cast<std::size_t>(state)], scratch);
      }
      for (std::size_t i = 0; i < frames.size(); ++i) {
        const bool leaves = i + 1 == frames.size() || frames[i + 1].second != frames[i].second;
        if (leaves) statistics.states[static_cast<std::size_t>(frames[i].second)].exits += 1.0;
      }
      reestimate(statistics, rules, model);
    };
    estimate();
    for (int mixtures = 2; mixtures <= options.mixtures; mixtures *= 2) {
      split_mixtures(statistics, mixtures, options.minimum_component_frames, model);
      for (int i = 0; i < options.iterations_per_split; ++i) estimate();
    }
    result.models[static_cast<std::size_t>(anti)] = std::move(model);
  });

  progress(format_text("anti-models: %d, each on the %d units its group is most easily confused with; %.1f s", slots,
                       options.competitors,
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()));
  return result;
}

}  // namespace kws::trainer
