#include <new>
#include <optional>

#include "engine/recognizer_engine.h"
#include "engine/start_up_files.h"
#include "models/anti_model_file.h"
#include "models/hmm_definition.h"
#include "models/model_inventory.h"
#include "platform/data_path.h"
#include "platform/message_sink.h"
#include "platform/token_reader.h"

namespace kws {
namespace {

// Room kept under the data directory for the longest name formed from it.
constexpr std::size_t kLongestDataSuffix = 64;

[[noreturn]] void fail_on_console(const std::string& text) {
  message_sink().console(text);
  end_process_with_failure();
}

[[noreturn]] void fail_in_message_box(const std::string& text) {
  message_sink().message_box(text);
  end_process_with_failure();
}

void load_anti_models(RecognizerEngine& engine) {
  const std::string path = join_data_path(engine.data_directory, "\\rcdhmm\\anti0630.hmm");
  switch (load_anti_model_file(path, engine.anti_models)) {
    case AntiModelLoad::loaded:
      return;
    case AntiModelLoad::cannot_open:
      fail_on_console("Open file man.hmm error!\n");
    case AntiModelLoad::no_memory:
      fail_on_console("HMM Memory allocation error !\n");
    case AntiModelLoad::count_out_of_range:
      fail_on_console(format_text("%s: anti-model count %d is outside 0..%d\n", path.c_str(),
                                  engine.anti_models.count, kMaxAntiModels));
  }
}

void load_keyword_references(RecognizerEngine& engine) {
  const std::string path = join_data_path(engine.data_directory, "\\train_index.txt");
  std::optional<std::string> text = read_file_bytes(path);
  if (!text) fail_in_message_box("Open train_index.txt error!\n");
  const std::string refusal = parse_keyword_references(std::move(*text), path, engine.keyword_references);
  if (!refusal.empty()) fail_on_console(refusal + "\n");
}

void load_main_models(RecognizerEngine& engine) {
  const std::string path = join_data_path(engine.data_directory, "\\rcdmodel");
  std::optional<TokenReader> list = TokenReader::open(path);
  if (!list) fail_on_console("Open file models error!\n");

  const std::optional<std::string_view> count_token = list->next();
  const std::optional<long> count = count_token ? parse_integer(*count_token) : std::optional<long>(0);
  if (!count) {
    fail_on_console(format_text("%s: model count \"%.*s\" is not a number\n", path.c_str(),
                                static_cast<int>(count_token->size()), count_token->data()));
  }
  // Only the low 16 bits of the count are kept, as a signed number.
  const auto model_count = static_cast<std::int16_t>(*count);
  if (model_count < 0 || model_count > kMaxModels) {
    fail_on_console(format_text("%s: model count %d is outside 0..%d\n", path.c_str(), model_count, kMaxModels));
  }
  if (!engine.main_models.allocate(model_count)) fail_on_console("HMM Memory allocation error !\n");

  engine.sample_buffer.reset(new (std::nothrow) std::int16_t[kSampleBufferSamples]());
  if (!engine.sample_buffer) fail_on_console("HMM Memory allocation error !\n");

  for (HmmModel& record : engine.main_models.models()) {
    const std::optional<std::string_view> name = list->next();
    if (!name) break;  // a short list leaves the remaining records empty
    if (model_index_of(*name) < 0) {
      fail_in_message_box(format_text("Unknown model %.*s\n", static_cast<int>(name->size()), name->data()));
    }
    read_hmm_definition(engine.data_directory, *name, record);
  }
}

void load_character_reading_table(RecognizerEngine& engine) {
  // Read from the data directory: the station starts with the data directory
  // as its working directory, and the kws command may start anywhere.
  const std::string path = join_data_path(engine.data_directory, "\\dict1.bin");
  const std::optional<std::string> bytes = read_file_bytes(path);
  if (!bytes) {
    message_sink().console("Open File Table read error !!\n");
    message_sink().wait_for_key();
    end_process_with_failure();
  }
  load_character_readings(*bytes, engine.character_readings);
}

}  // namespace

std::string set_data_directory(RecognizerEngine& engine, std::string_view directory) {
  std::string cleaned = without_trailing_separator(directory);
  if (cleaned.size() + kLongestDataSuffix > kMaxPathBytes) {
    return format_text("the data directory path is %zu bytes long; this system allows at most %zu",
                       cleaned.size(), kMaxPathBytes - kLongestDataSuffix);
  }
  engine.data_directory = std::move(cleaned);
  return {};
}

void engine_start_up(RecognizerEngine& engine) {
  load_anti_models(engine);
  load_keyword_references(engine);
  load_main_models(engine);
  load_character_reading_table(engine);
  front_end().analysis_setup();
}

void engine_shut_down(RecognizerEngine& engine) {
  release_vocabulary(engine.vocabulary);
  engine.main_models.release();
  engine.anti_models.release();
  engine.sample_buffer.reset();
  engine.analysis_source = {};
}

int extract_features(RecognizerEngine& engine) {
  const AnalysisSource& source = engine.analysis_source;
  return front_end().extract_features(source.samples, source.start, source.end, engine.features);
}

}  // namespace kws
