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

}  // namespace kws
