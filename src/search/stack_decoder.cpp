#include "search/stack_decoder.h"

#include <charconv>
#include <iterator>
#include <string>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "search/search_detail.h"
#include "search/utterance_workspace.h"

namespace kws {

using search_detail::best_of;
using search_detail::emitting_states;

namespace {

constexpr std::size_t kResultLineBytes = 200;  // with its terminator

bool keyword_mode(const UtteranceWorkspace& work) { return work.settings.keyword_spotting == 1; }

float score_of(const StateScores& row, int model, int state) {
  return row[static_cast<std::size_t>(model)][static_cast<std::size_t>(state)];
}

// Rewrites the suffix scores of `entry` so they start with its own syllable:
// a backward Viterbi pass over its final model, then its initial model, fed
// at each frame by what follows the syllable (the old suffix scores, trailing
// filler, or the end of the utterance).
KWS_SCALAR_TRELLIS void extend_suffix_scores(const LoadedData& data, const Vocabulary& vocabulary,
                                             const UtteranceWorkspace& work, StackEntry& entry, int frames) {
  const LevelNode& node =
      vocabulary.levels[static_cast<std::size_t>(entry.depth)].nodes[static_cast<std::size_t>(entry.node_index)];
  const int initial_model = node.initial_model_slot;
  const int final_model = node.final_model_slot;
  const int initial_states = emitting_states(data, initial_model);
  const int final_states = emitting_states(data, final_model);
  const int initial_exit = initial_states + 1;
  const int final_exit = kFinalEntrySlot + final_states + 1;
  const bool last_syllable = entry.depth == 0;
  const bool trailing_filler = last_syllable && keyword_mode(work);
  const float* backward_filler = work.search.backward_filler.data();
  float* suffix = entry.suffix_scores->data();

  std::array<float, kTrellisSlots> g;
  g.fill(kMinusInfinity);
  if (last_syllable) g[static_cast<std::size_t>(final_exit)] = 0.0f;  // ending at T-1
  for (int t = frames - 1; t >= 0; --t) {
    const StateScores& row = work.state_scores[static_cast<std::size_t>(t)];
    g[static_cast<std::size_t>(initial_exit)] = g[kFinalEntrySlot];  // the final's entry as of t+1
    for (int k = 1; k <= final_states; ++k) {
      g[kFinalEntrySlot + k] = best_of(g[kFinalEntrySlot + k], g[kFinalEntrySlot + k + 1]) + score_of(row, final_model, k);
    }
    g[kFinalEntrySlot] = g[kFinalEntrySlot + 1];
    for (int k = 1; k <= initial_states; ++k) g[k] = best_of(g[k], g[k + 1]) + score_of(row, initial_model, k);
    g[0] = g[1];
    // What may follow the syllable if it ends at t-1.
    float follower = kMinusInfinity;
    if (!last_syllable) {
      follower = suffix[t];
    } else if (trailing_filler) {
      follower = backward_filler[t];
    }
    g[static_cast<std::size_t>(final_exit)] = follower;
    suffix[t] = g[0];
  }
}

// The best join, over t = T-1 down to 1, of the suffix scores at t and the
// forward exit of the preceding syllable at t. Frame 0 is left out: nothing
// decoded can start there and still have a syllable before it.
float child_priority(const float* suffix, const float* exits, int frames) {
  float priority = kMinusInfinity;
  for (int t = frames - 1; t >= 1; --t) {
    const float joined = suffix[t] + exits[t];
    if (joined > priority) priority = joined;
  }
  return priority;
}

// Exact score of a complete hypothesis: the entry from frame 0, or in keyword
// mode after leading filler over 0..l-1, the earliest best l winning.
void complete_hypothesis(const UtteranceWorkspace& work, StackEntry& entry, int frames) {
  const float* suffix = entry.suffix_scores->data();
  const float* forward_filler = work.search.forward_filler.data();
  entry.complete = 1;
  entry.priority = suffix[0];
  entry.start_frame = 0;
  if (keyword_mode(work) && frames > 1) {
    for (int l = 1; l < frames; ++l) {
      const float with_filler = suffix[l] + forward_filler[l - 1];
      if (with_filler > entry.priority) {
        entry.priority = with_filler;
        entry.start_frame = static_cast<std::int16_t>(l);
      }
    }
  }
}

// The path of a tree node back to the root in PhoneSeq form: keys from the
// entry's first syllable to its last, each followed by one blank.
std::string_view path_string(const LexiconTreeNode* node, std::array<char, 8 * kLexiconLevels>& buffer) {
  char* out = buffer.data();
  char* const end = buffer.data() + buffer.size();
  for (int depth = 0; node != nullptr && node->key != -1 && depth < kLexiconLevels; ++depth, node = node->parent) {
    const auto written = std::to_chars(out, end - 1, node->key);
    out = written.ptr;
    *out++ = ' ';
  }
  return {buffer.data(), static_cast<std::size_t>(out - buffer.data())};
}

void release_stack(KeywordSearchTables& search) {
  search.stack.clear();
  search.stack_size = 0;
}

}  // namespace

void bubble_best_to_top(UtteranceWorkspace& work) {
  HypothesisStack& stack = work.search.stack;
  if (stack.empty()) return;
  auto rising = std::prev(stack.end());
  while (rising != stack.begin()) {
    const auto before = std::prev(rising);
    if (before->priority < rising->priority) {
      stack.splice(before, stack, rising);  // exchange places; `rising` keeps rising
    } else {
      rising = before;
    }
  }
}

bool expand_top(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  if (search.stack.empty()) return false;
  StackEntry& head = search.stack.front();
  // The head's own array, extended in place; the parent's stays with its other children.
  if (head.suffix_scores.use_count() > 1) {
    try {
      head.suffix_scores = std::make_shared<std::vector<float>>(*head.suffix_scores);
    } catch (const std::bad_alloc&) {
      search.allocation_failure = format_text("Stack ALLOC ERROR in Initial %d\n", 0);
      return false;
    }
  }
  const int frames =
      std::min(std::clamp(search.frame_count, 0, kMaxFrames), static_cast<int>(head.suffix_scores->size()));
  extend_suffix_scores(data, vocabulary, work, head, frames);

  const int child_level = head.depth + 1;
  int child_number = 0;
  for (const LexiconTreeNode* child = head.tree_node->first_child; child != nullptr && child_level < kLexiconLevels;
       child = child->next_sibling, ++child_number) {
    if (child->key < 0 || child->key >= vocabulary.levels[static_cast<std::size_t>(child_level)].count) continue;
    StackEntry entry;
    entry.depth = static_cast<std::int16_t>(child_level);
    entry.node_index = child->key;
    entry.priority =
        child_priority(head.suffix_scores->data(), search.level_exit_scores.node(child_level, child->key), frames);
    entry.complete = 0;
    entry.tree_node = child;
    entry.end_frame = head.end_frame;
    const bool appended = search_detail::append_hypothesis(
        search, std::move(entry), child_number,
        [&head](std::shared_ptr<std::vector<float>>& scores) { scores = head.suffix_scores; });
    if (!appended) return false;
  }

  if (head.tree_node->end_flag) {
    // Stays in the stack, also when it continues into longer entries.
    complete_hypothesis(work, head, frames);
  } else {
    search.stack.pop_front();
    --search.stack_size;
  }
  bubble_best_to_top(work);
  return true;
}

void store_result(UtteranceWorkspace& work, int result, std::string_view line, float score, int entry) {
  if (result < 0 || result >= kMaxResults) return;
  RecognitionResults& results = work.results;
  results.lines[static_cast<std::size_t>(result)].assign(line.substr(0, kResultLineBytes - 1));
  results.scores[static_cast<std::size_t>(result)] = score;
  results.entries[static_cast<std::size_t>(result)] = static_cast<std::int16_t>(entry);
}

void collect_nbest(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  RecognitionResults& results = work.results;
  const int wanted = std::clamp(work.settings.results_wanted, 0, kMaxResults);
  const int entries = std::min({static_cast<int>(vocabulary.entry_count), static_cast<int>(vocabulary.phone_seqs.size()),
                                static_cast<int>(vocabulary.names.size())});
  int found = 0;
  results.count = 0;
  std::array<char, 8 * kLexiconLevels> path_buffer;
  while (found < wanted) {
    bool can_go_on = true;
    while (can_go_on && !search.stack.empty() && !search.stack.front().complete)
      can_go_on = expand_top(data, vocabulary, work);
    if (!can_go_on || search.stack.empty()) break;

    const StackEntry& head = search.stack.front();
    const std::string_view path = path_string(head.tree_node, path_buffer);
    for (int i = 0; i < entries && found < wanted; ++i) {
      if (vocabulary.phone_seqs[static_cast<std::size_t>(i)] != path) continue;
      results.end_frames[static_cast<std::size_t>(found)] = head.end_frame;
      results.start_frames[static_cast<std::size_t>(found)] = head.start_frame;
      store_result(work, found,
                   format_text("%d %s %5.2f", i + 1, vocabulary.names[static_cast<std::size_t>(i)].c_str(),
                               static_cast<double>(head.priority)),
                   head.priority, i);
      results.count = ++found;
    }
    if (found < wanted) {
      search.stack.pop_front();
      --search.stack_size;
      if (search.stack_size > 0) bubble_best_to_top(work);
    }
  }
  release_stack(search);
}

}  // namespace kws
