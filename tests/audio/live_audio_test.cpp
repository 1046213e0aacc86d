// The live path on the bundled data directory, with recordings as the
// microphone: the endpoint detector's state machine, the online analysis
// against the whole-recording one, capture through to accepted keywords,
// stopping, failing devices, the dump file and playback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "audio/capture.h"
#include "audio/endpoint_detector.h"
#include "audio/live_recognition.h"
#include "audio/playback.h"
#include "engine/engine.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "search/utterance_workspace.h"
#include "support/bundled_engine.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "support/tone_data.h"

namespace kws {
namespace {

using Buffer = std::array<std::int16_t, kDetectorBufferSamples>;
using Samples = std::vector<std::int16_t>;

// A buffer of one value throughout: its level is |value| x 0.000625.
Buffer steady(std::int16_t value) {
  Buffer buffer;
  buffer.fill(value);
  return buffer;
}

void append(Samples& samples, std::span<const std::int16_t> more) {
  samples.insert(samples.end(), more.begin(), more.end());
}

using testing::outcome_summary;

class LiveAudio : public testing::BundledEngineTest {};

// The detector on its own, thresholds start 10 and silence 20.
class Detector : public LiveAudio {
 protected:
  void SetUp() override {
    thresholds_.start = 10.0f;
    thresholds_.silence = 20.0f;
    detector_.reset();
  }
  BufferStep step(const Buffer& buffer) { return detector_.process_buffer(buffer, kDetectorBufferBytes); }

