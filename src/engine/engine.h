// The keyword-spotting engine: the one header its callers include (the kws
// command, the capture loop, the station's window).
//
// Three kinds of value, each with one owner:
//
//  - LoadedData, from start_engine: the models, anti-models, reference
//    records, reading table and analysis tables of one data directory.
//    Read-only once made; shared (shared_ptr<const>) by every thread.
//  - Vocabulary, from choose_vocabulary: the entries with their levels and
//    tree. Read-only once made; choosing another vocabulary makes a new
//    value, so a pass in progress keeps the one it started with.
//  - Workspace, from make_workspace: everything one pass writes (about
//    19 MB). Owned by one thread at a time; one pass at a time on it.
//
// Any number of passes may run at once on different workspaces over the same
// LoadedData and Vocabulary; nothing else in the engine is written by a pass.
// Messages that do not end a pass (a vocabulary entry skipped, a search
// refused) go to the installed message sink, which must be safe to call from
// the threads that run passes.
//
// Failures that end the work come back as a Refusal carrying the station's
// exact text and where it shows it; the caller decides what follows (the
// station ends after a refusal with ends_station set).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_values.h"
#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "platform/refusal.h"

namespace kws {

struct UtteranceWorkspace;
struct SyllableLatticeRun;

// Why a data directory cannot be used (its path is too long for the names
// formed under it), or an empty string.
std::string data_directory_refusal(std::string_view directory);

// Start-up: loads the data directory (a trailing separator is ignored).
// Refuses with the text of the first file that failed; the station ends after
// every start-up refusal.
OrRefusal<std::shared_ptr<const LoadedData>> start_engine(std::string_view data_directory);

// Loads the vocabulary called name (UTF-8; it names data/NAME.dat and
// data/NAME.spl) over the loaded models. Warnings about single entries go to
// the message sink and loading goes on. Refuses missing files and memory
// that cannot be had (the station ends), and a vocabulary too large for the
// search (the station goes on without one).
OrRefusal<std::shared_ptr<const Vocabulary>> choose_vocabulary(const LoadedData& data, std::string_view name);

class Workspace {
 public:
  Workspace(Workspace&&) noexcept;
  Workspace& operator=(Workspace&&) noexcept;
  ~Workspace();

  // The tables the last pass wrote, for the engine's own procedures, tools
  // and tests that look inside a pass.
  UtteranceWorkspace& tables() { return *tables_; }
  const UtteranceWorkspace& tables() const { return *tables_; }
  // The free-syllable decoding's tables, made on first use.
  SyllableLatticeRun& lattice_run();
  // The sample buffer of the last pass or capture (8 s); the utterance
  // starts at sample 0 and frame f at sample 160 f.
  std::span<const std::int16_t> samples() const;

 private:
  friend OrRefusal<Workspace> make_workspace(const LoadedData& data);
  explicit Workspace(std::unique_ptr<UtteranceWorkspace> tables);

  std::unique_ptr<UtteranceWorkspace> tables_;
  std::unique_ptr<SyllableLatticeRun> lattice_;
};

// A workspace for passes over data. Refuses when its memory cannot be had.
OrRefusal<Workspace> make_workspace(const LoadedData& data);

// The one recognition call: the keyword pass over samples (16-bit, 16 kHz)
// as options say; the samples are copied, the caller keeps them. A refused
// utterance (too short, too long, offset, empty vocabulary) comes back with
// its reason and no results. With checks off the pass takes at most the first
// 8 s. A search that ran out of memory ends early with the results it found
// and allocation_failure set, to be shown (it waits for a key) before going
// on. The workspace keeps every table of the pass until the next one.
RecognitionOutcome recognize(const LoadedData& data, const Vocabulary& vocabulary,
                             std::span<const std::int16_t> samples, const PassOptions& options, Workspace& workspace);

// One utterance analysed while it is being recorded, into a workspace: the
// endpoint detector stores each 100 ms buffer in the workspace's sample
// buffer, and the frames of the new audio are analysed at once, their deltas
// and mixture state scores ten frames behind (a delta needs the frames two
// ahead). When the utterance ends only the last ten frames remain, and the
// pass over it starts at the search. The features and scores are those the
// whole-recording front end gives for the same samples.
class LiveAnalysis {
 public:
  LiveAnalysis(const LoadedData& data, Workspace& workspace) : data_(data), workspace_(workspace) {}

