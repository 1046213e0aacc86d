#include "support/capturing_sink.h"

#include <cstdio>

namespace kws::testing {
namespace {

class StderrSink final : public MessageSink {
 public:
  void message_box(std::string_view text) override { write(text); }
  void console(std::string_view text) override { write(text); }
  void wait_for_key() override {}

 private:
  static void write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

void install_stderr_sink() {
  static StderrSink sink;
  install_message_sink(&sink);
}

}  // namespace kws::testing
