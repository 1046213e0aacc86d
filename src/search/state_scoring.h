// Log-likelihood of one feature frame in one emitting HMM state.
//
// Two rules: the best single Gaussian (batch paths, anti-models) and the full
// mixture sum (the live path). Both fill the engine's score tables; search
// and verification read only the tables.
#pragma once

#include "frontend/feature_extraction.h"
#include "models/hmm_model.h"

namespace kws {

struct RecognizerEngine;

// -0.5 x the smallest GConst-plus-Mahalanobis distance over the state's
// components; -5e29 for a state without components.
float best_gaussian_score(const HmmModel& model, int state, const FeatureVector& frame);

// ln of the weighted sum of the components' densities; -infinity when the
// state has no components or all of them underflow.
float mixture_score(const HmmModel& model, int state, const FeatureVector& frame);

// Entry [frame][model][state] of the engine's state-score table, from its feature matrix.
void score_state_best_gaussian(RecognizerEngine& engine, int frame, int model, int state);
void score_state_mixture(RecognizerEngine& engine, int frame, int model, int state);
// Entry [frame][anti_model][state] of the anti-state-score table.
void score_anti_state_best_gaussian(RecognizerEngine& engine, int frame, int anti_model, int state);

// Every emitting state of every loaded model for frames 0..frame_count-1:
// the batch procedures' best-Gaussian fill and the live path's mixture fill.
void score_frames_best_gaussian(RecognizerEngine& engine, int frame_count);
void score_frames_mixture(RecognizerEngine& engine, int frame_count);

}  // namespace kws
