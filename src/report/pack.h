// Packing of the page's data: a byte-oriented LZ77 format whose window
// reaches back 16 MiB, so that the text a report repeats (every iteration
// and phase prints the same configuration again) is stored once, and
// base64 to carry the packed bytes inside a <script> element. The page's
// script unpacks it; the format is small enough to decode in a few lines.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace report {

// Largest input pack() takes (its size is written in 32 bits).
constexpr std::size_t kMaxPackBytes = 0x7FFFFFFFu;

// The packed form of `bytes` (at most kMaxPackBytes): the unpacked size as 4
// bytes little-endian, then sequences of
//   token: high nibble literal count, low nibble match length - 4
//          (15 in either: more bytes follow, each added, until one below 255)
//   the literals
//   then, unless the input ends here: the match's distance back (3 bytes
//   little-endian, 1 to 16 MiB - 1) and the rest of the match length.
std::string pack(std::string_view bytes);

// The inverse of pack(); nothing when `packed` is not well formed.
std::optional<std::string> unpack(std::string_view packed);

// Appends `bytes` as base64 (with '=' padding).
void append_base64(std::string& out, std::string_view bytes);

}  // namespace report
