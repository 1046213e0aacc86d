#include "platform/token_reader.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <system_error>

namespace kws {
namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

template <typename Number, typename... Format>
std::optional<Number> parse_whole(std::string_view token, Format... format) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (token.empty() || token.front() == '+') return std::nullopt;
  Number value{};
  const char* end = token.data() + token.size();
  const auto [stop, error] = std::from_chars(token.data(), end, value, format...);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> read_file_bytes(const std::string& path) {
  // A directory opens like a file and fails only on reading: its read error
  // must not pass for an empty file.
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[1 << 16];
  while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, file.get())) bytes.append(buffer, read);
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

std::optional<TokenReader> TokenReader::open(const std::string& path) {
  std::optional<std::string> text = read_file_bytes(path);
  if (!text) return std::nullopt;
  return TokenReader(std::move(*text));
}

std::optional<std::string_view> TokenReader::next() {
  while (position_ < text_.size() && is_separator(text_[position_])) ++position_;
  if (position_ == text_.size()) return std::nullopt;
  const std::size_t start = position_;
  while (position_ < text_.size() && !is_separator(text_[position_])) ++position_;
  return std::string_view(text_).substr(start, position_ - start);
}

std::optional<long> parse_integer(std::string_view token) { return parse_whole<long>(token, 10); }

std::optional<float> parse_real(std::string_view token) {
  if (std::optional<float> value = parse_whole<float>(token, std::chars_format::general)) return value;
  // Beyond single precision's range the formatted reader gives 0 or infinity
  // rather than failing; a tiny weight or a huge GConst still loads.
  if (std::optional<double> wide = parse_whole<double>(token, std::chars_format::general)) {
    return static_cast<float>(*wide);
  }
  return std::nullopt;
}

}  // namespace kws
