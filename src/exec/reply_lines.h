// Reading what a controller sent, with memory bounded whatever it sends.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace exec {

// Longest line kept; the rest of a longer line is skipped.
constexpr std::size_t kReplyLineLimit = 4095;

// Most lines and bytes of one reply that are kept.
constexpr std::size_t kReplyMaxLines = 100000;
constexpr std::size_t kReplyMaxBytes = 16u << 20;

// Reads the next line into `line` (without its line end), cut to `limit`
// characters. Returns false at the end of the stream. Sets `cut` when the
// line was longer.
bool read_bounded_line(std::istream& in, std::string& line, bool& cut,
                       std::size_t limit = kReplyLineLimit);

// The lines of a reply, each cut to kReplyLineLimit, a trailing '\r'
// removed, at most kReplyMaxLines lines and kReplyMaxBytes characters.
// `truncated` tells whether anything was cut or left unread.
std::vector<std::string> read_reply_lines(std::istream& in, bool& truncated);

}  // namespace exec
