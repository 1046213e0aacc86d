#include "lexicon/vocabulary.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "lexicon/syllable_decomposition.h"
#include "models/model_inventory.h"
#include "platform/data_path.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"

namespace kws {
namespace {

// Big5 bytes, so that labels compare and count like every other engine text.
constexpr char kSilenceText[] = "\xC0\x52\xAD\xB5";  // 靜音
constexpr char kFillerText[] = "\xB6\xF1\xA5\x52";   // 填充

// A refusal on the way out of a load: thrown where a step fails, caught
// where loading returns.
struct RefusedLoad {
  Refusal refusal;
};

// Runs step; memory that cannot be had refuses the whole load with `refusal`,
// the rule for every allocation failure while a vocabulary loads.
template <typename Step>
void or_refuse(Step&& step, Refusal refusal) {
  try {
    step();
  } catch (const std::bad_alloc&) {
    throw RefusedLoad{std::move(refusal)};
  }
}

// The tree-allocation texts are shown unformatted, placeholder and all, and
// wait for a key before the station ends.
Refusal box_then_key(const char* text) {
  Refusal refusal = Refusal::in_message_box(text);
  refusal.wait_for_key = true;
  return refusal;
}

template <std::size_t N>
void copy_to_field(char (&field)[N], std::string_view text) {
  const std::size_t length = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), length);
  std::memset(field + length, 0, N - length);
}

struct VocabularyFiles {
  std::string_view name;  // UTF-8, for messages
  TokenReader words;
  TokenReader syllables;
};

enum class EntryOutcome { loaded, skipped, stop };

// Reads the next count syllable tokens; nullopt when the .spl file runs out.
std::optional<std::vector<std::string_view>> next_syllables(TokenReader& syllables, int count) {
  std::vector<std::string_view> tokens;
  for (int k = 0; k < count; ++k) {
    const std::optional<std::string_view> token = syllables.next();
    if (!token) return std::nullopt;
    tokens.push_back(*token);
  }
  return tokens;
}

void report_short_syllable_file(const VocabularyFiles& files, int position, std::string_view word, int length) {
  message_sink().message_box(format_text(
      "data/%.*s.spl ends before the %d syllables of index %d (%s) in data/%.*s.dat; loading stops there.\n",
      static_cast<int>(files.name.size()), files.name.data(), length, position, big5_to_utf8(word).c_str(),
      static_cast<int>(files.name.size()), files.name.data()));
}