  const Buffer loud_ = steady(32000);    // level 20: starts, and is not silence
  const Buffer middle_ = steady(24000);  // level 15: confirms an onset, but counts as silence
  const Buffer quiet_ = steady(0);
  Workspace workspace_ = workspace();
  LiveAnalysis analysis_{*data(), workspace_};
  DetectorThresholds thresholds_;
  std::vector<int> levels_;
  EndpointDetector detector_{analysis_, thresholds_, nullptr, [this](int level) { levels_.push_back(level); }};
};

TEST_F(Detector, OnsetsAreConfirmedOrGivenUpAndThresholdsCompareAsSpecified) {
  // A loud buffer and a quiet one: the onset is given up.
  EXPECT_EQ(step(loud_), BufferStep::proceed);
  EXPECT_EQ(detector_.state(), DetectorState::Onset);
  EXPECT_EQ(step(quiet_), BufferStep::proceed);
  EXPECT_EQ(detector_.state(), DetectorState::Waiting);
  EXPECT_EQ(levels_, (std::vector<int>{20, 0}));

  // A buffer exactly at the start threshold does not start an utterance...
  const Buffer at_threshold = steady(16000);
  thresholds_.start = buffer_level(at_threshold);
  EXPECT_EQ(step(at_threshold), BufferStep::proceed);
  EXPECT_EQ(detector_.state(), DetectorState::Waiting);
  // ...but confirms one; the utterance starts at sample 0 and frame 0 again.
  step(steady(-31000));
  EXPECT_EQ(detector_.state(), DetectorState::Onset);
  EXPECT_EQ(detector_.frame_count(), 9);
  step(at_threshold);
  EXPECT_EQ(detector_.state(), DetectorState::InSpeech);
  EXPECT_EQ(detector_.stored_bytes(), 6400);
  EXPECT_EQ(detector_.frame_count(), 19);
  EXPECT_EQ(analysis_.samples()[0], -31000);
  EXPECT_EQ(analysis_.samples()[1600], 16000);
}

TEST_F(Detector, TheShortestUtteranceEndsAfterSixBuffers) {
  step(loud_);
  // The confirming buffer already counts toward the silence.
  step(middle_);
  EXPECT_EQ(detector_.silence_count(), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(step(quiet_), BufferStep::proceed);
  EXPECT_EQ(step(quiet_), BufferStep::finished);
  detector_.finish_utterance();
  EXPECT_EQ(analysis_.capture_end(), 6 * 1600);
  EXPECT_EQ(detector_.frame_count(), 59);
}

TEST_F(Detector, AlternatingBuffersEndTheUtteranceAtSixtyBuffers) {
  step(loud_);
  step(loud_);
  int buffers = 2;
  BufferStep result = BufferStep::proceed;
  while (result == BufferStep::proceed && buffers < 100) {
    result = step(buffers % 2 == 0 ? quiet_ : loud_);
    ++buffers;
    EXPECT_LE(detector_.silence_count(), 1);
  }
  EXPECT_EQ(result, BufferStep::finished);
  EXPECT_EQ(buffers, 60);
  detector_.finish_utterance();
  EXPECT_EQ(analysis_.capture_end(), 96000);
  EXPECT_EQ(detector_.frame_count(), 599);
}

// The features and state scores computed buffer by buffer are those of the
// whole recording, and so is the pass over them.
TEST_F(LiveAudio, TheOnlineAnalysisEqualsTheWholeRecordingOne) {
  Samples samples = recording(4);
  samples.resize(samples.size() / kDetectorBufferSamples * kDetectorBufferSamples);
  const int buffers = static_cast<int>(samples.size()) / kDetectorBufferSamples;
  ASSERT_GT(buffers, 20);

  Workspace live = workspace();
  LiveAnalysis analysis(*data(), live);
  analysis.begin_capture();
  for (int b = 0; b < buffers; ++b) {
    analysis.store(b * kDetectorBufferSamples, std::span(samples).subspan(static_cast<std::size_t>(b) * 1600, 1600));
    if (b == 0) {
      analysis.first_buffer_features();
    } else {
      analysis.next_buffer_features();
    }
  }
  analysis.set_capture_end(static_cast<std::int32_t>(samples.size()));
  analysis.finish_utterance_features();
  ASSERT_EQ(analysis.frame_count(), 10 * buffers - 1);

  PassOptions options;
  options.trimming = Trimming::calibrated;
  options.thresholds = trimming_thresholds_from_recording(samples);
  Workspace whole = workspace();
  const RecognitionOutcome offline = recognize(*data(), *vocabulary(), samples, options, whole);
  // Compare before the live pass: the pass itself scores nothing new.
  for (int t = 0; t < analysis.frame_count(); ++t) {
    ASSERT_EQ(live.tables().features[t], whole.tables().features[t]) << "frame " << t;
    ASSERT_EQ(live.tables().state_scores[t], whole.tables().state_scores[t]) << "frame " << t;
  }
  const RecognitionOutcome online = recognize(*vocabulary(), analysis, options);
  ASSERT_TRUE(online.recognised());
  EXPECT_FALSE(online.accepted.empty());
  EXPECT_EQ(outcome_summary(online), outcome_summary(offline));
}

// A room, a click the detector gives up, the room, a recording, the room.
class Capture : public LiveAudio {
 protected:
  void SetUp() override {
    stream_ = testing::room_noise(10 * kDetectorBufferSamples, 1);
    for (std::size_t i = 0; i < click_.size(); ++i) click_[i] = i % 2 == 0 ? 20000 : -20000;
    append(stream_, click_);
    append(stream_, testing::room_noise(3 * kDetectorBufferSamples, 2));
    speech_start_ = stream_.size();
    append(stream_, recording(1));
    append(stream_, testing::room_noise(12 * kDetectorBufferSamples, 3));
    dump_path_ = testing::scratch_directory() / "debug.pcm";
  }

  Buffer click_;
  Samples stream_;
  std::size_t speech_start_ = 0;
  std::filesystem::path dump_path_;
  testing::CapturingSink sink_;
  NoiseCalibration calibration_;
};

TEST_F(Capture, ARecordingGoesThroughCaptureToAcceptedKeywordsAndTheDump) {
  const std::unique_ptr<WaveIn> microphone = make_sample_wave_in(stream_, false);
  ASSERT_TRUE(calibrate_noise(*microphone, calibration_));
  LiveRecognition live(data(), workspace(), *microphone, calibration_);
  live.set_vocabulary(vocabulary());
  ASSERT_TRUE(live.dump.open(dump_path_.string()));
  live.keyword_toggle = kToggleRunning;

  RecognitionOutcome outcome;
  CaptureResult capture;
  EXPECT_EQ(live.recognize_once(outcome, capture), 1);
  live.dump.close();
  ASSERT_EQ(capture.end, CaptureEnd::utterance);
  EXPECT_FALSE(outcome.accepted.empty());
  EXPECT_EQ(sink_.lines.back(), "  x=0\n");  // the capture's closing reset

  // The utterance starts in the speech, at a buffer boundary, and holds the
  // stream from there.
  const auto start = static_cast<std::size_t>(capture.stream_position);
  const auto length = static_cast<std::size_t>(capture.utterance_samples);
  EXPECT_GE(start, speech_start_);
  EXPECT_EQ(start % kDetectorBufferSamples, 0u);
  ASSERT_LE(start + length, stream_.size());
  const Samples utterance(stream_.begin() + static_cast<std::ptrdiff_t>(start),
                          stream_.begin() + static_cast<std::ptrdiff_t>(start + length));
  EXPECT_TRUE(std::equal(utterance.begin(), utterance.end(), live.samples().begin()));

  // The pass over the same samples, whole, gives what the live pass gave.
  PassOptions options;
  options.trimming = Trimming::calibrated;
  options.thresholds = {calibration_.trim_high_threshold, calibration_.trim_low_threshold};
  Workspace check = workspace();
  EXPECT_EQ(outcome_summary(recognize(*data(), *vocabulary(), utterance, options, check)), outcome_summary(outcome));

  // The dump: the click's block, then every stored block of the utterance, in order.
  std::ifstream dump(dump_path_, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(dump)), std::istreambuf_iterator<char>());
  Samples expected(click_.begin(), click_.end());
  append(expected, utterance);
  ASSERT_EQ(bytes.size(), 2 * expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto value = static_cast<std::int16_t>(static_cast<std::uint16_t>(
        static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8)));
    ASSERT_EQ(value, expected[i]) << "sample " << i;
  }
}

TEST_F(Capture, AdjustedThresholdsTakeEffectFromTheNextCapture) {
  // The speech twice; the start threshold raised out of reach before the first.
  append(stream_, recording(1));
  append(stream_, testing::room_noise(12 * kDetectorBufferSamples, 4));
  const std::unique_ptr<WaveIn> microphone = make_sample_wave_in(stream_, false);
  ASSERT_TRUE(calibrate_noise(*microphone, calibration_));
  LiveRecognition live(data(), workspace(), *microphone, calibration_);
  live.set_vocabulary(vocabulary());
  live.keyword_toggle = kToggleRunning;
  calibration_.stored.start = 1.0e9f;
  RecognitionOutcome outcome;
  CaptureResult capture;
  EXPECT_EQ(live.recognize_once(outcome, capture), 1);
  EXPECT_EQ(capture.end, CaptureEnd::utterance);
  EXPECT_EQ(live.recognize_once(outcome, capture), -1);
  EXPECT_EQ(capture.end, CaptureEnd::input_ended);
}

TEST_F(Capture, StoppingEndsTheCaptureWithinABufferAndShowsNothing) {
  // Speech without end, paced as a real microphone.
  Samples endless;
  for (int i = 0; i < 20; ++i) append(endless, steady(i % 2 == 0 ? 20000 : -20000));
  const std::unique_ptr<WaveIn> microphone = make_sample_wave_in(endless, true);
  calibration_.working.start = 1.0f;
  calibration_.working.silence = 2.0f;
  calibration_.stored.copy_from(calibration_.working);
  LiveRecognition live(data(), workspace(), *microphone, calibration_);
  live.set_vocabulary(vocabulary());
  live.keyword_toggle = kToggleRunning;

  struct Observer final : LiveLoopObserver {
    void status(std::string_view text) override { statuses.emplace_back(text); }
    void recognised(const RecognitionOutcome&, const CaptureResult&) override { ++shown; }
    std::vector<std::string> statuses;
    int shown = 0;
  } observer;
  const auto started = std::chrono::steady_clock::now();
  std::thread loop([&] { live.run_loop(observer); });
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  const auto stopped = std::chrono::steady_clock::now();
  live.keyword_toggle = kToggleIdle;
  loop.join();
  const auto waited = std::chrono::steady_clock::now() - stopped;
  EXPECT_LT(waited, std::chrono::milliseconds(1000)) << "more than one buffer after the stop";
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1900));
  EXPECT_EQ(observer.shown, 0);
  EXPECT_EQ(observer.statuses, (std::vector<std::string>{"錄音中...", "等待輸入指令..."}));
  // The stopped capture's utterance keeps its preset length and is refused.
  RecognitionOutcome outcome;
  CaptureResult capture;
  EXPECT_EQ(live.recognize_once(outcome, capture), -1);
  EXPECT_EQ(capture.end, CaptureEnd::stopped);
  EXPECT_EQ(outcome.refusal, UtteranceRefusal::too_short);
}

