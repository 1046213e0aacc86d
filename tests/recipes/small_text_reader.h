// A text reader over a reading table of a few lines, for the tests of what
// reads running text.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "lexical_data/character_readings.h"
#include "lexical_data/name_readings.h"
#include "lexical_data/reading_data.h"
#include "recipes/text_reader.h"
#include "support/big5_text.h"

namespace kws::recipes::testing {

class SmallTextReader {
 public:
  // characters: lines of the character list ("字,0,ㄗˋ"); phrases: lines of
  // the phrase file, in UTF-8.
  SmallTextReader(std::string_view characters, std::string_view phrases,
                  lexical_data::ReadingOverrides overrides = {})
      : data_(table(characters, phrases)),
        ranked_(lexical_data::rank_readings(data_)),
        overrides_(std::move(overrides)),
        names_(data_, ranked_, overrides_),
        reader_(data_, names_) {}
  SmallTextReader(const SmallTextReader&) = delete;
  SmallTextReader& operator=(const SmallTextReader&) = delete;

  const TextReader& operator*() const { return reader_; }
  const TextReader* operator->() const { return &reader_; }

 private:
  static lexical_data::ReadingData table(std::string_view characters, std::string_view phrases) {
    lexical_data::ReadingData data;
    lexical_data::add_character_list(characters, data);
    lexical_data::add_phrase_file(kws::testing::big5(phrases), data);
    return data;
  }

  // The readers keep references to what comes before them.
  lexical_data::ReadingData data_;
  std::vector<lexical_data::RankedCharacter> ranked_;
  lexical_data::ReadingOverrides overrides_;
  lexical_data::NameReader names_;
  TextReader reader_;
};

}  // namespace kws::recipes::testing
