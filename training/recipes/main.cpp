// kws-recipes: writes the recipes, corpus lists and references that say what
// the training and test corpora say; kws-recipes enrolment writes the prompts
// a user records to adapt the models to their voice.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "recipes/enrolment.h"
#include "recipes/recipe_writer.h"

namespace {

constexpr char kUsage[] =
    "Usage: kws-recipes --chewing DIR --aishell DIR --out OUTDIR [--train-utterances N] [--seed S]\n"
    "                   [--data DIR] [--overrides FILE] [--words DIR]... [--syllables DIR]... [--gcin DIR]\n"
    "       kws-recipes enrolment --chewing DIR --out OUTDIR [options]   (kws-recipes enrolment --help)\n"
    "Writes what the corpora say into OUTDIR:\n"
    "  aishell-train.txt, aishell-test.txt  corpus lists of the real speech (absolute audio path,\n"
    "                                       tonal Zhuyin syllables), about 100 utterances for test\n"
    "  synth-train.recipe                   the synthetic training corpus, training voices only\n"
    "  bundled-test.recipe, train_index.txt the batch test recordings tr1_1..tr1_50 with their\n"
    "                                       keyword reference table (Big5), and n34512\n"
    "  eval.recipe, eval-references.txt     the larger evaluation in held-out voices\n"
    "  vocab/aishell.dat, vocab/aishell.spl, real-eval-references.txt\n"
    "                                       spotting words in the real test speech\n"
    "  NAME-train.txt, NAME-test.txt        for each --words DIR: its isolated words, one in 8 of\n"
    "                                       each speaker's held out for test (NAME: DIR's name)\n"
    "  vocab/NAME.dat, vocab/NAME.spl, NAME-eval-references.txt\n"
    "                                       spotting words in DIR's test recordings: up to 150\n"
    "                                       words they say, as many phrases they do not\n"
    "  NAME-syllables-train.txt, NAME-syllables-test.txt\n"
    "                                       for each --syllables DIR: its isolated syllables, split\n"
    "                                       the same way\n"
    "  gcin-train.txt, gcin-test.txt        for --gcin DIR: gcin-voice's syllables, split the same\n"
    "                                       way, speakers gcin-male and gcin-female\n"
    "Recipe lines: name, voice, speed, pitch, gap, noise, snr, text (TAB-separated), as kws-synth\n"
    "reads them. Counts and the rarest sub-syllable units go to standard error. The same inputs\n"
    "and seed always give the same bytes.\n"
    "\n"
    "  --chewing DIR         the chewing reading data (word.csv, tsi.big5.src)\n"
    "  --aishell DIR         the real speech (transcripts.tsv, audio/ID.flac)\n"
    "  --out OUTDIR          where the files go (created if needed)\n"
    "  --train-utterances N  about how many training utterances (default 3000); every vocabulary\n"
    "                        entry, transcript and unit is said whatever N is\n"
    "  --seed S              the random seed (default 20240607)\n"
    "  --data DIR            the data directory with the vocabularies (default: the source tree's data)\n"
    "  --overrides FILE      reviewed readings (default: training/reading_overrides.txt)\n"
    "  --words DIR           isolated words of real speakers (transcripts.tsv: file, speaker,\n"
    "                        simplified, traditional, ...); may be given several times\n"
    "  --syllables DIR       isolated syllables of real speakers (transcripts.tsv: file, speaker, and a\n"
    "                        pinyin column with toned pinyin such as lv3); may be given several times\n"
    "  --gcin DIR            gcin-voice's recordings, e.g. /usr/share/gcin/ogg: DIR/<Zhuyin><digit>/3.ogg\n"
    "                        (male) and 5.ogg (female), no digit the first tone, 1 the neutral tone\n"
    "\n"
    "Example:\n"
    "  kws-recipes --chewing ../shared/data/chewing --aishell ../shared/data/aishell-S0150 --out recipes\n";

constexpr char kEnrolmentUsage[] =
    "Usage: kws-recipes enrolment --chewing DIR --out OUTDIR [--prompts N] [--seed S] [--overrides FILE]\n"
    "Writes the prompts a user reads aloud to adapt the models to their voice (kws-train adapt):\n"
    "short prompts of 4 to 10 characters made of frequent phrases of the reading data, chosen so\n"
    "that every one of the 150 sub-syllable units is said at least 3 times. Into OUTDIR:\n"
    "  prompts.txt    the numbered prompts in characters and tonal Zhuyin, to read aloud\n"
    "  enrolment.txt  the corpus list for kws-train adapt: rec/NN.wav and the syllables of prompt NN;\n"
    "                 record each prompt as rec/NN.wav next to it (16 kHz mono WAV, or any format\n"
    "                 libsndfile reads with the name in the list changed to match)\n"
    "Counts and the least said units go to standard error. The same inputs and seed always give\n"
    "the same bytes.\n"
    "\n"
    "  --chewing DIR     the chewing reading data (word.csv, tsi.big5.src)\n"
    "  --out OUTDIR      where the files go (created if needed)\n"
    "  --prompts N       about how many prompts (default 60); fewer when the phrases run out, more\n"
    "                    when the units need them\n"
    "  --seed S          the random seed (default 20240607)\n"
    "  --overrides FILE  reviewed readings (default: training/reading_overrides.txt)\n"
    "\n"
    "Example:\n"
    "  kws-recipes enrolment --chewing ../shared/data/chewing --out enrolment\n"
    "  (record rec/01.wav ... as prompts.txt says, then)\n"
    "  kws-train adapt --data data --out my-data enrolment/enrolment.txt\n";

int usage_error(const std::string& message, const char* usage = kUsage) {
  std::fprintf(stderr, "kws-recipes: %s\n%s", message.c_str(), usage);
  return 2;
}

template <typename Number>
bool parse_number(std::string_view text, Number& number) {
  const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), number);
  return code == std::errc() && end == text.data() + text.size();
}

