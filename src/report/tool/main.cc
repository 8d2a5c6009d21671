// kestrel-report: reads a report written by kestrel and prints its index,
// its JSON form, writes one self-contained HTML page, or exports its sampler
// tables as CSV files or OpenMetrics text.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "report/compare.h"
#include "report/exports.h"
#include "report/output.h"
#include "report/report.h"
#include "report/summary.h"
#include "report/text.h"
#include "report/verdict.h"

namespace {

// Exit statuses.
constexpr int kWhole = 0;      // the report was read to its end
constexpr int kPartial = 1;    // cut short or damaged: output written as far as it goes
constexpr int kUsage = 2;      // the command line is wrong
constexpr int kFileError = 3;  // the report cannot be read or the output not written
constexpr int kNotReport = 4;  // the input is no report: nothing written

// json, html, csv and openmetrics hold the whole report in memory (about four times its
// size at most); index reads it line by line and takes any size.
constexpr unsigned long long kMaxWholeReport = 1ull << 30;

const char kUsageText[] =
    "usage: kestrel-report index REPORT\n"
    "       kestrel-report json REPORT\n"
    "       kestrel-report html REPORT -o PAGE.html\n"
    "       kestrel-report csv REPORT -o FOLDER\n"
    "       kestrel-report openmetrics REPORT [-o FILE]\n"
    "       kestrel-report diff A B [--html] [-o FILE]\n"
    "       kestrel-report findings REPORT\n"
    "\n"
    "  index  one row per section (iteration, phase, target, command, seconds,\n"
    "         flags), totals per target and the slowest commands\n"
    "  json   the same as JSON, one object per section with its text\n"
    "  html   one page that opens from disk: header, searchable index,\n"
    "         timelines per target, charts of the sampler files\n"
    "  csv    one CSV file per sampler table, target and iteration, and\n"
    "         sections.csv, into FOLDER (made if missing)\n"
    "  openmetrics  the sampler tables as OpenMetrics text (standard output\n"
    "         without -o), for promtool tsdb create-blocks-from openmetrics\n"
    "  diff   report A against report B: header settings that differ (options,\n"
    "         versions, targets), configuration sections that changed (matched by\n"
    "         target, phase, iteration and command; a line with a time of day is\n"
    "         compared with its numbers masked), and per target the key columns'\n"
    "         min/mean/p95/max side by side; a shift is marked significant when\n"
    "         the means differ by at least 20 % of the larger one and by more than\n"
    "         twice the standard error of their difference. Text, or with --html\n"
    "         a page of its own; standard output without -o. Status 0 when both\n"
    "         reports were read: differences are data\n"
    "  findings  the verdict as text: the targets busiest first with min,\n"
    "         mean, p95 and max of their key columns, then the findings of the\n"
    "         rules, one per line (severity, target, time window, zoom, lines,\n"
    "         text); findings are data and do not change the exit status\n"
    "\n"
    "index reads a report of any size line by line; the others hold the\n"
    "whole report in memory and refuse one larger than 1 GiB (1073741824 bytes)\n"
    "\n"
    "exit status: 0 whole report, 1 report cut short or damaged (output\n"
    "written as far as it goes), 2 usage error, 3 file error, 4 not a report\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "kestrel-report: %s\n%s", message.c_str(), kUsageText);
  return kUsage;
}

// Opens the report; a message and false when it cannot be read as a file.
bool open_report(const std::string& path, std::ifstream& in) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    std::fprintf(stderr, "kestrel-report: %s is a folder, not a report file\n", path.c_str());
    return false;
  }
  in.open(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "kestrel-report: cannot read %s\n", path.c_str());
    return false;
  }
  return true;
}

// Asks for large pages under a big buffer about to be filled: a 100 MB report
// otherwise costs tens of thousands of page faults, a good part of the time
// a whole-report command takes. A hint; nothing changes where it is refused.
void prefer_large_pages(void* start, std::size_t size) {
#ifdef __linux__
  const std::uintptr_t page = 2u << 20;
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(start) + page - 1) & ~(page - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(page - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)start;
  (void)size;
#endif
}

