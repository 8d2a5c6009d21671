#include "report/pack.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace report {

namespace {

constexpr std::size_t kMinMatch = 4;
constexpr std::size_t kMaxDistance = (1u << 24) - 1;
constexpr int kHashBits = 19;
// The last bytes are always literals: the match finder reads 8 at a time.
constexpr std::size_t kTail = 12;

std::uint64_t load64(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

std::uint32_t load32(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

std::size_t hash8(std::uint64_t v) {
  return static_cast<std::size_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
}

std::size_t hash4(std::uint32_t v) {
  return static_cast<std::size_t>((v * 2654435761u) >> (32 - kHashBits));
}

// Bytes that agree at a and b, from 0 up to `most`.
std::size_t common(const char* a, const char* b, std::size_t most) {
  std::size_t n = 0;
  while (n + 8 <= most) {
    std::uint64_t x = load64(a + n) ^ load64(b + n);
    if (x != 0) {
      while ((x & 0xFF) == 0) {
        x >>= 8;
        ++n;
      }
      return n;
    }
    n += 8;
  }
  while (n < most && a[n] == b[n]) ++n;
  return n;
}

void put_count(std::string& out, std::size_t rest) {
  while (rest >= 255) {
    out += static_cast<char>(255);
    rest -= 255;
  }
  out += static_cast<char>(rest);
}

// One sequence: literals, then a match unless `distance` is 0.
void put_sequence(std::string& out, std::string_view literals, std::size_t distance,
                  std::size_t length) {
  const std::size_t lit = literals.size();
  const std::size_t match = distance ? length - kMinMatch : 0;
  out += static_cast<char>(((lit < 15 ? lit : 15) << 4) | (match < 15 ? match : 15));
  if (lit >= 15) put_count(out, lit - 15);
  out.append(literals.data(), lit);
  if (!distance) return;
  out += static_cast<char>(distance & 0xFF);
  out += static_cast<char>((distance >> 8) & 0xFF);
  out += static_cast<char>((distance >> 16) & 0xFF);
  if (match >= 15) put_count(out, match - 15);
}

}  // namespace

std::string pack(std::string_view bytes) {
  std::string out;
  const std::size_t size = bytes.size() < kMaxPackBytes ? bytes.size() : kMaxPackBytes;
  out.reserve(size / 4 + 64);
  for (int k = 0; k < 4; ++k) out += static_cast<char>((size >> (8 * k)) & 0xFF);
  const char* in = bytes.data();
  // Positions + 1 (0: none) of the last 8-byte and 4-byte strings seen per
  // hash: the 8-byte table finds the long repeats far back, the 4-byte one
  // the short ones close by.
  // Kept from one call to the next: a page packs a piece at a time, and
  // fresh tables would cost their memory's first touch each time.
  thread_local std::vector<std::uint32_t> long_seen, short_seen;
  long_seen.assign(std::size_t(1) << kHashBits, 0);
  short_seen.assign(std::size_t(1) << kHashBits, 0);
  std::size_t anchor = 0, i = 0;
  const std::size_t limit = size > kTail ? size - kTail : 0;
  while (i < limit) {
    const std::uint64_t v = load64(in + i);
    const std::size_t h8 = hash8(v), h4 = hash4(static_cast<std::uint32_t>(v));
    const std::size_t far = long_seen[h8], near = short_seen[h4];
    long_seen[h8] = static_cast<std::uint32_t>(i + 1);
    short_seen[h4] = static_cast<std::uint32_t>(i + 1);
    std::size_t from = 0, length = 0;
    if (far && i - (far - 1) <= kMaxDistance && load64(in + far - 1) == v) {
      from = far - 1;
      length = 8 + common(in + from + 8, in + i + 8, size - i - 8);
    } else if (near && i - (near - 1) <= kMaxDistance &&
               load32(in + near - 1) == static_cast<std::uint32_t>(v)) {
      from = near - 1;
      length = 4 + common(in + from + 4, in + i + 4, size - i - 4);
    }
    if (length == 0) {
      // Long runs without matches are stepped over a little faster.
      const std::size_t run = (i - anchor) >> 10;
      i += 1 + (run < 3 ? run : 3);
      continue;
    }
    while (i > anchor && from > 0 && in[i - 1] == in[from - 1]) {
      --i;
      --from;
      ++length;
    }
    put_sequence(out, bytes.substr(anchor, i - anchor), i - from, length);
    i += length;
    anchor = i;
    // The bytes just before the next position, for the next match.
    if (i >= 2 && i < limit) {
      const std::uint64_t w = load64(in + i - 2);
      long_seen[hash8(w)] = static_cast<std::uint32_t>(i - 1);
      short_seen[hash4(static_cast<std::uint32_t>(w))] = static_cast<std::uint32_t>(i - 1);
    }
  }
  if (anchor < size) put_sequence(out, bytes.substr(anchor, size - anchor), 0, 0);
  return out;
}

std::optional<std::string> unpack(std::string_view packed) {
  if (packed.size() < 4) return std::nullopt;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(packed[at]); };
  std::size_t size = 0;
  for (int k = 0; k < 4; ++k) size |= std::size_t(byte(k)) << (8 * k);
  if (size > kMaxPackBytes) return std::nullopt;
  std::string out;
  out.reserve(size);
  std::size_t i = 4;
  const auto count = [&](std::size_t& n) {
    unsigned char b = 255;
    while (b == 255) {
      if (i >= packed.size()) return false;
      b = byte(i++);
      n += b;
    }
    return true;
  };
  while (i < packed.size()) {
    const unsigned char token = byte(i++);
    std::size_t lit = token >> 4;
    if (lit == 15 && !count(lit)) return std::nullopt;
    if (lit > packed.size() - i || lit > size - out.size()) return std::nullopt;
    out.append(packed.data() + i, lit);
    i += lit;
    if (i == packed.size()) break;
    if (packed.size() - i < 3) return std::nullopt;
    const std::size_t distance = byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16;
    i += 3;
    std::size_t length = (token & 15) + kMinMatch;
    if ((token & 15) == 15 && !count(length)) return std::nullopt;
    if (distance == 0 || distance > out.size() || length > size - out.size()) return std::nullopt;
    // Byte by byte: a match may overlap what it writes.
    for (std::size_t k = 0, from = out.size() - distance; k < length; ++k) out += out[from + k];
  }
  if (out.size() != size) return std::nullopt;
  return out;
}

void append_base64(std::string& out, std::string_view bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  std::size_t k = 0;
  for (; k + 3 <= bytes.size(); k += 3) {
    const std::uint32_t v = at(k) << 16 | at(k + 1) << 8 | at(k + 2);
    const char quad[4] = {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63],
                          kDigits[v & 63]};
    out.append(quad, 4);
  }
  if (k < bytes.size()) {
    const std::uint32_t v = at(k) << 16 | (k + 1 < bytes.size() ? at(k + 1) << 8 : 0);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += k + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
}

}  // namespace report
