#include "search/recognition_pass.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <numeric>

#include "audio/noise_calibration.h"
#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "search/keyword_search.h"
#include "search/state_scoring.h"
#include "search/utterance_workspace.h"
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

int prepare_utterance(const Vocabulary& vocabulary, UtteranceWorkspace& work, bool live) {
  work.accepted.clear();
  Utterance& utterance = work.utterance;
  const auto refuse = [&utterance](UtteranceRefusal why) {
    utterance.refusal = why;
    return kRefused;
  };
  utterance.refusal = UtteranceRefusal::none;
  const int entries = vocabulary.entry_count;
  if (entries < work.settings.results_wanted) {
    work.settings.results_wanted = entries;
  }
  if (entries <= 0) return refuse(UtteranceRefusal::empty_vocabulary);

  work.analysis_source.samples = work.sample_buffer.data();
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
  if (offset_too_large(work.sample_buffer.data(), utterance.byte_count / 2)) {
    return refuse(UtteranceRefusal::offset);
  }

  work.times.start = processor_milliseconds();
  trim_utterance_end(work);
  utterance.start = utterance.capture_start;
  if (utterance.end - utterance.start < kMinTrimmedSamples) {
    return refuse(UtteranceRefusal::too_short_after_trimming);
  }
  work.analysis_source.start = utterance.start;
  work.analysis_source.end = utterance.end;
  const int frames = utterance_frame_count(work);
  if (frames < 1 || frames > kMaxFrames) return refuse(UtteranceRefusal::too_short_after_trimming);
  return kRecognised;
}

