// The vocabulary editor's logic, apart from its widgets: the record store of a
// .dat/.spl pair, the proposed readings of a typed word, the reading chooser's
// choices, and a save that cannot lose the pair it replaces.
//
// Names and readings are Big5 bytes, as in the files; paths are UTF-8, as on
// disk. Message boxes go to the message sink with UTF-8 texts.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/loaded_data.h"

namespace kws {

inline constexpr int kEditorRecordLimit = 4000;
inline constexpr int kReadingSlotCount = 180;           // characters of the name box with a reading slot
inline constexpr std::size_t kEditorNameBytes = 49;     // 24 characters
inline constexpr std::size_t kEditorReadingBytes = 99;  // a record's whole reading
inline constexpr std::size_t kSlotReadingBytes = 29;    // one character's reading
inline constexpr std::size_t kChosenReadingBytes = 80;  // what the chooser hands back

using CharacterReadingTable = std::span<const CharacterReadingEntry>;

// Copies the syllable of the first table entry for the two-byte Big5
// character into slot; leaves slot as it was when the table has none.
void first_reading_of(CharacterReadingTable table, std::string_view character, std::string& slot);

// The syllables of every table entry for the character, in table order.
std::vector<std::string> list_readings_of(CharacterReadingTable table, std::string_view character);

// The .spl path the editor pairs with a .dat path: the path cut at its first
// "." (wherever it is, folders included) followed by ".spl".
std::string syllable_path_for(std::string_view data_path);

// The character whose readings the Down-arrow key offers, for a name box
// holding big5_name with selection [start, end) in bytes: the two bytes
// before a bare caret when they look like a Big5 character outside the
// punctuation row; nullopt otherwise.
std::optional<std::string> chooser_character(std::string_view big5_name, std::size_t start, std::size_t end);

// What recover_vocabulary_save found.
enum class SaveRecovery { nothing_to_do, finished, discarded };

// Completes or undoes a save that the process did not live to finish. A save
// writes NAME.spl.partial and NAME.dat.partial whole, then renames the .spl
// one into place, then the .dat one: a .dat partial alone means the first
// rename was done, so the second is done now; any .spl partial means no
// rename was, so the partials go and the old pair stays.
SaveRecovery recover_vocabulary_save(const std::string& data_path);

// Called after every step of a save that changes the disk (a partial file
// made, written, renamed into place), numbered from 1: a test ends the
// process there to see what the next open finds.
void set_save_step_observer(void (*observer)(int step));

// The current reading of each character of the name box. The station keeps
// one set for all its editors (station_reading_slots), so a character without
// a table entry shows whatever its slot last held.
struct ReadingSlots {
  std::array<std::string, kReadingSlotCount> readings;
  int count = 0;  // characters of the name box at its last change, at most kReadingSlotCount
};

ReadingSlots& station_reading_slots();

struct EditorRecord {
  std::string name;     // Big5
  std::string reading;  // Big5 syllables separated by blanks
};

class VocabularyEditor {
 public:
  VocabularyEditor(CharacterReadingTable table, ReadingSlots& reading_slots) : table_(table), slots_(reading_slots) {}

  // The file dialog was cancelled: says so, naming the open file (if any).
  void report_cancelled_open() const;

  // Reads the pair of the chosen .dat file (both files are created when
  // missing) into the store, after finishing any interrupted save of it.
  // False when the .dat file cannot be opened: the store and the paths stay.
  // A .spl file that cannot be opened ends the process.
  bool open(const std::string& data_path);

  // Writes the store, numbered from 1, over the pair; without an open file
  // only says so. A file that cannot be written ends the process, the old
  // pair intact.
  void save() const;

  // The name box changed to big5_name: proposes the first reading of every
  // character and makes the reading text of them, blank-separated.
  void name_changed(std::string_view big5_name);

  // The chooser gave reading for the character ending at byte
  // selection_start: that slot takes it (an empty reading changes nothing)
  // and the reading text is rebuilt with a blank after every slot.
  void reading_chosen(std::size_t selection_start, std::string_view reading);

  void set_reading_text(std::string reading) { reading_text_ = std::move(reading); }

  // Add, modify and delete with the current reading text. add refuses an
  // existing (name, reading) pair and does nothing when the store is full;
  // add and modify refuse a name or reading the pair files cannot carry. Each
  // returns whether the store changed.
  bool add(std::string_view big5_name);
  bool modify(int index, std::string_view big5_name);
  // Removes record index; returns the record to select afterwards (the next
  // one in its place, the previous one after the last, -1 when none is left).
  int remove(int index);

  const std::vector<EditorRecord>& records() const { return records_; }
  const std::string& reading_text() const { return reading_text_; }
  const std::string& data_path() const { return data_path_; }
  const std::string& syllable_path() const { return syllable_path_; }

 private:
  bool acceptable(std::string_view big5_name) const;

  CharacterReadingTable table_;
  ReadingSlots& slots_;
  std::string data_path_;
  std::string syllable_path_;
  std::vector<EditorRecord> records_;
  std::string reading_text_;
};

}  // namespace kws
