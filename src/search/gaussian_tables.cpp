#include "search/gaussian_tables.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KWS_GAUSSIANS_AVX2 1
#endif

namespace kws {
namespace {

constexpr float kUnusedLaneConstant = 1e30f;
constexpr float kImpossible = -std::numeric_limits<float>::infinity();
// Below this exponent exp() gives exactly 0 in double: the plain loop's sum of
// such terms is 0 and its score -infinity.
constexpr float kExpUnderflow = -746.0f;

using Distances = float (*)[kMixtureSlots];

// distances[f][8 b + lane] = GConst + sum_k p (x_f - m)^2, k in order 0..23.
template <int Frames>
void portable_distances(const GaussianBlock* blocks, int block_count, const FrameGroup& group, Distances distances) {
  for (int b = 0; b < block_count; ++b) {
    const GaussianBlock& block = blocks[b];
    float sum[Frames][kGaussianLanes];
    for (int f = 0; f < Frames; ++f) std::copy(block.gconst, block.gconst + kGaussianLanes, sum[f]);
    for (int k = 0; k < kFeatureDimension; ++k) {
      for (int f = 0; f < Frames; ++f) {
        for (int lane = 0; lane < kGaussianLanes; ++lane) {
          const float difference = group.x[f][k] - block.mean[k][lane];
          sum[f][lane] += block.precision[k][lane] * difference * difference;
        }
      }
    }
    for (int f = 0; f < Frames; ++f) std::copy(sum[f], sum[f] + kGaussianLanes, distances[f] + b * kGaussianLanes);
  }
}

// Scores of the group's frames from their distances, as GaussianTables says.
void portable_best(const GaussianBlock*, int components, const FrameGroup& group, Distances distances, float* scores) {
  for (int f = 0; f < group.count; ++f) scores[f] = -0.5f * *std::min_element(distances[f], distances[f] + components);
}

// Finite: no -infinity where every term would underflow; the log-sum-exp
// around the largest term has a value there too.
template <bool Finite>
void portable_mixture(const GaussianBlock* blocks, int components, const FrameGroup& group, Distances distances,
                      float* scores) {
  const int lanes = (components + kGaussianLanes - 1) / kGaussianLanes * kGaussianLanes;
  for (int f = 0; f < group.count; ++f) {
    float exponents[kMixtureSlots] = {};
    for (int i = 0; i < lanes; ++i) {
      exponents[i] = blocks[i / kGaussianLanes].log_weight[i % kGaussianLanes] - 0.5f * distances[f][i];
    }
    const float nearest = *std::min_element(distances[f], distances[f] + components);
    const float largest = *std::max_element(exponents, exponents + lanes);
    float sum = 0.0f;
    for (int i = 0; i < lanes; ++i) sum += std::exp(exponents[i] - largest);
    scores[f] = Finite || -0.5f * nearest >= kExpUnderflow ? largest + std::log(sum) : kImpossible;
  }
}

#ifdef KWS_GAUSSIANS_AVX2

template <int Frames>
__attribute__((target("avx2,fma"))) void avx2_distances(const GaussianBlock* blocks, int block_count,
                                                        const FrameGroup& group, Distances distances) {
  for (int b = 0; b < block_count; ++b) {
    const GaussianBlock& block = blocks[b];
    __m256 sum[Frames];
    const __m256 gconst = _mm256_load_ps(block.gconst);
    for (int f = 0; f < Frames; ++f) sum[f] = gconst;
    for (int k = 0; k < kFeatureDimension; ++k) {
      const __m256 mean = _mm256_load_ps(block.mean[k]);
      const __m256 precision = _mm256_load_ps(block.precision[k]);
      for (int f = 0; f < Frames; ++f) {
        const __m256 difference = _mm256_sub_ps(_mm256_broadcast_ss(&group.x[f][k]), mean);
        sum[f] = _mm256_fmadd_ps(_mm256_mul_ps(precision, difference), difference, sum[f]);
      }
    }
    for (int f = 0; f < Frames; ++f) _mm256_storeu_ps(distances[f] + b * kGaussianLanes, sum[f]);
  }
}

// exp of eight values of at most 0 (-infinity included): the exponent's
// integer part goes into the float's exponent field, the fraction through a
// degree-5 polynomial; about one unit in the last place.
__attribute__((target("avx2,fma"))) inline __m256 avx2_exp(__m256 x) {
  x = _mm256_max_ps(x, _mm256_set1_ps(-87.0f));
  const __m256 n = _mm256_round_ps(_mm256_mul_ps(x, _mm256_set1_ps(1.44269504088896341f)),
                                   _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  __m256 r = _mm256_fnmadd_ps(n, _mm256_set1_ps(0.693359375f), x);
  r = _mm256_fnmadd_ps(n, _mm256_set1_ps(-2.12194440e-4f), r);
  __m256 y = _mm256_set1_ps(1.9875691500e-4f);
  y = _mm256_fmadd_ps(y, r, _mm256_set1_ps(1.3981999507e-3f));
  y = _mm256_fmadd_ps(y, r, _mm256_set1_ps(8.3334519073e-3f));
  y = _mm256_fmadd_ps(y, r, _mm256_set1_ps(4.1665795894e-2f));
  y = _mm256_fmadd_ps(y, r, _mm256_set1_ps(1.6666665459e-1f));
  y = _mm256_fmadd_ps(y, r, _mm256_set1_ps(5.0000001201e-1f));
  y = _mm256_fmadd_ps(y, _mm256_mul_ps(r, r), _mm256_add_ps(r, _mm256_set1_ps(1.0f)));
  const __m256i power = _mm256_slli_epi32(_mm256_add_epi32(_mm256_cvtps_epi32(n), _mm256_set1_epi32(127)), 23);
  return _mm256_mul_ps(y, _mm256_castsi256_ps(power));
}

// ln of eight values of at least 1: the exponent field gives the integer
// part, the mantissa (in [sqrt(1/2), sqrt(2))) a degree-8 polynomial.
__attribute__((target("avx2,fma"))) inline __m256 avx2_log(__m256 x) {
  const __m256i bits = _mm256_castps_si256(x);
  __m256 e = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(127)));
  __m256 m = _mm256_castsi256_ps(
      _mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(0x007FFFFF)), _mm256_set1_epi32(0x3F000000)));
  // m in [0.5, 1): below sqrt(1/2) it is doubled and the exponent lowered.
  const __m256 small = _mm256_cmp_ps(m, _mm256_set1_ps(0.707106781186547524f), _CMP_LT_OQ);
  e = _mm256_add_ps(e, _mm256_blendv_ps(_mm256_set1_ps(1.0f), _mm256_setzero_ps(), small));
  m = _mm256_sub_ps(_mm256_add_ps(m, _mm256_and_ps(m, small)), _mm256_set1_ps(1.0f));
  __m256 y = _mm256_set1_ps(7.0376836292e-2f);
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(-1.1514610310e-1f));
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(1.1676998740e-1f));
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(-1.2420140846e-1f));
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(1.4249322787e-1f));
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(-1.6668057665e-1f));
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(2.0000714765e-1f));
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(-2.4999993993e-1f));
  y = _mm256_fmadd_ps(y, m, _mm256_set1_ps(3.3333331174e-1f));
  const __m256 m2 = _mm256_mul_ps(m, m);
  y = _mm256_mul_ps(_mm256_mul_ps(y, m), m2);
  y = _mm256_fnmadd_ps(m2, _mm256_set1_ps(0.5f), y);
  return _mm256_fmadd_ps(e, _mm256_set1_ps(0.693147180559945f), _mm256_add_ps(m, y));
}

