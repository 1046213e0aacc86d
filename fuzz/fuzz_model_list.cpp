// The model list (rcdmodel) of any text, read by the start-up of a data
// directory that holds nothing else.
#include "engine/engine.h"
#include "fuzz_input.h"
#include "platform/message_sink.h"

namespace {

class QuietSink final : public kws::MessageSink {
 public:
  void message_box(std::string_view) override {}
  void console(std::string_view) override {}
  void wait_for_key() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static QuietSink sink;
  kws::install_message_sink(&sink);
  const auto folder = kws::fuzz::scratch() / "list";
  std::filesystem::create_directories(folder);
  kws::fuzz::write_file(folder / "rcdmodel", kws::fuzz::text_of(data, size));
  kws::start_engine(folder.string());
  return 0;
}
