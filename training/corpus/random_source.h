// The corpus synthesiser's own random numbers: a seed per utterance from its
// name, and a small generator whose sequence is fixed by this file alone.
//
// A recipe and a seed must give the same bytes on every run whatever the
// number of jobs, and the same on another standard library: so every
// utterance draws from a generator of its own, and nothing here uses the
// std:: distributions, whose algorithms the standard leaves open.
#pragma once

#include <cstdint>
#include <string_view>

namespace kws::corpus {

// 64-bit FNV-1a of the bytes of text.
std::uint64_t fnv1a_64(std::string_view text);

// The splitmix64 finaliser: a bijective scramble of all 64 bits.
std::uint64_t mix_64(std::uint64_t value);

// The seed of one utterance: its name hashed and mixed with the run's seed,
// so that an utterance's audio does not depend on its place in the recipe.
std::uint64_t utterance_seed(std::string_view name, std::uint64_t run_seed);

// splitmix64: the sequence of a seed is fixed; Gaussians by Box-Muller.
class RandomSource {
 public:
  explicit RandomSource(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next();
  // Uniform in [0, 1), 53 random bits.
  double uniform();
  // Uniform in [0, count); 0 when count is 0.
  std::uint64_t below(std::uint64_t count);
  // Standard normal.
  double gaussian();

 private:
  std::uint64_t state_;
  double spare_gaussian_ = 0.0;
  bool has_spare_ = false;
};

}  // namespace kws::corpus
