// kws-train: the station's acoustic models and anti-models from recordings and
// their tonal Zhuyin transcriptions, or a data directory's models adapted to
// one speaker's recordings (kws-train adapt).
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "trainer/adaptation.h"
#include "trainer/anti_models.h"
#include "trainer/corpus_list.h"
#include "trainer/model_files.h"
#include "trainer/trainer.h"
#include "trainer/training_data.h"

namespace {

constexpr char kUsage[] =
    "Usage: kws-train [options] --out DATA_DIR [--weight W] LIST [[--weight W] LIST ...]\n"
    "       kws-train adapt --data DIR --out DIR [options] LIST ...   (kws-train adapt --help)\n"
    "Trains the 153 models of the inventory and the anti-models from the recordings of\n"
    "the corpus lists, and writes DATA_DIR/rcdmodel, DATA_DIR/model/bsl/<name> and\n"
    "DATA_DIR/rcdhmm/anti0630.hmm (other files of DATA_DIR are left alone).\n"
    "\n"
    "A corpus list is UTF-8 text, one utterance per line: an audio file (relative to\n"
    "the list's folder unless absolute; WAV, FLAC or anything libsndfile reads, at most\n"
    "8 s), then its tonal Zhuyin syllables separated by blanks, for example\n"
    "  rec/0001.wav  ㄊㄞˊ ㄅㄟˇ ㄓㄢˋ\n"
    "Lines starting with # are comments. Pauses need no label.\n"
    "\n"
    "  --out DIR            data directory to write the models into (required)\n"
    "  --weight W           how much the utterances of the lists that follow count\n"
    "                       (a whole number 1..20; default 1)\n"
    "  --copies N           perturbed copies of every recording of the lists that follow,\n"
    "                       besides the recording itself (0..8; default 0)\n"
    "  --augment KINDS      what the copies vary: speed, warp (vocal tract length), reverb,\n"
    "                       channel (microphone), noise (coloured), comma-separated, or all\n"
    "                       (default all)\n"
    "  --jobs N             threads (default: the number of cores)\n"
    "  --mixtures M         Gaussian components per state at most, 1..32 (default 8)\n"
    "  --iterations K       re-alignments with single Gaussians (default 5)\n"
    "  --split-iterations K re-alignments after each doubling of components (default 12)\n"
    "  --initial-states N   emitting states of the initial-type units and fil_ini, 1..4 (default 3)\n"
    "  --final-states N     emitting states of the finals and fil_fin, 1..4 (default 4)\n"
    "  --variance-floor P   smallest variance, in percent of the corpus variance (default 2)\n"
    "  --anti-mixtures M    components per anti-model state, 1..32 (default 8)\n"
    "  --anti-competitors C units pooled into each anti-model (default 4)\n"
    "\n"
    "Example:\n"
    "  kws-train --out my-data --weight 3 my-recordings.txt --weight 1 synthetic.txt\n";

constexpr char kAdaptUsage[] =
    "Usage: kws-train adapt --data DIR --out DIR [--tau T] [--passes P] [--no-mllr] [--jobs N]\n"
    "                       LIST [LIST ...]\n"
    "Adapts the models and anti-models of the data directory DIR to the speaker of the\n"
    "recordings in the corpus lists, and writes a complete copy of DIR with the adapted\n"
    "models as the folder --out, which must not exist or be empty. DIR is not changed.\n"
    "\n"
    "The recordings are aligned with DIR's models; one transform of all means (MLLR) is\n"
    "estimated from them, then every mean with frames of its own moves toward those\n"
    "frames (MAP). Each further pass aligns with the adapted models and adapts them again.\n"
    "The lists are in kws-train's corpus-list format (kws-train --help).\n"
    "\n"
    "  --data DIR   data directory whose models are adapted (required)\n"
    "  --out DIR    folder for the adapted data directory (required)\n"
    "  --tau T      weight of a mean's current value, in frames: a mean with T frames\n"
    "               of its own moves half way to them (default 15)\n"
    "  --passes P   alignment and adaptation passes, 1..10 (default 3)\n"
    "  --no-mllr    no global transform: only means with frames of their own move\n"
    "  --jobs N     threads (default: the number of cores)\n"
    "\n"
    "Example:\n"
    "  kws-train adapt --data data --out my-data my-recordings.txt\n";

int usage_error(const std::string& message, const char* usage = kUsage) {
  std::fprintf(stderr, "kws-train: %s\n%s", message.c_str(), usage);
  return 2;
}

bool parse_count(std::string_view text, int low, int high, int& value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc{} || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

void print_progress(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

bool parse_real(std::string_view text, double low, double high, double& value) {
  double parsed = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc{} || end != text.data() + text.size() || !(parsed >= low && parsed <= high)) return false;
  value = parsed;
  return true;
}

int default_jobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// kws-train adapt, with the arguments after "adapt".
int adapt_main(int argc, char** argv) {
  using namespace kws::trainer;
  AdaptationOptions options;
  options.jobs = default_jobs();
  std::string data, output;
  std::vector<std::string> lists;
  for (int i = 0; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kAdaptUsage, stdout);
      return 0;
    }
    if (argument == "--no-mllr") {
      options.transform = false;
      continue;
    }
    if (!argument.starts_with("--")) {
      lists.emplace_back(argument);
      continue;
    }
    if (i + 1 >= argc) return usage_error(std::string(argument) + " needs a value", kAdaptUsage);
    const std::string_view value = argv[++i];
    bool ok = true;
    if (argument == "--data") {
      data = value;
    } else if (argument == "--out") {
      output = value;
    } else if (argument == "--tau") {
      ok = parse_real(value, 0.0, 1e6, options.tau);
    } else if (argument == "--passes") {
      ok = parse_count(value, 1, 10, options.passes);
    } else if (argument == "--jobs") {
      ok = parse_count(value, 1, 64, options.jobs);
    } else {
      return usage_error("unknown option " + std::string(argument), kAdaptUsage);
    }
    if (!ok) return usage_error("bad value for " + std::string(argument) + ": " + std::string(value), kAdaptUsage);
  }
  if (data.empty()) return usage_error("--data DIR is required", kAdaptUsage);
  if (output.empty()) return usage_error("--out DIR is required", kAdaptUsage);
  if (lists.empty()) return usage_error("no corpus list given", kAdaptUsage);

