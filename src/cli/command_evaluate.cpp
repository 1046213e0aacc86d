// kws evaluate: detection and false-alarm rates over a list of recordings,
// each with its own vocabulary and the entries spoken in it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "cli/json_writer.h"
#include "engine/engine.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::cli {
namespace {

void print_table(const std::map<std::pair<std::string, std::string>, EvaluationCounts>& groups,
                 const EvaluationCounts& all, const char* verification) {
  std::printf("verification %s\n", verification);
  std::printf("%-16s %-10s %6s %6s %8s %9s %6s %10s\n", "vocabulary", "condition", "files", "spoken", "detected",
              "accepted", "false", "det/fa");
  const auto row = [](const std::string& vocabulary, const std::string& condition, const EvaluationCounts& c) {
    std::printf("%s %s %6d %6d %8d %9d %6d %s/%s\n", pad_to_columns(vocabulary, 16).c_str(),
                pad_to_columns(condition, 10).c_str(), c.files, c.references, c.detected, c.accepted, c.false_alarms,
                evaluation_rate_text(c.detected, c.references).c_str(),
                evaluation_rate_text(c.false_alarms, c.accepted).c_str());
  };
  for (const auto& [key, counts] : groups) row(key.first, key.second, counts);
  row("all", "", all);
}

// Runs the pass over every recording of the list, choosing each line's
// vocabulary, and hands each item with its outcome to take. False after a
// message when a vocabulary or a recording cannot be loaded.
template <typename Take>
bool run_list(const LoadedData& data, Workspace& workspace, const std::vector<EvaluationItem>& items,
              const PassOptions& pass, double& audio_seconds, Take&& take) {
  std::string loaded;
  std::shared_ptr<const Vocabulary> chosen;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const EvaluationItem& item = items[i];
    if (item.vocabulary != loaded) {
      chosen = choose_vocabulary_or_report(data, item.vocabulary);
      if (!chosen) {
        std::fprintf(stderr, "kws evaluate: line %d: vocabulary %s cannot be loaded\n", item.line,
                     item.vocabulary.c_str());
        return false;
      }
      loaded = item.vocabulary;
    }
    const LoadedAudio audio = load_audio_file(item.audio_path);
    if (!audio.ok()) {
      std::fprintf(stderr, "kws evaluate: %s\n", audio.error.c_str());
      return false;
    }
    const auto count = std::min<std::size_t>(audio.samples.size(), kSampleBufferSamples);
    audio_seconds += static_cast<double>(count) / kStationSampleRate;
    take(i, item, recognize(data, *chosen, audio.samples, pass, workspace));
  }
  return true;
}

void print_item_json(const EvaluationItem& item, bool verification, const RecognitionOutcome& outcome) {
  JsonWriter writer;
  writer.begin_object()
      .key("audio")
      .value(item.audio_path)
      .key("vocabulary")
      .value(item.vocabulary)
      .key("condition")
      .value(item.condition)
      .key("verification")
      .value(verification);
  writer.key("spoken").begin_array();
  for (const std::string& entry : item.entries) writer.value(big5_to_utf8(entry));
  writer.end_array().key("accepted").begin_array();
  for (const AcceptedKeyword& candidate : outcome.accepted) {
    writer.begin_object()
        .key("name")
        .value(big5_to_utf8(candidate.name))
        .key("start_frame")
        .value(candidate.start_frame)
        .key("end_frame")
        .value(candidate.end_frame)
        .end_object();
  }
  writer.end_array().end_object();
  std::printf("%s\n", writer.text().c_str());
}

void report_progress(std::size_t done, std::size_t total, const char* mode, const EvaluationCounts& all) {
  if (done % 25 != 0 && done != total) return;
  std::fprintf(stderr, "kws evaluate: %zu of %zu recordings (%s): detection %s, false alarms %s\n", done, total, mode,
               evaluation_rate_text(all.detected, all.references).c_str(),
               evaluation_rate_text(all.false_alarms, all.accepted).c_str());
}

