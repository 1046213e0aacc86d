// The model-building pipeline in miniature: recipes, synthesis, training and
// installation, then the station starting on what it wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/fixture_data.h"
#include "support/kws_runner.h"

namespace {

TEST(ModelPipeline, AMiniatureRunWritesADataDirectoryTheStationLoads) {
  const std::filesystem::path shared = KWS_SHARED_DATA_DIR;
  if (!std::filesystem::exists(shared / "chewing") || !std::filesystem::exists(shared / "aishell-S0150")) {
    GTEST_SKIP() << "the reading data and real speech are not at " << shared;
  }
  const std::filesystem::path root = kws::testing::scratch_directory();
  const std::filesystem::path out = root / "data";
  // The lexical half comes from the repository; the pipeline adds the acoustic half.
  std::filesystem::create_directories(out);
  for (const char* name : {"dict1.bin", "qorphone.tbl", "data"}) {
    std::filesystem::copy(std::filesystem::path(KWS_DATA_DIR) / name, out / name,
                          std::filesystem::copy_options::recursive);
  }
  const std::string command = std::string(KWS_SOURCE_DIR) + "/scripts/build-models --mini --tools " + KWS_BINARY_DIR +
                              " --shared " + shared.string() + " --work " + (root / "work").string() + " --out " +
                              out.string() + " > " + (root / "pipeline.log").string() + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << "see " << (root / "pipeline.log");

  for (const char* name : {"rcdmodel", "rcdhmm/anti0630.hmm", "model/bsl/fil_fin", "train_index.txt", "wave/tr1_1.wav",
                           "wave/tr1_50.wav", "wave/n34512.wav", "dat"}) {
    EXPECT_TRUE(std::filesystem::exists(out / name)) << name;
  }
  const kws::testing::CommandRun check = kws::testing::run_kws("check-data --data " + out.string());
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.err, "");  // no diagnostic while loading
  EXPECT_NE(check.out.find("models: 153"), std::string::npos);
  EXPECT_NE(check.out.find("anti-models: 59"), std::string::npos);

  const kws::testing::CommandRun batch =
      kws::testing::run_kws("batch --brief --data " + out.string() + " --vocab 火車系統");
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_NE(batch.out.find("Detection Rate="), std::string::npos) << batch.out;
}

}  // namespace
