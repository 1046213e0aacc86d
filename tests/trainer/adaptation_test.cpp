#include "trainer/adaptation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "lexicon/syllable_table.h"
#include "models/model_inventory.h"
#include "platform/token_reader.h"
#include "support/fixture_data.h"
#include "support/kws_runner.h"
#include "support/tone_data.h"
#include "test_values.h"
#include "trainer/model_files.h"
#include "trainer/model_reading.h"

namespace kws::trainer {
namespace {

using testing::constant_vector;
namespace fs = std::filesystem;

// A fixed sequence, so the synthetic speaker is the same on every machine.
class Draws {
 public:
  explicit Draws(std::uint64_t seed) : state_(seed) {}
  double uniform() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>((state_ >> 11) + 1) / 9007199254740993.0;
  }
  double normal() { return std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); }

 private:
  std::uint64_t state_;
};

std::vector<TrainedModel> random_models(Draws& draws) {
  std::vector<TrainedModel> models;
  for (int slot = 0; slot < kInventorySize; ++slot) {
    TrainedModel model;
    model.inventory_index = slot_order()[static_cast<std::size_t>(slot)];
    model.states.resize(static_cast<std::size_t>(states_of_slot(slot, TrainingOptions{})));
    for (TrainedState& state : model.states) {
      state.self_loop = 0.6f;
      for (int m = 0; m < 2; ++m) {
        Gaussian g;
        g.weight = 0.5f;
        for (float& x : g.mean) x = static_cast<float>(2.0 * draws.normal());
        for (float& v : g.variance) v = static_cast<float>(0.5 + draws.uniform());
        state.components.push_back(g);
      }
    }
    models.push_back(std::move(model));
  }
  return models;
}

struct Speaker {
  std::array<std::array<double, kFeatureDimension>, kFeatureDimension> matrix{};
  std::array<double, kFeatureDimension> bias{};
};

// Utterances of the syllables as the models would produce them, had every
// mean gone through the speaker's transform.
std::vector<TrainingUtterance> speak(const std::vector<std::vector<int>>& sentences,
                                     const std::vector<TrainedModel>& models, const Speaker& speaker, Draws& draws) {
  std::vector<TrainingUtterance> corpus;
  for (const std::vector<int>& syllables : sentences) {
    TrainingUtterance utterance;
    utterance.origin = "spoken";
    utterance.units = alignment_units(syllables);
    for (const AlignmentUnit& unit : utterance.units) {
      if (unit.optional) continue;
      for (const TrainedState& state : models[static_cast<std::size_t>(unit.slot)].states) {
        for (int f = 0; f < 3 + static_cast<int>(draws.uniform() * 3); ++f) {
          const Gaussian& g = state.components[draws.uniform() < 0.5 ? 0 : 1];
          FeatureVector x;
          for (std::size_t i = 0; i < kFeatureDimension; ++i) {
            double value = speaker.bias[i] + std::sqrt(static_cast<double>(g.variance[i])) * draws.normal();
            for (std::size_t k = 0; k < kFeatureDimension; ++k) value += speaker.matrix[i][k] * g.mean[k];
            x[i] = static_cast<float>(value);
          }
          utterance.frames.push_back(x);
        }
      }
    }
    corpus.push_back(std::move(utterance));
  }
  return corpus;
}

double log_likelihood_per_frame(const std::vector<TrainingUtterance>& corpus, const std::vector<TrainedModel>& models) {
  const PackedModels packed = pack_models(models);
  double sum = 0.0, frames = 0.0;
  for (const TrainingUtterance& utterance : corpus) {
    const Alignment alignment = viterbi_alignment(utterance.frames, utterance.units, models, packed);
    EXPECT_TRUE(alignment.ok);
    sum += alignment.log_likelihood;
    frames += static_cast<double>(utterance.frames.size());
  }
  return sum / frames;
}

