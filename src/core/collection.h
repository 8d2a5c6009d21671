// One target's collection in a phase: what the commands run for one
// controller (or the host) read and write while they run. A phase makes one
// per target and passes it down, so collections that run side by side never
// see each other's section, services or templates.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/state.h"

namespace core {

struct Collection {
  // The controller collected, or nullptr for the host (and for run-wide
  // commands such as the error-log section).
  FilerTarget* filer = nullptr;

  // The section title of the marker lines.
  std::string section;

  // The controller's licensed services as its catalogues and samplers see them.
  CurrentServices services;

  // Commands to repeat per virtual controller, with VZNAME/VZPATH
  // placeholders; refilled by each catalogue.
  std::vector<std::string> vzone_config_templates;
  std::vector<std::string> vzone_perf_templates;

  // This target's part of the iteration's list of files that poststats
  // prints (quoted paths); nullptr where nothing is registered.
  std::vector<std::string>* temp_files = nullptr;

  // Where the collection's report text goes, its commands' output included.
  std::FILE* out = stdout;

  // Scratch files of the captured queries (replies and folder listings).
  std::string reply_path;
  std::string listing_path;

  // Where a command's standard output goes while it runs, before kestrel
  // copies it into `out`; empty: the run's default file.
  std::string output_path;

  // Where its commands' standard error goes before it joins the error log;
  // empty: straight into the error log. Collections that run side by side
  // each have their own, as two commands cannot append to one file at once
  // everywhere.
  std::string stderr_path;

  // The complete command line that runs a command on the controller.
  std::function<std::string(const std::string& command)> remote_command_line;

  // Called with every command line before it starts (the stats timing lines).
  std::function<void(const Collection& collection, const std::string& command_line)> before_command;
};

}  // namespace core
