// The header block that opens the report.
#pragma once

namespace run {

void print_run_header(int argc, char** argv);

}  // namespace run
