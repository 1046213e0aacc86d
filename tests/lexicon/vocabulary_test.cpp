#include "lexicon/vocabulary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/engine.h"
#include "engine/engine_start_up.h"
#include "models/model_inventory.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "support/test_vocabulary.h"

namespace kws {
namespace {

using testing::big5;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Pair;

// 北 is a tone variant of the last syllable of 台北 and 竹北; 竹 ends 新竹 and starts 竹北.
constexpr char kWords[] = "1 台北\n2 北\n3 新竹\n4 竹北\n";
constexpr char kSyllables[] = "ㄊㄞˊ ㄅㄟˇ\nㄅㄟˋ\nㄒㄧㄣˍ ㄓㄨˊ\nㄓㄨˊ ㄅㄟˇ\n";

std::string repeated(std::string_view text, int times) {
  std::string result;
  while (times-- > 0) result += text;
  return result;
}

// (key, end flag) of each child, in sibling order.
std::vector<std::pair<int, int>> children(const LexiconTreeNode* node) {
  std::vector<std::pair<int, int>> keys;
  for (const LexiconTreeNode* child = node->first_child; child != nullptr; child = child->next_sibling) {
    keys.emplace_back(child->key, child->end_flag);
    EXPECT_EQ(child->parent, node);
  }
  return keys;
}

class VocabularyLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = testing::scratch_directory();
    ASSERT_EQ(set_data_directory(*engine_, directory_.string()), "");
    testing::set_uniform_models(*engine_, 2);
    // 408 lines; the last equal line should win for ㄅㄟˇ.
    std::string table;
    for (int k = 0; k < kPhoneTableEntries; ++k) {
      table += std::to_string(k) + (k == 3 ? " 靜音\n" : k == 5 || k == 9 ? " ㄅㄟˇ\n" : " -\n");
    }
    testing::write_file(directory_ / "qorphone.tbl", big5(table));
  }

  // UTF-8 texts, written as Big5. True when loaded; a refusal is kept.
  bool load(const std::string& name, std::string_view words, std::string_view syllables) {
    testing::write_file(directory_ / "data" / (name + ".dat"), big5(words));
    testing::write_file(directory_ / "data" / (name + ".spl"), big5(syllables));
    return load_named(name);
  }
  bool load_named(const std::string& name) {
    refusal_ = load_vocabulary(engine_->data_directory, engine_->main_models, name, *vocabulary_);
    return !refusal_;
  }
  const Vocabulary& vocabulary() const { return *vocabulary_; }
  const LevelNode& node(int level, int index) const { return vocabulary().levels[level].nodes.at(index); }
  int count(int level) const { return vocabulary().levels[level].count; }
  void expect_no_counted_nodes() const {
    for (int level = 0; level < kLexiconLevels; ++level) EXPECT_EQ(count(level), 0);
    for (int level = 1; level < kLexiconLevels; ++level) EXPECT_TRUE(vocabulary().levels[level].nodes.empty());
  }

  testing::CapturingSink sink_;
  std::filesystem::path directory_;
  std::unique_ptr<LoadedData> engine_ = std::make_unique<LoadedData>();
  std::unique_ptr<Vocabulary> vocabulary_ = std::make_unique<Vocabulary>();
  std::optional<Refusal> refusal_;
};

