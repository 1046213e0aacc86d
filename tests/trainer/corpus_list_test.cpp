#include "trainer/corpus_list.h"

#include <gtest/gtest.h>

#include "lexicon/syllable_table.h"
#include "models/model_inventory.h"
#include "platform/text_encoding.h"
#include "test_values.h"

namespace kws::trainer {
namespace {

using testing::row_of;

TEST(CorpusList, ReadsPathsAndSyllablesSkippingCommentsAndBlankLines) {
  std::string error;
  const auto list = parse_corpus_list("# my recordings\n\nrec/a.wav\tㄊㄞˊ ㄅㄟˇ\r\n/abs/b.flac ㄧ ㄕˊ\n", "list.txt",
                                      "/corpus", error);
  ASSERT_TRUE(list) << error;
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ((*list)[0].audio_path, "/corpus/rec/a.wav");
  EXPECT_EQ((*list)[0].syllables, (std::vector<int>{row_of("ㄊㄞˊ"), row_of("ㄅㄟˇ")}));
  EXPECT_EQ((*list)[0].origin, "list.txt:3");
  EXPECT_EQ((*list)[1].audio_path, "/abs/b.flac");
  // The first tone may be left unmarked.
  EXPECT_EQ((*list)[1].syllables, (std::vector<int>{row_of("ㄧˍ"), row_of("ㄕˊ")}));
}

TEST(CorpusList, NamesTheLineOfAMalformedEntry) {
  std::string error;
  EXPECT_FALSE(parse_corpus_list("a.wav ㄊㄞˊ\nb.wav\n", "list.txt", "", error));
  EXPECT_EQ(error, "list.txt:2: an audio file and at least one syllable are needed");
  EXPECT_FALSE(parse_corpus_list("a.wav ㄊㄞˊ\n\nc.wav tai2\n", "list.txt", "", error));
  EXPECT_EQ(error, "list.txt:3: \"tai2\" is not a tonal Zhuyin syllable");
  EXPECT_FALSE(read_corpus_list("no/such/list.txt", error));
  EXPECT_EQ(error, "cannot read the corpus list no/such/list.txt");
}

TEST(CorpusList, SyllablesMapToTheSlotsVocabularyLoadingUses) {
  const SyllableSlots tai = syllable_slots(row_of("ㄊㄞˊ"));
  EXPECT_EQ(tai.initial_slot, slot_in_order("t_a"));
  EXPECT_EQ(tai.final_slot, slot_in_order("ai"));
  // No initial: the syllable-initial unit of its vowel class.
  const SyllableSlots er = syllable_slots(row_of("ㄦˊ"));
  EXPECT_EQ(er.initial_slot, slot_in_order("sic_e"));
  EXPECT_EQ(er.final_slot, slot_in_order("er"));
  // A half the inventory has no model for stands in as the filler's half.
  const SyllableSlots sei = syllable_slots(row_of("ㄙㄟˍ"));
  EXPECT_EQ(sei.initial_slot, kFillerInitialSlot);
  EXPECT_EQ(sei.final_slot, slot_in_order("ei"));
  const SyllableSlots e = syllable_slots(row_of("ㄝˋ"));
  EXPECT_EQ(e.initial_slot, kFillerInitialSlot);
  EXPECT_EQ(e.final_slot, kFillerFinalSlot);
}

}  // namespace
}  // namespace kws::trainer