void trim_utterance_end(UtteranceWorkspace& work) {
  Utterance& utterance = work.utterance;
  const int sample_count = std::clamp(utterance.byte_count / 2, 0, kSampleBufferSamples);
  utterance.start = 0;
  const std::int16_t* samples = work.sample_buffer.data();
  if (sample_count == 0) {
    utterance.end = 0;
    return;
  }
  const std::int32_t high = work.trimming.high;
  const std::int32_t low = work.trimming.low;
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

int utterance_frame_count(UtteranceWorkspace& work) {
  const int frames = (work.utterance.end - work.utterance.start) / kFrameShift - 1;
  work.search.frame_count = frames;
  return frames;
}

void order_results_for_display(UtteranceWorkspace& work) {
  const int shown = displayed_result_count(work);
  std::array<std::int16_t, kMaxResults> order;
  std::iota(order.begin(), order.begin() + shown, std::int16_t{0});
  const auto& scores = work.results.scores;
  // Bubble passes that swap only a strictly greater left score: of equal
  // scores the later result rises to the end first and is shown first.
  for (int pass = 0; pass < shown; ++pass) {
    for (int j = 0; j + 1 < shown - pass; ++j) {
      if (scores[static_cast<std::size_t>(order[static_cast<std::size_t>(j)])] >
          scores[static_cast<std::size_t>(order[static_cast<std::size_t>(j) + 1])]) {
        std::swap(order[static_cast<std::size_t>(j)], order[static_cast<std::size_t>(j) + 1]);
      }
    }
    work.display_order[static_cast<std::size_t>(pass)] = order[static_cast<std::size_t>(shown - 1 - pass)];
  }
  std::fill(work.display_order.begin() + shown, work.display_order.end(), std::int16_t{-1});
}

double processor_milliseconds() { return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC; }

void search_rank_and_verify(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  run_keyword_search(data, vocabulary, work);
  order_results_for_display(work);
  work.times.verification_start = processor_milliseconds();
  verify_results(data, vocabulary, work);
  work.times.verification_end = processor_milliseconds();
}

int recognize_keywords(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work, bool live) {
  if (prepare_utterance(vocabulary, work, live) != kRecognised) return kRefused;
  search_rank_and_verify(data, vocabulary, work);
  return kRecognised;
}

SyllableLoopOutcome recognize_large_vocabulary(const LoadedData& data, const Vocabulary& vocabulary,
                                               UtteranceWorkspace& work, bool live) {
  SyllableLoopOutcome outcome;
  if (prepare_utterance(vocabulary, work, live) != kRecognised) {
    outcome.refusal = work.utterance.refusal;
    return outcome;
  }
  outcome.best_syllables = recognize_syllable_loop(data, vocabulary, work);
  outcome.text = syllable_loop_text(outcome.best_syllables);
  return outcome;
}

int extract_features(const LoadedData& data, UtteranceWorkspace& work) {
  const AnalysisSource& source = work.analysis_source;
  return FrontEnd(data.analysis, work.front_end)
      .extract_features(source.samples, source.start, source.end, work.features);
}

namespace {

void score_frames(const LoadedData& data, UtteranceWorkspace& work, ScoringMode mode, int frames) {
  if (mode == ScoringMode::mixture) {
    score_frames_mixture(data, work, frames);
  } else {
    score_frames_best_gaussian(data, work, frames);
  }
}

// The trimming thresholds of a pass over the count samples in the buffer.
void set_trimming(UtteranceWorkspace& work, const PassOptions& options, std::int32_t count) {
  switch (options.trimming) {
    case Trimming::from_recording:
      work.trimming = trimming_thresholds_from_recording(
          std::span<const std::int16_t>(work.sample_buffer.data(), static_cast<std::size_t>(count)));
      break;
    case Trimming::calibrated:
      work.trimming = options.thresholds;
      break;
    case Trimming::off:
      // Every window energy exceeds -1 and none is below 0: the end stays where it is.
      work.trimming = {-1, 0};
      break;
  }
}

// What the live path computes while it records: features over the whole
// recording, state scores, and the trimming thresholds. The checks and
// trimming follow in the pass itself.
void analyse_recording(const LoadedData& data, UtteranceWorkspace& work, const PassOptions& options,
                       std::int32_t count) {
  work.utterance.capture_start = 0;
  work.utterance.capture_end = count;
  work.analysis_source = {work.sample_buffer.data(), 0, count};
  const int frames = extract_features(data, work);
  if (frames > 0) score_frames(data, work, options.scoring, frames);
  set_trimming(work, options, count);
}

// The batch procedures' pass: the whole recording, no checks and no trimming.
// A recording of no whole frame, or an empty vocabulary, has no candidates.
void run_whole_recording_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work,
                              const PassOptions& options, std::int32_t count) {
  Utterance& utterance = work.utterance;
  utterance = {};
  utterance.capture_end = count;
  utterance.sample_count = count;
  utterance.byte_count = 2 * count;
  utterance.end = count;
  work.analysis_source = {work.sample_buffer.data(), 0, count};

  const int frames = extract_features(data, work);
  work.search.frame_count = frames;
  if (frames < 1 || vocabulary.entry_count <= 0) {
    utterance.refusal = frames < 1 ? UtteranceRefusal::too_short : UtteranceRefusal::empty_vocabulary;
    work.results.count = 0;
    return;
  }
  score_frames(data, work, options.scoring, frames);
  // Processing starts here, as it does live, where features and scores are
  // computed during capture.
  work.times.start = processor_milliseconds();
  search_rank_and_verify(data, vocabulary, work);
}

DisplayedResult displayed_result(const Vocabulary& vocabulary, const UtteranceWorkspace& work, int position,
                                 int result) {
  const auto u = static_cast<std::size_t>(result);
  const ResultVerification& verification = work.verifications[u];
  DisplayedResult shown;
  shown.entry = work.results.entries[u];
  shown.name = vocabulary.names[static_cast<std::size_t>(shown.entry)];
  shown.score = work.results.scores[u];
  shown.start_frame = work.results.start_frames[u];
  shown.end_frame = work.results.end_frames[u];
  shown.accepted = verification.accepted;
  shown.meets_duration_rules = verification.meets_duration_rules;
  shown.keyword_score = verification.keyword_score;
  shown.anti_score = verification.anti_score;
  shown.filler_score = verification.filler_score;
  shown.confidence = {verification.v1, verification.v2, verification.v3};
  const auto syllables = static_cast<std::size_t>(std::clamp<int>(verification.syllable_count, 0, kMaxEntrySyllables));
  shown.syllable_bounds.assign(verification.syllable_bounds.begin(),
                               verification.syllable_bounds.begin() + syllables + 1);
  shown.unit_bounds.assign(verification.unit_bounds.begin(), verification.unit_bounds.begin() + 2 * syllables + 1);
  shown.detail = work.details[static_cast<std::size_t>(position)];
  return shown;
}

void apply_options(const PassOptions& options, UtteranceWorkspace& work) {
  work.accepted.clear();
  work.search.allocation_failure.clear();
  work.settings.keyword_spotting = options.keyword_spotting ? 1 : 0;
  work.settings.verification_enabled = options.verification ? 1 : 0;
  work.settings.results_wanted = std::clamp(options.results_wanted, 0, kMaxResults);
  work.settings.threshold = options.threshold;
}

// Takes the options and the samples into the workspace; the samples' count,
// or -1 (with the refusal set) for a checked recording longer than the buffer.
std::int32_t begin_pass(std::span<const std::int16_t> samples, const PassOptions& options, UtteranceWorkspace& work) {
  apply_options(options, work);
  if (options.checks && samples.size() > static_cast<std::size_t>(kSampleBufferSamples)) {
    work.utterance.refusal = UtteranceRefusal::too_long;
    return -1;
  }
  const auto count = static_cast<std::int32_t>(std::min<std::size_t>(samples.size(), kSampleBufferSamples));
  std::copy_n(samples.begin(), count, work.sample_buffer.begin());
  return count;
}

// What the station shows of the pass that has run in work.
RecognitionOutcome pass_outcome(const Vocabulary& vocabulary, const UtteranceWorkspace& work) {
  RecognitionOutcome outcome;
  outcome.refusal = work.utterance.refusal;
  outcome.times = work.times;
  if (!outcome.recognised()) return outcome;
  outcome.frame_count = work.search.frame_count;
  outcome.sample_count = work.utterance.sample_count;
  outcome.trimmed_start = work.utterance.start;
  outcome.trimmed_end = work.utterance.end;
  outcome.accepted = work.accepted;
  if (!work.search.allocation_failure.empty()) {
    outcome.allocation_failure = Refusal{Refusal::Shown::console, work.search.allocation_failure, true, false};
  }
  const int shown = displayed_result_count(work);
  for (int position = 0; position < shown; ++position) {
    const int result = work.display_order[static_cast<std::size_t>(position)];
    if (result >= 0) outcome.results.push_back(displayed_result(vocabulary, work, position, result));
  }
  return outcome;
}

}  // namespace

