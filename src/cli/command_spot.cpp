// kws spot: the keyword pass of the station over recordings.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio/live_recognition.h"
#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "cli/json_writer.h"
#include "cli/outcome_printing.h"
#include "engine/engine.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::cli {
namespace {


struct SpotOptions {
  bool details = false;
  bool json = false;
};

constexpr std::int64_t kSamplesPerFrame = 160;

void print_outcome(const RecognitionOutcome& outcome, const std::string& path, std::int64_t frame_offset,
                   const SpotOptions& options) {
  if (options.json) {
    JsonWriter json;
    json.begin_object().key("file").value(path);
    if (frame_offset > 0) json.key("offset_frames").value(frame_offset);
    write_outcome_members(json, outcome, frame_offset);
    json.end_object();
    std::printf("%s\n", json.text().c_str());
  } else {
    print_keyword_lines(outcome, frame_offset, options.details);
  }
  std::fflush(stdout);
}

// Prints each utterance of a long recording as the endpoint detector cuts it.
class LongRecordingObserver final : public LiveLoopObserver {
 public:
  LongRecordingObserver(const std::string& path, const SpotOptions& options) : path_(path), options_(options) {}
  void status(std::string_view) override {}
  void recognised(const RecognitionOutcome& outcome, const CaptureResult& capture) override {
    print_outcome(outcome, path_, capture.stream_position / kSamplesPerFrame, options_);
  }

 private:
  const std::string& path_;
  const SpotOptions& options_;
};

// A recording longer than the sample buffer, cut into utterances as live
// capture cuts them: the recording plays the microphone (as fast as it is
// taken), after a noise calibration on its first second or on the noise
// recording. False after a message when it cannot be done.
bool spot_long_recording(const EngineSession& session, const LoadedAudio& audio, const std::string& path,
                         const std::vector<std::int16_t>* noise, const PassOptions& pass, const SpotOptions& options) {
  std::vector<std::int16_t> calibration_audio =
      noise != nullptr ? *noise
                       : std::vector<std::int16_t>(
                             audio.samples.begin(),
                             audio.samples.begin() + std::min<std::size_t>(audio.samples.size(), kStationSampleRate));
  NoiseCalibration calibration;
  // Quiet: the calibration's and capture's device lines are not wanted here.
  StreamSink sink(stderr, stderr, true, false);
  MessageSink* previous_sink = install_message_sink(&sink);
  const bool calibrated = calibrate_noise(*make_sample_wave_in(std::move(calibration_audio), false), calibration);
  install_message_sink(previous_sink);
  if (!calibrated) {
    std::fprintf(stderr, "kws spot: %s: the noise recording is shorter than one second\n", path.c_str());
    return false;
  }
  std::optional<Workspace> workspace = make_workspace_or_report(*session.data);
  if (!workspace) return false;
  const std::unique_ptr<WaveIn> microphone = make_sample_wave_in(audio.samples, false);
  LiveRecognition live(session.data, std::move(*workspace), *microphone, calibration);
  live.set_vocabulary(session.vocabulary);
  live.results_wanted = pass.results_wanted;
  live.threshold = pass.threshold;
  LongRecordingObserver observer(path, options);
  live.keyword_toggle = kToggleRunning;
  install_message_sink(&sink);
  live.run_loop(observer);
  install_message_sink(previous_sink);
  return true;
}

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed =
      arguments_or_exit(kSpotCommand, arguments, {"--details", "--json", "--no-trim"},
                        {"--data", "--vocab", "--results", "--threshold", "--noise"}, exit_status);
  if (!parsed) return exit_status;
  const std::optional<std::string> vocabulary = parsed->value("--vocab");
  if (!vocabulary) return usage_error(kSpotCommand, "--vocab NAME is required");
  if (parsed->positionals.empty()) return usage_error(kSpotCommand, "expected at least one FILE");
  const std::optional<int> results_wanted =
      integer_option(*parsed, "--results", 1, kMaxResults, kResultsAfterVocabularyChoice);
  if (!results_wanted) return usage_error(kSpotCommand, "--results takes a number from 1 to 200");
  const std::optional<double> threshold = threshold_option(*parsed);
  if (!threshold) return usage_error(kSpotCommand, "--threshold takes a number from 0 to 1");
  const SpotOptions options{parsed->has("--details"), parsed->has("--json")};
  PassOptions pass;
  pass.trimming = parsed->has("--no-trim") ? Trimming::off : Trimming::from_recording;
  pass.results_wanted = *results_wanted;
  pass.threshold = *threshold;

