#include "recipes/word_speech.h"

#include <map>

#include "platform/message_sink.h"

namespace kws::recipes {
namespace {

std::optional<RealUtterance> read_recording(const WordRecording& recording, const std::filesystem::path& folder,
                                            const TextReader& reader) {
  const std::string_view text = recording.traditional;
  if (text.empty() || text.find('_') != std::string_view::npos) return std::nullopt;
  Transcript transcript{recording.file, recording.traditional, 0.0};
  ReadTranscript read = read_transcript(transcript, folder / recording.file, reader);
  if (!read.utterance) return std::nullopt;
  std::error_code code;
  if (!std::filesystem::is_regular_file(read.utterance->audio, code)) return std::nullopt;
  return read.utterance;
}

}  // namespace

std::optional<std::vector<WordRecording>> parse_word_transcripts(std::string_view utf8_text, std::string_view path,
                                                                 std::string& error) {
  std::vector<WordRecording> recordings;
  for (const auto& [line_number, line] : text_lines(utf8_text)) {
    if (line.empty() || line_number == 1) continue;  // the header
    const std::vector<std::string> fields = tab_separated_fields(line);
    if (fields.size() < 4) {
      error = format_text("%.*s:%d: expected at least 4 TAB-separated fields, found %zu", static_cast<int>(path.size()),
                          path.data(), line_number, fields.size());
      return std::nullopt;
    }
    recordings.push_back({fields[0], fields[1], fields[3]});
  }
  return recordings;
}

WordSpeech split_word_speech(const std::vector<WordRecording>& recordings, const std::filesystem::path& folder,
                             const TextReader& reader) {
  std::vector<SpokenRecording> usable;
  std::size_t skipped = 0;
  for (const WordRecording& recording : recordings) {
    std::optional<RealUtterance> utterance = read_recording(recording, folder, reader);
    if (utterance) {
      usable.push_back({recording.speaker, std::move(*utterance)});
    } else {
      ++skipped;
    }
  }
  return split_per_speaker(std::move(usable), skipped);
}

WordSpeech split_per_speaker(std::vector<SpokenRecording> usable, std::size_t skipped) {
  WordSpeech speech;
  speech.skipped = skipped;
  // Speakers in order of first appearance, each with its recordings.
  std::vector<std::string> speakers;
  std::map<std::string, std::vector<RealUtterance>> own_recordings;
  for (SpokenRecording& recording : usable) {
    auto [entry, added] = own_recordings.try_emplace(recording.speaker);
    if (added) speakers.push_back(recording.speaker);
    entry->second.push_back(std::move(recording.utterance));
  }
  for (const std::string& speaker : speakers) {
    std::vector<RealUtterance>& own = own_recordings[speaker];
    const std::vector<std::size_t> test = spread_choice(own.size(), own.size() / kWordTestShare);
    std::size_t next_test = 0;
    for (std::size_t i = 0; i < own.size(); ++i) {
      if (next_test < test.size() && test[next_test] == i) {
        speech.test.push_back(std::move(own[i]));
        ++next_test;
      } else {
        speech.training.push_back(std::move(own[i]));
      }
    }
  }
  return speech;
}

}  // namespace kws::recipes
