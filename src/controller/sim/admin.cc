#include "controller/sim/admin.h"

#include <filesystem>

#include "controller/sim/client.h"
#include "controller/sim/model.h"
#include "controller/sim/output.h"
#include "controller/sim/serve.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace ctlsim {

namespace {

// Both spellings: the Windows build of kestrel calls rsh.exe, the POSIX
// build the system's own rsh.
const char* const kClientNames[] = {"rsh.exe", "plink.exe", "ssh.exe", "rsh", "plink", "ssh"};

void print_help() {
  out("ctlsim: a simulated storage controller, run as rsh.exe, plink.exe or ssh.exe.\n"
      "\n"
      "usage:\n"
      "  ctlsim --help            this text\n"
      "  ctlsim install DIR [--copy]\n"
      "                           make DIR with rsh.exe, plink.exe and ssh.exe, and rsh,\n"
      "                           plink and ssh (links to this program, or copies with\n"
      "                           --copy and on Windows); put DIR first on PATH\n"
      "  ctlsim serve NAME [-c COMMAND]\n"
      "                           answer one command as controller NAME, for a real\n"
      "                           server (default: the command in SSH_ORIGINAL_COMMAND)\n"
      "  ctlsim log NAME          print the invocation log of controller NAME\n"
      "  ctlsim reset NAME...     forget the state, log and files of the named controllers\n"
      "  ctlsim reset --all       forget everything in the state folder\n"
      "\n"
      "environment:\n"
      "  CTLSIM_HOME        holds models/NAME/model.conf (and models/NAME/files/)\n"
      "  CTLSIM_STATE       state folder (default CTLSIM_HOME/state, else the temp folder)\n"
      "  CTLSIM_TIME_SCALE  factor for every paced wait (default 1)\n"
      "  CTLSIM_HANG_LIMIT  seconds a hang or an endless sampler lasts (default 86400)\n"
      "  CTLSIM_LATENCY     round trip before every answer, for every controller:\n"
      "                     200ms, 0.2s or 100ms-300ms (overrides the models' latency)\n"
      "\n"
      "Built-in controllers: sim1, sim2. See docs/ctlsim.md for models and faults.\n");
  std::string state = state_root().string();
  out("State folder: " + state + "\n");
}

// The running program's own file, to link or copy under the client names.
fs::path own_program(const std::string& argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && fs::exists(self, ec)) return self;
  fs::path given = argv0;
  if (given.has_parent_path() && fs::exists(given, ec)) return fs::absolute(given, ec);
  std::string path = platform::get_env("PATH").value_or("");
  char separator = path.find(';') != std::string::npos ? ';' : ':';
  for (const std::string& folder : split(path, separator)) {
    if (folder.empty()) continue;
    for (const char* suffix : {"", ".exe"}) {
      fs::path candidate = fs::path(folder) / (given.filename().string() + suffix);
      if (fs::is_regular_file(candidate, ec)) return fs::absolute(candidate, ec);
    }
  }
  return fs::path();
}

int install(const std::string& argv0, const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && args[2] != "--copy")) {
    err("usage: ctlsim install DIR [--copy]\n");
    return 2;
  }
  fs::path program = own_program(argv0);
  if (program.empty()) {
    err("ctlsim install: cannot find this program's own file\n");
    return 1;
  }
  bool copy = args.size() == 3 || program.extension() == ".exe";
  fs::path folder = args[1];
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    err(format("ctlsim install: cannot make %s\n", folder.string().c_str()));
    return 1;
  }
  for (const char* name : kClientNames) {
    fs::path target = folder / name;
    fs::remove(target, ec);
    if (copy) {
      fs::copy_file(program, target, fs::copy_options::overwrite_existing, ec);
    } else {
      fs::create_symlink(program, target, ec);
    }
    if (ec) {
      err(format("ctlsim install: cannot make %s: %s\n", target.string().c_str(),
                 ec.message().c_str()));
      return 1;
    }
  }
  return 0;
}

int print_log(const std::vector<std::string>& args) {
  if (args.size() != 2 || !valid_controller_name(args[1])) {
    err("usage: ctlsim log NAME\n");
    return 2;
  }
  std::string text;
  read_file(log_path(args[1]), text);
  out(text);
  return 0;
}

int reset(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    err("usage: ctlsim reset NAME... | ctlsim reset --all\n");
    return 2;
  }
  if (args.size() == 2 && args[1] == "--all") {
    std::error_code ec;
    fs::path root = state_root();
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ignored;
      if (it->is_directory(ignored) && valid_controller_name(it->path().filename().string())) {
        reset_controller(it->path().filename().string());
      }
    }
    return 0;
  }
  int status = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    if (!valid_controller_name(args[i]) || !reset_controller(args[i])) {
      err(format("ctlsim reset: cannot reset %s\n", args[i].c_str()));
      status = 1;
    }
  }
  return status;
}

}  // namespace

int run_admin(const std::string& argv0, const std::vector<std::string>& args) {
  std::string verb = args.empty() ? "--help" : args[0];
  int status = 0;
  if (verb == "--help" || verb == "-h" || verb == "help") {
    print_help();
  } else if (verb == "install") {
    status = install(argv0, args);
  } else if (verb == "serve") {
    status = run_serve(args);
  } else if (verb == "log") {
    status = print_log(args);
  } else if (verb == "reset") {
    status = reset(args);
  } else {
    err(format("ctlsim: unknown command \"%s\" (try ctlsim --help)\n", verb.c_str()));
    status = 2;
  }
  flush_all();
  return status;
}

}  // namespace ctlsim
