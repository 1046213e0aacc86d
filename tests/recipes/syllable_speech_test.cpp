// Isolated syllables of real speakers: pinyin and gcin-voice folder names read
// as tonal Zhuyin, and the lists written from a small folder of each.
#include "recipes/syllable_speech.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "recipes/recipe.h"
#include "support/fixture_data.h"

namespace kws::recipes {
namespace {

using ::testing::HasSubstr;

std::string zhuyin_or_none(const std::optional<std::string>& zhuyin) { return zhuyin ? *zhuyin : "none"; }

TEST(PinyinZhuyin, ReadsTheSpellingsThatHideTheirSymbols) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // ü: written v or ü, and u after j q x and in lue/nue.
      {"lv3", "ㄌㄩˇ"},
      {"nü3", "ㄋㄩˇ"},
      {"lve4", "ㄌㄩㄝˋ"},
      {"nue4", "ㄋㄩㄝˋ"},
      {"lu4", "ㄌㄨˋ"},
      {"ju1", "ㄐㄩˍ"},
      {"jv3", "ㄐㄩˇ"},
      {"qu4", "ㄑㄩˋ"},
      {"xue2", "ㄒㄩㄝˊ"},
      {"juan4", "ㄐㄩㄢˋ"},
      {"qun2", "ㄑㄩㄣˊ"},
      {"xiong2", "ㄒㄩㄥˊ"},
      {"lvan2", "ㄌㄩㄢˊ"},
      // The initial alone, against the same vowel letter after j and l.
      {"zhi1", "ㄓˍ"},
      {"chi2", "ㄔˊ"},
      {"shi4", "ㄕˋ"},
      {"ri4", "ㄖˋ"},
      {"zi3", "ㄗˇ"},
      {"ci2", "ㄘˊ"},
      {"si1", "ㄙˍ"},
      {"ji1", "ㄐㄧˍ"},
      {"li4", "ㄌㄧˋ"},
      // No initial: y and w spellings, er, e and ê.
      {"yi1", "ㄧˍ"},
      {"ye4", "ㄧㄝˋ"},
      {"you3", "ㄧㄡˇ"},
      {"yin1", "ㄧㄣˍ"},
      {"ying2", "ㄧㄥˊ"},
      {"yu2", "ㄩˊ"},
      {"yue4", "ㄩㄝˋ"},
      {"yuan2", "ㄩㄢˊ"},
      {"yun4", "ㄩㄣˋ"},
      {"yong3", "ㄩㄥˇ"},
      {"wu3", "ㄨˇ"},
      {"wo3", "ㄨㄛˇ"},
      {"wei4", "ㄨㄟˋ"},
      {"wen2", "ㄨㄣˊ"},
      {"weng1", "ㄨㄥˍ"},
      {"er2", "ㄦˊ"},
      {"e4", "ㄜˋ"},
      {"ê4", "ㄝˋ"},
      // Shortened finals, o after labials, two-letter initials, the neutral tone.
      {"niu2", "ㄋㄧㄡˊ"},
      {"gui4", "ㄍㄨㄟˋ"},
      {"lun2", "ㄌㄨㄣˊ"},
      {"zhun3", "ㄓㄨㄣˇ"},
      {"dong1", "ㄉㄨㄥˍ"},
      {"bo2", "ㄅㄛˊ"},
      {"shuang1", "ㄕㄨㄤˍ"},
      {"ma5", "ㄇㄚ˙"}};
  for (const auto& [pinyin, zhuyin] : cases) EXPECT_EQ(zhuyin_or_none(pinyin_zhuyin(pinyin)), zhuyin) << pinyin;

  // Interjections, impossible pairs of initial and final, and missing or
  // foreign tones.
  for (const char* pinyin : {"hm2", "hng4", "m1", "ng3", "n2", "ber2", "jang1", "qa4", "zhia1", "ziong3", "bv3", "lue",
                             "ba0", "ba6", "BA1", "1", ""}) {
    EXPECT_EQ(pinyin_zhuyin(pinyin), std::nullopt) << pinyin;
  }
  EXPECT_EQ(zhuyin_row("ㄐㄩˇ"), zhuyin_row(*pinyin_zhuyin("ju3")));
  EXPECT_GE(zhuyin_row("ㄓˍ"), 0);
  EXPECT_EQ(zhuyin_row("ㄅˍ"), -1);
}

TEST(GcinFolderZhuyin, NoDigitIsTheFirstToneAndOneTheNeutral) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ㄅㄚ", "ㄅㄚˍ"},  {"ㄅㄚ1", "ㄅㄚ˙"}, {"ㄅㄚ2", "ㄅㄚˊ"}, {"ㄅㄚ3", "ㄅㄚˇ"},
      {"ㄅㄚ4", "ㄅㄚˋ"}, {"ㄓ", "ㄓˍ"},      {"ㄦ2", "ㄦˊ"},     {"ㄒㄩㄥ4", "ㄒㄩㄥˋ"}};
  for (const auto& [folder, zhuyin] : cases) EXPECT_EQ(zhuyin_or_none(gcin_folder_zhuyin(folder)), zhuyin) << folder;
  for (const char* folder : {"ㄅㄚ0", "ㄅㄚ5", "ㄅㄚ12", "ㄅㄚˊ", "ba2", "2", "", "lost+found"}) {
    EXPECT_EQ(gcin_folder_zhuyin(folder), std::nullopt) << folder;
  }
}

