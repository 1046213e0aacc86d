// Feature extraction speed over a 6-second utterance (599 frames), reported as
// milliseconds per utterance and as a real-time factor (processing time over
// audio time). Target: 3 ms or less per utterance on one core.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "frontend/feature_extraction.h"

namespace {

constexpr int kSamples = 96000;  // 6 s at 16 kHz
constexpr double kAudioSeconds = kSamples / 16000.0;

std::vector<std::int16_t> utterance() {
  std::mt19937 noise(42u);
  std::vector<std::int16_t> samples(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    const double t = i / 16000.0;
    const double voiced = 4000.0 * std::sin(2.0 * std::numbers::pi * 180.0 * t) *
                          (0.5 + 0.5 * std::sin(2.0 * std::numbers::pi * 4.0 * t));
    samples[i] = static_cast<std::int16_t>(std::lround(voiced) + static_cast<int>(noise() % 1001u) - 500);
  }
  return samples;
}

void BM_ExtractFeatures(benchmark::State& state) {
  const std::vector<std::int16_t> samples = utterance();
  auto owner = std::make_unique<kws::FrontEndOwner>();
  if (!owner->set_up().empty()) {
    state.SkipWithError("the analysis tables cannot be built");
    return;
  }
  kws::FrontEnd front = owner->front_end();
  auto features = std::make_unique<kws::FeatureMatrix>();
  // Timed here as well so the counters print as plain numbers.
  std::chrono::duration<double> busy{0.0};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int frames = front.extract_features(samples.data(), 0, kSamples, *features);
    benchmark::DoNotOptimize(frames);
    benchmark::ClobberMemory();
    busy += std::chrono::steady_clock::now() - start;
  }
  using benchmark::Counter;
  state.counters["ms_per_utterance"] = Counter(busy.count() * 1e3, Counter::kAvgIterations);
  state.counters["real_time_factor"] = Counter(busy.count() / kAudioSeconds, Counter::kAvgIterations);
  state.counters["frames"] = owner->buffers.frame_count;
}
BENCHMARK(BM_ExtractFeatures)->Unit(benchmark::kMillisecond);

}  // namespace
