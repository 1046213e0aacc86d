#include "platform/text_encoding.h"

#include <iconv.h>

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

}  // namespace kws
