#include "exec/outside_text.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/messages.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace exec {

std::FILE* discard_output() {
  static std::FILE* const discard = std::fopen(platform::shell::null_device().c_str(), "wb");
  return discard;
}

bool needs_marker_escape(std::string_view line_start) {
  size_t at = line_start.find_first_not_of('\\');
  if (at == std::string_view::npos) return false;
  return line_start.substr(at, kMarkerPrefix.size()) == kMarkerPrefix;
}

bool write_outside_line(std::FILE* out, std::string_view line) {
  if (needs_marker_escape(line) && std::fputc('\\', out) == EOF) return false;
  return std::fwrite(line.data(), 1, line.size(), out) == line.size();
}

namespace {

// Longest run of leading backslashes looked at before the decision; a line
// longer than that in backslashes is left as it is (it cannot be a marker).
constexpr size_t kLookAhead = 4096;

}  // namespace

namespace {

bool copy_text(const std::string& path, std::FILE* out, bool escape, bool& out_failed) {
  out_failed = false;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  std::vector<char> buffer(64 * 1024);
  std::string pending;  // the start of a line, until it is long enough to decide
  bool at_line_start = true;
  bool ok = true;
  size_t got;
  // Written in blocks: one write per line would cost a system call each on
  // an unbuffered report.
  std::string block;
  auto flush = [&]() {
    if (ok && !block.empty() && !platform::write_bytes(out, block.data(), block.size())) {
      ok = false;
      out_failed = true;
    }
    block.clear();
  };
  auto emit = [&](std::string_view piece) {
    block.append(piece);
    if (block.size() >= buffer.size()) flush();
  };
  auto decide = [&]() {
    if (escape && needs_marker_escape(pending)) emit("\\");
    emit(pending);
    pending.clear();
    at_line_start = false;
  };
  while (ok && (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    std::string_view chunk(buffer.data(), got);
    while (!chunk.empty()) {
      const size_t end = chunk.find('\n');
      const std::string_view line =
          chunk.substr(0, end == std::string_view::npos ? chunk.size() : end + 1);
      chunk.remove_prefix(line.size());
      if (!at_line_start) {
        emit(line);
      } else {
        pending.append(line);
        // Enough to decide: a line end, or more than the prefix after the
        // backslashes, or a look-ahead's worth.
        const size_t slashes = pending.find_first_not_of('\\');
        if (pending.back() == '\n' || pending.size() >= kLookAhead ||
            (slashes != std::string::npos && pending.size() >= slashes + kMarkerPrefix.size())) {
          decide();
        }
      }
      if (!line.empty() && line.back() == '\n') at_line_start = true;
    }
  }
  if (!pending.empty()) decide();
  flush();
  const bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  return ok && !read_failed;
}

}  // namespace

bool copy_outside_text(const std::string& path, std::FILE* out, bool& out_failed) {
  return copy_text(path, out, true, out_failed);
}

bool copy_own_text(const std::string& path, std::FILE* out, bool& out_failed) {
  return copy_text(path, out, false, out_failed);
}

std::uintmax_t file_size_or_zero(const std::string& path) {
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

bool ends_mid_line(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  int last = EOF;
  if (std::fseek(in, -1, SEEK_END) == 0) last = std::fgetc(in);
  std::fclose(in);
  return last != EOF && last != '\n';
}

std::string cut_file_at_cap(const std::string& path, std::uintmax_t cap, const std::string& what) {
  // The last line end at or before the cap, so the file ends on a whole line.
  std::uintmax_t keep = cap;
  bool on_line_end = false;
  if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
    const std::uintmax_t window = cap < 65536 ? cap : 65536;
    std::vector<char> tail(static_cast<size_t>(window));
    if (std::fseek(in, static_cast<long>(cap - window), SEEK_SET) == 0) {
      size_t got = std::fread(tail.data(), 1, tail.size(), in);
      for (size_t i = got; i > 0; --i) {
        if (tail[i - 1] == '\n') {
          keep = cap - window + i;
          on_line_end = true;
          break;
        }
      }
    }
    std::fclose(in);
  }
  std::error_code error;
  std::filesystem::resize_file(path, keep, error);
  const std::string note = core::format(
      "WARNING: %s sent more than %ju bytes; the rest was dropped here", what.c_str(), cap);
  if (std::FILE* file = std::fopen(path.c_str(), "ab")) {
    std::fprintf(file, "%s%s\n", on_line_end ? "" : "\n", note.c_str());
    std::fclose(file);
  }
  return note;
}

}  // namespace exec

namespace exec {

Watched wait_watching(platform::Child& child, int timeout_ms, platform::StopSignal* stop,
                      const std::vector<WatchedFile>& files, int slice_ms) {
  const std::int64_t deadline = timeout_ms < 0 ? -1 : platform::monotonic_ms() + timeout_ms;
  for (;;) {
    int slice = slice_ms;
    if (deadline >= 0) {
      const std::int64_t left = deadline - platform::monotonic_ms();
      if (left <= 0) return Watched::kTimedOut;
      if (left < slice) slice = static_cast<int>(left);
    }
    if (stop == nullptr) {
      // A child that cannot be waited for has nothing left to watch.
      if (platform::wait_child(child, slice) != platform::WaitResult::kTimedOut) {
        return Watched::kExited;
      }
    } else {
      switch (platform::wait_child_or_stop(child, slice, stop)) {
        case platform::ChildWait::kExited:
          return Watched::kExited;
        case platform::ChildWait::kStopped:
        case platform::ChildWait::kFailed:
          return Watched::kStopped;
        case platform::ChildWait::kTimedOut:
          break;
      }
    }
    for (const WatchedFile& file : files) {
      if (file_size_or_zero(file.path) > file.cap) return Watched::kOverCap;
    }
  }
}

std::vector<std::string> cut_files_over_cap(const std::vector<WatchedFile>& files,
                                            const std::string& what) {
  std::vector<std::string> notes;
  for (const WatchedFile& file : files) {
    if (file_size_or_zero(file.path) > file.cap) {
      notes.push_back(cut_file_at_cap(file.path, file.cap, what));
    }
  }
  return notes;
}

}  // namespace exec
