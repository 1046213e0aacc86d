#include "corpus/random_source.h"

#include <cmath>
#include <numbers>

namespace kws::corpus {

std::uint64_t fnv1a_64(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::uint64_t mix_64(std::uint64_t value) {
  value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
  value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
  return value ^ (value >> 31);
}

std::uint64_t utterance_seed(std::string_view name, std::uint64_t run_seed) {
  // The run seed is scrambled first so that seeds 1 and 2 do not just flip
  // one bit of the name's hash.
  return mix_64(fnv1a_64(name) ^ mix_64(run_seed));
}

std::uint64_t RandomSource::next() {
  state_ += 0x9e3779b97f4a7c15ULL;
  return mix_64(state_);
}

double RandomSource::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

std::uint64_t RandomSource::below(std::uint64_t count) {
  // The top bits of a 64x64 multiply: no modulo bias worth speaking of for
  // the small ranges drawn here.
  return static_cast<std::uint64_t>((static_cast<unsigned __int128>(next()) * count) >> 64);
}

double RandomSource::gaussian() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_gaussian_;
  }
  const double radius = std::sqrt(-2.0 * std::log(1.0 - uniform()));  // 1 - u is in (0, 1]
  const double angle = 2.0 * std::numbers::pi * uniform();
  spare_gaussian_ = radius * std::sin(angle);
  has_spare_ = true;
  return radius * std::cos(angle);
}

}  // namespace kws::corpus