__attribute__((target("avx2,fma"))) inline float avx2_min(__m256 v) {
  __m128 r = _mm_min_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  r = _mm_min_ps(r, _mm_movehl_ps(r, r));
  return _mm_cvtss_f32(_mm_min_ss(r, _mm_movehdup_ps(r)));
}
__attribute__((target("avx2,fma"))) inline float avx2_max(__m256 v) {
  __m128 r = _mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  r = _mm_max_ps(r, _mm_movehl_ps(r, r));
  return _mm_cvtss_f32(_mm_max_ss(r, _mm_movehdup_ps(r)));
}
__attribute__((target("avx2,fma"))) inline float avx2_sum(__m256 v) {
  __m128 r = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  r = _mm_add_ps(r, _mm_movehl_ps(r, r));
  return _mm_cvtss_f32(_mm_add_ss(r, _mm_movehdup_ps(r)));
}

// Unused lanes hold distance 1e30 and log weight -infinity, so whole blocks
// are reduced.
__attribute__((target("avx2,fma"))) void avx2_best(const GaussianBlock*, int components, const FrameGroup& group,
                                                   Distances distances, float* scores) {
  const int blocks = (components + kGaussianLanes - 1) / kGaussianLanes;
  for (int f = 0; f < group.count; ++f) {
    __m256 nearest = _mm256_loadu_ps(distances[f]);
    for (int b = 1; b < blocks; ++b)
      nearest = _mm256_min_ps(nearest, _mm256_loadu_ps(distances[f] + b * kGaussianLanes));
    scores[f] = -0.5f * avx2_min(nearest);
  }
}

