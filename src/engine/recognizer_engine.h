// The one engine object on which all recognition work happens.
//
// Almost all of its capacity is fixed-size arrays sized for the largest
// utterance, vocabulary and model set supported; only the two model sets, the
// sample buffer and the vocabulary's growable tables are obtained at run time.
// The station keeps one engine in static storage for the whole process; tests
// make their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "audio/noise_calibration.h"
#include "batch/syllable_lattice_tables.h"
#include "frontend/feature_extraction.h"
#include "lexicon/vocabulary.h"
#include "models/model_set.h"
#include "search/search_tables.h"

namespace kws {

inline constexpr int kMaxModels = 160;           // model dimension of the state-score table
inline constexpr int kReferenceRecords = 50;     // one per batch test recording
inline constexpr int kMaxRecordKeywords = 20;
inline constexpr int kKeywordFieldBytes = 20;    // 19 bytes of Big5 text and the terminator
inline constexpr int kCharacterReadingEntries = 14065;
inline constexpr int kSampleBufferSamples = 128000;  // 8 s at 16 kHz

// The keywords spoken in one batch test recording, and the batch test's counters.
struct KeywordReferenceRecord {
  std::int16_t keyword_count;
  char keywords[kMaxRecordKeywords][kKeywordFieldBytes];
  std::int16_t detected;
  std::int16_t false_alarms;
};

// One reading of one character: a syllable-table row and the Big5 character.
struct CharacterReadingEntry {
  std::int32_t syllable_number;
  char character[4];
};
static_assert(sizeof(CharacterReadingEntry) == 8);

// The samples the front end analyses and the segment [start, end) of them.
struct AnalysisSource {
  const std::int16_t* samples = nullptr;
  std::int32_t start = 0;
  std::int32_t end = 0;
};

// Why the recognition pass refused the last utterance.
enum class UtteranceRefusal {
  none,
  empty_vocabulary,
  no_sample_buffer,  // the engine was not started
  too_short,
  too_long,  // more than the sample buffer holds
  offset,
  too_short_after_trimming,
};

// One recorded utterance in the sample buffer and what the recognition pass
// derives from it.
struct Utterance {
  std::int32_t capture_start = 0;  // the recording, as sample indices of the sample buffer
  std::int32_t capture_end = 0;
  std::int32_t sample_count = 0;
  std::int32_t byte_count = 0;
  std::int32_t start = 0;  // after trimming; start is the analysis origin
  std::int32_t end = 0;
  UtteranceRefusal refusal = UtteranceRefusal::none;
};

struct RecognizerEngine {
  std::string data_directory;  // no trailing separator
  std::array<KeywordReferenceRecord, kReferenceRecords> keyword_references{};
  std::array<CharacterReadingEntry, kCharacterReadingEntries> character_readings{};
  std::unique_ptr<std::int16_t[]> sample_buffer;  // kSampleBufferSamples, from start-up to shut-down
  AnalysisSource analysis_source;
  ModelSet main_models;
  ModelSet anti_models;
  FeatureMatrix features{};

  Vocabulary vocabulary;

  StateScoreTable state_scores{};
  AntiStateScoreTable anti_state_scores{};

  SearchSettings settings;
  Utterance utterance;
  NoiseCalibration calibration;
  KeywordSearchTables search{};
  RecognitionResults results{};
  std::array<std::int16_t, kMaxResults> display_order{};
  AlignmentTables alignment{};
  std::array<ResultVerification, kMaxResults> verifications{};
  std::array<ResultDetail, kMaxResults> details{};  // by display position
  std::vector<AcceptedKeyword> accepted;            // at most kMaxResults
  PassTimes times;

  // Free-syllable decoding of a stored utterance: the lattice depth setting
  // and the last run's tables, path, lattice and report lines.
  SyllableLatticeRun syllable_lattice;
};

// Records directory as the data directory. Refuses (with the reason) a
// directory too long to form paths under it on this platform.
std::string set_data_directory(RecognizerEngine& engine, std::string_view directory);

// Loads the anti-models, the keyword reference table, the model list with one
// definition per model, the sample buffer and the character reading table, and
// builds the front end's analysis set-up. Either returns with all of it loaded
// or reports the failure and ends the process with status 1.
void engine_start_up(RecognizerEngine& engine);

// Releases what start-up obtained.
void engine_shut_down(RecognizerEngine& engine);

// Features of the engine's analysis source into its feature matrix, with the
// station's shared front end; returns the frame count.
int extract_features(RecognizerEngine& engine);

}  // namespace kws
