// kws vocab on a small complete data directory holding a bundled vocabulary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/fixture_data.h"
#include "support/kws_runner.h"

namespace kws {
namespace {

using ::testing::HasSubstr;

const std::filesystem::path kData = KWS_DATA_DIR;

testing::CommandRun vocab(const std::string& arguments) { return testing::run_kws("vocab " + arguments); }

TEST(VocabCommand, ListsTheWordListWithReadingsAndTheLevelNodes) {
  const std::filesystem::path root = testing::write_fixture_data_directory(testing::scratch_directory());
  std::filesystem::copy_file(kData / "qorphone.tbl", root / "qorphone.tbl");
  std::filesystem::create_directories(root / "data");
  for (const char* extension : {".dat", ".spl"}) {
    std::filesystem::copy_file(kData / "data" / (std::string("數字") + extension),
                               root / "data" / (std::string("數字") + extension));
  }
  const testing::CommandRun run = vocab("--data " + root.string() + " 數字");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(run.out, ::testing::StartsWith("    1 零\tㄌㄧㄥˊ\n    2 一\tㄧˍ\n"));
  EXPECT_THAT(run.out, HasSubstr("   17 么\tㄧㄠˍ\n   18 點\tㄉㄧㄢˇ\nentries: 18\n"));
  // 一 and 億 share the node of ㄧ in any tone.
  EXPECT_THAT(run.out, ::testing::EndsWith("level nodes: 0:17/410\n"));
}

TEST(VocabCommand, RefusesAMissingOrExtraName) {
  EXPECT_EQ(vocab("--data somewhere").status, 2);
  EXPECT_EQ(vocab("a b").status, 2);
  EXPECT_EQ(vocab("--colour a").status, 2);
  const testing::CommandRun help = vocab("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("kws vocab --data data 火車系統"));
}

TEST(VocabCommand, AMissingVocabularyEndsWithItsMessage) {
  const std::filesystem::path root = testing::write_fixture_data_directory(testing::scratch_directory());
  const testing::CommandRun run = vocab("--data " + root.string() + " 火車系統");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Open File Data.dat error !!\n");
}

}  // namespace
}  // namespace kws
