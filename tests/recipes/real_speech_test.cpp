// The real speaker's transcripts: which are left out and why, how they are
// read, and the split into training and test lists.
#include "recipes/real_speech.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "recipes/word_speech.h"
#include "small_text_reader.h"
#include "support/fixture_data.h"

namespace kws::recipes {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kCharacters[] =
    "設,0,ㄕㄜˋ\n定,0,ㄉㄧㄥˋ\n二,0,ㄦˋ\n十,0,ㄕˊ\n九,0,ㄐㄧㄡˇ\n度,0,ㄉㄨˋ\n一,0,ㄧ\n三,0,ㄙㄢ\n五,0,ㄨˇ\n"
    "零,0,ㄌㄧㄥˊ\n八,0,ㄅㄚ\n花,0,ㄏㄨㄚ\n園,0,ㄩㄢˊ\n四,0,ㄙˋ\n六,0,ㄌㄧㄡˋ\n七,0,ㄑㄧ\n";

class RealSpeechTest : public ::testing::Test {
 protected:
  const testing::SmallTextReader reader_{kCharacters, "設定 10 ㄕㄜˋ ㄉㄧㄥˋ\n花園 5 ㄏㄨㄚ ㄩㄢˊ\n"};
};

TEST_F(RealSpeechTest, ParsesTheTranscriptFileAndRefusesDamagedLines) {
  std::string error;
  const auto transcripts = parse_transcripts(
      "utterance\tsimplified\ttraditional\tseconds\n"
      "W0001\t设定二十九度\t設定二十九度\t2.429\r\n"
      "\n"
      "W0085\t\xEF\xBB\xBF一三五\t\xEF\xBB\xBF一三五\t5.118\n",
      "transcripts.tsv", error);
  ASSERT_TRUE(transcripts.has_value()) << error;
  ASSERT_EQ(transcripts->size(), 2u);
  EXPECT_EQ((*transcripts)[0].id, "W0001");
  EXPECT_EQ((*transcripts)[0].traditional, "設定二十九度");
  EXPECT_DOUBLE_EQ((*transcripts)[0].seconds, 2.429);
  EXPECT_EQ((*transcripts)[1].traditional, "一三五");  // the byte-order mark is gone

  EXPECT_FALSE(parse_transcripts("W1\ta\tb\n", "t.tsv", error).has_value());
  EXPECT_THAT(error, HasSubstr("t.tsv:1"));
  EXPECT_FALSE(parse_transcripts("W1\ta\tb\t1.0\nW2\ta\tb\tlong\n", "t.tsv", error).has_value());
  EXPECT_THAT(error, HasSubstr("t.tsv:2"));
  EXPECT_THAT(error, HasSubstr("long"));
}

TEST_F(RealSpeechTest, LeavesOutWhatTheStationCannotSpellOrHear) {
  const auto reason = [&](std::string text, double seconds) {
    const ReadTranscript read = read_transcript(Transcript{"W1", std::move(text), seconds}, "/audio/W1.flac", *reader_);
    return read.utterance ? std::string("kept") : std::string(skip_reason_text(read.reason));
  };
  const std::string latin(skip_reason_text(SkipReason::latin_or_brackets));
  EXPECT_EQ(reason("設定二十九度", 2.4), "kept");
  EXPECT_EQ(reason("設定DJ", 2.4), latin);
  EXPECT_EQ(reason("設定ＤＪ", 2.4), latin);  // full width
  EXPECT_EQ(reason("花園(設定)", 2.4), latin);
  EXPECT_EQ(reason("花園（設定）", 2.4), latin);
  EXPECT_EQ(reason("設定鬱金香", 2.4), skip_reason_text(SkipReason::no_reading));
  EXPECT_EQ(reason("設定，花園", 2.4), skip_reason_text(SkipReason::no_reading));
  EXPECT_EQ(reason("設定二十九度", 7.89), "kept");
  EXPECT_EQ(reason("設定二十九度", 7.9), skip_reason_text(SkipReason::too_long));

  const ReadTranscript read =
      read_transcript(Transcript{"W0085", "一三五八一", 5.1}, "/corpus/audio/W0085.flac", *reader_);
  ASSERT_TRUE(read.utterance.has_value());
  EXPECT_EQ(read.utterance->audio, std::filesystem::path("/corpus/audio/W0085.flac"));
  EXPECT_EQ(syllable_list_text(syllables_of(read.utterance->words)), "ㄧㄠˍ ㄙㄢˍ ㄨˇ ㄅㄚˍ ㄧㄠˍ");
}

TEST_F(RealSpeechTest, SplitsASpreadTestSetOffAndNeverTrainsOnItsTexts) {
  const std::filesystem::path folder = kws::testing::scratch_directory();
  std::vector<Transcript> transcripts;
  const char* digits[] = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
  for (int i = 0; i < 40; ++i) {
    std::string id = "W";
    id += std::to_string(100 + i);
    // Texts of their own, but four say the same.
    std::string text = "花園";
    if (i >= 10) text += digits[i / 10];
    text += digits[i % 10];
    transcripts.push_back(Transcript{id, i % 10 == 1 ? "設定二十九度" : text + "度", 2.0});
    if (i != 7) kws::testing::write_file(folder / "audio" / (id + ".flac"), "");
  }
  transcripts.push_back(Transcript{"W900", "花園DJ", 2.0});
  transcripts.push_back(Transcript{"W901", "花園設定二十九度", 2.0});  // a test text inside
  kws::testing::write_file(folder / "audio" / "W901.flac", "");
  const RealSpeech speech = split_real_speech(transcripts, folder, *reader_);

  // 40 usable (one has no audio): a quarter, spread, for the test.
  EXPECT_EQ(speech.test.size(), 10u);
  std::set<std::string> test_ids;
  std::set<std::string> test_texts;
  for (const RealUtterance& utterance : speech.test) {
    test_ids.insert(utterance.id);
    test_texts.insert(utterance.big5);
    EXPECT_TRUE(utterance.audio.is_absolute());
  }
  EXPECT_TRUE(test_ids.contains("W102") && test_ids.contains("W139")) << "spread over the whole file";
  EXPECT_TRUE(test_ids.contains("W111") && test_ids.contains("W131"));
  for (const RealUtterance& utterance : speech.training) {
    EXPECT_FALSE(test_ids.contains(utterance.id));
    for (const std::string& text : test_texts) {
      EXPECT_FALSE(contains_text(utterance.big5, text)) << utterance.id << " says a test text";
    }
  }
  std::map<SkipReason, int> skipped;
  for (const auto& [id, why] : speech.skipped) ++skipped[why];
  EXPECT_EQ(skipped[SkipReason::no_audio], 1);
  EXPECT_EQ(skipped[SkipReason::latin_or_brackets], 1);
  EXPECT_EQ(skipped[SkipReason::same_text_as_test], 3);  // W101, W121 and W901
  EXPECT_EQ(speech.training.size() + speech.test.size() + speech.skipped.size(), transcripts.size());

  const std::string list = corpus_list_text(speech.test, "test");
  EXPECT_EQ(list.substr(0, 7), "# test\n");
  EXPECT_THAT(list, HasSubstr((folder / "audio" / "W102.flac").string() + "\t"));
}

TEST_F(RealSpeechTest, IsolatedWordsHoldOutAnEighthOfEachSpeakerAndSkipWhatCannotBeRead) {
  const std::filesystem::path folder = kws::testing::scratch_directory();
  std::string list = "file\tspeaker\tsimplified\ttraditional\tpinyin\n";
  // Two speakers of 16 and 8 readable words, a pattern word, a syllable
  // without text, an unreadable word and a missing file.
  for (int i = 0; i < 24; ++i) {
    const std::string file = "audio/" + std::string(i < 16 ? "a" : "b") + std::to_string(i) + ".mp3";
    list += file + "\t" + (i < 16 ? "A" : "B") + "\t-\t" + (i % 2 == 0 ? "設定" : "花園") + "\n";
    kws::testing::write_file(folder / file, "");
  }
  list += "audio/p.mp3\tA\t-\t一_也_\n";
  list += "syllables/s1.mp3\tC\t\t\tba1\n";
  list += "audio/u.mp3\tA\t-\t鬱金香\n";
  list += "audio/gone.mp3\tA\t-\t花園\n";
  for (const char* file : {"audio/p.mp3", "syllables/s1.mp3", "audio/u.mp3"})
    kws::testing::write_file(folder / file, "");

  std::string error;
  const std::optional<std::vector<WordRecording>> recordings = parse_word_transcripts(list, "t.tsv", error);
  ASSERT_TRUE(recordings.has_value()) << error;
  ASSERT_EQ(recordings->size(), 28u);
  const WordSpeech speech = split_word_speech(*recordings, folder, *reader_);
  EXPECT_EQ(speech.skipped, 4u);
  ASSERT_EQ(speech.test.size(), 3u);  // 16 / 8 of A and 8 / 8 of B
  EXPECT_EQ(speech.training.size(), 21u);
  EXPECT_EQ(speech.test[0].audio, folder / "audio" / "a4.mp3");
  EXPECT_EQ(speech.test[2].audio, folder / "audio" / "b20.mp3");
  EXPECT_EQ(syllable_list_text(syllables_of(speech.test[1].words)),
            syllable_list_text(syllables_of(speech.training[0].words)));  // a12 and a0 say 設定

  EXPECT_FALSE(parse_word_transcripts("file\tspeaker\n"
                                      "a.mp3\tA\n",
                                      "t.tsv", error)
                   .has_value());
  EXPECT_EQ(error, "t.tsv:2: expected at least 4 TAB-separated fields, found 2");
}

TEST(SpreadChoice, TakesTheMiddleOfEqualStretches) {
  EXPECT_THAT(spread_choice(10, 2), ElementsAre(2, 7));
  EXPECT_THAT(spread_choice(3, 5), ElementsAre(0, 1, 2));
  EXPECT_TRUE(spread_choice(0, 3).empty());
  const std::vector<std::size_t> hundred = spread_choice(440, 100);
  EXPECT_EQ(std::set<std::size_t>(hundred.begin(), hundred.end()).size(), 100u);
  EXPECT_LT(hundred.front(), 5u);
  EXPECT_GT(hundred.back(), 435u);
}

}  // namespace
}  // namespace kws::recipes
