// The error log section: the slow-command table written into it at the end
// of the run.
#pragma once

#include "report/report.h"

namespace report {

// Fills `report.slow_commands` from the error log section `log`.
void read_error_log(Report& report, const Section& log);

}  // namespace report
