// The compiled form of the active vocabulary that the search runs on.
//
// Two layers, both built entry by entry while a vocabulary loads:
//  - 20 position levels: level n holds one LevelNode for every distinct pair of
//    sub-syllable models (initial, final) standing n syllables before the end of
//    some entry. Entries share a node when their syllables there decompose to
//    the same pair of names (homophones, tone variants).
//  - the lexicon tree: a prefix tree over level-node indices built from the
//    last syllable of each entry towards the first, so entries sharing their
//    final syllables share a path from the root.
// Nodes are identified by (level, index within the level) everywhere.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace kws {

inline constexpr int kLexiconLevels = 20;
inline constexpr int kMaxEntrySyllables = kLexiconLevels;
inline constexpr int kModelNameBytes = 10;
inline constexpr int kNodeLabelBytes = 10;
inline constexpr int kNodeSyllableBytes = 11;

// The most nodes the search's per-level tables hold on each level; a
// vocabulary with more is refused when it loads.
constexpr int level_capacity(int level) {
  if (level == 0) return 410;
  if (level <= 2) return 400;
  if (level <= 9) return 200;
  if (level <= 13) return 50;
  return 20;
}

struct LevelNode {
  char initial_model_name[kModelNameBytes];  // "b_a", "sic_i", "j_empt", ...
  char final_model_name[kModelNameBytes];    // "a", "iue", "empt1", ...
  std::int16_t initial_model_number;         // inventory index, -1 when not in the inventory
  std::int16_t final_model_number;
  std::int16_t initial_model_slot;           // position in the main model set
  std::int16_t final_model_slot;
  std::uint8_t word_initial;                 // 1 when some entry begins with this node
  char label[kNodeLabelBytes];               // silence and filler nodes only (Big5)
  char syllable_text[kNodeSyllableBytes];    // the tonal syllable (Big5) of the entry that made it
  std::int16_t phone_table_index;            // level 0 only: equal phone-table entry, or -1
};

struct LexiconLevel {
  // The counted nodes; after loading, level 0 also holds the silence node and
  // the filler node at indices count and count + 1.
  std::vector<LevelNode> nodes;
  std::int32_t count = 0;
};

struct LexiconTreeNode {
  std::int16_t key = -1;       // level-node index on level depth - 1; -1 for the root
  std::uint8_t end_flag = 0;   // 1 when the path to the root spells a whole entry
  LexiconTreeNode* first_child = nullptr;  // one level deeper: the preceding syllable
  LexiconTreeNode* next_sibling = nullptr;
  LexiconTreeNode* parent = nullptr;
};

// Owns every node; node addresses stay valid until release().
class LexiconTree {
 public:
  // Drops every node and creates a new root.
  void reset();
  // Drops every node and the root.
  void release();
  // The root, or nullptr before reset() / after release().
  LexiconTreeNode* root() { return nodes_.empty() ? nullptr : &nodes_.front(); }
  const LexiconTreeNode* root() const { return nodes_.empty() ? nullptr : &nodes_.front(); }

  // Inserts the path of one entry, level_path[0] (level 0, the last syllable)
  // first, below the root: children are matched by key, a missing one is
  // linked after the last sibling, and the node of the entry's first syllable
  // gets the end flag. Needs a root.
  void insert_entry(std::span<const std::int16_t> level_path);

  std::size_t node_count() const { return nodes_.size(); }

 private:
  LexiconTreeNode* add_node(LexiconTreeNode* parent, std::int16_t key, bool end);

  std::deque<LexiconTreeNode> nodes_;  // front() is the root
};

}  // namespace kws