// Reads the whole report into `data`, at most kMaxWholeReport bytes.
int read_whole(const std::string& path, const std::string& command, std::string& data) {
  std::ifstream in;
  if (!open_report(path, in)) return kFileError;
  std::error_code error;
  auto size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxWholeReport) {
    std::fprintf(stderr,
                 "kestrel-report: %s is %llu bytes; %s holds the whole report in memory and takes "
                 "at most 1 GiB (%llu bytes): use \"kestrel-report index\", which reads any size\n",
                 path.c_str(), static_cast<unsigned long long>(size), command.c_str(),
                 kMaxWholeReport);
    return kFileError;
  }
  if (!error && size > 0) {
    // The whole file in one read, straight into its place.
    data.reserve(static_cast<std::size_t>(size));
    prefer_large_pages(data.data(), data.capacity());
    data.resize(static_cast<std::size_t>(size));
    in.read(&data[0], static_cast<std::streamsize>(size));
    data.resize(static_cast<std::size_t>(in.gcount()));
  }
  char buffer[1 << 16];
  while (in) {
    in.read(buffer, sizeof buffer);
    data.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (data.size() > kMaxWholeReport) {
      std::fprintf(stderr,
                   "kestrel-report: %s is larger than 1 GiB (%llu bytes), the most %s takes: use "
                   "\"kestrel-report index\", which reads any size\n",
                   path.c_str(), kMaxWholeReport, command.c_str());
      return kFileError;
    }
  }
  if (in.bad()) {
    std::fprintf(stderr, "kestrel-report: cannot read %s\n", path.c_str());
    return kFileError;
  }
  return kWhole;
}

int finish(const report::Report& report, const std::string& path) {
  if (report.complete && report.damaged()) {
    std::fprintf(stderr, "kestrel-report: %s: %s\n", path.c_str(),
                 report::printable(report::status_line(report)).c_str());
  }
  if (report.complete) {
    for (const report::Problem& p : report.problems) {
      std::fprintf(stderr, "kestrel-report: %s:%zu: %s\n", path.c_str(), p.line,
                   report::printable(p.message).c_str());
    }
    return report.problems.empty() ? kWhole : kPartial;
  }
  std::fprintf(stderr, "kestrel-report: %s: %s\n", path.c_str(),
               report::printable(report.stop_reason).c_str());
  return kPartial;
}

