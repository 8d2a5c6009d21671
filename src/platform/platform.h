// The one header that knows an operating system exists. Everything else in
// kestrel talks to processes, time, the environment and the command
// interpreter through these functions; src/platform/posix and
// src/platform/win32 each implement all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- processes

// Prepares the run's own process once, at the top of start-up. On POSIX: the
// run becomes a child subreaper (orphaned descendants of its children stay
// under it, where the tree killers find them) and ignores broken pipes.
// Nothing to do on Windows.
void prepare_process();

// On POSIX, ignores SIGPIPE: a write to a closed report pipe fails with EPIPE
// instead of ending the run, so the writer can shut down in order. Children
// get the default disposition back. No-op on Windows.
void ignore_broken_pipe();

// A started child process. `native` belongs to the implementation (a process
// and job handle on Windows, nothing extra on POSIX where `pid` is also the
// process group id).
struct Child {
  long pid = 0;
  void* native = nullptr;
};

// Every child, of start_child and of run_shell alike, is started the same
// way: standard input from the null device, standard output the run's or
// the caller's file, standard error the run's, no other file of the run's
// open in it; on POSIX in a process group of its own with a clean signal
// mask and default signal dispositions (those the run was started with
// ignored stay ignored). It is recorded in the registry of live children
// (with a handle that a reused process id cannot fool: a pidfd on Linux, the
// process handle on Windows) until it has ended and been waited for.

// Runs a command line through the host command interpreter and waits for it
// (the C `system` form). Flushes all C streams first so the report keeps its
// order. Returns the interpreter's status as `system` does (on POSIX a wait
// status), or -1 when it could not start (last_error() is then
// kChildRegistryClosed once the registry is closed). With `out`, the
// interpreter's standard output is that stream's file instead of the run's,
// as in start_child.
int run_shell(const std::string& command_line, std::FILE* out = nullptr);

// Starts `command_line` as a child (see above). On Windows the text goes to
// CreateProcess unchanged; on POSIX it is run by /bin/sh -c, and orphans of
// what it starts stay below that shell (Linux), where kill_child_tree finds
// them. On failure returns false and sets `error_code`:
// kChildRegistryClosed once the registry is closed.
//
// With `out`, the child's standard output is that stream's file instead (for
// collections that run side by side, each into a spool file of its own):
// whatever the child and its descendants print lands there, after what the
// caller wrote to `out` before (it is flushed first), and none of it on the
// run's standard output. A stream without a file of its own (a memory
// stream) is refused.
//
// With `file_cap` > 0, where child_file_cap_enforced() says so, no regular
// file that the child or its descendants write can grow past `file_cap`
// bytes: the write that would fails, and ends the writer unless it ignores
// SIGXFSZ (a file size limit, on POSIX). Elsewhere the caller watches the
// file's size itself.
bool start_child(const std::string& command_line, Child& child, int& error_code,
                 std::FILE* out = nullptr, std::uint64_t file_cap = 0);

// True where start_child enforces its `file_cap` (POSIX on Linux).
bool child_file_cap_enforced();

enum class WaitResult { kExited, kTimedOut, kFailed };

// Waits at most `timeout_ms` for the child to end. A negative time-out waits
// for ever.
WaitResult wait_child(Child& child, int timeout_ms);

// True while the child has not ended.
bool child_running(Child& child);

// Kills the child and every process it started, also those that left its
// process group or session. On Windows the output of taskkill goes to `out`
// (the file the killed command's report text went to) or, without one, to
// the null device, never to the run's standard output; its errors to
// standard error. On POSIX nothing is printed. Returns true when the
// child is no longer running afterwards.
bool kill_child_tree(Child& child, std::FILE* out = nullptr);

// Releases what the implementation holds for the child (handles, zombies).
// A child still running stays in the registry until it ends.
void close_child(Child& child);

// ---------------------------------------------------------------- registry of live children
//
// For the end of the run: kill_own_descendants() (interrupt.h) closes the
// registry and kills every registered child with its tree, in one call, so
// no thread can start a client after the kill. Short clean-up commands that
// must still run afterwards need reopen_child_registry_for_cleanup(); a
// second kill_own_descendants() ends whatever they left.

// The error code of a start refused because the registry is closed
// (ECANCELED / ERROR_CANCELLED).
extern const int kChildRegistryClosed;