  // Before a capture: the utterance is 1600 samples long, too short for a
  // pass, until an utterance ends normally and says how long it is.
  void begin_capture();
  // Copies samples into the sample buffer from sample offset on, as far as it holds.
  void store(std::int32_t offset, std::span<const std::int16_t> samples);
  // Frames 0..8 of the first buffer (a tenth needs the next buffer's samples).
  void first_buffer_features();
  // Frames n..n+9 of the next buffer (n the frame count), then deltas, feature
  // rows and state scores of frames max(0, n - 10) .. max(0, n - 10) + 9.
  void next_buffer_features();
  // Deltas, rows and scores of the last ten frames, the last two with the
  // backward difference.
  void finish_utterance_features();
  // The utterance's sample count, when it has ended normally.
  void set_capture_end(std::int32_t samples);

  std::int32_t frame_count() const { return frame_count_; }
  std::int32_t capture_end() const;
  std::span<const std::int16_t> samples() const { return workspace_.samples(); }
  const LoadedData& data() const { return data_; }
  Workspace& workspace() { return workspace_; }

 private:
  void delta_and_score(int first_frame, int frame_count);

  const LoadedData& data_;
  Workspace& workspace_;
  std::int32_t frame_count_ = 0;
};

// The keyword pass over the utterance a live analysis holds: the checks and
// trimming (with the calibration's thresholds, options.trimming calibrated)
// and the search on the scores computed during the capture.
RecognitionOutcome recognize(const Vocabulary& vocabulary, LiveAnalysis& captured, const PassOptions& options);
// The large-vocabulary pass over it.
SyllableLoopOutcome recognize_syllables(const Vocabulary& vocabulary, LiveAnalysis& captured,
                                        const PassOptions& options);

// The large-vocabulary pass: the same checks and trimming, then every level-0
// syllable of the vocabulary in a free loop; the best syllables at the end.
SyllableLoopOutcome recognize_syllables(const LoadedData& data, const Vocabulary& vocabulary,
                                        std::span<const std::int16_t> samples, const PassOptions& options,
                                        Workspace& workspace);

// The free-syllable lattice of a stored recording, read whole as raw samples,
// and its three files (news.rep, dat/NAME.dat, syllable.h) in output_folder.
LatticeFiles station_lattice_files(const LoadedData& data);
std::string lattice_name(std::string_view recording);  // the recording's file name up to its first "."
OrRefusal<LatticeOutcome> run_syllable_lattice(const LoadedData& data, const Vocabulary& vocabulary,
                                               const LatticeFiles& files, Workspace& workspace);

// The keyword batch test over recordings 1..50 of a set (wave/tr<set>_<n>.wav)
// with the batch procedures' pass (batch_pass_options), reporting each file
// to the observer as it is done. Refuses a recording that cannot be read.
PassOptions batch_pass_options();
OrRefusal<KeywordBatchSummary> run_keyword_batch_test(const LoadedData& data, const Vocabulary& vocabulary,
                                                      int set_number, const PassOptions& options,
                                                      KeywordBatchObserver& observer, Workspace& workspace);
// A candidate as the station lists it: a blank per whole ten frames of its
// start, then its name (Big5), so that the lines line up roughly with time.
std::string batch_candidate_line(const AcceptedKeyword& candidate);
// The batch test's rates: numerator / denominator, nothing for a denominator
// of 0; as the station prints them, "%5.2f" or "  n/a".
std::optional<double> batch_rate(int numerator, int denominator);
std::string batch_rate_text(int numerator, int denominator);

// Evaluation against a reference list (see batch/evaluation.h for its form).
OrRefusal<std::vector<EvaluationItem>> read_evaluation_references(const std::string& path,
                                                                  const std::string& audio_folder);
EvaluationCounts score_evaluation_item(const EvaluationItem& item, std::span<const AcceptedKeyword> accepted);
void add_counts(EvaluationCounts& into, const EvaluationCounts& from);
std::string evaluation_rate_text(int numerator, int denominator);  // "%.3f", or "n/a" for a denominator of 0
// The threshold sweep: what a verified pass accepts at another threshold, the
// thresholds 0.30..0.50, and the mean detection over the false-alarm range.
std::vector<AcceptedKeyword> accepted_at(const RecognitionOutcome& outcome, double threshold);
std::vector<double> sweep_thresholds();
std::optional<double> figure_of_merit(std::span<const SweepPoint> points);

}  // namespace kws
