#include "search/verification.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "models/anti_model_map.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "search/search_detail.h"
#include "search/state_scoring.h"
#include "search/utterance_workspace.h"

namespace kws {

namespace {

// A filler trailing an entry's end may score arbitrarily low near the end of
// the utterance; clamping it keeps such ends comparable in keyword mode.
constexpr float kTrailingFillerFloor = -100000.0f;

using ModelVector = std::array<float, kStateSlots>;

// A result's vocabulary entry and its node on each level.
struct EntryPath {
  int entry = 0;
  int syllables = 0;                                 // L
  std::array<std::int16_t, kLexiconLevels> nodes{};  // by level
};

void report_refusal(int result, const char* reason) {
  message_sink().console(format_text("Result %d not verified: %s\n", result + 1, reason));
}

// The result number shown at a display position, or -1.
int result_at(const UtteranceWorkspace& work, int display_position) {
  if (display_position < 0 || display_position >= displayed_result_count(work)) return -1;
  const int result = work.display_order[static_cast<std::size_t>(display_position)];
  return result >= 0 && result < work.results.count ? result : -1;
}

// The entry index is the number that opens the result line, minus one.
std::optional<int> entry_of(const Vocabulary& vocabulary, const UtteranceWorkspace& work, int result) {
  const std::string& line = work.results.lines[static_cast<std::size_t>(result)];
  const std::size_t space = line.find(' ');
  const char* last = line.data() + (space == std::string::npos ? line.size() : space);
  int number = 0;
  const auto [ptr, error] = std::from_chars(line.data(), last, number);
  if (error != std::errc{} || ptr != last) return std::nullopt;
  const int entry = number - 1;
  if (entry < 0 || entry >= vocabulary.entry_count || entry >= static_cast<int>(vocabulary.names.size()) ||
      entry >= static_cast<int>(vocabulary.phone_seqs.size())) {
    return std::nullopt;
  }
  return entry;
}

// The entry and its PhoneSeq nodes (first token: level L-1), each checked
// against its level's node count.
std::optional<EntryPath> entry_path(const Vocabulary& vocabulary, const UtteranceWorkspace& work, int result) {
  const std::optional<int> entry = entry_of(vocabulary, work, result);
  if (!entry) return std::nullopt;
  EntryPath path;
  path.entry = *entry;
  path.syllables = static_cast<int>(vocabulary.names[static_cast<std::size_t>(*entry)].size() / 2);
  // The boundary list BND[0..2L] must fit its table.
  if (path.syllables < 1 || path.syllables > kLexiconLevels || 2 * path.syllables > kMaxBoundaries) {
    return std::nullopt;
  }
  const std::string& phone_seq = vocabulary.phone_seqs[static_cast<std::size_t>(*entry)];
  const char* cursor = phone_seq.data();
  const char* const text_end = phone_seq.data() + phone_seq.size();
  for (int level = path.syllables - 1; level >= 0; --level) {
    while (cursor < text_end && *cursor == ' ') ++cursor;
    int node = -1;
    const auto [ptr, error] = std::from_chars(cursor, text_end, node);
    if (error != std::errc{} || node < 0 || node >= vocabulary.levels[static_cast<std::size_t>(level)].count) {
      return std::nullopt;
    }
    path.nodes[static_cast<std::size_t>(level)] = static_cast<std::int16_t>(node);
    cursor = ptr;
  }
  return path;
}

// The result shown at display_position (into result) and its entry path;
// nullopt, with the refusal reported, when there is none to verify.
std::optional<EntryPath> displayed_entry_path(const Vocabulary& vocabulary, const UtteranceWorkspace& work,
                                              int display_position, int& result) {
  result = result_at(work, display_position);
  if (result < 0) return std::nullopt;
  std::optional<EntryPath> path = entry_path(vocabulary, work, result);
  if (!path) report_refusal(result, "entry path");
  return path;
}

const LevelNode& node_of(const Vocabulary& vocabulary, const EntryPath& path, int level) {
  return vocabulary.levels[static_cast<std::size_t>(level)]
      .nodes[static_cast<std::size_t>(path.nodes[static_cast<std::size_t>(level)])];
}

// One Viterbi frame within a model, no transition probabilities: a state
// takes the better of its predecessor and itself, itself on equality.
KWS_SCALAR_TRELLIS void advance_model(ModelVector& vector, int states, const std::array<float, kStateSlots>& scores) {
  for (int k = states - 2; k >= 1; --k) {
    const float previous = vector[static_cast<std::size_t>(k) - 1];
    const float same = vector[static_cast<std::size_t>(k)];
    vector[static_cast<std::size_t>(k)] = (previous > same ? previous : same) + scores[static_cast<std::size_t>(k)];
  }
}

double logistic_half(double difference) { return 1.0 / (1.0 + std::exp(-0.5 * difference)); }

// ln(0.6 e^q + 0.4 e^a) with the larger exponent factored out, so per-frame
// averages far below the exponential's range still give a finite value.
double log_competitor_mixture(double q, double a) {
  const double top = std::max(q, a);
  return top + std::log(0.6 * std::exp(q - top) + 0.4 * std::exp(a - top));
}

// Scores segment [s, e] of one result against its own model, the competing
// slots and the anti-model; false when the segment cannot be scored.
bool score_one_segment(const LoadedData& data, UtteranceWorkspace& work, int own_slot, int competitors_begin,
                       int competitors_end, int s, int e, SegmentScore& score, float& anti_average) {
  score = SegmentScore{};
  const int frames = e - s + 1;
  const int own_states = search_detail::runnable_state_count(data.main_models, own_slot);
  if (frames <= 0 || own_states == 0 || own_slot >= static_cast<int>(kAntiModelMap.size())) return false;
  const int anti = kAntiModelMap[static_cast<std::size_t>(own_slot)];
  const int anti_states = search_detail::runnable_state_count(data.anti_models, anti);
  if (anti >= kMaxAntiModels || anti_states == 0) return false;

  constexpr int kMaxCompetitors = kInitialSlotCount;
  std::array<ModelVector, kMaxCompetitors> competitors;
  std::array<int, kMaxCompetitors> competitor_states{};
  const int competitor_count = competitors_end - competitors_begin;
  for (int c = 0; c < competitor_count; ++c) {
    competitor_states[static_cast<std::size_t>(c)] =
        search_detail::runnable_state_count(data.main_models, competitors_begin + c);
    competitors[static_cast<std::size_t>(c)].fill(kMinusInfinity);
    competitors[static_cast<std::size_t>(c)][0] = 0.0f;
  }
  ModelVector own;
  own.fill(kMinusInfinity);
  own[0] = 0.0f;
  ModelVector anti_vector;
  anti_vector.fill(kMinusInfinity);
  anti_vector[0] = 0.0f;

  // The anti-model's state scores are computed here, for the segment's frames only.
  score_anti_model_best_gaussian(data, work, anti, s, e + 1);
  for (int t = s; t <= e; ++t) {
    const StateScores& row = work.state_scores[static_cast<std::size_t>(t)];
    advance_model(own, own_states, row[static_cast<std::size_t>(own_slot)]);
    own[0] = kMinusInfinity;
    for (int c = 0; c < competitor_count; ++c) {
      const int states = competitor_states[static_cast<std::size_t>(c)];
      if (states == 0) continue;
      advance_model(competitors[static_cast<std::size_t>(c)], states,
                    row[static_cast<std::size_t>(competitors_begin + c)]);
      competitors[static_cast<std::size_t>(c)][0] = kMinusInfinity;
    }
    advance_model(anti_vector, anti_states,
                  work.anti_state_scores[static_cast<std::size_t>(t)][static_cast<std::size_t>(anti)]);
    anti_vector[0] = kMinusInfinity;
    score.own = own[static_cast<std::size_t>(own_states) - 2];
  }
  for (int c = 0; c < competitor_count; ++c) {
    const int states = competitor_states[static_cast<std::size_t>(c)];
    if (states == 0) continue;
    const float last = competitors[static_cast<std::size_t>(c)][static_cast<std::size_t>(states) - 2];
    if (last > score.competitor) score.competitor = last;
  }
  const float anti_last = anti_vector[static_cast<std::size_t>(anti_states) - 2];
  if (anti_last > score.anti) score.anti = anti_last;

  const float n = static_cast<float>(frames);
  const float k = score.own / n;
  const float q = score.competitor / n;
  const float a = score.anti / n;
  score.p1 = static_cast<float>(logistic_half(static_cast<double>(k) - q));
  score.p2 = static_cast<float>(logistic_half(static_cast<double>(k) - a));
  score.p3 = static_cast<float>(logistic_half(static_cast<double>(k) - log_competitor_mixture(q, a)));
  anti_average = a;
  return true;
}

}  // namespace

int displayed_result_count(const UtteranceWorkspace& work) {
  const int wanted = work.settings.results_wanted;
  return std::max(0, std::min({wanted, work.results.count, kMaxResults}));
}

KWS_SCALAR_TRELLIS bool align_result(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work,
                                     int display_position) {
  int result = -1;
  const std::optional<EntryPath> path = displayed_entry_path(vocabulary, work, display_position, result);
  if (!path) return false;
  const int frame_count = work.search.frame_count;
  const int start = work.results.start_frames[static_cast<std::size_t>(result)];
  if (frame_count < 1 || frame_count > kMaxFrames || start < 0 || start >= frame_count) {
    report_refusal(result, "frames");
    return false;
  }
  const bool keyword_mode = work.settings.keyword_spotting == 1;
  AlignmentTables& alignment = work.alignment;
  auto& exits = alignment.exit_scores;  // P[t]: the previous syllable's exits, then this one's
  const auto& backward_filler = work.search.backward_filler;

  float best = kMinusInfinity;
  int end = frame_count - 1;  // kept when no end gives a better score than minus infinity
  const int length = path->syllables;
  for (int level = length - 1; level >= 0; --level) {
    const LevelNode& node = node_of(vocabulary, *path, level);
    const int initial = node.initial_model_slot;
    const int final_slot = node.final_model_slot;
    const int initial_states = search_detail::runnable_state_count(data.main_models, initial);
    const int final_states = search_detail::runnable_state_count(data.main_models, final_slot);
    if (initial_states == 0 || final_states == 0) {
      report_refusal(result, "model");
      return false;
    }
    const bool first = level == length - 1;
    std::array<float, kTrellisSlots> g;
    g.fill(kMinusInfinity);
    std::array<std::int16_t, kStateSlots> initial_starts, final_starts, final_initial_ends;
    initial_starts.fill(-1);
    final_starts.fill(-1);
    final_initial_ends.fill(-1);
    if (first) {
      g[0] = 0.0f;
      initial_starts[0] = static_cast<std::int16_t>(start);
    }
    const int last_initial = initial_states - 2;
    const int last_final = kFinalEntrySlot + final_states - 2;
    for (int t = start; t < frame_count; ++t) {
      const StateScores& row = work.state_scores[static_cast<std::size_t>(t)];
      const auto& initial_scores = row[static_cast<std::size_t>(initial)];
      const auto& final_scores = row[static_cast<std::size_t>(final_slot)];
      g[kFinalEntrySlot] = g[static_cast<std::size_t>(last_initial)];
      final_starts[0] = initial_starts[static_cast<std::size_t>(last_initial)];
      for (int k = last_initial; k >= 1; --k) {
        const std::size_t i = static_cast<std::size_t>(k);
        if (g[i - 1] <= g[i]) {
          g[i] += initial_scores[i];
        } else {
          g[i] = g[i - 1] + initial_scores[i];
          initial_starts[i] = initial_starts[i - 1];
        }
      }
      for (int k = final_states - 2; k >= 1; --k) {
        const std::size_t i = static_cast<std::size_t>(k);
        const std::size_t slot = kFinalEntrySlot + i;
        if (g[slot - 1] <= g[slot]) {
          g[slot] += final_scores[i];
        } else {
          g[slot] = g[slot - 1] + final_scores[i];
          final_starts[i] = final_starts[i - 1];
          final_initial_ends[i] = final_initial_ends[i - 1];
        }
      }
      g[0] = first ? kMinusInfinity : exits[static_cast<std::size_t>(t)];
      initial_starts[0] = static_cast<std::int16_t>(t);
      final_initial_ends[0] = static_cast<std::int16_t>(t);
      const float exit = g[static_cast<std::size_t>(last_final)];
      exits[static_cast<std::size_t>(t)] = exit;
      alignment.syllable_starts[static_cast<std::size_t>(level)][static_cast<std::size_t>(t)] =
          final_starts[static_cast<std::size_t>(final_states) - 2];
      alignment.initial_ends[static_cast<std::size_t>(level)][static_cast<std::size_t>(t)] =
          final_initial_ends[static_cast<std::size_t>(final_states) - 2];
      if (level == 0 && keyword_mode) {
        const float filler = backward_filler[static_cast<std::size_t>(t)];
        if (exit + std::max(filler, kTrailingFillerFloor) > best) {
          best = exit + filler;
          end = t;
        }
      }
    }
  }
  if (!keyword_mode) end = frame_count - 1;

  work.results.end_frames[static_cast<std::size_t>(result)] = static_cast<std::int16_t>(end);
  ResultVerification& verification = work.verifications[static_cast<std::size_t>(result)];
  verification.raw_score = exits[static_cast<std::size_t>(end)];
  verification.keyword_score = verification.raw_score / static_cast<float>(end - start + 1);
  verification.syllable_count = static_cast<std::int16_t>(length);
  return true;
}

bool trace_segmentation(UtteranceWorkspace& work, int display_position) {
  const int result = result_at(work, display_position);
  if (result < 0) return false;
  ResultVerification& v = work.verifications[static_cast<std::size_t>(result)];
  const int length = v.syllable_count;
  const int frame_count = work.search.frame_count;
  if (length < 1 || length > kLexiconLevels || 2 * length > kMaxBoundaries || frame_count < 1 ||
      frame_count > kMaxFrames) {
    report_refusal(result, "syllable count");
    return false;
  }
  // Back-pointers of a path that never reached its end are -1; they must not
  // become indices.
  const auto valid = [frame_count](int frame) { return frame >= 0 && frame < frame_count; };
  auto& bounds = v.syllable_bounds;
  auto& mids = v.initial_ends;
  const AlignmentTables& alignment = work.alignment;
  const auto L = static_cast<std::size_t>(length);
  bounds[0] = work.results.start_frames[static_cast<std::size_t>(result)];
  bounds[L] = work.results.end_frames[static_cast<std::size_t>(result)];
  if (!valid(bounds[0]) || !valid(bounds[L])) {
    report_refusal(result, "frames");
    return false;
  }
  mids[L] = alignment.initial_ends[0][static_cast<std::size_t>(bounds[L])];
  for (std::size_t i = 1; i < L; ++i) {
    bounds[L - i] = alignment.syllable_starts[i - 1][static_cast<std::size_t>(bounds[L - i + 1])];
    if (!valid(bounds[L - i])) break;
    mids[L - i] = alignment.initial_ends[i][static_cast<std::size_t>(bounds[L - i])];
  }
  for (std::size_t k = 0; k <= L; ++k) {
    if (!valid(bounds[k]) || (k >= 1 && !valid(mids[k]))) {
      report_refusal(result, "alignment path");
      return false;
    }
  }

  std::string trace;
  for (std::size_t k = 0; k < L; ++k) v.durations[k] = static_cast<std::int16_t>(bounds[k + 1] - bounds[k]);
  for (std::size_t k = 0; k < L; ++k) {
    v.unit_bounds[2 * k] = bounds[k];
    v.unit_bounds[2 * k + 1] = mids[k + 1];
  }
  v.unit_bounds[2 * L] = bounds[L];
  v.syllable_count = static_cast<std::int16_t>(length);

  for (std::size_t k = 0; k <= L; ++k) trace += format_text("%d ", bounds[k]);
  for (std::size_t k = 0; k < L; ++k) trace += format_text("(%d) ", v.durations[k]);
  for (std::size_t k = 0; k < L; ++k) {
    trace += format_text("[%d][%d] ", mids[k + 1] - bounds[k], bounds[k + 1] - mids[k + 1]);
  }
  for (std::size_t k = 0; k <= 2 * L; ++k) trace += format_text("{%d} ", v.unit_bounds[k]);
  work.details[static_cast<std::size_t>(display_position)][1] = std::move(trace);
  return true;
}

bool score_segments(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work,
                    int display_position) {
  int result = -1;
  const std::optional<EntryPath> path = displayed_entry_path(vocabulary, work, display_position, result);
  if (!path) return false;
  ResultVerification& v = work.verifications[static_cast<std::size_t>(result)];
  const int length = path->syllables;
  const int frame_count = work.search.frame_count;
  std::string scores_line;
  std::string confidences_line;
  bool complete = true;
  double sum_p1 = 0.0, sum_p2 = 0.0, sum_p3 = 0.0, sum_anti = 0.0;
  int anti_terms = 0;
  for (int k = 0; k < length; ++k) {
    const LevelNode& node = node_of(vocabulary, *path, length - 1 - k);
    for (int half = 0; half < 2; ++half) {
      const auto segment = static_cast<std::size_t>(2 * k + half);
      const int s = v.unit_bounds[segment];
      const int e = v.unit_bounds[segment + 1];
      const bool initial = half == 0;
      SegmentScore& score = v.segments[segment];
      float anti_average = 0.0f;
      // A segment outside the utterance is as unusable as an empty one.
      const bool in_range = s >= 0 && e < frame_count && e < kMaxFrames;
      const bool scored =
          in_range &&
          score_one_segment(data, work, initial ? node.initial_model_slot : node.final_model_slot,
                            initial ? 0 : kFirstFinalSlot,
                            initial ? kInitialSlotCount : kFirstFinalSlot + kFinalSlotCount, s, e, score, anti_average);
      if (scored) {
        const float n = static_cast<float>(e - s + 1);
        scores_line += format_text("(%d:%5.2f %5.2f %5.2f) ", e - s, score.own / n, score.competitor / n, anti_average);
        sum_anti += anti_average;
        ++anti_terms;
      } else {
        // Confidences stay 0, so the means count the segment against the result.
        if (!in_range) score = SegmentScore{};
        scores_line += format_text("(%d:%5.2f %5.2f %5.2f) ", e - s, score.own, score.competitor, score.anti);
        complete = false;
      }
      confidences_line += format_text("(%1.2f %1.2f %1.2f) ", score.p1, score.p2, score.p3);
      sum_p1 += score.p1;
      sum_p2 += score.p2;
      sum_p3 += score.p3;
    }
  }
  const double segments = 2.0 * length;
  v.v1 = static_cast<float>(sum_p1 / segments);
  v.v2 = static_cast<float>(sum_p2 / segments);
  v.v3 = static_cast<float>(sum_p3 / segments);
  v.anti_score = anti_terms > 0 ? static_cast<float>(sum_anti / anti_terms) : 0.0f;
  ResultDetail& detail = work.details[static_cast<std::size_t>(display_position)];
  detail[3] = std::move(scores_line);
  detail[4] = std::move(confidences_line);
  detail[5] = format_text(" <<%1.2f>><<%1.2f>><<%1.2f>> ", v.v1, v.v2, v.v3);
  if (!complete) report_refusal(result, "segment without frames or models");
  return complete;
}

bool meets_duration_rules(std::span<const std::int16_t> durations, std::size_t name_bytes, int start_frame,
                          int end_frame) {
  for (const std::int16_t duration : durations) {
    if (duration < kMinSyllableFrames) return false;
  }
  // byte length x 0.6 <= (end - start) x 0.1, kept in integers.
  return static_cast<long long>(end_frame) - start_frame >= kFramesPerNameByte * static_cast<long long>(name_bytes);
}

bool keyword_accepted(std::span<const std::int16_t> durations, std::size_t name_bytes, int start_frame, int end_frame,
                      float v1, double threshold) {
  return meets_duration_rules(durations, name_bytes, start_frame, end_frame) && static_cast<double>(v1) >= threshold;
}

std::string format_result_line(const ResultLineValues& values, bool accepted) {
  const std::string name(values.name);
  const int span = values.end_frame - values.start_frame;
  // Big5: B1B5 A8FC = 接受 (accepted), A9DA B5B4 = 拒絕 (rejected), AEC9 B6A1 = 時間 (time).
  if (accepted) {
    return format_text(
        "%2d. (\xB1\xB5\xA8\xFC) %s  %5.2f (\xAE\xC9\xB6\xA1) %-3d %-3d (%-3d) (K)%5.2f (A)%5.2f (F)%5.2f \n",
        values.display_position + 1, name.c_str(), values.score, values.start_frame, values.end_frame, span,
        values.keyword, values.anti, values.filler);
  }
  return format_text(
      "%2d. (\xA9\xDA\xB5\xB4) %s  %5.2f (\xAE\xC9\xB6\xA1) %-3d %-3d (%-3d) (K) %5.2f (A) %5.2f (F) %5.2f \n",
      values.display_position + 1, name.c_str(), values.score, values.start_frame, values.end_frame, span,
      values.keyword, values.anti, values.filler);
}

void verify_results(const LoadedData& data, const Vocabulary& vocabulary, UtteranceWorkspace& work) {
  // Detail lines of an earlier utterance must never show beside this one's.
  for (ResultDetail& detail : work.details) {
    for (std::string& line : detail) line.clear();
  }
  const int shown = displayed_result_count(work);
  RecognitionResults& results = work.results;
  const auto add_accepted = [&](const std::string& name, int start, int end) {
    if (static_cast<int>(work.accepted.size()) >= kMaxResults) return;
    work.accepted.push_back({name, static_cast<std::int16_t>(start), static_cast<std::int16_t>(end)});
  };

  if (work.settings.verification_enabled == 0) {
    for (int t = 0; t < shown; ++t) {
      const int result = result_at(work, t);
      const std::optional<int> entry = result < 0 ? std::nullopt : entry_of(vocabulary, work, result);
      if (!entry) continue;
      work.verifications[static_cast<std::size_t>(result)].accepted = true;
      add_accepted(vocabulary.names[static_cast<std::size_t>(*entry)],
                   results.start_frames[static_cast<std::size_t>(result)],
                   results.end_frames[static_cast<std::size_t>(result)]);
    }
    return;
  }

  auto& forward_filler = work.search.forward_filler;
  forward_filler[0] = 0.0f;
  for (int t = 0; t < shown; ++t) {
    const int result = result_at(work, t);
    if (result < 0) {
      message_sink().console(format_text("Display position %d holds no result\n", t + 1));
      continue;
    }
    // A result that cannot be verified is rejected, whatever an earlier
    // utterance's result in the same slot was.
    work.verifications[static_cast<std::size_t>(result)].accepted = false;
    work.verifications[static_cast<std::size_t>(result)].meets_duration_rules = false;
    if (!align_result(data, vocabulary, work, t) || !trace_segmentation(work, t)) continue;
    const bool scored = score_segments(data, vocabulary, work, t);
    ResultVerification& v = work.verifications[static_cast<std::size_t>(result)];
    const int entry = *entry_of(vocabulary, work, result);
    const std::string& name = vocabulary.names[static_cast<std::size_t>(entry)];
    const int start = results.start_frames[static_cast<std::size_t>(result)];
    const int end = results.end_frames[static_cast<std::size_t>(result)];
    v.meets_duration_rules =
        scored && meets_duration_rules(std::span(v.durations.data(), static_cast<std::size_t>(v.syllable_count)),
                                       name.size(), start, end);
    const bool accepted = v.meets_duration_rules && static_cast<double>(v.v1) >= work.settings.threshold;
    const float filler =
        (forward_filler[static_cast<std::size_t>(end)] - forward_filler[static_cast<std::size_t>(start)]) /
        static_cast<float>(end - start + 1);
    v.accepted = accepted;
    v.filler_score = filler;
    ResultDetail& detail = work.details[static_cast<std::size_t>(t)];
    detail[0] = format_result_line(
        {t, name, results.scores[static_cast<std::size_t>(result)], start, end, v.keyword_score, v.anti_score, filler},
        accepted);
    detail[2].clear();
    if (accepted) add_accepted(name, start, end);
  }
}

}  // namespace kws
