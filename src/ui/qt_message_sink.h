// The station's message sink: message boxes over the main window, shown on
// the GUI thread (a worker waits until the user has dismissed one), and
// console lines on standard output.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "platform/message_sink.h"

namespace kws {

// Queues call to run on the thread of receiver, from its event loop; dropped
// if receiver is gone by then. What the caller wrote before posting is
// visible to call, for the thread checker too: Qt's event queue locks with
// futexes it cannot see, so the hand-over also passes a lock of our own.
void post_to_thread_of(QObject* receiver, std::function<void()> call);

// Runs call on the thread of receiver and returns when it has run; at once
// when already there.
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
