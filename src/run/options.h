// The command line: options into core::RunOptions, controller names into the
// core::FilerTarget table, and the checks of combinations that cannot work.
#pragma once

namespace run {

// Fills core::state().options and core::state().filers. Returns only when the command
// line is usable; prints usage, version or an error and ends the process
// otherwise (status 0 for "help" and -v, 1 for errors).
void parse_options(int argc, char** argv);

// Returns only when no two options conflict; ends the process with status 1
// otherwise.
void check_option_conflicts();

}  // namespace run
