// Enrolment prompts: the choice on a made-up phrase list whose outcome is
// known, and kws-recipes enrolment on the chewing reading data, its corpus
// list read back the way kws-train adapt reads it.
#include "recipes/enrolment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "lexical_data/reading_data.h"
#include "lexicon/syllable_table.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "trainer/corpus_list.h"

namespace kws::recipes {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::filesystem::path kChewing = KWS_CHEWING_DIR;
const std::filesystem::path kTraining = KWS_TRAINING_DIR;

// Three phrases for every syllable with models, each saying it twice. The
// texts only have to be distinct and two characters long (four bytes).
std::vector<PromptPhrase> table_phrases() {
  std::vector<PromptPhrase> phrases;
  for (int syllable = 0; syllable < kSyllableCount; ++syllable) {
    if (!has_units(syllable)) continue;
    for (int copy = 0; copy < 3; ++copy) {
      phrases.push_back(PromptPhrase{format_text("%04zu", phrases.size()), {syllable, syllable}});
    }
  }
  return phrases;
}

UnitCounts recount(const EnrolmentPrompts& chosen) {
  UnitCounts counts{};
  for (const std::vector<Word>& prompt : chosen.prompts) count_units(syllables_of(prompt), counts);
  return counts;
}

// The phrases of a prompt as prompts.txt writes it.
std::vector<std::string_view> split_phrases(std::string_view text) {
  constexpr std::string_view kComma = "，";
  std::vector<std::string_view> phrases;
  for (std::size_t comma = text.find(kComma); comma != std::string_view::npos; comma = text.find(kComma)) {
    phrases.push_back(text.substr(0, comma));
    text.remove_prefix(comma + kComma.size());
  }
  phrases.push_back(text);
  return phrases;
}

int least_said(const UnitCounts& counts) {
  int least = 1 << 30;
  for (const int unit : coverage_units()) least = std::min(least, counts[static_cast<std::size_t>(unit)]);
  return least;
}

TEST(EnrolmentChoice, SaysEveryUnitThreeTimesInShortPromptsOfPhrasesUsedOnce) {
  const std::vector<PromptPhrase> phrases = table_phrases();
  for (const std::size_t wanted : {std::size_t{10}, std::size_t{200}}) {
    SCOPED_TRACE(wanted);
    const EnrolmentPrompts chosen = choose_prompts(phrases, wanted, 7);
    const UnitCounts counts = recount(chosen);
    EXPECT_EQ(counts, chosen.unit_counts);
    EXPECT_EQ(prompts_text(choose_prompts(phrases, wanted, 7).prompts), prompts_text(chosen.prompts));
    EXPECT_GE(least_said(counts), kEnrolmentCoverage);
    EXPECT_TRUE(chosen.uncovered_units.empty());
    std::set<std::string> texts;
    for (const std::vector<Word>& prompt : chosen.prompts) {
      const std::size_t characters = big5_text(prompt).size() / 2;
      EXPECT_GE(characters, kShortestPrompt);
      EXPECT_LE(characters, kLongestPrompt);
      for (const Word& word : prompt) EXPECT_TRUE(texts.insert(word.big5).second) << "used twice: " << word.big5;
    }
    if (wanted == 10) {
      // 450 occurrences cannot fit in ten prompts: more are made, and said so.
      EXPECT_GT(chosen.prompts.size(), wanted);
      EXPECT_TRUE(chosen.beyond_wanted);
      EXPECT_THAT(enrolment_report_text(chosen, wanted), HasSubstr("instead of 10"));
    } else {
      // Past coverage the rarest units are said again, up to what was asked.
      EXPECT_EQ(chosen.prompts.size(), wanted);
      EXPECT_FALSE(chosen.beyond_wanted);
      EXPECT_GT(least_said(counts), kEnrolmentCoverage);
    }
  }
}

TEST(EnrolmentChoice, ReportsAUnitNoPhraseSaysAndStillCoversTheRest) {
  const int yong = lexical_data::syllable_row_of_utf8_token("ㄩㄥˇ");
  ASSERT_GE(yong, 0);
  const int missing = units_of(yong).final;
  std::vector<PromptPhrase> phrases;
  for (PromptPhrase& phrase : table_phrases()) {
    if (units_of(phrase.syllables.front()).final != missing) phrases.push_back(std::move(phrase));
  }
  const EnrolmentPrompts chosen = choose_prompts(phrases, 60, 7);
  EXPECT_THAT(chosen.uncovered_units, ElementsAre(missing));
  for (const int unit : coverage_units()) {
    if (unit == missing) continue;
    EXPECT_GE(chosen.unit_counts[static_cast<std::size_t>(unit)], kEnrolmentCoverage) << inventory_name(unit);
  }
  EXPECT_THAT(enrolment_report_text(chosen, 60),
              HasSubstr("warning: the prompts say the unit " + std::string(inventory_name(missing)) + " only 0 times"));
}

class EnrolmentFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kChewing / "tsi.big5.src")) {
      GTEST_SKIP() << "the chewing reading data is not at " << kChewing << "; nothing to make prompts from";
    }
  }

  static EnrolmentOptions options(const std::string& name, std::uint64_t seed) {
    EnrolmentOptions options;
    options.chewing_folder = kChewing;
    options.overrides_file = kTraining / "reading_overrides.txt";
    options.output_folder = std::filesystem::current_path() / "scratch" / "EnrolmentFiles" / name;
    options.seed = seed;
    return options;
  }

  static std::string bytes(const EnrolmentOptions& options, const char* file) {
    return read_file_bytes((options.output_folder / file).string()).value_or("(missing)");
  }
};

