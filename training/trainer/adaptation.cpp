#include "trainer/adaptation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "models/model_inventory.h"
#include "platform/data_path.h"
#include "platform/message_sink.h"
#include "trainer/model_files.h"
#include "trainer/model_reading.h"
#include "trainer/parallel.h"

namespace kws::trainer {
namespace {

namespace fs = std::filesystem;

// The transform is estimated from the units' own frames (the fillers see
// them all again) and applied to the units and fillers: silence is the room
// and the microphone rather than the voice, and every utterance gives it
// frames enough for MAP alone.
bool estimates_transform(int slot) { return slot < kSilenceSlot; }
bool takes_transform(int slot) { return slot != kSilenceSlot; }

struct AlignedCorpus {
  std::vector<Alignment> alignments;
  SetStatistics statistics;
};

// Aligns every utterance with the models and gathers the statistics, in
// utterance order so the sums do not depend on the thread count.
AlignedCorpus align_corpus(const std::vector<TrainingUtterance>& corpus, const std::vector<TrainedModel>& models,
                           int jobs, const Progress& progress, const char* with) {
  const PackedModels packed = pack_models(models);
  AlignedCorpus aligned;
  aligned.alignments.resize(corpus.size());
  const int count = static_cast<int>(corpus.size());
  const int step = std::max(1, (count + 4) / 5);
  for (int first = 0; first < count; first += step) {
    const int size = std::min(step, count - first);
    parallel_for(size, jobs, [&](int i) {
      const TrainingUtterance& utterance = corpus[static_cast<std::size_t>(first + i)];
      aligned.alignments[static_cast<std::size_t>(first + i)] =
          viterbi_alignment(utterance.frames, utterance.units, models, packed);
    });
    progress(format_text("aligning with %s: %d/%d", with, first + size, count));
  }
  aligned.statistics = empty_statistics(models);
  std::vector<double> scratch;
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    if (aligned.alignments[i].ok)
      accumulate_utterance(corpus[i], aligned.alignments[i], packed, aligned.statistics, scratch);
  }
  return aligned;
}

double log_likelihood_per_frame(const std::vector<TrainingUtterance>& corpus, const AlignedCorpus& aligned) {
  double sum = 0.0, frames = 0.0;
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    if (!aligned.alignments[i].ok) continue;
    sum += aligned.alignments[i].log_likelihood;
    frames += static_cast<double>(corpus[i].frames.size());
  }
  return frames > 0.0 ? sum / frames : 0.0;
}

// Solves a x = b for a symmetric positive definite a (n x n, row by row) by
// Cholesky; false when a is not positive definite.
bool solve_symmetric(std::vector<double> a, std::vector<double>& b, int n) {
  const auto at = [n](int row, int column) { return static_cast<std::size_t>(row * n + column); };
  for (int j = 0; j < n; ++j) {
    double diagonal = a[at(j, j)];
    for (int k = 0; k < j; ++k) diagonal -= a[at(j, k)] * a[at(j, k)];
    if (!(diagonal > 0.0)) return false;
    a[at(j, j)] = std::sqrt(diagonal);
    for (int i = j + 1; i < n; ++i) {
      double value = a[at(i, j)];
      for (int k = 0; k < j; ++k) value -= a[at(i, k)] * a[at(j, k)];
      a[at(i, j)] = value / a[at(j, j)];
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < i; ++k) b[static_cast<std::size_t>(i)] -= a[at(i, k)] * b[static_cast<std::size_t>(k)];
    b[static_cast<std::size_t>(i)] /= a[at(i, i)];
  }
  for (int i = n - 1; i >= 0; --i) {
    for (int k = i + 1; k < n; ++k) b[static_cast<std::size_t>(i)] -= a[at(k, i)] * b[static_cast<std::size_t>(k)];
    b[static_cast<std::size_t>(i)] /= a[at(i, i)];
  }
  for (const double x : b) {
    if (!std::isfinite(x)) return false;
  }
  return true;
}

