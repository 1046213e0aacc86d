#include "models/anti_model_file.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kws {
namespace {

// The records are copied as bytes; the file is little-endian.
static_assert(std::endian::native == std::endian::little);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

AntiModelLoad load_anti_model_file(const std::string& path, ModelSet& set) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return AntiModelLoad::cannot_open;
  std::int16_t count = 0;
  if (std::fread(&count, sizeof count, 1, file.get()) != 1) count = 0;
  // A directory opens but cannot be read: no file to load, not an empty one.
  if (std::ferror(file.get())) return AntiModelLoad::cannot_open;
  if (count < 0 || count > kMaxAntiModels) {
    set.release();
    set.count = count;
    return AntiModelLoad::count_out_of_range;
  }
  if (!set.allocate(count)) return AntiModelLoad::no_memory;
  std::fread(set.records.get(), kHmmModelBytes, static_cast<std::size_t>(count), file.get());
  return AntiModelLoad::loaded;
}

std::string anti_model_file_bytes(std::span<const HmmModel> models) {
  const auto count = static_cast<std::int16_t>(models.size());
  std::string bytes(sizeof count + models.size_bytes(), '\0');
  std::memcpy(bytes.data(), &count, sizeof count);
  if (!models.empty()) std::memcpy(bytes.data() + sizeof count, models.data(), models.size_bytes());
  return bytes;
}

}  // namespace kws
