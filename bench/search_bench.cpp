// Search and scoring speed.
//
// 1. The keyword search of a 6-second utterance (600 frames) against a
//    vocabulary near the search's capacities (410 last syllables, 400 on
//    levels 1 and 2, 200 on levels 3 and 4), from the filled state-score
//    table to the filled results with 10 results wanted: the forward pass
//    (filler scores, level pass, word ends, preselection, seeding) and the
//    N-best stack search separately, then verification of the 10 displayed
//    results (32-component anti-models), and all of it together. Target:
//    10 ms or less per utterance.
// 2. Mixture scoring against 153 models of 4 emitting states and 32
//    components: 50 us or less per frame; best-Gaussian scoring, 30 us.
// 3. The endpoint detector's work for one 100 ms buffer (ten frames of
//    features and mixture scores, as 2), with the random models of 2 and with
//    the bundled data directory's models: 0.3 ms or less with the latter.
// Scores and models are random with fixed seeds unless they are the bundled ones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "audio/endpoint_detector.h"
#include "engine/engine.h"
#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "models/model_inventory.h"
#include "search/keyword_search.h"
#include "search/recognition_pass.h"
#include "search/stack_decoder.h"
#include "search/state_scoring.h"
#include "search/utterance_workspace.h"
#include "search/verification.h"