// From now on start_child and run_shell refuse (kChildRegistryClosed).
// Children already running are not touched.
void close_child_registry();

// Lets starts through again after close_child_registry(), for the run's
// short clean-up commands once its workers have stopped. Any thread may then
// start children again.
void reopen_child_registry_for_cleanup();

// False between close_child_registry() and a reopen.
bool child_registry_open();

// Kills every registered child with its process group or job and every
// process below it (Linux: also the daemons it left behind, which stay
// under its shell). Does not close the registry. Waiting for and closing
// each child stays with its owner. Returns how many processes were sent the
// kill.
int kill_registered_children();

// The last error code of the operating system (GetLastError / errno).
int last_error();

long current_process_id();

// Ends every process on the machine whose executable base name begins with
// `image_prefix` (case-sensitive; on POSIX, where client names are short
// enough to begin other programs' names, only the whole name or it with
// ".exe"). Returns the id of the last one ended, or 0.
long kill_processes_by_name(const std::string& image_prefix);

// Kills every descendant of the running process, then the process itself.
// Returns only when that failed.
void kill_own_process_tree();

void sleep_ms(int milliseconds);

// ---------------------------------------------------------------- time

std::int64_t now_epoch_seconds();
std::tm utc_time(std::int64_t epoch_seconds);
std::tm local_time(std::int64_t epoch_seconds);

// ---------------------------------------------------------------- environment

std::optional<std::string> get_env(const std::string& name);

// The host's name as the report shows it: "computername", and on POSIX the
// host name when that variable is unset. An empty value counts as unset.
std::optional<std::string> computer_name();

// The parent folder of the run's scratch folder: "tmp", and on POSIX
// TMPDIR or /tmp when that variable is unset. An empty value counts as unset.
std::optional<std::string> temp_root();

// The folder under the temp root that holds the per-run folders: "kestrel" on
// Windows, "kestrel-<effective uid>" on POSIX so users never share it.
std::string scratch_parent_name();

// The operating system name shown in the header: "os", and on POSIX the
// kernel name when that variable is unset. Empty when unknown.
std::string os_name();

// ---------------------------------------------------------------- mutex

struct Mutex;
enum class LockResult { kAcquired, kTimedOut, kAbandoned, kFailed };

// Unnamed, not initially owned. Returns nullptr and sets last_error() on
// failure.
Mutex* create_mutex();
LockResult lock_mutex(Mutex* mutex, int timeout_ms);
void unlock_mutex(Mutex* mutex);
void close_mutex(Mutex* mutex);

// ---------------------------------------------------------------- files

// Creates the run's private scratch folder (and its missing parents),
// removing a leftover folder of the same name first. A folder or parent that
// is a link is refused, never followed or deleted. On POSIX the folder and its
// parent are made for the user alone (mode 0700), and one that belongs to
// someone else is refused too. Returns an empty string on success, otherwise a
// sentence saying what is wrong.
std::string create_private_dir(const std::string& path);

// Writes `size` bytes to `out` exactly as they are: on Windows a text-mode
// stream (the report) would otherwise turn the line ends that a command
// printed into doubled ones. False when the write failed (the stream's error
// flag is then set, as for any failed write).
bool write_bytes(std::FILE* out, const char* data, size_t size);

// Appends `text` and a line end to the file at `path` (made when missing),
// as the interpreter runs shell::append_line: on Windows through cmd.exe's
// echo; on POSIX the same bytes in one write of the run's own, without
// starting a shell (samplers append lines around every command they run).
// False when the line could not be written.
bool append_line_to_file(const std::string& text, const std::string& path);

// The same for several lines, in order (on POSIX in one write).
bool append_lines_to_file(const std::vector<std::string>& lines, const std::string& path);

// ---------------------------------------------------------------- files beside the report
//
// The folders and files a run leaves next to its report (the "gmon" folder
// of profile copies, the trace folders and what is copied into them). None of
// these functions ever follows a link: on POSIX folders are made 0700 and
// files 0600 whatever the umask; on Windows a reparse point is refused. Each
// returns an empty string on success, otherwise a sentence saying what is
// wrong.

// Makes `path` a new folder for the user alone; anything already at that
// name (a folder, a file, a link) is refused.
std::string create_new_private_folder(const std::string& path);

