#include "output_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>

#include "lexicon/syllable_decomposition.h"
#include "models/model_inventory.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "recipes/training_recipe.h"
#include "recipes/voices.h"

namespace kws::recipes::testing {
namespace {

std::vector<std::string> tokens_of(const std::string& text) {
  std::vector<std::string> tokens;
  TokenReader reader(text);
  while (const std::optional<std::string_view> token = reader.next()) tokens.emplace_back(*token);
  return tokens;
}

std::vector<CheckedEntry> read_vocabulary_files(const std::filesystem::path& dat, const std::filesystem::path& spl) {
  const std::optional<std::string> words = read_file_bytes(dat.string());
  const std::optional<std::string> syllables = read_file_bytes(spl.string());
  EXPECT_TRUE(words && syllables) << "cannot read " << dat << " or its .spl";
  std::vector<CheckedEntry> entries;
  if (!words || !syllables) return entries;
  const std::vector<std::string> word_tokens = tokens_of(*words);
  const std::vector<std::string> syllable_tokens = tokens_of(*syllables);
  std::size_t next = 0;
  for (std::size_t i = 1; i < word_tokens.size(); i += 2) {
    EXPECT_EQ(word_tokens[i - 1], std::to_string(i / 2 + 1)) << dat << ": entries numbered from 1";
    CheckedEntry entry{big5_to_utf8(word_tokens[i]), {}};
    for (std::size_t k = 0; k < word_tokens[i].size() / 2 && next < syllable_tokens.size(); ++k) {
      entry.syllables.push_back(big5_to_utf8(syllable_tokens[next++]));
    }
    entries.push_back(std::move(entry));
  }
  EXPECT_EQ(next, syllable_tokens.size()) << spl << ": syllables left over";
  return entries;
}

bool in_list(std::span<const std::string_view> list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

void check_voices(const std::vector<CheckedRecipeLine>& lines, std::span<const std::string_view> allowed,
                  std::string_view recipe) {
  for (const CheckedRecipeLine& line : lines) {
    EXPECT_TRUE(in_list(allowed, line.voice)) << recipe << ":" << line.line << ": voice " << line.voice;
  }
}

std::set<std::string> names_of(const std::vector<CheckedRecipeLine>& lines, std::string_view recipe) {
  std::set<std::string> names;
  for (const CheckedRecipeLine& line : lines) {
    EXPECT_TRUE(names.insert(line.name).second) << recipe << ": " << line.name << " twice";
  }
  return names;
}

// Whether the entries are said in this order as words of the line.
bool says_in_order(const CheckedRecipeLine& line, const std::vector<const CheckedEntry*>& entries) {
  const std::vector<std::string> words = line.word_texts();
  auto at = words.begin();
  for (const CheckedEntry* entry : entries) {
    at = std::find(at, words.end(), entry->word());
    if (at == words.end()) return false;
    ++at;
  }
  return true;
}

const CheckedEntry* find_entry(const std::vector<CheckedEntry>& entries, const std::string& name) {
  for (const CheckedEntry& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

void check_training(const CheckedOutputs& outputs,
                    const std::map<std::string, std::vector<CheckedEntry>>& vocabularies) {
  SCOPED_TRACE("synth-train.recipe");
  names_of(outputs.training, "synth-train.recipe");
  check_voices(outputs.training, kTrainingVoices, "synth-train.recipe");
  int noisy = 0;
  for (const CheckedRecipeLine& line : outputs.training) {
    EXPECT_TRUE(line.name.size() == 12 && line.name.starts_with("train/u") &&
                line.name.find_first_not_of("0123456789", 7) == std::string::npos)
        << line.name;
    if (line.noise != "none") {
      ++noisy;
      EXPECT_GE(line.snr, 5) << line.name;
      EXPECT_LE(line.snr, 25) << line.name;
    }
  }
  const double share =
      static_cast<double>(noisy) / static_cast<double>(std::max<std::size_t>(outputs.training.size(), 1));
  const double wanted = kTrainingNoisePercent / 100.0;
  EXPECT_GT(share, wanted - 0.1);
  EXPECT_LT(share, wanted + 0.1);

  // Every entry of every vocabulary at least twice, in two voices.
  std::map<std::string, std::set<std::string>> voices_of_word;
  std::map<std::string, int> times_of_word;
  for (const CheckedRecipeLine& line : outputs.training) {
    for (const std::string& word : line.word_texts()) {
      voices_of_word[word].insert(line.voice);
      ++times_of_word[word];
    }
  }
  for (const auto& [name, entries] : vocabularies) {
    for (const CheckedEntry& entry : entries) {
      EXPECT_GE(times_of_word[entry.word()], 2) << name << " " << entry.name;
      EXPECT_GE(voices_of_word[entry.word()].size(), 2u) << name << " " << entry.name;
    }
  }

  // The real training texts are said; no real test text is, not even inside a longer line.
  std::vector<std::vector<std::string>> lines;
  for (const CheckedRecipeLine& line : outputs.training) lines.push_back(line.syllables());
  const std::set<std::vector<std::string>> said(lines.begin(), lines.end());
  for (const CheckedCorpusLine& real : outputs.real_training) {
    EXPECT_TRUE(said.contains(real.syllables)) << real.audio << " is not in the training recipe";
  }
  for (const CheckedCorpusLine& real : outputs.real_test) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_FALSE(holds_run(lines[i], real.syllables))
          << outputs.training[i].name << " says the test utterance " << real.audio;
    }
  }
}

void check_bundled(const CheckedOutputs& outputs, const std::vector<CheckedEntry>& stations) {
  SCOPED_TRACE("bundled-test.recipe");
  check_voices(outputs.bundled, kHeldOutVoices, "bundled-test.recipe");
  const std::set<std::string> names = names_of(outputs.bundled, "bundled-test.recipe");
  ASSERT_EQ(outputs.bundled.size(), 51u);
  EXPECT_TRUE(names.contains("n34512"));
  ASSERT_EQ(outputs.batch_records.size(), 50u);
  int without = 0;
  int noisy = 0;
  for (int i = 1; i <= 50; ++i) {
    const CheckedRecipeLine& line = outputs.bundled[static_cast<std::size_t>(i - 1)];
    EXPECT_EQ(line.name, "tr1_" + std::to_string(i));
    const std::vector<std::string>& record = outputs.batch_records[static_cast<std::size_t>(i - 1)];
    EXPECT_LE(record.size(), 3u) << line.name;
    without += record.empty() ? 1 : 0;
    std::vector<const CheckedEntry*> entries;
    for (const std::string& name : record) {
      const CheckedEntry* entry = find_entry(stations, name);
      EXPECT_NE(entry, nullptr) << line.name << ": " << name << " is no entry of 火車系統";
      if (entry != nullptr) entries.push_back(entry);
    }
    EXPECT_TRUE(says_in_order(line, entries)) << line.name << " does not say its reference";
    if (line.noise != "none") {
      ++noisy;
      EXPECT_GE(line.snr, 10) << line.name;
      EXPECT_LE(line.snr, 20) << line.name;
    }
  }
  EXPECT_GE(without, 8);
  EXPECT_LE(without, 12);
  EXPECT_GE(noisy, 12);
  EXPECT_LE(noisy, 18);
  const CheckedRecipeLine& lattice = outputs.bundled.back();
  EXPECT_EQ(lattice.name, "n34512");
  EXPECT_EQ(lattice.noise, "none");
}

void check_evaluation(const std::filesystem::path& output, const CheckedOutputs& outputs,
                      const std::map<std::string, std::vector<CheckedEntry>>& vocabularies) {
  SCOPED_TRACE("eval.recipe");
  check_voices(outputs.evaluation, kHeldOutVoices, "eval.recipe");
  names_of(outputs.evaluation, "eval.recipe");
  const std::vector<std::string> references = content_lines(output / "eval-references.txt");
  ASSERT_EQ(references.size(), outputs.evaluation.size());
  std::map<std::string, int> per_vocabulary;
  std::map<std::string, int> without;
  std::set<std::string> conditions;
  for (std::size_t i = 0; i < references.size(); ++i) {
    const CheckedRecipeLine& line = outputs.evaluation[i];
    const std::vector<std::string> fields = split(references[i], '\t');
    ASSERT_EQ(fields.size(), 3u) << references[i];
    EXPECT_EQ(fields[0], line.name + ".wav");
    // eval/<tag>_<condition>_<nnn>
    const std::vector<std::string> parts = split(line.name, '_');
    ASSERT_EQ(parts.size(), 3u) << line.name;
    EXPECT_TRUE(parts[0].starts_with("eval/") && parts[0].size() > 5) << line.name;
    EXPECT_TRUE(parts[2].size() == 3 && parts[2].find_first_not_of("0123456789") == std::string::npos) << line.name;
    const std::string& condition = parts[1];
    conditions.insert(condition);
    if (condition == "clean") {
      EXPECT_EQ(line.noise, "none") << line.name;
    } else {
      EXPECT_NE(line.noise, "none") << line.name;
      EXPECT_EQ(line.snr, condition == "snr20" ? 20 : 10) << line.name;
    }
    const auto vocabulary = vocabularies.find(fields[1]);
    ASSERT_NE(vocabulary, vocabularies.end()) << fields[1] << " is no vocabulary";
    ++per_vocabulary[fields[1]];
    std::vector<const CheckedEntry*> entries;
    if (!fields[2].empty()) {
      for (const std::string& name : split(fields[2], '|')) {
        const CheckedEntry* entry = find_entry(vocabulary->second, name);
        EXPECT_NE(entry, nullptr) << line.name << ": " << name << " is no entry of " << fields[1];
        if (entry != nullptr) entries.push_back(entry);
      }
    }
    EXPECT_LE(entries.size(), 2u) << line.name;
    without[fields[1]] += entries.empty() ? 1 : 0;
    EXPECT_TRUE(says_in_order(line, entries)) << line.name << " does not say its reference";
  }
  EXPECT_EQ(conditions, (std::set<std::string>{"clean", "snr10", "snr20"}));
  EXPECT_GE(per_vocabulary.size(), 4u);
  for (const auto& [name, count] : per_vocabulary) {
    EXPECT_GE(count, 90) << name;  // 3 conditions x 30
    EXPECT_NEAR(static_cast<double>(without[name]) / count, 0.2, 0.05) << name;
  }
}

void check_real_evaluation(const std::filesystem::path& output, CheckedOutputs& outputs) {
  SCOPED_TRACE("real-eval-references.txt");
  outputs.real_vocabulary = read_vocabulary_files(output / "vocab" / "aishell.dat", output / "vocab" / "aishell.spl");
  std::set<std::string> names;
  for (const CheckedEntry& entry : outputs.real_vocabulary) {
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name << " twice";
    EXPECT_GE(entry.syllables.size(), 2u) << entry.name;
    EXPECT_LE(entry.syllables.size(), 4u) << entry.name;
  }
  const std::vector<std::string> lines = content_lines(output / "real-eval-references.txt");
  ASSERT_EQ(lines.size(), outputs.real_test.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::vector<std::string> fields = split(lines[i], '\t');
    ASSERT_EQ(fields.size(), 3u) << lines[i];
    EXPECT_EQ(fields[0], outputs.real_test[i].audio);
    EXPECT_EQ(fields[1], "aishell");
    std::vector<std::string> words;
    if (!fields[2].empty()) words = split(fields[2], '|');
    for (const std::string& word : words) {
      const CheckedEntry* entry = find_entry(outputs.real_vocabulary, word);
      EXPECT_NE(entry, nullptr) << word << " is no word of the vocabulary";
      if (entry != nullptr) {
        EXPECT_TRUE(holds_run(outputs.real_test[i].syllables, entry->syllables)) << fields[0] << " " << word;
      }
    }
    outputs.real_references.push_back(words);
  }
}

}  // namespace

std::string CheckedEntry::word() const {
  std::string text;
  for (const std::string& syllable : syllables) text += syllable;
  return text;
}

std::map<std::string, std::vector<CheckedEntry>> read_data_vocabularies(const std::filesystem::path& data_folder) {
  std::map<std::string, std::vector<CheckedEntry>> vocabularies;
  for (const auto& item : std::filesystem::directory_iterator(data_folder / "data")) {
    if (item.path().extension() != ".dat") continue;
    std::filesystem::path spl = item.path();
    spl.replace_extension(".spl");
    vocabularies[item.path().stem().string()] = read_vocabulary_files(item.path(), spl);
  }
  return vocabularies;
}

std::map<std::string, int> unit_counts(const std::vector<CheckedRecipeLine>& lines) {
  std::map<std::string, int> counts;
  for (int slot = 0; slot < kInitialSlotCount + kFinalSlotCount; ++slot) {
    counts[std::string(inventory_name(slot_order()[static_cast<std::size_t>(slot)]))] = 0;
  }
  for (const CheckedRecipeLine& line : lines) {
    for (const std::string& syllable : line.syllables()) {
      const SyllableModels models = decompose_syllable(utf8_to_big5(syllable).value_or(""));
      for (const std::string& model : {models.initial_model, models.final_model}) {
        if (const auto unit = counts.find(model); unit != counts.end()) ++unit->second;
      }
    }
  }
  return counts;
}

CheckedOutputs check_outputs(const std::filesystem::path& output, const std::filesystem::path& data_folder) {
  CheckedOutputs outputs;
  const std::map<std::string, std::vector<CheckedEntry>> vocabularies = read_data_vocabularies(data_folder);
  outputs.real_training = read_corpus_list(output / "aishell-train.txt");
  outputs.real_test = read_corpus_list(output / "aishell-test.txt");
  std::set<std::string> audio;
  for (const auto* list : {&outputs.real_training, &outputs.real_test}) {
    for (const CheckedCorpusLine& line : *list) {
      EXPECT_TRUE(audio.insert(line.audio).second) << line.audio << " is listed twice";
      EXPECT_TRUE(std::filesystem::exists(line.audio)) << line.audio;
    }
  }
  outputs.training = read_recipe(output / "synth-train.recipe");
  outputs.bundled = read_recipe(output / "bundled-test.recipe");
  outputs.evaluation = read_recipe(output / "eval.recipe");

  // train_index.txt is Big5: the station reads it byte for byte.
  const std::optional<std::string> index = read_file_bytes((output / "train_index.txt").string());
  EXPECT_TRUE(index.has_value());
  int record = 0;
  for (const std::string& line : split(index.value_or(""), '\n')) {
    if (line.empty()) continue;
    const std::vector<std::string> tokens = split(line, ' ');
    EXPECT_GE(tokens.size(), 2u) << line;
    if (tokens.size() < 2) continue;
    EXPECT_EQ(tokens[0], std::to_string(++record));
    EXPECT_EQ(tokens[1], std::to_string(tokens.size() - 2)) << "record " << record;
    std::vector<std::string> names;
    for (std::size_t k = 2; k < tokens.size(); ++k) {
      EXPECT_LE(tokens[k].size(), 19u) << "a keyword slot holds 19 bytes";
      names.push_back(big5_to_utf8(tokens[k]));
    }
    outputs.batch_records.push_back(names);
  }

  check_training(outputs, vocabularies);
  const auto stations = vocabularies.find("火車系統");
  EXPECT_NE(stations, vocabularies.end());
  if (stations != vocabularies.end()) check_bundled(outputs, stations->second);
  check_evaluation(output, outputs, vocabularies);
  check_real_evaluation(output, outputs);
  return outputs;
}

}  // namespace kws::recipes::testing
