// Test strings are written in UTF-8 for readability and compared as Big5.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/text_encoding.h"

namespace kws::testing {

inline std::string big5(std::string_view utf8) {
  const auto converted = utf8_to_big5(utf8);
  if (!converted) ADD_FAILURE() << "not convertible to Big5: " << utf8;
  return converted.value_or(std::string{});
}

}  // namespace kws::testing
