// kws-synth: synthesises a corpus of the station's recordings from a recipe.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "corpus/corpus_synthesis.h"
#include "platform/token_reader.h"

namespace {

constexpr char kUsage[] =
    "Usage: kws-synth [--jobs N] [--seed S] RECIPE OUTDIR\n"
    "Synthesises every utterance of RECIPE with espeak-ng's Mandarin pinyin voice\n"
    "into OUTDIR/NAME.wav (16 kHz mono 16-bit: the speech between 150..450 ms of\n"
    "silence, a faint noise floor, and white, pink or babble noise at the recipe's\n"
    "SNR), then writes OUTDIR/corpus.txt, one line 'NAME.wav<TAB>syllables' per\n"
    "utterance in recipe order. The same recipe and seed give the same bytes\n"
    "whatever the number of jobs. Progress and warnings go to standard error.\n"
    "\n"
    "Recipe lines (TAB-separated; '#' lines and blank lines are ignored):\n"
    "  name voice speed pitch gap noise snr text\n"
    "  voice: espeak-ng variant (m1, f2, klatt, ...) or - ; speed 80..450 (-s);\n"
    "  pitch 0..99 (-p); gap 0..50 (-g, 10 ms); noise none|white|pink|babble;\n"
    "  snr in dB (0 for none); text: words of tonal Zhuyin syllables, single\n"
    "  blanks between words, ',' for a short pause.\n"
    "\n"
    "  --jobs N   utterances synthesised at once (default: the number of cores)\n"
    "  --seed S   seed mixed into every utterance's own (default 1)\n"
    "\n"
    "Example:\n"
    "  printf 'demo/u1\\tf2\\t170\\t50\\t5\\tpink\\t15\\tㄊㄞˊㄅㄟˇ ㄓㄢˋ\\n' > recipe.txt\n"
    "  kws-synth --jobs 2 recipe.txt corpus\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "kws-synth: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  kws::corpus::SynthesisOptions options;
  options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::string> positionals;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--") {
      positionals.insert(positionals.end(), argv + i + 1, argv + argc);
      break;
    }
    if (!argument.starts_with("--")) {
      positionals.push_back(argument);
      continue;
    }
    std::string value;
    if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
    } else if (argument == "--jobs" || argument == "--seed") {
      if (i + 1 >= argc) return usage_error(argument + " needs a value");
      value = argv[++i];
    }
    if (argument == "--jobs") {
      const std::optional<long> jobs = kws::parse_integer(value);
      if (!jobs || *jobs < 1 || *jobs > 256) return usage_error("--jobs '" + value + "' is not a number in 1..256");
      options.jobs = static_cast<int>(*jobs);
    } else if (argument == "--seed") {
      std::size_t used = 0;
      try {
        options.seed = std::stoull(value, &used, 10);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used == 0 || used != value.size() || value.front() == '-' || value.front() == '+') {
        return usage_error("--seed '" + value + "' is not a whole number in 0..18446744073709551615");
      }
    } else {
      return usage_error("unknown option " + argument);
    }
  }
  if (positionals.size() != 2) return usage_error("expected RECIPE and OUTDIR");
  options.recipe = positionals[0];
  options.output_folder = positionals[1];

  std::string error;
  const std::optional<kws::corpus::SynthesisSummary> summary =
      kws::corpus::synthesise_corpus(options, stderr, error);
  if (!summary) {
    std::fprintf(stderr, "kws-synth: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %zu utterance%s, %.1f min of audio\n", (options.output_folder / "corpus.txt").c_str(),
              summary->utterances, summary->utterances == 1 ? "" : "s", summary->audio_seconds / 60.0);
  return 0;
}
