// The small files that only start-up reads: the keyword reference table
// ("train_index.txt") and the character reading table ("dict1.bin").
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/loaded_data.h"

namespace kws {

// Reads up to 50 records from the table's text: per record a number that is
// dropped, the keyword count n, then n keyword tokens; line breaks carry no
// meaning. Records the text does not reach keep what they held. Returns an empty string, or why the text was
// refused (a count outside 0..20, a keyword longer than 19 bytes, a count that
// is not a number) naming path and the record.
std::string parse_keyword_references(std::string text, std::string_view path,
                                     std::span<KeywordReferenceRecord, kReferenceRecords> records);

// Copies the table file's bytes over the entries; a short file leaves the rest.
void load_character_readings(std::string_view bytes,
                             std::span<CharacterReadingEntry, kCharacterReadingEntries> entries);

}  // namespace kws
