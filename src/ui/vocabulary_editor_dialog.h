// The vocabulary editor (dialog 130): opens a .dat/.spl pair, lets the user
// add, change and remove words with their readings, and saves the pair. It
// works on files only; the engine's loaded vocabulary is not touched.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "engine/loaded_data.h"
#include "lexicon/vocabulary_editor.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace kws {

// The name box: a line edit whose Down-arrow key asks for the reading
// chooser before the key's ordinary handling.
class ReadingEdit : public QLineEdit {
  Q_OBJECT

 public:
  using QLineEdit::QLineEdit;
  std::function<void()> on_down_arrow;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class VocabularyEditorDialog : public QDialog {
  Q_OBJECT

 public:
  // The full UTF-8 path of the .dat file the user picked; empty when cancelled.
  using FileChooser = std::function<QString()>;
  // The reading picked for a Big5 character (Big5; empty when none was).
  using ReadingChooser = std::function<std::string(std::string_view big5_character)>;

  // Left empty, choose_file runs the system file dialog and choose_reading a
  // modal ReadingChooserDialog; tests put their own answers in.
  explicit VocabularyEditorDialog(const LoadedData& data, QWidget* parent = nullptr, FileChooser choose_file = {},
                                  ReadingChooser choose_reading = {});

  const VocabularyEditor& editor() const { return editor_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void open_file();
  void save_file();
  void modify_record();
  void add_record();
  void delete_record();
  void show_record(int row);
  void name_changed();
  void down_arrow();
  void refresh();
  std::string name_box_big5() const;
  int selected_row() const;
  void select_row(int row);

  VocabularyEditor editor_;
  FileChooser choose_file_;
  ReadingChooser choose_reading_;
  QListWidget* word_list_;
  ReadingEdit* name_box_;
  QLabel* reading_label_;
};

}  // namespace kws
