#include "search/recognition_pass.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <numeric>

#include "engine/recognizer_engine.h"
#include "search/keyword_search.h"
#include "search/verification.h"

namespace kws {

namespace {


// Sum of |x| over the 80 samples ending at i, sample 0 excluded.
std::int32_t window_energy(const std::int16_t* samples, int i) {
  std::int32_t energy = 0;
  for (int j = 0; j < kEnergyWindowSamples && i - j > 0; ++j)
    energy += std::abs(static_cast<std::int32_t>(samples[i - j]));
  return energy;
}

// A mean sample value estimated from every tenth sample.
bool offset_too_large(const std::int16_t* samples, int sample_count) {
  if (sample_count <= 0) return false;
  std::int64_t sum = 0;
  for (int i = 0; i < sample_count; i += 10) sum += samples[i];
  const std::int64_t mean = sum * 10 / sample_count;
  return mean > kMaxMeanSample || mean < -kMaxMeanSample;
}

}  // namespace

int prepare_utterance(RecognizerEngine& engine, bool live) {
  engine.accepted.clear();
  Utterance& utterance = engine.utterance;
  const auto refuse = [&utterance](UtteranceRefusal why) {
    utterance.refusal = why;
    return kRefused;
  };
  utterance.refusal = UtteranceRefusal::none;
  const int entries = engine.vocabulary.entry_count;
  if (entries < engine.settings.results_wanted.load(std::memory_order_relaxed)) {
    engine.settings.results_wanted.store(entries, std::memory_order_relaxed);
  }
  if (entries <= 0) return refuse(UtteranceRefusal::empty_vocabulary);
  if (!engine.sample_buffer) return refuse(UtteranceRefusal::no_sample_buffer);

  engine.analysis_source.samples = engine.sample_buffer.get();
  if (live) {
    const std::int64_t samples = static_cast<std::int64_t>(utterance.capture_end) - utterance.capture_start;
    // More than the sample buffer holds cannot be a real capture.
    if (samples > kSampleBufferSamples) return refuse(UtteranceRefusal::too_long);
    utterance.byte_count = static_cast<std::int32_t>(2 * samples);
    utterance.sample_count = utterance.byte_count / 2;
    utterance.capture_start = 0;
    if (utterance.byte_count <= 2 * kMinRecordedSamples) return refuse(UtteranceRefusal::too_short);
  } else {
    utterance.byte_count = 2 * kStoredUtteranceSamples;
    utterance.sample_count = kStoredUtteranceSamples;
  }
  if (offset_too_large(engine.sample_buffer.get(), utterance.byte_count / 2)) {
    return refuse(UtteranceRefusal::offset);
  }

  engine.times.start = processor_milliseconds();
  trim_utterance_end(engine);
  utterance.start = utterance.capture_start;
  if (utterance.end - utterance.start < kMinTrimmedSamples) {
    return refuse(UtteranceRefusal::too_short_after_trimming);
  }
  engine.analysis_source.start = utterance.start;
  engine.analysis_source.end = utterance.end;
  const int frames = utterance_frame_count(engine);
  if (frames < 1 || frames > kMaxFrames) return refuse(UtteranceRefusal::too_short_after_trimming);
  return kRecognised;
}

void trim_utterance_end(RecognizerEngine& engine) {
  Utterance& utterance = engine.utterance;
  const int sample_count = std::clamp(utterance.byte_count / 2, 0, kSampleBufferSamples);
  utterance.start = 0;
  const std::int16_t* samples = engine.sample_buffer.get();
  if (samples == nullptr || sample_count == 0) {
    utterance.end = 0;
    return;
  }
  const std::int32_t high = engine.calibration.trim_high_threshold.load(std::memory_order_relaxed);
  const std::int32_t low = engine.calibration.trim_low_threshold.load(std::memory_order_relaxed);
  int i = sample_count - 1;
  while (i > 41) {
    if (window_energy(samples, i) > high) break;
    i -= kTrimStepSamples;
  }
  while (i < sample_count) {
    if (window_energy(samples, i) < low) break;
    i += kTrimStepSamples;
  }
  // Stepping forward may pass the last sample by up to 39; no analysis may
  // read beyond the recording.
  utterance.end = std::clamp(i, 0, sample_count);
}

int utterance_frame_count(RecognizerEngine& engine) {
  const int frames = (engine.utterance.end - engine.utterance.start) / kFrameShift - 1;
  engine.search.frame_count = frames;
  return frames;
}

void order_results_for_display(RecognizerEngine& engine) {
  const int shown = displayed_result_count(engine);
  std::array<std::int16_t, kMaxResults> order;
  std::iota(order.begin(), order.begin() + shown, std::int16_t{0});
  const auto& scores = engine.results.scores;
  // Bubble passes that swap only a strictly greater left score: of equal
  // scores the later result rises to the end first and is shown first.
  for (int pass = 0; pass < shown; ++pass) {
    for (int j = 0; j + 1 < shown - pass; ++j) {
      if (scores[static_cast<std::size_t>(order[static_cast<std::size_t>(j)])] >
          scores[static_cast<std::size_t>(order[static_cast<std::size_t>(j) + 1])]) {
        std::swap(order[static_cast<std::size_t>(j)], order[static_cast<std::size_t>(j) + 1]);
      }
    }
    engine.display_order[static_cast<std::size_t>(pass)] = order[static_cast<std::size_t>(shown - 1 - pass)];
  }
  std::fill(engine.display_order.begin() + shown, engine.display_order.end(), std::int16_t{-1});
}

double processor_milliseconds() { return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC; }

void search_rank_and_verify(RecognizerEngine& engine) {
  run_keyword_search(engine);
  order_results_for_display(engine);
  engine.times.verification_start = processor_milliseconds();
  verify_results(engine);
  engine.times.verification_end = processor_milliseconds();
}

int recognize_keywords(RecognizerEngine& engine, bool live) {
  if (prepare_utterance(engine, live) != kRecognised) return kRefused;
  search_rank_and_verify(engine);
  return kRecognised;
}

int recognize_large_vocabulary(RecognizerEngine& engine, bool live) {
  if (prepare_utterance(engine, live) != kRecognised) return kRefused;
  recognize_syllable_loop(engine);
  return kRecognised;
}

}  // namespace kws
