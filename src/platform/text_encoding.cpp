#include "platform/text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace kws {
namespace {

constexpr const char* kBig5 = "CP950";
constexpr const char* kUtf8 = "UTF-8";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// One iconv descriptor for one conversion call; closed on every path.
class Converter {
 public:
  Converter(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(descriptor_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return descriptor_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of input; on an unconvertible sequence calls on_error(), which
  // returns how many input bytes to skip (0 to give up).
  template <typename OnError>
  bool convert(std::string_view input, std::string& output, OnError on_error) {
    char* in = const_cast<char*>(input.data());
    std::size_t in_left = input.size();
    char buffer[256];
    while (in_left > 0) {
      char* out = buffer;
      std::size_t out_left = sizeof buffer;
      const std::size_t result = iconv(descriptor_, &in, &in_left, &out, &out_left);
      output.append(buffer, static_cast<std::size_t>(out - buffer));
      if (result != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      const std::size_t skip = on_error(output, in_left);
      if (skip == 0) return false;
      in += skip;
      in_left -= skip;
    }
    char* out = buffer;
    std::size_t out_left = sizeof buffer;
    iconv(descriptor_, nullptr, nullptr, &out, &out_left);
    output.append(buffer, static_cast<std::size_t>(out - buffer));
    return true;
  }

 private:
  iconv_t descriptor_;
};

}  // namespace

std::string big5_to_utf8(std::string_view big5) {
  std::string utf8;
  Converter converter(kUtf8, kBig5);
  if (!converter.valid()) return std::string(big5);
  converter.convert(big5, utf8, [](std::string& output, std::size_t in_left) -> std::size_t {
    output.append(kReplacementCharacter);
    return in_left >= 2 ? 1 : in_left;
  });
  return utf8;
}

std::optional<std::string> utf8_to_big5(std::string_view utf8) {
  std::string big5;
  Converter converter(kBig5, kUtf8);
  if (!converter.valid()) return std::nullopt;
  const bool converted =
      converter.convert(utf8, big5, [](std::string&, std::size_t) -> std::size_t { return 0; });
  if (!converted) return std::nullopt;
  return big5;
}

namespace {

bool is_wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

int display_columns(std::string_view utf8) {
  int columns = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    columns += is_wide(c) ? 2 : 1;
    i += length;
  }
  return columns;
}

std::string pad_to_columns(std::string_view utf8, int columns) {
  std::string padded(utf8);
  padded.append(static_cast<std::size_t>(std::max(0, columns - display_columns(utf8))), ' ');
  return padded;
}

std::string_view without_line_end(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace kws
