// The vocabulary editor and the reading chooser, driven through their widgets
// with the bundled character reading table.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <filesystem>
#include <memory>

#include "engine/engine.h"
#include "platform/token_reader.h"
#include "qt_application.h"
#include "support/big5_text.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "ui/reading_chooser_dialog.h"
#include "ui/vocabulary_editor_dialog.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using testing::big5;
using Texts = std::vector<std::string>;

const LoadedData& bundled_data() {
  static const std::shared_ptr<const LoadedData> data = [] {
    OrRefusal<std::shared_ptr<const LoadedData>> started = start_engine(KWS_DATA_DIR);
    EXPECT_TRUE(started.ok());
    return started.ok() ? *started : std::make_shared<const LoadedData>();
  }();
  return *data;
}

// The editor pairs x.dat with the path cut at its first dot, and
// scratch_directory() names its folder "Suite.Test": the files go to a
// dotless sibling of that folder.
fs::path editor_folder() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path folder =
      testing::scratch_directory().parent_path() / (std::string(test->test_suite_name()) + "_" + test->name());
  fs::remove_all(folder);
  fs::create_directories(folder);
  EXPECT_EQ(folder.string().find('.'), std::string::npos) << "the build folder's path has a dot: " << folder;
  return folder;
}

std::string bytes_of(const fs::path& path) { return read_file_bytes(path.string()).value_or("<missing>"); }

QString qt_path(const fs::path& path) { return QString::fromStdString(path.string()); }

// Records as "name reading" in UTF-8, with the reading's tokens single-blank separated.
Texts shown(const std::vector<EditorRecord>& records) {
  Texts texts;
  for (const EditorRecord& record : records) {
    std::string text = big5_to_utf8(record.name);
    TokenReader tokens(record.reading);
    while (std::optional<std::string_view> token = tokens.next()) text += " " + big5_to_utf8(*token);
    texts.push_back(text);
  }
  return texts;
}

Texts item_texts(const QListWidget* list) {
  Texts texts;
  for (int row = 0; row < list->count(); ++row) texts.push_back(list->item(row)->text().toStdString());
  return texts;
}

// An editor on screen whose file dialog and reading chooser answer from the test.
struct Editor {
  explicit Editor(std::deque<QString> files_to_choose)
      : files(std::move(files_to_choose)),
        dialog(
            bundled_data(), nullptr,
            [this] {
              const QString file = files.empty() ? QString() : files.front();
              if (!files.empty()) files.pop_front();
              return file;
            },
            [this](std::string_view character) {
              asked.push_back(big5_to_utf8(character));
              return big5(answer);
            }) {
    dialog.show();
  }

  QListWidget* list() const { return dialog.findChild<QListWidget*>("1014"); }
  QLineEdit* name_box() const { return dialog.findChild<QLineEdit*>("1015"); }
  std::string reading_shown() const { return dialog.findChild<QLabel*>("1016")->text().toStdString(); }
  Texts words() const { return item_texts(list()); }
  int selected() const {
    return list()->currentItem() && list()->currentItem()->isSelected() ? list()->currentRow() : -1;
  }
  void click(int id) { dialog.findChild<QPushButton*>(QString::number(id))->click(); }
  void select(int row) {
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(row)).center());
  }
  // Keystroke by keystroke, as the user types.
  void type(const QString& text) {
    name_box()->clear();
    for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, name_box(), Qt::Key_unknown, QString(c), {});
  }
  // The Down-arrow key with the caret behind `characters` characters, the chooser answering `reading`.
  void choose(int characters, std::string reading) {
    answer = std::move(reading);
    name_box()->setCursorPosition(characters);
    QTest::keyClick(name_box(), Qt::Key_Down);
  }

  std::deque<QString> files;
  std::string answer;
  Texts asked;
  VocabularyEditorDialog dialog;
};

