#include "platform/data_path.h"

namespace kws {

std::string join_data_path(std::string_view directory, std::string_view suffix) {
  std::string path(directory);
  path.reserve(directory.size() + suffix.size());
  for (const char c : suffix) path.push_back(c == '\\' ? '/' : c);
  return path;
}

std::string without_trailing_separator(std::string_view directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.remove_suffix(1);
  return std::string(directory);
}

}  // namespace kws
