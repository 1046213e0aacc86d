#include "lexical_data/lexical_data.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "lexical_data/reading_data.h"
#include "lexical_data/vocabulary_files.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "platform/file_output.h"

namespace kws::lexical_data {
namespace {

struct OutputFile {
  std::filesystem::path path;
  std::string bytes;
};


// The list files of the folder, sorted by name so the order never depends on
// the file system.
std::vector<std::filesystem::path> list_files(const std::filesystem::path& folder, std::string& error) {
  std::vector<std::filesystem::path> files;
  std::error_code code;
  for (const auto& item : std::filesystem::directory_iterator(folder, code)) {
    std::error_code kind;
    if (item.is_regular_file(kind) && item.path().extension() == ".txt") files.push_back(item.path());
  }
  if (code) error = "cannot list " + folder.string() + ": " + code.message();
  std::sort(files.begin(), files.end());
  return files;
}

VocabularyReport report_of(const Vocabulary& vocabulary) {
  VocabularyReport report;
  report.name = vocabulary.name;
  report.entries = static_cast<int>(vocabulary.entries.size());
  for (const VocabularyEntry& entry : vocabulary.entries) {
    switch (entry.source) {
      case ReadingSource::whole_phrase: ++report.whole_phrase; break;
      case ReadingSource::phrase_parts: ++report.phrase_parts; break;
      case ReadingSource::characters: ++report.characters; break;
      case ReadingSource::override: ++report.overrides; break;
    }
  }
  report.level_nodes = level_node_counts(vocabulary);
  return report;
}

}  // namespace

std::optional<GeneratorReport> generate_lexical_data(const GeneratorOptions& options, std::string& error) {
  const std::optional<ReadingData> data = read_reading_data(options.chewing_folder, error);
  if (!data) return std::nullopt;
  const std::vector<RankedCharacter> ranked = rank_readings(*data);

  const std::optional<ReadingTable> table = build_reading_table(*data, ranked, kReadingTableEntries, error);
  if (!table) return std::nullopt;
  const SyllableUsage usage = syllable_usage(*data, ranked);
  const std::optional<PhoneTable> phones = choose_phone_table(ranked, usage, error);
  if (!phones) return std::nullopt;

  const std::optional<std::string> override_text = read_file_bytes(options.overrides_file.string());
  if (!override_text) {
    error = "cannot read " + options.overrides_file.string();
    return std::nullopt;
  }
  const std::optional<ReadingOverrides> overrides =
      parse_reading_overrides(*override_text, options.overrides_file.filename().string(), error);
  if (!overrides) return std::nullopt;
  const NameReader reader(*data, ranked, *overrides);

  std::vector<Vocabulary> vocabularies;
  const std::vector<std::filesystem::path> lists = list_files(options.lists_folder, error);
  if (!error.empty()) return std::nullopt;
  for (const std::filesystem::path& list : lists) {
    const std::string name = list.stem().string();
    if (name == kSyllableVocabulary || name == kSecondSyllableVocabulary) {
      error = list.string() + ": this vocabulary is made from the phone table";
      return std::nullopt;
    }
    const std::optional<std::string> text = read_file_bytes(list.string());
    if (!text) {
      error = "cannot read " + list.string();
      return std::nullopt;
    }
    const std::optional<std::vector<std::string>> names = parse_name_list(*text, list.filename().string(), error);
    if (!names) return std::nullopt;
    std::optional<Vocabulary> vocabulary = read_vocabulary(name, *names, reader, error);
    if (!vocabulary) return std::nullopt;
    vocabularies.push_back(std::move(*vocabulary));
  }
  vocabularies.push_back(syllable_vocabulary(kSyllableVocabulary, *phones, *data, ranked, 0));
  vocabularies.push_back(syllable_vocabulary(kSecondSyllableVocabulary, *phones, *data, ranked, 1));

  std::vector<OutputFile> outputs;
  outputs.push_back({options.output_folder / "dict1.bin", reading_table_bytes(*table, kReadingTableEntries)});
  outputs.push_back({options.output_folder / "qorphone.tbl", phone_table_text(*phones)});
  GeneratorReport report;
  for (const Vocabulary& vocabulary : vocabularies) {
    if (std::string problem = vocabulary_problem(vocabulary); !problem.empty()) {
      error = std::move(problem);
      return std::nullopt;
    }
    const std::filesystem::path folder = options.output_folder / "data";
    outputs.push_back({folder / (vocabulary.name + ".dat"), dat_text(vocabulary)});
    outputs.push_back({folder / (vocabulary.name + ".spl"), spl_text(vocabulary)});
    report.vocabularies.push_back(report_of(vocabulary));
  }

  std::error_code code;
  std::filesystem::create_directories(options.output_folder / "data", code);
  if (code) {
    error = "cannot create " + (options.output_folder / "data").string() + ": " + code.message();
    return std::nullopt;
  }
  for (const OutputFile& output : outputs) {
    error = write_file_whole(output.path, output.bytes);
    if (!error.empty()) return std::nullopt;
  }

  report.reading_entries = static_cast<int>(table->entries.size());
  report.reading_characters = table->characters;
  report.dropped_readings = table->dropped_readings;
  report.skipped_lines = data->skipped_lines;
  for (const int syllable : phones->left_out) report.phone_table_left_out.push_back(big5_to_utf8(syllable_text(syllable)));
  for (const std::string& name : reader.unused_overrides()) report.unused_overrides.push_back(big5_to_utf8(name));
  return report;
}

std::string report_text(const GeneratorReport& report) {
  std::string text = format_text(
      "dict1.bin: %d readings of %d characters; %d rarer alternative readings left out; "
      "%d unusable input lines skipped\n",
      report.reading_entries, report.reading_characters, report.dropped_readings, report.skipped_lines);
  text += format_text("qorphone.tbl: %d syllables; modelled base syllables left out:", kPhoneTableSyllables);
  for (const std::string& syllable : report.phone_table_left_out) text += ' ' + syllable;
  text += '\n';
  for (const VocabularyReport& vocabulary : report.vocabularies) {
    text += vocabulary.name;
    text += format_text(
        ": %d entries; read from phrases %d (whole name %d, in parts %d), from characters %d, "
        "from overrides %d; level nodes",
        vocabulary.entries, vocabulary.whole_phrase + vocabulary.phrase_parts, vocabulary.whole_phrase,
        vocabulary.phrase_parts, vocabulary.characters, vocabulary.overrides);
    for (int level = 0; level < kLexiconLevels; ++level) {
      const int nodes = vocabulary.level_nodes[static_cast<std::size_t>(level)];
      if (nodes > 0) text += format_text(" %d:%d", level, nodes);
    }
    text += '\n';
  }
  if (!report.unused_overrides.empty()) {
    text += "reading overrides no name used:";
    for (const std::string& name : report.unused_overrides) text += ' ' + name;
    text += '\n';
  }
  return text;
}

}  // namespace kws::lexical_data
