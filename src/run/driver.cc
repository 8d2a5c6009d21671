#include "run/driver.h"

#include <cstdio>

#include "controller/filer_names.h"
#include "controller/release.h"
#include "controller/remote_shell.h"
#include "controller/setup.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/runner.h"
#include "exec/slow_log.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"
#include "phases/filer_sections.h"
#include "phases/phases.h"
#include "platform/platform.h"
#include "run/header.h"
#include "run/interrupt.h"
#include "run/options.h"
#include "run/timing.h"
#include "run/usage.h"
#include "samplers/wait.h"

namespace run {

namespace {

void start_up(int argc, char** argv) {
  platform::prepare_process();
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  core::RunState& st = core::state();

  st.log_mutex = platform::create_mutex();
  if (st.log_mutex == nullptr) {
    std::fprintf(stderr, "ERROR: Unable to create a mutex: %d\n", platform::last_error());
    std::exit(1);
  }
  std::optional<std::string> host = platform::computer_name();
  if (!host) {
    std::fputs("FATAL: Could not access env var computername\n", stderr);
    std::exit(1);
  }
  controller::check_host_name(*host);
  st.host_name = *host;
  install_interrupt_handler();

  parse_options(argc, argv);
  core::debug_line("Parsed options");
  check_option_conflicts();
  controller::check_filer_names();
  print_version_line();

  if (st.options.test_release_given) {
    const std::string& text = st.options.test_release;
    std::fprintf(stderr, "Kestrel: MERIX version string %s mapped to version number %d\n",
                 text.c_str(), controller::parse_release(text, false));
    std::exit(0);
  }

  st.config_countdown = st.options.iterations / 10;
  exec::setup_temp_dir();
  core::arm_interrupt_steps();
  st.user_perf_only = st.options.perf_only;
  print_run_header(argc, argv);

  // Every controller's client command is checked before any is contacted;
  // then each controller is prepared in command-line order.
  controller::check_shell_prefixes();
  phases::filers_setup();
}

// Twice the planned sampling and pause time, but at least -w minutes.
std::int64_t compute_end_time() {
  core::RunState& st = core::state();
  st.run_start = platform::now_epoch_seconds();
  const std::int64_t limit = run_time_limit_seconds(st.options);
  std::string message = core::format("Allowing kestrel to run for a max of %lld seconds",
                                     static_cast<long long>(limit));
  exec::append_error_log(message);
  core::debug_line(message);
  return st.run_start + limit;
}

void print_iteration_marker(const char* word) {
  core::RunState& st = core::state();
  core::progress(core::format("%s Iteration %d\n", word[0] == 'B' ? "Begin" : "End", st.iteration));
  exec::echo_through_interpreter(core::format("=-=-=-=-=-= %s Iteration %d =-=-=-=-=-= %s", word,
                                              st.iteration, exec::gmt_timestamp().c_str()));
  exec::print_epoch_line();
}

// Configuration data in the first, the last and every (iterations / 10 + 1)th
// iteration; the others are performance only.
void thin_config_collection() {
  core::RunState& st = core::state();
  if (st.iteration > 1) st.options.perf_only = true;
  if (st.iteration == st.options.iterations) {
    st.options.perf_only = st.user_perf_only;
    return;
  }
  if (--st.config_countdown < 0) {
    st.options.perf_only = st.user_perf_only;
    st.config_countdown = st.options.iterations / 10;
  }
}

void sampling_wait() {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  if (o.pretend) {
    exec::echo_through_interpreter(core::format("Sleep: %d ", o.sample_minutes));
    return;
  }
  core::enter_sampling_wait();
  const int workers = samplers::background_thread_count();
  if (workers < 1) {
    core::sleep_unless_interrupted(sampling_sleep_ms(o));
    samplers::close_background_threads();
  } else {
    core::debug_line(core::format("Waiting on the completion of %d threads...", workers));
    exec::append_error_log(
        core::format("Itr: %d Waiting on the completion of %d threads...", st.iteration, workers));
    samplers::wait_for_background_threads();
  }
  // After an interrupt the handler owns the rest of the run.
  core::leave_sampling_wait();
}

void run_iteration() {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  st.host_temp_files.clear();
  for (core::FilerTarget& filer : st.filers) filer.temp_files.clear();
  if (o.iterations > 1) print_iteration_marker("BEGIN");
  thin_config_collection();
  if (!o.pretend) core::open_iteration_stop();

  exec::append_error_log(core::format("=== BEGIN PRESTATS FOR ITERATION %d AT %s", st.iteration,
                                      exec::gmt_timestamp().c_str()));
  phases::Prestats();
  core::hold_if_interrupted();
  exec::append_error_log(core::format("=== END PRESTATS FOR ITERATION %d AT %s", st.iteration,
                                      exec::gmt_timestamp().c_str()));

  core::progress(core::format("Sleep for %d minute(s)...\n", o.sample_minutes));
  core::debug_line("Main thread sleeping");
  sampling_wait();
  core::hold_if_interrupted();
  core::debug_line("Main thread woke");
  st.background_running = false;
  exec::append_error_log(core::format("Itr: %d Main thread woke!", st.iteration));

  exec::append_error_log(core::format("=== BEGIN POSTSTATS FOR ITERATION %d AT %s", st.iteration,
                                      exec::gmt_timestamp().c_str()));
  phases::Poststats();
  core::hold_if_interrupted();
  exec::append_error_log(core::format("=== END POSTSTATS FOR ITERATION %d AT %s", st.iteration,
                                      exec::gmt_timestamp().c_str()));

  if (o.iterations > 1) {
    print_iteration_marker("END");
    if (st.iteration < o.iterations) {
      const std::int64_t pause = pause_seconds(o);
      core::progress(core::format("Sleeping %lld seconds\n", static_cast<long long>(pause)));
      core::sleep_unless_interrupted(pause * 1000);
    }
  }
}

int shut_down() {
  core::RunState& st = core::state();
  core::begin_shutdown();
  if (st.options.kill_all) {
    // The client this run starts, by the name the host knows it by.
    const platform::shell::RemoteClient client = controller::remote_client(st.options);
    if (platform::kill_processes_by_name(platform::shell::remote_client_program(client)) != 0) {
      core::debug_line(client == platform::shell::RemoteClient::kSsh ? "Killed ssh..."
                                                                     : "Killed rsh...");
    }
  }
  exec::print_slow_command_report();
  exec::print_error_log_section();
  exec::destroy_temp_dir();
  std::printf("=-=-= Kestrel Execution Statistics -=-=-=-=\n");
  std::printf("  Total Running Time: %lld seconds\n",
              static_cast<long long>(platform::now_epoch_seconds() - st.run_start));
  // Up to the last byte: a report that lost any of its text is no success.
  std::fflush(stdout);
  core::end_if_report_closed();
  core::progress("Done\n");
  core::debug_line("Main thread complete\n");
  if (st.options.kill_tree) {
    std::printf("Killing main process tree at PID: %ld...\n", platform::current_process_id());
    platform::kill_own_process_tree();
    std::string message = core::format(
        "Unable to kill process tree rooted at PID %ld using Windows command: 'taskkill'",
        platform::current_process_id());
    std::printf("FATAL: %s\n", message.c_str());
    std::fprintf(stderr, "FATAL: %s\n", message.c_str());
    return -1;
  }
  platform::close_mutex(st.log_mutex);
  return 0;
}

}  // namespace

int run_kestrel(int argc, char** argv) {
  start_up(argc, argv);
  core::RunState& st = core::state();
  std::int64_t end_time = compute_end_time();
  for (st.iteration = 1; st.iteration <= st.options.iterations; ++st.iteration) {
    core::hold_if_interrupted();
    if (!st.options.force_iterations && platform::now_epoch_seconds() > end_time) break;
    run_iteration();
  }
  // The loop variable ran one past the last iteration.
  if (st.iteration > st.options.iterations) st.iteration = st.options.iterations;
  return shut_down();
}

}  // namespace run
