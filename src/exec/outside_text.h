// Text that comes from outside kestrel (a controller's replies, what a
// command printed, the samplers' files) on its way into the report: bounded
// where it is written and escaped where it is copied, so that no reply can
// fill the disk or pass itself off as the report's own structure.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace exec {

// The most a file fed by a controller may hold (a sampler's file, a captured
// reply, a command's standard error).
constexpr std::uintmax_t kControllerFileCap = std::uintmax_t{64} << 20;

// The most one command's output may add to the report. Larger than the file
// cap, so a capped sampler file still prints whole with its notes.
constexpr std::uintmax_t kCommandOutputCap = std::uintmax_t{128} << 20;

// The start that every marker line and the statistics footer share.
constexpr std::string_view kMarkerPrefix = "=-=-=";

// A stream onto the null device for what a child prints outside its
// redirections: opened once, shared by every thread, never closed.
std::FILE* discard_output();

// True when a line of outside text must be escaped: it begins with zero or
// more backslashes followed by the marker prefix. The escape is one more
// backslash in front, which readers take off again; a line that begins with
// backslashes before the prefix is never read as a marker.
bool needs_marker_escape(std::string_view line_start);

// Copies the file at `path` into `out`, escaping every line that needs it.
// Returns false when the file cannot be read or `out` cannot be written
// (`out_failed` then tells which).
bool copy_outside_text(const std::string& path, std::FILE* out, bool& out_failed);

// The same for text kestrel made itself (the interpreter's echo of a marker
// line): copied as it is.
bool copy_own_text(const std::string& path, std::FILE* out, bool& out_failed);

// Writes one line of outside text (with its line end, if any) into `out`,
// escaped when it needs it. False when the write failed.
bool write_outside_line(std::FILE* out, std::string_view line);

// The size of the file at `path`, or 0 when it cannot be read.
std::uintmax_t file_size_or_zero(const std::string& path);

// True when the file at `path` has text after its last line end: a line of
// its own written next would be glued onto that partial line.
bool ends_mid_line(const std::string& path);

// Cuts the file at `path` back to `cap` bytes (at the last line end before
// it) and ends it with one line that says so. `what` names the source in
// that line. Returns the line (without its end), for the error log.
std::string cut_file_at_cap(const std::string& path, std::uintmax_t cap, const std::string& what);

}  // namespace exec

namespace platform {
struct Child;
struct StopSignal;
}  // namespace platform

namespace exec {

// A file a child writes and the most it may hold.
struct WatchedFile {
  std::string path;
  std::uintmax_t cap = kControllerFileCap;
};

enum class Watched { kExited, kTimedOut, kStopped, kOverCap };

// Waits at most `timeout_ms` (negative: for ever) for the child to end, or
// for `stop` (may be nullptr), looking every `slice_ms` at the files it
// writes. kOverCap: one of them passed its cap; the caller kills the child.
// Either way the caller then calls cut_files_over_cap: a child may write
// more than its cap between two looks, or all of it before it ends.
Watched wait_watching(platform::Child& child, int timeout_ms, platform::StopSignal* stop,
                      const std::vector<WatchedFile>& files, int slice_ms = 250);

// Cuts every file of `files` that holds more than its cap (cut_file_at_cap)
// and returns the notes, one per file cut. `what` names the source.
std::vector<std::string> cut_files_over_cap(const std::vector<WatchedFile>& files,
                                            const std::string& what);

}  // namespace exec
