// Writing generated files so that an interrupted run never leaves one half
// written under its real name.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kws {

// Writes bytes to path + ".partial" (creating missing folders), then renames
// it into place. Returns an empty string, or what could not be done.
std::string write_file_whole(const std::filesystem::path& path, std::string_view bytes);

}  // namespace kws
