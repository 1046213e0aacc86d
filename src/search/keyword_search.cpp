#include "search/keyword_search.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <utility>
#include <vector>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
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

// One frame of a block's trellis rows: the initial's states from its last,
// then the final's, each taking the better of staying and entering.
void step_block(TrellisBlock& block, const float* row) {
  auto& g = block.g;
  const auto step = [&](int slot, const std::array<std::int32_t, kTrellisLanes>& offsets, int k) {
    auto& state = g[static_cast<std::size_t>(slot)];
    const auto& before = g[static_cast<std::size_t>(slot) - 1];
    for (std::size_t l = 0; l < kTrellisLanes; ++l) state[l] = best_of(state[l], before[l]) + row[offsets[l] + k];
  };
  for (int k = block.initial_states; k >= 1; --k) step(k, block.initial_scores, k);
  for (int k = block.final_states; k >= 1; --k) step(kFinalEntrySlot + k, block.final_scores, k);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KWS_TRELLIS_AVX2 1
// The same steps eight lanes at a time; max(before, state) keeps state on a
// tie and on NaN, as best_of does.
__attribute__((target("avx2"))) void step_avx2(TrellisBlock& block, int slot,
                                               const std::array<std::int32_t, kTrellisLanes>& offsets, int k,
                                               const float* row) {
  const __m256i index =
      _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets.data())), _mm256_set1_epi32(k));
  float* state = block.g[static_cast<std::size_t>(slot)].data();
  const __m256 best =
      _mm256_max_ps(_mm256_load_ps(block.g[static_cast<std::size_t>(slot) - 1].data()), _mm256_load_ps(state));
  _mm256_store_ps(state, _mm256_add_ps(best, _mm256_i32gather_ps(row, index, 4)));
}

__attribute__((target("avx2"))) void step_block_avx2(TrellisBlock& block, const float* row) {
  for (int k = block.initial_states; k >= 1; --k) step_avx2(block, k, block.initial_scores, k, row);
  for (int k = block.final_states; k >= 1; --k) step_avx2(block, kFinalEntrySlot + k, block.final_scores, k, row);
}
#endif

using BlockStep = void (*)(TrellisBlock& block, const float* row);

// The processor's best, decided once.
BlockStep block_step() {
#ifdef KWS_TRELLIS_AVX2
  static const BlockStep chosen = __builtin_cpu_supports("avx2") ? step_block_avx2 : step_block;
  return chosen;
#else
  return step_block;
#endif
}

void step_blocks(std::vector<TrellisBlock>& blocks, const float* row) {
  const BlockStep step = block_step();
  for (TrellisBlock& block : blocks) {
    block.g[kFinalEntrySlot] = block.g[static_cast<std::size_t>(block.initial_states)];
    step(block, row);
  }
}

}  // namespace

void advance_level(UtteranceWorkspace& work, int level, int frame) {
  KeywordSearchTables& search = work.search;
  const bool keyword = keyword_mode(work);
  // Levels alternate between the two best buffers, so level + 1 wrote the
  // other one earlier in this frame.
  const float entry = level == kLexiconLevels - 1
                          ? kMinusInfinity
                          : search.level_best[static_cast<std::size_t>((level + 1) % 2)][static_cast<std::size_t>(frame)];
  const float filler = search.forward_filler[static_cast<std::size_t>(frame)];
  std::vector<TrellisBlock>& blocks = search.level_blocks[static_cast<std::size_t>(level)];
  if (frame == 0) {
    for (TrellisBlock& block : blocks) {
      for (std::size_t l = 0; l < kTrellisLanes; ++l) {
        if (block.word_initial[l]) block.g[0][l] = 0.0f;
      }
    }
  }
  // The initial's last state at frame-1 enters the final; then every state steps.
  step_blocks(blocks, &scores_at(work, frame)[0][0]);
  float level_best = kMinusInfinity;
  const bool filler_enters = keyword && frame > 0 && filler > entry;
  for (TrellisBlock& block : blocks) {
    // The entry for frame + 1.
    for (std::size_t l = 0; l < kTrellisLanes; ++l) {
      block.g[0][l] = filler_enters && block.word_initial[l] ? filler : entry;
    }
    const auto& exits = block.g[static_cast<std::size_t>(kFinalEntrySlot + block.final_states)];
    for (int l = 0; l < block.lanes; ++l) {
      const float exit = exits[static_cast<std::size_t>(l)];
      if (exit > level_best) level_best = exit;
      search.level_exit_scores.at(level, block.nodes[static_cast<std::size_t>(l)], frame) = exit;
    }
  }
  search.level_best[static_cast<std::size_t>(level % 2)][static_cast<std::size_t>(frame)] = level_best;
}

