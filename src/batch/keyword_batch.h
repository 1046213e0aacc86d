// The keyword batch test: the keyword pass over the 50 stored test recordings
// of one set, each compared with its record of the keyword reference table,
// with running detection and false-alarm counts after every file.
//
// Each recording "wave\tr<set>_<n>.wav" under the data directory is read whole
// as raw 16-bit samples (a header is read as samples too), its features and
// best-Gaussian state scores cover the whole recording, and the live keyword
// pass runs from the search on. The live pass's preamble is not run: no
// length or offset refusal and no end trimming, because the stored
// recordings are cut already and the trimming thresholds belong to the
// microphone's calibration, not to them.
//
// The station's worker and the kws command share this code; an observer sees
// every file's report as soon as it is made.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_values.h"
#include "engine/loaded_data.h"
#include "platform/refusal.h"

namespace kws {

struct UtteranceWorkspace;
struct Vocabulary;

// The pass the batch procedures run: the whole recording without checks,
// best-Gaussian state scores, 10 results wanted, verification on.
PassOptions batch_pass_options();

// Runs the test over files 1..50 of the set with the given pass options.
// Refuses, after the files before it were reported, a recording that cannot
// be read ("Cannot open test recording <path>" on the console).
OrRefusal<KeywordBatchSummary> run_keyword_batch_test(const LoadedData& data, const Vocabulary& vocabulary,
                                                      int set_number, const PassOptions& options,
                                                      KeywordBatchObserver& observer, UtteranceWorkspace& work);

// The steps of one file, for the station and for tests.

std::string batch_recording_name(int set_number, int file_number);
std::string batch_recording_path(const LoadedData& data, int set_number, int file_number);

struct BatchRecording {
  std::vector<std::int16_t> samples;  // at most the sample buffer's 8 s
  bool truncated = false;
};

// Reads every byte of the file as little-endian samples. A file longer than
// the sample buffer is cut to its first 8 s, with a console note. Refuses a
// file that cannot be read, naming it.
OrRefusal<BatchRecording> load_batch_recording(const std::string& path);

// How one recording's candidates compare with its reference record: each
// candidate is counted once, detected when its name equals (byte for byte)
// a reference keyword, else a false alarm.
struct ReferenceScore {
  int detected = 0;
  int false_alarms = 0;
  std::vector<bool> candidate_detected;  // per candidate
};
ReferenceScore score_against_reference(const KeywordReferenceRecord& record,
                                       std::span<const AcceptedKeyword> candidates);

// The record's keywords, Big5.
std::vector<std::string> reference_keywords(const KeywordReferenceRecord& record);

void add_to_totals(KeywordBatchTotals& totals, const KeywordReferenceRecord& record, const ReferenceScore& score,
                   int candidate_count);

// numerator / denominator, or nothing when the denominator is 0.
std::optional<double> batch_rate(int numerator, int denominator);
// "%5.2f" of the rate; "  n/a", of the same width, when the denominator is 0.
std::string batch_rate_text(int numerator, int denominator);

std::vector<std::string> batch_statistics_lines(std::string_view short_name, const KeywordBatchTotals& totals,
                                                const KeywordReferenceRecord& record, const ReferenceScore& score,
                                                int candidate_count);

std::string batch_candidate_line(const AcceptedKeyword& candidate);

}  // namespace kws
