#include "support/tone_data.h"

#include <sndfile.h>

#include <cmath>
#include <map>
#include <memory>
#include <numbers>

#include "engine/engine_values.h"
#include "engine/loaded_data.h"
#include "frontend/feature_extraction.h"
#include "lexicon/syllable_decomposition.h"
#include "lexicon/syllable_table.h"
#include "models/anti_model_file.h"
#include "models/hmm_definition.h"
#include "models/model_inventory.h"
#include "support/big5_text.h"
#include "support/fixture_data.h"

namespace kws::testing {
namespace {

constexpr int kSampleRate = 16000;
constexpr int kFrameSamples = 160;
constexpr int kEmittingStates = 2;
// Floors on the fitted variances. A steady tone has almost no delta spread,
// but where one unit meets the next the deltas swing; the wider delta floor
// keeps those frames from ruining a unit's score.
constexpr float kStaticVarianceFloor = 0.05f;
constexpr float kDeltaVarianceFloor = 1.0f;

// Deterministic quiet: low white noise from a fixed sequence.
class Noise {
 public:
  std::int16_t next(int amplitude) {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<std::int16_t>(static_cast<int>(state_ >> 16) % (2 * amplitude + 1) - amplitude);
  }

 private:
  std::uint32_t state_ = 12345u;
};

// Every unit the vocabulary uses, in order of first use, with its tone.
std::vector<std::string> designed_units() {
  std::vector<std::string> units;
  for (const ToneEntry& entry : tone_vocabulary()) {
    for (const std::string& syllable : entry.syllables) {
      const SyllableModels models = decompose_syllable(big5(syllable));
      for (const std::string& unit : {models.initial_model, models.final_model}) {
        if (std::find(units.begin(), units.end(), unit) == units.end()) units.push_back(unit);
      }
    }
  }
  return units;
}

double tone_frequency(int unit) { return 250.0 * std::pow(1.22, unit); }

void append_tone(std::vector<std::int16_t>& samples, double frequency, int frames, Noise& noise) {
  const std::size_t first = samples.size();
  for (int i = 0; i < frames * kFrameSamples; ++i) {
    const double t = static_cast<double>(first + static_cast<std::size_t>(i)) / kSampleRate;
    samples.push_back(static_cast<std::int16_t>(6000.0 * std::sin(2.0 * std::numbers::pi * frequency * t) + noise.next(30)));
  }
}

void append_quiet(std::vector<std::int16_t>& samples, int frames, Noise& noise) {
  for (int i = 0; i < frames * kFrameSamples; ++i) samples.push_back(noise.next(30));
}

struct Gaussian {
  FeatureVector mean{};
  FeatureVector variance{};
};

// Mean and variance of the features of samples, skipping the edge frames.
Gaussian fit(const std::vector<std::int16_t>& samples, double variance_scale) {
  auto features = std::make_unique<FeatureMatrix>();
  auto front = std::make_unique<FrontEndOwner>();
  EXPECT_EQ(front->set_up(), "");
  const int frames =
      front->front_end().extract_features(samples.data(), 0, static_cast<int>(samples.size()), *features);
  Gaussian gaussian;
  int used = 0;
  for (int t = 3; t < frames - 3; ++t, ++used) {
    for (int k = 0; k < kFeatureDimension; ++k) gaussian.mean[k] += (*features)[t][k];
  }
  for (float& m : gaussian.mean) m /= static_cast<float>(used);
  for (int t = 3; t < frames - 3; ++t) {
    for (int k = 0; k < kFeatureDimension; ++k) {
      const float d = (*features)[t][k] - gaussian.mean[k];
      gaussian.variance[k] += d * d;
    }
  }
  for (int k = 0; k < kFeatureDimension; ++k) {
    const float floor = k < kFeatureDimension / 2 ? kStaticVarianceFloor : kDeltaVarianceFloor;
    gaussian.variance[k] = static_cast<float>(variance_scale * (gaussian.variance[k] / static_cast<float>(used) + floor));
  }
  return gaussian;
}

HmmModel model_of(int index, const Gaussian& gaussian) {
  HmmModel model = make_fixture_model(index, kEmittingStates, 1);
  double log_determinant = 0.0;
  for (const float v : gaussian.variance) log_determinant += std::log(static_cast<double>(v));
  const float gconst = static_cast<float>(kFeatureDimension * std::log(2.0 * std::numbers::pi) + log_determinant);
  for (int state = 1; state <= kEmittingStates; ++state) {
    model.weight[state][0] = 1.0f;
    model.gconst[state][0] = gconst;
    for (int k = 0; k < kFeatureDimension; ++k) {
      model.mean[state][0][k] = gaussian.mean[k];
      model.inverse_variance[state][0][k] = 1.0f / gaussian.variance[k];
    }
  }
  return model;
}

std::string vocabulary_dat() {
  std::string text;
  int number = 1;
  for (const ToneEntry& entry : tone_vocabulary()) text += std::to_string(number++) + " " + big5(entry.name_utf8) + "\n";
  return text;
}

std::string vocabulary_spl() {
  std::string text;
  for (const ToneEntry& entry : tone_vocabulary()) {
    for (std::size_t i = 0; i < entry.syllables.size(); ++i) {
      if (i > 0) text += ' ';
      text += big5(entry.syllables[i]);
    }
    text += "\n";
  }
  return text;
}

std::string phone_table() {
  std::string text;
  for (int k = 0; k < 408; ++k) {
    text += std::to_string(k);
    text += ' ';
    text += syllable_text(k);
    text += '\n';
  }
  return text;
}

}  // namespace

const std::vector<ToneEntry>& tone_vocabulary() {
  static const std::vector<ToneEntry> entries = {
      {"台北", {"ㄊㄞˊ", "ㄅㄟˇ"}},
      {"高雄", {"ㄍㄠˍ", "ㄒㄩㄥˊ"}},
      {"新竹", {"ㄒㄧㄣˍ", "ㄓㄨˊ"}},
  };
  return entries;
}

std::vector<std::int16_t> room_noise(std::size_t samples, unsigned seed, int amplitude) {
  std::vector<std::int16_t> noise(samples);
  for (std::int16_t& sample : noise) {
    seed = seed * 1103515245u + 12345u;
    sample = static_cast<std::int16_t>(static_cast<int>((seed >> 16) % static_cast<unsigned>(2 * amplitude + 1)) -
                                       amplitude);
  }
  return noise;
}

std::vector<std::int16_t> synthesise_entry(int entry, int trailing_quiet_frames) {
  const std::vector<std::string> units = designed_units();
  Noise noise;
  std::vector<std::int16_t> samples;
  append_quiet(samples, kLeadingQuietFrames, noise);
  for (const std::string& syllable : tone_vocabulary()[static_cast<std::size_t>(entry)].syllables) {
    const SyllableModels models = decompose_syllable(big5(syllable));
    const auto unit_index = [&units](const std::string& unit) {
      return static_cast<int>(std::find(units.begin(), units.end(), unit) - units.begin());
    };
    append_tone(samples, tone_frequency(unit_index(models.initial_model)), kInitialFrames, noise);
    append_tone(samples, tone_frequency(unit_index(models.final_model)), kFinalFrames, noise);
  }
  append_quiet(samples, trailing_quiet_frames, noise);
  return samples;
}

std::filesystem::path write_tone_data_directory(const std::filesystem::path& root) {
  write_fixture_data_directory(root);  // reference table, reading table and the files replaced below

  const std::vector<std::string> units = designed_units();
  std::map<std::string, Gaussian> designed;
  std::vector<std::int16_t> everything;
  Noise noise;
  for (std::size_t unit = 0; unit < units.size(); ++unit) {
    std::vector<std::int16_t> tone;
    append_tone(tone, tone_frequency(static_cast<int>(unit)), 40, noise);
    designed[units[unit]] = fit(tone, 1.0);
    everything.insert(everything.end(), tone.begin(), tone.end());
  }
  std::vector<std::int16_t> quiet;
  append_quiet(quiet, 100, noise);
  everything.insert(everything.end(), quiet.begin(), quiet.end());
  // Broad models: everything the recordings hold, four times as wide.
  const Gaussian broad = fit(everything, 4.0);
  const Gaussian silence = fit(quiet, 1.0);

  for (const int index : slot_order()) {
    const std::string name(inventory_name(index));
    const auto found = designed.find(name);
    const Gaussian& gaussian = found != designed.end() ? found->second : name == "sil" ? silence : broad;
    write_file(root / "model" / "bsl" / name, write_hmm_definition(model_of(index, gaussian)));
  }
  std::vector<HmmModel> anti_models;
  for (int slot = 0; slot < kMaxAntiModels; ++slot) anti_models.push_back(model_of(0, broad));
  write_file(root / "rcdhmm" / "anti0630.hmm", anti_model_file_bytes(anti_models));

  write_file(root / "data" / "tones.dat", vocabulary_dat());
  write_file(root / "data" / "tones.spl", vocabulary_spl());
  write_file(root / "qorphone.tbl", phone_table());
  return root;
}

void write_wav_file(const std::filesystem::path& path, const std::vector<std::int16_t>& samples, int sample_rate,
                    int channels) {
  SF_INFO info{};
  info.samplerate = sample_rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    ADD_FAILURE() << "cannot write " << path << ": " << sf_strerror(nullptr);
    return;
  }
  sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
  sf_close(file);
}

}  // namespace kws::testing
