// The program's entry: start-up, the iteration loop and shutdown.
#pragma once

namespace run {

int run_kestrel(int argc, char** argv);

}  // namespace run
