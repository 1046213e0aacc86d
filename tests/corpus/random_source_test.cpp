#include "corpus/random_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace kws::corpus {
namespace {

// Fixed values: a change here changes every synthesised corpus.
TEST(RandomSource, HashesAndSequencesAreFixed) {
  EXPECT_EQ(fnv1a_64(""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(fnv1a_64("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(fnv1a_64("foobar"), 0x85944171f73967e8ULL);

  RandomSource zero(0);  // the published splitmix64 sequence of seed 0
  EXPECT_EQ(zero.next(), 0xe220a8397b1dcdafULL);
  EXPECT_EQ(zero.next(), 0x6e789e6aa1b965f4ULL);
  EXPECT_EQ(zero.next(), 0x06c45d188009454fULL);

  EXPECT_EQ(utterance_seed("train/u00017", 1), 0xea707b7b3361dde2ULL);
  EXPECT_EQ(utterance_seed("train/u00017", 2), 0x2f82130b8bafd792ULL);
  EXPECT_EQ(utterance_seed("tr1_7", 1), 0xa1cce491a971d96bULL);
  RandomSource utterance(utterance_seed("train/u00017", 1));
  EXPECT_DOUBLE_EQ(utterance.uniform(), 0.49527804417108323);
  EXPECT_DOUBLE_EQ(utterance.uniform(), 0.03080811163839503);
}

TEST(RandomSource, DrawsHaveTheirDistributions) {
  RandomSource random(42);
  constexpr int kDraws = 200000;
  double sum = 0.0, squares = 0.0;
  for (int i = 0; i < kDraws; ++i) {
    const double value = random.gaussian();
    sum += value;
    squares += value * value;
  }
  EXPECT_NEAR(sum / kDraws, 0.0, 0.01);
  EXPECT_NEAR(squares / kDraws, 1.0, 0.015);

  std::set<std::uint64_t> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::uint64_t value = random.below(7);
    ASSERT_LT(value, 7u);
    seen.insert(value);
    const double uniform = random.uniform();
    ASSERT_GE(uniform, 0.0);
    ASSERT_LT(uniform, 1.0);
  }
  EXPECT_EQ(seen.size(), 7u);
  EXPECT_EQ(random.below(0), 0u);
}

}  // namespace
}  // namespace kws::corpus
