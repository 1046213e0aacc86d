#include "corpus/corpus_synthesis.h"

#include <sndfile.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

#include "corpus/espeak_synthesis.h"
#include "corpus/noise_mixing.h"
#include "corpus/random_source.h"
#include "corpus/utterance_audio.h"
#include "lexicon/syllable_table.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "platform/file_output.h"

namespace kws::corpus {
namespace {

constexpr char kCorpusListName[] = "corpus.txt";

// Progress on the log after every this many utterances.
constexpr std::size_t kProgressInterval = 100;

// The voices of the babble: men and women at different speeds and pitches,
// each reading 60 syllables of the table in its own order (a stride through
// the table from its own first row), two to a word, a pause after every
// sixth word. About 15 s each, so that the looping does not show within
// one utterance.
struct BabbleTalker {
  const char* variant;
  int speed;
  int pitch;
  int first_row;
};
constexpr std::array<BabbleTalker, BabbleBank::kMostTalkers> kBabbleTalkers = {{
    {"m1", 160, 45, 0},
    {"f2", 175, 60, 222},
    {"m3", 150, 35, 444},
    {"f4", 185, 70, 666},
    {"m5", 170, 50, 888},
    {"f1", 155, 55, 1110},
}};
constexpr int kBabbleSyllables = 60;
constexpr int kBabbleRowStride = 97;  // prime, and 1333 = 31 x 43: every row once before repeating

// A private folder for espeak's WAV files, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code failure;
    std::filesystem::path base = std::filesystem::temp_directory_path(failure);
    if (failure) base = "/tmp";
    std::string pattern = (base / "kws-synth-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::optional<BabbleBank> synthesise_babble_bank(const std::filesystem::path& scratch_wav, std::string& error) {
  std::vector<std::vector<float>> talkers;
  for (const BabbleTalker& talker : kBabbleTalkers) {
    std::vector<TextToken> text;
    for (int i = 0; i < kBabbleSyllables; ++i) {
      if (i % 2 == 0) text.emplace_back();
      const int row = (talker.first_row + i * kBabbleRowStride) % kSyllableCount;
      text.back().syllables.push_back(big5_to_utf8(syllable_text(row)));
      if (i % 12 == 11) text.push_back(TextToken{.pause = true, .syllables = {}});
    }
    std::string reason;
    std::optional<std::vector<float>> speech =
        synthesise_speech({talker.variant, talker.speed, talker.pitch, 0}, espeak_input(text), scratch_wav, reason);
    if (!speech) {
      error = format_text("babble voice %s: %s", talker.variant, reason.c_str());
      return std::nullopt;
    }
    talkers.push_back(std::move(*speech));
  }
  return BabbleBank(std::move(talkers));
}

// Writes the file under a temporary name and renames it into place, so that
// no file of the final name is ever half-written.
bool write_wav(const std::filesystem::path& path, const std::vector<std::int16_t>& samples, std::string& error) {
  std::error_code failure;
  std::filesystem::create_directories(path.parent_path(), failure);
  if (failure) {
    error = format_text("cannot create folder %s: %s", path.parent_path().c_str(), failure.message().c_str());
    return false;
  }
  const std::filesystem::path partial = path.string() + ".partial";
  SF_INFO info{};
  info.samplerate = kStationSampleRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(partial.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    error = format_text("cannot write %s: %s", partial.c_str(), sf_strerror(nullptr));
    return false;
  }
  const auto count = static_cast<sf_count_t>(samples.size());
  const bool written = sf_write_short(file, samples.data(), count) == count;
  const bool closed = sf_close(file) == 0;
  if (!written || !closed) {
    error = format_text("cannot write %s (disk full?)", partial.c_str());
    std::filesystem::remove(partial, failure);
    return false;
  }
  std::filesystem::rename(partial, path, failure);
  if (failure) {
    error = format_text("cannot rename %s to %s: %s", partial.c_str(), path.c_str(), failure.message().c_str());
    return false;
  }
  return true;
}

bool write_corpus_list(const std::filesystem::path& folder, const std::vector<RecipeUtterance>& utterances,
                       std::string& error) {
  std::string text;
  for (const RecipeUtterance& utterance : utterances) text += corpus_list_line(utterance) + '\n';
  error = write_file_whole(folder / kCorpusListName, text);
  return error.empty();
}

// Every voice of the recipe is a variant espeak-ng has: it would take an
// unknown one silently for the plain voice. Asking for the variants also
// tells early whether espeak-ng runs at all.
bool check_voices(const std::vector<RecipeUtterance>& utterances, const std::string& recipe_name,
                  std::string& error) {
  const std::optional<std::vector<std::string>> variants = espeak_variants(error);
  if (!variants) return false;
  for (const RecipeUtterance& utterance : utterances) {
    if (!utterance.voice.empty() && std::find(variants->begin(), variants->end(), utterance.voice) == variants->end()) {
      error = format_text("%s:%d: voice '%s' is no variant of espeak-ng (see espeak-ng --voices=variant)",
                          recipe_name.c_str(), utterance.line, utterance.voice.c_str());
      return false;
    }
  }
  return true;
}

// The run shared by the worker threads: the next utterance to take, the
// first failure, and the progress.
class SynthesisRun {
 public:
  SynthesisRun(const SynthesisOptions& options, const std::vector<RecipeUtterance>& utterances,
               const BabbleBank* babble, std::FILE* log)
      : options_(options), utterances_(utterances), babble_(babble), log_(log),
        start_(std::chrono::steady_clock::now()) {}

