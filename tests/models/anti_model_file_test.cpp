#include "models/anti_model_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/fixture_data.h"

namespace kws {
namespace {

TEST(AntiModelFile, RecordsRoundTripByteForByte) {
  const auto directory = testing::scratch_directory();
  std::vector<HmmModel> models = {testing::make_fixture_model(3, 3, 4), testing::make_fixture_model(9, 2, 1)};
  const std::string bytes = anti_model_file_bytes(models);
  ASSERT_EQ(bytes.size(), 2 + 2 * kHmmModelBytes);
  testing::write_file(directory / "anti.hmm", bytes);

  ModelSet set;
  ASSERT_EQ(load_anti_model_file((directory / "anti.hmm").string(), set), AntiModelLoad::loaded);
  ASSERT_EQ(set.count, 2);
  EXPECT_EQ(std::memcmp(&set.records[0], &models[0], kHmmModelBytes), 0);
  EXPECT_EQ(std::memcmp(&set.records[1], &models[1], kHmmModelBytes), 0);
}

TEST(AntiModelFile, ShortFileLeavesTheMissingRecordsEmpty) {
  const auto directory = testing::scratch_directory();
  std::string bytes = anti_model_file_bytes(std::vector<HmmModel>{testing::make_fixture_model(1, 2, 2)});
  bytes[0] = 3;  // announces three records, holds one
  testing::write_file(directory / "anti.hmm", bytes);
  ModelSet set;
  ASSERT_EQ(load_anti_model_file((directory / "anti.hmm").string(), set), AntiModelLoad::loaded);
  ASSERT_EQ(set.count, 3);
  EXPECT_EQ(set.records[0].state_count, 4);
  EXPECT_EQ(set.records[2].state_count, 0);
}

TEST(AntiModelFile, CountsBeyondTheSetAreRefused) {
  const auto directory = testing::scratch_directory();
  ModelSet set;
  EXPECT_EQ(load_anti_model_file((directory / "none.hmm").string(), set), AntiModelLoad::cannot_open);
  for (const std::int16_t count : {std::int16_t{61}, std::int16_t{-1}}) {
    std::string bytes(2, '\0');
    std::memcpy(bytes.data(), &count, 2);
    testing::write_file(directory / "anti.hmm", bytes);
    EXPECT_EQ(load_anti_model_file((directory / "anti.hmm").string(), set), AntiModelLoad::count_out_of_range);
    EXPECT_EQ(set.count, count);
    EXPECT_EQ(set.records, nullptr);
  }
}

}  // namespace
}  // namespace kws
