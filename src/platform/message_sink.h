// The one place the engine's user-facing texts go.
//
// The engine reports two kinds of text: modal message boxes (owned by the main
// dialog, OK button, application title as caption) and lines the station writes
// to its standard output. The station installs a sink that shows real message
// boxes; the kws command writes both kinds to standard error so that standard
// output carries only results; tests install a sink that captures. Texts are
// UTF-8; callers convert Big5 data before reporting it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kws {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A modal message box; returns when the user has acknowledged it.
  virtual void message_box(std::string_view text) = 0;
  // A line of the station's standard output, written as given (texts carry their own newlines).
  virtual void console(std::string_view text) = 0;
  // A console line about the sound devices (opened, reset, failed to open):
  // the station's output has them; a command-line user may not want them.
  virtual void device_console(std::string_view text) { console(text); }
  // Waits for one character from the user (some start-up failures pause before ending).
  virtual void wait_for_key() = 0;
};

// A sink that writes console lines and message boxes to standard streams; a
// box without a line end gets one.
class StreamSink final : public MessageSink {
 public:
  // wait_for_keys: whether wait_for_key reads a character from standard input.
  // device_lines: whether device console lines are written.
  StreamSink(std::FILE* console, std::FILE* boxes, bool wait_for_keys, bool device_lines = true)
      : console_(console), boxes_(boxes), wait_for_keys_(wait_for_keys), device_lines_(device_lines) {}
  void message_box(std::string_view text) override;
  void console(std::string_view text) override;
  void device_console(std::string_view text) override;
  void wait_for_key() override;

 private:
  std::FILE* console_;
  std::FILE* boxes_;
  bool wait_for_keys_;
  bool device_lines_;
};

// The process-wide sink; the default writes console lines to standard output,
// message boxes to standard error, and reads one character for wait_for_key.
MessageSink& message_sink();

// Installs a sink for the whole process and returns the one it replaces;
// nullptr restores the default. The sink must outlive its installation.
MessageSink* install_message_sink(MessageSink* sink);

// Ends the process with exit status 1 after flushing the standard streams:
// what a program edge does once a refusal that ends the station is shown.
[[noreturn]] void end_process_with_failure();

// printf-style formatting into a std::string, for the fixed message texts.
[[gnu::format(printf, 1, 2)]] std::string format_text(const char* format, ...);

}  // namespace kws
