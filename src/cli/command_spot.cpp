// kws spot: the keyword pass of the station over recordings.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "cli/json_writer.h"
#include "engine/recognizer_engine.h"
#include "platform/audio_file.h"
#include "platform/text_encoding.h"
#include "search/recognition_pass.h"
#include "search/state_scoring.h"

namespace kws::cli {
namespace {


struct SpotOptions {
  bool details = false;
  bool json = false;
  bool trim = true;
};

std::string without_newline(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

const char* refusal_text(UtteranceRefusal refusal) {
  switch (refusal) {
    case UtteranceRefusal::empty_vocabulary: return "the vocabulary has no entries";
    case UtteranceRefusal::no_sample_buffer: return "the engine has no sample buffer";
    case UtteranceRefusal::too_short: return "the recording is 0.4 s or shorter";
    case UtteranceRefusal::too_long: return "the recording is longer than 8 s, all the sample buffer holds";
    case UtteranceRefusal::offset: return "the recording's mean sample value is beyond +/-500 (a DC offset)";
    case UtteranceRefusal::too_short_after_trimming: return "less than 0.3 s is left after trimming the trailing silence";
    case UtteranceRefusal::none: break;
  }
  return "refused";
}

// Puts the recording into the sample buffer and computes what the live
// capture path computes while it records: features over the whole recording
// and mixture-sum state scores, plus the trimming thresholds.
void prepare_recording(RecognizerEngine& engine, const std::vector<std::int16_t>& samples, bool trim) {
  std::copy(samples.begin(), samples.end(), engine.sample_buffer.get());
  const auto count = static_cast<std::int32_t>(samples.size());
  engine.utterance.capture_start = 0;
  engine.utterance.capture_end = count;
  engine.analysis_source = {engine.sample_buffer.get(), 0, count};
  const int frames = extract_features(engine);
  if (frames > 0) score_frames_mixture(engine, frames);
  if (trim) {
    calibrate_trimming_from_recording(engine.calibration, samples);
  } else {
    // Every window energy exceeds -1 and none is below 0: the end stays where it is.
    engine.calibration.trim_high_threshold = -1;
    engine.calibration.trim_low_threshold = 0;
  }
}

void print_text(const RecognizerEngine& engine, const std::string& path, bool recognised, bool details) {
  std::printf("%s\n", path.c_str());
  if (!recognised) return;
  for (const AcceptedKeyword& keyword : engine.accepted) {
    std::printf("%s\t%d\t%d\n", big5_to_utf8(keyword.name).c_str(), keyword.start_frame, keyword.end_frame);
  }
  if (!details) return;
  for (int position = 0; position < engine.results.count; ++position) {
    for (const std::string& line : engine.details[static_cast<std::size_t>(position)]) {
      std::printf("%s\n", big5_to_utf8(without_newline(line)).c_str());
    }
  }
}

void print_json(const RecognizerEngine& engine, const std::string& path, bool recognised) {
  JsonWriter json;
  json.begin_object().key("file").value(path);
  json.key("status").value(recognised ? "recognised" : "refused");
  if (!recognised) {
    json.key("reason").value(refusal_text(engine.utterance.refusal));
    json.end_object();
    std::printf("%s\n", json.text().c_str());
    return;
  }
  json.key("frames").value(engine.search.frame_count);
  json.key("accepted").begin_array();
  for (const AcceptedKeyword& keyword : engine.accepted) {
    json.begin_object()
        .key("name").value(big5_to_utf8(keyword.name))
        .key("start_frame").value(keyword.start_frame)
        .key("end_frame").value(keyword.end_frame)
        .end_object();
  }
  json.end_array();
  json.key("results").begin_array();
  for (int position = 0; position < engine.results.count; ++position) {
    const int result = engine.display_order[static_cast<std::size_t>(position)];
    if (result < 0) continue;
    const auto u = static_cast<std::size_t>(result);
    const ResultVerification& verification = engine.verifications[u];
    const int entry = engine.results.entries[u];
    json.begin_object()
        .key("rank").value(position + 1)
        .key("entry").value(entry + 1)
        .key("name").value(big5_to_utf8(engine.vocabulary.names[static_cast<std::size_t>(entry)]))
        .key("score").value(static_cast<double>(engine.results.scores[u]))
        .key("start_frame").value(engine.results.start_frames[u])
        .key("end_frame").value(engine.results.end_frames[u])
        .key("accepted").value(verification.accepted)
        .key("keyword_score").value(static_cast<double>(verification.keyword_score))
        .key("anti_score").value(static_cast<double>(verification.anti_score))
        .key("filler_score").value(static_cast<double>(verification.filler_score))
        .key("confidence").begin_array()
        .value(static_cast<double>(verification.v1))
        .value(static_cast<double>(verification.v2))
        .value(static_cast<double>(verification.v3))
        .end_array();
    json.key("syllable_bounds").begin_array();
    for (int k = 0; k <= verification.syllable_count; ++k) {
      json.value(verification.syllable_bounds[static_cast<std::size_t>(k)]);
    }
    json.end_array();
    json.key("unit_bounds").begin_array();
    for (int k = 0; k <= 2 * verification.syllable_count; ++k) {
      json.value(verification.unit_bounds[static_cast<std::size_t>(k)]);
    }
    json.end_array().end_object();
  }
  json.end_array();
  const PassTimes& times = engine.times;
  json.key("times_ms").begin_object()
      .key("forward").value(times.forward_end - times.start)
      .key("search").value(times.verification_start - times.start)
      .key("total").value(times.verification_end - times.start)
      .end_object();
  json.end_object();
  std::printf("%s\n", json.text().c_str());
}

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(
      kSpotCommand, arguments, {"--details", "--json", "--no-trim"}, {"--data", "--vocab", "--results"}, exit_status);
  if (!parsed) return exit_status;
  const std::optional<std::string> vocabulary = parsed->value("--vocab");
  if (!vocabulary) return usage_error(kSpotCommand, "--vocab NAME is required");
  if (parsed->positionals.empty()) return usage_error(kSpotCommand, "expected at least one FILE");
  const std::optional<int> results_wanted =
      integer_option(*parsed, "--results", 1, kMaxResults, kResultsAfterVocabularyChoice);
  if (!results_wanted) return usage_error(kSpotCommand, "--results takes a number from 1 to 200");
  const SpotOptions options{parsed->has("--details"), parsed->has("--json"), !parsed->has("--no-trim")};

  const std::unique_ptr<RecognizerEngine> engine = start_engine(kSpotCommand, *parsed);
  if (!engine) return kExitFailure;
  if (!choose_vocabulary(*engine, *vocabulary)) return kExitFailure;

  bool unreadable = false;
  for (const std::string& path : parsed->positionals) {
    const LoadedAudio audio = load_audio_file(path);
    if (!audio.ok()) {
      std::fprintf(stderr, "kws spot: %s\n", audio.error.c_str());
      unreadable = true;
      continue;
    }
    if (!audio.note.empty()) std::fprintf(stderr, "kws spot: %s\n", audio.note.c_str());
    bool recognised = false;
    if (audio.samples.size() > static_cast<std::size_t>(kSampleBufferSamples)) {
      engine->utterance.refusal = UtteranceRefusal::too_long;
    } else {
      engine->settings.results_wanted = *results_wanted;
      prepare_recording(*engine, audio.samples, options.trim);
      recognised = recognize_keywords(*engine, true) == kRecognised;
    }
    if (!recognised) {
      std::fprintf(stderr, "kws spot: %s: refused: %s\n", path.c_str(), refusal_text(engine->utterance.refusal));
    }
    if (options.json) {
      print_json(*engine, path, recognised);
    } else {
      print_text(*engine, path, recognised, options.details);
    }
    std::fflush(stdout);
  }
  engine_shut_down(*engine);
  return unreadable ? kExitFailure : kExitSuccess;
}

}  // namespace

const Command kSpotCommand = {
    "spot",
    "spot the keywords of a vocabulary in recordings",
    "Usage: kws spot --data DIR --vocab NAME [--results N] [--details] [--json] [--no-trim] FILE...\n"
    "Runs the station's keyword pass on each recording (WAV, FLAC, ...; converted to\n"
    "16 kHz mono if needed; at most 8 s): features and mixture-sum state scores over\n"
    "the whole recording, the end trimmed with thresholds measured on its five\n"
    "quietest 100 ms stretches, then the keyword search for the N best entries of the\n"
    "vocabulary NAME (default 10) and their verification.\n"
    "\n"
    "Output per file: its name, then NAME<TAB>START_FRAME<TAB>END_FRAME for every\n"
    "accepted keyword (frames of 10 ms). --details adds the six detail lines of every\n"
    "result; --json prints one JSON object per file instead (accepted keywords, every\n"
    "result with its scores, boundaries and decision, processing times). --no-trim\n"
    "keeps the whole recording. A refused recording (too short, offset, empty\n"
    "vocabulary) is reported on standard error; the exit status is 1 if any file\n"
    "could not be read.\n"
    "\n"
    "Example:\n"
    "  kws spot --data data --vocab 火車系統 --details recording.wav\n",
    run,
};

}  // namespace kws::cli
