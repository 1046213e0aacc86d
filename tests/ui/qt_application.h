// The one QApplication of the window tests, on the offscreen platform.
#pragma once

#include <QApplication>

namespace kws::testing {

// Made on first use; lives until the test program ends.
QApplication& qt_application();

}  // namespace kws::testing
