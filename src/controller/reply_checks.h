// Values read from controller replies end up in command lines and file
// names; these checks keep out what those cannot carry, and tell the user
// about entries that were left out.
#pragma once

#include <string>
#include <vector>

namespace controller {

// True when `text` is not empty and holds only letters, digits, '_', '-',
// '.' and the characters of `extra`.
bool is_plain_word(const std::string& text, const std::string& extra = "");

// `text` with control and non-ASCII characters shown as '?', for messages.
std::string printable(const std::string& text);

// The non-empty pieces of `line` between `separator` characters.
std::vector<std::string> split_pieces(const std::string& line, char separator);

// "WARNING: <text>\n" on standard error and the text in the error log, the
// first time this exact text is told in the run.
void warn_once(const std::string& text);

}  // namespace controller
