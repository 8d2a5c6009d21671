#include "run/options.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "core/messages.h"
#include "core/state.h"
#include "exec/runner.h"
#include "run/options_internal.h"
#include "run/usage_internal.h"

namespace run {

namespace {

const char kReviewHelp[] = "Kestrel: Please review the help menu using: 'kestrel.exe help'\n";

// Largest values whose derived seconds or milliseconds still fit an int.
constexpr long long kMaxSampleMinutes = (INT_MAX - 10) / 60;
constexpr long long kMaxTimeoutSeconds = INT_MAX / 1000;
constexpr long long kMaxRunMinutes = INT_MAX / 60;

struct Scan {
  std::FILE* out;
  std::FILE* err;
  bool counted = false;  // a counting option was given
  // The first value that is out of bounds. Reported once the scan has
  // finished, so that syntax errors, "help" and -v keep their precedence.
  std::string limit_error;
  ParseOutcome outcome;
};

// Every password the command line carries, in the forms -l user:pw and
// -S pw:pw, separate or glued to the option letter, so that no echo of an
// argument shows one, whatever the order of the arguments. Longest first,
// each once.
std::vector<std::string> find_secrets(const std::vector<std::string>& args) {
  std::vector<std::string> secrets;
  auto keep = [&](const std::string& secret) {
    if (!secret.empty()) secrets.push_back(secret);
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word.compare(0, 2, "-l") == 0) {
      const std::string& login = word.size() > 2 || i + 1 == args.size() ? word : args[i + 1];
      std::size_t colon = login.find(':');
      if (colon != std::string::npos) keep(login.substr(colon + 1));
    }
    if (word.compare(0, 2, "-S") == 0) {
      std::string credential =
          word.size() > 2 || i + 1 == args.size() ? word.substr(2) : args[i + 1];
      if (credential.compare(0, 3, "pw:") == 0) keep(credential.substr(3));
    }
  }
  std::sort(secrets.begin(), secrets.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : a < b;
  });
  secrets.erase(std::unique(secrets.begin(), secrets.end()), secrets.end());
  return secrets;
}

// An argument as the parser's messages may show it: passwords as asterisks.
std::string shown(const std::string& word) {
  return exec::mask_password(word);
}

core::RunOptions& opts() {
  return core::state().options;
}

bool stop(Scan& scan, int status) {
  scan.outcome = ParseOutcome{true, status};
  return false;
}

void note_limit_error(Scan& scan, const std::string& message) {
  if (scan.limit_error.empty()) scan.limit_error = message;
}

// Progress-style message of the parser, suppressed once -q has been seen.
void say(Scan& scan, const std::string& text) {
  if (!opts().quiet) std::fputs(text.c_str(), scan.err);
}

// A whole decimal number from `low` to `high`: digits only, no sign, blank,
// base prefix or trailing text, so that a typing error is refused rather than
// read as some other number.
bool whole_number(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty() || text.size() > 18) return false;
  long long parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + (c - '0');
  }
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

std::vector<std::string> split_at_commas(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

std::string out_of_range(const char* option, const char* unit, long long low, long long high,
                         const std::string& value) {
  return std::string("ERROR: The ") + option + " value must be a number of " + unit + " from " +
         std::to_string(low) + " to " + std::to_string(high) + ": " + value + "\n";
}

// True when every comma-separated item of `value` is a plain word: these
// values are written into controller command lines.
bool plain_items(const std::string& value) {
  for (const std::string& item : split_at_commas(value)) {
    for (char c : item) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') {
        return false;
      }
    }
  }
  return true;
}

void note_unplain(Scan& scan, const char* option, const std::string& value) {
  note_limit_error(scan, std::string("ERROR: The ") + option +
                             " value may hold only letters, digits, '.', '-' and '_' between "
                             "commas: " +
                             value + "\n");
}

// ---------------------------------------------------------------- options

bool set_app_name(Scan&, const std::string& value) {
  opts().app_name = value;
  return true;
}

bool set_sktrace_buffer(Scan& scan, const std::string& value) {
  if (!plain_items(value) || value.find(',') != std::string::npos) {
    note_unplain(scan, "-B", value);
    return true;
  }
  if (value.size() > kMaxSktraceBuffer) {
    note_limit_error(scan, "ERROR: The -B buffer size may have at most " +
                               std::to_string(kMaxSktraceBuffer) + " characters: " + value + "\n");
    return true;
  }
  opts().sktrace_buffer = value;
  return true;
}

