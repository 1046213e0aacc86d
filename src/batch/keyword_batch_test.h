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

#include "engine/recognizer_engine.h"

namespace kws {

inline constexpr int kBatchTestFiles = 50;
inline constexpr int kDefaultBatchTestSet = 1;

// Running totals of one run. 16 bits suffice: a run sees at most 50 x 20
// reference keywords and 50 x 200 candidates.
struct KeywordBatchTotals {
  std::int16_t total = 0;         // reference keywords
  std::int16_t accepted = 0;      // candidates reported
  std::int16_t detected = 0;      // candidates whose name is a reference keyword
  std::int16_t false_alarms = 0;  // candidates whose name is not
};

struct BatchCandidate {
  AcceptedKeyword keyword;  // name (Big5), start and end frame
  bool detected = false;
};

// Everything the station lists for one recording.
struct KeywordBatchFileReport {
  int file_number = 0;     // 1..50
  std::string short_name;  // "tr1_7.wav"
  std::int32_t sample_count = 0;  // samples analysed (header bytes included)
  bool truncated = false;         // the recording was longer than the sample buffer
  int reference_count = 0;
  int detected = 0;      // this file's counters, as left in its reference record
  int false_alarms = 0;
  std::vector<BatchCandidate> candidates;
  KeywordBatchTotals totals;  // over files 1..file_number
  // The statistics list: short name, separators, totals, this file's counts, rates.
  std::vector<std::string> statistics_lines;
  // One per candidate: a blank per whole ten frames of its start, then its name (Big5).
  std::vector<std::string> candidate_lines;
  // The six detail lines (Big5, as verification wrote them) of every displayed result.
  std::vector<std::string> detail_lines;
};

class KeywordBatchObserver {
 public:
  virtual ~KeywordBatchObserver() = default;
  // Before the recording is read; the station shows the short name.
  virtual void file_started(int /*file_number*/, std::string_view /*short_name*/) {}
  // After the recording has been scored.
  virtual void file_finished(const KeywordBatchFileReport& report) = 0;
};

struct KeywordBatchSummary {
  std::string refusal;  // empty when the run took place
  int files = 0;
  KeywordBatchTotals totals;
  std::int64_t samples = 0;  // analysed over all files

  double audio_seconds() const;
};

// Runs the test over files 1..50 of the set. Ends the process with status 1,
// after a console message naming the file, when a recording cannot be read.
// Refuses (with the reason, before any file) an engine that was not started.
KeywordBatchSummary run_keyword_batch_test(RecognizerEngine& engine, int set_number, KeywordBatchObserver& observer);

// The steps of one file, for the station and for tests.

std::string batch_recording_name(int set_number, int file_number);
std::string batch_recording_path(const RecognizerEngine& engine, int set_number, int file_number);

struct BatchRecording {
  std::int32_t sample_count = 0;
  bool truncated = false;
};

// Reads every byte of the file into the sample buffer as little-endian
// samples. A file longer than the buffer is cut to its first 8 s, with a
// console note. A file that cannot be read ends the process with status 1
// after a console message naming it.
BatchRecording load_batch_recording(RecognizerEngine& engine, const std::string& path);

// Features and best-Gaussian state scores of sample_count samples from the
// start of the sample buffer, then the keyword pass from the search on.
// Leaves the accepted list, the results, display order and details. A
// recording of no whole frame, or an empty vocabulary, has no candidates.
void run_batch_keyword_pass(RecognizerEngine& engine, std::int32_t sample_count);

// Resets the record's counters and counts each candidate once: detected when
// its name equals (byte for byte) a reference keyword, else false. Returns,
// per candidate, whether it was detected.
std::vector<bool> score_against_reference(KeywordReferenceRecord& record, std::span<const AcceptedKeyword> candidates);

void add_to_totals(KeywordBatchTotals& totals, const KeywordReferenceRecord& record, int candidate_count);

// numerator / denominator, or nothing when the denominator is 0.
std::optional<double> batch_rate(int numerator, int denominator);
// "%5.2f" of the rate; "  n/a", of the same width, when the denominator is 0.
std::string batch_rate_text(int numerator, int denominator);

std::vector<std::string> batch_statistics_lines(std::string_view short_name, const KeywordBatchTotals& totals,
                                                const KeywordReferenceRecord& record, int candidate_count);

std::string batch_candidate_line(const AcceptedKeyword& candidate);

}  // namespace kws
