#include "lexicon/vocabulary_editor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "lexicon/syllable_table.h"
#include "platform/message_sink.h"
#include "platform/token_reader.h"

namespace kws {
namespace {

constexpr char kSaveDataError[] = "Open File for SAVE error !!\n";
constexpr char kSaveSyllableError[] = "Open File2  for SAVE error !!\n";

bool is_character(const CharacterReadingEntry& entry, std::string_view character) {
  return std::string_view(entry.character, strnlen(entry.character, sizeof entry.character)) == character;
}

void (*save_step_observer)(int step) = nullptr;

class SaveSteps {
 public:
  void done() {
    ++count_;
    if (save_step_observer != nullptr) save_step_observer(count_);
  }

 private:
  int count_ = 0;
};

std::string partial_path(const std::string& path) { return path + ".partial"; }

std::string folder_of(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// Makes a rename in the folder survive a power loss before the next step relies on it.
void sync_folder(const std::string& path) {
  const int folder = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  ::fsync(folder);
  ::close(folder);
}

// A partial file of a save, created empty with the mode of the file it will replace.
class PartialFile {
 public:
  explicit PartialFile(const std::string& target) : path_(partial_path(target)) {
    struct stat existing {};
    const bool replaces = ::stat(target.c_str(), &existing) == 0;
    descriptor_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor_ >= 0 && replaces) ::fchmod(descriptor_, existing.st_mode & 07777);
  }
  ~PartialFile() { close(); }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  bool created() const { return descriptor_ >= 0; }
  const std::string& path() const { return path_; }

  // All of bytes, on the disk, and closed.
  bool write_whole(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    const bool synced = ::fsync(descriptor_) == 0;
    return close() && synced;
  }

 private:
  bool close() {
    if (descriptor_ < 0) return true;
    const bool closed = ::close(descriptor_) == 0;
    descriptor_ = -1;
    return closed;
  }

  std::string path_;
  int descriptor_ = -1;
};

// A save that cannot go on: the .dat partial goes first, since a .dat partial
// without its .spl partial would read as a save past its first rename.
[[noreturn]] void abandon_save(const PartialFile& words, const PartialFile& syllables, const char* message) {
  ::unlink(words.path().c_str());
  ::unlink(syllables.path().c_str());
  message_sink().message_box(message);
  end_process_with_failure();
}

[[noreturn]] void show_and_end(const char* message) {
  message_sink().message_box(message);
  end_process_with_failure();
}

void write_pair(const std::string& data_path, const std::string& syllable_path, std::string_view words_text,
                std::string_view syllables_text) {
  SaveSteps steps;
  // The .spl partial exists before the .dat partial and outlives it until
  // the first rename; recover_vocabulary_save relies on that order.
  PartialFile syllables(syllable_path);
  if (!syllables.created()) {
    // Where neither file can be made, the .dat file is the one reported.
    show_and_end(::access(folder_of(data_path).c_str(), W_OK) == 0 ? kSaveSyllableError : kSaveDataError);
  }
  steps.done();
  PartialFile words(data_path);
  if (!words.created()) abandon_save(words, syllables, kSaveDataError);
  steps.done();
  if (!words.write_whole(words_text)) abandon_save(words, syllables, kSaveDataError);
  steps.done();
  if (!syllables.write_whole(syllables_text)) abandon_save(words, syllables, kSaveSyllableError);
  steps.done();

  if (std::rename(syllables.path().c_str(), syllable_path.c_str()) != 0) {
    abandon_save(words, syllables, kSaveSyllableError);
  }
  steps.done();
  sync_folder(syllable_path);
  // Failing here leaves the .dat partial for the next open to put in place.
  if (std::rename(words.path().c_str(), data_path.c_str()) != 0) show_and_end(kSaveDataError);
  steps.done();
  sync_folder(data_path);
}

// The whole content of a file opened (and created when missing) for reading
// and appending; nullopt when it cannot be opened.
std::optional<std::string> open_and_read(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "a+");
  if (file == nullptr) return std::nullopt;
  std::string content;
  std::rewind(file);
  char buffer[4096];
  while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, file)) content.append(buffer, read);
  std::fclose(file);
  return content;
}

std::size_t token_count(std::string_view text) {
  TokenReader tokens{std::string(text)};
  std::size_t count = 0;
  while (tokens.next()) ++count;
  return count;
}

}  // namespace

void first_reading_of(CharacterReadingTable table, std::string_view character, std::string& slot) {
  const auto entry = std::find_if(table.begin(), table.end(),
                                  [&](const CharacterReadingEntry& entry) { return is_character(entry, character); });
  if (entry != table.end()) slot = syllable_text(entry->syllable_number).substr(0, kSlotReadingBytes);
}

std::vector<std::string> list_readings_of(CharacterReadingTable table, std::string_view character) {
  std::vector<std::string> readings;
  for (const CharacterReadingEntry& entry : table) {
    if (is_character(entry, character)) readings.emplace_back(syllable_text(entry.syllable_number));
  }
  return readings;
}

std::string syllable_path_for(std::string_view data_path) {
  return std::string(data_path.substr(0, data_path.find('.'))) + ".spl";
}