bool set_command_timeout(Scan& scan, const std::string& value) {
  // 0 would time out every command at once.
  long long seconds = 0;
  if (!whole_number(value, 1, kMaxTimeoutSeconds, seconds)) {
    note_limit_error(scan, out_of_range("-C", "seconds", 1, kMaxTimeoutSeconds, value));
    return true;
  }
  opts().command_timeout_ms = static_cast<int>(seconds * 1000);
  return true;
}

bool set_config_only(Scan&, const std::string&) {
  opts().config_only = true;
  return true;
}

bool set_debug(Scan&, const std::string&) {
  opts().debug = true;
  return true;
}

bool add_exclude_patterns(Scan& scan, const std::string& value) {
  core::RunOptions& o = opts();
  for (const std::string& item : split_at_commas(value)) {
    // An empty pattern is contained in every command and would exclude all.
    if (item.empty()) continue;
    if (o.exclude_patterns.size() >= kMaxExcludePatterns) {
      note_limit_error(scan, "ERROR: Too many exclusion patterns; -E accepts at most " +
                                 std::to_string(kMaxExcludePatterns) + "\n");
      break;
    }
    o.exclude_patterns.push_back(item);
  }
  o.exclude_given = true;
  return true;
}

bool set_filer_only(Scan&, const std::string&) {
  opts().collect_host = false;
  return true;
}

bool add_filers(Scan& scan, const std::string& value) {
  core::RunOptions& o = opts();
  std::vector<core::FilerTarget>& filers = core::state().filers;
  for (const std::string& name : split_at_commas(value)) {
    if (name.empty()) {
      note_limit_error(scan, "ERROR: Empty controller name in -f value: \"" + value + "\"\n");
      break;
    }
    if (filers.size() >= kMaxFilers) {
      note_limit_error(scan, "ERROR: Too many controllers; -f accepts at most " +
                                 std::to_string(kMaxFilers) + "\n");
      break;
    }
    core::FilerTarget filer;
    filer.name = name;
    filers.push_back(filer);
  }
  o.filers_given = true;
  o.filer_targets = o.filer_targets.empty() ? value : o.filer_targets + "," + value;
  return true;
}

bool set_use_ssh_exe(Scan&, const std::string&) {
  opts().use_ssh_exe = true;
  return true;
}

bool set_sample_interval(Scan& scan, const std::string& value) {
  long long seconds = 0;
  // The sample count is divided by the interval at the end of the scan.
  if (!whole_number(value, 1, INT_MAX, seconds)) {
    note_limit_error(scan, out_of_range("-H", "seconds", 1, INT_MAX, value));
    return true;
  }
  opts().sample_interval = static_cast<int>(seconds);
  opts().interval_given = true;
  return true;
}

bool set_force_iterations(Scan&, const std::string&) {
  opts().force_iterations = true;
  return true;
}

// "n" or "n,m": n iterations, m minutes between them.
bool set_iterations(Scan& scan, const std::string& value) {
  std::vector<std::string> items = split_at_commas(value);
  long long count = 0;
  long long pause = 0;
  if (items.size() > 2 || !whole_number(items[0], 1, INT_MAX, count) ||
      (items.size() == 2 && !whole_number(items[1], 0, kMaxRunMinutes, pause))) {
    note_limit_error(scan, core::format("ERROR: The -i value must be a number of iterations from "
                                        "1 to %d, optionally followed by a comma and the minutes "
                                        "between them, from 0 to %lld: %s\n",
                                        INT_MAX, kMaxRunMinutes, value.c_str()));
    return true;
  }
  opts().iterations = static_cast<int>(count);
  if (items.size() == 2) opts().iter_interval = static_cast<int>(pause);
  return true;
}

bool set_full_stutter(Scan&, const std::string&) {
  opts().full_stutter_statit = true;
  return true;
}

bool clear_stutter(Scan&, const std::string&) {
  opts().stutter_statit = false;
  return true;
}

bool set_logs(Scan&, const std::string&) {
  opts().logs = true;
  return true;
}

// The login keeps its whole text (the header shows it masked); clients get
// only the user name before the colon. A password after the colon is never
// sent: -S pw: gives the SSH password, and wins whatever the order.
bool set_login(Scan& scan, const std::string& value) {
  core::RunOptions& o = opts();
  o.login = value;
  std::size_t colon = value.find(':');
  if (colon == 0 || value.empty()) {
    note_limit_error(scan, "ERROR: The -l value needs a user name, as in -l admin\n");
    return true;
  }
  if (colon != std::string::npos && !o.use_password) o.password = value.substr(colon + 1);
  return true;
}