namespace {

// What a pass reads and writes, filled by hand.
struct BenchEngine {
  kws::LoadedData data;
  kws::Vocabulary vocabulary;
  kws::UtteranceWorkspace work;
};

constexpr int kFrames = 600;
constexpr int kBufferFrames = 10;  // of a 100 ms buffer
constexpr int kEmittingStates = 4;
constexpr std::array<int, 5> kLevelNodes = {410, 400, 400, 200, 200};
constexpr int kEntries = 1000;  // lengths 1..5 in turn, enough to fill every level's pool

void fill_models(kws::ModelSet& set, int count, int mixtures, std::mt19937& random) {
  set.allocate(static_cast<std::int16_t>(count));
  std::uniform_real_distribution<float> value(-3.0f, 3.0f);
  std::uniform_real_distribution<float> precision(0.2f, 2.0f);
  for (int slot = 0; slot < count; ++slot) {
    kws::HmmModel& model = set.records[slot];
    model.state_count = kEmittingStates + 2;
    for (int state = 1; state <= kEmittingStates; ++state) {
      model.mixture_count[state] = static_cast<std::int16_t>(mixtures);
      for (int i = 0; i < mixtures; ++i) {
        for (int k = 0; k < kws::kFeatureDimension; ++k) {
          model.mean[state][i][k] = value(random);
          model.inverse_variance[state][i][k] = precision(random);
        }
        model.gconst[state][i] = 30.0f + value(random);
        model.weight[state][i] = 1.0f / static_cast<float>(mixtures);
      }
    }
  }
}

void load_models(BenchEngine& engine, int mixtures, std::mt19937& random) {
  fill_models(engine.data.main_models, kws::kInventorySize, mixtures, random);
  kws::pack_gaussians(engine.data);
}

// Entries whose syllables at each level come from a fixed pool of distinct
// (initial, final) pairs, visited in a shuffled cycle so that every pool node
// is used; levels, tree, names and PhoneSeq are built as loading would.
void load_vocabulary(BenchEngine& engine, std::mt19937& random) {
  kws::Vocabulary& vocabulary = engine.vocabulary;
  for (kws::LexiconLevel& level : vocabulary.levels) level = {};
  vocabulary.names.clear();
  vocabulary.phone_seqs.clear();
  vocabulary.tree.reset();

  std::vector<std::pair<int, int>> pairs;
  for (int initial = 0; initial < kws::kInitialSlotCount; ++initial) {
    for (int final_slot = kws::kFirstFinalSlot; final_slot < kws::kFirstFinalSlot + kws::kFinalSlotCount; ++final_slot) {
      pairs.emplace_back(initial, final_slot);
    }
  }
  std::array<std::vector<std::pair<int, int>>, kLevelNodes.size()> pools;
  std::array<std::vector<int>, kLevelNodes.size()> cycles;
  std::array<int, kLevelNodes.size()> used{};
  for (std::size_t level = 0; level < kLevelNodes.size(); ++level) {
    std::shuffle(pairs.begin(), pairs.end(), random);
    pools[level].assign(pairs.begin(), pairs.begin() + kLevelNodes[level]);
    cycles[level].resize(static_cast<std::size_t>(kLevelNodes[level]));
    for (int i = 0; i < kLevelNodes[level]; ++i) cycles[level][static_cast<std::size_t>(i)] = i;
    std::shuffle(cycles[level].begin(), cycles[level].end(), random);
  }

  for (int e = 0; e < kEntries; ++e) {
    const int length = 1 + e % static_cast<int>(kLevelNodes.size());
    std::array<std::int16_t, kws::kLexiconLevels> path{};
    for (int level = length - 1; level >= 0; --level) {
      auto& cycle = cycles[static_cast<std::size_t>(level)];
      const int pool_index = cycle[static_cast<std::size_t>(used[static_cast<std::size_t>(level)]++) % cycle.size()];
      const auto [initial, final_slot] = pools[static_cast<std::size_t>(level)][static_cast<std::size_t>(pool_index)];
      kws::LexiconLevel& table = vocabulary.levels[static_cast<std::size_t>(level)];
      int index = 0;
      while (index < table.count && (table.nodes[static_cast<std::size_t>(index)].initial_model_slot != initial ||
                                     table.nodes[static_cast<std::size_t>(index)].final_model_slot != final_slot)) {
        ++index;
      }
      if (index == table.count) {
        kws::LevelNode node{};
        node.initial_model_slot = static_cast<std::int16_t>(initial);
        node.final_model_slot = static_cast<std::int16_t>(final_slot);
        table.nodes.push_back(node);
        ++table.count;
      }
      if (level == length - 1) table.nodes[static_cast<std::size_t>(index)].word_initial = 1;
      path[static_cast<std::size_t>(level)] = static_cast<std::int16_t>(index);
    }
    vocabulary.tree.insert_entry(std::span<const std::int16_t>(path.data(), static_cast<std::size_t>(length)));
    std::string phone_seq;
    for (int level = length - 1; level >= 0; --level) phone_seq += std::to_string(path[static_cast<std::size_t>(level)]) + " ";
    vocabulary.names.push_back(std::string(static_cast<std::size_t>(2 * length), 'A'));
    vocabulary.phone_seqs.push_back(phone_seq);
  }
  vocabulary.entry_count = kEntries;
  vocabulary.loaded_entry_count = kEntries;
}

BenchEngine& search_engine() {
  static const std::unique_ptr<BenchEngine> engine = [] {
    auto made = std::make_unique<BenchEngine>();
    std::mt19937 random(1234u);
    load_models(*made, 1, random);
    load_vocabulary(*made, random);
    std::uniform_real_distribution<float> score(-80.0f, -20.0f);
    for (int t = 0; t < kFrames; ++t) {
      for (int slot = 0; slot < kws::kInventorySize; ++slot) {
        for (int state = 1; state <= kEmittingStates; ++state) {
          made->work.state_scores[static_cast<std::size_t>(t)][static_cast<std::size_t>(slot)]
                                 [static_cast<std::size_t>(state)] = score(random);
        }
      }
    }
    fill_models(made->data.anti_models, kws::kMaxAntiModels, kws::kMixtureSlots, random);
    kws::pack_gaussians(made->data);
    std::uniform_real_distribution<float> feature(-3.0f, 3.0f);
    for (int t = 0; t < kFrames; ++t) {
      for (float& x : made->work.features[static_cast<std::size_t>(t)]) x = feature(random);
    }
    made->work.search.frame_count = kFrames;
    made->work.settings.keyword_spotting = 1;
    made->work.settings.results_wanted = 10;
    return made;
  }();
  return *engine;
}

void report_vocabulary(benchmark::State& state, const BenchEngine& engine) {
  int nodes = 0;
  for (const kws::LexiconLevel& level : engine.vocabulary.levels) nodes += level.count;
  state.counters["level_nodes"] = nodes;
  state.counters["candidates"] = engine.work.search.candidate_count;
  state.counters["results"] = engine.work.results.count;
}

void BM_ForwardPass(benchmark::State& state) {
  BenchEngine& engine = search_engine();
  for (auto _ : state) {
    benchmark::DoNotOptimize(kws::run_forward_pass(engine.data, engine.vocabulary, engine.work));
    engine.work.search.stack.clear();
  }
  report_vocabulary(state, engine);
}
BENCHMARK(BM_ForwardPass)->Unit(benchmark::kMillisecond);

void BM_NBestSearch(benchmark::State& state) {
  BenchEngine& engine = search_engine();
  for (auto _ : state) {
    kws::run_forward_pass(engine.data, engine.vocabulary, engine.work);
    const auto start = std::chrono::steady_clock::now();
    kws::collect_nbest(engine.data, engine.vocabulary, engine.work);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  report_vocabulary(state, engine);
}
BENCHMARK(BM_NBestSearch)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WholeSearch(benchmark::State& state) {
  BenchEngine& engine = search_engine();
  for (auto _ : state) kws::run_keyword_search(engine.data, engine.vocabulary, engine.work);
  report_vocabulary(state, engine);
}
BENCHMARK(BM_WholeSearch)->Unit(benchmark::kMillisecond);

void BM_Verification(benchmark::State& state) {
  BenchEngine& engine = search_engine();
  kws::run_keyword_search(engine.data, engine.vocabulary, engine.work);
  kws::order_results_for_display(engine.work);
  for (auto _ : state) kws::verify_results(engine.data, engine.vocabulary, engine.work);
  report_vocabulary(state, engine);
}
BENCHMARK(BM_Verification)->Unit(benchmark::kMillisecond);

// Everything from the scored frames to the filled result lines.
void BM_SearchAndVerification(benchmark::State& state) {
  BenchEngine& engine = search_engine();
  for (auto _ : state) {
    kws::run_keyword_search(engine.data, engine.vocabulary, engine.work);
    kws::order_results_for_display(engine.work);
    kws::verify_results(engine.data, engine.vocabulary, engine.work);
  }
  report_vocabulary(state, engine);
}
BENCHMARK(BM_SearchAndVerification)->Unit(benchmark::kMillisecond);

BenchEngine& scoring_engine() {
  static const std::unique_ptr<BenchEngine> engine = [] {
    auto made = std::make_unique<BenchEngine>();
    std::mt19937 random(99u);
    load_models(*made, kws::kMixtureSlots, random);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    for (int frame = 0; frame < kFrames; ++frame) {
      for (float& x : made->work.features[static_cast<std::size_t>(frame)]) x = value(random);
    }
    return made;
  }();
  return *engine;
}

void BM_MixtureScoringOneFrame(benchmark::State& state) {
  BenchEngine& engine = scoring_engine();
  for (auto _ : state) {
    kws::score_frame_mixture(engine.data, engine.work, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MixtureScoringOneFrame)->Unit(benchmark::kMicrosecond);

// The ten frames of a 100 ms buffer scored together, as the live path does.
void BM_MixtureScoringTenFrames(benchmark::State& state) {
  BenchEngine& engine = scoring_engine();
  for (auto _ : state) {
    kws::score_frame_range_mixture(engine.data, engine.work, 0, kBufferFrames);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MixtureScoringTenFrames)->Unit(benchmark::kMicrosecond);

// Best-Gaussian scores of a whole 6 s utterance, as the batch procedures score.
void BM_BestGaussianScoringOfAnUtterance(benchmark::State& state) {
  BenchEngine& engine = scoring_engine();
  for (auto _ : state) {
    kws::score_frames_best_gaussian(engine.data, engine.work, kFrames);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BestGaussianScoringOfAnUtterance)->Unit(benchmark::kMillisecond);

void BM_BestGaussianScoringOneFrame(benchmark::State& state) {
  BenchEngine& engine = scoring_engine();
  for (auto _ : state) {
    kws::score_frame_best_gaussian(engine.data, engine.work, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BestGaussianScoringOneFrame)->Unit(benchmark::kMicrosecond);

// The endpoint detector's work for one 100 ms buffer of an utterance: its
// level, storing it, ten frame analyses, and deltas and mixture scores of ten
// frames against the models of `data`.
void run_detector_buffers(benchmark::State& state, const kws::LoadedData& data,
                          const std::array<std::int16_t, kws::kDetectorBufferSamples>& buffer) {
  kws::OrRefusal<kws::Workspace> workspace = kws::make_workspace(data);
  if (!workspace) {
    state.SkipWithError(workspace.refusal().text.c_str());
    return;
  }
  kws::LiveAnalysis analysis(data, *workspace);
  kws::DetectorThresholds thresholds;  // 0 and 0: every buffer is speech, none is silence
  kws::EndpointDetector detector(analysis, thresholds, nullptr, {});
  const auto begin_utterance = [&] {
    detector.reset();
    detector.process_buffer(buffer, kws::kDetectorBufferBytes);
    detector.process_buffer(buffer, kws::kDetectorBufferBytes);
  };
  begin_utterance();
  for (auto _ : state) {
    if (detector.process_buffer(buffer, kws::kDetectorBufferBytes) != kws::BufferStep::proceed) {
      state.PauseTiming();
      begin_utterance();
      state.ResumeTiming();
    }
    benchmark::ClobberMemory();
  }
}

// Random models of 4 states and 32 components, random samples.
void BM_DetectorBuffer(benchmark::State& state) {
  BenchEngine& engine = scoring_engine();
  if (const std::string refusal = kws::analysis_setup(engine.data.analysis); !refusal.empty()) {
    state.SkipWithError(refusal.c_str());
    return;
  }
  std::mt19937 random(5u);
  std::uniform_int_distribution<int> sample(-8000, 8000);
  std::array<std::int16_t, kws::kDetectorBufferSamples> buffer{};
  for (std::int16_t& x : buffer) x = static_cast<std::int16_t>(sample(random));
  run_detector_buffers(state, engine.data, buffer);
}
BENCHMARK(BM_DetectorBuffer)->Unit(benchmark::kMillisecond);

// The live path as the station runs it: the bundled data directory's models
// and 100 ms of speech from one of its recordings.
void BM_DetectorBufferShippedModels(benchmark::State& state) {
  auto data = kws::start_engine(KWS_BUNDLED_DATA);
  if (!data) {
    state.SkipWithError(data.refusal().text.c_str());
    return;
  }
  std::array<std::int16_t, kws::kDetectorBufferSamples> buffer{};
  std::ifstream recording(std::string(KWS_BUNDLED_DATA) + "/wave/tr1_4.wav", std::ios::binary);
  recording.seekg(44 + 2 * 24000);  // past the header, 1.5 s into the utterance
  recording.read(reinterpret_cast<char*>(buffer.data()), sizeof buffer);
  if (!recording) {
    state.SkipWithError("cannot read the bundled recording tr1_4.wav");
    return;
  }
  run_detector_buffers(state, **data, buffer);
}
BENCHMARK(BM_DetectorBufferShippedModels)->Unit(benchmark::kMillisecond);

}  // namespace
