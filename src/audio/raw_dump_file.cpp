#include "audio/raw_dump_file.h"

#include <vector>

namespace kws {

bool RawDumpFile::open(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void RawDumpFile::append(std::span<const std::int16_t> samples) {
  // Little-endian whatever the machine.
  std::vector<unsigned char> bytes(2 * samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto value = static_cast<std::uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<unsigned char>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>(value >> 8);
  }
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

void RawDumpFile::close() {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
}

bool RawDumpFile::is_open() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

}  // namespace kws
