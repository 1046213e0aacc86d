// The values the engine API takes and gives back: a pass's options, its
// outcome, and the reports of the batch procedures. Plain values that own
// their contents, so a caller may keep or hand them to another thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audio_file.h"
#include "platform/refusal.h"

namespace kws {

inline constexpr int kSampleBufferSamples = 128000;  // 8 s at 16 kHz, the longest utterance
inline constexpr int kMaxResults = 200;
inline constexpr int kDetailLines = 6;
// The station's decision threshold on a result's mean confidence v1.
inline constexpr double kDefaultThreshold = 0.39;

// Why a recognition pass refused an utterance.
enum class UtteranceRefusal {
  none,
  empty_vocabulary,
  too_short,
  too_long,  // more than the sample buffer holds
  offset,
  too_short_after_trimming,
};

enum class ScoringMode {
  best_gaussian,  // the batch procedures
  mixture,        // the live path
};

// The thresholds that trim an utterance's trailing silence, from a noise
// calibration: the 80-sample window energies above `high` mark speech, the
// end then moves forward while they stay at or above `low`.
struct TrimThresholds {
  std::int32_t high = 0;
  std::int32_t low = 0;
};

enum class Trimming {
  off,             // the utterance keeps its end
  from_recording,  // thresholds measured on the recording's five quietest 100 ms
  calibrated,      // PassOptions::thresholds, from the microphone's calibration
};

struct PassOptions {
  // The live pass's checks: an utterance of 0.4 s or less, longer than the
  // sample buffer, with a DC offset, or under 0.3 s once trimmed is refused.
  // Off, the recording is taken whole, as the batch procedures take it, and
  // trimming does not apply.
  bool checks = true;
  Trimming trimming = Trimming::from_recording;
  TrimThresholds thresholds;
  ScoringMode scoring = ScoringMode::mixture;
  int results_wanted = 10;  // 1..200; never more than the vocabulary's entries
  bool verification = true;
  // A result is accepted when it passes the duration rules and its mean
  // confidence v1 is at least this.
  double threshold = kDefaultThreshold;
  bool keyword_spotting = true;  // filler before and after an entry; off: the entry spans the utterance
};

struct AcceptedKeyword {
  std::string name;  // Big5
  std::int16_t start_frame = 0;
  std::int16_t end_frame = 0;
};

// Processor-clock readings of one keyword pass, in milliseconds.
struct PassTimes {
  double start = 0.0;
  double forward_end = 0.0;
  double verification_start = 0.0;
  double verification_end = 0.0;
};

// The six text lines shown for one displayed result (Big5): the result line,
// the segmentation trace, an empty line, segment scores, confidences, means.
// All empty when verification is off.
using ResultDetail = std::array<std::string, kDetailLines>;

// One result as the station shows it, in display order.
struct DisplayedResult {
  int entry = 0;       // vocabulary index, from 0
  std::string name;    // Big5
  float score = 0.0f;  // of the N-best search
  std::int16_t start_frame = 0;
  std::int16_t end_frame = 0;  // as verification aligned it
  bool accepted = false;
  bool meets_duration_rules = false;          // accepted at any threshold up to confidence[0]
  float keyword_score = 0.0f;                 // (K)
  float anti_score = 0.0f;                    // (A)
  float filler_score = 0.0f;                  // (F)
  std::array<float, 3> confidence{};          // v1, v2, v3
  std::vector<std::int16_t> syllable_bounds;  // SB[0..L]
  std::vector<std::int16_t> unit_bounds;      // BND[0..2L]
  ResultDetail detail;
};

struct RecognitionOutcome {
  UtteranceRefusal refusal = UtteranceRefusal::none;
  std::int32_t frame_count = 0;  // T of the search
  // The utterance's samples, and where trimming put its start and end.
  std::int32_t sample_count = 0;
  std::int32_t trimmed_start = 0;
  std::int32_t trimmed_end = 0;
  std::vector<AcceptedKeyword> accepted;
  std::vector<DisplayedResult> results;
  PassTimes times;
  // Set when the stack search ran out of memory and stopped with the results
  // found so far: a console text after which the station waits for a key and
  // goes on.
  std::optional<Refusal> allocation_failure;

  bool recognised() const { return refusal == UtteranceRefusal::none; }
};

// The free syllable loop: the best syllables at the utterance's end.
struct SyllableLoopOutcome {
  UtteranceRefusal refusal = UtteranceRefusal::none;
  std::vector<std::string> best_syllables;  // Big5, best first, at most ten
  std::string text;                         // what the station shows: "(syllable)" per syllable, UTF-8
};

// Where the syllable lattice procedure reads and writes.
struct LatticeFiles {
  std::string recording;      // read whole as raw samples
  std::string output_folder;  // gets news.rep, syllable.h and dat/NAME.dat
};

// The syllable lattice of a stored recording, after its files are written.
struct LatticeOutcome {
  std::int32_t frame_count = 0;
  std::int32_t segments = 0;
  std::int32_t syllable_count = 0;        // K, the syllable list's size
  std::vector<std::string> report_lines;  // Big5, one per segment, as news.rep holds them
};

inline constexpr int kBatchTestFiles = 50;  // recordings per set
inline constexpr int kDefaultBatchTestSet = 1;

// The keyword batch test's running totals. 16 bits suffice: a run sees at
// most 50 x 20 reference keywords and 50 x 200 candidates.
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

// Everything the station lists for one recording of the batch test.
struct KeywordBatchFileReport {
  int file_number = 0;                  // 1..50
  std::string short_name;               // "tr1_7.wav"
  std::int32_t sample_count = 0;        // samples analysed (header bytes included)
  bool truncated = false;               // the recording was longer than the sample buffer
  std::vector<std::string> references;  // the record's keywords, Big5
  int detected = 0;                     // this file's candidates that are reference keywords
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
  int files = 0;
  KeywordBatchTotals totals;
  std::int64_t samples = 0;  // analysed over all files

  double audio_seconds() const { return static_cast<double>(samples) / kStationSampleRate; }
};

// One recording of an evaluation's reference list.
struct EvaluationItem {
  std::string audio_path;
  std::string vocabulary;            // UTF-8, as the station names it
  std::vector<std::string> entries;  // Big5, as the vocabulary holds them
  std::string condition;
  int line = 0;  // in the reference list
};

struct EvaluationCounts {
  int files = 0;
  int references = 0;
  int detected = 0;      // references with at least one accepted candidate of their name
  int accepted = 0;      // candidates
  int false_alarms = 0;  // candidates whose name was not spoken
};

// An evaluation's totals at one decision threshold.
struct SweepPoint {
  double threshold = 0.0;
  EvaluationCounts counts;
};

}  // namespace kws
