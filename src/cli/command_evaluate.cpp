// kws evaluate: detection and false-alarm rates over a list of recordings,
// each with its own vocabulary and the entries spoken in it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "batch/keyword_batch_test.h"
#include "cli/command_line.h"
#include "cli/engine_session.h"
#include "cli/json_writer.h"
#include "engine/recognizer_engine.h"
#include "lexicon/vocabulary.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws::cli {
namespace {

struct EvaluationItem {
  std::string audio_path;
  std::string vocabulary;            // UTF-8, as the station names it
  std::vector<std::string> entries;  // Big5, as the vocabulary holds them
  std::string condition;
  int line = 0;
};

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::optional<std::vector<EvaluationItem>> read_references(const std::string& path, const std::string& audio_folder,
                                                           std::string& error) {
  const std::optional<std::string> text = read_file_bytes(path);
  if (!text) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  std::vector<EvaluationItem> items;
  int line_number = 0;
  for (std::string_view line : split(*text, '\n')) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string_view> fields = split(line, '\t');
    if (fields.size() < 3 || fields.size() > 4 || fields[0].empty() || fields[1].empty()) {
      error = format_text("%s:%d: expected AUDIO<TAB>VOCABULARY<TAB>ENTRY|ENTRY...[<TAB>CONDITION]", path.c_str(),
                          line_number);
      return std::nullopt;
    }
    EvaluationItem item;
    const std::filesystem::path audio{std::string(fields[0])};
    item.audio_path = audio.is_absolute() ? audio.string() : (std::filesystem::path(audio_folder) / audio).string();
    item.vocabulary = fields[1];
    item.condition = fields.size() == 4 ? std::string(fields[3]) : std::string("all");
    item.line = line_number;
    if (!fields[2].empty()) {
      for (const std::string_view entry : split(fields[2], '|')) {
        const std::optional<std::string> big5 = utf8_to_big5(entry);
        if (!big5 || big5->empty()) {
          error = format_text("%s:%d: entry \"%.*s\" has no Big5 spelling", path.c_str(), line_number,
                              static_cast<int>(entry.size()), entry.data());
          return std::nullopt;
        }
        item.entries.push_back(*big5);
      }
    }
    items.push_back(std::move(item));
  }
  return items;
}

struct Counts {
  int files = 0;
  int references = 0;
  int detected = 0;      // references with at least one accepted candidate of their name
  int accepted = 0;      // candidates
  int false_alarms = 0;  // candidates whose name was not spoken
};

void add(Counts& into, const Counts& from) {
  into.files += from.files;
  into.references += from.references;
  into.detected += from.detected;
  into.accepted += from.accepted;
  into.false_alarms += from.false_alarms;
}

Counts score_file(const EvaluationItem& item, const std::vector<AcceptedKeyword>& accepted) {
  Counts counts;
  counts.files = 1;
  counts.references = static_cast<int>(item.entries.size());
  for (const std::string& entry : item.entries) {
    counts.detected += std::any_of(accepted.begin(), accepted.end(),
                                   [&](const AcceptedKeyword& candidate) { return candidate.name == entry; });
  }
  counts.accepted = static_cast<int>(accepted.size());
  for (const AcceptedKeyword& candidate : accepted) {
    counts.false_alarms += std::find(item.entries.begin(), item.entries.end(), candidate.name) == item.entries.end();
  }
  return counts;
}

std::string rate_text(int numerator, int denominator) {
  return denominator > 0 ? format_text("%.3f", static_cast<double>(numerator) / denominator) : std::string("n/a");
}

void print_table(const std::map<std::pair<std::string, std::string>, Counts>& groups, const Counts& all,
                 const char* verification) {
  std::printf("verification %s\n", verification);
  std::printf("%-16s %-10s %6s %6s %8s %9s %6s %10s\n", "vocabulary", "condition", "files", "spoken", "detected",
              "accepted", "false", "det/fa");
  const auto row = [](const std::string& vocabulary, const std::string& condition, const Counts& c) {
    std::printf("%s %s %6d %6d %8d %9d %6d %s/%s\n", pad_to_columns(vocabulary, 16).c_str(),
                pad_to_columns(condition, 10).c_str(), c.files, c.references,
                c.detected, c.accepted, c.false_alarms, rate_text(c.detected, c.references).c_str(),
                rate_text(c.false_alarms, c.accepted).c_str());
  };
  for (const auto& [key, counts] : groups) row(key.first, key.second, counts);
  row("all", "", all);
}

