#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

namespace kws::cli {

void JsonWriter::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_members_.empty()) {
    if (has_members_.back()) text_ += ',';
    has_members_.back() = true;
  }
}

JsonWriter& JsonWriter::begin_object() {
  separate();
  text_ += '{';
  has_members_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  text_ += '}';
  has_members_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  separate();
  text_ += '[';
  has_members_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  text_ += ']';
  has_members_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  value(name);
  text_ += ':';
  after_key_ = true;
  return *this;
}

namespace {

// Bytes of the well-formed UTF-8 sequence starting text; 0 when there is none.
std::size_t utf8_sequence_length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;  // allowed range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

// Bytes that are not UTF-8 (a file name on a Big5 or Latin-1 system) become
// U+FFFD, so the output stays valid JSON.
JsonWriter& JsonWriter::value(std::string_view text) {
  separate();
  text_ += '"';
  while (!text.empty()) {
    const std::size_t length = utf8_sequence_length(text);
    if (length == 0) {
      text_ += "\xEF\xBF\xBD";
      text.remove_prefix(1);
      continue;
    }
    const char c = text.front();
    switch (length == 1 ? c : '\0') {
      case '"': text_ += "\\\""; break;
      case '\\': text_ += "\\\\"; break;
      case '\n': text_ += "\\n"; break;
      case '\r': text_ += "\\r"; break;
      case '\t': text_ += "\\t"; break;
      default:
        if (length == 1 && static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          text_ += escaped;
        } else {
          text_.append(text.substr(0, length));
        }
    }
    text.remove_prefix(length);
  }
  text_ += '"';
  return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
  separate();
  text_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::value(double number) {
  if (!std::isfinite(number)) return null();
  separate();
  char formatted[32];
  std::snprintf(formatted, sizeof formatted, "%.9g", number);
  text_ += formatted;
  return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
  separate();
  text_ += flag ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  text_ += "null";
  return *this;
}

}  // namespace kws::cli
