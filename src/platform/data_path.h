// Paths under the data directory.
//
// The station's file names are written as suffixes that start with a
// backslash ("\rcdhmm\anti0630.hmm"); here they are joined with the native
// separator. A data directory may be as long as the platform allows paths to
// be, so a station started from a deep folder still runs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kws {

// Longest path in bytes, terminator excluded, that the platform can open.
inline constexpr std::size_t kMaxPathBytes = 4095;

// directory + suffix, with every backslash of the suffix turned into '/'.
std::string join_data_path(std::string_view directory, std::string_view suffix);

// The directory without trailing separators ("/" stays "/").
std::string without_trailing_separator(std::string_view directory);

}  // namespace kws
