#include "trainer/training_data.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "corpus/random_source.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "trainer/parallel.h"

namespace kws::trainer {

namespace {

std::optional<std::vector<FeatureVector>> features_of(const std::vector<std::int16_t>& samples, double warp,
                                                      std::string& problem) {
  // The front end's buffers are large; one per utterance keeps threads apart.
  auto front_end = std::make_unique<FrontEndOwner>();
  auto features = std::make_unique<FeatureMatrix>();
  if (std::string refusal = front_end->set_up(warp); !refusal.empty()) {
    problem = std::move(refusal);
    return std::nullopt;
  }
  const int frames =
      front_end->front_end().extract_features(samples.data(), 0, static_cast<int>(samples.size()), *features);
  return std::vector<FeatureVector>(features->begin(), features->begin() + std::max(frames, 0));
}

bool too_long(const std::vector<std::int16_t>& samples) {
  return static_cast<long long>(samples.size()) / 160 - 1 > kMaxFrames;
}

}  // namespace

LoadedCorpus load_training_data(const std::vector<ListedUtterance>& listed, double weight, int jobs,
                                const Augmentation& augmentation) {
  const int versions = 1 + std::max(augmentation.copies, 0);
  std::vector<std::optional<TrainingUtterance>> loaded(listed.size() * static_cast<std::size_t>(versions));
  std::vector<std::string> problems(listed.size());
  parallel_for(static_cast<int>(listed.size()), jobs, [&](int i) {
    const auto index = static_cast<std::size_t>(i);
    const ListedUtterance& entry = listed[index];
    LoadedAudio audio = load_audio_file(entry.audio_path);
    // Seeded by the file's name, not its path, so a corpus moved elsewhere gives the same copies.
    const std::string name = std::filesystem::path(entry.audio_path).filename().string();
    if (!audio.ok()) {
      problems[index] = entry.origin + ": " + audio.error;
      return;
    }
    if (too_long(audio.samples)) {
      problems[index] = format_text("%s: %.2f s is longer than the 8 s the station handles", entry.origin.c_str(),
                                    static_cast<double>(audio.samples.size()) / kStationSampleRate);
      return;
    }
    if (auto padded = corpus::pad_clipped_edges(audio.samples, corpus::utterance_seed(name, augmentation.seed));
        !too_long(padded)) {
      audio.samples = std::move(padded);
    }
    for (int copy = 0; copy < versions; ++copy) {
      corpus::Perturbation perturbation;
      std::vector<std::int16_t> perturbed;
      if (copy > 0) {
        perturbation = corpus::draw_perturbation(name, copy, augmentation.kinds, augmentation.seed);
        perturbed = corpus::perturb_audio(audio.samples, perturbation);
        if (too_long(perturbed)) continue;
      }
      std::string problem;
      auto frames = features_of(copy > 0 ? perturbed : audio.samples, perturbation.warp, problem);
      if (!frames) {
        problems[index] = entry.origin + ": " + problem;
        return;
      }
      TrainingUtterance utterance;
      utterance.origin = copy == 0 ? entry.origin : entry.origin + " (" + perturbation.describe() + ")";
      utterance.frames = std::move(*frames);
      utterance.units = alignment_units(entry.syllables);
      utterance.weight = weight;
      loaded[index * static_cast<std::size_t>(versions) + static_cast<std::size_t>(copy)] = std::move(utterance);
    }
  });
  LoadedCorpus corpus;
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    if (loaded[i]) corpus.utterances.push_back(std::move(*loaded[i]));
  }
  for (std::string& problem : problems) {
    if (!problem.empty()) corpus.problems.push_back(std::move(problem));
  }
  return corpus;
}

}  // namespace kws::trainer
