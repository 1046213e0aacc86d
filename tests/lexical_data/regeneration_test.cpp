// The committed lexical files are exactly what the generator writes from the
// chewing reading data: regenerating changes no byte. Needs the reading data
// beside the repository; a clone without it skips.
#include <gtest/gtest.h>

#include <filesystem>

#include "lexical_data/lexical_data.h"
#include "platform/token_reader.h"
#include "support/fixture_data.h"

namespace kws::lexical_data {
namespace {

const std::filesystem::path kData = KWS_DATA_DIR;
const std::filesystem::path kTraining = KWS_TRAINING_DIR;
const std::filesystem::path kChewing = KWS_CHEWING_DIR;

// Every file the generator writes, relative to the data directory.
std::vector<std::filesystem::path> written_files(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> files = {"dict1.bin", "qorphone.tbl"};
  for (const auto& item : std::filesystem::directory_iterator(root / "data")) {
    files.push_back(std::filesystem::path("data") / item.path().filename());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Regeneration, RewritesTheCommittedFilesByteForByte) {
  if (!std::filesystem::exists(kChewing / "word.csv") || !std::filesystem::exists(kChewing / "tsi.big5.src")) {
    GTEST_SKIP() << "the chewing reading data is not at " << kChewing
                 << " (it lives beside the repository, in ../shared/data/chewing); nothing to regenerate from";
  }
  const std::filesystem::path output = testing::scratch_directory();
  GeneratorOptions options{kChewing, kTraining / "vocabularies", kTraining / "reading_overrides.txt", output};
  std::string error;
  const std::optional<GeneratorReport> report = generate_lexical_data(options, error);
  ASSERT_TRUE(report.has_value()) << error;
  EXPECT_TRUE(report->unused_overrides.empty()) << "reading overrides no name uses";
  EXPECT_EQ(report->vocabularies.size(), 10u);

  const std::vector<std::filesystem::path> generated = written_files(output);
  for (const std::filesystem::path& file : generated) {
    const std::optional<std::string> fresh = read_file_bytes((output / file).string());
    const std::optional<std::string> committed = read_file_bytes((kData / file).string());
    ASSERT_TRUE(committed.has_value()) << file << " is generated but not in data/";
    EXPECT_TRUE(*fresh == *committed) << file << " differs from the committed file; rerun kws-lexical-data";
  }
}

}  // namespace
}  // namespace kws::lexical_data
