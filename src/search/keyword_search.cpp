#include "search/keyword_search.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "search/gaussian_tables.h"
#include "search/recognition_pass.h"
#include "search/search_detail.h"
#include "search/stack_decoder.h"
#include "search/utterance_workspace.h"

namespace kws {

using search_detail::best_of;
using search_detail::emitting_states;

namespace {

// T as the tables can hold it; run_forward_pass refuses any other value.
int frames_of(const UtteranceWorkspace& work) { return std::clamp(work.search.frame_count, 0, kMaxFrames); }

bool keyword_mode(const UtteranceWorkspace& work) { return work.settings.keyword_spotting == 1; }

const StateScores& scores_at(const UtteranceWorkspace& work, int frame) {
  return work.state_scores[static_cast<std::size_t>(frame)];
}

float score_of(const StateScores& row, int model, int state) {
  return row[static_cast<std::size_t>(model)][static_cast<std::size_t>(state)];
}

// The checks that keep every table index of the search inside its array.
bool search_inputs_fit(const LoadedData& data, const Vocabulary& vocabulary, const UtteranceWorkspace& work) {
  MessageSink& sink = message_sink();
  const int frames = work.search.frame_count;
  if (frames < 1 || frames > kMaxFrames) {
    sink.console(format_text("Keyword search refused: %d frames, outside 1..%d\n", frames, kMaxFrames));
    return false;
  }
  if (data.main_models.records == nullptr) {
    sink.console("Keyword search refused: no models loaded\n");
    return false;
  }
  const int models = std::min<int>(data.main_models.count, kMaxModelSlots);
  if (keyword_mode(work) && models <= kFillerFinalSlot) {
    sink.console(format_text("Keyword search refused: the filler models need %d loaded models, %d are\n",
                             kFillerFinalSlot + 1, models));
    return false;
  }
  for (int level = 0; level < kLexiconLevels; ++level) {
    const LexiconLevel& table = vocabulary.levels[static_cast<std::size_t>(level)];
    if (table.count < 0 || table.count > level_capacity(level)) {
      sink.console(format_text("Keyword search refused: level %d holds %d nodes, more than %d\n", level, table.count,
                               level_capacity(level)));
      return false;
    }
    if (static_cast<std::size_t>(table.count) > table.nodes.size()) {
      sink.console(format_text("Keyword search refused: level %d counts %d nodes but stores %zu\n", level, table.count,
                               table.nodes.size()));
      return false;
    }
    for (int i = 0; i < table.count; ++i) {
      const LevelNode& node = table.nodes[static_cast<std::size_t>(i)];
      if (node.initial_model_slot < 0 || node.initial_model_slot >= models || node.final_model_slot < 0 ||
          node.final_model_slot >= models) {
        sink.console(format_text("Keyword search refused: node %d of level %d uses model slots %d and %d, %d are loaded\n",
                                 i, level, node.initial_model_slot, node.final_model_slot, models));
        return false;
      }
    }
  }
  return true;
}

void record_forward_end(UtteranceWorkspace& work) { work.times.forward_end = processor_milliseconds(); }

}  // namespace

void compute_forward_filler(const LoadedData& data, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  const int frames = frames_of(work);
  const int initial_states = emitting_states(data, kFillerInitialSlot);
  const int final_states = emitting_states(data, kFillerFinalSlot);
  std::array<float, kTrellisSlots> g;
  g.fill(kMinusInfinity);
  for (int t = 0; t < frames; ++t) {
    const StateScores& row = scores_at(work, t);
    g[0] = t == 0 ? 0.0f : search.forward_filler[static_cast<std::size_t>(t) - 1];
    g[kFinalEntrySlot] = g[static_cast<std::size_t>(initial_states)];  // the initial's last state at t-1
    for (int k = initial_states; k >= 1; --k) {
      g[k] = best_of(g[k], g[k - 1]) + score_of(row, kFillerInitialSlot, k);
    }
    for (int k = final_states; k >= 1; --k) {
      g[kFinalEntrySlot + k] = best_of(g[kFinalEntrySlot + k], g[kFinalEntrySlot + k - 1]) +
                               score_of(row, kFillerFinalSlot, k);
    }
    search.forward_filler[static_cast<std::size_t>(t)] = g[kFinalEntrySlot + final_states];
    g[0] = search.forward_filler[static_cast<std::size_t>(t)];
  }
}

void compute_backward_filler(const LoadedData& data, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  const int frames = frames_of(work);
  const int initial_states = emitting_states(data, kFillerInitialSlot);
  const int final_states = emitting_states(data, kFillerFinalSlot);
  const int initial_exit = initial_states + 1;
  const int final_exit = kFinalEntrySlot + final_states + 1;
  std::array<float, kTrellisSlots> g;
  g.fill(kMinusInfinity);
  g[static_cast<std::size_t>(final_exit)] = 0.0f;  // the last filler ends at T-1
  for (int t = frames - 1; t >= 0; --t) {
    const StateScores& row = scores_at(work, t);
    g[static_cast<std::size_t>(initial_exit)] = g[kFinalEntrySlot + 1];  // the final's first state at t+1
    for (int k = 1; k <= final_states; ++k) {
      g[kFinalEntrySlot + k] = best_of(g[kFinalEntrySlot + k], g[kFinalEntrySlot + k + 1]) +
                               score_of(row, kFillerFinalSlot, k);
    }
    for (int k = 1; k <= initial_states; ++k) {
      g[k] = best_of(g[k], g[k + 1]) + score_of(row, kFillerInitialSlot, k);
    }
    search.backward_filler[static_cast<std::size_t>(t)] = g[1];
    g[static_cast<std::size_t>(final_exit)] = g[1];  // another filler may end at t-1
  }
}

namespace {

// What the nodes of one level read and write, and the span of frames
// [first, last) they advance by.
struct LevelRun {
  std::array<const float*, 2> entries;  // level_entries: every node's, a first syllable's
  const StateScoreTable* scores = nullptr;
  LevelExitScores* exits = nullptr;
  int level = 0;
  int first = 0;
  int last = 0;

