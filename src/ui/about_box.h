// The About box: the program's name, version and version record.
#pragma once

#include <QDialog>

namespace kws {

inline constexpr const char* kAboutMenuText = "&About pavix...";

class AboutBox final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace kws
