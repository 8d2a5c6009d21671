#include "controller/sim/store.h"

#include <fstream>
#include <sstream>

#include "controller/sim/output.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace ctlsim {

namespace {

const int kStaleLockSeconds = 5;
const int kLockWaitMs = 60000;
const int kLockRetryMs = 10;

bool lock_is_stale(const fs::path& path) {
  std::error_code ec;
  auto written = fs::last_write_time(path, ec);
  if (ec) return false;
  auto age = fs::file_time_type::clock::now() - written;
  return age > std::chrono::seconds(kStaleLockSeconds);
}

// Moves a stale lock aside first, so that two waiters that both find it stale
// cannot both remove it (the second rename fails) and then both hold the lock.
void break_lock(const fs::path& path) {
  std::error_code ec;
  fs::path aside = path;
  aside += format(".stale.%ld", platform::current_process_id());
  fs::rename(path, aside, ec);
  if (!ec) fs::remove_all(aside, ec);
}

// Renames over an existing file also where rename refuses to replace one; the
// caller holds the controller's lock.
void replace_file(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return;
  fs::remove_all(to, ec);
  fs::rename(from, to, ec);
}

}  // namespace

bool read_file(const fs::path& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return !in.bad();
}

bool write_file(const fs::path& path, const std::string& content) {
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(file);
}

fs::path state_root() {
  auto state = platform::get_env("CTLSIM_STATE");
  if (state && !state->empty()) return fs::path(*state);
  auto home = platform::get_env("CTLSIM_HOME");
  if (home && !home->empty()) return fs::path(*home) / "state";
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) temp = ".";
  return temp / "ctlsim-state";
}

fs::path controller_folder(const std::string& name) {
  return state_root() / name;
}

fs::path log_path(const std::string& name) {
  return controller_folder(name) / "invocations.log";
}

StateLock::~StateLock() {
  if (!held) return;
  std::error_code ec;
  fs::remove(path, ec);
}

bool lock_controller(const std::string& name, StateLock& lock) {
  std::error_code ec;
  fs::create_directories(state_root(), ec);
  lock.path = state_root() / (name + ".lock");
  for (int waited = 0; waited < kLockWaitMs; waited += kLockRetryMs) {
    if (fs::create_directory(lock.path, ec) && !ec) {
      lock.held = true;
      return true;
    }
    if (lock_is_stale(lock.path)) {
      break_lock(lock.path);
      continue;
    }
    platform::sleep_ms(kLockRetryMs);
  }
  err(format("ctlsim: state of %s is locked (%s); going on without the lock\n", name.c_str(),
             lock.path.string().c_str()));
  return false;
}

std::string state_get(const ControllerState& state, const std::string& key) {
  for (const auto& entry : state.values) {
    if (entry.first == key) return entry.second;
  }
  return "";
}

void state_set(ControllerState& state, const std::string& key, const std::string& value) {
  for (auto& entry : state.values) {
    if (entry.first == key) {
      entry.second = value;
      return;
    }
  }
  state.values.emplace_back(key, value);
}

void state_erase(ControllerState& state, const std::string& key) {
  for (size_t i = 0; i < state.values.size(); ++i) {
    if (state.values[i].first == key) {
      state.values.erase(state.values.begin() + static_cast<long>(i));
      return;
    }
  }
}

static ControllerState load_state(const std::string& name) {
  ControllerState state;
  std::string text;
  if (!read_file(controller_folder(name) / "state.conf", text)) return state;
  for (const std::string& line : split(text, '\n')) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    state.values.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return state;
}

void update_state(const std::string& name, const std::function<void(ControllerState&)>& change) {
  StateLock lock;
  lock_controller(name, lock);
  ControllerState state = load_state(name);
  change(state);
  std::string text;
  for (const auto& entry : state.values) text += entry.first + "=" + entry.second + "\n";
  fs::path path = controller_folder(name) / "state.conf";
  fs::path fresh = path;
  fresh += ".new";
  if (write_file(fresh, text)) replace_file(fresh, path);
}

ControllerState read_state(const std::string& name) {
  StateLock lock;
  lock_controller(name, lock);
  return load_state(name);
}

void append_log(const std::string& name, const std::string& line) {
  StateLock lock;
  lock_controller(name, lock);
  std::error_code ec;
  fs::create_directories(controller_folder(name), ec);
  std::ofstream file(log_path(name), std::ios::binary | std::ios::app);
  file << line << '\n';
}

static void fill_tree(const Model& model, const fs::path& target) {
  std::error_code ec;
  fs::create_directories(target, ec);
  if (!model.files_folder.empty()) {
    // Entry by entry: a recursive copy into an existing folder fails on
    // some C++ runtimes (MinGW's under Wine) with "File exists".
    const fs::path source = model.files_folder;
    for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path copy = target / fs::relative(it->path(), source, ec);
      if (it->is_directory(ec)) {
        fs::create_directories(copy, ec);
      } else {
        fs::copy_file(it->path(), copy, fs::copy_options::overwrite_existing, ec);
      }
      if (ec) break;
    }
    if (ec)
      err(format("ctlsim: cannot copy %s: %s\n", model.files_folder.c_str(), ec.message().c_str()));
    return;
  }
  for (const TreeFile& file : builtin_tree(model)) {
    fs::path path;
    if (tree_path(target, file.path, path)) write_file(path, file.content);
  }
}

fs::path files_root(const Model& model) {
  fs::path root = controller_folder(model.name) / "files";
  std::error_code ec;
  if (fs::is_directory(root, ec)) return root;
  StateLock lock;
  lock_controller(model.name, lock);
  if (fs::is_directory(root, ec)) return root;
  fs::path fresh = root;
  fresh += ".new";
  fs::remove_all(fresh, ec);
  fill_tree(model, fresh);
  replace_file(fresh, root);
  return root;
}

bool tree_path(const fs::path& root, const std::string& controller_path, fs::path& out) {
  out = root;
  for (const std::string& part : split(controller_path, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.find('\\') != std::string::npos ||
        part.find(':') != std::string::npos) {
      return false;
    }
    out /= part;
  }
  return true;
}

bool reset_controller(const std::string& name) {
  StateLock lock;
  lock_controller(name, lock);
  std::error_code ec;
  fs::remove_all(controller_folder(name), ec);
  return !ec;
}

}  // namespace ctlsim
