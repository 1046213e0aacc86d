// Task vocabularies: loading a .dat/.spl pair into entries, levels and tree.
//
// A vocabulary NAME lives in data/NAME.dat (one line per entry: a number, then
// the word in Big5) and data/NAME.spl (the tonal Zhuyin syllables of all
// entries in entry order, whitespace-separated; line breaks carry no meaning).
// The two files pair by position only: the k-th word owns the next L tokens,
// L being its byte length / 2. The phone table qorphone.tbl in the data
// directory gives level-0 nodes their phone-table index.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lexicon/lexicon.h"
#include "models/model_set.h"
#include "platform/refusal.h"

namespace kws {

inline constexpr int kMaxVocabularyEntries = 4000;
inline constexpr int kPhoneTableEntries = 408;
inline constexpr int kPhoneTableTextBytes = 40;

struct Vocabulary {
  std::int32_t entry_count = 0;         // 0 when no vocabulary is loaded
  std::int32_t loaded_entry_count = 0;  // the count when loading finished; the word list shows this many
  std::vector<std::string> names;       // Name: the word of each entry, Big5
  // PhoneSeq: the entry's level-node indices, level L-1 (first syllable) first
  // down to level 0, each written in decimal and followed by one blank.
  std::vector<std::string> phone_seqs;
  std::array<LexiconLevel, kLexiconLevels> levels;
  LexiconTree tree;
  std::array<std::array<char, kPhoneTableTextBytes>, kPhoneTableEntries> phone_table{};
};

// Loads the vocabulary called name (UTF-8, as shown in the vocabulary box; it
// names the files on disk) into vocabulary, replacing what it held, with
// the level nodes mapped onto the model slots of models.
//
// Entries that cannot be loaded are reported in a message box and loading
// goes on: an entry of more than 20 syllables is skipped (its syllables are
// consumed, so the following entries keep their pairing); a word of odd byte
// length (three bytes or more), or a .spl file that runs out of syllables,
// stops loading there with the entries loaded so far kept. Entries of 0
// syllables (a one-byte word) or more than 10 are loaded after the warning
// "index=%d  length=%d".
//
// Refuses, leaving vocabulary empty (no entries, empty levels, no tree):
//  - missing files and memory that cannot be had, with the station's fixed
//    texts; the station ends after them;
//  - a vocabulary whose levels would hold more nodes than the search's
//    tables (level_capacity), with a message naming the vocabulary, the level
//    and its count; the station goes on without a vocabulary.
std::optional<Refusal> load_vocabulary(std::string_view data_directory, const ModelSet& models, std::string_view name,
                                       Vocabulary& vocabulary);

// Results the station asks for once a vocabulary is chosen.
inline constexpr int kResultsAfterVocabularyChoice = 10;

// The Name (Big5) of entry 0 <= index < entry count.
const std::string& entry_name(const Vocabulary& vocabulary, int index);

// The word list's line for entry 0 <= index < entry count: the 1-based entry
// number right-aligned in five characters, a blank and the Name (Big5).
std::string word_list_line(const Vocabulary& vocabulary, int index);

// The node of level `level` whose model names equal initial and final_name,
// added (with its models mapped) when absent; its index goes into
// level_path[level]. A node at level L-1 (L = syllable_count) is marked
// word-initial; a match never clears the mark. Throws std::bad_alloc when a
// new node cannot be stored.
int level_find_or_add(Vocabulary& vocabulary, const ModelSet& models, int level, std::string_view initial,
                      std::string_view final_name, std::string_view syllable, int syllable_count,
                      std::span<std::int16_t, kLexiconLevels> level_path);

// Fills the model numbers and slots of both halves of a new node from its
// model names: the number is the inventory index (-1 for a name outside it),
// the slot the first position of the main model set holding that model.
// A half that maps to no loaded model gets the filler's half instead
// (kFillerInitialSlot for the initial, kFillerFinalSlot for the final) when
// the set has those slots, else slot 0, so every slot the search reads is
// defined. When neither half maps, "Map Error" is shown and loading goes on.
void map_node_models(const ModelSet& models, LevelNode& node);

// Frees the lexicon tree and sets the entry count to 0.
void release_lexicon_tree(Vocabulary& vocabulary);

// Frees everything of the vocabulary: tree, names, phone sequences and level
// tables; both entry counts become 0. What shut-down does.
void release_vocabulary(Vocabulary& vocabulary);

}  // namespace kws
