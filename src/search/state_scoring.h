// Log-likelihood of one feature frame in one emitting HMM state.
//
// Two rules: the best single Gaussian (batch paths, anti-models) and the full
// mixture sum (the live path). Both fill a workspace's score tables; search
// and verification read only the tables.
//
// The plain rules (best_gaussian_score, mixture_score) sum a component's
// distance, GConst plus the precision-weighted squared differences, in
// double in dimension order 0..23 and keep the mixture sum in double. The
// table-filling functions score the same rules from the loaded data's
// packed Gaussians in single precision, within a relative 1e-5 of them (see
// gaussian_tables.h); data whose models were not packed gets the plain rules.
// Transition probabilities take no part in state scoring.
#pragma once

#include "frontend/feature_extraction.h"
#include "models/hmm_model.h"

namespace kws {

struct LoadedData;
struct UtteranceWorkspace;
struct Vocabulary;

// -0.5 x the smallest distance over the state's components (the earlier
// component keeps a tie); -5e29 for a state without components.
float best_gaussian_score(const HmmModel& model, int state, const FeatureVector& frame);

// ln of the weighted sum of the components' densities exp(-0.5 distance);
// -infinity when the state has no components or all of them underflow.
float mixture_score(const HmmModel& model, int state, const FeatureVector& frame);

// Entry [frame][model][state] of the workspace's state-score table, from its feature matrix.
void score_state_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame, int model, int state);
void score_state_mixture(const LoadedData& data, UtteranceWorkspace& work, int frame, int model, int state);
// Entry [frame][anti_model][state] of the anti-state-score table.
void score_anti_state_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame, int anti_model,
                                    int state);

// Every emitting state of one anti-model for frames [first_frame, end_frame)
// (those inside 0..799) of the anti-state-score table.
void score_anti_model_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int anti_model, int first_frame,
                                    int end_frame);

// One frame of the state-score table:
//  - best-Gaussian (batch procedures): every slot below the loaded model count;
//  - mixture (live path): slots 0..152 (those that are loaded).
// Every emitting state 1..N-2; models with N <= 2 have none. A frame outside
// 0..799 is refused (nothing is written).
void score_frame_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame);
void score_frame_mixture(const LoadedData& data, UtteranceWorkspace& work, int frame);
// Mixture scores of frames [first_frame, end_frame), those inside 0..799.
void score_frame_range_mixture(const LoadedData& data, UtteranceWorkspace& work, int first_frame, int end_frame);

// The same for frames 0..frame_count-1; a count above 800 is refused.
void score_frames_best_gaussian(const LoadedData& data, UtteranceWorkspace& work, int frame_count);
void score_frames_mixture(const LoadedData& data, UtteranceWorkspace& work, int frame_count);

}  // namespace kws
