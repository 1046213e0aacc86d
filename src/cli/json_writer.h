// A small streaming JSON writer: values are escaped as they are written, so
// no output is ever assembled by pasting strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kws::cli {

class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  // The key of the next value inside an object.
  JsonWriter& key(std::string_view name);

  JsonWriter& value(std::string_view text);  // UTF-8; escaped
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(std::int64_t number);
  JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
  JsonWriter& value(double number);  // non-finite numbers become null
  JsonWriter& value(bool flag);
  JsonWriter& null();

  // The text written so far.
  const std::string& text() const { return text_; }

 private:
  void separate();

  std::string text_;
  std::vector<bool> has_members_;  // per open container: whether a member was written
  bool after_key_ = false;
};

}  // namespace kws::cli
