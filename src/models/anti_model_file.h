// The anti-model file: a signed 16-bit little-endian count K, then K model
// records in their exact in-memory layout, loaded with one read and no parsing.
#pragma once

#include <string>

#include "models/model_set.h"

namespace kws {

// Capacity of the anti-model set (the anti-model dimension of the score table).
inline constexpr int kMaxAntiModels = 60;

enum class AntiModelLoad { loaded, cannot_open, count_out_of_range, no_memory };

// Reads the file into set. Records are taken as stored; a file shorter than
// its count announces leaves the missing records zero. On count_out_of_range
// set.count holds the count found and no records.
AntiModelLoad load_anti_model_file(const std::string& path, ModelSet& set);

// The file's bytes for the given records.
std::string anti_model_file_bytes(std::span<const HmmModel> models);

}  // namespace kws
