// Reading a data directory's models back into the trainer's form, the inverse
// of write_model_files: what is read and written back unchanged gives the same
// bytes, so tools that change a few models leave the others as they were.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "trainer/acoustic_model.h"

namespace kws::trainer {

struct DirectoryModels {
  std::vector<TrainedModel> models;       // by slot, 153
  std::vector<TrainedModel> anti_models;  // by anti-model slot
};

// The model list must name the 153 models in slot order, and every model must
// be left to right without skips (the only shape the trainer writes). Main
// models keep the variances their definition files print; anti-models, stored
// as records only, get variances and stay probabilities whose record is the
// one read. nullopt with error set (naming the file) otherwise.
std::optional<DirectoryModels> read_model_files(const std::string& data_directory, std::string& error);

}  // namespace kws::trainer
