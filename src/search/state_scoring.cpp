#include "search/state_scoring.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "search/utterance_workspace.h"

namespace kws {
namespace {

// Components whose distances are formed side by side. The squared-difference
// terms are independent, so they are formed first (contiguous, vectorisable);
// then each component's terms are added in dimension order 0..23 into its own
// double accumulator, so the result equals the one-at-a-time sum while the
// accumulators of the block hide each other's add latency.
constexpr int kComponentBlock = 8;

int component_count(const HmmModel& model, int state) {
  return std::clamp<int>(model.mixture_count[state], 0, kMixtureSlots);
}

// The frame in double once, rather than once per component.
struct FrameInDouble {
  explicit FrameInDouble(const FeatureVector& frame) {
    for (int k = 0; k < kFeatureDimension; ++k) x[k] = frame[static_cast<std::size_t>(k)];
  }
  double x[kFeatureDimension];
};

// Also built for AVX2 on x86-64, chosen at load time where the processor has
// it: wider vectors, the same operations in the same order (AVX2 brings no
// fused multiply-add), so the same bits.
// ThreadSanitizer instruments the clone's resolver, which the loader runs
// before the sanitizer's runtime is up; that build keeps the default only.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define KWS_WITH_AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define KWS_WITH_AVX2_CLONE
#endif

// distances[i] for components 0..count-1 of one state.
KWS_WITH_AVX2_CLONE
void component_distances(const HmmModel& model, int state, int count, const FrameInDouble& frame,
                         float* distances) {
  const float (*mean)[kFeatureDimension] = model.mean[state];
  const float (*precision)[kFeatureDimension] = model.inverse_variance[state];
  const float* gconst = model.gconst[state];
  int i = 0;
  for (; i + kComponentBlock <= count; i += kComponentBlock) {
    double terms[kComponentBlock][kFeatureDimension];
    for (int j = 0; j < kComponentBlock; ++j) {
      for (int k = 0; k < kFeatureDimension; ++k) {
        const double difference = frame.x[k] - static_cast<double>(mean[i + j][k]);
        terms[j][k] = difference * difference * static_cast<double>(precision[i + j][k]);
      }
    }
    double sum[kComponentBlock];
    for (int j = 0; j < kComponentBlock; ++j) sum[j] = gconst[i + j];
    for (int k = 0; k < kFeatureDimension; ++k) {
      for (int j = 0; j < kComponentBlock; ++j) sum[j] += terms[j][k];
    }
    for (int j = 0; j < kComponentBlock; ++j) distances[i + j] = static_cast<float>(sum[j]);
  }
  for (; i < count; ++i) {
    double sum = gconst[i];
    for (int k = 0; k < kFeatureDimension; ++k) {
      const double difference = frame.x[k] - static_cast<double>(mean[i][k]);
      sum += difference * difference * static_cast<double>(precision[i][k]);
    }
    distances[i] = static_cast<float>(sum);
  }
}

float best_gaussian(const HmmModel& model, int state, const FrameInDouble& frame) {
  const int count = component_count(model, state);
  float distances[kMixtureSlots];
  component_distances(model, state, count, frame, distances);
  float best = 1e30f;  // what a state without components keeps
  for (int i = 0; i < count; ++i) {
    if (distances[i] < best) best = distances[i];
  }
  return -0.5f * best;
}

// Below this exponent exp() gives exactly 0 in double, so skipping the call
// leaves the sum unchanged.
constexpr double kExpUnderflow = -746.0;

float mixture(const HmmModel& model, int state, const FrameInDouble& frame) {
  const int count = component_count(model, state);
  float distances[kMixtureSlots];
  component_distances(model, state, count, frame, distances);
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double exponent = -0.5 * static_cast<double>(distances[i]);
    if (exponent < kExpUnderflow) continue;
    sum += static_cast<double>(model.weight[state][i]) * std::exp(exponent);
  }
  if (!(sum > 0.0)) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(std::log(sum));
}

// Emitting states 1..last of a model; models with N <= 2 have none, and the
// score table has no room beyond state slot 5.
int last_emitting_state(const HmmModel& model) { return std::clamp(model.state_count - 2, 0, kStateSlots - 1); }

bool frame_in_range(int frame) { return frame >= 0 && frame < kMaxFrames; }

int loaded_slots(const ModelSet& models, int capacity) { return std::clamp<int>(models.count, 0, capacity); }

// Whether (frame, model, state) names an entry of a score table whose model
// dimension is capacity, for a model the set holds.
bool entry_in_range(const ModelSet& models, int capacity, int frame, int model, int state) {
  return frame_in_range(frame) && model >= 0 && model < loaded_slots(models, capacity) && state >= 0 &&
         state < kStateSlots;
}

}  // namespace