int run(std::span<const std::string> arguments) {
  int exit_status = kExitSuccess;
  const std::optional<Arguments> parsed = arguments_or_exit(
      kEvaluateCommand, arguments, {"--json"}, {"--data", "--audio", "--verification", "--results"}, exit_status);
  if (!parsed) return exit_status;
  if (parsed->positionals.size() != 1) return usage_error(kEvaluateCommand, "expected one reference list");
  const std::string modes = parsed->value("--verification").value_or("on");
  if (modes != "on" && modes != "off" && modes != "both") {
    return usage_error(kEvaluateCommand, "--verification takes on, off or both");
  }
  const std::optional<int> results = integer_option(*parsed, "--results", 1, kMaxResults, 10);
  if (!results) return usage_error(kEvaluateCommand, "--results takes a number from 1 to 200");
  const std::string& list = parsed->positionals[0];
  const std::string audio_folder =
      parsed->value("--audio").value_or(std::filesystem::path(list).parent_path().string());
  std::string error;
  const std::optional<std::vector<EvaluationItem>> items = read_references(list, audio_folder, error);
  if (!items) {
    std::fprintf(stderr, "kws evaluate: %s\n", error.c_str());
    return kExitFailure;
  }
  const std::unique_ptr<RecognizerEngine> engine = start_engine(kEvaluateCommand, *parsed);
  if (!engine) return kExitFailure;
  const bool json = parsed->has("--json");

  std::vector<int> passes;
  if (modes != "off") passes.push_back(1);
  if (modes != "on") passes.push_back(0);
  for (const int verification : passes) {
    engine->settings.verification_enabled = static_cast<std::int16_t>(verification);
    std::map<std::pair<std::string, std::string>, Counts> groups;
    Counts all;
    std::string loaded;
    const auto started = std::chrono::steady_clock::now();
    double audio_seconds = 0.0;
    for (std::size_t i = 0; i < items->size(); ++i) {
      const EvaluationItem& item = (*items)[i];
      if (item.vocabulary != loaded) {
        if (!choose_vocabulary(*engine, item.vocabulary)) {
          std::fprintf(stderr, "kws evaluate: line %d: vocabulary %s cannot be loaded\n", item.line,
                       item.vocabulary.c_str());
          return kExitFailure;
        }
        loaded = item.vocabulary;
      }
      engine->settings.results_wanted = static_cast<std::int16_t>(*results);
      const LoadedAudio audio = load_audio_file(item.audio_path);
      if (!audio.ok()) {
        std::fprintf(stderr, "kws evaluate: %s\n", audio.error.c_str());
        return kExitFailure;
      }
      const auto count = static_cast<std::int32_t>(std::min<std::size_t>(audio.samples.size(), kSampleBufferSamples));
      std::copy_n(audio.samples.begin(), count, engine->sample_buffer.get());
      audio_seconds += static_cast<double>(count) / kStationSampleRate;
      run_batch_keyword_pass(*engine, count);
      const Counts counts = score_file(item, engine->accepted);
      add(groups[{item.vocabulary, item.condition}], counts);
      add(all, counts);
      if (json) {
        JsonWriter writer;
        writer.begin_object()
            .key("audio")
            .value(item.audio_path)
            .key("vocabulary")
            .value(item.vocabulary)
            .key("condition")
            .value(item.condition)
            .key("verification")
            .value(verification == 1);
        writer.key("spoken").begin_array();
        for (const std::string& entry : item.entries) writer.value(big5_to_utf8(entry));
        writer.end_array().key("accepted").begin_array();
        for (const AcceptedKeyword& candidate : engine->accepted) {
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
      if ((i + 1) % 25 == 0 || i + 1 == items->size()) {
        std::fprintf(stderr, "kws evaluate: %zu of %zu recordings (verification %s): detection %s, false alarms %s\n",
                     i + 1, items->size(), verification ? "on" : "off", rate_text(all.detected, all.references).c_str(),
                     rate_text(all.false_alarms, all.accepted).c_str());
      }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!json) {
      print_table(groups, all, verification ? "on" : "off");
      std::printf("%.1f s of audio in %.1f s\n\n", audio_seconds, seconds);
    }
  }
  engine_shut_down(*engine);
  return kExitSuccess;
}

}  // namespace

const Command kEvaluateCommand = {
    "evaluate",
    "detection and false-alarm rates over recordings with their references",
    "Usage: kws evaluate --data DIR [--audio FOLDER] [--verification on|off|both]\n"
    "                    [--results N] [--json] REFERENCES\n"
    "Runs the keyword pass of the batch test (whole recording, best-Gaussian state\n"
    "scores, N results wanted, default 10) over every recording of the reference list\n"
    "and counts, per vocabulary and condition: the entries spoken, those detected (an\n"
    "accepted keyword of the same name anywhere in the recording), the accepted\n"
    "keywords and the false alarms among them (names not spoken). Detection rate =\n"
    "detected / spoken; false-alarm rate = false alarms / accepted, as in the batch test.\n"
    "\n"
    "REFERENCES is UTF-8, one recording per line:\n"
    "  AUDIO<TAB>VOCABULARY<TAB>ENTRY|ENTRY|...[<TAB>CONDITION]\n"
    "with the entries spoken (the field empty when none), AUDIO relative to FOLDER\n"
    "(default: the list's folder) and any file libsndfile reads, decoded (a header is\n"
    "not read as samples). Lines starting with # are comments.\n"
    "\n"
    "Example:\n"
    "  kws evaluate --data data --verification both eval/references.txt\n",
    run,
};

}  // namespace kws::cli
