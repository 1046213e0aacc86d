#include "ui/reading_chooser_dialog.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "lexicon/vocabulary_editor.h"
#include "platform/text_encoding.h"

namespace kws {

ReadingChooserDialog::ReadingChooserDialog(const LoadedData& data, std::string_view big5_character, QWidget* parent)
    : QDialog(parent), character_(big5_character.substr(0, 2)), readings_(new QListWidget(this)) {
  setObjectName("133");
  setWindowTitle(QString::fromUtf8("選擇適當注音"));
  readings_->setObjectName("1017");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(readings_);

  // Sorted in Big5 byte order, the order of the syllable table, rather than
  // by the UTF-16 order Qt's own sorting would give the tone marks.
  std::vector<std::string> readings = list_readings_of(data.character_readings, character_);
  std::sort(readings.begin(), readings.end());
  for (const std::string& reading : readings) {
    auto* item = new QListWidgetItem(QString::fromStdString(big5_to_utf8(reading)), readings_);
    item->setData(Qt::UserRole, QByteArray::fromStdString(reading));
  }
  // The dialog stays open: a later double-click replaces the choice.
  connect(readings_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    chosen_reading_ = item->data(Qt::UserRole).toByteArray().toStdString().substr(0, kChosenReadingBytes);
  });
}

void ReadingChooserDialog::keyPressEvent(QKeyEvent* event) {
  // Without buttons a dialog ignores Enter; here it closes the chooser.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

std::string ReadingChooserDialog::choose(const LoadedData& data, std::string_view big5_character) {
  ReadingChooserDialog chooser(data, big5_character);
  chooser.exec();
  return chooser.chosen_reading();
}

}  // namespace kws
