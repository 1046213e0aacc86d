// kws spot: the keyword pass of the station over recordings.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "cli/json_writer.h"
#include "engine/engine.h"
#include "platform/audio_file.h"
#include "platform/text_encoding.h"

namespace kws::cli {
namespace {


struct SpotOptions {
  bool details = false;
  bool json = false;
};

std::string without_newline(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

const char* refusal_text(UtteranceRefusal refusal) {
  switch (refusal) {
    case UtteranceRefusal::empty_vocabulary:
      return "the vocabulary has no entries";
    case UtteranceRefusal::too_short: return "the recording is 0.4 s or shorter";
    case UtteranceRefusal::too_long: return "the recording is longer than 8 s, all the sample buffer holds";
    case UtteranceRefusal::offset: return "the recording's mean sample value is beyond +/-500 (a DC offset)";
    case UtteranceRefusal::too_short_after_trimming: return "less than 0.3 s is left after trimming the trailing silence";
    case UtteranceRefusal::none: break;
  }
  return "refused";
}

void print_text(const RecognitionOutcome& outcome, const std::string& path, bool details) {
  std::printf("%s\n", path.c_str());
  if (!outcome.recognised()) return;
  for (const AcceptedKeyword& keyword : outcome.accepted) {
    std::printf("%s\t%d\t%d\n", big5_to_utf8(keyword.name).c_str(), keyword.start_frame, keyword.end_frame);
  }
  if (!details) return;
  for (const DisplayedResult& result : outcome.results) {
    for (const std::string& line : result.detail) std::printf("%s\n", big5_to_utf8(without_newline(line)).c_str());
  }
}

void print_json(const RecognitionOutcome& outcome, const std::string& path) {
  JsonWriter json;
  json.begin_object().key("file").value(path);
  json.key("status").value(outcome.recognised() ? "recognised" : "refused");
  if (!outcome.recognised()) {
    json.key("reason").value(refusal_text(outcome.refusal));
    json.end_object();
    std::printf("%s\n", json.text().c_str());
    return;
  }
  json.key("frames").value(outcome.frame_count);
  json.key("accepted").begin_array();
  for (const AcceptedKeyword& keyword : outcome.accepted) {
    json.begin_object()
        .key("name").value(big5_to_utf8(keyword.name))
        .key("start_frame").value(keyword.start_frame)
        .key("end_frame").value(keyword.end_frame)
        .end_object();
  }
  json.end_array();
  json.key("results").begin_array();
  int rank = 0;
  for (const DisplayedResult& result : outcome.results) {
    json.begin_object()
        .key("rank")
        .value(++rank)
        .key("entry")
        .value(result.entry + 1)
        .key("name")
        .value(big5_to_utf8(result.name))
        .key("score")
        .value(static_cast<double>(result.score))
        .key("start_frame")
        .value(result.start_frame)
        .key("end_frame")
        .value(result.end_frame)
        .key("accepted")
        .value(result.accepted)
        .key("keyword_score")
        .value(static_cast<double>(result.keyword_score))
        .key("anti_score")
        .value(static_cast<double>(result.anti_score))
        .key("filler_score")
        .value(static_cast<double>(result.filler_score))
        .key("confidence")
        .begin_array();
    for (const float value : result.confidence) json.value(static_cast<double>(value));
    json.end_array();
    json.key("syllable_bounds").begin_array();
    for (const std::int16_t bound : result.syllable_bounds) json.value(bound);
    json.end_array();
    json.key("unit_bounds").begin_array();
    for (const std::int16_t bound : result.unit_bounds) json.value(bound);
    json.end_array().end_object();
  }
  json.end_array();
  const PassTimes& times = outcome.times;
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
  const std::optional<Arguments> parsed =
      arguments_or_exit(kSpotCommand, arguments, {"--details", "--json", "--no-trim"},
                        {"--data", "--vocab", "--results", "--threshold"}, exit_status);
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
    const RecognitionOutcome outcome =
        recognize(*session->data, *session->vocabulary, audio.samples, pass, session->workspace);
    if (outcome.allocation_failure) show_refusal(*outcome.allocation_failure);
    if (!outcome.recognised()) {
      std::fprintf(stderr, "kws spot: %s: refused: %s\n", path.c_str(), refusal_text(outcome.refusal));
    }
    if (options.json) {
      print_json(outcome, path);
    } else {
      print_text(outcome, path, options.details);
    }
    std::fflush(stdout);
  }
  return unreadable ? kExitFailure : kExitSuccess;
}

}  // namespace

const Command kSpotCommand = {
    "spot",
    "spot the keywords of a vocabulary in recordings",
    "Usage: kws spot --data DIR --vocab NAME [--results N] [--threshold V] [--details] [--json]\n"
    "                [--no-trim] FILE...\n"
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
    "keeps the whole recording. --threshold V sets the decision threshold on a\n"
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
