#include "trainer/corpus_list.h"

#include <filesystem>

#include "lexical_data/reading_data.h"
#include "lexicon/syllable_decomposition.h"
#include "lexicon/syllable_table.h"
#include "models/model_inventory.h"
#include "platform/message_sink.h"
#include "platform/token_reader.h"

namespace kws::trainer {
namespace {

int slot_of_name(std::string_view name, int stand_in) {
  const int slot = slot_in_order(name);
  return slot >= 0 ? slot : stand_in;
}

}  // namespace

SyllableSlots syllable_slots(int syllable_row) {
  const SyllableModels names = decompose_syllable(syllable_text(syllable_row));
  return {slot_of_name(names.initial_model, kFillerInitialSlot), slot_of_name(names.final_model, kFillerFinalSlot)};
}

std::optional<std::vector<ListedUtterance>> parse_corpus_list(std::string_view utf8_text, std::string_view list_name,
                                                              std::string_view folder, std::string& error) {
  std::vector<ListedUtterance> utterances;
  int line_number = 0;
  std::size_t position = 0;
  while (position < utf8_text.size()) {
    std::size_t end = utf8_text.find('\n', position);
    if (end == std::string_view::npos) end = utf8_text.size();
    const std::string_view line = utf8_text.substr(position, end - position);
    position = end + 1;
    ++line_number;
    const std::vector<std::string_view> words = lexical_data::words_of(line);
    if (words.empty() || words.front().starts_with('#')) continue;
    const std::string origin =
        format_text("%.*s:%d", static_cast<int>(list_name.size()), list_name.data(), line_number);
    if (words.size() < 2) {
      error = origin + ": an audio file and at least one syllable are needed";
      return std::nullopt;
    }
    ListedUtterance utterance;
    const std::filesystem::path audio(std::string(words.front()));
    utterance.audio_path = audio.is_absolute() || folder.empty()
                               ? audio.string()
                               : (std::filesystem::path(std::string(folder)) / audio).string();
    utterance.origin = origin;
    for (std::size_t i = 1; i < words.size(); ++i) {
      const int row = lexical_data::syllable_row_of_utf8_token(words[i]);
      if (row < 0) {
        error = format_text("%s: \"%.*s\" is not a tonal Zhuyin syllable", origin.c_str(),
                            static_cast<int>(words[i].size()), words[i].data());
        return std::nullopt;
      }
      utterance.syllables.push_back(row);
    }
    utterances.push_back(std::move(utterance));
  }
  return utterances;
}

std::optional<std::vector<ListedUtterance>> read_corpus_list(const std::string& path, std::string& error) {
  const std::optional<std::string> text = read_file_bytes(path);
  if (!text) {
    error = "cannot read the corpus list " + path;
    return std::nullopt;
  }
  const std::filesystem::path list(path);
  return parse_corpus_list(*text, list.filename().string(), list.parent_path().string(), error);
}

}  // namespace kws::trainer
