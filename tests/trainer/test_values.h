// Small values the trainer tests build their cases from.
#pragma once

#include "frontend/feature_extraction.h"
#include "lexicon/syllable_table.h"
#include "platform/text_encoding.h"

namespace kws::trainer::testing {

inline FeatureVector constant_vector(float value) {
  FeatureVector v;
  v.fill(value);
  return v;
}

// The SyllableTable row of a UTF-8 Zhuyin syllable.
inline int row_of(const char* utf8) { return syllable_number_of(*utf8_to_big5(utf8)); }

}  // namespace kws::trainer::testing