// Makes `path` a folder for the user alone, or takes the one there: it must be
// a real folder (not a link) that belongs to the user. On POSIX one that
// group or others could write into is closed to them (mode 0700).
std::string open_private_folder(const std::string& path);

// A file being written by write_private_file.
struct PrivateFile {
  std::intptr_t native = -1;
  std::string path;
};

// Creates the file `name` in `folder` (checked as open_private_folder does,
// but never made or changed) for writing, for the user alone. A file of that
// name from an earlier run is removed first (a link is removed itself, never
// followed); the new one is created exclusively, so whatever appears at the
// name meanwhile is refused.
std::string create_private_file(const std::string& folder, const std::string& name,
                                PrivateFile& file);

// Writes all `size` bytes; otherwise the sentence of why not.
std::string write_private_file(PrivateFile& file, const char* data, std::size_t size);

// Closes the file; a sentence when closing told of a failed write.
std::string close_private_file(PrivateFile& file);

// Removes the file `name` from `folder`; a link there is removed itself.
void remove_private_file(const std::string& folder, const std::string& name);

// How a command whose standard output went into a file ended.
struct OutputCopy {
  std::uint64_t bytes = 0;  // written into the file
  bool capped = false;      // it printed more than the cap and was killed there
  bool timed_out = false;   // killed at the time-out
  bool failed = false;      // it did not start, or ended with a non-zero status
  std::string write_error;  // the file could not take what came (disk full...)
  int error_code = 0;       // why it did not start
};

// Starts `command_line` (as start_child does) with its standard output read
// through a pipe and written into `file`, at most `cap` bytes: a command that
// prints more, or runs longer than `timeout_ms`, is killed with its tree, and
// so is one whose output cannot be written. Waits until it has ended.
OutputCopy copy_command_output(const std::string& command_line, PrivateFile& file,
                               std::uint64_t cap, int timeout_ms);

// ---------------------------------------------------------------- shell dialect
//
// The few host command texts whose spelling depends on the command
// interpreter. Windows: cmd.exe. POSIX: /bin/sh.

namespace shell {

// Path separator of the host ('\\' or '/').
char path_separator();

// Wraps a command text so that the interpreter runs it, for use with
// start_child ("cmd /C \"...\"" on Windows, the text itself on POSIX).
std::string interpreter(const std::string& command_text);

// Prints the contents of a file; `quoted_path` already carries its quotes.
std::string type_file(const std::string& quoted_path);

// The verb of type_file followed by one blank ("type " / "cat ").
std::string type_verb();

// Silently creates a folder (with parents on POSIX).
std::string make_dir(const std::string& path);

// Silently removes a folder and everything in it.
std::string remove_dir(const std::string& path);

// Prints one line of text literally.
std::string echo_line(const std::string& text);

// Appends one line of text literally to a file.
std::string append_line(const std::string& text, const std::string& path);

// Copies a file over another.
std::string copy_file(const std::string& from, const std::string& to);

// The null device ("NUL" / "/dev/null").
std::string null_device();

// The characters a path may not hold to be written between double quotes
// into a command text for this interpreter.
bool path_is_quotable(const std::string& path);

// Writes `text` as one argument of a command line for this interpreter,
// quoted only when it holds anything beyond plain word characters. Returns
// false when the text cannot be passed intact (on Windows: a double quote,
// a percent sign or a control character).
bool quote_argument(const std::string& text, std::string& quoted);

// The remote-shell clients a controller is reached through.
enum class RemoteClient { kRsh, kPlink, kSsh };

// The program name this host calls a client by, as written at the start of a
// controller command line and matched by the process killers ("rsh.exe" on
// Windows, the system's own "rsh" on POSIX).
const char* remote_client_program(RemoteClient client);

// The host's own configuration and performance commands.
const std::vector<std::string>& host_config_commands();
const std::vector<std::string>& host_perf_commands();

// One of the host's configuration exports: the file it writes in the host's
// folder and the complete command line (for start_child) that writes it.
struct HostExport {
  std::string file_name;
  std::string command_line;
};

// The exports into `folder` (ends with the separator). `msinfo_path` is the
// system-information program of -m (Windows only).
std::vector<HostExport> host_exports(const std::string& folder, const std::string& msinfo_path);

}  // namespace shell

}  // namespace platform