// Loads one word and its syllables as the next entry. position is the word's
// 0-based place in the .dat file, which names it in messages even after
// skipped entries.
EntryOutcome load_entry(const ModelSet& models, Vocabulary& vocabulary, VocabularyFiles& files, int position,
                        std::string_view word) {
  const int length = static_cast<int>(word.size() / 2);
  // A word with half a character has no certain syllable count, so the
  // pairing of everything after it is in doubt. A one-byte word is spared: it
  // takes no syllables either way and loads as an empty entry after the warning.
  if (word.size() % 2 != 0 && length > 0) {
    message_sink().message_box(format_text(
        "data/%.*s.dat: index %d (%s) has an odd byte length %zu; loading stops there.\n",
        static_cast<int>(files.name.size()), files.name.data(), position, big5_to_utf8(word).c_str(), word.size()));
    return EntryOutcome::stop;
  }
  if (length > kMaxEntrySyllables) {
    message_sink().message_box(format_text(
        "data/%.*s.dat: index %d (%s) has %d syllables, more than the %d levels of the lexicon; the entry is "
        "skipped.\n",
        static_cast<int>(files.name.size()), files.name.data(), position, big5_to_utf8(word).c_str(), length,
        kMaxEntrySyllables));
    // Its syllables are consumed all the same, so the next words keep their pairing.
    if (!next_syllables(files.syllables, length)) {
      report_short_syllable_file(files, position, word, length);
      return EntryOutcome::stop;
    }
    return EntryOutcome::skipped;
  }
  if (length > 10 || length == 0) {
    message_sink().message_box(format_text("index=%d  length=%d", vocabulary.entry_count, length));
  }
  const std::optional<std::vector<std::string_view>> syllables = next_syllables(files.syllables, length);
  if (!syllables) {
    report_short_syllable_file(files, position, word, length);
    return EntryOutcome::stop;
  }

  // Level a holds syllable L-1-a: the last syllable sits on level 0.
  std::array<std::int16_t, kLexiconLevels> level_path{};
  for (int level = length - 1; level >= 0; --level) {
    const std::string_view syllable = (*syllables)[static_cast<std::size_t>(length - 1 - level)];
    const SyllableModels units = decompose_syllable(syllable);
    or_refuse(
        [&] {
          level_find_or_add(vocabulary, models, level, units.initial_model, units.final_model, syllable, length,
                            level_path);
        },
        Refusal::on_console("Syllable_1 allocation error !\n"));
  }
  const std::span<const std::int16_t> entry_path(level_path.data(), static_cast<std::size_t>(length));
  or_refuse([&] { vocabulary.tree.insert_entry(entry_path); }, box_then_key("Tree New ALLOC ERROR in Initial %d\n,i"));

  std::string phone_seq;
  or_refuse(
      [&] {
        for (int level = length - 1; level >= 0; --level) {
          phone_seq += std::to_string(level_path[static_cast<std::size_t>(level)]);
          phone_seq += ' ';
        }
      },
      Refusal::in_message_box("PhoneSeq allocation error !\n"));
  std::string name;
  or_refuse([&] { name.assign(word); }, Refusal::in_message_box("Name allocation error !\n"));
  or_refuse([&] { vocabulary.names.push_back(std::move(name)); },
            Refusal::in_message_box("Name ptr allocation error !\n"));
  or_refuse([&] { vocabulary.phone_seqs.push_back(std::move(phone_seq)); },
            Refusal::in_message_box("PhoneSeq ptr allocation error !\n"));
  ++vocabulary.entry_count;
  return EntryOutcome::loaded;
}

void load_entries(const ModelSet& models, Vocabulary& vocabulary, VocabularyFiles& files) {
  for (int position = 0; vocabulary.entry_count < kMaxVocabularyEntries; ++position) {
    files.words.next();  // the entry number the editor writes; not used
    const std::optional<std::string_view> word = files.words.next();
    if (!word) return;
    if (load_entry(models, vocabulary, files, position, *word) == EntryOutcome::stop) return;
  }
}

// The text refusing a vocabulary whose levels outgrow the search's tables, or
// nullopt when every level fits.
std::optional<std::string> capacity_refusal(const Vocabulary& vocabulary, std::string_view name) {
  for (int level = 0; level < kLexiconLevels; ++level) {
    const int count = vocabulary.levels[static_cast<std::size_t>(level)].count;
    if (count > level_capacity(level)) {
      return format_text(
          "The vocabulary %.*s is too large for the search: level %d holds %d nodes, at most %d fit. It is not "
          "loaded.\n",
          static_cast<int>(name.size()), name.data(), level, count, level_capacity(level));
    }
  }
  return std::nullopt;
}

LevelNode special_node(const char* model_name, std::string_view initial_model, std::string_view final_model,
                       int initial_slot, int final_slot, const char* text) {
  LevelNode node{};
  copy_to_field(node.initial_model_name, model_name);
  copy_to_field(node.final_model_name, model_name);
  node.initial_model_number = static_cast<std::int16_t>(model_index_of(initial_model));
  node.final_model_number = static_cast<std::int16_t>(model_index_of(final_model));
  // Fixed slots: the search's slot layout puts these models there.
  node.initial_model_slot = static_cast<std::int16_t>(initial_slot);
  node.final_model_slot = static_cast<std::int16_t>(final_slot);
  node.word_initial = 0;
  copy_to_field(node.label, text);
  copy_to_field(node.syllable_text, text);
  node.phone_table_index = -1;
  return node;
}

// After the counted level-0 nodes, at indices count and count + 1.
void append_silence_and_filler_nodes(LexiconLevel& level_zero) {
  or_refuse(
      [&] {
        level_zero.nodes.push_back(special_node("sil", "sil", "sil", kSilenceSlot, kSilenceSlot, kSilenceText));
        level_zero.nodes.push_back(
            special_node("Fil", "fil_ini", "fil_fin", kFillerInitialSlot, kFillerFinalSlot, kFillerText));
      },
      Refusal::on_console("Syllable_1 allocation error !\n"));
}

