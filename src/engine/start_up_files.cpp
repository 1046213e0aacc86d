#include "engine/start_up_files.h"

#include <algorithm>
#include <cstring>
#include <bit>
#include <optional>

#include "platform/message_sink.h"
#include "platform/token_reader.h"

namespace kws {

// The reading table is copied as bytes; the file is little-endian.
static_assert(std::endian::native == std::endian::little);

std::string parse_keyword_references(std::string text, std::string_view path,
                                     std::span<KeywordReferenceRecord, kReferenceRecords> records) {
  const auto refuse = [path](int record, const std::string& reason) {
    return format_text("%.*s: record %d: %s", static_cast<int>(path.size()), path.data(), record,
                       reason.c_str());
  };
  TokenReader tokens(std::move(text));
  for (int index = 0; index < kReferenceRecords; ++index) {
    const int number = index + 1;
    if (!tokens.next()) break;  // the leading number is read and dropped
    const std::optional<std::string_view> count_token = tokens.next();
    if (!count_token) break;
    const std::optional<long> count = parse_integer(*count_token);
    if (!count) {
      return refuse(number, format_text("keyword count \"%.*s\" is not a number",
                                        static_cast<int>(count_token->size()), count_token->data()));
    }
    if (*count < 0 || *count > kMaxRecordKeywords) {
      return refuse(number, format_text("keyword count %ld is outside 0..%d", *count, kMaxRecordKeywords));
    }
    KeywordReferenceRecord& record = records[static_cast<std::size_t>(index)];
    record.keyword_count = static_cast<std::int16_t>(*count);
    for (int k = 0; k < *count; ++k) {
      const std::optional<std::string_view> keyword = tokens.next();
      if (!keyword) return {};
      if (keyword->size() >= kKeywordFieldBytes) {
        return refuse(number, format_text("keyword %d is %zu bytes long, more than %d", k + 1,
                                          keyword->size(), kKeywordFieldBytes - 1));
      }
      char* field = record.keywords[k];
      std::memset(field, 0, kKeywordFieldBytes);
      std::memcpy(field, keyword->data(), keyword->size());
    }
  }
  return {};
}

void load_character_readings(std::string_view bytes,
                             std::span<CharacterReadingEntry, kCharacterReadingEntries> entries) {
  std::memcpy(entries.data(), bytes.data(), std::min(bytes.size(), entries.size_bytes()));
}

}  // namespace kws
