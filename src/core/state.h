// The process-wide record of a run: the parsed command line, the controller
// table and the handful of values every subsystem shares. Subsystems are free
// functions over this record, reached through state().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace platform {
struct Mutex;
struct StopSignal;
struct Thread;
}  // namespace platform

namespace core {

struct RunOptions {
  std::string login = "root";
  std::string password;  // the one sent to controllers: the last -S pw:, else the -l one
  std::vector<std::string> secrets;  // every password the command line held, masked everywhere
  std::string credential;            // the password or the key file path of -S
  bool use_password = false;
  bool key_file_given = false;
  bool ssh = false;
  bool use_ssh_exe = false;
  std::string filer_targets;  // the raw -f values, as the header shows them
  bool filers_given = false;
  int sample_minutes = 2;
  bool sampling_enabled = true;
  int sample_interval = 10;
  int sample_count = 12;
  int sampling_seconds = 118;
  bool interval_given = false;
  int iterations = 1;
  int iter_interval = 0;
  bool force_iterations = false;
  int command_timeout_ms = 70000;
  int max_run_seconds = 300;
  bool collect_host = true;
  bool do_vzone = true;
  bool perf_only = false;
  bool config_only = false;
  bool critical_only = false;
  bool z_mode = false;
  bool logs = false;
  bool stutter_statit = true;
  bool full_stutter_statit = false;
  std::vector<std::string> profiles;
  std::string profile_list;
  bool profiles_given = false;
  std::vector<std::string> exclude_patterns;
  bool exclude_given = false;
  bool sktrace = false;
  std::string sktrace_points;
  bool disk_mapping = false;
  std::string sktrace_buffer = "40m";
  std::string msinfo_path = "%CommonProgramFiles%\\Microsoft Shared\\MSInfo\\msinfo32.exe";
  std::string app_name;
  std::string app_param;
  std::string forced_os;
  std::string mode;
  bool mode_given = false;
  std::string test_release;
  bool test_release_given = false;
  bool pretend = false;
  bool quiet = false;
  bool debug = false;
  bool kill_all = false;
  bool kill_tree = false;
  bool skip_vifs = false;
  int parallel = 1;  // controllers collected at the same time
};

// Licensed services of a controller: the number of licence lines that name
// each service; a service is licensed when its counter is not 0.
struct ServiceFlags {
  int svc_nfs = 0;
  int svc_cifs = 0;
  int svc_fcp = 0;
  int svc_dafs = 0;
  int svc_iscsi = 0;
  int svc_replisync = 0;
  int svc_zonepack = 0;
  int svc_backstow = 0;
  int svc_farstash = 0;
  int svc_dedupe = 0;
  int svc_cluster = 0;
  int nfs_only = 0;
};

// A controller's services as its catalogues and samplers see them.
struct CurrentServices {
  ServiceFlags flags;
  int cpu_class = 0;
  bool legacy_stats = true;
};

struct VirtualController {
  std::string name;
  std::string root_path;
};

struct StartedStats {
  std::string name;
  std::int64_t start = 0;
};

// One controller named with -f, in command-line order.
struct FilerTarget {
  std::string name;
  std::string priv_prefix;
  std::string priv_suffix;
  std::string shell_prefix;  // the remote-shell prefix; ends with a blank

  // Release mapping
  std::string release;
  int release_number = 0;
  bool stats_enabled = false;
  bool legacy_stats = false;
  bool domain_stats = true;
  bool vrs_rebuild = false;
  int statit_mode = 0;
  bool sktrace_off = false;

  // Licences
  ServiceFlags services;
  int cpu_class = 0;
  bool licenses_read = false;
  std::vector<std::string> safe_volumes;

  // Discovery
  std::vector<VirtualController> vzones;
  std::vector<std::string> vifs;

  // Stats presets
  std::string stats_id;
  std::int64_t stats_start = 0;
  std::int64_t stats_stop = 0;
  std::string stats_stop_text;
  std::vector<StartedStats> started_stats;

  // This iteration's files of the controller that poststats prints (quoted).
  std::vector<std::string> temp_files;

  // Set when a command of the poststats owed to Ctrl+C had to be killed: the
  // controller gets no more commands, so the interrupt ends in time.
  bool given_up = false;
};

struct SlowCommand {
  std::string command;
  std::string target;
  int iteration = 0;
  int seconds = 0;
};

// One background worker of the iteration. The job is the worker's own; the
// table keeps it alive until the thread has ended.
struct BackgroundThread {
  platform::Thread* thread = nullptr;
  std::shared_ptr<void> job;
  std::string command;  // what the worker runs, for messages
};

// The iteration's workers and the stop signal they all watch. Filled and
// emptied by the main thread only.
struct BackgroundThreadTable {
  std::vector<BackgroundThread> threads;
  platform::StopSignal* stop = nullptr;
};

struct RunState {
  RunOptions options;
  std::string host_name;
  std::vector<FilerTarget> filers;
  int iteration = 1;
  std::int64_t run_start = 0;
  // A poststats is owed: set and cleared under the interrupt lock
  // (core/interrupt_gate.h), which decides who runs it.
  std::atomic<bool> in_sampling_wait{false};
  std::atomic<bool> background_running{false};

  std::string temp_dir;        // ends with the path separator
  std::string error_log_path;  // temp_dir + "error.log"
  bool temp_dir_made = false;  // set once the folder may exist on disk
  platform::Mutex* log_mutex = nullptr;

  std::vector<std::string> host_temp_files;  // the host's, as FilerTarget::temp_files
  BackgroundThreadTable background_threads;
  std::vector<SlowCommand> slow_commands;

  std::set<std::string> warnings_told;  // texts warned about once already (guarded by its user)

  bool user_perf_only = false;  // -p as given, before config thinning
  int config_countdown = 0;
};

RunState& state();

// Starts over with a fresh record (tests).
void reset_state();

}  // namespace core
