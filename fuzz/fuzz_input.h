// What the fuzz targets share: the input as a file (for readers that take a
// path), and the input split in two (for readers of a pair of files).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>

#include "platform/message_sink.h"

namespace kws::fuzz {

inline std::string_view text_of(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A folder of this process's own under the temporary folder.
inline std::filesystem::path scratch() {
  static const std::filesystem::path folder = [] {
    const auto made = std::filesystem::temp_directory_path() / ("kws-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(made);
    return made;
  }();
  return folder;
}

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Before the first NUL, and after it (empty when there is none).
inline std::pair<std::string_view, std::string_view> split_at_nul(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  if (nul == std::string_view::npos) return {bytes, {}};
  return {bytes.substr(0, nul), bytes.substr(nul + 1)};
}

// Installs, once, a sink that drops the engine's messages: refusals of
// malformed input are the expected outcome, not output worth reading.
inline void silence_messages() {
  class QuietSink final : public MessageSink {
   public:
    void message_box(std::string_view) override {}
    void console(std::string_view) override {}
    void wait_for_key() override {}
  };
  static QuietSink sink;
  install_message_sink(&sink);
}

}  // namespace kws::fuzz
