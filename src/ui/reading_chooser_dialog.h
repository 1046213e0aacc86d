// The reading chooser: every reading the character reading table gives one
// character, sorted; a double-click takes one. It has no buttons: Enter,
// Escape or the close box end it, and the caller uses whatever was chosen.
#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "engine/loaded_data.h"

class QListWidget;

namespace kws {

class ReadingChooserDialog : public QDialog {
  Q_OBJECT

 public:
  // big5_character: the two bytes of one Big5 character.
  ReadingChooserDialog(const LoadedData& data, std::string_view big5_character, QWidget* parent = nullptr);

  // Big5; empty until a reading is double-clicked.
  const std::string& chosen_reading() const { return chosen_reading_; }

  // Runs a chooser for the character modally, without owner, and returns its choice.
  static std::string choose(const LoadedData& data, std::string_view big5_character);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::string character_;
  std::string chosen_reading_;
  QListWidget* readings_;
};

}  // namespace kws