TEST(SyllableSpeech, WritesEachSpeakersSyllablesAndSkipsWhatTheTableLacks) {
  const std::filesystem::path root = kws::testing::scratch_directory();

  // audio-cmn: words pass unseen; 16 syllables of one speaker, an
  // interjection, a tone the table lacks, a tone-5 file (several syllables)
  // and a missing file.
  const std::filesystem::path cmn = root / "audio-cmn";
  std::string list = "file\tspeaker\tsimplified\ttraditional\tpinyin\tsource_path\n";
  list += "words/w1.mp3\tYue Tan\t一\t一\t\tcmn-一.mp3\n";
  const std::vector<std::string> pinyin = {"ba1", "ba2",   "ba3", "ba4", "lv3",    "lve4", "zhi1",   "ri4",
                                           "yu2", "yuan2", "er2", "wu3", "jiong3", "xu1",  "_lvan3", "nv3"};
  for (std::size_t i = 0; i < pinyin.size(); ++i) {
    const std::string file = "syllables/s" + std::to_string(i) + ".mp3";
    list += file + "\tChen Wang\t\t\t" + pinyin[i] + "\tx\n";
    kws::testing::write_file(cmn / file, "");
  }
  list += "syllables/hm.mp3\tChen Wang\t\t\t_hm2\tx\nsyllables/ri1.mp3\tChen Wang\t\t\tri1\tx\n";
  list += "syllables/ma5.mp3\tChen Wang\t\t\tma5\tx\nsyllables/gone.mp3\tChen Wang\t\t\tba1\tx\n";
  for (const char* file : {"syllables/hm.mp3", "syllables/ri1.mp3", "syllables/ma5.mp3"})
    kws::testing::write_file(cmn / file, "");
  std::string error;
  const auto recordings = parse_syllable_transcripts(list, "t.tsv", error);
  ASSERT_TRUE(recordings.has_value()) << error;
  ASSERT_EQ(recordings->size(), 20u);
  const WordSpeech cmn_speech = split_pinyin_syllables(*recordings, cmn);
  EXPECT_EQ(cmn_speech.skipped, 4u);
  ASSERT_EQ(cmn_speech.test.size(), 2u);
  EXPECT_EQ(cmn_speech.training.size(), 14u);
  EXPECT_EQ(corpus_list_text(cmn_speech.test, "t"), "# t\n" + (cmn / "syllables/s4.mp3").string() + "\tㄌㄩˇ\n" +
                                                        (cmn / "syllables/s12.mp3").string() + "\tㄐㄩㄥˇ\n");
  EXPECT_THAT(corpus_list_text(cmn_speech.training, "t"), HasSubstr((cmn / "syllables/s0.mp3").string() + "\tㄅㄚˍ\n"));

  EXPECT_FALSE(parse_syllable_transcripts("file\tspeaker\ttraditional\n", "t.tsv", error).has_value());
  EXPECT_EQ(error, "t.tsv:1: the header names no pinyin column");

  // gcin: 9 male and 8 female recordings the table has, one folder of a bare
  // initial and one of a tone the table lacks.
  const std::filesystem::path gcin = root / "ogg";
  for (const char* folder : {"ㄇㄚ", "ㄇㄚ1", "ㄇㄚ2", "ㄇㄚ3", "ㄇㄚ4", "ㄓ", "ㄓ2", "ㄦ2", "ㄩㄝ4", "ㄅ", "ㄓ1"}) {
    kws::testing::write_file(gcin / folder / "3.ogg", "");
    if (std::string(folder) != "ㄩㄝ4") kws::testing::write_file(gcin / folder / "5.ogg", "");
  }
  const std::optional<WordSpeech> gcin_speech = split_gcin_syllables(gcin, error);
  ASSERT_TRUE(gcin_speech.has_value()) << error;
  EXPECT_EQ(gcin_speech->skipped, 4u);
  EXPECT_EQ(gcin_speech->training.size() + gcin_speech->test.size(), 17u);
  ASSERT_EQ(gcin_speech->test.size(), 2u);  // 9 / 8 male, 8 / 8 female
  EXPECT_EQ(gcin_speech->test[0].audio, gcin / "ㄇㄚ4" / "3.ogg");
  EXPECT_EQ(gcin_speech->test[1].audio, gcin / "ㄇㄚ4" / "5.ogg");
  EXPECT_EQ(syllable_list_text(syllables_of(gcin_speech->test[0].words)), "ㄇㄚˋ");
  EXPECT_EQ(syllable_list_text(syllables_of(gcin_speech->training[0].words)), "ㄇㄚˍ");
  EXPECT_EQ(syllable_list_text(syllables_of(gcin_speech->training[1].words)), "ㄇㄚ˙");

  EXPECT_FALSE(split_gcin_syllables(root / "missing", error).has_value());
  EXPECT_THAT(error, HasSubstr("missing"));
}

}  // namespace
}  // namespace kws::recipes
