#include "platform/file_output.h"

#include <fstream>
#include <system_error>

namespace kws {

std::string write_file_whole(const std::filesystem::path& path, std::string_view bytes) {
  std::error_code error;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
  const std::filesystem::path partial = path.string() + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(partial, error);
      return "cannot write " + partial.string();
    }
  }
  std::filesystem::rename(partial, path, error);
  if (error) return "cannot rename " + partial.string() + " to " + path.string() + ": " + error.message();
  return {};
}

}  // namespace kws