template <bool Finite>
__attribute__((target("avx2,fma"))) void avx2_mixture(const GaussianBlock* blocks, int components,
                                                      const FrameGroup& group, Distances distances, float* scores) {
  const int block_count = (components + kGaussianLanes - 1) / kGaussianLanes;
  const __m256 half = _mm256_set1_ps(0.5f);
  alignas(32) float largest[kFrameGroup] = {};
  alignas(32) float sums[kFrameGroup];
  std::fill(sums, sums + kFrameGroup, 1.0f);
  for (int f = 0; f < group.count; ++f) {
    __m256 exponents[kMixtureSlots / kGaussianLanes];
    __m256 nearest = _mm256_set1_ps(kUnusedLaneConstant);
    __m256 top = _mm256_set1_ps(kImpossible);
    for (int b = 0; b < block_count; ++b) {
      const __m256 distance = _mm256_loadu_ps(distances[f] + b * kGaussianLanes);
      nearest = _mm256_min_ps(nearest, distance);
      exponents[b] = _mm256_fnmadd_ps(half, distance, _mm256_load_ps(blocks[b].log_weight));
      top = _mm256_max_ps(top, exponents[b]);
    }
    largest[f] = avx2_max(top);
    __m256 sum = _mm256_setzero_ps();
    const __m256 shift = _mm256_set1_ps(largest[f]);
    for (int b = 0; b < block_count; ++b) sum = _mm256_add_ps(sum, avx2_exp(_mm256_sub_ps(exponents[b], shift)));
    sums[f] = avx2_sum(sum);
    if (!Finite && !(-0.5f * avx2_min(nearest) >= kExpUnderflow)) largest[f] = kImpossible;
  }
  alignas(32) float logs[kFrameGroup];
  _mm256_store_ps(logs, avx2_log(_mm256_load_ps(sums)));
  for (int f = 0; f < group.count; ++f) scores[f] = largest[f] == kImpossible ? kImpossible : largest[f] + logs[f];
}

#endif

using DistanceKernel = void (*)(const GaussianBlock*, int, const FrameGroup&, Distances);
using Reduction = void (*)(const GaussianBlock*, int, const FrameGroup&, Distances, float*);

struct Kernels {
  DistanceKernel distances[kFrameGroup + 1];
  Reduction best;
  Reduction mixture;
  Reduction finite_mixture;
};

template <template <int> class Kernel, std::size_t... Frames>
constexpr Kernels kernels_of(std::index_sequence<Frames...>, Reduction best, Reduction mixture,
                             Reduction finite_mixture) {
  return Kernels{{nullptr, Kernel<static_cast<int>(Frames) + 1>::run...}, best, mixture, finite_mixture};
}

template <int Frames>
struct Portable {
  static constexpr DistanceKernel run = portable_distances<Frames>;
};
constexpr Kernels kPortable = kernels_of<Portable>(std::make_index_sequence<kFrameGroup>(), portable_best,
                                                   portable_mixture<false>, portable_mixture<true>);

#ifdef KWS_GAUSSIANS_AVX2
template <int Frames>
struct Avx2 {
  static constexpr DistanceKernel run = avx2_distances<Frames>;
};
constexpr Kernels kAvx2 =
    kernels_of<Avx2>(std::make_index_sequence<kFrameGroup>(), avx2_best, avx2_mixture<false>, avx2_mixture<true>);
#endif

std::atomic<bool> portable_chosen{false};

// The processor's best (decided once) unless the portable loops were chosen.
const Kernels& kernels() {
#ifdef KWS_GAUSSIANS_AVX2
  static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  if (avx2 && !portable_chosen.load(std::memory_order_relaxed)) return kAvx2;
#endif
  return kPortable;
}

int emitting_states(const HmmModel& model) { return std::clamp(model.state_count - 2, 0, kStateSlots - 1); }

int components_of(const HmmModel& model, int state) {
  return std::clamp<int>(model.mixture_count[state], 0, kMixtureSlots);
}

}  // namespace

void choose_scoring_kernels(ScoringKernels kernels) {
  portable_chosen.store(kernels == ScoringKernels::portable, std::memory_order_relaxed);
}

bool portable_kernels_chosen() { return portable_chosen.load(std::memory_order_relaxed); }

bool avx2_kernels_chosen() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 && !portable_kernels_chosen();
#else
  return false;
#endif
}

