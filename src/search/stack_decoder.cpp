#include "search/stack_decoder.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <charconv>
#include <iterator>
#include <string>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "search/gaussian_tables.h"
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

// What the backward pass of one syllable reads: its models' state counts
// and scores, and what may follow it.
struct SyllableExtension {
  int initial_model = 0;
  int final_model = 0;
  int initial_states = 0;
  int final_states = 0;
  bool last_syllable = false;
  bool trailing_filler = false;

  // What may follow the syllable if it ends at t-1: the old suffix scores at
  // t, trailing filler from t, or nothing.
  float follower(const UtteranceWorkspace& work, const float* suffix, int t) const {
    if (!last_syllable) return suffix[t];
    return trailing_filler ? work.search.backward_filler[static_cast<std::size_t>(t)] : kMinusInfinity;
  }
};

// The suffix scores rewritten to start with the syllable: a backward Viterbi
// pass over its final model, then its initial model, fed at each frame by what
// follows the syllable (the old suffix scores, trailing filler, or the end of
// the utterance).
KWS_SCALAR_TRELLIS void extend_portable(const UtteranceWorkspace& work, const SyllableExtension& syllable,
                                        float* suffix, int frames) {
  const int initial_exit = syllable.initial_states + 1;
  const int final_exit = kFinalEntrySlot + syllable.final_states + 1;
  std::array<float, kTrellisSlots> g;
  g.fill(kMinusInfinity);
  if (syllable.last_syllable) g[static_cast<std::size_t>(final_exit)] = 0.0f;  // ending at T-1
  for (int t = frames - 1; t >= 0; --t) {
    const StateScores& row = work.state_scores[static_cast<std::size_t>(t)];
    g[static_cast<std::size_t>(initial_exit)] = g[kFinalEntrySlot];  // the final's entry as of t+1
    for (int k = 1; k <= syllable.final_states; ++k) {
      g[kFinalEntrySlot + k] =
          best_of(g[kFinalEntrySlot + k], g[kFinalEntrySlot + k + 1]) + score_of(row, syllable.final_model, k);
    }
    g[kFinalEntrySlot] = g[kFinalEntrySlot + 1];
    for (int k = 1; k <= syllable.initial_states; ++k) {
      g[k] = best_of(g[k], g[k + 1]) + score_of(row, syllable.initial_model, k);
    }
    g[0] = g[1];
    g[static_cast<std::size_t>(final_exit)] = syllable.follower(work, suffix, t);
    suffix[t] = g[0];
  }
}

// The best of suffix[t] + exits[t] over t = 1..frames-1; a NaN never wins.
float best_join_portable(const float* suffix, const float* exits, int frames) {
  float best = kMinusInfinity;
  for (int t = frames - 1; t >= 1; --t) {
    const float joined = suffix[t] + exits[t];
    if (joined > best) best = joined;
  }
  return best;
}

using ExtendStep = void (*)(const UtteranceWorkspace& work, const SyllableExtension& syllable, float* suffix,
                            int frames);
using BestJoin = float (*)(const float* suffix, const float* exits, int frames);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KWS_STACK_AVX2 1

