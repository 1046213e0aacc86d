// "debug.pcm": every buffer the endpoint detector stores during one run of
// live recognition, as headerless 16-bit little-endian mono PCM at 16 kHz,
// in order. Appends from the capture thread and the close from the thread
// that ends the run may meet; once closed, nothing more is written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>

namespace kws {

inline constexpr const char* kRawDumpFileName = "debug.pcm";

class RawDumpFile {
 public:
  RawDumpFile() = default;
  RawDumpFile(const RawDumpFile&) = delete;
  RawDumpFile& operator=(const RawDumpFile&) = delete;
  ~RawDumpFile() { close(); }

  // Creates (or truncates) the file; false when it cannot be created.
  bool open(const std::string& path);
  void append(std::span<const std::int16_t> samples);
  void close();
  bool is_open() const;

 private:
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace kws