TEST(Adaptation, MapMovesAMeanByItsShareOfTheDataAndLeavesMeansWithoutFrames) {
  TrainedModel model = single_gaussian_model(0, 2, constant_vector(1.0f), constant_vector(1.0f));
  // A second component far away: the frames below are all the first one's.
  model.states[0].components[0].weight = 0.5f;
  model.states[0].components.push_back({0.5f, constant_vector(100.0f), constant_vector(1.0f)});
  const TrainedModel original = model;
  ModelStatistics statistics = statistics_for(model);
  const PreparedModel ready = prepare_model(model);
  std::vector<double> scratch;
  for (const float x : {2.0f, 3.0f, 4.0f, 5.0f, 6.0f}) {
    add_frame(ready[0], constant_vector(x), 1.0, statistics.states[0], scratch);
  }

  TrainedModel adapted = original;
  EXPECT_EQ(map_means(statistics, 10.0, adapted), 1);
  // 5 frames of mean 4 against a prior of 10 frames at 1: a third of the way.
  for (const float m : adapted.states[0].components[0].mean) EXPECT_FLOAT_EQ(m, 1.0f + (4.0f - 1.0f) * 5.0f / 15.0f);
  EXPECT_EQ(adapted.states[0].components[1].mean, original.states[0].components[1].mean);
  EXPECT_EQ(adapted.states[1].components[0].mean, original.states[1].components[0].mean);
  EXPECT_EQ(adapted.states[0].components[0].variance, original.states[0].components[0].variance);

  // Without a prior the mean is the data's.
  adapted = original;
  map_means(statistics, 0.0, adapted);
  for (const float m : adapted.states[0].components[0].mean) EXPECT_FLOAT_EQ(m, 4.0f);
}

TEST(Adaptation, RaisesTheSpeakersLikelihoodAndTheTransformCarriesItToUnitsNeverSaid) {
  Draws draws(7);
  const std::vector<TrainedModel> models = random_models(draws);
  std::vector<TrainedModel> anti{models[3], models[120]};
  for (TrainedModel& model : anti) model.inventory_index = -1;
  Speaker speaker;
  for (std::size_t i = 0; i < kFeatureDimension; ++i) {
    for (std::size_t k = 0; k < kFeatureDimension; ++k)
      speaker.matrix[i][k] = (i == k ? 0.85 : 0.0) + 0.04 * draws.normal();
    speaker.bias[i] = 0.8 * draws.normal();
  }
  // Adaptation sentences use initials of two slots in three; the held-out
  // ones only initials of the third.
  std::vector<std::vector<int>> said, held_out;
  std::vector<int> pending;
  for (int row = 0; row < kSyllableCount; row += 2) {
    const int initial = syllable_slots(row).initial_slot;
    if (initial >= kInitialSlotCount) continue;
    if (initial % 3 == 0) {
      if (held_out.size() < 15) held_out.push_back({row});
    } else if (said.size() < 60) {
      pending.push_back(row);
      if (pending.size() == 2) said.push_back(std::exchange(pending, {}));
    }
  }
  const std::vector<TrainingUtterance> corpus = speak(said, models, speaker, draws);
  const std::vector<TrainingUtterance> test = speak(held_out, models, speaker, draws);
  ASSERT_EQ(test.size(), 15u);

  AdaptationOptions options;
  options.tau = 10.0;
  options.passes = 1;  // so the one transform found can be compared with the speaker's
  std::vector<TrainedModel> adapted = models, adapted_anti = anti;
  std::vector<std::string> progress;
  const AdaptationReport report = adapt_models(
      corpus, options, [&](const std::string& line) { progress.push_back(line); }, adapted, adapted_anti);
  ASSERT_EQ(report.transform.kind, TransformKind::full) << report.frames;
  EXPECT_EQ(report.utterances_used, static_cast<int>(corpus.size()));
  EXPECT_GT(report.log_likelihood_after, report.log_likelihood_before + 2.0);
  EXPECT_NEAR(report.log_likelihood_before, log_likelihood_per_frame(corpus, models), 1e-9);
  EXPECT_NEAR(report.log_likelihood_after, log_likelihood_per_frame(corpus, adapted), 1e-9);
  // The transform found is the speaker's.
  EXPECT_NEAR(report.transform.matrix[5][5], speaker.matrix[5][5], 0.05);
  EXPECT_NEAR(report.transform.bias[9], speaker.bias[9], 0.2);
  // Anti-models take the transform and nothing else.
  EXPECT_EQ(adapted_anti[1].states[2].components[1].mean, report.transform.apply(anti[1].states[2].components[1].mean));
  EXPECT_EQ(adapted_anti[1].states[2].components[1].variance, anti[1].states[2].components[1].variance);

  const double before = log_likelihood_per_frame(test, models);
  const double transformed = log_likelihood_per_frame(test, adapted);
  EXPECT_GT(transformed, before + 2.0);

  // MAP alone moves only what the recordings say, plus the fillers and silence.
  options.transform = false;
  std::vector<TrainedModel> map_only = models, map_only_anti = anti;
  adapt_models(
      corpus, options, [](const std::string&) {}, map_only, map_only_anti);
  for (const TrainingUtterance& utterance : test) {
    const int unseen = utterance.units[1].slot;
    EXPECT_EQ(definition_text(map_only[static_cast<std::size_t>(unseen)]),
              definition_text(models[static_cast<std::size_t>(unseen)]));
  }
  EXPECT_NE(definition_text(map_only[kFillerInitialSlot]), definition_text(models[kFillerInitialSlot]));
  EXPECT_EQ(definition_text(map_only_anti[0]), definition_text(anti[0]));
  EXPECT_LT(log_likelihood_per_frame(test, map_only), transformed - 1.0);

  // Threads change nothing.
  options.transform = true;
  options.jobs = 2;
  std::vector<TrainedModel> threaded = models, threaded_anti = anti;
  adapt_models(
      corpus, options, [](const std::string&) {}, threaded, threaded_anti);
  for (std::size_t slot = 0; slot < models.size(); ++slot) {
    ASSERT_EQ(definition_text(threaded[slot]), definition_text(adapted[slot])) << "slot " << slot;
  }
}

