// What a simulated controller keeps between invocations: its key = value
// state, its invocation log and its file tree, all under the state folder,
// guarded by a lock folder per controller.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controller/sim/model.h"

namespace ctlsim {

bool read_file(const std::filesystem::path& path, std::string& content);
bool write_file(const std::filesystem::path& path, const std::string& content);

// CTLSIM_STATE, else CTLSIM_HOME/state, else ctlsim-state in the system's
// temporary folder.
std::filesystem::path state_root();

// state_root()/NAME
std::filesystem::path controller_folder(const std::string& name);

// A held lock folder (state_root()/NAME.lock); removed when it goes out of
// scope. A lock older than five seconds is taken to be left over by a killed
// process and is broken.
struct StateLock {
  std::filesystem::path path;
  bool held = false;
  StateLock() = default;
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
  ~StateLock();
};

// Waits for the controller's lock (at most about a minute). False when it
// could not be had; the caller then goes on without it.
bool lock_controller(const std::string& name, StateLock& lock);

struct ControllerState {
  std::vector<std::pair<std::string, std::string>> values;
};

std::string state_get(const ControllerState& state, const std::string& key);
void state_set(ControllerState& state, const std::string& key, const std::string& value);
void state_erase(ControllerState& state, const std::string& key);

// Reads the state, lets `change` modify it and writes it back, all under the
// controller's lock.
void update_state(const std::string& name, const std::function<void(ControllerState&)>& change);

// Reads the state under the lock.
ControllerState read_state(const std::string& name);

// Appends one line (a line end is added) to the controller's invocation log.
void append_log(const std::string& name, const std::string& line);

std::filesystem::path log_path(const std::string& name);

// The root of the controller's file tree, made from the model's files/ tree
// (or the built-in tree) the first time it is needed.
std::filesystem::path files_root(const Model& model);

// Maps a controller path ("/etc/log/messages") into the tree. False for a
// path that tries to leave it ("..").
bool tree_path(const std::filesystem::path& root, const std::string& controller_path,
               std::filesystem::path& out);

// Forgets everything about the controller: state, log and file tree.
bool reset_controller(const std::string& name);

}  // namespace ctlsim
