#include "controller/sim/faults.h"

#include "controller/sim/output.h"
#include "controller/sim/text.h"

namespace ctlsim {

namespace {

struct FaultKind {
  const char* name;
  bool needs_arg;
  bool numeric_arg;
};

const FaultKind kKinds[] = {
    {"delay", true, true},       {"hang", false, false},       {"output_then_hang", false, false},
    {"garbage", false, true},    {"long_output", false, true}, {"long_line", false, true},
    {"stderr", true, false},     {"error", false, false},      {"unreachable", false, false},
    {"half_line", false, false},
};

long count_arg(const Fault& fault, long fallback) {
  long value = 0;
  return parse_int(fault.arg, value) ? value : fallback;
}

void write_garbage(long lines) {
  std::uint64_t seed = 0x9e3779b97f4a7c15ull;
  for (long line = 0; line < lines; ++line) {
    std::string text;
    for (int i = 0; i < 60; ++i) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      char c = static_cast<char>((seed >> 33) & 0xff);
      if (c == '\n') c = '~';
      text += c;
    }
    if (line == lines / 2) text[10] = '\0';
    out(text + "\n");
  }
}

}  // namespace

std::string parse_fault(const std::string& text, Fault& fault) {
  std::string entry = trim(text);
  size_t blank = entry.find_first_of(" \t");
  fault.kind = entry.substr(0, blank);
  fault.arg = blank == std::string::npos ? "" : trim(entry.substr(blank));
  for (const FaultKind& kind : kKinds) {
    if (fault.kind != kind.name) continue;
    if (kind.needs_arg && fault.arg.empty()) return format("fault \"%s\" needs a value", kind.name);
    double number = 0;
    if (kind.numeric_arg && !fault.arg.empty() &&
        (!parse_number(fault.arg, number) || number < 0)) {
      return format("fault \"%s\" needs a number, not \"%s\"", kind.name, fault.arg.c_str());
    }
    if (!kind.needs_arg && !kind.numeric_arg && fault.kind != "error" && !fault.arg.empty()) {
      return format("fault \"%s\" takes no value", kind.name);
    }
    return "";
  }
  return format("unknown fault \"%s\"", fault.kind.c_str());
}

std::vector<Fault> faults_for(const Model& model, const std::string& command, bool whole) {
  std::vector<Fault> found;
  std::vector<std::string> words = split_words(command);
  for (const CommandFault& entry : model.faults) {
    if (whole) {
      if (entry.command.empty()) found.push_back(entry.fault);
      continue;
    }
    if (entry.command.empty()) continue;
    std::vector<std::string> prefix = split_words(entry.command);
    if (prefix.size() > words.size()) continue;
    bool match = true;
    for (size_t i = 0; i < prefix.size() && match; ++i) match = prefix[i] == words[i];
    if (match) found.push_back(entry.fault);
  }
  return found;
}

bool has_fault(const std::vector<Fault>& faults, const std::string& kind) {
  for (const Fault& fault : faults) {
    if (fault.kind == kind) return true;
  }
  return false;
}

FaultStep apply_faults_before(const std::vector<Fault>& faults) {
  for (const Fault& fault : faults) {
    double seconds = 0;
    if (fault.kind == "delay" && parse_number(fault.arg, seconds)) pace(seconds);
  }
  for (const Fault& fault : faults) {
    if (fault.kind == "stderr") err(fault.arg + "\n");
  }
  for (const Fault& fault : faults) {
    if (fault.kind == "error") {
      err((fault.arg.empty() ? std::string("Command failed") : fault.arg) + "\n");
      return FaultStep::kFail;
    }
  }
  if (has_fault(faults, "hang")) hang();
  if (has_fault(faults, "half_line")) {
    out("half a line, cut");
    hang();
  }
  for (const Fault& fault : faults) {
    if (fault.kind == "garbage") {
      write_garbage(count_arg(fault, 40));
      return FaultStep::kSkipAnswer;
    }
  }
  for (const Fault& fault : faults) {
    if (fault.kind == "long_line") out(std::string(count_arg(fault, 10000), 'x') + "\n");
  }
  return FaultStep::kAnswer;
}

void apply_faults_after(const std::vector<Fault>& faults) {
  for (const Fault& fault : faults) {
    if (fault.kind != "long_output") continue;
    long lines = count_arg(fault, 100000);
    for (long line = 1; line <= lines; ++line) {
      out(format("filler line %ld of %ld: the quick brown fox jumps over the lazy dog\n", line,
                 lines));
    }
  }
  if (has_fault(faults, "output_then_hang")) hang();
}

}  // namespace ctlsim