TEST_F(VocabularyLoading, SharesNodesOfEqualModelPairsInLevelsAndTree) {
  ASSERT_TRUE(load("火車系統", kWords, kSyllables));
  EXPECT_TRUE(sink_.boxes.empty());
  EXPECT_EQ(vocabulary().loaded_entry_count, 4);
  EXPECT_THAT(vocabulary().names, ElementsAre(big5("台北"), big5("北"), big5("新竹"), big5("竹北")));
  // Level 0: ㄅㄟ (either tone), ㄓㄨ; level 1: ㄊㄞ, ㄒㄧㄣ, ㄓㄨ.
  EXPECT_THAT(vocabulary().phone_seqs, ElementsAre("0 0 ", "0 ", "1 1 ", "2 0 "));
  EXPECT_EQ(count(0), 2);
  EXPECT_EQ(count(1), 3);
  EXPECT_STREQ(node(0, 0).initial_model_name, "b_ee");
  EXPECT_EQ(node(0, 0).syllable_text, big5("ㄅㄟˇ"));  // from the entry that made it
  EXPECT_EQ(node(0, 0).initial_model_slot, slot_in_order("b_ee"));
  EXPECT_EQ(node(0, 0).final_model_slot, slot_in_order("ei"));
  EXPECT_EQ(node(0, 0).word_initial, 1);  // 北 alone begins with it
  EXPECT_EQ(node(0, 1).word_initial, 0);
  EXPECT_EQ(node(1, 0).word_initial & node(1, 1).word_initial & node(1, 2).word_initial, 1);

  // Root children in order of first use; 北 ends on the node that leads on to 台北 and 竹北.
  const LexiconTreeNode* root = vocabulary().tree.root();
  ASSERT_THAT(children(root), ElementsAre(Pair(0, 1), Pair(1, 0)));
  EXPECT_THAT(children(root->first_child), ElementsAre(Pair(0, 1), Pair(2, 1)));
  EXPECT_THAT(children(root->first_child->next_sibling), ElementsAre(Pair(1, 1)));
  EXPECT_EQ(vocabulary().tree.node_count(), 6u);

  EXPECT_EQ(word_list_line(vocabulary(), 3), "    4 " + big5("竹北"));
}

TEST_F(VocabularyLoading, AppendsSilenceAndFillerAndFindsPhoneTableIndices) {
  ASSERT_TRUE(load("v", kWords, kSyllables));
  ASSERT_EQ(vocabulary().levels[0].nodes.size(), 4u);
  const LevelNode& silence = node(0, 2);
  const LevelNode& filler = node(0, 3);
  EXPECT_STREQ(silence.final_model_name, "sil");
  EXPECT_STREQ(filler.initial_model_name, "Fil");
  EXPECT_EQ(silence.initial_model_number, 0);
  EXPECT_EQ(filler.final_model_number, model_index_of("fil_fin"));
  EXPECT_THAT((std::vector<int>{silence.initial_model_slot, silence.final_model_slot, filler.initial_model_slot,
                                filler.final_model_slot}),
              ElementsAre(kSilenceSlot, kSilenceSlot, kFillerInitialSlot, kFillerFinalSlot));
  EXPECT_EQ(silence.word_initial | filler.word_initial, 0);
  EXPECT_EQ(std::string(silence.label), big5("靜音"));
  EXPECT_EQ(std::string(filler.syllable_text), big5("填充"));
  EXPECT_THAT((std::vector<int>{node(0, 0).phone_table_index, node(0, 1).phone_table_index,
                                silence.phone_table_index, filler.phone_table_index}),
              ElementsAre(9, -1, 3, -1));
}

TEST_F(VocabularyLoading, LineBreaksOfTheSyllableFileCarryNoMeaning) {
  std::string one_per_line = kSyllables, one_line = kSyllables;
  std::replace(one_per_line.begin(), one_per_line.end(), ' ', '\n');
  std::replace(one_line.begin(), one_line.end(), '\n', ' ');
  for (const std::string& syllables : {one_per_line, one_line + "\r\n"}) {
    ASSERT_TRUE(load("v", kWords, syllables));
    EXPECT_THAT(vocabulary().phone_seqs, ElementsAre("0 0 ", "0 ", "1 1 ", "2 0 "));
    EXPECT_EQ(node(1, 1).syllable_text, big5("ㄒㄧㄣˍ"));
  }
}