// Numbers that do not print short, variances whose reciprocals several floats
// share and GConsts near zero, where only the exact variances give the record's.
TrainedModel awkward_model(int inventory_index, int states, int mixtures, int seed) {
  TrainedModel model;
  model.inventory_index = inventory_index;
  for (int s = 0; s < states; ++s) {
    TrainedState state;
    state.self_loop = 0.05f + 0.9f * std::fabs(std::sin(static_cast<float>(seed * 7 + s)));
    for (int m = 0; m < mixtures; ++m) {
      Gaussian g;
      g.weight = 1.0f / static_cast<float>(mixtures) + (m == 0 ? 1e-7f : 0.0f);
      for (int k = 0; k < kFeatureDimension; ++k) {
        const float phase = static_cast<float>(seed * 1000 + s * 100 + m * 24 + k);
        g.mean[static_cast<std::size_t>(k)] = std::sin(phase) * 7.3f;
        // exp(-ln 2 pi) makes a GConst of zero.
        g.variance[static_cast<std::size_t>(k)] = 0.159154943f * std::exp(0.4f * std::cos(phase * 1.7f));
      }
      state.components.push_back(g);
    }
    model.states.push_back(state);
  }
  return model;
}

std::map<std::string, std::string> files_under(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).string()] = read_file_bytes(entry.path().string()).value();
  }
  return files;
}

TEST(Adaptation, ModelFilesReadBackToTheSameBytesAndAnOutOfOrderListIsRefused) {
  const fs::path root = kws::testing::scratch_directory();
  std::vector<TrainedModel> models, anti;
  for (int slot = 0; slot < kInventorySize; ++slot) {
    models.push_back(awkward_model(slot_order()[static_cast<std::size_t>(slot)],
                                   states_of_slot(slot, TrainingOptions{}), 1 + slot % 8, slot));
  }
  for (int i = 0; i < 20; ++i) anti.push_back(awkward_model(-1, 3 + i % 2, 8, 300 + i));
  ASSERT_EQ(write_model_files((root / "first").string(), models, anti), "");

  std::string error;
  const std::optional<DirectoryModels> read = read_model_files((root / "first").string(), error);
  ASSERT_TRUE(read) << error;
  ASSERT_EQ(write_model_files((root / "second").string(), read->models, read->anti_models), "");
  const auto first = files_under(root / "first"), second = files_under(root / "second");
  ASSERT_EQ(first.size(), 155u);
  for (const auto& [name, bytes] : first) EXPECT_TRUE(second.at(name) == bytes) << name;

  std::string list = first.at("rcdmodel");
  list.replace(list.find("\nb_o\n"), 5, "\nb_x\n");
  kws::testing::write_file(root / "first" / "rcdmodel", list);
  EXPECT_FALSE(read_model_files((root / "first").string(), error));
  EXPECT_NE(error.find("rcdmodel: model 2 is \"b_x\""), std::string::npos) << error;
}

