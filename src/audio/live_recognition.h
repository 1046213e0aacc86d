// Live keyword recognition: capture an utterance, recognise it, show what
// was accepted, again, until the user stops it or the input ends. The
// headless kws listen runs this loop on its main thread; the station runs it
// on a worker and forwards what it shows to its window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "audio/capture.h"
#include "audio/noise_calibration.h"
#include "audio/raw_dump_file.h"
#include "engine/engine.h"
#include "platform/wave_device.h"

namespace kws {

inline constexpr int kResultsBeforeVocabularyChoice = 30;

// The loop's status texts (UTF-8).
inline constexpr std::string_view kStatusRecording = "錄音中...";
inline constexpr std::string_view kStatusNothingHeard = "沒錄到聲音!!!";
inline constexpr std::string_view kStatusWaiting = "等待輸入指令...";

// Which pass the loop runs: the keyword pass, or the free syllable loop of
// the large-vocabulary pass (which shows its best syllables in a message box).
enum class LivePass { keywords, large_vocabulary };

// What the loop shows; called on the loop's thread.
class LiveLoopObserver {
 public:
  virtual ~LiveLoopObserver() = default;
  virtual void status(std::string_view text) = 0;
  // After each capture and its pass; the observer may stop the loop here
  // (set the toggle idle), for example when the device failed.
  virtual void captured(const CaptureResult& /*capture*/) {}
  // A recognised utterance's outcome; the samples are those of the utterance.
  virtual void recognised(const RecognitionOutcome& outcome, const CaptureResult& capture) = 0;
  // A recognised utterance of the large-vocabulary loop.
  virtual void syllables_recognised(const SyllableLoopOutcome& /*outcome*/) {}
};

class LiveRecognition {
 public:
  LiveRecognition(std::shared_ptr<const LoadedData> data, Workspace workspace, WaveIn& device,
                  NoiseCalibration& calibration);

  // The vocabulary of the passes from the next one on; a pass in progress
  // keeps its own. Also sets the number of results wanted to 10.
  void set_vocabulary(std::shared_ptr<const Vocabulary> vocabulary);

  // One utterance: capture it, take the adjusted detector thresholds, run the
  // keyword pass. 1 when recognised, -1 when refused (nothing heard, too
  // short, stopped, no device). The toggle is the capture's stop flag: while
  // it is idle a capture ends after at most one buffer.
  int recognize_once(RecognitionOutcome& outcome, CaptureResult& capture);
  // The same with the large-vocabulary pass; a recognised utterance's best
  // syllables are shown in a message box.
  int recognize_syllables_once(SyllableLoopOutcome& outcome, CaptureResult& capture);

  // The live recognition loop; returns when the toggle goes idle or the
  // input has ended. Shows "錄音中..." before a capture that follows a
  // recognised utterance, "沒錄到聲音!!!" after a refused one, and
  // "等待輸入指令..." at the end.
  void run_loop(LiveLoopObserver& observer, LivePass pass = LivePass::keywords);

  // The samples of the last utterance (frame f from sample 160 f), for playback.
  std::span<const std::int16_t> samples() const { return workspace_.samples(); }

  std::atomic<std::int16_t> keyword_toggle{kToggleIdle};
  std::atomic<int> results_wanted{kResultsBeforeVocabularyChoice};
  std::atomic<double> threshold{kDefaultThreshold};
  RawDumpFile dump;
  // Each buffer's level, on the capture thread.
  std::function<void(int)> level_bar;

 private:
  std::shared_ptr<const Vocabulary> current_vocabulary() const;
  // Captures the next utterance into analysis, then takes the adjusted thresholds.
  void capture(LiveAnalysis& analysis, CaptureResult& capture);
  PassOptions pass_options() const;
  void lower_results_wanted(const Vocabulary& vocabulary);

  std::shared_ptr<const LoadedData> data_;
  Workspace workspace_;
  WaveIn& device_;
  NoiseCalibration& calibration_;
  mutable std::mutex vocabulary_mutex_;
  std::shared_ptr<const Vocabulary> vocabulary_;
};

}  // namespace kws