  const float* entries_of(const LevelPassNode& node) const { return entries[node.word_initial ? 1 : 0]; }
  float* exits_of(const LevelPassNode& node) const { return exits->node(level, node.node); }
  const float* row(int frame) const { return (*scores)[static_cast<std::size_t>(frame)][0].data(); }
};

// A node's trellis stepped one frame at a time: the initial's last state at
// frame-1 enters the final, then every state takes the better of staying and
// entering, plus its score.
void run_node(LevelPassNode& node, const LevelRun& run) {
  const float* entries = run.entries_of(node);
  float* exits = run.exits_of(node);
  auto& g = node.g;
  const int initial_states = node.initial_states;
  const int final_states = node.final_states;
  for (int t = run.first; t < run.last; ++t) {
    const float* row = run.row(t);
    g[0] = entries[t];
    g[kFinalEntrySlot] = g[static_cast<std::size_t>(initial_states)];
    for (int k = initial_states; k >= 1; --k) {
      g[k] = best_of(g[k], g[k - 1]) + row[node.initial_scores + k];
    }
    for (int k = final_states; k >= 1; --k) {
      g[kFinalEntrySlot + k] = best_of(g[kFinalEntrySlot + k], g[kFinalEntrySlot + k - 1]) + row[node.final_scores + k];
    }
    exits[t] = g[static_cast<std::size_t>(kFinalEntrySlot + final_states)];
  }
}

void run_level_portable(std::vector<LevelPassNode>& nodes, const LevelRun& run) {
  for (LevelPassNode& node : nodes) run_node(node, run);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KWS_TRELLIS_AVX2 1

// A node whose models both have emitting states fits one vector: the
// initial's states from lane 0, the final's from lane 4. A frame is then the
// states shifted by one lane (the entry into lane 0, the initial's last state
// into lane 4), max(before, state), which keeps state on a tie and on NaN as
// best_of does, and the scores added: the same operations as run_node's.
bool fits_one_vector(const LevelPassNode& node) { return node.initial_states >= 1 && node.final_states >= 1; }

// Several nodes stepped together: each node's frames are a chain of
// dependent steps, and interleaving chains keeps the vector units busy.
template <int Nodes>
__attribute__((target("avx2"))) void run_vector_nodes(LevelPassNode* const* nodes, const LevelRun& run) {
  // Local copies: the exit stores could otherwise alias the nodes' fields.
  __m256i before_lane[Nodes];
  __m256i exit_lane[Nodes];
  int initial_scores[Nodes];
  int final_scores[Nodes];
  const float* entries[Nodes];
  float* exits[Nodes];
  __m256 g[Nodes];
  for (int n = 0; n < Nodes; ++n) {
    before_lane[n] = _mm256_setr_epi32(0, 0, 1, 2, nodes[n]->initial_states - 1, 4, 5, 6);
    exit_lane[n] = _mm256_set1_epi32(3 + nodes[n]->final_states);
    initial_scores[n] = nodes[n]->initial_scores + 1;
    final_scores[n] = nodes[n]->final_scores + 1;
    entries[n] = run.entries_of(*nodes[n]);
    exits[n] = run.exits_of(*nodes[n]);
    g[n] = _mm256_loadu2_m128(&nodes[n]->g[kFinalEntrySlot + 1], &nodes[n]->g[1]);
  }
  const int first = run.first;
  const int last = run.last;
  for (int t = first; t < last; ++t) {
    const float* row = run.row(t);
#pragma GCC unroll 4
    for (int n = 0; n < Nodes; ++n) {
      const __m256 scores = _mm256_loadu2_m128(row + final_scores[n], row + initial_scores[n]);
      const __m256 before =
          _mm256_blend_ps(_mm256_permutevar8x32_ps(g[n], before_lane[n]), _mm256_broadcast_ss(entries[n] + t), 1);
      g[n] = _mm256_add_ps(_mm256_max_ps(before, g[n]), scores);
      _mm_store_ss(exits[n] + t, _mm256_castps256_ps128(_mm256_permutevar8x32_ps(g[n], exit_lane[n])));
    }
  }
  for (int n = 0; n < Nodes; ++n) _mm256_storeu2_m128(&nodes[n]->g[kFinalEntrySlot + 1], &nodes[n]->g[1], g[n]);
}

__attribute__((target("avx2"))) void run_level_avx2(std::vector<LevelPassNode>& nodes, const LevelRun& run) {
  constexpr int kGroup = 4;
  std::array<LevelPassNode*, kGroup> group;
  int count = 0;
  using Run = void (*)(LevelPassNode* const* nodes, const LevelRun& run);
  constexpr std::array<Run, kGroup + 1> kRuns = {nullptr, run_vector_nodes<1>, run_vector_nodes<2>, run_vector_nodes<3>,
                                                 run_vector_nodes<4>};
  const auto flush = [&] {
    if (count > 0) kRuns[static_cast<std::size_t>(count)](group.data(), run);
    count = 0;
  };
  for (LevelPassNode& node : nodes) {
    if (!fits_one_vector(node)) {
      run_node(node, run);
      continue;
    }
    group[static_cast<std::size_t>(count)] = &node;
    if (++count == kGroup) flush();
  }
  flush();
}
#endif

using LevelStep = void (*)(std::vector<LevelPassNode>& nodes, const LevelRun& run);

LevelStep level_step() {
#ifdef KWS_TRELLIS_AVX2
  if (avx2_kernels_chosen()) return run_level_avx2;
#endif
  return run_level_portable;
}

}  // namespace

void begin_level_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  search.word_scores.fill(kMinusInfinity);
  const int models = std::min<int>(data.main_models.count, kMaxModelSlots);
  std::array<std::int8_t, kMaxModelSlots> emitting{};
  for (int slot = 0; slot < models; ++slot) {
    emitting[static_cast<std::size_t>(slot)] = static_cast<std::int8_t>(emitting_states(data, slot));
  }
  for (int level = 0; level < kLexiconLevels; ++level) {
    const LexiconLevel& table = vocabulary.levels[static_cast<std::size_t>(level)];
    std::vector<LevelPassNode>& nodes = search.level_nodes[static_cast<std::size_t>(level)];
    nodes.clear();
    for (int i = 0; i < table.count; ++i) {
      const LevelNode& node = table.nodes[static_cast<std::size_t>(i)];
      LevelPassNode& pass_node = nodes.emplace_back();
      pass_node.node = static_cast<std::int16_t>(i);
      pass_node.initial_states = emitting[static_cast<std::size_t>(node.initial_model_slot)];
      pass_node.final_states = emitting[static_cast<std::size_t>(node.final_model_slot)];
      pass_node.initial_scores = node.initial_model_slot * kStateSlots;
      pass_node.final_scores = node.final_model_slot * kStateSlots;
      pass_node.word_initial = node.word_initial;
    }
  }
}

void run_level(UtteranceWorkspace& work, int level) {
  KeywordSearchTables& search = work.search;
  const int frames = frames_of(work);
  const bool keyword = keyword_mode(work);
  // Levels alternate between the two best buffers, so level + 1 wrote the
  // other one.
  const auto& above = search.level_best[static_cast<std::size_t>((level + 1) % 2)];
  auto& plain_entries = search.level_entries[0];
  auto& word_entries = search.level_entries[1];
  plain_entries[0] = kMinusInfinity;
  word_entries[0] = 0.0f;
  for (int t = 1; t < frames; ++t) {
    // A node enters at t from the best exit of the level above at t-1; a
    // first syllable enters from filler instead when filler is better.
    const float entry = level == kLexiconLevels - 1 ? kMinusInfinity : above[static_cast<std::size_t>(t) - 1];
    const float filler = search.forward_filler[static_cast<std::size_t>(t) - 1];
    plain_entries[static_cast<std::size_t>(t)] = entry;
    word_entries[static_cast<std::size_t>(t)] = keyword && t > 1 && filler > entry ? filler : entry;
  }
  std::vector<LevelPassNode>& nodes = search.level_nodes[static_cast<std::size_t>(level)];
  for (LevelPassNode& node : nodes) node.g.fill(kMinusInfinity);
  LevelRun run{{plain_entries.data(), word_entries.data()}, &work.state_scores, &search.level_exit_scores, level};
  // Spans of frames whose state scores stay in the processor's cache while
  // every node of the level passes over them.
  constexpr int kSpan = 64;
  const LevelStep step = level_step();
  for (run.first = 0; run.first < frames; run.first = run.last) {
    run.last = std::min(run.first + kSpan, frames);
    step(nodes, run);
  }
  auto& best = search.level_best[static_cast<std::size_t>(level % 2)];
  std::fill_n(best.begin(), frames, kMinusInfinity);
  for (const LevelPassNode& node : nodes) {
    const float* exits = run.exits_of(node);
    for (int t = 0; t < frames; ++t)
      best[static_cast<std::size_t>(t)] = best_of(best[static_cast<std::size_t>(t)], exits[t]);
  }
}

void run_level_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  begin_level_pass(data, vocabulary, work);
  for (int level = kLexiconLevels - 1; level >= 0; --level) run_level(work, level);
}