// The dimensions row's output is made of besides the bias: the features of
// one stream (c1..c12 or their deltas) for a block transform.
std::vector<int> columns_of(int row, TransformKind kind) {
  std::vector<int> columns;
  if (kind == TransformKind::bias || kind == TransformKind::none) return columns;
  constexpr int kStream = kFeatureDimension / 2;
  const int first = kind == TransformKind::full ? 0 : row / kStream * kStream;
  const int last = kind == TransformKind::full ? kFeatureDimension : first + kStream;
  for (int k = first; k < last; ++k) columns.push_back(k);
  return columns;
}

// Row by row, the transform maximising the likelihood of the aligned frames
// with every Gaussian's own variance (Leggetter and Woodland's MLLR with
// diagonal covariances), from per-Gaussian occupancies and sums alone. A
// dimension outside a row's columns keeps its own mean.
std::optional<MeanTransform> estimate_transform(const std::vector<TrainedModel>& models,
                                                const SetStatistics& statistics, TransformKind kind) {
  MeanTransform transform;
  transform.kind = kind;
  if (kind == TransformKind::none) return transform;
  for (int row = 0; row < kFeatureDimension; ++row) {
    const std::vector<int> columns = columns_of(row, kind);
    const bool own_column = std::find(columns.begin(), columns.end(), row) != columns.end();
    const int n = 1 + static_cast<int>(columns.size());
    std::vector<double> g(static_cast<std::size_t>(n * n), 0.0), k(static_cast<std::size_t>(n), 0.0);
    std::vector<double> extended(static_cast<std::size_t>(n));
    for (std::size_t slot = 0; slot < models.size(); ++slot) {
      if (!estimates_transform(static_cast<int>(slot))) continue;
      for (std::size_t s = 0; s < models[slot].states.size(); ++s) {
        for (std::size_t m = 0; m < models[slot].states[s].components.size(); ++m) {
          const ComponentStatistics& c = statistics[slot].states[s].components[m];
          if (c.occupancy <= 0.0) continue;
          const Gaussian& gaussian = models[slot].states[s].components[m];
          const std::size_t r = static_cast<std::size_t>(row);
          const double precision = 1.0 / static_cast<double>(gaussian.variance[r]);
          extended[0] = 1.0;
          for (std::size_t j = 0; j < columns.size(); ++j)
            extended[j + 1] = gaussian.mean[static_cast<std::size_t>(columns[j])];
          const double fixed = own_column ? 0.0 : static_cast<double>(gaussian.mean[r]);
          const double target = precision * (c.sum[r] - c.occupancy * fixed);
          for (int a = 0; a < n; ++a) {
            k[static_cast<std::size_t>(a)] += target * extended[static_cast<std::size_t>(a)];
            for (int b = 0; b < n; ++b) {
              g[static_cast<std::size_t>(a * n + b)] += c.occupancy * precision *
                                                        extended[static_cast<std::size_t>(a)] *
                                                        extended[static_cast<std::size_t>(b)];
            }
          }
        }
      }
    }
    // A trace-relative nudge toward the identity keeps a nearly singular
    // system (means that hardly vary in some direction) solvable.
    double trace = 0.0;
    for (int a = 0; a < n; ++a) trace += g[static_cast<std::size_t>(a * n + a)];
    const double ridge = 1e-6 * trace / n;
    for (int a = 0; a < n; ++a) {
      g[static_cast<std::size_t>(a * n + a)] += ridge;
      if (a > 0 && columns[static_cast<std::size_t>(a) - 1] == row) k[static_cast<std::size_t>(a)] += ridge;
    }
    if (!solve_symmetric(g, k, n)) return std::nullopt;
    transform.bias[static_cast<std::size_t>(row)] = k[0];
    for (std::size_t j = 0; j < columns.size(); ++j) {
      transform.matrix[static_cast<std::size_t>(row)][static_cast<std::size_t>(columns[j])] = k[j + 1];
    }
  }
  return transform;
}