// Every recording once, verified; then the counts at each sweep threshold
// and the figure of merit.
int run_sweep(const LoadedData& data, Workspace& workspace, const std::vector<EvaluationItem>& items, int results,
              bool json) {
  PassOptions pass = batch_pass_options();
  pass.results_wanted = results;
  const std::vector<double> thresholds = sweep_thresholds();
  std::vector<SweepPoint> points;
  for (const double threshold : thresholds) points.push_back({threshold, {}});
  double audio_seconds = 0.0;
  const bool complete =
      run_list(data, workspace, items, pass, audio_seconds,
               [&](std::size_t i, const EvaluationItem& item, const RecognitionOutcome& outcome) {
                 for (SweepPoint& point : points) {
                   add_counts(point.counts, score_evaluation_item(item, accepted_at(outcome, point.threshold)));
                 }
                 report_progress(i + 1, items.size(), "sweep", points.front().counts);
               });
  if (!complete) return kExitFailure;
  const std::optional<double> merit = figure_of_merit(points);
  if (json) {
    for (const SweepPoint& point : points) {
      const EvaluationCounts& c = point.counts;
      JsonWriter writer;
      writer.begin_object()
          .key("threshold")
          .value(point.threshold)
          .key("spoken")
          .value(c.references)
          .key("detected")
          .value(c.detected)
          .key("accepted")
          .value(c.accepted)
          .key("false")
          .value(c.false_alarms)
          .end_object();
      std::printf("%s\n", writer.text().c_str());
    }
    JsonWriter writer;
    writer.begin_object().key("figure_of_merit");
    if (merit) {
      writer.value(*merit);
    } else {
      writer.null();
    }
    writer.end_object();
    std::printf("%s\n", writer.text().c_str());
    return kExitSuccess;
  }
  std::printf("%-9s %6s %8s %9s %6s %9s %12s\n", "threshold", "spoken", "detected", "accepted", "false", "detection",
              "false-alarms");
  for (const SweepPoint& point : points) {
    const EvaluationCounts& c = point.counts;
    std::printf("%-9.2f %6d %8d %9d %6d %9s %12s\n", point.threshold, c.references, c.detected, c.accepted,
                c.false_alarms, evaluation_rate_text(c.detected, c.references).c_str(),
                evaluation_rate_text(c.false_alarms, c.accepted).c_str());
  }
  std::printf("figure of merit %s\n", merit ? format_text("%.3f", *merit).c_str() : "n/a");
  std::printf("%.1f s of audio\n", audio_seconds);
  return kExitSuccess;
}

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed =
      arguments_or_exit(kEvaluateCommand, arguments, {"--json", "--sweep"},
                        {"--data", "--audio", "--verification", "--results", "--threshold"}, exit_status);
  if (!parsed) return exit_status;
  if (parsed->positionals.size() != 1) return usage_error(kEvaluateCommand, "expected one reference list");
  const std::string modes = parsed->value("--verification").value_or("on");
  if (modes != "on" && modes != "off" && modes != "both") {
    return usage_error(kEvaluateCommand, "--verification takes on, off or both");
  }
  const std::optional<int> results = integer_option(*parsed, "--results", 1, kMaxResults, 10);
  if (!results) return usage_error(kEvaluateCommand, "--results takes a number from 1 to 200");
  const std::optional<double> threshold = threshold_option(*parsed);
  if (!threshold) return usage_error(kEvaluateCommand, "--threshold takes a number from 0 to 1");
  const bool sweep = parsed->has("--sweep");
  if (sweep && (parsed->value("--verification") || parsed->value("--threshold"))) {
    return usage_error(kEvaluateCommand,
                       "--sweep verifies at every threshold; it takes no --verification or --threshold");
  }
  const std::string& list = parsed->positionals[0];
  const std::string audio_folder =
      parsed->value("--audio").value_or(std::filesystem::path(list).parent_path().string());
  const OrRefusal<std::vector<EvaluationItem>> items = read_evaluation_references(list, audio_folder);
  if (!items) {
    std::fprintf(stderr, "kws evaluate: %s\n", items.refusal().text.c_str());
    return kExitFailure;
  }
  const std::shared_ptr<const LoadedData> data = start_engine(kEvaluateCommand, *parsed);
  if (!data) return kExitFailure;
  std::optional<Workspace> workspace = make_workspace_or_report(*data);
  if (!workspace) return kExitFailure;
  const bool json = parsed->has("--json");
  if (sweep) return run_sweep(*data, *workspace, *items, *results, json);

  std::vector<int> passes;
  if (modes != "off") passes.push_back(1);
  if (modes != "on") passes.push_back(0);
  for (const int verification : passes) {
    PassOptions pass = batch_pass_options();
    pass.verification = verification == 1;
    pass.results_wanted = *results;
    pass.threshold = *threshold;
    std::map<std::pair<std::string, std::string>, EvaluationCounts> groups;
    EvaluationCounts all;
    const auto started = std::chrono::steady_clock::now();
    double audio_seconds = 0.0;
    const char* mode = verification ? "verification on" : "verification off";
    const bool complete = run_list(*data, *workspace, *items, pass, audio_seconds,
                                   [&](std::size_t i, const EvaluationItem& item, const RecognitionOutcome& outcome) {
                                     const EvaluationCounts counts = score_evaluation_item(item, outcome.accepted);
                                     add_counts(groups[{item.vocabulary, item.condition}], counts);
                                     add_counts(all, counts);
                                     if (json) print_item_json(item, verification == 1, outcome);
                                     report_progress(i + 1, items->size(), mode, all);
                                   });
    if (!complete) return kExitFailure;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!json) {
      print_table(groups, all, verification ? "on" : "off");
      std::printf("%.1f s of audio in %.1f s\n\n", audio_seconds, seconds);
    }
  }
  return kExitSuccess;
}

}  // namespace

