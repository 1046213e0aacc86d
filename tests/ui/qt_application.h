// The one QApplication of the window tests, on the offscreen platform.
#pragma once

#include <QApplication>
#include <functional>

namespace kws::testing {

// Made on first use; lives until the test program ends.
QApplication& qt_application();

// Processes events until done() holds, for at most the time given; whether it held.
bool wait_until(const std::function<bool()>& done, int milliseconds);

}  // namespace kws::testing
