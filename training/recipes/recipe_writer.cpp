#include "recipes/recipe_writer.h"

#include <fstream>
#include <map>
#include <system_error>

#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "lexical_data/reading_data.h"
#include "platform/file_output.h"
#include "platform/message_sink.h"
#include "platform/token_reader.h"
#include "recipes/bundled_vocabularies.h"
#include "recipes/syllable_speech.h"
#include "recipes/voices.h"
#include "recipes/word_speech.h"

namespace kws::recipes {
namespace {

struct OutputFile {
  std::filesystem::path path;  // relative to the output folder
  std::string bytes;
};

constexpr char kRecipeColumns[] = "# name\tvoice\tspeed\tpitch\tgap\tnoise\tsnr\ttext\n";

std::string voice_list(std::span<const std::string_view> voices) {
  std::string text;
  for (const std::string_view voice : voices) {
    if (!text.empty()) text += ' ';
    text += voice;
  }
  return text;
}

std::string recipe_text(std::string_view comment, const std::vector<Utterance>& utterances) {
  std::string text = "# " + std::string(comment) + "\n" + kRecipeColumns;
  for (const Utterance& utterance : utterances) text += recipe_line(utterance) + '\n';
  return text;
}

std::string recipe_text(std::string_view comment, const std::vector<TestUtterance>& tests) {
  std::vector<Utterance> utterances;
  for (const TestUtterance& test : tests) utterances.push_back(test.utterance);
  return recipe_text(comment, utterances);
}

// A folder's own name, also when the path ends in a separator.
std::string folder_name(const std::filesystem::path& folder) {
  const std::filesystem::path normal = folder.lexically_normal();
  return normal.filename().empty() ? normal.parent_path().filename().string() : normal.filename().string();
}

void add_syllable_lists(const std::string& name, const WordSpeech& syllables, std::vector<OutputFile>& outputs,
                        RecipeReport& report) {
  report.syllable_lists.push_back({name, syllables.training.size(), syllables.test.size(), syllables.skipped});
  outputs.push_back(
      {name + "-train.txt", corpus_list_text(syllables.training, name + ": isolated syllables for training")});
  outputs.push_back(
      {name + "-test.txt", corpus_list_text(syllables.test, name + ": isolated syllables held out for testing")});
}

}  // namespace

std::optional<RecipeReport> write_recipes(const RecipeOptions& options, std::string& error) {
  const std::unique_ptr<const ReadingTables> tables =
      load_reading_tables(options.chewing_folder, options.overrides_file, error);
  if (!tables) return std::nullopt;
  const lexical_data::ReadingData& data = tables->data;
  const TextReader& reader = tables->reader;

  const std::optional<std::vector<lexical_data::Vocabulary>> vocabularies =
      read_bundled_vocabularies(options.data_folder, error);
  if (!vocabularies) return std::nullopt;

  const std::filesystem::path transcript_file = options.aishell_folder / "transcripts.tsv";
  const std::optional<std::string> transcript_text = read_input(transcript_file, error);
  if (!transcript_text) return std::nullopt;
  const std::optional<std::vector<Transcript>> transcripts =
      parse_transcripts(*transcript_text, transcript_file.string(), error);
  if (!transcripts) return std::nullopt;
  const RealSpeech real = split_real_speech(*transcripts, options.aishell_folder, reader);

  RecipeReport report;
  report.transcripts = static_cast<int>(transcripts->size());
  report.skipped = real.skipped;
  report.real_training = static_cast<int>(real.training.size());
  report.real_test = static_cast<int>(real.test.size());
  const CorpusSources sources{data, reader, *vocabularies, real};

  const std::optional<std::vector<Utterance>> training =
      training_recipe(sources, options.training_utterances, options.seed, report.training, error);
  if (!training) return std::nullopt;
  const std::optional<std::vector<TestUtterance>> bundled = bundled_test(sources, options.seed, report.bundled, error);
  if (!bundled) return std::nullopt;
  const std::optional<std::vector<TestUtterance>> evaluation_set =
      evaluation(sources, options.seed, report.evaluation, error);
  if (!evaluation_set) return std::nullopt;
  report.evaluation_utterances = static_cast<int>(evaluation_set->size());
  const std::optional<lexical_data::Vocabulary> real_vocabulary =
      real_speech_vocabulary(sources, options.seed, report.real_vocabulary, error);
  if (!real_vocabulary) return std::nullopt;

  const std::string seed_note = format_text("seed %llu", static_cast<unsigned long long>(options.seed));
  std::vector<OutputFile> outputs;
  outputs.push_back(
      {"aishell-train.txt", corpus_list_text(real.training, "real speech for training: audio, syllables")});
  outputs.push_back(
      {"aishell-test.txt", corpus_list_text(real.test, "real speech held out for testing: audio, syllables")});
  outputs.push_back(
      {"synth-train.recipe",
       recipe_text("training corpus, voices " + voice_list(kTrainingVoices) + "; " + seed_note, *training)});
  outputs.push_back(
      {"bundled-test.recipe",
       recipe_text("batch test recordings tr1_1..tr1_50 and n34512, held-out voices; " + seed_note, *bundled)});
  outputs.push_back({"train_index.txt", train_index_text(*bundled)});
  outputs.push_back(
      {"eval.recipe",
       recipe_text("evaluation, held-out voices " + voice_list(kHeldOutVoices) + "; " + seed_note, *evaluation_set)});
  outputs.push_back({"eval-references.txt", evaluation_references_text(*evaluation_set)});
  outputs.push_back(
      {std::filesystem::path("vocab") / (real_vocabulary->name + ".dat"), lexical_data::dat_text(*real_vocabulary)});
  outputs.push_back(
      {std::filesystem::path("vocab") / (real_vocabulary->name + ".spl"), lexical_data::spl_text(*real_vocabulary)});
  outputs.push_back({"real-eval-references.txt", real_references_text(real.test, *real_vocabulary)});
  for (const std::filesystem::path& folder : options.word_folders) {
    const std::filesystem::path list = folder / "transcripts.tsv";
    const std::optional<std::string> list_text = read_input(list, error);
    if (!list_text) return std::nullopt;
    const std::optional<std::vector<WordRecording>> recordings =
        parse_word_transcripts(*list_text, list.string(), error);
    if (!recordings) return std::nullopt;
    const WordSpeech words = split_word_speech(*recordings, folder, reader);
    const std::string name = folder_name(folder);
    report.word_lists.push_back({name, words.training.size(), words.test.size(), words.skipped});
    outputs.push_back({name + "-train.txt", corpus_list_text(words.training, name + ": isolated words for training")});
    outputs.push_back(
        {name + "-test.txt", corpus_list_text(words.test, name + ": isolated words held out for testing")});
    WordVocabularyReport& vocabulary_report = report.word_vocabularies.emplace_back();
    const std::optional<lexical_data::Vocabulary> vocabulary =
        word_vocabulary(name, words.test, data, options.seed, vocabulary_report, error);
    if (!vocabulary) return std::nullopt;
    outputs.push_back({std::filesystem::path("vocab") / (name + ".dat"), lexical_data::dat_text(*vocabulary)});
    outputs.push_back({std::filesystem::path("vocab") / (name + ".spl"), lexical_data::spl_text(*vocabulary)});
    outputs.push_back({name + "-eval-references.txt", word_references_text(words.test, *vocabulary)});
  }
  for (const std::filesystem::path& folder : options.syllable_folders) {
    const std::filesystem::path list = folder / "transcripts.tsv";
    const std::optional<std::string> list_text = read_input(list, error);
    if (!list_text) return std::nullopt;
    const std::optional<std::vector<PinyinRecording>> recordings =
        parse_syllable_transcripts(*list_text, list.string(), error);
    if (!recordings) return std::nullopt;
    add_syllable_lists(folder_name(folder) + "-syllables", split_pinyin_syllables(*recordings, folder), outputs,
                       report);
  }
  if (!options.gcin_folder.empty()) {
    const std::optional<WordSpeech> gcin = split_gcin_syllables(options.gcin_folder, error);
    if (!gcin) return std::nullopt;
    add_syllable_lists("gcin", *gcin, outputs, report);
  }

  std::error_code code;
  std::filesystem::create_directories(options.output_folder / "vocab", code);
  if (code) {
    error = "cannot create " + (options.output_folder / "vocab").string() + ": " + code.message();
    return std::nullopt;
  }
  for (const OutputFile& output : outputs) {
    error = write_file_whole(options.output_folder / output.path, output.bytes);
    if (!error.empty()) return std::nullopt;
  }
  return report;
}

std::string report_text(const RecipeReport& report) {
  std::map<SkipReason, int> skipped;
  for (const auto& [id, reason] : report.skipped) ++skipped[reason];
  std::string text =
      format_text("real speech: %d transcripts; %d for training, %d for test; left out:", report.transcripts,
                  report.real_training, report.real_test);
  for (const auto& [reason, count] : skipped)
    text += format_text(" %d %s;", count, std::string(skip_reason_text(reason)).c_str());
  if (skipped.empty()) text += " none";
  text += '\n';

  const TrainingReport& training = report.training;
  text += format_text(
      "synth-train.recipe: %d utterances: %d with vocabulary entries (%d distinct entries, %d times each), "
      "%d transcripts, %d sentences of phrases, %d for unit coverage; %d with noise\n",
      training.entry_utterances + training.transcript_utterances + training.phrase_utterances +
          training.coverage_utterances,
      training.entry_utterances, training.distinct_entries, kEntryRepetitions, training.transcript_utterances,
      training.phrase_utterances, training.coverage_utterances, training.noisy_utterances);
  text += "rarest units:";
  const std::vector<int> units = units_by_count(training.unit_counts);
  for (std::size_t i = 0; i < units.size() && i < 10; ++i) {
    text += format_text(" %s %d", std::string(inventory_name(units[i])).c_str(),
                        training.unit_counts[static_cast<std::size_t>(units[i])]);
  }
  text += '\n';
  for (const int unit : training.unreachable_units) {
    text += "warning: no syllable says the unit " + std::string(inventory_name(unit)) + '\n';
  }

  text += format_text("bundled-test.recipe: %d batch utterances of %.1f to %.1f s (estimated) and %s\n", kBatchRecords,
                      report.bundled.shortest_seconds, report.bundled.longest_seconds, kLatticeUtterance);
  text += format_text("eval.recipe: %d utterances of %.1f to %.1f s (estimated)\n", report.evaluation_utterances,
                      report.evaluation.shortest_seconds, report.evaluation.longest_seconds);
  for (const TestReport* test : {&report.bundled, &report.evaluation}) {
    for (const std::string& carrier : test->dropped_carriers)
      text += "carrier left out, it says an entry: " + carrier + '\n';
  }
  const RealVocabularyReport& words = report.real_vocabulary;
  text += format_text(
      "vocab/%s: %d words the test transcripts say, %d they do not; %d of %d test utterances say one; "
      "%d left out for the search's capacity\n",
      kRealSpeechVocabulary, words.spoken_words, words.absent_words, words.utterances_with_words, report.real_test,
      words.left_out_for_capacity);
  for (const RecipeReport::WordLists& lists : report.word_lists) {
    text += format_text("%s: isolated words, %zu for training, %zu for test, %zu left out\n", lists.name.c_str(),
                        lists.training, lists.test, lists.skipped);
  }
  for (const WordVocabularyReport& words : report.word_vocabularies) {
    text += format_text(
        "vocab/%s: %d words the test recordings say, %d they do not; %d of %d test recordings say one; "
        "%d left out as other test recordings hold them, %d for the search's capacity\n",
        words.name.c_str(), words.spoken_words, words.absent_words, words.recordings_with_words, words.test_recordings,
        words.heard_elsewhere, words.left_out_for_capacity);
  }
  for (const RecipeReport::WordLists& lists : report.syllable_lists) {
    text += format_text("%s: isolated syllables, %zu for training, %zu for test, %zu left out\n", lists.name.c_str(),
                        lists.training, lists.test, lists.skipped);
  }
  return text;
}

}  // namespace kws::recipes
