// Writing replies and pacing them in time.
#pragma once

#include <string>

namespace ctlsim {

// The reply (standard output) and the error text (standard error).
void out(const std::string& text);
void err(const std::string& text);
void flush_all();

// Sleeps `seconds` of simulated time: real seconds multiplied by the factor in
// CTLSIM_TIME_SCALE (default 1), after flushing the reply so that a reader
// sees every row as soon as it is written.
void pace(double seconds);

// The factor of CTLSIM_TIME_SCALE (default 1): real seconds per simulated one.
double time_scale();

// The longest a command that runs "until killed" keeps running, in real
// seconds: CTLSIM_HANG_LIMIT, default one day. Stray simulators of a broken
// test end by themselves.
double hang_limit_seconds();

// Never answers: sleeps until killed (or until the hang limit, then exits).
[[noreturn]] void hang();

}  // namespace ctlsim
