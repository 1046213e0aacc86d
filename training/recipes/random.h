// The recipes' random draws, on the synthesiser's generator.
//
// The standard library's distributions may differ between library versions,
// so the same seed would not give the same corpus everywhere; every draw here
// is plain integer arithmetic on the generator's 64-bit output.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "corpus/random_source.h"

namespace kws::recipes {

class Random {
 public:
  explicit Random(std::uint64_t seed) : source_(seed) {}

  // A generator of its own for one part of the output, so that changing how
  // much one part draws never changes another part.
  static Random for_part(std::uint64_t seed, std::string_view part) { return Random(seed ^ corpus::fnv1a_64(part)); }

  std::uint64_t next() { return source_.next(); }

  // Uniform in 0..count-1 (count > 0).
  std::size_t below(std::size_t count) { return static_cast<std::size_t>(source_.below(count)); }

  // Uniform in low..high, both included.
  int between(int low, int high) { return low + static_cast<int>(below(static_cast<std::size_t>(high - low) + 1)); }

  // True with probability percent / 100.
  bool percent(int percent) { return static_cast<int>(below(100)) < percent; }

  template <typename T>
  const T& pick(const std::vector<T>& items) {
    return items[below(items.size())];
  }

  template <typename T>
  void shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(i)]);
  }

 private:
  corpus::RandomSource source_;
};

}  // namespace kws::recipes
