#include "ui/qt_message_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>
#include <mutex>

#include "platform/auto_reset_event.h"

namespace kws {

void post_to_thread_of(QObject* receiver, std::function<void()> call) {
  static std::mutex hand_over;
  // Held while Qt stores the call, taken again before it runs.
  const std::lock_guard<std::mutex> posting(hand_over);
  QMetaObject::invokeMethod(
      receiver,
      [call = std::move(call)] {
        { const std::lock_guard<std::mutex> received(hand_over); }
        call();
      },
      Qt::QueuedConnection);
}

void call_on_thread_of(QObject* receiver, const std::function<void()>& call) {
  if (QThread::currentThread() == receiver->thread()) {
    call();
    return;
  }
  AutoResetEvent done;
  post_to_thread_of(receiver, [&call, &done] {
    call();
    done.set();
  });
  done.wait();
}

void QtMessageSink::message_box(std::string_view text) {
  const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  // Over the dialog the user is working in: a modal one (the editor) if open.
  const auto show = [this, &shown] {
    QWidget* modal = QApplication::activeModalWidget();
    QMessageBox::information(modal != nullptr ? modal : owner_.data(), QString(), shown);
  };
  // A worker waits until the user has dismissed the box.
  call_on_thread_of(qApp, show);
}

void QtMessageSink::console(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace kws