  void work(const std::filesystem::path& scratch_wav) {
    while (!failed_.load()) {
      const std::size_t index = next_.fetch_add(1);
      if (index >= utterances_.size()) return;
      std::string reason;
      try {
        if (synthesise(utterances_[index], scratch_wav, reason)) continue;
      } catch (const std::exception& exception) {
        reason = exception.what();
      }
      const std::lock_guard lock(mutex_);
      if (!failed_.exchange(true)) {
        error_ = format_text("utterance %s (recipe line %d): %s", utterances_[index].name.c_str(),
                             utterances_[index].line, reason.c_str());
      }
    }
  }

  bool failed() const { return failed_.load(); }
  const std::string& error() const { return error_; }

  SynthesisSummary summary() const {
    return {done_, audio_seconds_, elapsed_seconds()};
  }

 private:
  double elapsed_seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  bool synthesise(const RecipeUtterance& utterance, const std::filesystem::path& scratch_wav, std::string& reason) {
    const EspeakVoice voice{utterance.voice, utterance.speed, utterance.pitch, utterance.gap};
    const std::optional<std::vector<float>> speech =
        synthesise_speech(voice, espeak_input(utterance.text), scratch_wav, reason);
    if (!speech) return false;
    const RenderedUtterance rendered = render_utterance(*speech, utterance.noise, utterance.snr_db, babble_,
                                                        utterance_seed(utterance.name, options_.seed));
    if (!write_wav(options_.output_folder / (utterance.name + ".wav"), rendered.samples, reason)) return false;

    const double seconds = static_cast<double>(rendered.samples.size()) / kStationSampleRate;
    const std::lock_guard lock(mutex_);
    if (seconds > kLongestUtteranceSeconds) {
      std::fprintf(log_, "kws-synth: warning: %s is %.2f s long; the station takes at most 8 s\n",
                   utterance.name.c_str(), seconds);
    }
    if (rendered.clipped_samples > 0) {
      std::fprintf(log_, "kws-synth: warning: %s: %zu samples clipped\n", utterance.name.c_str(),
                   rendered.clipped_samples);
    }
    ++done_;
    audio_seconds_ += seconds;
    if (done_ % kProgressInterval == 0 && done_ < utterances_.size()) {
      std::fprintf(log_, "kws-synth: %zu/%zu utterances, %.1f min of audio, %.0f s\n", done_, utterances_.size(),
                   audio_seconds_ / 60.0, elapsed_seconds());
    }
    return true;
  }

  const SynthesisOptions& options_;
  const std::vector<RecipeUtterance>& utterances_;
  const BabbleBank* babble_;
  std::FILE* log_;
  const std::chrono::steady_clock::time_point start_;

  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
  std::mutex mutex_;  // guards the log and everything below
  std::string error_;
  std::size_t done_ = 0;
  double audio_seconds_ = 0.0;
};

}  // namespace

std::string corpus_list_line(const RecipeUtterance& utterance) {
  return utterance.name + ".wav\t" + syllable_labels(utterance);
}

std::optional<SynthesisSummary> synthesise_corpus(const SynthesisOptions& options, std::FILE* log,
                                                  std::string& error) {
  const std::string recipe_name = options.recipe.string();
  const std::optional<std::string> bytes = read_file_bytes(recipe_name);
  if (!bytes) {
    error = format_text("cannot read recipe %s", recipe_name.c_str());
    return std::nullopt;
  }
  const std::optional<std::vector<RecipeUtterance>> utterances = parse_recipe(*bytes, recipe_name, error);
  if (!utterances) return std::nullopt;
  if (!check_voices(*utterances, recipe_name, error)) return std::nullopt;

  std::error_code failure;
  std::filesystem::create_directories(options.output_folder, failure);
  if (failure) {
    error = format_text("cannot create output folder %s: %s", options.output_folder.c_str(), failure.message().c_str());
    return std::nullopt;
  }
  // A list from an earlier run would vouch for files this run rewrites.
  std::filesystem::remove(options.output_folder / kCorpusListName, failure);
  if (failure) {
    error = format_text("cannot remove the old %s: %s", (options.output_folder / kCorpusListName).c_str(),
                        failure.message().c_str());
    return std::nullopt;
  }

  const ScratchFolder scratch;
  if (scratch.path().empty()) {
    error = "cannot make a temporary folder for espeak-ng's files";
    return std::nullopt;
  }
  std::optional<BabbleBank> babble;
  if (std::any_of(utterances->begin(), utterances->end(),
                  [](const RecipeUtterance& utterance) { return utterance.noise == NoiseKind::babble; })) {
    babble = synthesise_babble_bank(scratch.path() / "babble.wav", error);
    if (!babble) return std::nullopt;
  }

  SynthesisRun run(options, *utterances, babble ? &*babble : nullptr, log);
  const std::size_t jobs = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(options.jobs, 1)), 1,
                                                   std::max<std::size_t>(utterances->size(), 1));
  {
    std::vector<std::jthread> workers;
    for (std::size_t job = 1; job < jobs; ++job) {
      workers.emplace_back([&run, &scratch, job] { run.work(scratch.path() / format_text("job%zu.wav", job)); });
    }
    run.work(scratch.path() / "job0.wav");
  }
  if (run.failed()) {
    error = run.error();
    return std::nullopt;
  }
  if (!write_corpus_list(options.output_folder, *utterances, error)) return std::nullopt;

  const SynthesisSummary summary = run.summary();
  std::fprintf(log, "kws-synth: %zu/%zu utterances, %.1f min of audio, %.0f s (real-time factor %.4f with %zu job%s)\n",
               summary.utterances, utterances->size(), summary.audio_seconds / 60.0, summary.elapsed_seconds,
               summary.audio_seconds > 0 ? summary.elapsed_seconds / summary.audio_seconds : 0.0, jobs,
               jobs == 1 ? "" : "s");
  return summary;
}

}  // namespace kws::corpus
