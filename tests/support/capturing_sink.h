// Message sinks for tests: one that records what the engine reports, and one
// that writes everything to standard error so death tests can match it.
#pragma once

#include <string>
#include <vector>

#include "platform/message_sink.h"

namespace kws::testing {

class CapturingSink final : public MessageSink {
 public:
  CapturingSink() : previous_(install_message_sink(this)) {}
  ~CapturingSink() override { install_message_sink(previous_); }
  CapturingSink(const CapturingSink&) = delete;
  CapturingSink& operator=(const CapturingSink&) = delete;

  void message_box(std::string_view text) override { boxes.emplace_back(text); }
  void console(std::string_view text) override { lines.emplace_back(text); }
  void wait_for_key() override { ++key_waits; }

  std::vector<std::string> boxes;
  std::vector<std::string> lines;
  int key_waits = 0;

 private:
  MessageSink* previous_;
};

// Installs a sink that writes both kinds of text to standard error and never
// waits for a key: what a death test needs to see the message.
void install_stderr_sink();

}  // namespace kws::testing
