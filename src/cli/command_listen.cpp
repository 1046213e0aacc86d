// kws listen: the station without its window, on a live input; kws devices:
// the sound devices to choose from.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <mutex>

#include "audio/live_recognition.h"
#include "audio/playback.h"
#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "cli/json_writer.h"
#include "cli/outcome_printing.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::cli {
namespace {

constexpr int kFramesPerSecond = 100;
constexpr int kMeterWidth = 40;
constexpr int kLevelRange = 200;

// Ctrl-C stops the loop as the station's keyword button does; before the
// loop runs it keeps the loop from starting. A second Ctrl-C ends the process.
std::atomic<int> interrupts{0};
std::atomic<std::atomic<std::int16_t>*> interrupt_toggle{nullptr};

extern "C" void stop_listening(int) {
  if (interrupts.fetch_add(1, std::memory_order_relaxed) > 0) _exit(130);
  if (std::atomic<std::int16_t>* toggle = interrupt_toggle.load(std::memory_order_relaxed)) {
    toggle->store(kToggleIdle, std::memory_order_relaxed);
  }
}

// Handles Ctrl-C while it lives.
class InterruptHandler {
 public:
  InterruptHandler() {
    interrupts = 0;
    struct sigaction action {};
    action.sa_handler = stop_listening;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptHandler() {
    sigaction(SIGINT, &previous_, nullptr);
    interrupt_toggle = nullptr;
  }
  // Hands the loop's toggle to the handler; false if Ctrl-C came first.
  static bool watch(std::atomic<std::int16_t>& toggle) {
    interrupt_toggle = &toggle;
    return interrupts.load(std::memory_order_relaxed) == 0;
  }

 private:
  struct sigaction previous_ {};
};

// Standard error: status texts, and on a terminal a level meter redrawn in
// place on its own line.
class Terminal {
 public:
  explicit Terminal(bool meter) : meter_(meter) {}

  void status(std::string_view text) {
    std::lock_guard lock(mutex_);
    clear_meter();
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
  void level(int level) {
    if (!meter_) return;
    std::lock_guard lock(mutex_);
    const int filled = std::clamp(level, 0, kLevelRange) * kMeterWidth / kLevelRange;
    std::fprintf(stderr, "\r[%s%s] %3d", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kMeterWidth - filled), ' ').c_str(), level);
    std::fflush(stderr);
    meter_shown_ = true;
  }
  // Before anything else is written to standard error or output.
  void clear_meter() {
    if (!meter_shown_) return;
    std::fputs("\r\033[K", stderr);
    meter_shown_ = false;
  }
  std::mutex& mutex() { return mutex_; }

 private:
  const bool meter_;
  bool meter_shown_ = false;
  std::mutex mutex_;
};

struct ListenOptions {
  bool details = false;
  bool json = false;
};

class ListenObserver final : public LiveLoopObserver {
 public:
  ListenObserver(LiveRecognition& live, Terminal& terminal, WaveIn& input, WaveOut* output, ListenOptions options)
      : live_(live), terminal_(terminal), input_(input), output_(output), options_(options) {}

  // Stops the loop after this many recognised utterances (0: never).
  void stop_after(int utterances) { last_utterance_ = utterances; }

  void status(std::string_view text) override { terminal_.status(text); }

  void captured(const CaptureResult& capture) override {
    if (capture.end == CaptureEnd::no_device) {
      failure_ = "cannot open the audio input: " + input_.error();
      live_.keyword_toggle = kToggleIdle;
    } else if (capture.input_ended && !input_.error().empty()) {
      failure_ = input_.error();
    }
  }

