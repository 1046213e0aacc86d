// What start-up loads from the data directory and every recognition pass then
// only reads: the main models and anti-models, the keyword reference table,
// the character reading table and the front end's analysis tables.
//
// Nothing writes it after start-up, so any number of threads may read one
// LoadedData at once.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frontend/analysis_setup.h"
#include "models/model_set.h"
#include "search/gaussian_tables.h"

namespace kws {

inline constexpr int kMaxModels = 160;        // model dimension of the state-score table
inline constexpr int kReferenceRecords = 50;  // one per batch test recording
inline constexpr int kMaxRecordKeywords = 20;
inline constexpr int kKeywordFieldBytes = 20;  // 19 bytes of Big5 text and the terminator
inline constexpr int kCharacterReadingEntries = 14065;

// The keywords spoken in one batch test recording.
struct KeywordReferenceRecord {
  std::int16_t keyword_count;
  char keywords[kMaxRecordKeywords][kKeywordFieldBytes];
};

// One reading of one character: a syllable-table row and the Big5 character.
struct CharacterReadingEntry {
  std::int32_t syllable_number;
  char character[4];
};
static_assert(sizeof(CharacterReadingEntry) == 8);

struct LoadedData {
  std::string data_directory;  // no trailing separator
  std::array<KeywordReferenceRecord, kReferenceRecords> keyword_references{};
  std::array<CharacterReadingEntry, kCharacterReadingEntries> character_readings{};
  ModelSet main_models;
  ModelSet anti_models;
  // The models' Gaussians laid out for fast scoring; whoever changes a model
  // set rebuilds them with pack_gaussians.
  GaussianTables main_gaussians;
  GaussianTables anti_gaussians;
  AnalysisTables analysis;
};

// Builds main_gaussians and anti_gaussians from the model sets.
void pack_gaussians(LoadedData& data);

}  // namespace kws
