// Carrier phrases: the Chinese text around the vocabulary entries in the
// corpora, written as text (words separated by blanks, "{}" where an entry
// goes, "," for a short pause) and read as the vocabularies are read.
//
// The training corpus uses short phrases of the kind a user says to the
// station; the test corpora use longer sentences that the training corpus
// never says, so a test measures spotting in speech the models have not
// heard around the keywords.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lexical_data/vocabulary_files.h"
#include "recipes/recipe.h"
#include "recipes/text_reader.h"

namespace kws::recipes {

// What a vocabulary is about decides what is said around its entries.
enum class Domain { stations, people, stocks, banks, songs, digits, syllables, general };

Domain domain_of(std::string_view vocabulary_name);

enum class CarrierUse { training, test };

// The templates of one domain and use (UTF-8).
std::span<const std::string_view> carrier_templates(Domain domain, CarrierUse use);

// Test sentences that hold no entry; lead-ins that lengthen a short phrase.
std::span<const std::string_view> sentences_without_entries();
std::span<const std::string_view> lead_ins();

// A template read: the words between the entry slots (slots + 1 pieces).
struct Carrier {
  std::string_view text;  // the template
  std::vector<std::vector<Word>> pieces;
  int slots() const { return static_cast<int>(pieces.size()) - 1; }
};

// The template read; nullopt with an error naming it when a word is not Big5
// hanzi or has no reading.
std::optional<Carrier> read_carrier(std::string_view text, const TextReader& reader, std::string& error);

// Every template read; nullopt with the error of the first that cannot be.
std::optional<std::vector<Carrier>> read_carriers(std::span<const std::string_view> texts, const TextReader& reader,
                                                  std::string& error);

// The words of the carrier with the entries in its slots, in order.
std::vector<Word> fill_carrier(const Carrier& carrier, std::span<const lexical_data::VocabularyEntry> entries);

// The entries of the vocabulary that occur in the Big5 text (at character
// boundaries), each once, in the order of the vocabulary.
std::vector<const lexical_data::VocabularyEntry*> entries_in_text(std::string_view big5,
                                                                  const lexical_data::Vocabulary& vocabulary);

// The carrier with words put before it (a lead-in).
Carrier with_lead_in(const Carrier& carrier, const std::vector<Word>& lead_in);

// Whether the filled carrier says exactly the entries put into it: every
// occurrence of an entry of the vocabulary in its text lies inside one of the
// entries put in, so a reference listing those is complete.
bool says_only(const Carrier& carrier, std::span<const lexical_data::VocabularyEntry> entries,
               const lexical_data::Vocabulary& vocabulary);

}  // namespace kws::recipes