  void recognised(const RecognitionOutcome& outcome, const CaptureResult& capture) override {
    ++utterances_;
    const std::int64_t offset = capture.stream_position / (kStationSampleRate / kFramesPerSecond);
    {
      std::lock_guard lock(terminal_.mutex());
      terminal_.clear_meter();
      if (options_.json) {
        JsonWriter json;
        json.begin_object().key("utterance").value(utterances_).key("start_frame").value(offset);
        write_outcome_members(json, outcome, offset);
        json.end_object();
        std::printf("%s\n", json.text().c_str());
      } else {
        std::printf("# utterance %d at %.2f s, %.2f s long\n", utterances_,
                    static_cast<double>(offset) / kFramesPerSecond,
                    static_cast<double>(outcome.frame_count + 1) / kFramesPerSecond);
        print_keyword_lines(outcome, offset, options_.details);
      }
      std::fflush(stdout);
    }
    if (utterances_ == last_utterance_) live_.keyword_toggle = kToggleIdle;
    if (output_ == nullptr) return;
    for (std::size_t position = 0; position < outcome.results.size(); ++position) {
      if (outcome.results[position].accepted) {
        play_segment(*output_, outcome, static_cast<int>(position), live_.samples());
      }
    }
  }

  const std::string& failure() const { return failure_; }

 private:
  LiveRecognition& live_;
  Terminal& terminal_;
  WaveIn& input_;
  WaveOut* output_;
  const ListenOptions options_;
  int utterances_ = 0;
  int last_utterance_ = 0;
  std::string failure_;
};

int fail(std::string_view message) {
  std::fprintf(stderr, "kws listen: %.*s\n", static_cast<int>(message.size()), message.data());
  return kExitFailure;
}

int run_listen(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed =
      arguments_or_exit(kListenCommand, arguments, {"--details", "--json", "--verbose"},
                        {"--data", "--vocab", "--audio-in", "--audio-out", "--dump", "--threshold", "--utterances"},
                        exit_status);
  if (!parsed) return exit_status;
  const std::optional<std::string> vocabulary_name = parsed->value("--vocab");
  if (!vocabulary_name) return usage_error(kListenCommand, "--vocab NAME is required");
  if (!parsed->positionals.empty()) return usage_error(kListenCommand, "takes no FILE; use --audio-in file:PATH");
  const std::optional<double> threshold = threshold_option(*parsed);
  if (!threshold) return usage_error(kListenCommand, "--threshold takes a number from 0 to 1");
  const std::optional<int> utterances = integer_option(*parsed, "--utterances", 1, 1000000, 0);
  if (!utterances) return usage_error(kListenCommand, "--utterances takes a number from 1 to 1000000");

  const InterruptHandler interrupt_handler;
  // Device lines (opened, reset) only when asked for.
  StreamSink sink(stderr, stderr, true, parsed->has("--verbose"));
  MessageSink* previous_sink = install_message_sink(&sink);
  struct RestoreSink {
    MessageSink* previous;
    ~RestoreSink() { install_message_sink(previous); }
  } restore{previous_sink};

  WaveInChoice input = make_wave_in(parsed->value("--audio-in").value_or(default_wave_in_spec()));
  if (!input.device) return fail(input.error);
  WaveOutChoice output;
  if (const std::optional<std::string> spec = parsed->value("--audio-out")) {
    output = make_wave_out(*spec);
    if (!output.device) return fail(output.error);
  }

  std::optional<EngineSession> session = start_session(kListenCommand, *parsed, *vocabulary_name);
  if (!session) return kExitFailure;

  Terminal terminal(isatty(STDERR_FILENO) != 0);
  const auto show_level = [&terminal](int level) { terminal.level(level); };
  NoiseCalibration calibration;
  terminal.status("測靜音中...");
  if (!calibrate_noise(*input.device, calibration, show_level)) {
    const std::string why = input.device->error();
    return fail("the noise calibration got no audio" + (why.empty() ? std::string() : ": " + why));
  }
  terminal.status(format_text(
      "noise level %.2f: start threshold %.2f, silence threshold %.2f", static_cast<double>(calibration.noise_level),
      static_cast<double>(calibration.working.start.load()), static_cast<double>(calibration.working.silence.load())));

  LiveRecognition live(session->data, std::move(session->workspace), *input.device, calibration);
  live.set_vocabulary(session->vocabulary);
  live.threshold = *threshold;
  live.level_bar = show_level;
  if (const std::optional<std::string> dump = parsed->value("--dump")) {
    if (!live.dump.open(*dump)) {
      message_sink().message_box("error");
      std::fprintf(stderr, "kws listen: cannot create %s; going on without it\n", dump->c_str());
    }
  }

  ListenObserver observer(live, terminal, *input.device, output.device.get(),
                          {parsed->has("--details"), parsed->has("--json")});
  observer.stop_after(*utterances);
  live.keyword_toggle = kToggleRunning;
  if (!InterruptHandler::watch(live.keyword_toggle)) live.keyword_toggle = kToggleIdle;
  live.run_loop(observer);
  live.dump.close();
  if (!observer.failure().empty()) return fail(observer.failure());
  return kExitSuccess;
}

int run_devices(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(kDevicesCommand, arguments, {}, {}, exit_status);
  if (!parsed) return exit_status;
  if (!parsed->positionals.empty()) return usage_error(kDevicesCommand, "takes no arguments");
  const SoundDeviceList list = list_sound_devices();
  if (!list.error.empty()) std::fprintf(stderr, "kws devices: %s\n", list.error.c_str());
  for (const bool input : {true, false}) {
    std::printf("%s devices:\n", input ? "Input" : "Output");
    int shown = 0;
    for (const SoundDevice& device : list.devices) {
      const int channels = input ? device.input_channels : device.output_channels;
      if (channels <= 0) continue;
      const bool is_default = input ? device.is_default_input : device.is_default_output;
      std::printf("  %-14s %s%s\n", device.spec.c_str(), device.name.c_str(), is_default ? "  [default]" : "");
      ++shown;
    }
    if (shown == 0) std::printf("  (none)\n");
  }
  std::printf(
      "Also: portaudio:default, file:PATH (a recording as the microphone, or a WAV file\n"
      "for playback), file-fast:PATH (the recording as fast as it is taken), null.\n");
  return list.error.empty() ? kExitSuccess : kExitFailure;
}

}  // namespace

