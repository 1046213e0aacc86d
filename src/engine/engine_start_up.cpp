#include "engine/engine_start_up.h"

#include <optional>

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

std::optional<Refusal> load_anti_models(LoadedData& data) {
  const std::string path = join_data_path(data.data_directory, "\\rcdhmm\\anti0630.hmm");
  switch (load_anti_model_file(path, data.anti_models)) {
    case AntiModelLoad::loaded:
      return std::nullopt;
    case AntiModelLoad::cannot_open:
      return Refusal::on_console("Open file man.hmm error!\n");
    case AntiModelLoad::no_memory:
      return Refusal::on_console("HMM Memory allocation error !\n");
    case AntiModelLoad::count_out_of_range:
      break;
  }
  return Refusal::on_console(
      format_text("%s: anti-model count %d is outside 0..%d\n", path.c_str(), data.anti_models.count, kMaxAntiModels));
}

std::optional<Refusal> load_keyword_references(LoadedData& data) {
  const std::string path = join_data_path(data.data_directory, "\\train_index.txt");
  std::optional<std::string> text = read_file_bytes(path);
  if (!text) return Refusal::in_message_box("Open train_index.txt error!\n");
  const std::string refusal = parse_keyword_references(std::move(*text), path, data.keyword_references);
  if (!refusal.empty()) return Refusal::on_console(refusal + "\n");
  return std::nullopt;
}

std::optional<Refusal> load_main_models(LoadedData& data) {
  const std::string path = join_data_path(data.data_directory, "\\rcdmodel");
  std::optional<TokenReader> list = TokenReader::open(path);
  if (!list) return Refusal::on_console("Open file models error!\n");

  const std::optional<std::string_view> count_token = list->next();
  const std::optional<long> count = count_token ? parse_integer(*count_token) : std::optional<long>(0);
  if (!count) {
    return Refusal::on_console(format_text("%s: model count \"%.*s\" is not a number\n", path.c_str(),
                                           static_cast<int>(count_token->size()), count_token->data()));
  }
  // Only the low 16 bits of the count are kept, as a signed number.
  const auto model_count = static_cast<std::int16_t>(*count);
  if (model_count < 0 || model_count > kMaxModels) {
    return Refusal::on_console(
        format_text("%s: model count %d is outside 0..%d\n", path.c_str(), model_count, kMaxModels));
  }
  if (!data.main_models.allocate(model_count)) return Refusal::on_console("HMM Memory allocation error !\n");

  for (HmmModel& record : data.main_models.models()) {
    const std::optional<std::string_view> name = list->next();
    if (!name) break;  // a short list leaves the remaining records empty
    if (model_index_of(*name) < 0) {
      return Refusal::in_message_box(format_text("Unknown model %.*s\n", static_cast<int>(name->size()), name->data()));
    }
    if (std::optional<Refusal> refusal = read_hmm_definition(data.data_directory, *name, record)) return refusal;
  }
  return std::nullopt;
}

std::optional<Refusal> load_character_reading_table(LoadedData& data) {
  // Read from the data directory: the station starts with the data directory
  // as its working directory, and the kws command may start anywhere.
  const std::string path = join_data_path(data.data_directory, "\\dict1.bin");
  const std::optional<std::string> bytes = read_file_bytes(path);
  if (!bytes) {
    Refusal refusal = Refusal::on_console("Open File Table read error !!\n");
    refusal.wait_for_key = true;
    return refusal;
  }
  load_character_readings(*bytes, data.character_readings);
  return std::nullopt;
}

}  // namespace

std::string data_directory_refusal(std::string_view directory) {
  const std::size_t length = without_trailing_separator(directory).size();
  if (length + kLongestDataSuffix <= kMaxPathBytes) return {};
  return format_text("the data directory path is %zu bytes long; this system allows at most %zu", length,
                     kMaxPathBytes - kLongestDataSuffix);
}

std::string set_data_directory(LoadedData& data, std::string_view directory) {
  std::string refusal = data_directory_refusal(directory);
  if (refusal.empty()) data.data_directory = without_trailing_separator(directory);
  return refusal;
}

std::optional<Refusal> engine_start_up(LoadedData& data) {
  for (auto* step : {load_anti_models, load_keyword_references, load_main_models, load_character_reading_table}) {
    if (std::optional<Refusal> refusal = step(data)) return refusal;
  }
  pack_gaussians(data);
  if (std::string refusal = analysis_setup(data.analysis); !refusal.empty()) {
    return Refusal::on_console(std::move(refusal));
  }
  return std::nullopt;
}

}  // namespace kws
