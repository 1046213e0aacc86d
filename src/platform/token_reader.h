// Whitespace-separated tokens of a text file, and the number formats the data
// files use.
//
// The station's text files (model list, HMM definitions, keyword reference
// table, vocabularies) are streams of tokens where line breaks carry no
// meaning. Numbers are parsed without the locale, so a decimal comma locale
// set by a GUI toolkit cannot change how a model file reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kws {

class TokenReader {
 public:
  explicit TokenReader(std::string text) : text_(std::move(text)) {}

  // The file's whole content; nullopt when it cannot be opened or read.
  static std::optional<TokenReader> open(const std::string& path);

  // The next token (blank, tab, CR, LF, VT, FF separate tokens); nullopt at the end.
  std::optional<std::string_view> next();

 private:
  std::string text_;
  std::size_t position_ = 0;
};

// A whole token as a decimal integer (optional sign); nullopt otherwise or on overflow.
std::optional<long> parse_integer(std::string_view token);

// A whole token as a single-precision real: decimal with optional sign,
// fraction and exponent, or inf/nan; nullopt otherwise.
std::optional<float> parse_real(std::string_view token);

// Reads a file's bytes; nullopt when it cannot be opened or read.
std::optional<std::string> read_file_bytes(const std::string& path);

}  // namespace kws
