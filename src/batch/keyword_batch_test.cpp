#include "batch/keyword_batch_test.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/audio_file.h"
#include "platform/data_path.h"
#include "platform/message_sink.h"
#include "search/keyword_search.h"
#include "search/recognition_pass.h"
#include "search/state_scoring.h"
#include "search/verification.h"

namespace kws {
namespace {

std::string_view reference_keyword(const KeywordReferenceRecord& record, int index) {
  const char* field = record.keywords[index];
  return {field, strnlen(field, kKeywordFieldBytes)};
}

int reference_count(const KeywordReferenceRecord& record) {
  return std::clamp(static_cast<int>(record.keyword_count), 0, kMaxRecordKeywords);
}

KeywordBatchFileReport report_file(const RecognizerEngine& engine, int file_number, std::string short_name,
                                   const BatchRecording& recording, const KeywordReferenceRecord& record,
                                   const std::vector<bool>& detected, const KeywordBatchTotals& totals) {
  KeywordBatchFileReport report;
  report.file_number = file_number;
  report.sample_count = recording.sample_count;
  report.truncated = recording.truncated;
  report.reference_count = reference_count(record);
  report.detected = record.detected;
  report.false_alarms = record.false_alarms;
  report.totals = totals;
  const int candidates = static_cast<int>(engine.accepted.size());
  report.statistics_lines = batch_statistics_lines(short_name, totals, record, candidates);
  for (std::size_t i = 0; i < engine.accepted.size(); ++i) {
    report.candidates.push_back({engine.accepted[i], detected[i]});
    report.candidate_lines.push_back(batch_candidate_line(engine.accepted[i]));
  }
  // Verification off writes no detail lines; the stored ones would belong to
  // an earlier utterance.
  if (engine.settings.verification_enabled.load(std::memory_order_relaxed) != 0) {
    const int shown = displayed_result_count(engine);
    for (int position = 0; position < shown; ++position) {
      const ResultDetail& detail = engine.details[static_cast<std::size_t>(position)];
      report.detail_lines.insert(report.detail_lines.end(), detail.begin(), detail.end());
    }
  }
  report.short_name = std::move(short_name);
  return report;
}

}  // namespace

double KeywordBatchSummary::audio_seconds() const { return static_cast<double>(samples) / kStationSampleRate; }

std::string batch_recording_name(int set_number, int file_number) {
  return format_text("tr%d_%d.wav", set_number, file_number);
}

std::string batch_recording_path(const RecognizerEngine& engine, int set_number, int file_number) {
  return join_data_path(engine.data_directory, format_text("\\wave\\tr%d_%d.wav", set_number, file_number));
}

BatchRecording load_batch_recording(RecognizerEngine& engine, const std::string& path) {
  const LoadedAudio audio = load_raw_samples(path);
  if (!audio.ok()) {
    // Ending silently would leave the user guessing which of the 50 files is missing.
    message_sink().console(format_text("Cannot open test recording %s\n", path.c_str()));
    end_process_with_failure();
  }
  BatchRecording recording;
  const std::size_t available = audio.samples.size();
  // Cutting rather than refusing keeps the file's reference keywords in the
  // statistics, and a recording of exactly 8 s is over the limit by its
  // header alone, which only costs its last 1.4 ms.
  if (available > static_cast<std::size_t>(kSampleBufferSamples)) {
    message_sink().console(format_text("%s: %zu samples, more than the %d the sample buffer holds; "
                                       "only the first 8 s are used\n",
                                       path.c_str(), available, kSampleBufferSamples));
    recording.truncated = true;
  }
  const std::size_t used = std::min(available, static_cast<std::size_t>(kSampleBufferSamples));
  recording.sample_count = static_cast<std::int32_t>(used);
  std::copy_n(audio.samples.begin(), recording.sample_count, engine.sample_buffer.get());
  return recording;
}

void run_batch_keyword_pass(RecognizerEngine& engine, std::int32_t sample_count) {
  engine.accepted.clear();
  Utterance& utterance = engine.utterance;
  utterance = {};
  utterance.capture_end = sample_count;
  utterance.sample_count = sample_count;
  utterance.byte_count = 2 * sample_count;
  utterance.end = sample_count;
  engine.analysis_source = {engine.sample_buffer.get(), 0, sample_count};

  const int frames = extract_features(engine);
  engine.search.frame_count = frames;
  // The live pass refuses both before its search; the batch test reports
  // the file with no candidates.
  if (frames < 1 || engine.vocabulary.entry_count <= 0) {
    utterance.refusal = frames < 1 ? UtteranceRefusal::too_short : UtteranceRefusal::empty_vocabulary;
    engine.results.count = 0;
    return;
  }
  score_frames_best_gaussian(engine, frames);
  // The live pass trims the end and refuses short or offset recordings before
  // its search; the batch test takes the whole recording. Processing starts
  // here, as it does live, where features and scores were computed during capture.
  engine.times.start = processor_milliseconds();
  search_rank_and_verify(engine);
}

std::vector<bool> score_against_reference(KeywordReferenceRecord& record, std::span<const AcceptedKeyword> candidates) {
  record.detected = 0;
  record.false_alarms = 0;
  std::vector<bool> detected;
  detected.reserve(candidates.size());
  const int references = reference_count(record);
  for (const AcceptedKeyword& candidate : candidates) {
    bool found = false;
    for (int k = 0; k < references && !found; ++k) found = reference_keyword(record, k) == candidate.name;
    if (found) {
      ++record.detected;
    } else {
      ++record.false_alarms;
    }
    detected.push_back(found);
  }
  return detected;
}

void add_to_totals(KeywordBatchTotals& totals, const KeywordReferenceRecord& record, int candidate_count) {
  totals.accepted = static_cast<std::int16_t>(totals.accepted + candidate_count);
  totals.total = static_cast<std::int16_t>(totals.total + reference_count(record));
  totals.detected = static_cast<std::int16_t>(totals.detected + record.detected);
  totals.false_alarms = static_cast<std::int16_t>(totals.false_alarms + record.false_alarms);
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
                                                const KeywordReferenceRecord& record, int candidate_count) {
  return {
      std::string(short_name),
      "*******************************",
      format_text("Total_KWs=%d", totals.total),
      format_text("Accepted_KWs=%d", totals.accepted),
      format_text("Detected_KWs=%d", totals.detected),
      format_text("False_KWs=%d", totals.false_alarms),
      format_text("LocalKWs=%d Cands=%d Detected:%d", reference_count(record), candidate_count, record.detected),
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

KeywordBatchSummary run_keyword_batch_test(RecognizerEngine& engine, int set_number, KeywordBatchObserver& observer) {
  KeywordBatchSummary summary;
  if (!engine.sample_buffer) {
    summary.refusal = "the engine has not been started (no sample buffer)";
    return summary;
  }
  for (int file = 1; file <= kBatchTestFiles; ++file) {
    std::string short_name = batch_recording_name(set_number, file);
    observer.file_started(file, short_name);
    engine.accepted.clear();
    const BatchRecording recording = load_batch_recording(engine, batch_recording_path(engine, set_number, file));
    run_batch_keyword_pass(engine, recording.sample_count);

    KeywordReferenceRecord& record = engine.keyword_references[static_cast<std::size_t>(file) - 1];
    const std::vector<bool> detected = score_against_reference(record, engine.accepted);
    add_to_totals(summary.totals, record, static_cast<int>(engine.accepted.size()));
    summary.files = file;
    summary.samples += recording.sample_count;
    observer.file_finished(
        report_file(engine, file, std::move(short_name), recording, record, detected, summary.totals));
  }
  return summary;
}

}  // namespace kws
