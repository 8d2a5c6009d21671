// The process table as /proc shows it, for the tree and image-name killers.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

struct ProcessEntry {
  long pid = 0;
  long parent = 0;
  long group = 0;
  char state = '?';                   // 'R', 'S', 'T' (stopped), 'Z' (zombie), ...
  unsigned long long start_time = 0;  // clock ticks since boot; tells reused ids apart
};

// Parses one /proc/<pid>/stat line. The command name in parentheses may hold
// blanks and parentheses itself, so the fields are read after the last ')'.
bool parse_stat_line(const std::string& line, ProcessEntry& entry);

// False when the process is gone (or cannot be read).
bool read_process(long pid, ProcessEntry& entry);

std::vector<ProcessEntry> read_process_table();

// The processes below `root` (not `root` itself), found through the kernel's
// list of each thread's children, without reading the whole table. False
// when the kernel keeps no such list or `root` is gone: read the table then.
bool read_subtree(long root, std::vector<ProcessEntry>& entries);

// Base name of the program the process was started as (its argv[0]).
std::string image_name(long pid);

}  // namespace platform::posix