// The most detailed transform the frames allow that can be solved.
MeanTransform choose_transform(const std::vector<TrainedModel>& models, const SetStatistics& statistics,
                               const AdaptationOptions& options, double& frames) {
  frames = 0.0;
  for (std::size_t slot = 0; slot < models.size(); ++slot) {
    if (!estimates_transform(static_cast<int>(slot))) continue;
    for (const StateStatistics& state : statistics[slot].states) frames += state.frames;
  }
  TransformKind kind = frames >= options.full_frames    ? TransformKind::full
                       : frames >= options.block_frames ? TransformKind::block
                       : frames >= options.bias_frames  ? TransformKind::bias
                                                        : TransformKind::none;
  for (;; kind = static_cast<TransformKind>(static_cast<int>(kind) - 1)) {
    if (std::optional<MeanTransform> transform = estimate_transform(models, statistics, kind)) return *transform;
  }
}

void apply_transform(const MeanTransform& transform, TrainedModel& model) {
  for (TrainedState& state : model.states) {
    for (Gaussian& g : state.components) g.mean = transform.apply(g.mean);
  }
}

int count_moved(const std::vector<TrainedModel>& before, const std::vector<TrainedModel>& after) {
  int moved = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    for (std::size_t s = 0; s < before[i].states.size(); ++s) {
      for (std::size_t m = 0; m < before[i].states[s].components.size(); ++m) {
        moved += before[i].states[s].components[m].mean != after[i].states[s].components[m].mean;
      }
    }
  }
  return moved;
}

int count_gaussians(const std::vector<TrainedModel>& models) {
  int count = 0;
  for (const TrainedModel& model : models) {
    for (const TrainedState& state : model.states) count += static_cast<int>(state.components.size());
  }
  return count;
}

// Why out_directory cannot take the adapted copy of data_directory, or empty.
std::string output_refusal(const fs::path& data, const fs::path& out) {
  std::error_code error;
  if (!fs::is_directory(data, error)) return "the data directory " + data.string() + " is not a folder";
  if (out.empty()) return "no folder given for the adapted data directory";
  const fs::path data_full = fs::weakly_canonical(data, error).lexically_normal();
  const fs::path out_full = fs::weakly_canonical(out, error).lexically_normal();
  if (out_full == data_full || fs::equivalent(data, out, error)) {
    return "the output folder " + out.string() +
           " is the data directory itself; the adapted copy needs a folder of its own";
  }
  if (std::mismatch(data_full.begin(), data_full.end(), out_full.begin(), out_full.end()).first == data_full.end()) {
    return "the output folder " + out.string() + " lies inside the data directory it would copy";
  }
  if (fs::exists(out, error)) {
    if (!fs::is_directory(out, error)) return "the output folder " + out.string() + " exists and is not a folder";
    if (!fs::is_empty(out, error))
      return "the output folder " + out.string() + " is not empty; the adapted copy needs a new or empty folder";
  }
  return {};
}

