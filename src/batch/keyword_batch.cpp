#include "batch/keyword_batch.h"

#include <algorithm>
#include <cstring>

#include "lexicon/vocabulary.h"
#include "platform/audio_file.h"
#include "platform/data_path.h"
#include "platform/message_sink.h"
#include "search/recognition_pass.h"
#include "search/utterance_workspace.h"

namespace kws {
namespace {

std::string_view reference_keyword(const KeywordReferenceRecord& record, int index) {
  const char* field = record.keywords[index];
  return {field, strnlen(field, kKeywordFieldBytes)};
}

int reference_count(const KeywordReferenceRecord& record) {
  return std::clamp(static_cast<int>(record.keyword_count), 0, kMaxRecordKeywords);
}

KeywordBatchFileReport report_file(const KeywordReferenceRecord& record, int file_number, std::string short_name,
                                   const BatchRecording& recording, const RecognitionOutcome& outcome,
                                   const ReferenceScore& score, const KeywordBatchTotals& totals, bool verification) {
  KeywordBatchFileReport report;
  report.file_number = file_number;
  report.sample_count = static_cast<std::int32_t>(recording.samples.size());
  report.truncated = recording.truncated;
  report.references = reference_keywords(record);
  report.detected = score.detected;
  report.false_alarms = score.false_alarms;
  report.totals = totals;
  const int candidates = static_cast<int>(outcome.accepted.size());
  report.statistics_lines = batch_statistics_lines(short_name, totals, record, score, candidates);
  for (std::size_t i = 0; i < outcome.accepted.size(); ++i) {
    report.candidates.push_back({outcome.accepted[i], score.candidate_detected[i]});
    report.candidate_lines.push_back(batch_candidate_line(outcome.accepted[i]));
  }
  // Verification off writes no detail lines.
  if (verification) {
    for (const DisplayedResult& result : outcome.results) {
      report.detail_lines.insert(report.detail_lines.end(), result.detail.begin(), result.detail.end());
    }
  }
  report.short_name = std::move(short_name);
  return report;
}

}  // namespace

PassOptions batch_pass_options() {
  PassOptions options;
  options.checks = false;
  options.trimming = Trimming::off;
  options.scoring = ScoringMode::best_gaussian;
  options.results_wanted = kResultsAfterVocabularyChoice;
  return options;
}

std::string batch_recording_name(int set_number, int file_number) {
  return format_text("tr%d_%d.wav", set_number, file_number);
}

std::string batch_recording_path(const LoadedData& data, int set_number, int file_number) {
  return join_data_path(data.data_directory, format_text("\\wave\\tr%d_%d.wav", set_number, file_number));
}

OrRefusal<BatchRecording> load_batch_recording(const std::string& path) {
  LoadedAudio audio = load_raw_samples(path);
  // Ending silently would leave the user guessing which of the 50 files is missing.
  if (!audio.ok()) return Refusal::on_console(format_text("Cannot open test recording %s\n", path.c_str()));
  BatchRecording recording;
  // Cutting rather than refusing keeps the file's reference keywords in the
  // statistics, and a recording of exactly 8 s is over the limit by its
  // header alone, which only costs its last 1.4 ms.
  if (audio.samples.size() > static_cast<std::size_t>(kSampleBufferSamples)) {
    message_sink().console(
        format_text("%s: %zu samples, more than the %d the sample buffer holds; "
                    "only the first 8 s are used\n",
                    path.c_str(), audio.samples.size(), kSampleBufferSamples));
    recording.truncated = true;
    audio.samples.resize(kSampleBufferSamples);
  }
  recording.samples = std::move(audio.samples);
  return recording;
}

ReferenceScore score_against_reference(const KeywordReferenceRecord& record,
                                       std::span<const AcceptedKeyword> candidates) {
  ReferenceScore score;
  score.candidate_detected.reserve(candidates.size());
  const int references = reference_count(record);
  for (const AcceptedKeyword& candidate : candidates) {
    bool found = false;
    for (int k = 0; k < references && !found; ++k) found = reference_keyword(record, k) == candidate.name;
    if (found) {
      ++score.detected;
    } else {
      ++score.false_alarms;
    }
    score.candidate_detected.push_back(found);
  }
  return score;
}

std::vector<std::string> reference_keywords(const KeywordReferenceRecord& record) {
  std::vector<std::string> keywords;
  for (int k = 0; k < reference_count(record); ++k) keywords.emplace_back(reference_keyword(record, k));
  return keywords;
}

void add_to_totals(KeywordBatchTotals& totals, const KeywordReferenceRecord& record, const ReferenceScore& score,
                   int candidate_count) {
  totals.accepted = static_cast<std::int16_t>(totals.accepted + candidate_count);
  totals.total = static_cast<std::int16_t>(totals.total + reference_count(record));
  totals.detected = static_cast<std::int16_t>(totals.detected + score.detected);
  totals.false_alarms = static_cast<std::int16_t>(totals.false_alarms + score.false_alarms);
}

std::optional<double> batch_rate(int numerator, int denominator) {
  if (denominator == 0) return std::nullopt;
  return static_cast<double>(numerator) / static_cast<double>(denominator);
}

std::string batch_rate_text(int numerator, int denominator) {
  const std::optional<double> rate = batch_rate(numerator, denominator);
  return rate ? format_text("%5.2f", *rate) : std::string("  n/a");
}

std::vector<std::string> batch_statistics_lines(std::string_view short_name, const KeywordBatchTotals& totals,
                                                const KeywordReferenceRecord& record, const ReferenceScore& score,
                                                int candidate_count) {
  return {
      std::string(short_name),
      "*******************************",
      format_text("Total_KWs=%d", totals.total),
      format_text("Accepted_KWs=%d", totals.accepted),
      format_text("Detected_KWs=%d", totals.detected),
      format_text("False_KWs=%d", totals.false_alarms),
      format_text("LocalKWs=%d Cands=%d Detected:%d", reference_count(record), candidate_count, score.detected),
      "-----------------------------",
      "Detection Rate=" + batch_rate_text(totals.detected, totals.total),
      "FalseAlarmRate=" + batch_rate_text(totals.false_alarms, totals.accepted),
  };
}

std::string batch_candidate_line(const AcceptedKeyword& candidate) {
  // Division truncates toward zero; a start before frame 0 cannot occur but gets no indent.
  const int indent = std::max(0, candidate.start_frame / 10);
  return std::string(static_cast<std::size_t>(indent), ' ') + candidate.name;
}

OrRefusal<KeywordBatchSummary> run_keyword_batch_test(const LoadedData& data, const Vocabulary& vocabulary,
                                                      int set_number, const PassOptions& options,
                                                      KeywordBatchObserver& observer, UtteranceWorkspace& work) {
  KeywordBatchSummary summary;
  for (int file = 1; file <= kBatchTestFiles; ++file) {
    std::string short_name = batch_recording_name(set_number, file);
    observer.file_started(file, short_name);
    const OrRefusal<BatchRecording> recording = load_batch_recording(batch_recording_path(data, set_number, file));
    if (!recording) return recording.refusal();
    const RecognitionOutcome outcome = recognize_utterance(data, vocabulary, recording->samples, options, work);

    const KeywordReferenceRecord& record = data.keyword_references[static_cast<std::size_t>(file) - 1];
    const ReferenceScore score = score_against_reference(record, outcome.accepted);
    add_to_totals(summary.totals, record, score, static_cast<int>(outcome.accepted.size()));
    summary.files = file;
    summary.samples += static_cast<std::int64_t>(recording->samples.size());
    observer.file_finished(report_file(record, file, std::move(short_name), *recording, outcome, score, summary.totals,
                                       options.verification));
  }
  return summary;
}

}  // namespace kws