// A syllable whose models both have emitting states fits one vector: the
// initial's states from lane 0, the final's from lane 4. A frame is then the
// states shifted down by one lane (the final's first state into the
// initial's last, what follows into the final's last), max(after, state),
// which keeps state on a tie and on NaN as best_of does, and the scores
// added: the same operations as extend_portable's. Lane 0 is then the
// syllable's score from t.
__attribute__((target("avx2"))) void extend_avx2(const UtteranceWorkspace& work, const SyllableExtension& syllable,
                                                 float* suffix, int frames) {
  if (syllable.initial_states < 1 || syllable.final_states < 1) {
    extend_portable(work, syllable, suffix, frames);
    return;
  }
  alignas(32) std::array<std::int32_t, kTrellisLanes> after_lane = {1, 2, 3, 4, 5, 6, 7, 7};
  after_lane[static_cast<std::size_t>(syllable.initial_states) - 1] = 4;
  alignas(32) std::array<std::int32_t, kTrellisLanes> follower_lane{};
  follower_lane[static_cast<std::size_t>(3 + syllable.final_states)] = -1;
  const __m256i after_index = _mm256_load_si256(reinterpret_cast<const __m256i*>(after_lane.data()));
  const __m256 follower_mask =
      _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(follower_lane.data())));
  const int initial_scores = syllable.initial_model * kStateSlots + 1;
  const int final_scores = syllable.final_model * kStateSlots + 1;
  __m256 g = _mm256_set1_ps(kMinusInfinity);
  float follower = syllable.last_syllable ? 0.0f : kMinusInfinity;  // ending at T-1
  for (int t = frames - 1; t >= 0; --t) {
    const float* row = work.state_scores[static_cast<std::size_t>(t)][0].data();
    const __m256 scores = _mm256_loadu2_m128(row + final_scores, row + initial_scores);
    const __m256 after =
        _mm256_blendv_ps(_mm256_permutevar8x32_ps(g, after_index), _mm256_set1_ps(follower), follower_mask);
    g = _mm256_add_ps(_mm256_max_ps(after, g), scores);
    follower = syllable.follower(work, suffix, t);
    _mm_store_ss(suffix + t, _mm256_castps256_ps128(g));
  }
}

// The same maximum eight frames at a time: max(joined, best) keeps best on a
// NaN, and a maximum does not depend on the order it is taken in.
__attribute__((target("avx2"))) float best_join_avx2(const float* suffix, const float* exits, int frames) {
  __m256 best8 = _mm256_set1_ps(kMinusInfinity);
  int t = 1;
  for (; t + kTrellisLanes <= frames; t += kTrellisLanes) {
    const __m256 joined = _mm256_add_ps(_mm256_loadu_ps(suffix + t), _mm256_loadu_ps(exits + t));
    best8 = _mm256_max_ps(joined, best8);
  }
  alignas(32) std::array<float, kTrellisLanes> lanes;
  _mm256_store_ps(lanes.data(), best8);
  float best = kMinusInfinity;
  for (const float lane : lanes) {
    if (lane > best) best = lane;
  }
  for (; t < frames; ++t) {
    const float joined = suffix[t] + exits[t];
    if (joined > best) best = joined;
  }
  return best;
}
#endif

ExtendStep extend_step() {
#ifdef KWS_STACK_AVX2
  if (avx2_kernels_chosen()) return extend_avx2;
#endif
  return extend_portable;
}

BestJoin best_join() {
#ifdef KWS_STACK_AVX2
  if (avx2_kernels_chosen()) return best_join_avx2;
#endif
  return best_join_portable;
}

void extend_suffix_scores(const LoadedData& data, const Vocabulary& vocabulary, const UtteranceWorkspace& work,
                          StackEntry& entry, int frames) {
  const LevelNode& node =
      vocabulary.levels[static_cast<std::size_t>(entry.depth)].nodes[static_cast<std::size_t>(entry.node_index)];
  SyllableExtension syllable;
  syllable.initial_model = node.initial_model_slot;
  syllable.final_model = node.final_model_slot;
  syllable.initial_states = emitting_states(data, syllable.initial_model);
  syllable.final_states = emitting_states(data, syllable.final_model);
  syllable.last_syllable = entry.depth == 0;
  syllable.trailing_filler = syllable.last_syllable && keyword_mode(work);
  extend_step()(work, syllable, entry.suffix_scores->data(), frames);
}

// The best join, over t = T-1 down to 1, of the suffix scores at t and the
// forward exit of the preceding syllable at t. Frame 0 is left out: nothing
// decoded can start there and still have a syllable before it.
float child_priority(const float* suffix, const float* exits, int frames) { return best_join()(suffix, exits, frames); }

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
  // One pass from the tail: the rising hypothesis changes places with a
  // lower one before it, and an equal or higher one rises in its stead.
  if (stack.empty()) return;
  for (auto rising = std::prev(stack.end()); rising != stack.begin();) {
    const auto before = std::prev(rising);
    if (before->priority < rising->priority) std::iter_swap(before, rising);
    rising = before;
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
