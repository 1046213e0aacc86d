// kws batch: the station's keyword batch test over its 50 test recordings.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "cli/json_writer.h"
#include "engine/engine.h"
#include "platform/text_encoding.h"

namespace kws::cli {
namespace {

constexpr int kMaxSetNumber = 999999;

JsonWriter& write_rate(JsonWriter& json, std::string_view key, int numerator, int denominator) {
  json.key(key);
  const std::optional<double> rate = batch_rate(numerator, denominator);
  return rate ? json.value(*rate) : json.null();
}

JsonWriter& write_totals(JsonWriter& json, const KeywordBatchTotals& totals) {
  json.key("totals").begin_object()
      .key("total").value(totals.total)
      .key("accepted").value(totals.accepted)
      .key("detected").value(totals.detected)
      .key("false").value(totals.false_alarms)
      .end_object();
  write_rate(json, "detection_rate", totals.detected, totals.total);
  return write_rate(json, "false_alarm_rate", totals.false_alarms, totals.accepted);
}

std::string unpadded_rate(int numerator, int denominator) {
  std::string text = batch_rate_text(numerator, denominator);
  text.erase(0, text.find_first_not_of(' '));
  return text;
}

// Prints each file's report as it comes, and its progress on standard error.
class BatchPrinter final : public KeywordBatchObserver {
 public:
  enum class Style { station, json, brief };
  explicit BatchPrinter(Style style) : style_(style) {}

  void file_finished(const KeywordBatchFileReport& report) override {
    if (style_ == Style::json) {
      print_json(report);
    } else if (style_ == Style::brief) {
      print_brief(report);
    } else {
      for (const std::string& line : report.statistics_lines) std::printf("%s\n", big5_to_utf8(line).c_str());
    }
    std::fflush(stdout);
    const KeywordBatchTotals& totals = report.totals;
    std::fprintf(stderr, "kws batch: file %d of %d (%s): detection rate %s, false-alarm rate %s\n",
                 report.file_number, kBatchTestFiles, report.short_name.c_str(),
                 unpadded_rate(totals.detected, totals.total).c_str(),
                 unpadded_rate(totals.false_alarms, totals.accepted).c_str());
  }

 private:
  void print_json(const KeywordBatchFileReport& report) const {
    JsonWriter json;
    json.begin_object()
        .key("file").value(report.file_number)
        .key("name").value(report.short_name)
        .key("samples").value(static_cast<std::int64_t>(report.sample_count))
        .key("truncated").value(report.truncated);
    json.key("references").begin_array();
    for (const std::string& keyword : report.references) json.value(big5_to_utf8(keyword));
    json.end_array();
    json.key("candidates").begin_array();
    for (const BatchCandidate& candidate : report.candidates) {
      json.begin_object()
          .key("name").value(big5_to_utf8(candidate.keyword.name))
          .key("start_frame").value(candidate.keyword.start_frame)
          .key("end_frame").value(candidate.keyword.end_frame)
          .key("detected").value(candidate.detected)
          .end_object();
    }
    json.end_array();
    json.key("detected").value(report.detected).key("false").value(report.false_alarms);
    write_totals(json, report.totals).end_object();
    std::printf("%s\n", json.text().c_str());
  }

  // One line per recording: what was said, what was spotted, each spotted
  // name marked as found (+) or a false alarm (-).
  void print_brief(const KeywordBatchFileReport& report) const {
    std::string said;
    for (const std::string& keyword : report.references) {
      if (!said.empty()) said += ' ';
      said += big5_to_utf8(keyword);
    }
    std::string spotted;
    for (const BatchCandidate& candidate : report.candidates) {
      if (!spotted.empty()) spotted += ' ';
      spotted += big5_to_utf8(candidate.keyword.name);
      spotted += candidate.detected ? '+' : '-';
    }
    std::printf("%-10s said: %s\n%-10s spotted: %s\n", report.short_name.c_str(), said.empty() ? "(no entry)" : said.c_str(),
                "", spotted.empty() ? "(nothing)" : spotted.c_str());
  }

