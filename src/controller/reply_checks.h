// Values read from controller replies end up in command lines and file
// names; these checks keep out what those cannot carry, and tell the user
// about entries that were left out.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace controller {

// What a name read from a controller's reply is used as.
enum class ReplyName {
  kVolume,
  kVirtualController,
  kRootPath,
  kInterface,
  kLogFile,
  kProfileFile,
  kTraceFile,
};

// The one gate for names read from a controller's reply before they reach a
// command line or a file path: not empty, not made of dots only, plain
// characters only (root paths may also hold '/'), and no longer than the
// field that holds the name. A name that fails is left out and the user is
// told once per controller and kind of fault.
bool screen_reply_name(const std::string& filer_name, ReplyName kind, const std::string& name);

// The longest name of each kind that is let through.
std::size_t max_reply_name_length(ReplyName kind);

// True when `text` is not empty and holds only letters, digits, '_', '-',
// '.' and the characters of `extra`.
bool is_plain_word(const std::string& text, const std::string& extra = "");

// `text` with control and non-ASCII characters shown as '?', for messages;
// long texts are cut to their first 60 characters and "...".
std::string printable(const std::string& text);

// The non-empty pieces of `line` between `separator` characters.
std::vector<std::string> split_pieces(const std::string& line, char separator);

// "WARNING: <text>\n" on standard error and the text in the error log, the
// first time this exact text is told in the run.
void warn_once(const std::string& text);

}  // namespace controller
