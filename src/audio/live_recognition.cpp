#include "audio/live_recognition.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/message_sink.h"

namespace kws {

LiveRecognition::LiveRecognition(std::shared_ptr<const LoadedData> data, Workspace workspace, WaveIn& device,
                                 NoiseCalibration& calibration)
    : data_(std::move(data)),
      workspace_(std::move(workspace)),
      device_(device),
      calibration_(calibration),
      vocabulary_(std::make_shared<const Vocabulary>()) {}

void LiveRecognition::set_vocabulary(std::shared_ptr<const Vocabulary> vocabulary) {
  {
    std::lock_guard lock(vocabulary_mutex_);
    vocabulary_ = vocabulary ? std::move(vocabulary) : std::make_shared<const Vocabulary>();
  }
  results_wanted = kResultsAfterVocabularyChoice;
}

std::shared_ptr<const Vocabulary> LiveRecognition::current_vocabulary() const {
  std::lock_guard lock(vocabulary_mutex_);
  return vocabulary_;
}

void LiveRecognition::capture(LiveAnalysis& analysis, CaptureResult& capture) {
  EndpointDetector detector(analysis, calibration_.working, &dump, level_bar);
  capture = capture_utterance(device_, detector, keyword_toggle);
  // Thresholds moved during the capture count from the next one.
  calibration_.working.copy_from(calibration_.stored);
}

PassOptions LiveRecognition::pass_options() const {
  PassOptions options;
  options.trimming = Trimming::calibrated;
  options.thresholds = {calibration_.trim_high_threshold, calibration_.trim_low_threshold};
  options.results_wanted = results_wanted;
  options.threshold = threshold;
  return options;
}

// The pass lowers the number wanted to the vocabulary's size for good.
void LiveRecognition::lower_results_wanted(const Vocabulary& vocabulary) {
  if (vocabulary.entry_count < results_wanted) results_wanted = std::max(vocabulary.entry_count, 0);
}

int LiveRecognition::recognize_once(RecognitionOutcome& outcome, CaptureResult& capture) {
  LiveAnalysis analysis(*data_, workspace_);
  this->capture(analysis, capture);
  const std::shared_ptr<const Vocabulary> vocabulary = current_vocabulary();
  outcome = recognize(*vocabulary, analysis, pass_options());
  lower_results_wanted(*vocabulary);
  return outcome.recognised() ? 1 : -1;
}

int LiveRecognition::recognize_syllables_once(SyllableLoopOutcome& outcome, CaptureResult& capture) {
  LiveAnalysis analysis(*data_, workspace_);
  this->capture(analysis, capture);
  const std::shared_ptr<const Vocabulary> vocabulary = current_vocabulary();
  outcome = recognize_syllables(*vocabulary, analysis, pass_options());
  lower_results_wanted(*vocabulary);
  if (outcome.refusal != UtteranceRefusal::none) return -1;
  message_sink().message_box(outcome.text);
  return 1;
}

void LiveRecognition::run_loop(LiveLoopObserver& observer, LivePass pass) {
  const auto running = [this] { return keyword_toggle.load(std::memory_order_relaxed) != kToggleIdle; };
  int result = 1;
  while (running()) {
    if (result == 1) observer.status(kStatusRecording);
    RecognitionOutcome outcome;
    SyllableLoopOutcome syllables;
    CaptureResult capture;
    result =
        pass == LivePass::keywords ? recognize_once(outcome, capture) : recognize_syllables_once(syllables, capture);
    observer.captured(capture);
    // A stop during the pass: its results are not shown.
    if (!running()) break;
    if (capture.input_ended && capture.end != CaptureEnd::utterance) break;
    if (result != 1) {
      observer.status(kStatusNothingHeard);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } else if (pass == LivePass::keywords) {
      observer.recognised(outcome, capture);
    } else {
      observer.syllables_recognised(syllables);
    }
    if (capture.input_ended) break;
  }
  observer.status(kStatusWaiting);
}

}  // namespace kws
