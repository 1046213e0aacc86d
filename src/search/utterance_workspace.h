// Everything one recognition pass writes: the utterance's samples, its
// features and the front end's buffers, the state-score tables, the search
// and verification tables, the results and the times.
//
// About 16 MB of fixed-capacity tables, overwritten utterance by utterance;
// make it on the heap. One workspace serves one pass at a time; passes on
// separate workspaces may run at once over the same loaded data and
// vocabulary.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/engine_values.h"
#include "frontend/feature_extraction.h"
#include "search/search_tables.h"

namespace kws {

// The samples the front end analyses and the segment [start, end) of them.
struct AnalysisSource {
  const std::int16_t* samples = nullptr;
  std::int32_t start = 0;
  std::int32_t end = 0;
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

struct UtteranceWorkspace {
  std::array<std::int16_t, kSampleBufferSamples> sample_buffer{};
  Utterance utterance;
  AnalysisSource analysis_source;
  FrontEndBuffers front_end;
  FeatureMatrix features{};

  StateScoreTable state_scores{};
  AntiStateScoreTable anti_state_scores{};

  SearchSettings settings;
  TrimThresholds trimming;  // of the pass in progress
  KeywordSearchTables search{};
  RecognitionResults results{};
  std::array<std::int16_t, kMaxResults> display_order{};
  AlignmentTables alignment{};
  std::array<ResultVerification, kMaxResults> verifications{};
  std::array<ResultDetail, kMaxResults> details{};  // by display position
  std::vector<AcceptedKeyword> accepted;            // at most kMaxResults
  PassTimes times;
};

}  // namespace kws