void begin_level_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  KeywordSearchTables& search = work.search;
  search.word_scores.fill(kMinusInfinity);
  const int models = std::min<int>(data.main_models.count, kMaxModelSlots);
  search.model_emitting_states.fill(0);
  for (int slot = 0; slot < models; ++slot) {
    search.model_emitting_states[static_cast<std::size_t>(slot)] =
        static_cast<std::int8_t>(emitting_states(data, slot));
  }
  // Blocks of nodes with equal state counts, in node order within each count.
  for (int level = 0; level < kLexiconLevels; ++level) {
    const LexiconLevel& table = vocabulary.levels[static_cast<std::size_t>(level)];
    std::vector<TrellisBlock>& blocks = search.level_blocks[static_cast<std::size_t>(level)];
    blocks.clear();
    std::array<int, (kStateSlots + 1) * (kStateSlots + 1)> open_block;
    open_block.fill(-1);
    for (int i = 0; i < table.count; ++i) {
      const LevelNode& node = table.nodes[static_cast<std::size_t>(i)];
      const int initial_states = search.model_emitting_states[static_cast<std::size_t>(node.initial_model_slot)];
      const int final_states = search.model_emitting_states[static_cast<std::size_t>(node.final_model_slot)];
      int& open = open_block[static_cast<std::size_t>(initial_states * (kStateSlots + 1) + final_states)];
      if (open < 0 || blocks[static_cast<std::size_t>(open)].lanes == kTrellisLanes) {
        open = static_cast<int>(blocks.size());
        TrellisBlock& block = blocks.emplace_back();
        block.initial_states = static_cast<std::int8_t>(initial_states);
        block.final_states = static_cast<std::int8_t>(final_states);
        for (auto& slot : block.g) slot.fill(kMinusInfinity);
        // Unused lanes read the first score of the row and are never reported.
      }
      TrellisBlock& block = blocks[static_cast<std::size_t>(open)];
      const auto lane = static_cast<std::size_t>(block.lanes++);
      block.nodes[lane] = static_cast<std::int16_t>(i);
      block.initial_scores[lane] = node.initial_model_slot * kStateSlots;
      block.final_scores[lane] = node.final_model_slot * kStateSlots;
      block.word_initial[lane] = node.word_initial;
    }
  }
}

void run_level_pass(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  begin_level_pass(data, vocabulary, work);
  const int frames = frames_of(work);
  for (int frame = 0; frame < frames; ++frame) {
    for (int level = kLexiconLevels - 1; level >= 0; --level) advance_level(work, level, frame);
  }
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
  // Partial bubble sort: pass p carries the p-th greatest score to position
  // count-1-p; swapping only on a strictly greater left score keeps equal
  // scores in index order, so the higher index is taken first.
  for (int pass = 0; pass < wanted; ++pass) {
    for (int i = 0; i + 1 < count - pass; ++i) {
      auto& left = order[static_cast<std::size_t>(i)];
      auto& right = order[static_cast<std::size_t>(i) + 1];
      if (search.word_scores[static_cast<std::size_t>(left)] > search.word_scores[static_cast<std::size_t>(right)]) {
        std::swap(left, right);
      }
    }
    search.candidates[static_cast<std::size_t>(pass)] = order[static_cast<std::size_t>(count - 1 - pass)];
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
