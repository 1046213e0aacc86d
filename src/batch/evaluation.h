// Evaluation against a reference list: any recordings, each with its own
// vocabulary and the entries spoken in it, counted the way the keyword batch
// test counts (detection = detected / spoken, false-alarm rate = false alarms /
// accepted).
//
// The list is UTF-8, one recording per line:
//   AUDIO<TAB>VOCABULARY<TAB>ENTRY|ENTRY|...[<TAB>CONDITION]
// with the entries spoken (the field empty when none) and AUDIO relative to an
// audio folder unless absolute. Empty lines and lines starting with # are
// skipped; the condition defaults to "all".
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/engine_values.h"
#include "platform/refusal.h"

namespace kws {

// Reads the list at path. Refuses (a console text naming the file, and the
// line where one is wrong) a list that cannot be read, a line without its
// three or four fields, and an entry with no Big5 spelling.
OrRefusal<std::vector<EvaluationItem>> read_evaluation_references(const std::string& path,
                                                                  const std::string& audio_folder);

// One recording's counts: every spoken entry with at least one accepted
// keyword of its name is detected; every accepted keyword whose name was not
// spoken is a false alarm.
EvaluationCounts score_evaluation_item(const EvaluationItem& item, std::span<const AcceptedKeyword> accepted);

void add_counts(EvaluationCounts& into, const EvaluationCounts& from);

// "%.3f" of numerator / denominator; "n/a" when the denominator is 0.
std::string evaluation_rate_text(int numerator, int denominator);

// The accepted keywords a verified pass gives at another decision threshold:
// its displayed results, in display order, that meet the duration rules and
// whose mean confidence is at least threshold.
std::vector<AcceptedKeyword> accepted_at(const RecognitionOutcome& outcome, double threshold);

// The thresholds a sweep visits: 0.30 to 0.50 in steps of 0.01.
std::vector<double> sweep_thresholds();

// The figure of merit of a sweep: the mean detection rate over the range of
// false-alarm rates the sweep reaches, that is the area under the detection
// against false-alarm curve (trapezoids between the points, in order of
// false-alarm rate) divided by the range's width; the plain mean detection
// rate when every point has the same false-alarm rate. Points without a
// spoken or an accepted keyword carry no rate and are left out; nothing
// when no point is left.
std::optional<double> figure_of_merit(std::span<const SweepPoint> points);

}  // namespace kws
