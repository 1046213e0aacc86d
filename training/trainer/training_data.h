// Recordings made ready for training: features computed by the station's own
// front end, and the chain of units each utterance is aligned with.
#pragma once

#include <string>
#include <vector>

#include "corpus/augmentation.h"
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

// Perturbed copies made of every recording of a list, besides the recording itself.
struct Augmentation {
  int copies = 0;
  corpus::AugmentationKinds kinds;
  std::uint64_t seed = 20240607;
};

// Features of every listed recording, in list order, each followed by its
// perturbed copies. A recording that starts or ends in speech gets quiet
// edges first (corpus::pad_clipped_edges). Recordings that cannot be read, or
// that are longer than the station's 8 seconds, are left out and reported; a
// copy that a slower speed makes too long is left out silently.
LoadedCorpus load_training_data(const std::vector<ListedUtterance>& listed, double weight, int jobs,
                                const Augmentation& augmentation = {});

}  // namespace kws::trainer