TEST_F(VocabularyLoading, EntryLimitsAndLengthWarnings) {
  ASSERT_TRUE(load("v", repeated("7 北\n", 4001), repeated("ㄅㄟˋ ", 4001)));
  EXPECT_EQ(vocabulary().entry_count, 4000);

  // A one-byte word is an entry of no syllables; 11 syllables are loaded after the warning.
  ASSERT_TRUE(load("v", "1 x\n2 " + repeated("一", 11) + "\n3 北\n", repeated("ㄧˍ ", 11) + "ㄅㄟˋ"));
  EXPECT_THAT(sink_.boxes, ElementsAre("index=0  length=0", "index=1  length=11"));
  EXPECT_THAT(vocabulary().phone_seqs, ElementsAre("", repeated("0 ", 11), "1 "));

  // 21 syllables do not fit the levels: skipped, with its syllables consumed.
  sink_.boxes.clear();
  ASSERT_TRUE(load("v", "1 " + repeated("一", 21) + "\n2 北\n", repeated("ㄧˍ ", 21) + "ㄅㄟˋ"));
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_THAT(sink_.boxes[0], HasSubstr("index 0"));
  EXPECT_THAT(sink_.boxes[0], HasSubstr("21 syllables"));
  EXPECT_THAT(vocabulary().names, ElementsAre(big5("北")));
  EXPECT_EQ(node(0, 0).syllable_text, big5("ㄅㄟˋ"));
  EXPECT_EQ(count(1), 0);
}

TEST_F(VocabularyLoading, OddWordOrShortSyllableFileStopsLoadingButKeepsWhatLoaded) {
  const std::pair<const char*, const char*> cases[] = {{"1 北\n2 abc\n3 台北\n", "ㄅㄟˋ ㄚˍ ㄊㄞˊ ㄅㄟˇ"},
                                                       {"1 北\n2 台北\n", "ㄅㄟˋ ㄊㄞˊ"}};
  for (const auto& [words, syllables] : cases) {
    sink_.boxes.clear();
    ASSERT_TRUE(load("v", words, syllables));
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_THAT(sink_.boxes[0], HasSubstr("index 1"));
    EXPECT_THAT(vocabulary().names, ElementsAre(big5("北")));
    EXPECT_EQ(vocabulary().loaded_entry_count, 1);
    EXPECT_STREQ(node(0, 1).initial_model_name, "sil");  // loading finished normally
  }
}

TEST_F(VocabularyLoading, RefusesAVocabularyBeyondTheSearchCapacity) {
  // Fifteen-syllable words with distinct first syllables: one level-14 node
  // each, where the search holds 20.
  const char* first[] = {"ㄅㄚ", "ㄆㄚ", "ㄇㄚ", "ㄈㄚ", "ㄉㄚ", "ㄊㄚ", "ㄋㄚ", "ㄌㄚ", "ㄍㄚ", "ㄎㄚ", "ㄏㄚ",
                         "ㄓㄚ", "ㄔㄚ", "ㄕㄚ", "ㄗㄚ", "ㄘㄚ", "ㄙㄚ", "ㄚ", "ㄅㄧ", "ㄆㄧ", "ㄇㄧ"};
  std::string words, syllables;
  for (const char* syllable : first) {
    words += "1 " + repeated("一", 15) + "\n";
    syllables += std::string(syllable) + "ˍ " + repeated("ㄧˍ ", 14);
  }
  ASSERT_TRUE(load("長", repeated("1 " + repeated("一", 15) + "\n", 20), syllables));
  EXPECT_EQ(count(14), 20);

  EXPECT_FALSE(load("長", words, syllables));
  ASSERT_TRUE(refusal_);
  EXPECT_EQ(refusal_->shown, Refusal::Shown::message_box);
  EXPECT_FALSE(refusal_->ends_station);  // the station goes on without a vocabulary
  EXPECT_THAT(refusal_->text, HasSubstr("長"));
  EXPECT_THAT(refusal_->text, HasSubstr("level 14 holds 21"));
  EXPECT_EQ(vocabulary().entry_count, 0);
  EXPECT_EQ(vocabulary().loaded_entry_count, 0);
  EXPECT_TRUE(vocabulary().names.empty() && vocabulary().phone_seqs.empty());
  expect_no_counted_nodes();
  EXPECT_TRUE(vocabulary().levels[0].nodes.empty());
  EXPECT_EQ(vocabulary().tree.root(), nullptr);
}

