// The task vocabularies of a data directory, read back from the files the
// station loads (data/NAME.dat and data/NAME.spl), so the corpora say every
// entry exactly as the station spells it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lexical_data/vocabulary_files.h"

namespace kws::recipes {

// One vocabulary from its two files' contents: the .dat file's "number word"
// pairs and, for each word, one SyllableTable syllable per character from the
// .spl file. nullopt with an error naming the vocabulary for a word that is
// not Big5 hanzi, a syllable that is no table row, or files that do not pair.
std::optional<lexical_data::Vocabulary> parse_bundled_vocabulary(std::string name, std::string_view dat,
                                                                 std::string_view spl, std::string& error);

// Every vocabulary data/NAME.dat (with its NAME.spl) of the data directory,
// in byte order of the names.
std::optional<std::vector<lexical_data::Vocabulary>> read_bundled_vocabularies(const std::filesystem::path& data_folder,
                                                                               std::string& error);

// The vocabulary called name among them, or nullptr.
const lexical_data::Vocabulary* find_vocabulary(const std::vector<lexical_data::Vocabulary>& vocabularies,
                                                std::string_view name);

}  // namespace kws::recipes
