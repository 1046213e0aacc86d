// Pieces the recognizers share: the emitting-state range of a model, the
// Viterbi step, and appending a hypothesis.
#pragma once

#include <algorithm>
#include <new>
#include <utility>

#include "engine/loaded_data.h"
#include "platform/message_sink.h"
#include "search/search_tables.h"

namespace kws::search_detail {

// Emitting states of the model in `slot`, 0..4: the 12-slot work vectors hold
// an entry, at most four emitting states and an exit per model. A model with
// N <= 2 has none and passes its entry straight through.
inline int emitting_states(const LoadedData& data, int slot) {
  return std::clamp(data.main_models.records[slot].state_count - 2, 0, kStateSlots - 2);
}

// State count N of the model in `slot` when the set holds it and it has one
// to four emitting states (what the 12-slot work vectors take); 0 otherwise.
inline int runnable_state_count(const ModelSet& models, int slot) {
  if (slot < 0 || slot >= models.count || slot >= kMaxModelSlots) return 0;
  const int states = models.records[static_cast<std::size_t>(slot)].state_count;
  return states >= 3 && states <= kStateSlots ? states : 0;
}

// For the plain trellis steps over a model's few states. Each step follows a
// scalar store into the trellis row (an entry or exit state), and GCC's
// vectorised steps load that row as a vector: the load waits for the store
// to reach the cache, which about doubled those steps. Scalar steps forward
// the stored value at once.
#if defined(__GNUC__) && !defined(__clang__)
#define KWS_SCALAR_TRELLIS __attribute__((optimize("no-tree-vectorize")))
#else
#define KWS_SCALAR_TRELLIS
#endif

// max(same, other), the same state keeping a tie.
inline float best_of(float same, float other) { return other > same ? other : same; }

// Appends entry at the tail of the stack, with the suffix-score array
// fill_suffix_scores gives it. On allocation failure keeps the message naming
// hypothesis `number` for the caller to show and returns false with the stack
// unchanged.
template <typename Fill>
bool append_hypothesis(KeywordSearchTables& search, StackEntry&& entry, int number, Fill&& fill_suffix_scores) {
  try {
    fill_suffix_scores(entry.suffix_scores);
    search.stack.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    search.allocation_failure = format_text("Stack ALLOC ERROR in Initial %d\n", number);
    return false;
  }
  ++search.stack_size;
  return true;
}

}  // namespace kws::search_detail
