#include "support/capturing_sink.h"

#include <cstdio>

namespace kws::testing {

void install_stderr_sink() {
  static StreamSink sink(stderr, stderr, false);
  install_message_sink(&sink);
}

}  // namespace kws::testing