TEST(Adaptation, WritesACompleteCopyInWhichModelsWithoutFramesKeepTheirBytes) {
  const fs::path root = kws::testing::scratch_directory();
  const fs::path data = kws::testing::write_tone_data_directory(root / "data");
  // In the trainer's own writing, which is what a data directory to adapt has.
  std::string error;
  const std::optional<DirectoryModels> models = read_model_files(data.string(), error);
  ASSERT_TRUE(models) << error;
  ASSERT_EQ(write_model_files(data.string(), models->models, models->anti_models), "");
  kws::testing::write_file(data / "extra" / "deeper" / "notes.txt", "kept\n");

  fs::create_directories(root / "rec");
  kws::testing::write_wav_file(root / "rec" / "taibei.wav", kws::testing::synthesise_entry(0));
  std::vector<ListedUtterance> recordings(2);
  recordings[0] = {(root / "rec" / "taibei.wav").string(), {testing::row_of("ㄊㄞˊ"), testing::row_of("ㄅㄟˇ")}, "l:1"};
  recordings[1] = {(root / "rec" / "missing.wav").string(), {testing::row_of("ㄊㄞˊ")}, "l:2"};
  std::set<int> said{kSilenceSlot, kFillerInitialSlot, kFillerFinalSlot};
  for (const AlignmentUnit& unit : alignment_units(recordings[0].syllables)) said.insert(unit.slot);

  AdaptationOptions options;
  options.transform = false;
  const fs::path out = root / "adapted";
  const std::optional<AdaptationReport> report = adapt_data_directory(
      data.string(), recordings, out.string(), options, [](const std::string&) {}, error);
  ASSERT_TRUE(report) << error;
  EXPECT_EQ(report->utterances_used, 1);
  ASSERT_EQ(report->left_out.size(), 1u);
  EXPECT_NE(report->left_out[0].find("l:2"), std::string::npos);
  EXPECT_GT(report->log_likelihood_after, report->log_likelihood_before);

  const auto before = files_under(data), after = files_under(out);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [name, bytes] : before) {
    const int slot = name.starts_with("model/bsl/") ? slot_in_order(name.substr(10)) : -1;
    if (said.count(slot)) {
      EXPECT_NE(after.at(name), bytes) << name;
    } else {
      EXPECT_TRUE(after.at(name) == bytes) << name;
    }
  }
  const kws::testing::CommandRun check = kws::testing::run_kws("check-data --data " + out.string());
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.err, "");

  // Refusals: never into the data itself, inside it or over anything.
  kws::testing::write_file(root / "full" / "mine.txt", "mine\n");
  const std::pair<fs::path, const char*> refusals[] = {{data, "is the data directory itself"},
                                                       {data.string() + "/", "is the data directory itself"},
                                                       {data / "." / "", "is the data directory itself"},
                                                       {data / "sub", "lies inside the data directory"},
                                                       {root / "full", "is not empty"}};
  for (const auto& [refused, why] : refusals) {
    EXPECT_FALSE(adapt_data_directory(
        data.string(), recordings, refused.string(), options, [](const std::string&) {}, error))
        << refused;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
  EXPECT_EQ(read_file_bytes((root / "full" / "mine.txt").string()), "mine\n");
  EXPECT_TRUE(files_under(data) == before);
  for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
    EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace kws::trainer