bool set_mode(Scan&, const std::string& value) {
  opts().mode = value;
  opts().mode_given = true;
  return true;
}

// The path goes between double quotes into a cmd.exe line, where a quote
// would end the quoting, '%' is expanded and a control character splits the
// command; such a path is refused rather than handed to the interpreter.
bool set_msinfo_path(Scan& scan, const std::string& value) {
  for (char c : value) {
    const unsigned char code = static_cast<unsigned char>(c);
    if (c == '"' || c == '%' || code < 0x20 || code == 0x7f) {
      note_limit_error(scan,
                       "ERROR: The -m path may not hold a double quote, a percent sign or a "
                       "control character: " +
                           core::printable_text(value) + "\n");
      return true;
    }
  }
  opts().msinfo_path = value;
  return true;
}

bool set_test_release(Scan& scan, const std::string& value) {
  opts().test_release = value;
  opts().test_release_given = true;
  std::fprintf(scan.err, "Kestrel: using test version string: %s\n", value.c_str());
  return true;
}

bool set_forced_os(Scan& scan, const std::string& value) {
  if (value.size() > kMaxForcedOs) {
    note_limit_error(scan, "ERROR: The -O release text may have at most " +
                               std::to_string(kMaxForcedOs) + " characters\n");
    return true;
  }
  opts().forced_os = value;
  return true;
}

bool set_app_param(Scan&, const std::string& value) {
  opts().app_param = value;
  return true;
}

bool add_profiles(Scan& scan, const std::string& value) {
  core::RunOptions& o = opts();
  if (!plain_items(value)) {
    note_unplain(scan, "-P", value);
    return true;
  }
  for (const std::string& item : split_at_commas(value)) {
    if (item.empty()) continue;
    if (o.profiles.size() >= kMaxProfiles) {
      note_limit_error(scan, "ERROR: Too many profiles; -P accepts at most " +
                                 std::to_string(kMaxProfiles) + "\n");
      break;
    }
    o.profiles.push_back(item);
  }
  o.profiles_given = true;
  o.profile_list = o.profile_list.empty() ? value : o.profile_list + "," + value;
  return true;
}

bool set_perf_only(Scan&, const std::string&) {
  opts().perf_only = true;
  return true;
}

bool set_quiet(Scan&, const std::string&) {
  opts().quiet = true;
  return true;
}

bool set_credentials(Scan& scan, const std::string& value) {
  core::RunOptions& o = opts();
  o.ssh = true;
  if (value.compare(0, 3, "pw:") == 0) {
    o.credential = value.substr(3);
    o.password = o.credential;
    o.use_password = true;
    o.key_file_given = false;
    return true;
  }
  if (value.compare(0, 3, "kf:") == 0) {
    o.credential = value.substr(3);
    o.use_password = false;
    o.key_file_given = true;
    return true;
  }
  std::fputs(
      "ERROR: Please specify either password with '-S pw:password' or keyfile with "
      "'-S kf:keyfile'\n",
      scan.err);
  write_usage(scan.out);
  return stop(scan, 1);
}

// Each -T value gives the whole list of trace points: module names and
// levels, each after one blank.
bool set_sktrace_points(Scan& scan, const std::string& value) {
  core::RunOptions& o = opts();
  if (value.size() > kMaxSktracePointsValue) {
    note_limit_error(scan, "ERROR: The -T value may have at most " +
                               std::to_string(kMaxSktracePointsValue) + " characters\n");
    return true;
  }
  if (!plain_items(value)) {
    note_unplain(scan, "-T", value);
    return true;
  }
  o.sktrace = true;
  o.sktrace_points.clear();
  o.disk_mapping = false;
  // "-T default" is how the usage text asks for the default points.
  if (value != "default") {
    for (const std::string& item : split_at_commas(value)) {
      if (item.empty()) continue;
      o.sktrace_points += " " + item;
      if (item == "DISK") {
        o.disk_mapping = true;
        say(scan, "Toggling disk mapping data collection\n");
      }
    }
  }
  if (!o.sktrace_points.empty()) {
    say(scan, "Using sktrace points: " + o.sktrace_points + "\n");
  } else {
    o.sktrace_points = kDefaultSktracePoints;
    say(scan, "Using default sktrace points: " + o.sktrace_points + "\n");
  }
  return true;
}

