#include "ui/vocabulary_editor_dialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QValidator>

#include "platform/text_encoding.h"
#include "ui/named_widget.h"
#include "ui/reading_chooser_dialog.h"

namespace kws {
namespace {

QString utf8(std::string_view big5) { return QString::fromStdString(big5_to_utf8(big5)); }

// The Big5 bytes of widget text. Only text put in from a damaged file can
// hold characters Big5 cannot write; each becomes "?".
std::string to_big5(const QString& text) {
  if (std::optional<std::string> whole = utf8_to_big5(text.toStdString())) return *whole;
  std::string big5;
  for (const char32_t code : text.toUcs4()) {
    const std::optional<std::string> one = utf8_to_big5(QString::fromUcs4(&code, 1).toStdString());
    big5 += one.value_or("?");
  }
  return big5;
}

// What the pair files can carry as a name: Big5 text without blanks (a blank
// would split it into two tokens) of at most 24 characters.
class NameValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    for (const QChar c : input) {
      if (c.isSpace()) return Invalid;
    }
    const std::optional<std::string> big5 = utf8_to_big5(input.toStdString());
    return big5 && big5->size() <= kEditorNameBytes ? Acceptable : Invalid;
  }
};

QString choose_data_file(QWidget* parent) {
  // Open mode that still takes a new name: a file that does not exist yet starts a new vocabulary.
  QFileDialog dialog(parent, QString(), QString(), "DAT FILE (*.dat)");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix("dat");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

}  // namespace

void ReadingEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Down && on_down_arrow) on_down_arrow();
  QLineEdit::keyPressEvent(event);
}