GaussianTables::GaussianTables(const ModelSet& set, int slot_limit)
    : slot_count_(std::clamp<int>(set.count, 0, slot_limit)),
      states_(static_cast<std::size_t>(slot_count_) * kStateSlots) {
  for (int slot = 0; slot < slot_count_; ++slot) {
    const HmmModel& model = set.records[slot];
    for (int state = 1; state <= emitting_states(model); ++state) {
      StateBlocks& entry = states_[static_cast<std::size_t>(slot * kStateSlots + state)];
      entry.components = static_cast<std::int16_t>(components_of(model, state));
      entry.blocks = static_cast<std::int16_t>((entry.components + kGaussianLanes - 1) / kGaussianLanes);
      entry.first_block = static_cast<std::int32_t>(blocks_.size());
      for (int b = 0; b < entry.blocks; ++b) {
        GaussianBlock block{};
        for (int lane = 0; lane < kGaussianLanes; ++lane) {
          const int i = b * kGaussianLanes + lane;
          if (i >= entry.components) {
            block.gconst[lane] = kUnusedLaneConstant;
            block.log_weight[lane] = kImpossible;
            continue;
          }
          for (int k = 0; k < kFeatureDimension; ++k) {
            block.mean[k][lane] = model.mean[state][i][k];
            block.precision[k][lane] = model.inverse_variance[state][i][k];
          }
          block.gconst[lane] = model.gconst[state][i];
          block.log_weight[lane] = std::log(model.weight[state][i]);
          entry.weighted = entry.weighted || model.weight[state][i] > 0.0f;
        }
        blocks_.push_back(block);
      }
    }
  }
}

const GaussianTables::StateBlocks* GaussianTables::state_blocks(int slot, int state) const {
  if (slot < 0 || slot >= slot_count_ || state < 0 || state >= kStateSlots) return nullptr;
  const StateBlocks& entry = states_[static_cast<std::size_t>(slot * kStateSlots + state)];
  return entry.components > 0 ? &entry : nullptr;
}

int GaussianTables::component_count(int slot, int state) const {
  const StateBlocks* entry = state_blocks(slot, state);
  return entry != nullptr ? entry->components : 0;
}

void GaussianTables::load_frames(const FeatureVector* rows, int count, FrameGroup& group) {
  group.count = std::clamp(count, 0, kFrameGroup);
  for (int f = 0; f < group.count; ++f) std::copy(rows[f].begin(), rows[f].end(), group.x[f]);
}

void GaussianTables::best_gaussian(int slot, int state, const FrameGroup& group, float* scores) const {
  const StateBlocks* entry = state_blocks(slot, state);
  if (entry == nullptr) {
    std::fill(scores, scores + group.count, -0.5f * kUnusedLaneConstant);
    return;
  }
  score(*entry, group, Sum::best, scores);
}

void GaussianTables::mixture(int slot, int state, const FrameGroup& group, float* scores) const {
  mixture_with(Sum::mixture, slot, state, group, scores);
}

void GaussianTables::finite_mixture(int slot, int state, const FrameGroup& group, float* scores) const {
  mixture_with(Sum::finite_mixture, slot, state, group, scores);
}

void GaussianTables::component_terms(int slot, int state, const FrameGroup& group,
                                     float (*terms)[kMixtureSlots]) const {
  const StateBlocks* entry = state_blocks(slot, state);
  if (entry == nullptr || group.count <= 0) return;
  float distances[kFrameGroup][kMixtureSlots];
  const GaussianBlock* blocks = distances_of(*entry, group, distances);
  for (int f = 0; f < group.count; ++f) {
    for (int i = 0; i < entry->components; ++i) {
      terms[f][i] = blocks[i / kGaussianLanes].log_weight[i % kGaussianLanes] - 0.5f * distances[f][i];
    }
  }
}

void GaussianTables::mixture_with(Sum sum, int slot, int state, const FrameGroup& group, float* scores) const {
  const StateBlocks* entry = state_blocks(slot, state);
  if (entry == nullptr || !entry->weighted) {
    std::fill(scores, scores + group.count, kImpossible);
    return;
  }
  score(*entry, group, sum, scores);
}

const GaussianBlock* GaussianTables::distances_of(const StateBlocks& entry, const FrameGroup& group,
                                                  float (*distances)[kMixtureSlots]) const {
  const GaussianBlock* blocks = &blocks_[static_cast<std::size_t>(entry.first_block)];
  kernels().distances[group.count](blocks, entry.blocks, group, distances);
  return blocks;
}

void GaussianTables::score(const StateBlocks& entry, const FrameGroup& group, Sum sum, float* scores) const {
  if (group.count <= 0) return;
  float distances[kFrameGroup][kMixtureSlots];
  const GaussianBlock* blocks = distances_of(entry, group, distances);
  const Kernels& use = kernels();
  const Reduction reduce = sum == Sum::best ? use.best : sum == Sum::mixture ? use.mixture : use.finite_mixture;
  reduce(blocks, entry.components, group, distances, scores);
}

}  // namespace kws
