// Speaker adaptation: the models of a data directory moved toward one user's
// voice with a few minutes of that user's recordings, without training anew.
//
// Every utterance is aligned with the current models. From the aligned frames
// one global transform of the means is estimated first (MLLR: a full matrix
// and bias when the frames allow, otherwise one block per stream, a bias, or
// nothing), so that units the recordings never say move with the voice too.
// Then each Gaussian's mean is re-estimated by MAP: the transformed mean
// counts as tau frames of prior, so a Gaussian with little data stays near
// it and one with much data goes to the data. Weights, variances and
// transitions are kept.
#pragma once

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "trainer/corpus_list.h"
#include "trainer/estimation.h"
#include "trainer/trainer.h"
#include "trainer/training_data.h"

namespace kws::trainer {

struct AdaptationOptions {
  int jobs = 1;
  double tau = 15.0;  // prior weight of a mean, in frames
  bool transform = true;
  // Each pass aligns with what the one before adapted and starts from it:
  // the first alignment, with models far from the voice, misplaces many
  // frames. Past three passes on a few minutes the gain is small.
  int passes = 3;
  // Aligned speech frames needed for each freedom of the transform: a bias
  // alone, a matrix per stream (statics, deltas), the full matrix.
  double bias_frames = 100.0;
  double block_frames = 1000.0;
  double full_frames = 3000.0;
  // Set from another thread to give up: the passes stop where they are and
  // adapt_data_directory writes nothing.
  const std::atomic<bool>* cancel = nullptr;

  bool cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
};

enum class TransformKind { none, bias, block, full };

const char* transform_description(TransformKind kind);

// mean' = matrix x mean + bias.
struct MeanTransform {
  TransformKind kind = TransformKind::none;
  std::array<std::array<double, kFeatureDimension>, kFeatureDimension> matrix{};
  std::array<double, kFeatureDimension> bias{};

  MeanTransform();
  FeatureVector apply(const FeatureVector& mean) const;
};

struct AdaptationReport {
  int utterances_used = 0;
  std::vector<std::string> left_out;  // one line per recording left out, and why
  long long frames = 0;               // of the utterances used
  MeanTransform transform;
  int gaussians = 0;            // in the models and anti-models
  int gaussians_with_data = 0;  // moved by MAP
  int gaussians_moved = 0;      // by the transform or MAP
  // Per frame, of the best alignment of the utterances used.
  double log_likelihood_before = 0.0;
  double log_likelihood_after = 0.0;
};

// MAP re-estimation of the means from statistics gathered with the model:
// mean' = (tau mean + sum of posterior x frame) / (tau + occupancy). Returns
// the number of Gaussians that had frames.
int map_means(const ModelStatistics& statistics, double tau, TrainedModel& model);

// Adapts models (by slot, 153) and anti-models in place to the utterances.
// Anti-models only take the transform: which units each was trained on is not
// kept in a data directory, and MAP toward the frames of its own group would
// teach it to accept the very units it is there to reject.
AdaptationReport adapt_models(const std::vector<TrainingUtterance>& corpus, const AdaptationOptions& options,
                              const Progress& progress, std::vector<TrainedModel>& models,
                              std::vector<TrainedModel>& anti_models);

// Reads the models of data_directory, adapts them to the recordings and writes
// a complete copy of data_directory, adapted models in place, as
// out_directory. out_directory must not exist or be an empty folder; it is
// assembled beside its place and renamed into it at the end, so a failure
// leaves nothing. nullopt with error set when anything fails or the options'
// cancel flag was set.
std::optional<AdaptationReport> adapt_data_directory(const std::string& data_directory,
                                                     const std::vector<ListedUtterance>& recordings,
                                                     const std::string& out_directory, const AdaptationOptions& options,
                                                     const Progress& progress, std::string& error);

}  // namespace kws::trainer