TEST_F(Capture, DevicesThatFailReleaseEveryWaiter) {
  const std::unique_ptr<WaveIn> microphone = make_null_wave_in();
  LiveRecognition live(data(), workspace(), *microphone, calibration_);
  live.set_vocabulary(vocabulary());
  live.keyword_toggle = kToggleRunning;
  struct Observer final : LiveLoopObserver {
    explicit Observer(LiveRecognition& live) : live(live) {}
    void status(std::string_view text) override { statuses.emplace_back(text); }
    void captured(const CaptureResult& capture) override {
      ends.push_back(capture.end);
      if (ends.size() == 3) live.keyword_toggle = kToggleIdle;
    }
    void recognised(const RecognitionOutcome&, const CaptureResult&) override {}
    LiveRecognition& live;
    std::vector<std::string> statuses;
    std::vector<CaptureEnd> ends;
  } observer(live);
  live.run_loop(observer);
  EXPECT_EQ(observer.ends, std::vector<CaptureEnd>(3, CaptureEnd::no_device));
  EXPECT_EQ(observer.statuses,
            (std::vector<std::string>{"錄音中...", "沒錄到聲音!!!", "沒錄到聲音!!!", "等待輸入指令..."}));
  EXPECT_EQ(std::count(sink_.lines.begin(), sink_.lines.end(), "\nFail to open waveform input device\n"), 3);

  // Playback on a device that cannot open returns too.
  const Samples samples(16000, 1000);
  play_frames(*make_null_wave_out(), samples, 0, 50);
  EXPECT_EQ(sink_.lines.back(), "\nFail to open waveform output device\n");
}

TEST_F(Capture, PlaybackOfAFiftyFrameResultWritesEightThousandSamples) {
  const std::filesystem::path sink_path = testing::scratch_directory() / "played.wav";
  Samples samples(16000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i);
  RecognitionOutcome outcome;
  outcome.results.resize(2);
  outcome.results[1].start_frame = 20;
  outcome.results[1].end_frame = 70;
  outcome.results[0].start_frame = 30;
  outcome.results[0].end_frame = 30;  // nothing to play
  {
    WaveOutChoice output = make_wave_out("file:" + sink_path.string());
    ASSERT_TRUE(output.device) << output.error;
    play_segment(*output.device, outcome, 1, samples);
    play_segment(*output.device, outcome, 0, samples);
  }
  const LoadedAudio played = load_audio_file(sink_path.string());
  ASSERT_TRUE(played.ok()) << played.error;
  ASSERT_EQ(played.samples.size(), 8000u);
  EXPECT_TRUE(std::equal(played.samples.begin(), played.samples.end(), samples.begin() + 3200));
}

}  // namespace
}  // namespace kws
