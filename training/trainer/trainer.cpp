#include "trainer/trainer.h"

#include <chrono>
#include <cmath>

#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "trainer/estimation.h"
#include "trainer/parallel.h"

namespace kws::trainer {
namespace {

// Statistics are summed per block of utterances and the blocks in order, so
// the sums are the same whatever the thread count.
constexpr int kStatisticsBlocks = 8;

FrameMoments moments_of(const std::vector<TrainingUtterance>& corpus) {
  FrameMoments moments;
  for (const TrainingUtterance& utterance : corpus) {
    for (const FeatureVector& frame : utterance.frames) moments.add(frame);
  }
  return moments;
}

void add_statistics(const SetStatistics& from, SetStatistics& into) {
  for (std::size_t m = 0; m < into.size(); ++m) {
    for (std::size_t s = 0; s < into[m].states.size(); ++s) {
      StateStatistics& target = into[m].states[s];
      const StateStatistics& source = from[m].states[s];
      target.frames += source.frames;
      target.exits += source.exits;
      for (std::size_t c = 0; c < target.components.size(); ++c) {
        target.components[c].occupancy += source.components[c].occupancy;
        for (std::size_t k = 0; k < kFeatureDimension; ++k) {
          target.components[c].sum[k] += source.components[c].sum[k];
          target.components[c].square_sum[k] += source.components[c].square_sum[k];
        }
      }
    }
  }
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

SetStatistics empty_statistics(const std::vector<TrainedModel>& models) {
  SetStatistics statistics;
  for (const TrainedModel& model : models) statistics.push_back(statistics_for(model));
  return statistics;
}

void accumulate_utterance(const TrainingUtterance& utterance, const Alignment& alignment, const PackedModels& models,
                          SetStatistics& statistics, std::vector<double>& scratch) {
  const int frames = static_cast<int>(alignment.slot.size());
  const auto states_of = [&](int slot) {
    return static_cast<int>(statistics[static_cast<std::size_t>(slot)].states.size());
  };
  FrameGroup group;
  float terms[kFrameGroup][kMixtureSlots];
  // Adds the group's frames, the first at frame `first`, to one state.
  const auto add = [&](int slot, int state, int first) {
    StateStatistics& into = statistics[static_cast<std::size_t>(slot)].states[static_cast<std::size_t>(state)];
    const int components = static_cast<int>(into.components.size());
    models.gaussians.component_terms(slot, state + 1, group, terms);
    for (int f = 0; f < group.count; ++f) {
      const int t = first + f;
      add_frame_with_terms(std::span<const float>(terms[f], static_cast<std::size_t>(components)),
                           utterance.frames[static_cast<std::size_t>(t)], utterance.weight, into, scratch);
      const bool leaves = t + 1 == frames || alignment.slot[static_cast<std::size_t>(t) + 1] != alignment.slot[t] ||
                          alignment.state[static_cast<std::size_t>(t) + 1] != alignment.state[t];
      if (leaves) into.exits += utterance.weight;
    }
  };
  // Runs of up to a frame group in one state are scored together.
  for (int first = 0, last = 0; first < frames; first = last) {
    const int slot = alignment.slot[static_cast<std::size_t>(first)];
    const int state = alignment.state[static_cast<std::size_t>(first)];
    last = first + 1;
    while (last < frames && last - first < kFrameGroup && alignment.slot[static_cast<std::size_t>(last)] == slot &&
           alignment.state[static_cast<std::size_t>(last)] == state) {
      ++last;
    }
    GaussianTables::load_frames(&utterance.frames[static_cast<std::size_t>(first)], last - first, group);
    add(slot, state, first);
    // The filler halves are what any syllable half looks like; the filler
    // loop is also all the keyword search has for the pauses around and
    // between keywords, so pauses train both halves.
    const auto mapped = [&](int to) { return state * states_of(to) / states_of(slot); };
    if (slot < kInitialSlotCount || slot == kSilenceSlot) add(kFillerInitialSlot, mapped(kFillerInitialSlot), first);
    if ((slot >= kInitialSlotCount && slot < kSilenceSlot) || slot == kSilenceSlot) {
      add(kFillerFinalSlot, mapped(kFillerFinalSlot), first);
    }
  }
}

int states_of_slot(int slot, const TrainingOptions& options) {
  if (slot == kSilenceSlot) return options.silence_states;
  if (slot < kInitialSlotCount || slot == kFillerInitialSlot) return options.initial_states;
  return options.final_states;
}

MainModels train_main_models(const std::vector<TrainingUtterance>& corpus, const TrainingOptions& options,
                             const Progress& progress) {
  const auto started = std::chrono::steady_clock::now();
  const FrameMoments moments = moments_of(corpus);
  const FeatureVector mean = moments.mean(), variance = moments.variance();
  EstimationRules rules;
  for (std::size_t k = 0; k < kFeatureDimension; ++k) {
    rules.variance_floor[k] = static_cast<float>(options.variance_floor * variance[k]);
  }

  MainModels result;
  const auto& order = slot_order();
  for (int slot = 0; slot < kInventorySize; ++slot) {
    result.models.push_back(
        single_gaussian_model(order[static_cast<std::size_t>(slot)], states_of_slot(slot, options), mean, variance));
  }

  // The schedule: one pass from even shares, re-alignments with single
  // Gaussians, then a few re-alignments after each doubling.
  std::vector<int> split_before;  // iteration numbers that start by splitting
  int iterations = 1 + options.single_gaussian_iterations;
  for (int mixtures = 1; mixtures < options.mixtures; mixtures *= 2) {
    split_before.push_back(iterations + 1);
    iterations += options.iterations_per_split;
  }

  const int count = static_cast<int>(corpus.size());
  result.alignments.assign(corpus.size(), Alignment{});
  SetStatistics last_statistics;
  int target_mixtures = 1;
  for (int iteration = 1; iteration <= iterations; ++iteration) {
    const auto iteration_start = std::chrono::steady_clock::now();
    if (std::find(split_before.begin(), split_before.end(), iteration) != split_before.end()) {
      target_mixtures = std::min(target_mixtures * 2, options.mixtures);
      for (std::size_t slot = 0; slot < result.models.size(); ++slot) {
        split_mixtures(last_statistics[slot], target_mixtures, options.minimum_component_frames, result.models[slot]);
      }
    }
    const PackedModels packed = pack_models(result.models);

    parallel_for(count, options.jobs, [&](int i) {
      const TrainingUtterance& utterance = corpus[static_cast<std::size_t>(i)];
      result.alignments[static_cast<std::size_t>(i)] =
          iteration == 1 ? uniform_alignment(static_cast<int>(utterance.frames.size()), utterance.units, result.models)
                         : viterbi_alignment(utterance.frames, utterance.units, result.models, packed);
    });

    std::vector<SetStatistics> blocks(kStatisticsBlocks);
    parallel_for(kStatisticsBlocks, options.jobs, [&](int block) {
      SetStatistics& statistics = blocks[static_cast<std::size_t>(block)] = empty_statistics(result.models);
      std::vector<double> scratch;
      for (int i = block; i < count; i += kStatisticsBlocks) {
        const Alignment& alignment = result.alignments[static_cast<std::size_t>(i)];
        if (alignment.ok)
          accumulate_utterance(corpus[static_cast<std::size_t>(i)], alignment, packed, statistics, scratch);
      }
    });
    SetStatistics statistics = empty_statistics(result.models);
    for (const SetStatistics& block : blocks) add_statistics(block, statistics);

    result.unseen.clear();
    for (std::size_t slot = 0; slot < result.models.size(); ++slot) {
      if (!reestimate(statistics[slot], rules, result.models[slot])) {
        result.unseen.emplace_back(inventory_name(result.models[slot].inventory_index));
      }
    }
    last_statistics = std::move(statistics);

    double log_likelihood = 0.0, frames = 0.0;
    int failed = 0;
    for (std::size_t i = 0; i < corpus.size(); ++i) {
      if (!result.alignments[i].ok) {
        ++failed;
        continue;
      }
      log_likelihood += result.alignments[i].log_likelihood;
      frames += static_cast<double>(corpus[i].frames.size());
    }
    const std::string likelihood = iteration == 1
                                       ? std::string("even shares")
                                       : format_text("%.3f per frame", frames > 0 ? log_likelihood / frames : 0.0);
    progress(
        format_text("iteration %d/%d, up to %d components: %d utterances aligned, %d not; %s; %.1f s (%.0f s in all)",
                    iteration, iterations, target_mixtures, count - failed, failed, likelihood.c_str(),
                    seconds_since(iteration_start), seconds_since(started)));
  }
  return result;
}

}  // namespace kws::trainer