  Style style_;
};

void print_summary(const KeywordBatchSummary& summary, int set_number, double wall_seconds, bool json) {
  const double audio_seconds = summary.audio_seconds();
  const bool measurable = wall_seconds > 0.0;
  const double speed = measurable ? audio_seconds / wall_seconds : 0.0;
  const KeywordBatchTotals& totals = summary.totals;
  if (json) {
    JsonWriter writer;
    writer.begin_object().key("summary").begin_object().key("set").value(set_number).key("files").value(summary.files);
    write_totals(writer, totals)
        .key("audio_seconds").value(audio_seconds)
        .key("processing_seconds").value(wall_seconds)
        .key("times_real_time");
    if (measurable) {
      writer.value(speed);
    } else {
      writer.null();
    }
    writer.end_object().end_object();
    std::printf("%s\n", writer.text().c_str());
    return;
  }
  std::printf("Summary of set %d, %d files\n", set_number, summary.files);
  std::printf("Total_KWs=%d Accepted_KWs=%d Detected_KWs=%d False_KWs=%d\n", totals.total, totals.accepted,
              totals.detected, totals.false_alarms);
  std::printf("Detection Rate=%s\n", batch_rate_text(totals.detected, totals.total).c_str());
  std::printf("FalseAlarmRate=%s\n", batch_rate_text(totals.false_alarms, totals.accepted).c_str());
  std::printf("Processing time %.2f s for %.2f s of audio: ", wall_seconds, audio_seconds);
  if (measurable) {
    std::printf("%.1f times real time\n", speed);
  } else {
    std::printf("too fast to measure\n");
  }
}

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(kBatchCommand, arguments, {"--json", "--brief"},
                                                            {"--data", "--vocab", "--set", "--threshold"}, exit_status);
  if (!parsed) return exit_status;
  const std::optional<std::string> vocabulary = parsed->value("--vocab");
  if (!vocabulary) return usage_error(kBatchCommand, "--vocab NAME is required");
  if (!parsed->positionals.empty()) return usage_error(kBatchCommand, "unexpected argument " + parsed->positionals[0]);
  const std::optional<int> set = integer_option(*parsed, "--set", 1, kMaxSetNumber, kDefaultBatchTestSet);
  if (!set) return usage_error(kBatchCommand, "--set takes a positive number");
  const int set_number = *set;
  const std::optional<double> threshold = threshold_option(*parsed);
  if (!threshold) return usage_error(kBatchCommand, "--threshold takes a number from 0 to 1");
  PassOptions pass = batch_pass_options();
  pass.threshold = *threshold;
  const bool json = parsed->has("--json");

  std::optional<EngineSession> session = start_session(kBatchCommand, *parsed, *vocabulary);
  if (!session) return kExitFailure;

  const BatchPrinter::Style style = json ? BatchPrinter::Style::json
                                    : parsed->has("--brief") ? BatchPrinter::Style::brief
                                                             : BatchPrinter::Style::station;
  BatchPrinter printer(style);
  const auto started = std::chrono::steady_clock::now();
  const OrRefusal<KeywordBatchSummary> summary =
      run_keyword_batch_test(*session->data, *session->vocabulary, set_number, pass, printer, session->workspace);
  const double wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!summary) {
    show_refusal(summary.refusal());
    return kExitFailure;
  }
  print_summary(*summary, set_number, wall_seconds, json);
  return kExitSuccess;
}

}  // namespace

const Command kBatchCommand = {
    "batch",
    "run the keyword batch test over the 50 test recordings",
    "Usage: kws batch --data DIR --vocab NAME [--set N] [--threshold V] [--json | --brief]\n"
    "Runs the station's keyword batch test: for n = 1..50 the recording\n"
    "DIR/wave/trN_n.wav (set N, default 1) is read whole as raw 16-bit samples\n"
    "(a WAV header is read as samples too; beyond 8 s only the first 8 s are used),\n"
    "the keyword pass of the vocabulary NAME runs over all of it with best-Gaussian\n"
    "state scores and 10 results wanted, and every accepted keyword is compared with\n"
    "record n of DIR/train_index.txt: detected when its name is one of the record's\n"
    "keywords, a false alarm when not.\n"
    "\n"
    "Output: the station's statistics lines after every file (running totals,\n"
    "detection rate = detected / reference keywords, false-alarm rate = false alarms /\n"
    "accepted keywords, \"n/a\" while a denominator is 0), then a summary with the\n"
    "processing time and how many times faster than real time it ran. --json prints\n"
    "one JSON object per file (reference keywords, candidates with their frames and\n"
    "outcome, running totals and rates) and a final {\"summary\": ...} object instead.\n"
    "--brief prints two lines per recording instead of the statistics lines: the\n"
    "entries said in it and the keywords spotted, each marked + (said) or - (false alarm).\n"
    "--threshold V sets the decision threshold on a result's mean confidence (0 to 1,\n"
    "default 0.39). Progress goes to standard error. A missing recording ends the run\n"
    "with status 1.\n"
    "\n"
    "Example:\n"
    "  kws batch --data data --vocab 火車系統 --json > batch.jsonl\n",
    run,
};

}  // namespace kws::cli
