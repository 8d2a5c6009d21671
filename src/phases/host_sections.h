// The local host's sections of the two phases.
#pragma once

#include "core/collection.h"

namespace phases {

void host_prestats(core::Collection& collection);
void host_poststats(core::Collection& collection);

// "=-=-=-=-=-= PERF <host> <phase> =-=-=-=-=-= date" and the time stamp.
void print_perf_date_header(const char* phase_word);

}  // namespace phases