TEST(VocabularyEditorDialog, EditsAPairAndSavesItNumberedFromOne) {
  testing::qt_application();
  testing::CapturingSink sink;
  const fs::path folder = editor_folder();
  testing::write_file(folder / "words.dat", big5("7 火車\n9 長江\n"));
  testing::write_file(folder / "words.spl",
                      big5("ㄏㄨㄛˇ\nㄔㄜˍ ㄔㄤˊ ㄐㄧㄤˍ\n"));  // tokens pair by count, not by line
  Editor editor({QString(), qt_path(folder / "新詞.dat"), qt_path(folder / "words.dat")});

  editor.click(3);
  editor.click(2);
  EXPECT_EQ(sink.boxes, (Texts{"你沒有指定檔名", "沒有找到 : !!"}));
  // Escape runs the open button too; a new name makes an empty pair.
  QTest::keyClick(editor.name_box(), Qt::Key_Escape);
  EXPECT_EQ(sink.boxes, (Texts{"你沒有指定檔名", "沒有找到 : !!", (folder / "新詞.dat").string(), "Open a New File"}));
  EXPECT_EQ(bytes_of(folder / "新詞.dat"), "");
  EXPECT_EQ(bytes_of(folder / "新詞.spl"), "");
  editor.click(2);
  EXPECT_EQ(sink.boxes.back(), (folder / "words.dat").string());
  EXPECT_EQ(editor.words(), (Texts{"火車", "長江"}));
  EXPECT_EQ(shown(editor.dialog.editor().records()), (Texts{"火車 ㄏㄨㄛˇ ㄔㄜˍ", "長江 ㄔㄤˊ ㄐㄧㄤˍ"}));

  editor.type("行人");
  EXPECT_EQ(editor.reading_shown(), "ㄒㄧㄥˊ ㄖㄣˊ");
  editor.click(5);
  editor.click(5);
  EXPECT_EQ(sink.boxes.back(), "詞庫已存在");
  EXPECT_EQ(editor.words(), (Texts{"火車", "長江", "行人"}));
  // The same word with a chosen reading is another record; a rebuilt reading ends with a blank.
  editor.choose(1, "ㄏㄤˊ");
  EXPECT_EQ(editor.asked, (Texts{"行"}));
  EXPECT_EQ(editor.reading_shown(), "ㄏㄤˊ ㄖㄣˊ ");
  editor.click(5);
  EXPECT_EQ(editor.words(), (Texts{"火車", "長江", "行人", "行人"}));

  // A selection shows the stored reading; modify replaces the record in place.
  editor.select(1);
  EXPECT_EQ(editor.name_box()->text().toStdString(), "長江");
  EXPECT_EQ(editor.reading_shown(), "ㄔㄤˊ ㄐㄧㄤˍ");
  editor.type("長城");
  EXPECT_EQ(editor.reading_shown(), "ㄓㄤˇ ㄔㄥˊ");
  editor.choose(1, "ㄔㄤˊ");
  editor.click(4);
  EXPECT_EQ(editor.words(), (Texts{"火車", "長城", "行人", "行人"}));
  EXPECT_EQ(editor.selected(), 1);
  // Deleting the last record selects the one before it.
  editor.type("北");
  editor.click(5);
  editor.select(4);
  editor.click(6);
  EXPECT_EQ(editor.selected(), 3);

  editor.click(3);
  EXPECT_EQ(bytes_of(folder / "words.dat"), big5("1 火車\n2 長城\n3 行人\n4 行人\n"));
  EXPECT_EQ(bytes_of(folder / "words.spl"), big5("ㄏㄨㄛˇ ㄔㄜˍ\nㄔㄤˊ ㄔㄥˊ \nㄒㄧㄥˊ ㄖㄣˊ\nㄏㄤˊ ㄖㄣˊ \n"));
  EXPECT_FALSE(fs::exists(folder / "words.dat.partial") || fs::exists(folder / "words.spl.partial"));

  // The saved pair reads back as the same store; deleting from the middle
  // keeps the place selected, deleting the only record selects nothing.
  Editor reopened({qt_path(folder / "words.dat")});
  reopened.click(2);
  EXPECT_EQ(shown(reopened.dialog.editor().records()), shown(editor.dialog.editor().records()));
  reopened.select(1);
  reopened.click(6);
  EXPECT_EQ(reopened.words(), (Texts{"火車", "行人", "行人"}));
  EXPECT_EQ(reopened.selected(), 1);
  for (int left = 2; left >= 0; --left) reopened.click(6);
  EXPECT_EQ(reopened.words(), Texts{});
  EXPECT_EQ(reopened.selected(), -1);
  EXPECT_EQ(bytes_of(folder / "words.dat"), big5("1 火車\n2 長城\n3 行人\n4 行人\n")) << "only a save writes";
}

TEST(VocabularyEditorDialog, NameBoxOffersTheChooserOnlyBehindABig5Character) {
  testing::qt_application();
  testing::CapturingSink sink;
  Editor editor({});

  editor.type("長城");
  // Behind nothing, behind ASCII, behind 一 (second byte 0x40) and with a selection: no chooser.
  editor.choose(0, "ㄔㄤˊ");
  editor.type("ab一行");
  for (const int caret : {1, 2, 3}) editor.choose(caret, "ㄏㄤˊ");
  editor.name_box()->setSelection(3, 1);
  QTest::keyClick(editor.name_box(), Qt::Key_Down);
  EXPECT_EQ(editor.asked, Texts{});
  editor.choose(4, "ㄏㄤˊ");
  EXPECT_EQ(editor.asked, (Texts{"行"}));

  // A character without readings keeps what its slot held: 城's ㄔㄥˊ.
  editor.type("長城");
  editor.type("行，");
  EXPECT_EQ(editor.reading_shown(), "ㄒㄧㄥˊ ㄔㄥˊ");
  // The name box takes only what the pair files can carry: Big5, no blank, 24 characters.
  editor.type("一二 三们" + QString(30, QChar(0x56DB)));
  EXPECT_EQ(editor.name_box()->text(), "一二三" + QString(21, QChar(0x56DB)));
  EXPECT_EQ(sink.boxes, Texts{});
}

