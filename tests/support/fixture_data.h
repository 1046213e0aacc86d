// A small but complete data directory written by the tests themselves: every
// model of the inventory in slot order, anti-models, the keyword reference
// table and a few character readings. Tests then damage single files to see
// the refusals.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "models/hmm_model.h"

namespace kws::testing {

// A deterministic model: emitting_states states of `mixtures` components with
// means drawn from a seed, unit variances and the GConst that makes the
// best-Gaussian score the log density.
HmmModel make_fixture_model(int model_index, int emitting_states, int mixtures);

// Writes the data directory under root (created if needed) and returns root.
std::filesystem::path write_fixture_data_directory(const std::filesystem::path& root);

// Writes bytes to path, creating its folders; ends the test on failure.
void write_file(const std::filesystem::path& path, std::string_view bytes);

// A fresh empty folder under the test's working directory, named after the
// running test.
std::filesystem::path scratch_directory();

}  // namespace kws::testing
