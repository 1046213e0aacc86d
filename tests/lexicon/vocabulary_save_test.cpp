// The editor's save ended by the process dying after each of its steps: the
// next open must find the old pair or the new pair, never a mix or a loss.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>

#include "lexicon/vocabulary_editor.h"
#include "platform/token_reader.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using testing::big5;

constexpr int kDiedAtStep = 42;
constexpr int kSaveFinished = 43;
int dying_step = 0;

std::pair<std::string, std::string> pair_on_disk(const fs::path& words, const fs::path& syllables) {
  return {read_file_bytes(words.string()).value_or("<missing>"),
          read_file_bytes(syllables.string()).value_or("<missing>")};
}

TEST(VocabularySave, KilledAfterEveryStepLeavesTheOldOrTheNewPair) {
  testing::CapturingSink sink;
  // The editor cuts the .spl path at the first dot: the folder has none.
  const fs::path folder = testing::scratch_directory().parent_path() / "VocabularySave_KilledAtEveryStep";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path words = folder / "stations.dat";
  const fs::path syllables = folder / "stations.spl";
  const std::pair<std::string, std::string> old_pair{big5("1 台北\n2 北\n"), big5("ㄊㄞˊ ㄅㄟˇ\nㄅㄟˋ\n")};
  const std::pair<std::string, std::string> new_pair{big5("1 台北\n"), big5("ㄊㄞˊ ㄅㄟˇ\n")};

  ReadingSlots slots;
  bool saw_new_pair = false;
  for (int step = 1;; ++step) {
    SCOPED_TRACE("the save died after step " + std::to_string(step));
    testing::write_file(words, old_pair.first);
    testing::write_file(syllables, old_pair.second);
    VocabularyEditor editor({}, slots);
    ASSERT_TRUE(editor.open(words.string()));
    editor.remove(1);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      dying_step = step;
      set_save_step_observer([](int done) {
        if (done == dying_step) _exit(kDiedAtStep);
      });
      editor.save();
      _exit(kSaveFinished);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const bool finished = WEXITSTATUS(status) == kSaveFinished;
    ASSERT_TRUE(finished || WEXITSTATUS(status) == kDiedAtStep);

    // The next open finishes or undoes the save; from the step that made the
    // new pair on, it stays the new one.
    VocabularyEditor next({}, slots);
    ASSERT_TRUE(next.open(words.string()));
    const std::pair<std::string, std::string> found = pair_on_disk(words, syllables);
    if (found == new_pair) {
      saw_new_pair = true;
    } else {
      EXPECT_FALSE(saw_new_pair);
      EXPECT_EQ(found, old_pair);
    }
    EXPECT_EQ(next.records().size(), found == new_pair ? 1U : 2U);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      EXPECT_EQ(entry.path().extension(), entry.path() == words ? ".dat" : ".spl") << entry.path();
    }
    if (finished) {
      EXPECT_TRUE(saw_new_pair);
      EXPECT_GE(step, 6) << "fewer steps than the writes and renames of a save";
      break;
    }
  }
}

TEST(VocabularyEditorOpen, ADirectoryInPlaceOfThePairIsRefused) {
  testing::CapturingSink sink;
  const fs::path folder = testing::scratch_directory().parent_path() / "VocabularyEditorOpen_Directories";
  fs::remove_all(folder);
  fs::create_directories(folder / "words.dat");
  ReadingSlots slots;
  VocabularyEditor editor({}, slots);
  EXPECT_FALSE(editor.open((folder / "words.dat").string()));
  EXPECT_EQ(sink.boxes.back(), (folder / "words.dat").string() + " !!");
  EXPECT_TRUE(editor.data_path().empty());

  // The .spl file a .dat file pairs with cannot be opened: the editor ends the process.
  fs::create_directories(folder / "names.spl");
  EXPECT_EXIT(
      {
        testing::CapturingSink quiet;
        editor.open((folder / "names.dat").string());
      },
      ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace kws
