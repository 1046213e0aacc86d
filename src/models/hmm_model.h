// The flat HMM record every scorer reads, byte for byte also the record of the
// anti-model file.
//
// A continuous-density HMM with diagonal-covariance Gaussian mixtures over the
// 24-dimensional features. States are numbered 1..N in the definition files,
// state 1 being the non-emitting entry and N the non-emitting exit, so the
// emitting states 2..N-1 live in state slots 1..N-2 and slot 0 stays unused.
// Variances are kept as their reciprocals and transition probabilities as
// natural logarithms, so scoring is multiply-adds only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kws {

inline constexpr int kStateSlots = 6;
inline constexpr int kMixtureSlots = 32;
inline constexpr int kFeatureDimension = 24;

struct HmmModel {
  std::int16_t state_count;  // N, entry and exit states included
  std::int16_t model_index;  // inventory index of the model's name
  float mean[kStateSlots][kMixtureSlots][kFeatureDimension];
  float inverse_variance[kStateSlots][kMixtureSlots][kFeatureDimension];
  float log_transition[kStateSlots][kStateSlots];  // [i][j]: ln P(state i+1 -> state j+1)
  float gconst[kStateSlots][kMixtureSlots];
  float weight[kStateSlots][kMixtureSlots];  // linear
  std::int16_t mixture_count[kStateSlots];
};

// The record is a file format: its size and field offsets are fixed.
inline constexpr std::size_t kHmmModelBytes = 38560;
static_assert(sizeof(HmmModel) == kHmmModelBytes);
static_assert(offsetof(HmmModel, mean) == 4);
static_assert(offsetof(HmmModel, inverse_variance) == 18436);
static_assert(offsetof(HmmModel, log_transition) == 36868);
static_assert(offsetof(HmmModel, gconst) == 37012);
static_assert(offsetof(HmmModel, weight) == 37780);
static_assert(offsetof(HmmModel, mixture_count) == 38548);

}  // namespace kws