bool set_sample_minutes(Scan& scan, const std::string& value) {
  long long parsed = 0;
  if (!whole_number(value, 0, kMaxSampleMinutes, parsed)) {
    note_limit_error(scan, out_of_range("-t", "minutes", 0, kMaxSampleMinutes, value));
    return true;
  }
  core::RunOptions& o = opts();
  int m = static_cast<int>(parsed);
  o.sample_minutes = m;
  o.sampling_enabled = m != 0;
  o.sampling_seconds = 60 * m - 10;
  if (o.interval_given) return true;
  if (m == 1) {
    o.sample_interval = 1;
    o.sample_count = 58;
  } else if (m <= 5) {
    o.sample_interval = 10;
    o.sample_count = 6 * m - 1;
  } else if (m <= 10) {
    o.sample_interval = 30;
    o.sample_count = 2 * m - 1;
  } else {
    o.sample_interval = 60;
    o.sample_count = m - 1;
  }
  return true;
}

bool clear_vzone(Scan&, const std::string&) {
  opts().do_vzone = false;
  return true;
}

bool print_version_and_exit(Scan& scan, const std::string&) {
  write_version_line(scan.err);
  return stop(scan, 0);
}

bool set_max_run_time(Scan& scan, const std::string& value) {
  long long minutes = 0;
  if (!whole_number(value, 0, kMaxRunMinutes, minutes)) {
    note_limit_error(scan, out_of_range("-w", "minutes", 0, kMaxRunMinutes, value));
    return true;
  }
  opts().max_run_seconds = static_cast<int>(minutes * 60);
  return true;
}

bool set_pretend(Scan&, const std::string&) {
  opts().pretend = true;
  return true;
}

bool set_critical_only(Scan&, const std::string&) {
  core::RunOptions& o = opts();
  o.critical_only = true;
  o.collect_host = false;
  o.stutter_statit = false;
  o.perf_only = true;
  return true;
}

bool set_z_mode(Scan&, const std::string&) {
  opts().perf_only = true;
  opts().z_mode = true;
  return true;
}

struct OptionRow {
  char letter;
  bool needs_value;
  bool strict;  // the word must be exactly the dash and the letter
  bool counts;  // counts towards the at-least-one-option rule
  bool (*apply)(Scan& scan, const std::string& value);
};

const OptionRow kOptions[] = {
    {'a', true, true, true, set_app_name},
    {'B', true, true, true, set_sktrace_buffer},
    {'C', true, true, true, set_command_timeout},
    {'c', false, true, true, set_config_only},
    {'d', false, true, true, set_debug},
    {'E', true, true, true, add_exclude_patterns},
    {'F', false, true, true, set_filer_only},
    {'f', true, true, true, add_filers},
    {'g', false, true, true, set_use_ssh_exe},
    {'H', true, true, true, set_sample_interval},
    {'I', false, true, true, set_force_iterations},
    {'i', true, true, true, set_iterations},
    {'K', false, true, true, set_full_stutter},
    {'k', false, true, true, clear_stutter},
    {'L', false, true, true, set_logs},
    {'l', true, true, true, set_login},
    {'M', true, true, true, set_mode},
    {'m', true, true, true, set_msinfo_path},
    {'N', true, false, true, set_test_release},
    {'O', true, true, true, set_forced_os},
    {'o', true, true, true, set_app_param},
    {'P', true, true, true, add_profiles},
    {'p', false, true, true, set_perf_only},
    {'q', false, true, true, set_quiet},
    {'S', true, true, true, set_credentials},
    {'T', true, true, true, set_sktrace_points},
    {'t', true, true, true, set_sample_minutes},
    {'V', false, true, true, clear_vzone},
    {'v', false, true, false, print_version_and_exit},
    {'w', true, true, true, set_max_run_time},
    {'x', false, true, true, set_pretend},
    {'y', false, true, true, set_critical_only},
    {'z', false, true, false, set_z_mode},
};

const OptionRow* find_option(char letter) {
  for (const OptionRow& row : kOptions) {
    if (row.letter == letter) return &row;
  }
  return nullptr;
}

struct LongWord {
  const char* word;
  bool core::RunOptions::*flag;
  const char* message;
};