const Command kEvaluateCommand = {
    "evaluate",
    "detection and false-alarm rates over recordings with their references",
    "Usage: kws evaluate --data DIR [--audio FOLDER] [--verification on|off|both]\n"
    "                    [--results N] [--threshold V | --sweep] [--json] REFERENCES\n"
    "Runs the keyword pass of the batch test (whole recording, best-Gaussian state\n"
    "scores, N results wanted, default 10) over every recording of the reference list\n"
    "and counts, per vocabulary and condition: the entries spoken, those detected (an\n"
    "accepted keyword of the same name anywhere in the recording), the accepted\n"
    "keywords and the false alarms among them (names not spoken). Detection rate =\n"
    "detected / spoken; false-alarm rate = false alarms / accepted, as in the batch test.\n"
    "--threshold V sets the decision threshold on a result's mean confidence (0 to 1,\n"
    "default 0.39). --sweep verifies every recording once and prints the totals at\n"
    "each threshold from 0.30 to 0.50 in steps of 0.01, then the figure of merit: the\n"
    "mean detection rate over the range of false-alarm rates the sweep reaches.\n"
    "\n"
    "REFERENCES is UTF-8, one recording per line:\n"
    "  AUDIO<TAB>VOCABULARY<TAB>ENTRY|ENTRY|...[<TAB>CONDITION]\n"
    "with the entries spoken (the field empty when none), AUDIO relative to FOLDER\n"
    "(default: the list's folder) and any file libsndfile reads, decoded (a header is\n"
    "not read as samples). Lines starting with # are comments.\n"
    "\n"
    "Example:\n"
    "  kws evaluate --data data --verification both eval/references.txt\n"
    "  kws evaluate --data data --sweep eval/references.txt\n",
    run,
};

}  // namespace kws::cli
