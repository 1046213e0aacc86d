// Child widgets made with the object name the tests (and the station's
// control ids) find them by.
#pragma once

#include <QString>
#include <QWidget>
#include <utility>

namespace kws {

// new Widget(arguments..., parent), named name.
template <typename Widget, typename... Arguments>
Widget* named_widget(QWidget* parent, const QString& name, Arguments&&... arguments) {
  auto* widget = new Widget(std::forward<Arguments>(arguments)..., parent);
  widget->setObjectName(name);
  return widget;
}

}  // namespace kws
