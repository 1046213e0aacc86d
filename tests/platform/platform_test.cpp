#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "platform/audio_file.h"
#include "platform/auto_reset_event.h"
#include "platform/data_path.h"
#include "platform/text_encoding.h"
#include "platform/token_reader.h"
#include "support/fixture_data.h"
#include "support/tone_data.h"

namespace kws {
namespace {

TEST(TextEncoding, Big5AndUtf8AgreeOnTheStationsCharacters) {
  // The first-tone mark must be U+02CD, which some Big5 tables map elsewhere.
  EXPECT_EQ(big5_to_utf8("\xA1\xC5"), "ˍ");
  EXPECT_EQ(utf8_to_big5("ˍ"), std::optional<std::string>("\xA1\xC5"));
  const std::string labels = "接受拒絕時間靜音填充";
  const std::optional<std::string> big5 = utf8_to_big5(labels);
  ASSERT_TRUE(big5.has_value());
  EXPECT_EQ(big5->size(), 20u);  // two bytes a character
  EXPECT_EQ(big5_to_utf8(*big5), labels);
  EXPECT_EQ(utf8_to_big5("ab1"), std::optional<std::string>("ab1"));
}

TEST(TextEncoding, RefusesWhatBig5CannotWriteAndShowsDamagedBytes) {
  EXPECT_FALSE(utf8_to_big5("设").has_value());  // simplified only
  EXPECT_FALSE(utf8_to_big5("\xFF").has_value());  // not UTF-8
  const std::string shown = big5_to_utf8("\xA4\x40\xFF\xFE" "a");
  EXPECT_EQ(shown.substr(0, 3), "一");
  EXPECT_NE(shown.find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_EQ(shown.back(), 'a');
}

TEST(TextEncoding, ColumnsCountHanAndZhuyinTwiceSoTablesLineUp) {
  EXPECT_EQ(display_columns("all"), 3);
  EXPECT_EQ(display_columns("火車系統"), 8);
  EXPECT_EQ(display_columns("ㄊㄞˊ"), 5);  // the tone mark is narrow
  EXPECT_EQ(display_columns("銀行 snr10"), 10);
  EXPECT_EQ(pad_to_columns("人名", 6), "人名  ");
  EXPECT_EQ(pad_to_columns("aishell", 4), "aishell");  // never cut
}

TEST(DataPath, JoinsBackslashSuffixesWithTheNativeSeparator) {
  EXPECT_EQ(join_data_path("/srv/kws", "\\rcdhmm\\anti0630.hmm"), "/srv/kws/rcdhmm/anti0630.hmm");
  EXPECT_EQ(without_trailing_separator("/srv/kws//"), "/srv/kws");
  EXPECT_EQ(without_trailing_separator("/"), "/");
}

TEST(TokenReader, SplitsOnAnyWhitespaceIncludingCarriageReturns) {
  TokenReader tokens(" 3\r\n<Mean>\t24\v\f x \n");
  std::vector<std::string> seen;
  while (const auto token = tokens.next()) seen.emplace_back(*token);
  EXPECT_EQ(seen, (std::vector<std::string>{"3", "<Mean>", "24", "x"}));
  EXPECT_FALSE(TokenReader("").next().has_value());
  EXPECT_FALSE(TokenReader::open("no/such/file").has_value());
}

TEST(TokenReader, NumbersMustBeWholeTokens) {
  EXPECT_EQ(parse_integer("-12"), -12);
  EXPECT_EQ(parse_integer("+7"), 7);
  EXPECT_FALSE(parse_integer("5.0").has_value());
  EXPECT_FALSE(parse_integer("12abc").has_value());
  EXPECT_FALSE(parse_integer("").has_value());
  EXPECT_FALSE(parse_integer("++1").has_value());
  EXPECT_EQ(parse_real("-1.5e-3"), -1.5e-3f);
  EXPECT_EQ(parse_real("+2"), 2.0f);
  EXPECT_EQ(parse_real("1e-60"), 0.0f);  // underflows to zero like the formatted reader
  EXPECT_TRUE(std::isinf(*parse_real("1e60")));
  EXPECT_FALSE(parse_real("0.5x").has_value());
  EXPECT_FALSE(parse_real("abc").has_value());
}

TEST(AutoResetEvent, ReleasesOneWaitPerSetAndThenResets) {
  AutoResetEvent event;
  event.set();
  event.set();  // a second set before the wait does not count twice
  EXPECT_TRUE(event.wait_for(std::chrono::milliseconds(0)));
  EXPECT_FALSE(event.wait_for(std::chrono::milliseconds(10)));

  std::thread setter([&event] { event.set(); });
  event.wait();
  setter.join();
  EXPECT_FALSE(event.wait_for(std::chrono::milliseconds(0)));
}

TEST(AudioFile, StationFormatIsUsedAsIsAndRawReadsTheHeaderToo) {
  const auto directory = testing::scratch_directory();
  const std::string path = (directory / "mono16k.wav").string();
  const std::vector<short> samples = {0, 1000, -1000, 32767, -32768};
  testing::write_wav_file(path, samples);

  const LoadedAudio audio = load_audio_file(path);
  ASSERT_TRUE(audio.ok()) << audio.error;
  EXPECT_TRUE(audio.note.empty());
  EXPECT_EQ(audio.samples, (std::vector<std::int16_t>(samples.begin(), samples.end())));

  const LoadedAudio raw = load_raw_samples(path);
  ASSERT_TRUE(raw.ok());
  ASSERT_EQ(raw.samples.size(), 22u + samples.size());  // the 44-byte header is 22 samples
  EXPECT_EQ(raw.samples[0], 0x4952);                      // "RI" of "RIFF", little-endian
  EXPECT_EQ(raw.samples.back(), -32768);
}

TEST(AudioFile, OtherRatesAndChannelsAreConvertedWithANote) {
  const auto directory = testing::scratch_directory();
  const std::string path = (directory / "stereo8k.wav").string();
  std::vector<short> interleaved;
  for (int i = 0; i < 8000; ++i) {
    const auto value = static_cast<short>(8000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * i / 8000.0));
    interleaved.push_back(value);
    interleaved.push_back(value);
  }
  testing::write_wav_file(path, interleaved, 8000, 2);

  const LoadedAudio audio = load_audio_file(path);
  ASSERT_TRUE(audio.ok()) << audio.error;
  EXPECT_NE(audio.note.find("converted from 8000 Hz, 2 channels"), std::string::npos) << audio.note;
  EXPECT_NEAR(static_cast<double>(audio.samples.size()), 16000.0, 2.0);
  short peak = 0;
  for (const std::int16_t sample : audio.samples) peak = std::max<short>(peak, sample);
  EXPECT_NEAR(peak, 8000, 200);  // mixing two equal channels keeps the level

  EXPECT_FALSE(load_audio_file((directory / "missing.wav").string()).ok());
  EXPECT_FALSE(load_raw_samples((directory / "missing.raw").string()).ok());
}

}  // namespace
}  // namespace kws
