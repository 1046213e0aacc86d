// kws-soak: the headless live loop over many utterances, with vocabulary
// changes and stops in between, on the bundled data directory. Each
// recognised utterance is checked against a single pass over the same
// samples, and the process's memory is sampled every hundred utterances.
// Exit status 0 when every result matched, the loop never hung and memory
// stayed flat after the first hundred.
//
// Usage: kws-soak --data DIR [--utterances N]
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "audio/live_recognition.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "platform/queued_wave_in.h"
#include "support/bundled_engine.h"
#include "support/tone_data.h"

namespace {

using namespace kws;

constexpr int kRecordings = 50;
constexpr int kStopEvery = 50;  // recognised utterances between two stops and vocabulary changes
constexpr std::size_t kRoomSamples = 16000;
constexpr long kAllowedGrowthKb = 2048;

// Utterance after utterance of the bundled test recordings, each after a
// second of room, as fast as it is taken; then the end of the input.
class SoakMicrophone final : public QueuedWaveIn {
 public:
  SoakMicrophone(std::vector<std::vector<std::int16_t>> recordings, int utterances)
      : QueuedWaveIn(false), recordings_(std::move(recordings)), utterances_(utterances) {}
  ~SoakMicrophone() override { shut_down(); }
  bool can_record() override { return true; }

 protected:
  bool open_source(std::string&) override { return true; }
  int read_source(std::span<std::int16_t, kWaveBufferSamples> block, std::string&) override {
    for (std::int16_t& sample : block) {
      if (stretch_.empty() || next_ == stretch_.size()) {
        if (given_ == 2 * utterances_) return 0;
        stretch_ = given_ % 2 == 0 ? kws::testing::room_noise(kRoomSamples, static_cast<unsigned>(given_) + 1)
                                   : recordings_[static_cast<std::size_t>(given_ / 2) % recordings_.size()];
        next_ = 0;
        ++given_;
      }
      sample = stretch_[next_++];
    }
    return kWaveBufferSamples;
  }

 private:
  const std::vector<std::vector<std::int16_t>> recordings_;
  const int utterances_;
  std::vector<std::int16_t> stretch_;
  std::size_t next_ = 0;
  int given_ = 0;  // stretches begun: room and recording in turn
};

long resident_kb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class SoakObserver final : public LiveLoopObserver {
 public:
  SoakObserver(LiveRecognition& live, const LoadedData& data, const NoiseCalibration& calibration)
      : live_(live), data_(data), calibration_(calibration) {
    OrRefusal<Workspace> made = make_workspace(data);
    if (made) check_.emplace(std::move(*made));
  }
  void status(std::string_view) override {}
  void recognised(const RecognitionOutcome& outcome, const CaptureResult& capture) override {
    ++recognised_;
    // The same samples through a single pass must give the same outcome.
    const auto samples = live_.samples().first(static_cast<std::size_t>(capture.utterance_samples));
    PassOptions options;
    options.trimming = Trimming::calibrated;
    options.thresholds = {calibration_.trim_high_threshold, calibration_.trim_low_threshold};
    options.results_wanted = live_.results_wanted;
    options.threshold = live_.threshold;
    if (check_ && kws::testing::outcome_summary(recognize(data_, *vocabulary, samples, options, *check_)) !=
                      kws::testing::outcome_summary(outcome)) {
      ++mismatches_;
      std::fprintf(stderr, "kws-soak: utterance %d differs from its single pass\n", recognised_);
    }
    if (recognised_ % 100 == 0) {
      memory_.push_back(resident_kb());
      std::printf("%6d utterances  %8ld kB resident\n", recognised_, memory_.back());
      std::fflush(stdout);
    }
    if (recognised_ % kStopEvery == 0) live_.keyword_toggle = kToggleIdle;
  }
  void captured(const CaptureResult& capture) override { ended_ = capture.input_ended; }

  std::shared_ptr<const Vocabulary> vocabulary;
  int recognised_ = 0;
  int mismatches_ = 0;
  bool ended_ = false;
  std::vector<long> memory_;

 private:
  LiveRecognition& live_;
  const LoadedData& data_;
  const NoiseCalibration& calibration_;
  std::optional<Workspace> check_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string directory = kws::testing::bundled_data_directory();
  int utterances = 1000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--data") == 0) directory = argv[i + 1];
    if (std::strcmp(argv[i], "--utterances") == 0) utterances = std::max(1, std::atoi(argv[i + 1]));
  }
  StreamSink sink(stderr, stderr, false, false);
  install_message_sink(&sink);

  OrRefusal<std::shared_ptr<const LoadedData>> started = start_engine(directory);
  if (!started) {
    std::fprintf(stderr, "kws-soak: %s", started.refusal().text.c_str());
    return 1;
  }
  const std::shared_ptr<const LoadedData> data = *started;
  std::vector<std::vector<std::int16_t>> recordings;
  for (int n = 1; n <= kRecordings; ++n) {
    LoadedAudio audio = load_audio_file(directory + "/wave/tr1_" + std::to_string(n) + ".wav");
    if (!audio.ok()) {
      std::fprintf(stderr, "kws-soak: %s\n", audio.error.c_str());
      return 1;
    }
    recordings.push_back(std::move(audio.samples));
  }
  std::vector<std::shared_ptr<const Vocabulary>> vocabularies;
  for (const char* name : {"火車系統", "數字", "人名"}) {
    OrRefusal<std::shared_ptr<const Vocabulary>> chosen = choose_vocabulary(*data, name);
    if (!chosen) {
      std::fprintf(stderr, "kws-soak: %s", chosen.refusal().text.c_str());
      return 1;
    }
    vocabularies.push_back(*chosen);
  }

  SoakMicrophone microphone(recordings, utterances);
  NoiseCalibration calibration;
  calibrate_noise(microphone, calibration);
  OrRefusal<Workspace> workspace = make_workspace(*data);
  if (!workspace) return 1;
  LiveRecognition live(data, std::move(*workspace), microphone, calibration);
  SoakObserver observer(live, *data, calibration);

  // Stops from outside too, at moments that fall anywhere in a capture.
  std::atomic<bool> finished{false};
  std::thread stopper([&] {
    std::mt19937 random(7u);
    while (!finished) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200 + random() % 800));
      live.keyword_toggle = kToggleIdle;
    }
  });
  const auto begun = std::chrono::steady_clock::now();
  int runs = 0;
  while (!observer.ended_) {
    observer.vocabulary = vocabularies[static_cast<std::size_t>(runs++) % vocabularies.size()];
    live.set_vocabulary(observer.vocabulary);
    live.keyword_toggle = kToggleRunning;
    live.run_loop(observer);
  }
  finished = true;
  stopper.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();

  const long growth = observer.memory_.size() > 1 ? observer.memory_.back() - observer.memory_.front() : 0;
  std::printf(
      "kws-soak: %d utterances recognised in %d runs of the loop (stops and vocabulary changes between), "
      "%.0f s; %d differ from their single pass; resident memory grew %ld kB after the first hundred\n",
      observer.recognised_, runs, seconds, observer.mismatches_, growth);
  return observer.mismatches_ == 0 && growth <= kAllowedGrowthKb ? 0 : 1;
}
