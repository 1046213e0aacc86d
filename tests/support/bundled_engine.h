// The bundled data directory's engine for the tests that run real passes:
// started once per suite, with the vocabulary 火車系統 chosen.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace kws::testing {

// The data directory in the source tree.
std::string bundled_data_directory();

// folder/data: links to the bundled data directory's parts, but a folder of
// its own for dat/, so that what the station writes into its data directory
// (debug.pcm, the lattice files) stays in folder.
std::filesystem::path link_bundled_data(const std::filesystem::path& folder);

class BundledEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static const std::shared_ptr<const LoadedData>& data() { return *data_; }
  static const std::shared_ptr<const Vocabulary>& vocabulary() { return *vocabulary_; }
  static Workspace workspace();
  // wave/tr1_N.wav of the bundled data.
  static std::vector<std::int16_t> recording(int n);

 private:
  static std::shared_ptr<const LoadedData>* data_;
  static std::shared_ptr<const Vocabulary>* vocabulary_;
};

// Everything a caller sees of an outcome, in one comparable text.
std::string outcome_summary(const RecognitionOutcome& outcome);

}  // namespace kws::testing
