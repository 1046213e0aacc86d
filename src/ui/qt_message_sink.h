// The station's message sink: message boxes over the main window, shown on
// the GUI thread (a worker waits until the user has dismissed one), and
// console lines on standard output.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "platform/message_sink.h"

namespace kws {

// Runs call on the thread of receiver and returns when it has run; at once
// when already there. The wait is on the station's own event, so the
// hand-over of what call reads is visible to the thread checker too.
void call_on_thread_of(QObject* receiver, const std::function<void()>& call);

class QtMessageSink final : public MessageSink {
 public:
  // The owner of the message boxes; may change, may be none.
  void set_owner(QWidget* owner) { owner_ = owner; }

  void message_box(std::string_view text) override;
  void console(std::string_view text) override;
  // The station has no console to read a key from.
  void wait_for_key() override {}

 private:
  QPointer<QWidget> owner_;
};

}  // namespace kws
