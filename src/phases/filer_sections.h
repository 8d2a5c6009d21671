// The controllers' sections of the two phases.
#pragma once

#include <string>
#include <vector>

namespace phases {

// Each controller prepared before the first iteration: how it is reached,
// its release and discovery data.
void filers_setup();

// Each controller's prestats sections, in command-line order.
void filers_prestats();

// Each controller's licences read again and its background samplers
// started.
void filers_before_sampling();

// Each controller's poststats sections, in command-line order.
void filers_poststats();

// The "rdfile" commands that copy the log files of a "/etc/log" listing:
// the name before the first blank of each line, "." and "..", cm_stats and
// sktrace files and names that fail the reply-name screen left out, at most
// 100. `capped` tells whether more were listed than kept.
std::vector<std::string> log_copy_commands(const std::string& filer_name,
                                           const std::vector<std::string>& listing, bool& capped);

}  // namespace phases