RecognitionOutcome recognize_utterance(const LoadedData& data, const Vocabulary& vocabulary,
                                       std::span<const std::int16_t> samples, const PassOptions& options,
                                       UtteranceWorkspace& work) {
  const std::int32_t count = begin_pass(samples, options, work);
  if (count < 0) {
    RecognitionOutcome outcome;
    outcome.refusal = work.utterance.refusal;
    return outcome;
  }
  if (options.checks) {
    analyse_recording(data, work, options, count);
    recognize_keywords(data, vocabulary, work, true);
  } else {
    run_whole_recording_pass(data, vocabulary, work, options, count);
  }
  return pass_outcome(vocabulary, work);
}

namespace {

void begin_captured_pass(const PassOptions& options, UtteranceWorkspace& work) {
  apply_options(options, work);
  const Utterance& utterance = work.utterance;
  set_trimming(work, options, std::clamp(utterance.capture_end - utterance.capture_start, 0, kSampleBufferSamples));
}

}  // namespace

RecognitionOutcome recognize_captured_utterance(const LoadedData& data, const Vocabulary& vocabulary,
                                                const PassOptions& options, UtteranceWorkspace& work) {
  begin_captured_pass(options, work);
  recognize_keywords(data, vocabulary, work, true);
  return pass_outcome(vocabulary, work);
}

SyllableLoopOutcome recognize_captured_syllables(const LoadedData& data, const Vocabulary& vocabulary,
                                                 const PassOptions& options, UtteranceWorkspace& work) {
  begin_captured_pass(options, work);
  return recognize_large_vocabulary(data, vocabulary, work, true);
}

SyllableLoopOutcome recognize_syllable_utterance(const LoadedData& data, const Vocabulary& vocabulary,
                                                 std::span<const std::int16_t> samples, const PassOptions& options,
                                                 UtteranceWorkspace& work) {
  PassOptions checked = options;
  checked.checks = true;
  const std::int32_t count = begin_pass(samples, checked, work);
  if (count < 0) return {work.utterance.refusal, {}, {}};
  analyse_recording(data, work, checked, count);
  return recognize_large_vocabulary(data, vocabulary, work, true);
}

}  // namespace kws
