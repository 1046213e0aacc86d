// HMM definition files: a subset of the HTK definition language with fixed
// keyword spelling and fixed dimensions, one text file per model.
//
// Recognised keywords: <BeginHMM> <MFCC_D> <NULLD> <DIAGC> (no effect),
// <EndHMM> (stops reading), <NumStates> N, <State> s, <NumMixes> m,
// <Mixture> m w, <Mean> size 24-reals, <Variance> size 24-reals, <GConst> g,
// <TransP> size NxN-reals, <VecSize> x, <StreamInfo> x y. Any other token is
// reported as "Idiot <token>" on the console and skipped, so macro headers and
// quoted names cost a diagnostic line each and nothing else.
//
// The record receives variances as reciprocals and transition probabilities as
// natural logarithms. Values that would land outside the record (a state,
// component, state count or mixture count beyond its slots, a <TransP> before
// <NumStates>, model data before any <State>) refuse the whole file with a
// message naming it and the value: a data directory is user input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "models/hmm_model.h"
#include "platform/refusal.h"

namespace kws {

// Largest <NumStates> accepted: the state slots and the transition matrix
// hold six states, and the search's per-syllable work vectors (entry, up to
// four emitting states and exit, for each half) have no room for a seventh.
inline constexpr int kMaxStateCount = 6;

// Fills record from the definition text of the model called name; path only
// names the file in messages. Every state's mixture count starts at 1 and
// every weight at 1.0, so a state without <NumMixes>/<Mixture> lines is one
// component of weight 1. Returns an empty string, or why the file was refused.
std::string parse_hmm_definition(std::string text, std::string_view name, std::string_view path,
                                 HmmModel& record);

// Reads data_directory/model/bsl/<name> into record. Refuses a file that
// cannot be opened ("Open HMM <path> error!", a message box) and a file the
// parser refuses (its reason, on the console).
std::optional<Refusal> read_hmm_definition(std::string_view data_directory, std::string_view name, HmmModel& record);

// The definition text of a model in the subset the reader accepts without a
// diagnostic. Means, weights and GConst values read back bit for bit; inverse
// variances and log transitions pass through their reciprocal and exponential
// and read back to within a unit in the last place.
std::string write_hmm_definition(const HmmModel& model);

}  // namespace kws
