// Recordings made ready for training: features computed by the station's own
// front end, and the chain of units each utterance is aligned with.
#pragma once

#include <string>
#include <vector>

#include "frontend/feature_extraction.h"
#include "trainer/alignment.h"
#include "trainer/corpus_list.h"

namespace kws::trainer {

struct TrainingUtterance {
  std::string origin;  // list file and line
  std::vector<FeatureVector> frames;
  std::vector<AlignmentUnit> units;
  double weight = 1.0;  // how much the utterance counts in the statistics
};

struct LoadedCorpus {
  std::vector<TrainingUtterance> utterances;
  std::vector<std::string> problems;  // one line per utterance left out, and why
};

// Features of every listed recording, in list order. Recordings that cannot
// be read, or that are longer than the station's 8 seconds, are left out and
// reported.
LoadedCorpus load_training_data(const std::vector<ListedUtterance>& listed, double weight, int jobs);

}  // namespace kws::trainer
