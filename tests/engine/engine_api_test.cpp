// The engine API on the bundled data directory: passes on separate
// workspaces over one loaded data and one vocabulary give, at once on two
// threads, exactly what they give one after the other.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/engine.h"
#include "platform/message_sink.h"
#include "support/bundled_engine.h"

namespace kws {
namespace {

const std::string kData = KWS_DATA_DIR;

class EngineApi : public testing::BundledEngineTest {
 protected:
  static std::string recognise(const std::vector<std::int16_t>& samples, const PassOptions& options, Workspace& work) {
    return testing::outcome_summary(recognize(*data(), *vocabulary(), samples, options, work));
  }
};

TEST_F(EngineApi, TwoWorkspacesOnTwoThreadsGiveTheSequentialResults) {
  // A recording with keywords accepted and one whose results are all rejected;
  // live checks and trimming on one thread, the batch pass on the other.
  const std::vector<std::int16_t> first = recording(4);
  const std::vector<std::int16_t> second = recording(7);
  const PassOptions live;
  const PassOptions batch = batch_pass_options();
  Workspace alone = workspace();
  const std::string expected_first = recognise(first, live, alone);
  const std::string expected_second = recognise(second, batch, alone);
  ASSERT_NE(expected_first.find("accepted"), std::string::npos) << expected_first;
  ASSERT_NE(expected_second.find("result"), std::string::npos) << expected_second;

  constexpr int kRounds = 6;
  std::vector<std::string> got_first(kRounds), got_second(kRounds);
  Workspace one = workspace();
  Workspace other = workspace();
  std::thread a([&] {
    for (std::string& got : got_first) got = recognise(first, live, one);
  });
  std::thread b([&] {
    for (std::string& got : got_second) got = recognise(second, batch, other);
  });
  a.join();
  b.join();
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(got_first[static_cast<std::size_t>(round)], expected_first) << "round " << round;
    EXPECT_EQ(got_second[static_cast<std::size_t>(round)], expected_second) << "round " << round;
  }
}

TEST_F(EngineApi, AVocabularyChosenDuringAPassLeavesThePassItsOwn) {
  const std::vector<std::int16_t> samples = recording(4);
  Workspace work = workspace();
  const std::string before = recognise(samples, PassOptions{}, work);
  std::string during;
  std::thread pass([&] { during = recognise(samples, PassOptions{}, work); });
  // Choosing another vocabulary makes a new value; the pass keeps the one it holds.
  OrRefusal<std::shared_ptr<const Vocabulary>> other = choose_vocabulary(*data(), "數字");
  pass.join();
  ASSERT_TRUE(other);
  EXPECT_EQ(during, before);
  EXPECT_NE((*other)->entry_count, vocabulary()->entry_count);
}

TEST_F(EngineApi, RefusalsComeBackAsValues) {
  Workspace work = workspace();
  const RecognitionOutcome short_one =
      recognize(*data(), *vocabulary(), std::vector<std::int16_t>(6400, 0), PassOptions{}, work);
  EXPECT_EQ(short_one.refusal, UtteranceRefusal::too_short);
  EXPECT_TRUE(short_one.results.empty());
  const RecognitionOutcome long_one =
      recognize(*data(), *vocabulary(), std::vector<std::int16_t>(kSampleBufferSamples + 1, 0), PassOptions{}, work);
  EXPECT_EQ(long_one.refusal, UtteranceRefusal::too_long);

  const OrRefusal<std::shared_ptr<const Vocabulary>> missing = choose_vocabulary(*data(), "no-such-vocabulary");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.refusal().text, "Open File Data.dat error !!\n");
  EXPECT_TRUE(missing.refusal().ends_station);

  const OrRefusal<std::shared_ptr<const LoadedData>> nowhere = start_engine(kData + "/no-such-folder");
  ASSERT_FALSE(nowhere);
  EXPECT_EQ(nowhere.refusal().text, "Open file man.hmm error!\n");
}

}  // namespace
}  // namespace kws