std::optional<std::string> chooser_character(std::string_view big5_name, std::size_t start, std::size_t end) {
  if (start < 2 || start != end || start > big5_name.size()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(big5_name[start - 2]);
  const auto trail = static_cast<unsigned char>(big5_name[start - 1]);
  if (lead <= 0xA1 || trail <= 0x40) return std::nullopt;
  return std::string(big5_name.substr(start - 2, 2));
}

SaveRecovery recover_vocabulary_save(const std::string& data_path) {
  const std::string words = partial_path(data_path);
  const std::string syllables = partial_path(syllable_path_for(data_path));
  std::error_code error;
  if (std::filesystem::exists(syllables, error)) {
    std::filesystem::remove(words, error);
    std::filesystem::remove(syllables, error);
    return SaveRecovery::discarded;
  }
  if (!std::filesystem::exists(words, error)) return SaveRecovery::nothing_to_do;
  std::filesystem::rename(words, data_path, error);
  sync_folder(data_path);
  return SaveRecovery::finished;
}

void set_save_step_observer(void (*observer)(int step)) { save_step_observer = observer; }

ReadingSlots& station_reading_slots() {
  static ReadingSlots shared;
  return shared;
}

void VocabularyEditor::report_cancelled_open() const {
  message_sink().message_box(format_text("沒有找到 :%s !!", data_path_.c_str()));
}

bool VocabularyEditor::open(const std::string& data_path) {
  message_sink().message_box(data_path);
  recover_vocabulary_save(data_path);
  const std::string syllable_path = syllable_path_for(data_path);
  // A .dat path cut into itself ("x.spl") would pair the file with itself.
  std::optional<std::string> words_text;
  if (syllable_path != data_path) words_text = open_and_read(data_path);
  if (!words_text) {
    message_sink().message_box(format_text("%s !!", data_path.c_str()));
    return false;
  }
  std::optional<std::string> syllables_text = open_and_read(syllable_path);
  if (!syllables_text) show_and_end(format_text("%s !!", syllable_path.c_str()).c_str());
  data_path_ = data_path;
  syllable_path_ = syllable_path;

  records_.clear();
  if (words_text->empty()) {
    message_sink().message_box("Open a New File");
    return true;
  }
  TokenReader words(std::move(*words_text));
  TokenReader syllables(std::move(*syllables_text));
  while (records_.size() < static_cast<std::size_t>(kEditorRecordLimit)) {
    words.next();  // the number a save wrote; saving numbers afresh
    const std::optional<std::string_view> name = words.next();
    if (!name) break;
    EditorRecord record{std::string(*name), {}};
    // The pair files match by position: each character owns the next token.
    for (std::size_t k = 0; k < name->size() / 2; ++k) {
      const std::optional<std::string_view> token = syllables.next();
      if (!token) break;
      if (k > 0) record.reading += ' ';
      record.reading += *token;
    }
    records_.push_back(std::move(record));
  }
  return true;
}

void VocabularyEditor::save() const {
  if (data_path_.empty()) {
    message_sink().message_box("你沒有指定檔名");
    return;
  }
  std::string words_text;
  std::string syllables_text;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    words_text += std::to_string(i + 1) + ' ' + records_[i].name + '\n';
    syllables_text += records_[i].reading + '\n';
  }
  write_pair(data_path_, syllable_path_, words_text, syllables_text);
}

void VocabularyEditor::name_changed(std::string_view big5_name) {
  slots_.count = static_cast<int>(std::min<std::size_t>(big5_name.size() / 2, kReadingSlotCount));
  reading_text_.clear();
  for (int k = 0; k < slots_.count; ++k) {
    std::string& slot = slots_.readings[static_cast<std::size_t>(k)];
    first_reading_of(table_, big5_name.substr(static_cast<std::size_t>(2 * k), 2), slot);
    reading_text_ += slot;
    if (k + 1 < slots_.count) reading_text_ += ' ';
  }
}

void VocabularyEditor::reading_chosen(std::size_t selection_start, std::string_view reading) {
  if (reading.empty() || selection_start < 2) return;
  const std::size_t slot = (selection_start - 2) / 2;
  if (slot >= kReadingSlotCount) return;
  slots_.readings[slot] = reading.substr(0, kSlotReadingBytes);
  reading_text_.clear();
  for (int k = 0; k < slots_.count; ++k) {
    reading_text_ += slots_.readings[static_cast<std::size_t>(k)];
    reading_text_ += ' ';
  }
}

bool VocabularyEditor::acceptable(std::string_view big5_name) const {
  if (big5_name.empty()) return false;
  if (big5_name.size() > kEditorNameBytes) {
    message_sink().message_box("詞超過 24 個字 !!");
    return false;
  }
  if (reading_text_.size() > kEditorReadingBytes) {
    message_sink().message_box("注音超過 99 個位元組 !!");
    return false;
  }
  // A record with more or fewer syllables than characters would shift the
  // pairing of every record after it in the files.
  if (token_count(reading_text_) != big5_name.size() / 2) {
    message_sink().message_box("注音數與字數不符 !!");
    return false;
  }
  return true;
}

bool VocabularyEditor::add(std::string_view big5_name) {
  const bool exists = std::any_of(records_.begin(), records_.end(), [&](const EditorRecord& record) {
    return record.name == big5_name && record.reading == reading_text_;
  });
  if (exists) {
    message_sink().message_box("詞庫已存在");
    return false;
  }
  if (records_.size() >= static_cast<std::size_t>(kEditorRecordLimit) || !acceptable(big5_name)) return false;
  records_.push_back({std::string(big5_name), reading_text_});
  return true;
}

bool VocabularyEditor::modify(int index, std::string_view big5_name) {
  if (index < 0 || index >= static_cast<int>(records_.size()) || !acceptable(big5_name)) return false;
  records_[static_cast<std::size_t>(index)] = {std::string(big5_name), reading_text_};
  return true;
}

int VocabularyEditor::remove(int index) {
  if (index < 0 || index >= static_cast<int>(records_.size())) return -1;
  records_.erase(records_.begin() + index);
  return std::min(index, static_cast<int>(records_.size()) - 1);
}

}  // namespace kws