// Copies data into a fresh folder beside out, writes the models there and
// renames it into place. Only that fresh folder is ever removed.
std::string write_adapted_directory(const fs::path& data, const fs::path& out, const DirectoryModels& models,
                                    const Progress& progress) {
  std::error_code error;
  const fs::path target = fs::weakly_canonical(out, error).lexically_normal();
  fs::create_directories(target.parent_path(), error);
  fs::path partial;
  for (int attempt = 0; attempt < 100 && partial.empty(); ++attempt) {
    const fs::path candidate =
        target.parent_path() / (target.filename().string() + ".partial" + (attempt ? format_text("-%d", attempt) : ""));
    if (fs::create_directory(candidate, error)) partial = candidate;
  }
  if (partial.empty()) return "cannot make a working folder beside " + out.string();

  progress(format_text("copying %s", data.string().c_str()));
  std::string failure;
  fs::copy(data, partial, fs::copy_options::recursive, error);
  if (error) failure = "cannot copy " + data.string() + " to " + partial.string() + ": " + error.message();
  if (failure.empty()) {
    progress(format_text("writing %zu models and %zu anti-models", models.models.size(), models.anti_models.size()));
    failure = write_model_files(partial.string(), models.models, models.anti_models);
  }
  if (failure.empty()) {
    // An empty folder at out is replaced; a full one makes the rename fail.
    fs::rename(partial, target, error);
    if (error) failure = "cannot rename " + partial.string() + " to " + target.string() + ": " + error.message();
  }
  if (!failure.empty()) fs::remove_all(partial, error);
  return failure;
}

}  // namespace

const char* transform_description(TransformKind kind) {
  switch (kind) {
    case TransformKind::none:
      return "no transform";
    case TransformKind::bias:
      return "a bias";
    case TransformKind::block:
      return "a 12x12 matrix per stream and a bias";
    case TransformKind::full:
      return "a full 24x24 matrix and a bias";
  }
  return "";
}

MeanTransform::MeanTransform() {
  for (std::size_t k = 0; k < kFeatureDimension; ++k) matrix[k][k] = 1.0;
}

FeatureVector MeanTransform::apply(const FeatureVector& mean) const {
  if (kind == TransformKind::none) return mean;
  FeatureVector result;
  for (std::size_t row = 0; row < kFeatureDimension; ++row) {
    double value = bias[row];
    for (std::size_t k = 0; k < kFeatureDimension; ++k) value += matrix[row][k] * mean[k];
    result[row] = static_cast<float>(value);
  }
  return result;
}

int map_means(const ModelStatistics& statistics, double tau, TrainedModel& model) {
  int moved = 0;
  for (std::size_t s = 0; s < model.states.size(); ++s) {
    for (std::size_t m = 0; m < model.states[s].components.size(); ++m) {
      const ComponentStatistics& c = statistics.states[s].components[m];
      if (c.occupancy <= 0.0) continue;
      FeatureVector& mean = model.states[s].components[m].mean;
      for (std::size_t k = 0; k < kFeatureDimension; ++k) {
        mean[k] = static_cast<float>((tau * mean[k] + c.sum[k]) / (tau + c.occupancy));
      }
      ++moved;
    }
  }
  return moved;
}