void score_word_ends(const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  const int frames = frames_of(work);
  if (frames < 1) return;
  const bool keyword = keyword_mode(work);
  const int count = vocabulary.levels[0].count;
  for (int j = 0; j < count; ++j) {
    const float* exits = search.level_exit_scores.node(0, j);
    float best = exits[frames - 1];
    int end = frames - 1;
    if (keyword) {
      for (int k = 0; k + 1 < frames; ++k) {
        const float candidate = exits[k] + search.backward_filler[static_cast<std::size_t>(k) + 1];
        if (candidate > best) {
          best = candidate;
          end = k;
        }
      }
    }
    search.word_scores[static_cast<std::size_t>(j)] = best;
    search.word_end_frames[static_cast<std::size_t>(j)] = static_cast<std::int16_t>(end);
  }
}

int preselection_count(int level_zero_nodes) {
  // Large vocabularies hand only a fraction of their last syllables on, which
  // bounds the stack search's work.
  const int divisor = level_zero_nodes > 200 ? 3 : level_zero_nodes >= 181 ? 2 : 1;
  return level_zero_nodes / divisor;
}

void preselect_candidates(const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  const int count = std::clamp(vocabulary.levels[0].count, 0, kLevelZeroNodes);
  const int wanted = preselection_count(count);
  auto& order = search.preselection_order;
  for (int i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i);
  const auto score = [&search](std::int16_t node) { return search.word_scores[static_cast<std::size_t>(node)]; };
  const auto first = order.begin();
  if (std::none_of(first, first + count, [&](std::int16_t node) { return std::isnan(score(node)); })) {
    // What the bubble passes below give when every score compares: the
    // greatest scores first, of equal ones the higher index first.
    std::partial_sort(first, first + wanted, first + count, [&](std::int16_t a, std::int16_t b) {
      return score(a) > score(b) || (score(a) == score(b) && a > b);
    });
    std::copy_n(first, wanted, search.candidates.begin());
  } else {
    // Partial bubble sort: pass p carries the p-th greatest score to position
    // count-1-p; swapping only on a strictly greater left score keeps equal
    // scores in index order, so the higher index is taken first.
    for (int pass = 0; pass < wanted; ++pass) {
      for (int i = 0; i + 1 < count - pass; ++i) {
        auto& left = order[static_cast<std::size_t>(i)];
        auto& right = order[static_cast<std::size_t>(i) + 1];
        if (score(left) > score(right)) std::swap(left, right);
      }
      search.candidates[static_cast<std::size_t>(pass)] = order[static_cast<std::size_t>(count - 1 - pass)];
    }
  }
  search.candidate_count = wanted;
}

