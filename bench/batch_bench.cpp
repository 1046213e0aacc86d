// Keyword batch test throughput: the 50 recordings of set 1, each read from
// disk, analysed whole, scored with best-Gaussian state scores, searched,
// verified and compared with its reference record.
//
// The data directory is the tests' tone data (designed one-component models
// of two emitting states, the vocabulary "tones") with recordings of 2.8 s
// synthesised from it, written to a temporary folder. Reported as
// times_real_time: seconds of audio processed per wall-clock second. Goal: 100
// or more on one core. Real models (4 emitting states of 32 components)
// have 64 times the Gaussians to score per frame.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/engine.h"
#include "support/big5_text.h"
#include "support/fixture_data.h"
#include "support/tone_data.h"

namespace {

constexpr int kTrailingQuietFrames = 170;  // 50 + 60 + 170 frames: 2.8 s per recording

class BatchData {
 public:
  BatchData()
      : directory_(std::filesystem::temp_directory_path() / ("kws_batch_bench_" + std::to_string(getpid()))) {
    kws::testing::write_tone_data_directory(directory_);
    std::filesystem::create_directories(directory_ / "wave");
    std::string index;
    const auto& vocabulary = kws::testing::tone_vocabulary();
    for (int n = 1; n <= kws::kBatchTestFiles; ++n) {
      const int entry = (n - 1) % static_cast<int>(vocabulary.size());
      kws::testing::write_wav_file(directory_ / "wave" / ("tr1_" + std::to_string(n) + ".wav"),
                                   kws::testing::synthesise_entry(entry, kTrailingQuietFrames));
      index.append(std::to_string(n)).append(" 1 ");
      index.append(kws::testing::big5(vocabulary[static_cast<std::size_t>(entry)].name_utf8)).append("\n");
    }
    kws::testing::write_file(directory_ / "train_index.txt", index);
    data_ = std::move(*kws::start_engine(directory_.string()));
    vocabulary_ = std::move(*kws::choose_vocabulary(*data_, "tones"));
    workspace_.emplace(std::move(*kws::make_workspace(*data_)));
  }
  ~BatchData() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  kws::KeywordBatchSummary run(kws::KeywordBatchObserver& observer) {
    return *kws::run_keyword_batch_test(*data_, *vocabulary_, 1, kws::batch_pass_options(), observer, *workspace_);
  }

 private:
  std::filesystem::path directory_;
  std::shared_ptr<const kws::LoadedData> data_;
  std::shared_ptr<const kws::Vocabulary> vocabulary_;
  std::optional<kws::Workspace> workspace_;
};

class IgnoringObserver final : public kws::KeywordBatchObserver {
 public:
  void file_finished(const kws::KeywordBatchFileReport&) override {}
};

void BM_KeywordBatchTest(benchmark::State& state) {
  static BatchData data;
  IgnoringObserver observer;
  kws::KeywordBatchSummary summary;
  for (auto _ : state) {
    summary = data.run(observer);
    benchmark::DoNotOptimize(summary.totals);
  }
  state.counters["times_real_time"] =
      benchmark::Counter(summary.audio_seconds(), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["detected"] = summary.totals.detected;
  state.counters["accepted"] = summary.totals.accepted;
}
BENCHMARK(BM_KeywordBatchTest)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