  std::optional<LoadedAudio> noise;
  if (const std::optional<std::string> noise_path = parsed->value("--noise")) {
    noise = load_audio_file(*noise_path);
    if (!noise->ok()) {
      std::fprintf(stderr, "kws spot: %s\n", noise->error.c_str());
      return kExitFailure;
    }
  }

  std::optional<EngineSession> session = start_session(kSpotCommand, *parsed, *vocabulary);
  if (!session) return kExitFailure;

  bool unreadable = false;
  for (const std::string& path : parsed->positionals) {
    const LoadedAudio audio = load_audio_file(path);
    if (!audio.ok()) {
      std::fprintf(stderr, "kws spot: %s\n", audio.error.c_str());
      unreadable = true;
      continue;
    }
    if (!audio.note.empty()) std::fprintf(stderr, "kws spot: %s\n", audio.note.c_str());
    if (audio.samples.size() > static_cast<std::size_t>(kSampleBufferSamples)) {
      if (!options.json) std::printf("%s\n", path.c_str());
      if (!spot_long_recording(*session, audio, path, noise ? &noise->samples : nullptr, pass, options)) {
        unreadable = true;
      }
      continue;
    }
    const RecognitionOutcome outcome =
        recognize(*session->data, *session->vocabulary, audio.samples, pass, session->workspace);
    if (outcome.allocation_failure) show_refusal(*outcome.allocation_failure);
    if (!outcome.recognised()) {
      std::fprintf(stderr, "kws spot: %s: refused: %s\n", path.c_str(), refusal_text(outcome.refusal));
    }
    if (!options.json) std::printf("%s\n", path.c_str());
    print_outcome(outcome, path, 0, options);
  }
  return unreadable ? kExitFailure : kExitSuccess;
}

}  // namespace

const Command kSpotCommand = {
    "spot",
    "spot the keywords of a vocabulary in recordings",
    "Usage: kws spot --data DIR --vocab NAME [--results N] [--threshold V] [--details] [--json]\n"
    "                [--no-trim] [--noise FILE] FILE...\n"
    "Runs the station's keyword pass on each recording (WAV, FLAC, ...; converted to\n"
    "16 kHz mono if needed): features and mixture-sum state scores over the whole\n"
    "recording, the end trimmed with thresholds measured on its five quietest 100 ms\n"
    "stretches, then the keyword search for the N best entries of the vocabulary NAME\n"
    "(default 10) and their verification.\n"
    "\n"
    "A recording longer than 8 s is cut into utterances by the live endpoint detector,\n"
    "after a noise calibration on its first second (or on --noise FILE, a recording of\n"
    "the room's quiet); each utterance is recognised as a live one, its end trimmed\n"
    "with the calibration's thresholds, and its keywords are reported with frames\n"
    "counted from the start of the recording (JSON: one object per utterance).\n"
    "\n"
    "Output per file: its name, then NAME<TAB>START_FRAME<TAB>END_FRAME for every\n"
    "accepted keyword (frames of 10 ms). --details adds the six detail lines of every\n"
    "result; --json prints one JSON object per file instead (accepted keywords, every\n"
    "result with its scores, boundaries and decision, processing times). --no-trim\n"
    "keeps the whole recording (up to 8 s). --threshold V sets the decision threshold on a\n"
    "result's mean confidence (0 to 1, default 0.39): lower accepts more keywords,\n"
    "higher fewer. A refused recording (too short, offset, empty\n"
    "vocabulary) is reported on standard error; the exit status is 1 if any file\n"
    "could not be read.\n"
    "\n"
    "Example:\n"
    "  kws spot --data data --vocab 火車系統 --details recording.wav\n",
    run,
};

}  // namespace kws::cli