  std::vector<ListedUtterance> recordings;
  for (const std::string& list : lists) {
    std::string error;
    const auto listed = read_corpus_list(list, error);
    if (!listed) {
      std::fprintf(stderr, "kws-train: %s\n", error.c_str());
      return 1;
    }
    recordings.insert(recordings.end(), listed->begin(), listed->end());
  }
  std::string error;
  const auto report = adapt_data_directory(data, recordings, output, options, print_progress, error);
  if (!report) {
    std::fprintf(stderr, "kws-train: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr,
               "adapted to %d utterances (%.1f minutes; %zu left out) with %s; %d of %d Gaussians moved, %d by MAP; "
               "log-likelihood per frame %.3f before, %.3f after\n",
               report->utterances_used, static_cast<double>(report->frames) / 6000.0, report->left_out.size(),
               transform_description(report->transform.kind), report->gaussians_moved, report->gaussians,
               report->gaussians_with_data, report->log_likelihood_before, report->log_likelihood_after);
  return 0;
}

struct WeightedList {
  std::string path;
  int weight;
  int copies;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace kws::trainer;
  if (argc > 1 && std::string_view(argv[1]) == "adapt") return adapt_main(argc - 2, argv + 2);
  TrainingOptions options;
  AntiModelOptions anti_options;
  options.jobs = default_jobs();
  std::string output;
  std::vector<WeightedList> lists;
  int weight = 1;
  int copies = 0;
  Augmentation augmentation;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!argument.starts_with("--")) {
      lists.push_back({std::string(argument), weight, copies});
      continue;
    }
    if (i + 1 >= argc) return usage_error(std::string(argument) + " needs a value");
    const std::string_view value = argv[++i];
    bool ok = true;
    if (argument == "--out") {
      output = value;
    } else if (argument == "--weight") {
      ok = parse_count(value, 1, 20, weight);
    } else if (argument == "--copies") {
      ok = parse_count(value, 0, 8, copies);
    } else if (argument == "--augment") {
      ok = kws::corpus::parse_augmentation_kinds(value, augmentation.kinds);
    } else if (argument == "--jobs") {
      ok = parse_count(value, 1, 64, options.jobs);
    } else if (argument == "--mixtures") {
      ok = parse_count(value, 1, 32, options.mixtures);
    } else if (argument == "--iterations") {
      ok = parse_count(value, 1, 50, options.single_gaussian_iterations);
    } else if (argument == "--split-iterations") {
      ok = parse_count(value, 1, 50, options.iterations_per_split);
    } else if (argument == "--initial-states") {
      ok = parse_count(value, 1, 4, options.initial_states);
    } else if (argument == "--final-states") {
      ok = parse_count(value, 1, 4, options.final_states);
    } else if (argument == "--variance-floor") {
      int percent = 0;
      ok = parse_count(value, 1, 50, percent);
      options.variance_floor = percent / 100.0;
    } else if (argument == "--anti-mixtures") {
      ok = parse_count(value, 1, 32, anti_options.mixtures);
    } else if (argument == "--anti-competitors") {
      ok = parse_count(value, 1, 37, anti_options.competitors);
    } else {
      return usage_error("unknown option " + std::string(argument));
    }
    if (!ok) return usage_error("bad value for " + std::string(argument) + ": " + std::string(value));
  }
  if (output.empty()) return usage_error("--out DATA_DIR is required");
  if (lists.empty()) return usage_error("no corpus list given");
  anti_options.jobs = options.jobs;

  const auto started = std::chrono::steady_clock::now();
  std::vector<TrainingUtterance> corpus;
  for (const WeightedList& list : lists) {
    std::string error;
    const auto listed = read_corpus_list(list.path, error);
    if (!listed) {
      std::fprintf(stderr, "kws-train: %s\n", error.c_str());
      return 1;
    }
    augmentation.copies = list.copies;
    LoadedCorpus loaded = load_training_data(*listed, list.weight, options.jobs, augmentation);
    for (const std::string& problem : loaded.problems) std::fprintf(stderr, "left out: %s\n", problem.c_str());
    std::size_t frames = 0;
    for (const TrainingUtterance& utterance : loaded.utterances) frames += utterance.frames.size();
    std::fprintf(stderr, "%s: %zu utterances (copies included), %.1f minutes, weight %d\n", list.path.c_str(),
                 loaded.utterances.size(), static_cast<double>(frames) / 6000.0, list.weight);
    for (TrainingUtterance& utterance : loaded.utterances) corpus.push_back(std::move(utterance));
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "kws-train: no usable utterance\n");
    return 1;
  }

  const MainModels main_models = train_main_models(corpus, options, print_progress);
  for (const std::string& name : main_models.unseen) {
    std::fprintf(stderr, "warning: no frame of the corpus trains %s; it keeps the corpus average\n", name.c_str());
  }
  const AntiModels anti = train_anti_models(corpus, main_models, anti_options, print_progress);

  const std::string error = write_model_files(output, main_models.models, anti.models);
  if (!error.empty()) {
    std::fprintf(stderr, "kws-train: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "wrote %zu models and %zu anti-models into %s in %.0f s\n", main_models.models.size(),
               anti.models.size(), output.c_str(),
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return 0;
}