// Reads the 408 strings of the phone table; returns how many the file held.
int read_phone_table(std::string_view data_directory, Vocabulary& vocabulary) {
  std::optional<TokenReader> table = TokenReader::open(join_data_path(data_directory, "\\qorphone.tbl"));
  if (!table) throw RefusedLoad{Refusal::in_message_box("Open File qorphone.tbl error !!\n")};
  vocabulary.phone_table = {};
  int count = 0;
  while (count < kPhoneTableEntries) {
    table->next();  // the line number; not used
    const std::optional<std::string_view> text = table->next();
    if (!text) break;
    auto& field = vocabulary.phone_table[static_cast<std::size_t>(count)];
    std::memcpy(field.data(), text->data(), std::min(text->size(), field.size() - 1));
    ++count;
  }
  return count;
}

void assign_phone_table_indices(Vocabulary& vocabulary, int phone_count) {
  for (LevelNode& node : vocabulary.levels[0].nodes) {
    node.phone_table_index = -1;
    for (int k = 0; k < phone_count; ++k) {
      // Every equal entry overwrites the index, so the last one wins.
      if (std::strcmp(vocabulary.phone_table[static_cast<std::size_t>(k)].data(), node.syllable_text) == 0) {
        node.phone_table_index = static_cast<std::int16_t>(k);
      }
    }
  }
}

}  // namespace

namespace {

void load_into(std::string_view data_directory, const ModelSet& models, std::string_view name, Vocabulary& vocabulary) {
  const std::string data_folder = "\\data\\" + std::string(name);
  std::optional<TokenReader> words = TokenReader::open(join_data_path(data_directory, data_folder + ".dat"));
  if (!words) throw RefusedLoad{Refusal::in_message_box("Open File Data.dat error !!\n")};
  std::optional<TokenReader> syllables = TokenReader::open(join_data_path(data_directory, data_folder + ".spl"));
  if (!syllables) throw RefusedLoad{Refusal::in_message_box("Open File Data.spl error !!\n")};
  VocabularyFiles files{name, std::move(*words), std::move(*syllables)};

  // Empty levels and a fresh root even when no entry loads, so nothing of the
  // previous vocabulary can remain.
  or_refuse([&] { vocabulary.tree.reset(); }, box_then_key("Tree Root ALLOC ERROR in Initial %d\n,i"));
  load_entries(models, vocabulary, files);
  vocabulary.loaded_entry_count = vocabulary.entry_count;

  if (std::optional<std::string> refusal = capacity_refusal(vocabulary, name)) {
    throw RefusedLoad{Refusal::in_message_box_going_on(std::move(*refusal))};
  }

  append_silence_and_filler_nodes(vocabulary.levels[0]);
  const int phone_count = read_phone_table(data_directory, vocabulary);
  assign_phone_table_indices(vocabulary, phone_count);
}

}  // namespace

std::optional<Refusal> load_vocabulary(std::string_view data_directory, const ModelSet& models, std::string_view name,
                                       Vocabulary& vocabulary) {
  release_vocabulary(vocabulary);
  try {
    load_into(data_directory, models, name, vocabulary);
  } catch (RefusedLoad& refused) {
    release_vocabulary(vocabulary);
    return std::move(refused.refusal);
  }
  return std::nullopt;
}

const std::string& entry_name(const Vocabulary& vocabulary, int index) {
  return vocabulary.names[static_cast<std::size_t>(index)];
}

std::string word_list_line(const Vocabulary& vocabulary, int index) {
  return format_text("%5d %s", index + 1, entry_name(vocabulary, index).c_str());
}

void release_lexicon_tree(Vocabulary& vocabulary) {
  vocabulary.tree.release();
  vocabulary.entry_count = 0;
}

void release_vocabulary(Vocabulary& vocabulary) {
  release_lexicon_tree(vocabulary);
  vocabulary.loaded_entry_count = 0;
  // Assigning empty containers frees their storage, unlike clear().
  vocabulary.names = {};
  vocabulary.phone_seqs = {};
  for (LexiconLevel& level : vocabulary.levels) level = {};
}

}  // namespace kws
