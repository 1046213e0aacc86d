#include "platform/message_sink.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/refusal.h"

namespace kws {
namespace {

void write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

StreamSink default_sink(stdout, stderr, true);
std::atomic<MessageSink*> installed_sink{nullptr};

}  // namespace

// Each box is a line of its own, as each would be a window of its own.
void StreamSink::message_box(std::string_view text) {
  write(boxes_, text);
  if (text.empty() || text.back() != '\n') write(boxes_, "\n");
}

void StreamSink::console(std::string_view text) { write(console_, text); }

void StreamSink::device_console(std::string_view text) {
  if (device_lines_) write(console_, text);
}

void StreamSink::wait_for_key() {
  if (wait_for_keys_) std::getchar();
}

MessageSink& message_sink() {
  MessageSink* sink = installed_sink.load(std::memory_order_acquire);
  return sink != nullptr ? *sink : default_sink;
}

MessageSink* install_message_sink(MessageSink* sink) {
  return installed_sink.exchange(sink, std::memory_order_acq_rel);
}

void show_refusal(const Refusal& refusal) {
  MessageSink& sink = message_sink();
  if (refusal.shown == Refusal::Shown::message_box) {
    sink.message_box(refusal.text);
  } else {
    sink.console(refusal.text);
  }
  if (refusal.wait_for_key) sink.wait_for_key();
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
