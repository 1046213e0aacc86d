#include "trainer/training_data.h"

#include <memory>
#include <optional>

#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "trainer/parallel.h"

namespace kws::trainer {

LoadedCorpus load_training_data(const std::vector<ListedUtterance>& listed, double weight, int jobs) {
  const int count = static_cast<int>(listed.size());
  std::vector<std::optional<TrainingUtterance>> loaded(listed.size());
  std::vector<std::string> problems(listed.size());
  parallel_for(count, jobs, [&](int i) {
    const ListedUtterance& entry = listed[static_cast<std::size_t>(i)];
    const LoadedAudio audio = load_audio_file(entry.audio_path);
    if (!audio.ok()) {
      problems[static_cast<std::size_t>(i)] = entry.origin + ": " + audio.error;
      return;
    }
    const long long frame_count = static_cast<long long>(audio.samples.size()) / 160 - 1;
    if (frame_count > kMaxFrames) {
      problems[static_cast<std::size_t>(i)] =
          format_text("%s: %.2f s is longer than the 8 s the station handles", entry.origin.c_str(),
                      static_cast<double>(audio.samples.size()) / kStationSampleRate);
      return;
    }
    // The front end's buffers are large; one per utterance keeps threads apart.
    auto front_end = std::make_unique<FrontEndOwner>();
    auto features = std::make_unique<FeatureMatrix>();
    if (const std::string refusal = front_end->set_up(); !refusal.empty()) {
      problems[static_cast<std::size_t>(i)] = entry.origin + ": " + refusal;
      return;
    }
    const int frames = front_end->front_end().extract_features(audio.samples.data(), 0,
                                                               static_cast<int>(audio.samples.size()), *features);
    TrainingUtterance utterance;
    utterance.origin = entry.origin;
    utterance.frames.assign(features->begin(), features->begin() + std::max(frames, 0));
    utterance.units = alignment_units(entry.syllables);
    utterance.weight = weight;
    loaded[static_cast<std::size_t>(i)] = std::move(utterance);
  });
  LoadedCorpus corpus;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (loaded[i]) corpus.utterances.push_back(std::move(*loaded[i]));
    if (!problems[i].empty()) corpus.problems.push_back(std::move(problems[i]));
  }
  return corpus;
}

}  // namespace kws::trainer
