#include "qt_application.h"

#include <cstdlib>

namespace kws::testing {

QApplication& qt_application() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    // No display in the tests: the offscreen platform renders into memory.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *application;
}

}  // namespace kws::testing
