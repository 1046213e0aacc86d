#include "lexicon/syllable_decomposition.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>

#include "lexicon/zhuyin.h"

namespace kws {
namespace {

struct UnitName {
  std::u32string_view symbols;
  std::string_view name;
};

// ㄢ is "en" and ㄣ is "an": the model files are named in this pairing.
constexpr UnitName kUnitNames[] = {
    // 21 initials
    {U"ㄅ", "b"}, {U"ㄆ", "p"}, {U"ㄇ", "m"}, {U"ㄈ", "f"}, {U"ㄍ", "g"}, {U"ㄎ", "k"},
    {U"ㄏ", "h"}, {U"ㄉ", "d"}, {U"ㄊ", "t"}, {U"ㄋ", "n"}, {U"ㄌ", "l"}, {U"ㄗ", "tz"},
    {U"ㄘ", "ts"}, {U"ㄙ", "s"}, {U"ㄐ", "ji"}, {U"ㄑ", "chi"}, {U"ㄒ", "shi"}, {U"ㄓ", "j"},
    {U"ㄔ", "ch"}, {U"ㄕ", "sh"}, {U"ㄖ", "r"},
    // 36 finals; ㄝ alone and ㄧㄛ have no unit
    {U"ㄚ", "a"}, {U"ㄛ", "o"}, {U"ㄜ", "e"}, {U"ㄞ", "ai"}, {U"ㄟ", "ei"}, {U"ㄠ", "au"},
    {U"ㄡ", "ou"}, {U"ㄢ", "en"}, {U"ㄣ", "an"}, {U"ㄤ", "ang"}, {U"ㄥ", "eng"}, {U"ㄦ", "er"},
    {U"ㄧ", "i"}, {U"ㄧㄚ", "ia"}, {U"ㄧㄝ", "ie"}, {U"ㄧㄞ", "iai"}, {U"ㄧㄠ", "iau"},
    {U"ㄧㄡ", "iou"}, {U"ㄧㄢ", "ian"}, {U"ㄧㄣ", "in"}, {U"ㄧㄤ", "iang"}, {U"ㄧㄥ", "ing"},
    {U"ㄨ", "u"}, {U"ㄨㄚ", "ua"}, {U"ㄨㄛ", "uo"}, {U"ㄨㄞ", "uai"}, {U"ㄨㄟ", "uei"},
    {U"ㄨㄢ", "uan"}, {U"ㄨㄣ", "uen"}, {U"ㄨㄤ", "uang"}, {U"ㄨㄥ", "ueng"},
    {U"ㄩ", "iu"}, {U"ㄩㄝ", "iue"}, {U"ㄩㄢ", "iuan"}, {U"ㄩㄣ", "iun"}, {U"ㄩㄥ", "iung"},
};
static_assert(std::size(kUnitNames) == 21 + 36);

// A unit's symbols as Big5: one or two characters, zero-padded.
using UnitField = std::array<char, 2 * kBig5CharBytes>;

constexpr std::array<UnitField, std::size(kUnitNames)> make_unit_fields() {
  std::array<UnitField, std::size(kUnitNames)> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    fields[i] = *zhuyin_big5_field<UnitField{}.size()>(kUnitNames[i].symbols);
  }
  return fields;
}

constexpr auto kUnitFields = make_unit_fields();

struct ClassMembers {
  FinalClass final_class;
  std::array<std::string_view, 10> finals;
};

constexpr ClassMembers kFinalClasses[] = {
    {{"_a", "sic_a"}, {"a", "ai", "au", "en", "ang"}},
    {{"_o", "sic_o"}, {"o", "ou"}},
    {{"_e", "sic_e"}, {"e", "an", "eng", "er"}},
    {{"_i", "sic_i"}, {"i", "ia", "ie", "iai", "iau", "ian", "in", "ing", "iang", "iou"}},
    {{"_u", "sic_u"}, {"u", "ua", "uo", "uai", "uei", "uan", "uen", "uang", "ueng"}},
    {{"_iu", "sic_iu"}, {"iu", "iue", "iuan", "iun", "iung"}},
    {{"_empt", ""}, {"empt1", "empt2"}},
    {{"_ee", ""}, {"ei"}},
};

constexpr std::string_view kRetroflexAloneFinal = "empt1";
constexpr std::string_view kDentalAloneFinal = "empt2";

bool is_one_of(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool is_null_initial_model(std::string_view name) {
  return std::any_of(std::begin(kFinalClasses), std::end(kFinalClasses),
                     [name](const ClassMembers& members) {
                       return members.final_class.null_initial_model == name;
                     });
}

// The initial takes the suffix of the final's class, unless it is already a
// null-initial model; a final in no class (or no initial) leaves it as it is.
SyllableModels with_suffix(std::string_view initial, std::string_view final_unit) {
  SyllableModels models{std::string(initial), std::string(final_unit)};
  if (initial.empty() || is_null_initial_model(initial)) return models;
  if (const auto final_class = final_class_of(final_unit)) {
    models.initial_model += final_class->initial_suffix;
  }
  return models;
}

// A syllable that is one unit: a retroflex or dental initial said alone takes
// an empty final; a final takes its class's null initial; anything else ("ei"
// alone, another initial alone) has no models.
SyllableModels whole_syllable_models(std::optional<std::string_view> unit) {
  if (!unit) return {};
  if (is_one_of(*unit, {"j", "ch", "sh", "r"})) return with_suffix(*unit, kRetroflexAloneFinal);
  if (is_one_of(*unit, {"tz", "ts", "s"})) return with_suffix(*unit, kDentalAloneFinal);
  const auto final_class = final_class_of(*unit);
  if (!final_class || final_class->null_initial_model.empty()) return {};
  return with_suffix(final_class->null_initial_model, *unit);
}

}  // namespace

std::optional<std::string_view> unit_name_of(std::string_view big5_symbols) {
  for (std::size_t i = 0; i < kUnitFields.size(); ++i) {
    if (big5_field_text(kUnitFields[i]) == big5_symbols) return kUnitNames[i].name;
  }
  return std::nullopt;
}

std::optional<FinalClass> final_class_of(std::string_view final_unit) {
  if (final_unit.empty()) return std::nullopt;  // the member lists are padded with empty names
  for (const ClassMembers& members : kFinalClasses) {
    if (std::find(members.finals.begin(), members.finals.end(), final_unit) !=
        members.finals.end()) {
      return members.final_class;
    }
  }
  return std::nullopt;
}

SyllableModels decompose_syllable(std::string_view big5_syllable) {
  if (big5_syllable.size() % kBig5CharBytes != 0) return {};
  // The last character is the tone mark, which is not modelled.
  const int symbol_count = static_cast<int>(big5_syllable.size() / kBig5CharBytes) - 1;
  const auto symbols = [big5_syllable](int first, int count) {
    return big5_syllable.substr(static_cast<std::size_t>(first) * kBig5CharBytes,
                                static_cast<std::size_t>(count) * kBig5CharBytes);
  };
  const auto unit_or_empty = [](std::string_view big5_symbols) {
    return unit_name_of(big5_symbols).value_or(std::string_view{});
  };

  switch (symbol_count) {
    case 1:
      return whole_syllable_models(unit_name_of(symbols(0, 1)));
    case 2:
      if (const auto compound = unit_name_of(symbols(0, 2))) return whole_syllable_models(compound);
      return with_suffix(unit_or_empty(symbols(0, 1)), unit_or_empty(symbols(1, 1)));
    case 3:
      return with_suffix(unit_or_empty(symbols(0, 1)), unit_or_empty(symbols(1, 2)));
    default:
      return {};
  }
}

}  // namespace kws
