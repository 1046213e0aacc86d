#include "batch/evaluation.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws {
namespace {

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

}  // namespace

OrRefusal<std::vector<EvaluationItem>> read_evaluation_references(const std::string& path,
                                                                  const std::string& audio_folder) {
  const std::optional<std::string> text = read_file_bytes(path);
  if (!text) return Refusal::on_console("cannot read " + path);
  std::vector<EvaluationItem> items;
  int line_number = 0;
  for (std::string_view line : split(*text, '\n')) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string_view> fields = split(line, '\t');
    if (fields.size() < 3 || fields.size() > 4 || fields[0].empty() || fields[1].empty()) {
      return Refusal::on_console(format_text("%s:%d: expected AUDIO<TAB>VOCABULARY<TAB>ENTRY|ENTRY...[<TAB>CONDITION]",
                                             path.c_str(), line_number));
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
          return Refusal::on_console(format_text("%s:%d: entry \"%.*s\" has no Big5 spelling", path.c_str(),
                                                 line_number, static_cast<int>(entry.size()), entry.data()));
        }
        item.entries.push_back(*big5);
      }
    }
    items.push_back(std::move(item));
  }
  return items;
}

EvaluationCounts score_evaluation_item(const EvaluationItem& item, std::span<const AcceptedKeyword> accepted) {
  EvaluationCounts counts;
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

void add_counts(EvaluationCounts& into, const EvaluationCounts& from) {
  into.files += from.files;
  into.references += from.references;
  into.detected += from.detected;
  into.accepted += from.accepted;
  into.false_alarms += from.false_alarms;
}

std::vector<AcceptedKeyword> accepted_at(const RecognitionOutcome& outcome, double threshold) {
  std::vector<AcceptedKeyword> accepted;
  for (const DisplayedResult& result : outcome.results) {
    if (result.meets_duration_rules && static_cast<double>(result.confidence[0]) >= threshold) {
      accepted.push_back({result.name, result.start_frame, result.end_frame});
    }
  }
  return accepted;
}

std::vector<double> sweep_thresholds() {
  std::vector<double> thresholds;
  // Counted in hundredths so that 0.39 is the same double as the station's.
  for (int hundredths = 30; hundredths <= 50; ++hundredths) thresholds.push_back(hundredths / 100.0);
  return thresholds;
}

std::optional<double> figure_of_merit(std::span<const SweepPoint> points) {
  std::vector<std::pair<double, double>> curve;  // false-alarm rate, detection rate
  for (const SweepPoint& point : points) {
    const EvaluationCounts& c = point.counts;
    if (c.references == 0 || c.accepted == 0) continue;
    curve.emplace_back(static_cast<double>(c.false_alarms) / c.accepted,
                       static_cast<double>(c.detected) / c.references);
  }
  if (curve.empty()) return std::nullopt;
  std::sort(curve.begin(), curve.end());
  const double width = curve.back().first - curve.front().first;
  if (width <= 0.0) {
    double sum = 0.0;
    for (const auto& point : curve) sum += point.second;
    return sum / static_cast<double>(curve.size());
  }
  double area = 0.0;
  for (std::size_t k = 1; k < curve.size(); ++k) {
    area += (curve[k].first - curve[k - 1].first) * (curve[k].second + curve[k - 1].second) / 2.0;
  }
  return area / width;
}

std::string evaluation_rate_text(int numerator, int denominator) {
  return denominator > 0 ? format_text("%.3f", static_cast<double>(numerator) / denominator) : std::string("n/a");
}

}  // namespace kws
