// Big5 (code page 950) <-> UTF-8 at the edges of the engine.
//
// Inside the engine and in the data files all Chinese text is Big5 bytes, so
// that byte lengths divided by two count syllables and comparisons are
// byte-wise. Conversion happens only where text meets a person or the file
// system: the terminal, the widgets, command-line arguments, file names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kws {

// Big5 to UTF-8 for display. A byte sequence that is not Big5 shows as U+FFFD
// and conversion goes on, so a damaged name still prints.
std::string big5_to_utf8(std::string_view big5);

// UTF-8 to Big5; nullopt when the text is not valid UTF-8 or holds a character
// that Big5 cannot write.
std::optional<std::string> utf8_to_big5(std::string_view utf8);

// Terminal columns of UTF-8 text: East Asian wide characters (Han, Zhuyin,
// full-width forms) take two, every other character one.
int display_columns(std::string_view utf8);

// The text without the line breaks it ends with (the engine's detail lines
// carry their own), for a list or terminal that breaks lines itself.
std::string_view without_line_end(std::string_view text);

// The text followed by spaces up to the given number of columns.
std::string pad_to_columns(std::string_view utf8, int columns);

}  // namespace kws