// kestrel-report diff A B [--html] [-o FILE]
int diff_command(const std::vector<std::string>& args) {
  std::vector<std::string> inputs;
  std::string output;
  bool html = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--html") {
      html = true;
    } else if (args[i] == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return usage_error("-o needs a file name");
      output = args[++i];
    } else if (inputs.size() < 2 && (args[i].empty() || args[i][0] != '-')) {
      inputs.push_back(args[i]);
    } else {
      return usage_error("unexpected argument \"" + args[i] + "\"");
    }
  }
  if (inputs.size() != 2) return usage_error("diff needs two report files");
  report::Report reports[2];
  for (int k = 0; k < 2; ++k) {
    std::string data;
    if (int status = read_whole(inputs[k], "diff", data); status != kWhole) return status;
    reports[k] = report::parse_report(std::move(data));
    if (reports[k].bytes == 0 || !reports[k].looks_like_report) {
      std::fprintf(stderr, "kestrel-report: %s is not a kestrel report: nothing compared\n",
                   inputs[k].c_str());
      return kNotReport;
    }
    if (!reports[k].complete || reports[k].damaged())
      std::fprintf(stderr, "kestrel-report: %s: %s; compared as far as it goes\n",
                   inputs[k].c_str(), report::printable(report::status_line(reports[k])).c_str());
  }
  report::Comparison comparison = report::compare_reports(reports[0], reports[1]);
  std::ofstream file;
  if (!output.empty()) {
    file.open(output, std::ios::binary | std::ios::trunc);
    if (!file) {
      std::fprintf(stderr, "kestrel-report: cannot write %s\n", output.c_str());
      return kFileError;
    }
  }
  std::ostream& out = output.empty() ? static_cast<std::ostream&>(std::cout) : file;
  if (html) {
    report::write_comparison_html(comparison, inputs[0], inputs[1], out);
  } else {
    report::write_comparison_text(comparison, inputs[0], inputs[1], out);
  }
  out.flush();
  if (!out) {
    std::fprintf(stderr, "kestrel-report: writing the comparison failed\n");
    return kFileError;
  }
  return kWhole;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage_error("no command given");
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsageText, stdout);
    return kWhole;
  }
  const std::string command = args[0];
  if (command == "diff") return diff_command(args);
  if (command != "index" && command != "json" && command != "html" && command != "csv" &&
      command != "openmetrics" && command != "findings")
    return usage_error("unknown command \"" + command + "\"");
  std::string input, page;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-o" && command != "index" && command != "json" && command != "findings") {
      if (i + 1 >= args.size()) return usage_error("-o needs a file name");
      if (args[i + 1].empty()) return usage_error("-o needs a file name");
      page = args[++i];
    } else if (input.empty() && (args[i].empty() || args[i][0] != '-')) {
      input = args[i];
    } else {
      return usage_error("unexpected argument \"" + args[i] + "\"");
    }
  }
  if (input.empty()) return usage_error("no report file given");
  if (command == "html" && page.empty()) return usage_error("html needs -o PAGE.html");
  if (command == "csv" && page.empty()) return usage_error("csv needs -o FOLDER");

  report::Report report;
  std::ios::sync_with_stdio(false);
  if (command == "index") {
    std::ifstream in;
    if (!open_report(input, in)) return kFileError;
    std::optional<report::Report> read = report::write_index_streaming(in, std::cout);
    if (!read) {
      std::fprintf(stderr, "kestrel-report: cannot read %s\n", input.c_str());
      return kFileError;
    }
    report = std::move(*read);
  } else {
    std::string data;
    if (int status = read_whole(input, command, data); status != kWhole) return status;
    report = report::parse_report(std::move(data));
  }
  if (report.bytes == 0) {
    std::fprintf(stderr, "kestrel-report: %s is empty: not a report\n", input.c_str());
    return kNotReport;
  }
  if (!report.looks_like_report) {
    std::fprintf(
        stderr, "kestrel-report: %s is not a kestrel report: no header block and no marker lines\n",
        input.c_str());
    return kNotReport;
  }

  if (command == "html") {
    std::ofstream out(page, std::ios::binary | std::ios::trunc);
    if (!out) {
      std::fprintf(stderr, "kestrel-report: cannot write %s\n", page.c_str());
      return kFileError;
    }
    std::string name = input.substr(input.find_last_of("/\\") + 1);
    report::write_html(report, name, out);
    out.close();
    if (!out) {
      std::fprintf(stderr, "kestrel-report: writing %s failed\n", page.c_str());
      return kFileError;
    }
  } else if (command == "csv") {
    std::error_code error;
    std::filesystem::create_directories(page, error);
    if (!std::filesystem::is_directory(page, error)) {
      std::fprintf(stderr, "kestrel-report: cannot make the folder %s\n", page.c_str());
      return kFileError;
    }
    std::vector<std::string> written;
    std::string message;
    if (!report::write_csv_folder(report, page, written, message)) {
      std::fprintf(stderr, "kestrel-report: %s\n", report::printable(message).c_str());
      return kFileError;
    }
  } else if (command == "openmetrics" && !page.empty()) {
    std::ofstream out(page, std::ios::binary | std::ios::trunc);
    if (!out) {
      std::fprintf(stderr, "kestrel-report: cannot write %s\n", page.c_str());
      return kFileError;
    }
    report::write_openmetrics(report, out);
    out.close();
    if (!out) {
      std::fprintf(stderr, "kestrel-report: writing %s failed\n", page.c_str());
      return kFileError;
    }
  } else {
    if (command == "json") report::write_json(report, std::cout);
    if (command == "openmetrics") report::write_openmetrics(report, std::cout);
    if (command == "findings") report::write_findings_text(report::make_verdict(report), std::cout);
    std::cout.flush();
    if (!std::cout) {
      std::fprintf(stderr, "kestrel-report: writing the output failed\n");
      return kFileError;
    }
  }
  return finish(report, input);
}