const Command kListenCommand = {
    "listen",
    "live keyword recognition on a microphone or a recording",
    "Usage: kws listen --data DIR --vocab NAME [--audio-in SPEC] [--audio-out SPEC]\n"
    "                  [--dump FILE] [--threshold V] [--utterances N] [--details] [--json]\n"
    "                  [--verbose]\n"
    "The station without its window. First one second of noise calibration (keep\n"
    "quiet), then utterance after utterance: the endpoint detector finds where you\n"
    "start and stop speaking, and each utterance goes through the keyword pass for the\n"
    "vocabulary NAME. Runs until Ctrl-C or the end of a recording given as input.\n"
    "\n"
    "Standard error shows the status (錄音中... while recording, 沒錄到聲音!!! after\n"
    "an utterance that was refused) and, on a terminal, the input level. Standard\n"
    "output gets, per recognised utterance, '# utterance N at S s, L s long' and\n"
    "NAME<TAB>START_FRAME<TAB>END_FRAME for every accepted keyword, frames of 10 ms\n"
    "counted from the start of the input; --details adds the six detail lines of every\n"
    "result; --json prints one JSON object per utterance instead.\n"
    "\n"
    "  --audio-in SPEC   the microphone (default $KWS_AUDIO_IN, else portaudio:default;\n"
    "                    see kws devices): portaudio:N, portaudio:NAME, file:PATH (a\n"
    "                    recording played as the microphone at real time),\n"
    "                    file-fast:PATH (as fast as it is processed), null\n"
    "  --audio-out SPEC  play back every accepted keyword after its utterance\n"
    "                    (portaudio:..., or file:PATH.wav to collect them in a file)\n"
    "  --dump FILE       write every stored 100 ms buffer to FILE as raw 16-bit PCM\n"
    "  --threshold V     decision threshold on a result's mean confidence (0 to 1,\n"
    "                    default 0.39)\n"
    "  --utterances N    stop after N recognised utterances\n"
    "  --verbose         also show the device lines (opened, reset)\n"
    "\n"
    "Example:\n"
    "  kws listen --data data --vocab 火車系統\n",
    run_listen,
};

const Command kDevicesCommand = {
    "devices",
    "list the sound devices and the SPEC that selects each",
    "Usage: kws devices\n"
    "Lists the input and output sound devices PortAudio finds, each with the SPEC to\n"
    "give to --audio-in or --audio-out (kws listen, kws-station).\n",
    run_devices,
};

}  // namespace kws::cli