TEST_F(VocabularyLoading, ReloadingReplacesThePreviousVocabulary) {
  ASSERT_TRUE(load("old", kWords, kSyllables));
  release_lexicon_tree(*vocabulary_);
  EXPECT_EQ(vocabulary().tree.root(), nullptr);
  EXPECT_EQ(vocabulary().entry_count, 0);

  ASSERT_TRUE(load("new", "1 台\n", "ㄊㄞˊ"));
  EXPECT_THAT(vocabulary().phone_seqs, ElementsAre("0 "));
  EXPECT_STREQ(node(0, 0).initial_model_name, "t_a");
  EXPECT_EQ(count(1), 0);
  EXPECT_THAT(children(vocabulary().tree.root()), ElementsAre(Pair(0, 1)));

  // Choosing a vocabulary makes a new value; the one a pass holds stays as it was.
  const OrRefusal<std::shared_ptr<const Vocabulary>> chosen = choose_vocabulary(*engine_, "old");
  ASSERT_TRUE(chosen);
  EXPECT_EQ((*chosen)->entry_count, 4);
  EXPECT_EQ(vocabulary().entry_count, 1);

  ASSERT_TRUE(load("empty", "", ""));
  EXPECT_EQ(vocabulary().entry_count, 0);
  expect_no_counted_nodes();
  ASSERT_EQ(vocabulary().levels[0].nodes.size(), 2u);  // silence and filler only
  EXPECT_STREQ(node(0, 0).initial_model_name, "sil");
  EXPECT_EQ(vocabulary().tree.root()->first_child, nullptr);

  release_vocabulary(*vocabulary_);
  EXPECT_TRUE(vocabulary().levels[0].nodes.empty());
  EXPECT_EQ(vocabulary().tree.root(), nullptr);
}

TEST_F(VocabularyLoading, UnmappedHalvesTakeTheFillerHalvesAndMapErrorNeedsBoth) {
  // "s_ee" + "ei", then no names at all.
  ASSERT_TRUE(load("v", "1 甲\n2 乙\n", "ㄙㄟˍ ㄟˋ"));
  EXPECT_THAT(sink_.boxes, ElementsAre("Map Error"));
  EXPECT_EQ(node(0, 0).initial_model_number, -1);
  EXPECT_EQ(node(0, 0).initial_model_slot, kFillerInitialSlot);
  EXPECT_EQ(node(0, 0).final_model_slot, slot_in_order("ei"));
  EXPECT_EQ(node(0, 1).final_model_slot, kFillerFinalSlot);

  // A set without the filler slots and without b_a: the unmapped half gets slot 0.
  engine_->main_models.allocate(2);
  engine_->main_models.records[0].model_index = static_cast<std::int16_t>(model_index_of("sil"));
  engine_->main_models.records[1].model_index = static_cast<std::int16_t>(model_index_of("a"));
  ASSERT_TRUE(load("v", "1 八\n", "ㄅㄚˍ"));
  EXPECT_EQ(node(0, 0).initial_model_number, model_index_of("b_a"));
  EXPECT_EQ(node(0, 0).initial_model_slot, 0);
  EXPECT_EQ(node(0, 0).final_model_slot, 1);
  EXPECT_EQ(sink_.boxes.size(), 1u);
}

TEST_F(VocabularyLoading, MissingFilesAreRefusedWithTheStationsTexts) {
  const auto refused = [&](const std::string& name) {
    EXPECT_FALSE(load_named(name));
    EXPECT_TRUE(refusal_ && refusal_->ends_station && refusal_->shown == Refusal::Shown::message_box);
    EXPECT_EQ(vocabulary().entry_count, 0);
    return refusal_ ? refusal_->text : std::string();
  };
  EXPECT_EQ(refused("v"), "Open File Data.dat error !!\n");
  testing::write_file(directory_ / "data" / "v.dat", "1 x\n");
  EXPECT_EQ(refused("v"), "Open File Data.spl error !!\n");
  testing::write_file(directory_ / "data" / "v.spl", "");
  std::filesystem::remove(directory_ / "qorphone.tbl");
  EXPECT_EQ(refused("v"), "Open File qorphone.tbl error !!\n");
  EXPECT_THAT(sink_.boxes, Each(Not(HasSubstr("Open File"))));  // refusals are the caller's to show
}

}  // namespace
}  // namespace kws