// kws-recipes enrolment, with the arguments after "enrolment".
int enrolment_main(int argc, char** argv) {
  kws::recipes::EnrolmentOptions options;
  options.overrides_file = KWS_SOURCE_DIR "/training/reading_overrides.txt";
  bool have_chewing = false;
  bool have_out = false;
  for (int i = 0; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kEnrolmentUsage, stdout);
      return 0;
    }
    if (!argument.starts_with("--")) {
      return usage_error("unexpected argument " + std::string(argument), kEnrolmentUsage);
    }
    if (i + 1 >= argc) return usage_error(std::string(argument) + " needs a value", kEnrolmentUsage);
    const std::string_view value = argv[++i];
    if (argument == "--chewing") {
      options.chewing_folder = value;
      have_chewing = true;
    } else if (argument == "--out") {
      options.output_folder = value;
      have_out = true;
    } else if (argument == "--overrides") {
      options.overrides_file = value;
    } else if (argument == "--prompts") {
      if (!parse_number(value, options.prompts) || options.prompts < 1 || options.prompts > 999) {
        return usage_error("--prompts takes a whole number 1..999, not " + std::string(value), kEnrolmentUsage);
      }
    } else if (argument == "--seed") {
      if (!parse_number(value, options.seed)) {
        return usage_error("--seed takes a whole number 0..18446744073709551615, not " + std::string(value),
                           kEnrolmentUsage);
      }
    } else {
      return usage_error("unknown option " + std::string(argument), kEnrolmentUsage);
    }
  }
  if (!have_chewing || !have_out) return usage_error("--chewing and --out are needed", kEnrolmentUsage);

  std::string error;
  const std::optional<kws::recipes::EnrolmentPrompts> chosen = kws::recipes::write_enrolment(options, error);
  if (!chosen) {
    std::fprintf(stderr, "kws-recipes: %s\n", error.c_str());
    return 1;
  }
  std::fputs(kws::recipes::enrolment_report_text(*chosen, options.prompts).c_str(), stderr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "enrolment") return enrolment_main(argc - 2, argv + 2);
  kws::recipes::RecipeOptions options;
  options.data_folder = KWS_SOURCE_DIR "/data";
  options.overrides_file = KWS_SOURCE_DIR "/training/reading_overrides.txt";
  bool have_chewing = false;
  bool have_aishell = false;
  bool have_out = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!argument.starts_with("--")) return usage_error("unexpected argument " + std::string(argument));
    if (i + 1 >= argc) return usage_error(std::string(argument) + " needs a value");
    const std::string_view value = argv[++i];
    if (argument == "--chewing") {
      options.chewing_folder = value;
      have_chewing = true;
    } else if (argument == "--aishell") {
      options.aishell_folder = value;
      have_aishell = true;
    } else if (argument == "--out") {
      options.output_folder = value;
      have_out = true;
    } else if (argument == "--words") {
      options.word_folders.emplace_back(value);
    } else if (argument == "--syllables") {
      options.syllable_folders.emplace_back(value);
    } else if (argument == "--gcin") {
      options.gcin_folder = value;
    } else if (argument == "--data") {
      options.data_folder = value;
    } else if (argument == "--overrides") {
      options.overrides_file = value;
    } else if (argument == "--train-utterances") {
      if (!parse_number(value, options.training_utterances) || options.training_utterances > 1000000) {
        return usage_error("--train-utterances takes a whole number 0..1000000, not " + std::string(value));
      }
    } else if (argument == "--seed") {
      if (!parse_number(value, options.seed)) {
        return usage_error("--seed takes a whole number 0..18446744073709551615, not " + std::string(value));
      }
    } else {
      return usage_error("unknown option " + std::string(argument));
    }
  }
  if (!have_chewing || !have_aishell || !have_out) return usage_error("--chewing, --aishell and --out are needed");

  std::string error;
  const std::optional<kws::recipes::RecipeReport> report = kws::recipes::write_recipes(options, error);
  if (!report) {
    std::fprintf(stderr, "kws-recipes: %s\n", error.c_str());
    return 1;
  }
  std::fputs(kws::recipes::report_text(*report).c_str(), stderr);
  return 0;
}