float best_gaussian_score(const HmmModel& model, int state, const FeatureVector& frame) {
  return best_gaussian(model, state, FrameInDouble(frame));
}

float mixture_score(const HmmModel& model, int state, const FeatureVector& frame) {
  return mixture(model, state, FrameInDouble(frame));
}

void score_state_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame, int model, int state) {
  if (!entry_in_range(data.main_models, kMaxModelSlots, frame, model, state)) return;
  work.state_scores[static_cast<std::size_t>(frame)][static_cast<std::size_t>(model)][static_cast<std::size_t>(state)] =
      best_gaussian_score(data.main_models.records[model], state, work.features[static_cast<std::size_t>(frame)]);
}

void score_state_mixture(const LoadedData& data, UtteranceWorkspace& work, int frame, int model, int state) {
  if (!entry_in_range(data.main_models, kMaxModelSlots, frame, model, state)) return;
  work.state_scores[static_cast<std::size_t>(frame)][static_cast<std::size_t>(model)][static_cast<std::size_t>(state)] =
      mixture_score(data.main_models.records[model], state, work.features[static_cast<std::size_t>(frame)]);
}

void score_anti_state_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame, int anti_model,
                                    int state) {
  if (!entry_in_range(data.anti_models, kMaxAntiModels, frame, anti_model, state)) return;
  work.anti_state_scores[static_cast<std::size_t>(frame)][static_cast<std::size_t>(anti_model)]
                        [static_cast<std::size_t>(state)] =
      best_gaussian_score(data.anti_models.records[anti_model], state, work.features[static_cast<std::size_t>(frame)]);
}

namespace {

enum class Rule { best_gaussian, mixture };

// Model slots a rule scores: best-Gaussian every loaded slot, the mixture the inventory's.
int scored_slots(const LoadedData& data, Rule rule) {
  const int loaded = loaded_slots(data.main_models, kMaxModelSlots);
  return rule == Rule::mixture ? std::min(loaded, kInventorySize) : loaded;
}

// Frames [first, end) with the plain loop, for model sets without packed
// tables (filled by hand and not packed).
void score_plain(const LoadedData& data, UtteranceWorkspace& work, int first, int end, Rule rule) {
  const int slots = scored_slots(data, rule);
  for (int frame = first; frame < end; ++frame) {
    const FrameInDouble x(work.features[static_cast<std::size_t>(frame)]);
    StateScores& row = work.state_scores[static_cast<std::size_t>(frame)];
    for (int slot = 0; slot < slots; ++slot) {
      const HmmModel& model = data.main_models.records[slot];
      for (int state = 1; state <= last_emitting_state(model); ++state) {
        row[static_cast<std::size_t>(slot)][static_cast<std::size_t>(state)] =
            rule == Rule::mixture ? mixture(model, state, x) : best_gaussian(model, state, x);
      }
    }
  }
}

// Frames [first, end) of the features in groups of at most kFrameGroup, so
// each state's Gaussians are read from memory once per group; calls
// score_group(group, first frame of the group). The groups are of equal size:
// a small remainder group would leave the vector units waiting on too few
// frames. (A frame's scores do not depend on its group.)
template <typename ScoreGroup>
void for_each_frame_group(const UtteranceWorkspace& work, int first, int end, ScoreGroup&& score_group) {
  first = std::max(first, 0);
  end = std::min(end, kMaxFrames);
  if (first >= end) return;
  const int groups = (end - first + kFrameGroup - 1) / kFrameGroup;
  const int group_size = (end - first + groups - 1) / groups;
  FrameGroup group;
  for (int start = first; start < end; start += group_size) {
    GaussianTables::load_frames(&work.features[static_cast<std::size_t>(start)], std::min(group_size, end - start),
                                group);
    score_group(group, start);
  }
}

// Frames [first, end) of the state-score table.
void score_range(const LoadedData& data, UtteranceWorkspace& work, int first, int end, Rule rule) {
  const GaussianTables& tables = data.main_gaussians;
  if (tables.slot_count() != loaded_slots(data.main_models, kMaxModelSlots)) {
    score_plain(data, work, std::max(first, 0), std::min(end, kMaxFrames), rule);
    return;
  }
  const int slots = scored_slots(data, rule);
  for_each_frame_group(work, first, end, [&](const FrameGroup& group, int start) {
    for (int slot = 0; slot < slots; ++slot) {
      for (int state = 1; state <= last_emitting_state(data.main_models.records[slot]); ++state) {
        float scores[kFrameGroup];
        if (rule == Rule::mixture) {
          tables.mixture(slot, state, group, scores);
        } else {
          tables.best_gaussian(slot, state, group, scores);
        }
        for (int f = 0; f < group.count; ++f) {
          work.state_scores[static_cast<std::size_t>(start + f)][static_cast<std::size_t>(slot)]
                           [static_cast<std::size_t>(state)] = scores[f];
        }
      }
    }
  });
}

bool frame_count_fits(int frame_count) {
  if (frame_count <= kMaxFrames) return true;
  message_sink().console(format_text("State scoring refused: %d frames, more than %d\n", frame_count, kMaxFrames));
  return false;
}

}  // namespace

