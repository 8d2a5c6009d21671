// The two snapshot phases of an iteration.
#pragma once

namespace phases {

// Snapshots before the sampling wait. With -c it also runs Poststats, puts the
// error log into the report and ends the process.
void Prestats();

// Snapshots after the sampling wait.
void Poststats();

}  // namespace phases
