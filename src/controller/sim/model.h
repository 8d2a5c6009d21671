// What a simulated controller is: its model, read from CTLSIM_HOME or built
// into the program.
#pragma once

#include <string>
#include <vector>

#include "controller/sim/latency.h"
#include "controller/sim/workload.h"

namespace ctlsim {

struct Vzone {
  std::string name;
  std::string path;  // root path, such as /vol/vz1root
};

struct VolumeOption {
  std::string volume;
  bool replisynced = false;
};

// One injected fault: kind and its argument text (see faults.h).
struct Fault {
  std::string kind;
  std::string arg;
};

// A fault that hits every command beginning with `command` (whole words), or
// every invocation when `command` is empty.
struct CommandFault {
  std::string command;
  Fault fault;
};

// A reply read from a file instead of the built-in one.
struct CannedReply {
  std::string command;  // normalised: single blanks, no outer blanks
  std::string file;
};

struct Model {
  std::string name;
  std::string folder;  // the model's folder; empty for a built-in model
  std::string release;
  std::string help_style;  // "statit", "priv" or "none"
  std::string password;    // empty: every password is accepted
  Latency latency;         // the round trip before every answer
  Workload workload;       // what its samplers show over time
  std::vector<std::string> licenses;
  int processors = 2;
  std::vector<Vzone> vzones;
  std::vector<std::string> vifs;
  std::vector<std::string> volumes;
  std::vector<VolumeOption> options_vols;
  std::vector<CommandFault> faults;
  std::vector<CannedReply> replies;
  std::string files_folder;  // the model's files/ tree; empty: the built-in tree
};

enum class ModelLookup { kFound, kMissing, kBroken };

// Looks up the controller `name`: CTLSIM_HOME/models/NAME/model.conf first,
// then the built-in models. kBroken comes with a message in `error`.
ModelLookup find_model(const std::string& name, Model& model, std::string& error);

// Reads a model.conf text over `model` (which holds the defaults). Returns an
// empty string, or what is wrong with which line.
std::string parse_model_conf(const std::string& text, Model& model);

// The built-in models "sim1" and "sim2"; false for any other name.
bool builtin_model(const std::string& name, Model& model);

// A file of the built-in file tree: path below the controller's root and
// content.
struct TreeFile {
  std::string path;
  std::string content;
};

// The built-in file tree of `model`, including a root folder per vzone.
std::vector<TreeFile> builtin_tree(const Model& model);

// True when `name` can be a controller name: letters, digits, '.', '-' and
// '_', not beginning with '.' and without ".lock". Other names are
// unreachable, so that a name can never lead out of the state folder nor
// meet another controller's lock folder.
bool valid_controller_name(const std::string& name);

}  // namespace ctlsim