const LongWord kLongWords[] = {
    {"kill_all", &core::RunOptions::kill_all,
     "Killing all rsh/plink.exe processes before exiting...\n"},
    {"kill_tree", &core::RunOptions::kill_tree, "Killing root process tree before exiting...\n"},
    {"skip_vifs", &core::RunOptions::skip_vifs,
     "Toggling hidden option to skip vif enumeration...\n"},
};

constexpr int kMaxParallel = 64;

// "--parallel=N": up to N controllers collected at the same time.
bool apply_parallel(Scan& scan, const std::string& word) {
  static const std::string kPrefix = "--parallel=";
  int count = 0;
  if (word.compare(0, kPrefix.size(), kPrefix) == 0) {
    const std::string digits = word.substr(kPrefix.size());
    bool plain = !digits.empty() && digits.size() <= 2;
    for (char c : digits) plain = plain && std::isdigit(static_cast<unsigned char>(c));
    if (plain) count = std::stoi(digits);
  }
  if (count < 1 || count > kMaxParallel) {
    std::fprintf(scan.err,
                 "ERROR: --parallel takes the number of controllers to collect at the same "
                 "time, from 1 to %d, as in --parallel=4; got \"%s\"\n",
                 kMaxParallel, shown(word).c_str());
    std::fputs(kReviewHelp, scan.err);
    return stop(scan, 1);
  }
  opts().parallel = count;
  if (count > 1) say(scan, core::format("Collecting up to %d controllers at a time...\n", count));
  return true;
}

bool apply_long_word(Scan& scan, const std::string& word) {
  if (word.compare(0, 10, "--parallel") == 0) return apply_parallel(scan, word);
  for (const LongWord& row : kLongWords) {
    if (word.find(row.word) != std::string::npos) {
      opts().*row.flag = true;
      say(scan, row.message);
      return true;
    }
  }
  std::fprintf(scan.err, "kestrel.exe: illegal option %s\n", shown(word).c_str());
  std::fputs(kReviewHelp, scan.err);
  return stop(scan, 1);
}

bool is_option_word(const std::string& word) {
  return word.size() == 2 && word[0] == '-';
}

// Checks the form of the option word at `index` and, when the option takes
// one, fetches its value from the next argument.
bool fetch_option_value(Scan& scan, const std::vector<std::string>& args, std::size_t index,
                        bool needs_value, bool strict, std::string& value) {
  const std::string& word = args[index];
  if (strict && word.size() != 2) {
    std::fprintf(scan.err, "ERROR: Invalid command line syntax for option: %s\n",
                 shown(word).c_str());
    std::fputs("Please separate command-line options and values with a space; e.g., -f filer1\n",
               scan.err);
    return stop(scan, 1);
  }
  if (!needs_value) return true;
  if (index + 1 >= args.size() || is_option_word(args[index + 1])) {
    std::fprintf(scan.err, "ERROR: Command line option '%s' requires an additional argument.\n",
                 word.c_str());
    std::fprintf(scan.err, "Please review help menu for correct syntax for %s option.\n",
                 word.c_str());
    return stop(scan, 1);
  }
  value = args[index + 1];
  return true;
}

