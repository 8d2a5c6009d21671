// The text index: one row per section, then totals per target and the
// slowest commands.
#include <algorithm>
#include <iomanip>

#include "report/output.h"
#include "report/summary.h"

namespace report {

namespace {

std::string join(const std::vector<std::string>& words, const char* separator) {
  std::string out;
  for (const std::string& word : words) {
    if (!out.empty()) out += separator;
    out += word;
  }
  return out;
}

std::string seconds_text(int seconds) {
  return seconds < 0 ? "-" : std::to_string(seconds);
}

// What the index shows of all sections besides their rows.
struct Figures {
  std::size_t target_width = 6;
  TotalsBuilder totals;
  SlowestBuilder slowest;

  void add(const Section& s, std::size_t index) {
    target_width = std::max(target_width, std::min<std::size_t>(s.target.size(), 40));
    totals.add(s);
    slowest.add(s, index);
  }
};

void write_top(const Report& report, std::ostream& out) {
  const Header& h = report.header;
  out << "Report: " << printable(status_line(report)) << "\n";
  if (h.present) {
    out << "Kestrel v" << printable(h.version) << ", host " << printable(h.host_name) << " ("
        << printable(h.host_os) << "), command line: " << printable(h.command_line) << "\n";
  } else {
    out << "No header block\n";
  }
  out << report.line_count << " lines, " << report.section_count << " sections, "
      << report.iteration_count << " iteration marker(s)\n\n";
}

void write_row_titles(int tw, std::ostream& out) {
  out << std::left << std::setw(5) << "ITER" << std::setw(10) << "PHASE" << std::setw(tw + 2)
      << "TARGET" << std::setw(8) << "KIND" << std::right << std::setw(7) << "SECONDS"
      << "  " << std::left << std::setw(16) << "FLAGS" << std::setw(9) << "LINE"
      << "COMMAND\n";
}

void write_row(const Section& s, int tw, std::ostream& out) {
  out << std::left << std::setw(5) << s.iteration << std::setw(10)
      << (s.phase.empty() ? "-" : s.phase) << std::setw(tw + 2)
      << printable(s.target.empty() ? "-" : s.target) << std::setw(8) << kind_name(s.kind)
      << std::right << std::setw(7) << seconds_text(s.seconds) << "  " << std::left << std::setw(16)
      << join(section_flags(s), ",") << std::setw(9) << s.line << printable(s.command) << "\n";
}

void write_totals(const Figures& figures, int tw, std::ostream& out) {
  out << "\nTotals per target\n";
  out << std::left << std::setw(tw + 2) << "TARGET" << std::right << std::setw(9) << "SECTIONS"
      << std::setw(9) << "SECONDS" << std::setw(10) << "EXCLUDED" << std::setw(8) << "KILLED"
      << std::setw(7) << "EMPTY" << std::setw(5) << "CUT"
      << "\n";
  for (const TargetTotals& t : figures.totals.totals) {
    out << std::left << std::setw(tw + 2) << printable(t.target.empty() ? "-" : t.target)
        << std::right << std::setw(9) << t.sections << std::setw(9) << t.seconds << std::setw(10)
        << t.excluded << std::setw(8) << t.killed << std::setw(7) << t.empty << std::setw(5)
        << t.cut << "\n";
  }
}

void write_slowest(const Report& report, const Figures& figures, int tw, std::ostream& out) {
  out << "\nSlowest commands\n";
  out << std::right << std::setw(7) << "SECONDS"
      << "  " << std::left << std::setw(5) << "ITER" << std::setw(tw + 2) << "TARGET"
      << std::setw(9) << "LINE"
      << "COMMAND\n";
  for (const auto& kept : figures.slowest.slowest) {
    const Section& s = kept.second;
    out << std::right << std::setw(7) << s.seconds << "  " << std::left << std::setw(5)
        << s.iteration << std::setw(tw + 2) << printable(s.target) << std::setw(9) << s.line
        << printable(s.command) << "\n";
  }
  if (report.slow_report_seen) {
    out << "\nSlow-command report of the run (60 seconds or more): " << report.slow_commands.size()
        << " command(s)\n";
    for (const SlowCommand& c : report.slow_commands) {
      out << std::right << std::setw(7) << c.seconds << "  " << std::left << std::setw(5)
          << c.iteration << std::setw(tw + 2) << printable(c.target) << std::setw(9) << "-"
          << printable(c.command) << "\n";
    }
  }
}

void write_end(const Report& report, const Figures& figures, std::ostream& out) {
  const int tw = static_cast<int>(figures.target_width);
  write_totals(figures, tw, out);
  write_slowest(report, figures, tw, out);
  if (!report.problems.empty()) {
    out << "\nProblems\n";
    for (const Problem& p : report.problems) {
      out << (p.line ? "line " + std::to_string(p.line) : std::string("file")) << ": "
          << printable(p.message) << "\n";
    }
  }
}

}  // namespace

void write_index(const Report& report, std::ostream& out) {
  Figures figures;
  for (std::size_t i = 0; i < report.sections.size(); ++i) figures.add(report.sections[i], i);
  const int tw = static_cast<int>(figures.target_width);
  write_top(report, out);
  write_row_titles(tw, out);
  for (const Section& s : report.sections) write_row(s, tw, out);
  write_end(report, figures, out);
}

std::optional<Report> write_index_streaming(std::istream& in, std::ostream& out) {
  Figures figures;
  Report report =
      read_report_outline(in, [&](const Section& s, std::size_t index) { figures.add(s, index); });
  if (in.bad()) return std::nullopt;
  if (!report.looks_like_report) return report;
  in.clear();
  in.seekg(0);
  if (!in) return std::nullopt;
  const int tw = static_cast<int>(figures.target_width);
  write_top(report, out);
  write_row_titles(tw, out);
  read_report_outline(in, [&](const Section& s, std::size_t) { write_row(s, tw, out); });
  if (in.bad()) return std::nullopt;
  write_end(report, figures, out);
  return report;
}

}  // namespace report