AdaptationReport adapt_models(const std::vector<TrainingUtterance>& corpus, const AdaptationOptions& options,
                              const Progress& progress, std::vector<TrainedModel>& models,
                              std::vector<TrainedModel>& anti_models) {
  AdaptationReport report;
  const std::vector<TrainedModel> original = models, original_anti = anti_models;
  report.gaussians = count_gaussians(models) + count_gaussians(anti_models);

  AlignedCorpus aligned = align_corpus(corpus, models, options.jobs, progress, "the models");
  // Utterances too short for their units are left out of everything after.
  std::vector<TrainingUtterance> used;
  std::vector<Alignment> used_alignments;
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    if (!aligned.alignments[i].ok) {
      report.left_out.push_back(format_text("%s: %zu frames are too few for its %zu units", corpus[i].origin.c_str(),
                                            corpus[i].frames.size(), corpus[i].units.size()));
      continue;
    }
    used.push_back(corpus[i]);
    used_alignments.push_back(std::move(aligned.alignments[i]));
    report.frames += static_cast<long long>(corpus[i].frames.size());
  }
  aligned.alignments = std::move(used_alignments);
  report.utterances_used = static_cast<int>(used.size());
  report.log_likelihood_before = log_likelihood_per_frame(used, aligned);
  report.log_likelihood_after = report.log_likelihood_before;

  // Each pass starts from the alignment with what the pass before adapted.
  const int passes = std::max(options.passes, 1);
  for (int pass = 1; pass <= passes && !used.empty() && !options.cancelled(); ++pass) {
    if (passes > 1) progress(format_text("pass %d of %d", pass, passes));
    const double pass_before = log_likelihood_per_frame(used, aligned);
    if (options.transform) {
      double frames = 0.0;
      const MeanTransform transform = choose_transform(models, aligned.statistics, options, frames);
      if (pass == 1) report.transform = transform;
      if (transform.kind != TransformKind::none) {
        for (std::size_t slot = 0; slot < models.size(); ++slot) {
          if (takes_transform(static_cast<int>(slot))) apply_transform(transform, models[slot]);
        }
        for (TrainedModel& anti : anti_models) apply_transform(transform, anti);
      }
      progress(format_text("transform: %s, from %.0f frames of speech", transform_description(transform.kind), frames));
      if (transform.kind != TransformKind::none) {
        aligned = align_corpus(used, models, options.jobs, progress, "the transformed models");
        progress(format_text("log-likelihood per frame: %.3f before, %.3f with the transform", pass_before,
                             log_likelihood_per_frame(used, aligned)));
      }
    }

    report.gaussians_with_data = 0;
    for (std::size_t slot = 0; slot < models.size(); ++slot) {
      report.gaussians_with_data += map_means(aligned.statistics[slot], options.tau, models[slot]);
    }
    progress(format_text("MAP (tau %g): %d of %d Gaussians of the models had frames", options.tau,
                         report.gaussians_with_data, count_gaussians(models)));

    aligned = align_corpus(used, models, options.jobs, progress, "the adapted models");
    report.log_likelihood_after = log_likelihood_per_frame(used, aligned);
    progress(
        format_text("log-likelihood per frame: %.3f before, %.3f after", pass_before, report.log_likelihood_after));
  }
  report.gaussians_moved = count_moved(original, models) + count_moved(original_anti, anti_models);
  return report;
}

std::optional<AdaptationReport> adapt_data_directory(const std::string& data_directory,
                                                     const std::vector<ListedUtterance>& recordings,
                                                     const std::string& out_directory, const AdaptationOptions& options,
                                                     const Progress& progress, std::string& error) {
  const auto started = std::chrono::steady_clock::now();
  const fs::path data(without_trailing_separator(data_directory));
  const fs::path out(out_directory.empty() ? std::string() : without_trailing_separator(out_directory));
  if (error = output_refusal(data, out); !error.empty()) return std::nullopt;

  progress("reading the models of " + data.string());
  std::optional<DirectoryModels> models = read_model_files(data.string(), error);
  if (!models) return std::nullopt;

  LoadedCorpus loaded = load_training_data(recordings, 1.0, options.jobs);
  for (const std::string& problem : loaded.problems) progress("left out: " + problem);
  if (loaded.utterances.empty()) {
    error = recordings.empty() ? "no recording given"
                               : format_text("none of the %zu recordings can be used", recordings.size());
    return std::nullopt;
  }
  long long frames = 0;
  for (const TrainingUtterance& utterance : loaded.utterances)
    frames += static_cast<long long>(utterance.frames.size());
  progress(format_text("%zu recordings, %.1f minutes", loaded.utterances.size(), static_cast<double>(frames) / 6000.0));

  AdaptationReport report = adapt_models(loaded.utterances, options, progress, models->models, models->anti_models);
  for (const std::string& line : report.left_out) progress("left out: " + line);
  report.left_out.insert(report.left_out.begin(), loaded.problems.begin(), loaded.problems.end());
  if (options.cancelled()) {
    error = "cancelled";
    return std::nullopt;
  }

  if (error = write_adapted_directory(data, out, *models, progress); !error.empty()) return std::nullopt;
  progress(format_text("wrote %s in %.1f s", out.string().c_str(),
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()));
  return report;
}

}  // namespace kws::trainer