// A host or controller name as name lookup sees it: case does not matter,
// and a trailing dot names the same host (and the same folder on Windows).
std::string target_key(const std::string& name) {
  std::string key = name;
  while (!key.empty() && key.back() == '.') key.pop_back();
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// Each controller once, and none named like this host: their sections, stats
// instances and scratch folders would be taken for one another.
std::string target_name_clash() {
  const std::vector<core::FilerTarget>& filers = core::state().filers;
  const std::string& host = core::state().host_name;
  for (std::size_t i = 0; i < filers.size(); ++i) {
    const std::string& name = filers[i].name;
    for (std::size_t j = 0; j < i; ++j) {
      if (target_key(filers[j].name) != target_key(name)) continue;
      const std::string first = core::printable_text(filers[j].name);
      const std::string again = core::printable_text(name);
      return "ERROR: Controller \"" + first + "\" is named twice with -f" +
             (first == again ? "" : " (also as \"" + again + "\")") +
             "; name each controller once\n";
    }
    if (!host.empty() && target_key(host) == target_key(name)) {
      return "ERROR: Controller \"" + core::printable_text(name) +
             "\" has the name of this host (\"" + core::printable_text(host) +
             "\"); the report could not tell their sections apart. Name the controller by "
             "another of its names or its address\n";
    }
  }
  return "";
}

// Steps after the last argument.
ParseOutcome finish_scan(Scan& scan) {
  core::RunOptions& o = opts();
  if (!scan.limit_error.empty()) {
    std::fputs(exec::mask_password(scan.limit_error).c_str(), scan.err);
    return ParseOutcome{true, 1};
  }
  const std::string clash = target_name_clash();
  if (!clash.empty()) {
    std::fputs(exec::mask_password(clash).c_str(), scan.err);
    return ParseOutcome{true, 1};
  }
  if (o.interval_given) {
    int m = o.sample_minutes;
    int reserve = m == 1 ? 2 : m <= 5 ? 10 : m <= 10 ? 20 : 60;
    o.sample_count = (o.sampling_seconds - reserve) / o.sample_interval;
  }
  if (o.use_ssh_exe && !o.key_file_given) {
    std::fputs("ERROR: Please specify '-S kf:keyfile' along with '-g' option\n", scan.err);
    std::fputs(kReviewHelp, scan.err);
    return ParseOutcome{true, 1};
  }
  if (o.debug) {
    std::fprintf(scan.err, "DEBUG: Per-second sampling frequency: %d\n", o.sample_interval);
    std::fprintf(scan.err, "DEBUG: Total number of samples: %d\n", o.sample_count);
    std::fprintf(scan.err, "DEBUG: Length of sampling time per itreration (seconds): %d\n",
                 o.sampling_seconds);
    std::fprintf(scan.err, "DEBUG: Total length of iteration (seconds): %d\n",
                 60 * o.sample_minutes + 10);
  }
  if (!scan.counted) {
    write_usage(scan.out);
    return ParseOutcome{true, 1};
  }
  return ParseOutcome{};
}

ParseOutcome conflict(std::FILE* out, std::FILE* err, const char* message) {
  std::fputs(message, err);
  write_usage(out);
  return ParseOutcome{true, 1};
}

[[noreturn]] void end_process(int status) {
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace

ParseOutcome parse_arguments(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  Scan scan;
  scan.out = out;
  scan.err = err;
  opts().secrets = find_secrets(args);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    // Every argument, option values included.
    if (word.find("help") != std::string::npos) {
      write_usage(out);
      return ParseOutcome{true, 0};
    }
    // Values are passed over here; the option that reads one does not skip it.
    if (word.empty() || word[0] != '-') continue;
    if (word.compare(0, 2, "--") == 0) {
      if (!apply_long_word(scan, word)) return scan.outcome;
      continue;
    }
    const OptionRow* row = word.size() > 1 ? find_option(word[1]) : nullptr;
    if (row == nullptr) {
      if (word.size() > 1) {
        std::fprintf(err, "kestrel.exe: illegal option -- %c\n", word[1]);
      } else {
        std::fprintf(err, "kestrel.exe: illegal option %s\n", shown(word).c_str());
      }
      std::fputs(kReviewHelp, err);
      return ParseOutcome{true, 1};
    }
    std::string value;
    if (!fetch_option_value(scan, args, i, row->needs_value, row->strict, value)) {
      return scan.outcome;
    }
    if (row->counts) scan.counted = true;
    if (!row->apply(scan, value)) return scan.outcome;
  }
  return finish_scan(scan);
}

ParseOutcome find_option_conflicts(std::FILE* out, std::FILE* err) {
  const core::RunOptions& o = opts();
  if (!o.stutter_statit && o.full_stutter_statit) {
    return conflict(out, err,
                    "ERROR: The -k and -K options are mutually exclusive.\n"
                    "Please review the help menu\n");
  }
  if (o.z_mode) {
    if (o.config_only) {
      return conflict(out, err,
                      "ERROR: The -z and -c options are mutually exclusive.\n"
                      "Please review the help menu\n");
    }
  } else if (o.config_only && o.perf_only) {
    return conflict(out, err,
                    "ERROR: The -c and -p options are mutually exclusive.\n"
                    "Please review the help menu\n");
  }
  return ParseOutcome{};
}

void parse_options(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  ParseOutcome outcome = parse_arguments(args, stdout, stderr);
  if (outcome.exit) end_process(outcome.status);
}

void check_option_conflicts() {
  ParseOutcome outcome = find_option_conflicts(stdout, stderr);
  if (outcome.exit) end_process(outcome.status);
}

}  // namespace run
