// What profile and trace capture share: the names they take from a
// controller's folder listing, the time stamp of their copies on the host,
// and the controller command lines of their workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "controller/reply_checks.h"
#include "core/collection.h"
#include "samplers/jobs.h"

namespace samplers {

// Most file names kept from one listing.
constexpr std::size_t kMaxListedFiles = 99;

// Most bytes kept of one profile or trace copy (and of the logs copied beside
// them): what a controller sends beyond is not written, the copy ends with
// cut_copy_line and the error log tells of it.
constexpr std::uint64_t kMaxCopyBytes = std::uint64_t{256} << 20;

// The last line of a copy cut at `cap` bytes.
std::string cut_copy_line(std::uint64_t cap);

// How a copy beside the report ended.
enum class CopyResult { kSaved, kCut, kFailed };

// Runs `remote_line` (a controller command line; its standard output is
// the file's content) and saves what it prints as the file `name` in
// `folder`, a private folder beside the report, at most `cap` bytes. A copy
// that cannot be written, whose command fails or overruns the command
// time-out, or that stays empty is a failure: its file is removed.
// `told` receives what the caller must tell the user (with warn_once): why
// the copy failed, or that it was cut.
CopyResult save_command_output(const std::string& remote_line, const std::string& folder,
                               const std::string& name, std::string& told,
                               std::uint64_t cap = kMaxCopyBytes);

// Copies the host file `source` (in the scratch folder) into `folder` as
// `name`, with the bounds and messages of save_command_output.
CopyResult save_file_copy(const std::string& source, const std::string& folder,
                          const std::string& name, std::string& told,
                          std::uint64_t cap = kMaxCopyBytes);

// The lines of `ls FOLDER` on the controller. Both of the client's output
// streams go into the collection's listing file, so nothing of a listing
// reaches the report.
std::vector<std::string> list_controller_folder(const core::Collection& collection,
                                                const std::string& folder);

// The names in a folder listing that contain `needle`: each line cut at its
// first blank. Names that fail the reply-name screen of `kind` are left out
// with a warning, and so is everything after the first kMaxListedFiles.
std::vector<std::string> listed_names(const std::string& filer_name,
                                      const std::vector<std::string>& listing,
                                      const std::string& needle, controller::ReplyName kind);

// The broken-down time's fields without leading zeros: years since 1900,
// month from 0, day, hour, minute, second ("%d%d%d%d%d%d").
std::string copy_stamp(const std::tm& local);

// copy_stamp of the local time now.
std::string copy_stamp_now();

// The broken-down time's fields with every field after the year padded to
// two digits ("%d%02d%02d%02d%02d%02d"), so two times of one day never give
// the same stamp.
std::string padded_stamp(const std::tm& local);

// The interpreter line that runs `command` on the job's controller and
// appends its standard output to `file`; `redirect_tail` follows that
// redirection (empty, or a redirection of standard error).
std::string capture_command_line(const BackgroundJob& job, const std::string& command,
                                 const std::string& file, const std::string& redirect_tail);

// Runs one worker command bounded by the job's deadline and the stop signal.
// False when the command was cut off; a command that could not start is
// logged and counts as run.
bool run_capture_command(const BackgroundJob& job, const std::string& command_line,
                         const std::string& command);

// Sleeps `seconds`, bounded by the job's deadline and the stop signal. False
// when the sleep was cut short.
bool capture_sleep(const BackgroundJob& job, int seconds);

// True when the text holds only plain word characters and `extra`, so it can
// go into a command line as it is. Otherwise tells the user, once, that
// `what` is not done.
bool plain_option_value(const std::string& option, const std::string& value,
                        const std::string& extra, const std::string& what);

}  // namespace samplers
