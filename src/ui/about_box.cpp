#include "ui/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/station_icon.h"

namespace kws {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("100");
  setWindowTitle("About pavix");
  auto* icon = new QLabel(this);
  icon->setPixmap(station_icon().pixmap(32, 32));
  auto* name = new QLabel("pavix Version 1.0", this);
  auto* record = new QLabel(
      "File and product version 1.0.0.1\n"
      "Internal name PAVIX\n"
      "Product name PAVIX Application",
      this);
  record->setObjectName("version record");
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("1");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(record);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(text, 1);
  row->addWidget(ok, 0, Qt::AlignTop);
  setLayout(row);
}

}  // namespace kws
