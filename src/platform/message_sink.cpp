#include "platform/message_sink.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace kws {
namespace {

class DefaultSink final : public MessageSink {
 public:
  void message_box(std::string_view text) override { write(stderr, text); }
  void console(std::string_view text) override { write(stdout, text); }
  void wait_for_key() override { std::getchar(); }

 private:
  static void write(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
  }
};

DefaultSink default_sink;
std::atomic<MessageSink*> installed_sink{nullptr};

}  // namespace

MessageSink& message_sink() {
  MessageSink* sink = installed_sink.load(std::memory_order_acquire);
  return sink != nullptr ? *sink : default_sink;
}

MessageSink* install_message_sink(MessageSink* sink) {
  return installed_sink.exchange(sink, std::memory_order_acq_rel);
}

void end_process_with_failure() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(1);
}

std::string format_text(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list measure;
  va_copy(measure, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(length));
  }
  va_end(arguments);
  return text;
}

}  // namespace kws
