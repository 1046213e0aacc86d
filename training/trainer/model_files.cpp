#include "trainer/model_files.h"

#include <filesystem>

#include "models/anti_model_file.h"
#include "models/model_inventory.h"
#include "platform/file_output.h"

namespace kws::trainer {
std::string write_model_files(const std::string& data_directory, const std::vector<TrainedModel>& models,
                              const std::vector<TrainedModel>& anti_models) {
  const std::filesystem::path root(data_directory);
  std::string list = std::to_string(models.size()) + "\n";
  for (const TrainedModel& model : models) {
    const std::string name(inventory_name(model.inventory_index));
    list += name + "\n";
    if (std::string error = write_file_whole(root / "model" / "bsl" / name, definition_text(model)); !error.empty())
      return error;
  }
  std::vector<HmmModel> records;
  for (const TrainedModel& model : anti_models) records.push_back(model_record(model));
  if (std::string error = write_file_whole(root / "rcdhmm" / "anti0630.hmm", anti_model_file_bytes(records));
      !error.empty()) {
    return error;
  }
  // The list last: a data directory is only complete once it names its models.
  return write_file_whole(root / "rcdmodel", list);
}

}  // namespace kws::trainer
