// Start-up: the data directory's files into the loaded data.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/loaded_data.h"
#include "platform/refusal.h"

namespace kws {

// Why directory cannot be the data directory (too long to form paths under
// it on this platform), or an empty string.
std::string data_directory_refusal(std::string_view directory);

// Records directory as the data directory, without a trailing separator.
// Refuses, with data_directory_refusal's reason and nothing recorded, a
// directory that cannot be one.
std::string set_data_directory(LoadedData& data, std::string_view directory);

// Loads the anti-models, the keyword reference table, the model list with one
// definition per model and the character reading table, and builds the front
// end's analysis tables. Returns the refusal of the first file that failed,
// with the station's text for it; the station ends after it.
std::optional<Refusal> engine_start_up(LoadedData& data);

}  // namespace kws