bool seed_stack(const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  const int frames = frames_of(work);
  search.stack.clear();
  search.stack_size = 0;
  const LexiconTreeNode* root = vocabulary.tree.root();
  for (int p = 0; p < search.candidate_count; ++p) {
    const std::int16_t candidate = search.candidates[static_cast<std::size_t>(p)];
    const LexiconTreeNode* tree_node = root != nullptr ? root->first_child : nullptr;
    while (tree_node != nullptr && tree_node->key != candidate) tree_node = tree_node->next_sibling;
    if (tree_node == nullptr) continue;  // loading gives every counted level-0 node a root child
    StackEntry entry;
    entry.depth = 0;
    entry.node_index = candidate;
    entry.priority = search.word_scores[static_cast<std::size_t>(candidate)];
    entry.complete = 0;
    entry.tree_node = tree_node;
    entry.end_frame = search.word_end_frames[static_cast<std::size_t>(candidate)];
    entry.start_frame = 0;  // set when the hypothesis completes
    const bool appended = search_detail::append_hypothesis(
        search, std::move(entry), p, [frames](std::shared_ptr<std::vector<float>>& scores) {
          scores = std::make_shared<std::vector<float>>(static_cast<std::size_t>(frames));
        });
    if (!appended) {
      search.stack.clear();
      search.stack_size = 0;
      return false;
    }
  }
  return true;
}

bool run_forward_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  work.results.count = 0;
  search.allocation_failure.clear();
  search.stack.clear();
  search.stack_size = 0;
  search.candidate_count = 0;
  if (!search_inputs_fit(data, vocabulary, work)) {
    record_forward_end(work);
    return false;
  }
  if (keyword_mode(work)) {
    compute_forward_filler(data, work);
    compute_backward_filler(data, work);
  }
  run_level_pass(data, vocabulary, work);
  score_word_ends(vocabulary, work);
  preselect_candidates(vocabulary, work);
  const bool seeded = seed_stack(vocabulary, work);
  record_forward_end(work);
  return seeded;
}

void run_keyword_search(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  if (run_forward_pass(data, vocabulary, work)) collect_nbest(data, vocabulary, work);
}

}  // namespace kws