void score_anti_model_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int anti_model, int first_frame,
                                    int end_frame) {
  first_frame = std::max(first_frame, 0);
  end_frame = std::min(end_frame, kMaxFrames);
  if (anti_model < 0 || anti_model >= loaded_slots(data.anti_models, kMaxAntiModels)) return;
  const int states = last_emitting_state(data.anti_models.records[anti_model]);
  const GaussianTables& tables = data.anti_gaussians;
  if (tables.slot_count() != loaded_slots(data.anti_models, kMaxAntiModels)) {
    for (int t = first_frame; t < end_frame; ++t) {
      for (int state = 1; state <= states; ++state) score_anti_state_best_gaussian(data, work, t, anti_model, state);
    }
    return;
  }
  for_each_frame_group(work, first_frame, end_frame, [&](const FrameGroup& group, int start) {
    for (int state = 1; state <= states; ++state) {
      float scores[kFrameGroup];
      tables.best_gaussian(anti_model, state, group, scores);
      for (int f = 0; f < group.count; ++f) {
        work.anti_state_scores[static_cast<std::size_t>(start + f)][static_cast<std::size_t>(anti_model)]
                              [static_cast<std::size_t>(state)] = scores[f];
      }
    }
  });
}

void pack_gaussians(LoadedData& data) {
  data.main_gaussians = GaussianTables(data.main_models, kMaxModelSlots);
  data.anti_gaussians = GaussianTables(data.anti_models, kMaxAntiModels);
}

void score_frame_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame) {
  if (frame_in_range(frame)) score_range(data, work, frame, frame + 1, Rule::best_gaussian);
}

void score_frame_mixture(const LoadedData& data, UtteranceWorkspace& work, int frame) {
  if (frame_in_range(frame)) score_range(data, work, frame, frame + 1, Rule::mixture);
}

void score_frame_range_mixture(const LoadedData& data, UtteranceWorkspace& work, int first_frame, int end_frame) {
  score_range(data, work, first_frame, end_frame, Rule::mixture);
}

void score_frames_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame_count) {
  if (frame_count_fits(frame_count)) score_range(data, work, 0, frame_count, Rule::best_gaussian);
}

void score_frames_mixture(const LoadedData& data, UtteranceWorkspace& work, int frame_count) {
  if (frame_count_fits(frame_count)) score_range(data, work, 0, frame_count, Rule::mixture);
}

}  // namespace kws
