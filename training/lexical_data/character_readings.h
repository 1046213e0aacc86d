// The readings of each character in the order the station should offer them,
// and what follows from that order: the character reading table (dict1.bin),
// how often each tonal syllable is spoken, and the phone table (qorphone.tbl).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lexical_data/reading_data.h"
#include "lexicon/syllable_table.h"

namespace kws::lexical_data {

inline constexpr std::size_t kReadingTableEntries = 14065;
inline constexpr std::size_t kReadingEntryBytes = 8;
inline constexpr int kPhoneTableSyllables = 408;

// One character with its readings, most frequent first.
struct RankedCharacter {
  std::string character;      // Big5
  std::vector<int> readings;  // SyllableTable rows
  std::int64_t frequency = 0;
};

// Characters in Big5 byte order, each with its readings ranked by the summed
// frequencies of the phrases in which it takes them. Ties (a character seen in
// no phrase) fall to the single-character line's frequency, then to readings
// the phrase file lists before those only the character list has, then to the
// lower row. Characters without any reading are left out.
std::vector<RankedCharacter> rank_readings(const ReadingData& data);

struct ReadingTableEntry {
  std::string character;
  int syllable = 0;
};

struct ReadingTable {
  std::vector<ReadingTableEntry> entries;  // characters in Big5 order, readings ranked
  int characters = 0;
  int dropped_readings = 0;  // alternatives left out to fit the capacity
};

// Every character with all its readings, in rank order. When that is more
// than capacity entries, the rarest alternative readings (never a first one)
// are dropped until it fits: rarest by phrase frequency, then readings the
// phrase file does not list, then those of less used characters. nullopt
// (with error) when even the first readings do not fit.
std::optional<ReadingTable> build_reading_table(const ReadingData& data, const std::vector<RankedCharacter>& ranked,
                                                std::size_t capacity, std::string& error);

// The table as dict1.bin: capacity records of a little-endian 32-bit syllable
// number and the NUL-terminated character in four bytes; records beyond the
// entries are zero.
std::string reading_table_bytes(const ReadingTable& table, std::size_t capacity);

// How often each tonal syllable is spoken: every character's frequency shared
// among its readings in proportion to their phrase frequencies, or given whole
// to its first reading when no phrase shows it.
using SyllableUsage = std::array<std::int64_t, kSyllableCount>;
SyllableUsage syllable_usage(const ReadingData& data, const std::vector<RankedCharacter>& ranked);

// The share of one character's use that goes to one of its readings.
std::int64_t reading_usage(const ReadingData& data, const RankedCharacter& character, int syllable);

// Whether the syllable decomposes into an initial and a final model that both
// are models of the inventory.
bool syllable_has_models(int syllable);

struct PhoneTable {
  std::vector<int> syllables;  // in SyllableTable order
  // Base syllables the station can model but left out for being rarest.
  std::vector<int> left_out;
};

// The most used base syllables among those the station can model, each in its
// most used tone: ranked by usage, then those some character reads before
// those none does, then by row.
std::optional<PhoneTable> choose_phone_table(const std::vector<RankedCharacter>& ranked, const SyllableUsage& usage,
                                             std::string& error);

// qorphone.tbl: one line "%d %s" per syllable, the number being the index
// the loader gives the line (0-based).
std::string phone_table_text(const PhoneTable& table);

}  // namespace kws::lexical_data
