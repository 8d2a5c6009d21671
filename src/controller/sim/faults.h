// Injected faults: what a model can make a controller do wrong.
//
//   delay S            sleep S seconds, then answer
//   hang               never answer (until killed)
//   output_then_hang   answer, then never end
//   half_line          print the start of a line without its end, then never end
//   garbage [N]        N lines (default 40) of binary junk instead of the answer
//   long_output [N]    the answer, then N filler lines (default 100000)
//   long_line [N]      one line of N characters (default 10000), then the answer
//   stderr TEXT        TEXT on standard error, then the answer
//   error [TEXT]       TEXT on standard error, no answer, exit status 1
//   unreachable        the client cannot reach the controller
#pragma once

#include <string>
#include <vector>

#include "controller/sim/model.h"

namespace ctlsim {

// Parses "KIND [ARG]". Returns an empty string or what is wrong.
std::string parse_fault(const std::string& text, Fault& fault);

// The faults of `model` for the invocation as a whole (command empty) or for
// one command text (matched by whole leading words).
std::vector<Fault> faults_for(const Model& model, const std::string& command, bool whole);

bool has_fault(const std::vector<Fault>& faults, const std::string& kind);

enum class FaultStep { kAnswer, kSkipAnswer, kFail };

// Everything that comes before the answer. kSkipAnswer: junk was written
// instead; kFail: an error was written, the invocation fails.
FaultStep apply_faults_before(const std::vector<Fault>& faults);

// Everything that comes after the answer.
void apply_faults_after(const std::vector<Fault>& faults);

}  // namespace ctlsim