TEST_F(EnrolmentFiles, AdaptationReadsEveryPromptAndEveryUnitIsSaidThreeTimes) {
  const EnrolmentOptions first = options("first", kDefaultSeed);
  std::string error;
  const std::optional<EnrolmentPrompts> chosen = write_enrolment(first, error);
  ASSERT_TRUE(chosen.has_value()) << error;
  EXPECT_TRUE(chosen->uncovered_units.empty());
  EXPECT_FALSE(chosen->beyond_wanted);

  const std::optional<std::vector<trainer::ListedUtterance>> listed =
      trainer::read_corpus_list((first.output_folder / "enrolment.txt").string(), error);
  ASSERT_TRUE(listed.has_value()) << error;
  ASSERT_EQ(listed->size(), kDefaultEnrolmentPrompts);
  UnitCounts counts{};
  for (const trainer::ListedUtterance& utterance : *listed) count_units(utterance.syllables, counts);
  EXPECT_GE(least_said(counts), kEnrolmentCoverage);

  // prompts.txt says what the list says, line by line, in traditional
  // characters, one syllable each, no phrase in two prompts.
  const std::string prompts = bytes(first, "prompts.txt");
  std::set<std::string> phrases;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < listed->size(); ++i) {
    SCOPED_TRACE(i + 1);
    const std::size_t line_end = prompts.find('\n', line_start);
    ASSERT_NE(line_end, std::string::npos);
    const std::string line = prompts.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    const std::string number = format_text("%02zu", i + 1);
    EXPECT_EQ((*listed)[i].audio_path, (first.output_folder / "rec" / (number + ".wav")).string());
    const std::size_t text_end = line.find("  ", number.size() + 2);
    ASSERT_TRUE(line.starts_with(number + "  ") && text_end != std::string::npos) << line;
    EXPECT_EQ(line.substr(text_end + 2), syllable_list_text((*listed)[i].syllables));
    const std::string text = line.substr(number.size() + 2, text_end - number.size() - 2);
    std::size_t characters = 0;
    for (const std::string_view phrase : split_phrases(text)) {
      EXPECT_TRUE(phrases.emplace(phrase).second) << "used twice: " << phrase;
      const std::optional<std::string> big5 = utf8_to_big5(phrase);
      ASSERT_TRUE(big5.has_value()) << line;
      characters += big5->size() / 2;
    }
    EXPECT_EQ(characters, (*listed)[i].syllables.size()) << line;
    EXPECT_GE(characters, kShortestPrompt);
    EXPECT_LE(characters, kLongestPrompt);
  }
  EXPECT_EQ(line_start, prompts.size());

  const EnrolmentOptions again = options("again", kDefaultSeed);
  ASSERT_TRUE(write_enrolment(again, error).has_value()) << error;
  EXPECT_EQ(bytes(again, "prompts.txt"), prompts);
  EXPECT_EQ(bytes(again, "enrolment.txt"), bytes(first, "enrolment.txt"));
  const EnrolmentOptions other = options("other", kDefaultSeed + 1);
  ASSERT_TRUE(write_enrolment(other, error).has_value()) << error;
  EXPECT_NE(bytes(other, "prompts.txt"), prompts);
}

}  // namespace
}  // namespace kws::recipes
