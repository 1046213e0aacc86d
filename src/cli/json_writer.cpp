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

JsonWriter& JsonWriter::value(std::string_view text) {
  separate();
  text_ += '"';
  for (const char c : text) {
    switch (c) {
      case '"': text_ += "\\\""; break;
      case '\\': text_ += "\\\\"; break;
      case '\n': text_ += "\\n"; break;
      case '\r': text_ += "\\r"; break;
      case '\t': text_ += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          text_ += escaped;
        } else {
          text_ += c;
        }
    }
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
