// The Gaussians of a model set laid out for scoring eight components of one
// state at once, in single precision, for several frames per pass over them.
//
// A component's distance GConst + sum_k p_k (x_k - m_k)^2 is summed in
// dimension order as the plain loop in state_scoring.h does, but in single
// precision with a fused multiply-add per term, eight components per vector.
// It stays within a relative 1e-5 of the plain loop's double sum (absolute
// 1e-5 below 1): the terms are all positive, so nothing cancels but GConst.
// (Expanding the square into p x^2 - 2 p m x + p m^2 saves an operation but
// loses that: the expanded terms cancel each other.)
//
// Built once when the models are loaded; scoring only reads it, so any number
// of threads may share one.
#pragma once

#include <cstdint>
#include <vector>

#include "frontend/feature_extraction.h"
#include "models/model_set.h"

namespace kws {

inline constexpr int kGaussianLanes = 8;

struct alignas(32) GaussianBlock {
  float mean[kFeatureDimension][kGaussianLanes];       // 0 in unused lanes
  float precision[kFeatureDimension][kGaussianLanes];  // 0 in unused lanes
  float gconst[kGaussianLanes];                        // 1e30 in unused lanes
  float log_weight[kGaussianLanes];                    // ln w; -infinity in unused lanes
};

// Up to this many frames are scored per pass over a state's blocks.
inline constexpr int kFrameGroup = 8;

struct FrameGroup {
  int count = 0;
  float x[kFrameGroup][kFeatureDimension];
};

// Which loops score frames and step the level pass: the fastest the
// processor has (the default), or the portable ones every processor runs
// (for the tests to check them too).
enum class ScoringKernels { fastest, portable };
void choose_scoring_kernels(ScoringKernels kernels);
bool portable_kernels_chosen();
// True where the processor has AVX2 and the portable loops were not chosen.
bool avx2_kernels_chosen();

class GaussianTables {
 public:
  GaussianTables() = default;
  // The emitting states of slots 0..slot_limit-1 of the set (those it holds).
  GaussianTables(const ModelSet& set, int slot_limit);

  int slot_count() const { return slot_count_; }
  // Components of (slot, state); 0 for a state without any or outside the set.
  int component_count(int slot, int state) const;

  // Takes the first count (at most kFrameGroup) feature rows into group.
  static void load_frames(const FeatureVector* rows, int count, FrameGroup& group);

  // Scores of (slot, state) for every frame of the group, into scores[frame]:
  // -0.5 x the smallest distance (-5e29 without components), or ln of the
  // weighted sum of exp(-0.5 distance) (-infinity without components or when
  // every term would underflow in double precision, as the plain loop gives).
  void best_gaussian(int slot, int state, const FrameGroup& group, float* scores) const;
  void mixture(int slot, int state, const FrameGroup& group, float* scores) const;
  // The mixture without the underflow rule: a frame far from every component
  // still gets the finite log-sum-exp around its largest term (-infinity
  // only without weighted components), as training wants it.
  void finite_mixture(int slot, int state, const FrameGroup& group, float* scores) const;
  // ln w + ln N of every component of (slot, state) for every frame of the
  // group: terms[frame][component], as far as the state has components.
  void component_terms(int slot, int state, const FrameGroup& group, float (*terms)[kMixtureSlots]) const;

 private:
  struct StateBlocks {
    std::int32_t first_block = 0;
    std::int16_t blocks = 0;
    std::int16_t components = 0;
    bool weighted = false;  // some component has a weight above 0
  };
  enum class Sum { best, mixture, finite_mixture };
  const StateBlocks* state_blocks(int slot, int state) const;
  void mixture_with(Sum sum, int slot, int state, const FrameGroup& group, float* scores) const;
  // The state's blocks, and distances[frame][component] (GConst included) of the group's frames.
  const GaussianBlock* distances_of(const StateBlocks& entry, const FrameGroup& group,
                                    float (*distances)[kMixtureSlots]) const;
  void score(const StateBlocks& entry, const FrameGroup& group, Sum sum, float* scores) const;

  int slot_count_ = 0;
  std::vector<StateBlocks> states_;  // [slot * kStateSlots + state]
  std::vector<GaussianBlock> blocks_;
};

}  // namespace kws
