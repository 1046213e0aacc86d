#include "trainer/alignment.h"

#include <cmath>
#include <limits>
#include <unordered_map>

#include "models/model_inventory.h"
#include "trainer/corpus_list.h"

namespace kws::trainer {
namespace {

constexpr double kImpossible = -std::numeric_limits<double>::infinity();

// One emitting state in the chain of an utterance.
struct ChainState {
  int slot;
  int state;
  int previous;       // state whose exit enters this one; -1 for the first
  int skip_previous;  // a second such state when an optional unit lies between; -1 if none
};

std::vector<ChainState> chain_of(std::span<const AlignmentUnit> units, std::span<const TrainedModel> models) {
  std::vector<ChainState> chain;
  int last_of_previous = -1;  // last state of the unit before
  int last_before_optional = -1;
  for (const AlignmentUnit& unit : units) {
    const int count = static_cast<int>(models[static_cast<std::size_t>(unit.slot)].states.size());
    const int first = static_cast<int>(chain.size());
    for (int s = 0; s < count; ++s) {
      const int index = static_cast<int>(chain.size());
      chain.push_back({unit.slot, s, s == 0 ? last_of_previous : index - 1, s == 0 ? last_before_optional : -1});
    }
    last_before_optional = unit.optional ? last_of_previous : -1;
    last_of_previous = first + count - 1;
  }
  return chain;
}

double log_of(double p) { return p > 0.0 ? std::log(p) : kImpossible; }

}  // namespace

std::vector<AlignmentUnit> alignment_units(std::span<const int> syllables) {
  std::vector<AlignmentUnit> units{{kSilenceSlot, false}};
  for (std::size_t i = 0; i < syllables.size(); ++i) {
    const SyllableSlots slots = syllable_slots(syllables[i]);
    units.push_back({slots.initial_slot, false});
    units.push_back({slots.final_slot, false});
    if (i + 1 < syllables.size()) units.push_back({kSilenceSlot, true});
  }
  units.push_back({kSilenceSlot, false});
  return units;
}

Alignment uniform_alignment(int frame_count, std::span<const AlignmentUnit> units,
                            std::span<const TrainedModel> models) {
  std::vector<ChainState> chain;
  for (const AlignmentUnit& unit : units) {
    if (unit.optional) continue;
    const int count = static_cast<int>(models[static_cast<std::size_t>(unit.slot)].states.size());
    for (int s = 0; s < count; ++s) chain.push_back({unit.slot, s, -1, -1});
  }
  Alignment alignment;
  const int states = static_cast<int>(chain.size());
  if (frame_count < states || states == 0) return alignment;
  alignment.ok = true;
  for (int t = 0; t < frame_count; ++t) {
    const ChainState& state = chain[static_cast<std::size_t>(static_cast<long long>(t) * states / frame_count)];
    alignment.slot.push_back(static_cast<std::int16_t>(state.slot));
    alignment.state.push_back(static_cast<std::int8_t>(state.state));
  }
  return alignment;
}

Alignment viterbi_alignment(std::span<const FeatureVector> frames, std::span<const AlignmentUnit> units,
                            std::span<const TrainedModel> models, const PackedModels& packed) {
  const std::vector<ChainState> chain = chain_of(units, models);
  const int n = static_cast<int>(chain.size());
  const int frame_count = static_cast<int>(frames.size());
  Alignment alignment;
  if (n == 0 || frame_count < n) return alignment;

  // Each distinct (model, state) is scored once per frame however often the
  // chain visits it (silence, repeated syllables).
  std::unordered_map<int, int> column_of;
  std::vector<int> column(static_cast<std::size_t>(n));
  std::vector<std::pair<int, int>> scored;
  for (int i = 0; i < n; ++i) {
    const int key = chain[static_cast<std::size_t>(i)].slot * kStateSlots + chain[static_cast<std::size_t>(i)].state;
    auto [it, added] = column_of.try_emplace(key, static_cast<int>(scored.size()));
    if (added) scored.emplace_back(chain[static_cast<std::size_t>(i)].slot, chain[static_cast<std::size_t>(i)].state);
    column[static_cast<std::size_t>(i)] = it->second;
  }
  const std::size_t columns = scored.size();
  std::vector<float> emission(columns * static_cast<std::size_t>(frame_count));
  FrameGroup group;
  float scores[kFrameGroup];
  for (int first = 0; first < frame_count; first += kFrameGroup) {
    GaussianTables::load_frames(&frames[static_cast<std::size_t>(first)], frame_count - first, group);
    for (std::size_t c = 0; c < columns; ++c) {
      const auto [slot, state] = scored[c];
      packed.gaussians.finite_mixture(slot, state + 1, group, scores);
      for (int f = 0; f < group.count; ++f) {
        emission[static_cast<std::size_t>(first + f) * columns + c] = scores[f];
      }
    }
  }

  std::vector<double> stay(static_cast<std::size_t>(n)), leave(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const ChainState& c = chain[static_cast<std::size_t>(i)];
    const double p = models[static_cast<std::size_t>(c.slot)].states[static_cast<std::size_t>(c.state)].self_loop;
    stay[static_cast<std::size_t>(i)] = log_of(p);
    leave[static_cast<std::size_t>(i)] = log_of(1.0 - p);
  }

  // 0: stayed, 1: came from the state before, 2: came past an optional unit.
  std::vector<std::uint8_t> from(static_cast<std::size_t>(n) * static_cast<std::size_t>(frame_count), 0);
  std::vector<double> score(static_cast<std::size_t>(n), kImpossible), next(static_cast<std::size_t>(n));
  score[0] = emission[static_cast<std::size_t>(column[0])];
  for (int t = 1; t < frame_count; ++t) {
    const float* row = &emission[static_cast<std::size_t>(t) * columns];
    std::uint8_t* back = &from[static_cast<std::size_t>(t) * static_cast<std::size_t>(n)];
    for (int i = 0; i < n; ++i) {
      const ChainState& c = chain[static_cast<std::size_t>(i)];
      double best = score[static_cast<std::size_t>(i)] + stay[static_cast<std::size_t>(i)];
      std::uint8_t way = 0;
      if (c.previous >= 0) {
        const double entered =
            score[static_cast<std::size_t>(c.previous)] + leave[static_cast<std::size_t>(c.previous)];
        if (entered > best) best = entered, way = 1;
      }
      if (c.skip_previous >= 0) {
        const double skipped =
            score[static_cast<std::size_t>(c.skip_previous)] + leave[static_cast<std::size_t>(c.skip_previous)];
        if (skipped > best) best = skipped, way = 2;
      }
      next[static_cast<std::size_t>(i)] = best + row[column[static_cast<std::size_t>(i)]];
      back[i] = way;
    }
    score.swap(next);
  }
  const double final_score = score[static_cast<std::size_t>(n) - 1];
  if (!(final_score > kImpossible)) return alignment;

  alignment.ok = true;
  alignment.log_likelihood = final_score;
  alignment.slot.resize(static_cast<std::size_t>(frame_count));
  alignment.state.resize(static_cast<std::size_t>(frame_count));
  int i = n - 1;
  for (int t = frame_count - 1; t >= 0; --t) {
    const ChainState& c = chain[static_cast<std::size_t>(i)];
    alignment.slot[static_cast<std::size_t>(t)] = static_cast<std::int16_t>(c.slot);
    alignment.state[static_cast<std::size_t>(t)] = static_cast<std::int8_t>(c.state);
    const std::uint8_t way =
        from[static_cast<std::size_t>(t) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i)];
    if (way == 1) i = c.previous;
    if (way == 2) i = c.skip_previous;
  }
  return alignment;
}

std::vector<Segment> segments_of(const Alignment& alignment) {
  std::vector<Segment> segments;
  const int frames = static_cast<int>(alignment.slot.size());
  for (int t = 0; t < frames; ++t) {
    const int slot = alignment.slot[static_cast<std::size_t>(t)];
    const bool continues =
        !segments.empty() && segments.back().slot == slot && segments.back().last_frame == t - 1 &&
        alignment.state[static_cast<std::size_t>(t)] >= alignment.state[static_cast<std::size_t>(t) - 1];
    if (continues) {
      segments.back().last_frame = t;
    } else {
      segments.push_back({slot, t, t});
    }
  }
  return segments;
}

}  // namespace kws::trainer
