// Writing trained models where the station loads them from: the model list
// "rcdmodel", one definition file per model under model/bsl/, and the
// anti-model file rcdhmm/anti0630.hmm.
#pragma once

#include <string>
#include <vector>

#include "trainer/acoustic_model.h"

namespace kws::trainer {

// models are by slot (all 153, in the list order the search relies on),
// anti_models by anti-model slot. Each file is written beside its place and
// renamed into it, so an interrupted run leaves every file whole. Returns an
// empty string or what could not be written.
std::string write_model_files(const std::string& data_directory, const std::vector<TrainedModel>& models,
                              const std::vector<TrainedModel>& anti_models);

}  // namespace kws::trainer
