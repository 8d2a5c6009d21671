// Commands that took a minute or more, reported in the error log at the end.
#pragma once

#include <string>

namespace exec {

constexpr int kSlowCommandSeconds = 60;
constexpr size_t kSlowCommandCapacity = 1024;

void add_slow_command(const std::string& command, const std::string& target, int iteration,
                      int seconds);

// Adds the command when `seconds` reached the threshold.
void note_command_time(const std::string& command, const std::string& target, int seconds);

void print_slow_command_report();

}  // namespace exec