VocabularyEditorDialog::VocabularyEditorDialog(const LoadedData& data, QWidget* parent, FileChooser choose_file,
                                               ReadingChooser choose_reading)
    : QDialog(parent),
      editor_(data.character_readings, station_reading_slots()),
      choose_file_(std::move(choose_file)),
      choose_reading_(std::move(choose_reading)),
      word_list_(new QListWidget(this)),
      name_box_(new ReadingEdit(this)),
      reading_label_(new QLabel(this)) {
  if (!choose_file_) choose_file_ = [this] { return choose_data_file(this); };
  if (!choose_reading_) {
    choose_reading_ = [&data](std::string_view character) { return ReadingChooserDialog::choose(data, character); };
  }
  setObjectName("130");
  setWindowTitle("Dialog");

  auto button = [this](int id, const char* text) {
    return named_widget<QPushButton>(this, QString::number(id), QString::fromUtf8(text));
  };
  QPushButton* open = button(2, "開檔");
  QPushButton* save = button(3, "存檔");
  QPushButton* modify = button(4, "修改");
  QPushButton* add = button(5, "新增");
  QPushButton* remove = button(6, "刪除");
  QPushButton* close = button(1, "離開");
  // Enter in the dialog goes to this hidden default button and does nothing.
  QPushButton* idle = button(1013, "Button1");
  idle->setDefault(true);
  idle->hide();

  word_list_->setObjectName("1014");
  name_box_->setObjectName("1015");
  name_box_->setValidator(new NameValidator(name_box_));
  reading_label_->setObjectName("1016");
  reading_label_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  reading_label_->setTextFormat(Qt::PlainText);
  reading_label_->setMinimumWidth(260);

  auto* buttons = new QGridLayout;
  buttons->addWidget(open, 0, 0);
  buttons->addWidget(save, 0, 1);
  buttons->addWidget(modify, 1, 0);
  buttons->addWidget(add, 1, 1);
  buttons->addWidget(remove, 2, 0);
  buttons->addWidget(close, 2, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(name_box_);
  right->addWidget(reading_label_);
  right->addLayout(buttons);
  right->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(word_list_, 1);
  layout->addLayout(right);
  layout->addWidget(idle);

  connect(open, &QPushButton::clicked, this, &VocabularyEditorDialog::open_file);
  connect(save, &QPushButton::clicked, this, &VocabularyEditorDialog::save_file);
  connect(modify, &QPushButton::clicked, this, &VocabularyEditorDialog::modify_record);
  connect(add, &QPushButton::clicked, this, &VocabularyEditorDialog::add_record);
  connect(remove, &QPushButton::clicked, this, &VocabularyEditorDialog::delete_record);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  // Only the user's selections show a record; the editor's own changes to
  // the list are made with its signals blocked.
  connect(word_list_, &QListWidget::currentRowChanged, this, &VocabularyEditorDialog::show_record);
  connect(name_box_, &QLineEdit::textChanged, this, &VocabularyEditorDialog::name_changed);
  name_box_->on_down_arrow = [this] { down_arrow(); };
}

void VocabularyEditorDialog::keyPressEvent(QKeyEvent* event) {
  // The open button carries the cancel command: Escape opens a file.
  if (event->matches(QKeySequence::Cancel)) {
    open_file();
    return;
  }
  QDialog::keyPressEvent(event);
}

void VocabularyEditorDialog::open_file() {
  const QString chosen = choose_file_();
  if (chosen.isEmpty()) {
    editor_.report_cancelled_open();
    return;
  }
  if (!editor_.open(chosen.toStdString())) return;
  const QSignalBlocker blocker(word_list_);
  word_list_->clear();
  for (const EditorRecord& record : editor_.records()) word_list_->addItem(utf8(record.name));
}

void VocabularyEditorDialog::save_file() { editor_.save(); }

void VocabularyEditorDialog::modify_record() {
  const int row = selected_row();
  if (row < 0 || !editor_.modify(row, name_box_big5())) return;
  const QSignalBlocker blocker(word_list_);
  delete word_list_->takeItem(row);
  word_list_->insertItem(row, utf8(editor_.records()[static_cast<std::size_t>(row)].name));
  select_row(row);
}

void VocabularyEditorDialog::add_record() {
  if (!editor_.add(name_box_big5())) return;
  const QSignalBlocker blocker(word_list_);
  word_list_->addItem(utf8(editor_.records().back().name));
}

void VocabularyEditorDialog::delete_record() {
  const int row = selected_row();
  if (row < 0) return;
  const int next = editor_.remove(row);
  const QSignalBlocker blocker(word_list_);
  delete word_list_->takeItem(row);
  select_row(next);
}

void VocabularyEditorDialog::show_record(int row) {
  if (row < 0 || row >= static_cast<int>(editor_.records().size())) return;
  const EditorRecord& record = editor_.records()[static_cast<std::size_t>(row)];
  {
    const QSignalBlocker blocker(name_box_);
    name_box_->setText(utf8(record.name));
  }
  // Run even when the text did not change: a selection always proposes the
  // first readings afresh.
  name_changed();
  editor_.set_reading_text(record.reading);
  refresh();
}

void VocabularyEditorDialog::name_changed() {
  editor_.name_changed(name_box_big5());
  refresh();
}

void VocabularyEditorDialog::down_arrow() {
  const QString text = name_box_->text();
  const int first = name_box_->hasSelectedText() ? name_box_->selectionStart() : name_box_->cursorPosition();
  const int last = name_box_->hasSelectedText() ? name_box_->selectionEnd() : first;
  const std::size_t start = to_big5(text.left(first)).size();
  const std::size_t end = to_big5(text.left(last)).size();
  const std::optional<std::string> character = chooser_character(to_big5(text), start, end);
  if (!character) return;
  editor_.reading_chosen(start, choose_reading_(*character));
  refresh();
}

void VocabularyEditorDialog::refresh() { reading_label_->setText(utf8(editor_.reading_text())); }

std::string VocabularyEditorDialog::name_box_big5() const { return to_big5(name_box_->text()); }

int VocabularyEditorDialog::selected_row() const {
  const QListWidgetItem* item = word_list_->currentItem();
  return item != nullptr && item->isSelected() ? word_list_->row(item) : -1;
}

void VocabularyEditorDialog::select_row(int row) {
  if (row < 0) {
    word_list_->setCurrentItem(nullptr);
    word_list_->clearSelection();
    return;
  }
  word_list_->setCurrentRow(row);
}

}  // namespace kws
