// The local host's sections of the two phases.
#pragma once

namespace phases {

void host_prestats();
void host_poststats();

// "=-=-=-=-=-= PERF <host> <phase> =-=-=-=-=-= date" and the time stamp.
void print_perf_date_header(const char* phase_word);

}  // namespace phases