TEST(ReadingChooserDialog, ListsEveryReadingSortedAndKeepsTheLastDoubleClick) {
  testing::qt_application();
  ReadingChooserDialog chooser(bundled_data(), big5("行"));
  chooser.show();
  EXPECT_EQ(chooser.windowTitle().toStdString(), "選擇適當注音");
  QListWidget* list = chooser.findChild<QListWidget*>("1017");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(item_texts(list), (Texts{"ㄏㄤˊ", "ㄏㄤˋ", "ㄒㄧㄥˊ", "ㄒㄧㄥˋ"}));
  EXPECT_EQ(chooser.chosen_reading(), "");

  for (const int row : {2, 1}) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    EXPECT_TRUE(chooser.isVisible());
  }
  EXPECT_EQ(chooser.chosen_reading(), big5("ㄏㄤˋ"));
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_FALSE(chooser.isVisible());
  EXPECT_EQ(chooser.chosen_reading(), big5("ㄏㄤˋ"));
}

TEST(VocabularyEditorDialog, ADotInAFolderNameCutsTheSyllablePathThere) {
  testing::qt_application();
  testing::CapturingSink sink;
  const fs::path folder = editor_folder();
  fs::create_directories(folder / "my.words");
  Editor editor({qt_path(folder / "my.words" / "list.dat")});
  editor.click(2);
  EXPECT_EQ(editor.dialog.editor().syllable_path(), (folder / "my.spl").string());
  editor.type("北");
  editor.click(5);
  editor.click(3);
  EXPECT_EQ(bytes_of(folder / "my.words" / "list.dat"), big5("1 北\n"));
  EXPECT_EQ(bytes_of(folder / "my.spl"), big5("ㄅㄟˇ\n"));
  EXPECT_EQ(sink.boxes.back(), "Open a New File");
}

TEST(VocabularySaveRecovery, FinishesASaveAfterItsFirstRenameAndUndoesOneBefore) {
  testing::qt_application();
  testing::CapturingSink sink;
  const fs::path folder = editor_folder();
  const fs::path data = testing::write_fixture_data_directory(folder / "station");
  std::string phone_table;
  for (int k = 0; k < kPhoneTableEntries; ++k) phone_table += std::to_string(k) + " -\n";
  testing::write_file(data / "qorphone.tbl", phone_table);
  OrRefusal<std::shared_ptr<const LoadedData>> engine = start_engine(data.string());
  ASSERT_TRUE(engine.ok()) << engine.refusal().text;

  // The process died after renaming the .spl partial: choosing the
  // vocabulary puts the .dat partial in place before loading the pair.
  const fs::path words = data / "data" / "words.dat";
  testing::write_file(words, big5("1 北\n"));
  testing::write_file(data / "data" / "words.spl", big5("ㄔㄜˍ ㄓㄢˋ\n"));
  testing::write_file(data / "data" / "words.dat.partial", big5("1 車站\n"));
  OrRefusal<std::shared_ptr<const Vocabulary>> chosen = choose_vocabulary(**engine, "words");
  ASSERT_TRUE(chosen.ok()) << chosen.refusal().text;
  EXPECT_EQ((*chosen)->names, Texts{big5("車站")});
  EXPECT_EQ(bytes_of(words), big5("1 車站\n"));

  // It died before any rename: the editor's open drops both partials and reads the old pair.
  testing::write_file(words.string() + ".partial", big5("1 北\n"));
  testing::write_file((data / "data" / "words.spl.partial"), big5("ㄅㄟˇ\n"));
  Editor editor({qt_path(words)});
  editor.click(2);
  EXPECT_EQ(shown(editor.dialog.editor().records()), Texts{"車站 ㄔㄜˍ ㄓㄢˋ"});
  EXPECT_FALSE(fs::exists(words.string() + ".partial") || fs::exists(data / "data" / "words.spl.partial"));
  // A lone .spl partial is a save that never made its .dat partial.
  testing::write_file(data / "data" / "words.spl.partial", big5("ㄅㄟˇ\n"));
  EXPECT_EQ(recover_vocabulary_save(words.string()), SaveRecovery::discarded);
  EXPECT_EQ(bytes_of(data / "data" / "words.spl"), big5("ㄔㄜˍ ㄓㄢˋ\n"));
  EXPECT_EQ(recover_vocabulary_save(words.string()), SaveRecovery::nothing_to_do);
}

}  // namespace
}  // namespace kws
