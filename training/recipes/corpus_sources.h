// What the recipes are made from, read once and shared by every part.
#pragma once

#include <vector>

#include "lexical_data/reading_data.h"
#include "lexical_data/vocabulary_files.h"
#include "recipes/real_speech.h"
#include "recipes/text_reader.h"

namespace kws::recipes {

struct CorpusSources {
  const lexical_data::ReadingData& data;
  const TextReader& reader;
  const std::vector<lexical_data::Vocabulary>& vocabularies;  // the bundled ones
  const RealSpeech& real;
};

}  // namespace kws::recipes
