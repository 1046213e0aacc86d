// Decomposition of a tonal Zhuyin syllable into the names of its two
// sub-syllable models: an initial made dependent on the class of the vowel
// that follows it ("b_a", "sic_i", "j_empt") and a context-independent final
// ("a", "iue", "empt1"). The tone is not modelled.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kws {

// The unit name of one Zhuyin symbol or of a two-symbol compound final, given
// as Big5 bytes ("b", "en", "ia"); nullopt for anything else. Matching is
// exact, so two symbols match only a compound final, never an initial plus a
// final.
std::optional<std::string_view> unit_name_of(std::string_view big5_symbols);

// What a final's class gives the syllable: the suffix of a preceding initial
// model ("_a" ... "_empt", "_ee"), and the initial model of a syllable that
// has no initial ("sic_a" ... "sic_iu"; empty for the classes empt and ee).
struct FinalClass {
  std::string_view initial_suffix;
  std::string_view null_initial_model;
};

// The class of a final unit name ("ai" -> "_a", "sic_a"), or nullopt for a
// name that is no final.
std::optional<FinalClass> final_class_of(std::string_view final_unit);

// Model names of one syllable; a name the rules do not produce is empty.
struct SyllableModels {
  std::string initial_model;
  std::string final_model;
};

// The initial and final model names of a tonal syllable in Big5 (symbols then
// one tone mark). A syllable of fewer than one or more than three symbols, an
// odd byte count, or a symbol outside the name table gives empty names for
// what cannot be named. Names follow the rules even where the inventory has no
// such model ("ㄙㄟ" gives "s_ee", "ㄧㄛ" gives "i_o"); mapping them to models
// is the caller's check.
SyllableModels decompose_syllable(std::string_view big5_syllable);

}  // namespace kws
