#include "batch/syllable_lattice.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

#include "batch/free_syllable_decoding.h"
#include "batch/syllable_lattice_tables.h"
#include "engine/loaded_data.h"
#include "lexicon/vocabulary.h"
#include "platform/audio_file.h"
#include "platform/data_path.h"
#include "platform/message_sink.h"
#include "search/recognition_pass.h"
#include "search/state_scoring.h"
#include "search/utterance_workspace.h"

namespace kws {
namespace {

constexpr char kStationRecording[] = "\\wave\\n34512.wav";

std::string syllable_text(const Vocabulary& vocabulary, int syllable) {
  const LevelNode& node = vocabulary.levels[0].nodes[static_cast<std::size_t>(syllable)];
  return {node.syllable_text, strnlen(node.syllable_text, sizeof node.syllable_text)};
}

void append_int16(std::string& bytes, int value) {
  const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
  bytes += static_cast<char>(bits & 0xFF);
  bytes += static_cast<char>(bits >> 8);
}

void append_float32(std::string& bytes, float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((bits >> shift) & 0xFF);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// A failed write or close counts as a failed open: the file is not there whole.
bool write_whole_file(const std::string& path, std::string_view bytes) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  return std::fclose(file.release()) == 0 && written;
}

}  // namespace

LatticeFiles station_lattice_files(const LoadedData& data) {
  return {join_data_path(data.data_directory, kStationRecording), data.data_directory};
}

std::string lattice_name(std::string_view recording) {
  const std::string name = std::filesystem::path(recording).filename().string();
  return name.substr(0, name.find('.'));
}

void build_syllable_lattice(const LoadedData& data, const Vocabulary& vocabulary, const UtteranceWorkspace& work,
                            SyllableLatticeRun& run) {
  run.lattice.clear();
  run.report_lines.clear();
  const int syllables = run.syllable_count;
  const auto ranks = static_cast<std::size_t>(std::clamp(run.depth, 0, syllables));
  std::vector<float> scores(static_cast<std::size_t>(syllables));
  std::vector<int> order(static_cast<std::size_t>(syllables));

  for (std::size_t k = 0; k < run.path.size(); ++k) {
    const PathSegment& segment = run.path[k];
    const int last_frame = k + 1 < run.path.size() ? run.path[k + 1].start_frame - 1 : run.frame_count - 1;
    for (int i = 0; i < syllables; ++i) {
      scores[static_cast<std::size_t>(i)] = rescore_segment(data, vocabulary, work, i, segment.start_frame, last_frame);
    }
    // Higher indices first, then a stable sort by score: equal scores keep
    // the higher syllable index first.
    std::iota(order.rbegin(), order.rend(), 0);
    std::stable_sort(order.begin(), order.end(), [&scores](int a, int b) {
      return scores[static_cast<std::size_t>(a)] > scores[static_cast<std::size_t>(b)];
    });

    std::vector<LatticeRank>& entry = run.lattice.emplace_back();
    std::string line = format_text("(%3d.::%3d)", static_cast<int>(k), segment.duration);
    for (std::size_t r = 0; r < ranks; ++r) {
      const int syllable = order[r];
      entry.push_back({static_cast<std::int16_t>(syllable), scores[static_cast<std::size_t>(syllable)]});
      line += format_text("%8s ", syllable_text(vocabulary, syllable).c_str());
    }
    run.report_lines.push_back(std::move(line));
  }
}

std::string report_text(const SyllableLatticeRun& run) {
  std::string text;
  for (const std::string& line : run.report_lines) text += line + "\n";
  return text;
}

std::string lattice_file_bytes(const SyllableLatticeRun& run) {
  std::string bytes;
  append_int16(bytes, static_cast<int>(run.path.size()));
  for (const PathSegment& segment : run.path) append_int16(bytes, segment.duration);
  for (const std::vector<LatticeRank>& segment : run.lattice) {
    append_int16(bytes, static_cast<int>(segment.size()));
    for (const LatticeRank& rank : segment) {
      append_int16(bytes, rank.syllable);
      append_float32(bytes, rank.score);
    }
  }
  return bytes;
}

std::string syllable_index_text(const Vocabulary& vocabulary, int syllable_count) {
  std::string text = format_text("## Total Syllable number=%d\n", syllable_count);
  for (int i = 0; i < syllable_count; ++i) text += format_text("%d  %s\n", i, syllable_text(vocabulary, i).c_str());
  return text;
}

OrRefusal<LatticeOutcome> run_syllable_lattice(const LoadedData& data, const Vocabulary& vocabulary,
                                               const LatticeFiles& files, UtteranceWorkspace& work,
                                               SyllableLatticeRun& run) {
  run.forget_last_run();
  const LoadedAudio audio = load_raw_samples(files.recording);
  if (!audio.ok()) return Refusal::in_message_box("Open source error!\n");
  // The sample buffer and every per-frame table end at 8 s: a longer
  // recording is refused rather than cut, so the lattice covers what was said.
  if (audio.samples.size() > static_cast<std::size_t>(kSampleBufferSamples)) {
    return Refusal::in_message_box_going_on(
        format_text("Syllable lattice: %s holds %zu samples, more than the %d (8 s) the sample buffer holds\n",
                    files.recording.c_str(), audio.samples.size(), kSampleBufferSamples));
  }
  std::copy(audio.samples.begin(), audio.samples.end(), work.sample_buffer.begin());
  work.analysis_source = {work.sample_buffer.data(), 0, static_cast<std::int32_t>(audio.samples.size())};
  const int frame_count = extract_features(data, work);
  if (frame_count < 1) {
    return Refusal::in_message_box_going_on(
        format_text("Syllable lattice: %s holds %zu samples, too few for one 320-sample frame\n",
                    files.recording.c_str(), audio.samples.size()));
  }
  score_frames_best_gaussian(data, work, frame_count);
  if (std::optional<Refusal> refusal = decode_free_syllables(data, vocabulary, work, run, frame_count)) return *refusal;
  build_syllable_lattice(data, vocabulary, work, run);

  const std::array<std::pair<std::string, std::string>, 3> outputs{{
      {join_data_path(files.output_folder, "\\news.rep"), report_text(run)},
      {join_data_path(files.output_folder, "\\dat\\") + lattice_name(files.recording) + ".dat",
       lattice_file_bytes(run)},
      {join_data_path(files.output_folder, "\\syllable.h"), syllable_index_text(vocabulary, run.syllable_count)},
  }};
  // The lattice file's failure shows the index file's text, as the station always did.
  constexpr std::array<const char*, 3> kFailureTexts{"Open news.rep error!\n", "Open syllable.h error!\n",
                                                     "Open syllable.h error!\n"};
  for (std::size_t k = 0; k < outputs.size(); ++k) {
    if (!write_whole_file(outputs[k].first, outputs[k].second)) return Refusal::in_message_box(kFailureTexts[k]);
  }
  LatticeOutcome outcome;
  outcome.frame_count = run.frame_count;
  outcome.segments = static_cast<std::int32_t>(run.path.size());
  outcome.syllable_count = run.syllable_count;
  outcome.report_lines = run.report_lines;
  return outcome;
}

}  // namespace kws
