#include "lexicon/lexicon.h"

namespace kws {

void LexiconTree::reset() {
  nodes_.clear();
  nodes_.emplace_back();  // the root: key -1, no parent
}

void LexiconTree::release() { nodes_.clear(); }

LexiconTreeNode* LexiconTree::add_node(LexiconTreeNode* parent, std::int16_t key, bool end) {
  LexiconTreeNode& node = nodes_.emplace_back();
  node.key = key;
  node.end_flag = end ? 1 : 0;
  node.parent = parent;
  return &node;
}

void LexiconTree::insert_entry(std::span<const std::int16_t> level_path) {
  LexiconTreeNode* current = root();
  for (std::size_t i = 0; i < level_path.size(); ++i) {
    const std::int16_t key = level_path[i];
    const bool last = i + 1 == level_path.size();
    LexiconTreeNode* child = current->first_child;
    LexiconTreeNode* previous = nullptr;
    while (child != nullptr && child->key != key) {
      previous = child;
      child = child->next_sibling;
    }
    if (child == nullptr) {
      child = add_node(current, key, last);
      if (previous == nullptr) {
        current->first_child = child;
      } else {
        previous->next_sibling = child;
      }
    } else if (last) {
      child->end_flag = 1;  // a match never clears the flag
    }
    current = child;
  }
}

}  // namespace kws
