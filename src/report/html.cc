// One self-contained page: the header, totals and problems written here as
// HTML; the sections, their texts and the sampler charts handed to the
// page's script as one JSON object, drawn by the inlined chart library.
// The page of a large report holds that object and the texts packed (see
// pack.h): the browser reads a fraction of the bytes, and unpacks the texts
// only when one is first opened.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

#include "report/assets.h"
#include "report/background.h"
#include "report/diff.h"
#include "report/json_text.h"
#include "report/markers.h"
#include "report/output.h"
#include "report/pack.h"
#include "report/page_clock.h"
#include "report/summary.h"
#include "report/tables.h"
#include "report/verdict.h"

namespace report {

namespace {

// Pieces of a packed block: each is packed on its own, as one line of
// base64, so that no more than one piece is held at a time.
constexpr std::size_t kPackPiece = 8u << 20;

// Collects the page and hands it to the stream in pieces; `packing`, the
// pieces go out packed.
struct Page {
  std::ostream& stream;
  std::string out;
  bool packing = false;

  void flush_if_large() {
    if (out.size() > (packing ? kPackPiece : 1u << 20)) flush();
  }
  void flush() {
    if (packing && !out.empty()) {
      std::string line;
      append_base64(line, pack(out));
      line += '\n';
      out.clear();
      stream.write(line.data(), static_cast<std::streamsize>(line.size()));
      return;
    }
    stream.write(out.data(), static_cast<std::streamsize>(out.size()));
    out.clear();
  }
  Page& raw(std::string_view text) {
    out.append(text);
    return *this;
  }
  // Text as HTML character data or attribute value.
  Page& text(std::string_view value) {
    append_html_text(out, value);
    return *this;
  }
  Page& number(long long value) {
    out += std::to_string(value);
    return *this;
  }
  Page& json(std::string_view value) {
    append_json_string(out, value, true);
    return *this;
  }
};

// As json_double() writes it; whole numbers straight into the page.
void write_number(Page& p, double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value));
    p.out.append(digits, static_cast<std::size_t>(end.ptr - digits));
    return;
  }
  p.raw(json_double(value));
}

void write_header_table(Page& p, const Report& r) {
  const Header& h = r.header;
  p.raw("<section id=\"run-header\"><h2>Run header</h2>");
  if (!h.present) {
    p.raw("<p class=\"warn\">The report has no header block.</p></section>\n");
    return;
  }
  p.raw(
      "<table class=\"grid\" id=\"header-table\"><tr><th>Setting</th><th>Value</th><th></th></tr>");
  p.raw("<tr><td>Version</td><td>").text(h.version).raw("</td><td></td></tr>");
  for (const Setting& s : h.settings) {
    p.raw("<tr><td>").text(s.key).raw("</td><td>").text(s.value).raw("</td><td>");
    p.raw(s.set ? "set" : "default").raw("</td></tr>");
  }
  p.raw("<tr><td>SOURCE_HOST_NAME</td><td>").text(h.host_name).raw("</td><td></td></tr>");
  p.raw("<tr><td>SOURCE_HOST_OS</td><td>").text(h.host_os).raw("</td><td></td></tr>");
  p.raw("<tr><td>COMMAND_LINE</td><td>").text(h.command_line).raw("</td><td></td></tr>");
  p.raw("<tr><td>SAMPLES</td><td>").number(h.samples).raw("</td><td></td></tr>");
  p.raw("<tr><td>SAMPLE_INTERVAL</td><td>").number(h.sample_interval).raw("</td><td></td></tr>");
  p.raw("</table></section>\n");
}

void write_totals(Page& p, const Report& r, const std::vector<SectionStatus>& states) {
  p.raw(
      "<section id=\"totals\"><h2>Totals per target</h2><table class=\"grid\"><tr><th>Target</th>"
      "<th>Sections</th><th>Seconds</th><th>Excluded</th><th>Killed</th><th>Failed</th>"
      "<th>Empty</th><th>Cut</th></tr>");
  std::map<std::string, int> failed, empty;
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    failed[r.sections[i].target] += states[i].status == Status::kFailed;
    empty[r.sections[i].target] += states[i].status == Status::kEmpty;
  }
  for (const TargetTotals& t : totals_per_target(r)) {
    p.raw("<tr><td>").text(t.target.empty() ? "-" : t.target).raw("</td><td>").number(t.sections);
    p.raw("</td><td>").number(t.seconds).raw("</td><td>").number(t.excluded).raw("</td><td>");
    p.number(t.killed).raw("</td><td>").number(failed[t.target]).raw("</td><td>");
    p.number(empty[t.target]).raw("</td><td>").number(t.cut);
    p.raw("</td></tr>");
  }
  p.raw(
      "</table><h2>Slowest commands</h2><table class=\"grid\" id=\"slowest\"><tr><th>Seconds</th>"
      "<th>Iteration</th><th>Target</th><th>Command</th></tr>");
  for (std::size_t index : slowest_sections(r, 10)) {
    const Section& s = r.sections[index];
    p.raw("<tr data-section=\"").number(static_cast<long long>(index)).raw("\"><td>");
    p.text(duration_label(s.seconds)).raw("</td><td>").number(s.iteration).raw("</td><td>");
    p.text(s.target);
    p.raw("</td><td><a href=\"#\" class=\"open-section\">").text(s.command).raw("</a></td></tr>");
  }
  p.raw("</table>");
  if (r.slow_report_seen) {
    p.raw("<p>The run's report of commands that took 60 seconds or more lists ");
    p.number(static_cast<long long>(r.slow_commands.size())).raw(" command(s).</p>");
  }
  p.raw("</section>\n");
}

// Failed and killed commands, each with its message and a link to its text.
void write_failures(Page& p, const Report& r, const std::vector<SectionStatus>& states) {
  std::size_t count = 0;
  for (const SectionStatus& state : states)
    count += state.status == Status::kFailed || state.status == Status::kKilled;
  p.raw("<ul id=\"failures\" data-count=\"").number(static_cast<long long>(count)).raw("\">");
  for (std::size_t i = 0; i < states.size(); ++i) {
    const SectionStatus& state = states[i];
    if (state.status != Status::kFailed && state.status != Status::kKilled) continue;
    const Section& s = r.sections[i];
    p.raw("<li class=\"").raw(status_name(state.status)).raw("\" data-section=\"");
    p.number(static_cast<long long>(i)).raw("\" data-status=\"").raw(status_name(state.status));
    p.raw("\"><b>").raw(status_name(state.status)).raw("</b> ");
    p.raw("<a href=\"#\" class=\"open-section\">").text(s.command).raw("</a> on ").text(s.target);
    if (s.iteration > 0) p.raw(", iteration ").number(s.iteration);
    if (!s.phase.empty()) p.raw(" ").text(s.phase);
    p.raw(", line ").number(static_cast<long long>(s.line)).raw(": <span class=\"message\">");
    p.text(state.message).raw("</span></li>");
  }
  p.raw("</ul>");
}

void write_problems(Page& p, const Report& r, const std::vector<SamplerFile>& files,
                    const std::vector<SectionStatus>& states) {
  std::size_t count = r.problems.size();
  for (const SamplerFile& f : files) count += f.problems.size();
  for (const SectionStatus& state : states)
    count += state.status == Status::kFailed || state.status == Status::kKilled;
  p.raw("<section id=\"problems\" data-count=\"").number(static_cast<long long>(count));
  p.raw("\"><h2>Problems</h2>");
  if (count == 0) {
    p.raw("<p>None.</p></section>\n");
    return;
  }
  write_failures(p, r, states);
  std::size_t others = r.problems.size();
  for (const SamplerFile& f : files) others += f.problems.size();
  if (others == 0) {
    p.raw("</section>\n");
    return;
  }
  p.raw("<ul>");
  for (const Problem& problem : r.problems) {
    p.raw("<li>").raw(problem.line ? "line " + std::to_string(problem.line) + ": " : "");
    p.text(problem.message).raw("</li>");
  }
  for (const SamplerFile& f : files) {
    for (const Problem& problem : f.problems) {
      p.raw("<li>").text(r.sections[f.section].command).raw(", line ");
      p.number(static_cast<long long>(problem.line)).raw(": ").text(problem.message).raw("</li>");
    }
  }
  p.raw("</ul></section>\n");
}

int phase_code(const std::string& phase) {
  return phase == "PRESTATS" ? 1 : phase == "POSTSTATS" ? 2 : 0;
}

// The clock of a file: how its rows are placed and the time of each sample
// (seconds since 1970 UTC when anchored, else since the sampler's start).
void write_file_times(Page& p, const FileTimes& times) {
  p.raw(",\"clock\":").json(clock_source_name(times.clock.source));
  p.raw(",\"anchored\":").raw(times.clock.anchored ? "true" : "false").raw(",\"times\":[");
  for (std::size_t l = 0; l < times.lists.size(); ++l) {
    p.raw(l ? ",[" : "[");
    for (std::size_t i = 0; i < times.lists[l].size(); ++i) {
      if (i) p.raw(",");
      const auto& t = times.lists[l][i];
      if (t) {
        write_number(p, *t);
      } else {
        p.raw("null");
      }
    }
    p.raw("]");
  }
  p.raw("]");
}

// The bands of each iteration ([iteration, kind, from, to]) and the events
// to mark ([time, iteration, kind, section, text]) on the time axis.
void write_clock(Page& p, const Report& r, const std::vector<long long>& starts,
                 const std::vector<SectionStatus>& states) {
  p.raw("\"bands\":[");
  const std::vector<TimeBand> bands = time_bands(r, starts);
  for (std::size_t i = 0; i < bands.size(); ++i) {
    p.raw(i ? ",[" : "[").number(bands[i].iteration).raw(",").json(bands[i].kind).raw(",");
    p.number(bands[i].from).raw(",").number(bands[i].to).raw("]");
  }
  p.raw("],\n\"events\":[");
  const std::vector<TimeEvent> events = time_events(r, states);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const TimeEvent& e = events[i];
    p.raw(i ? ",\n[" : "\n[").number(e.time).raw(",").number(e.iteration).raw(",").json(e.kind);
    p.raw(",").number(e.section).raw(",").json(e.text).raw("]");
  }
  p.raw("]");
}

// Reports from this size on get a packed page; below, the page's data
// stays plain JSON that can be read in its source.
constexpr std::size_t kPackFrom = 256 * 1024;

// The text of a section as shown (see for_each_shown_piece).
std::string_view shown_source(const Report& r, const Section& s) {
  return s.kind == SectionKind::kPretend ? r.line(s.line - 1) : section_text(r, s);
}

// A piece of shown text as the packed page holds it: valid UTF-8, without
// '\r', as the JSON string of a plain page has it.
void append_packed_text(std::string& out, std::string_view piece) {
  std::string clean;
  if (!is_clean_utf8(piece)) {
    append_utf8(clean, piece);
    piece = clean;
  }
  for (std::size_t from = 0; from < piece.size();) {
    std::size_t cr = piece.find('\r', from);
    if (cr == std::string_view::npos) cr = piece.size();
    out.append(piece.data() + from, cr - from);
    from = cr + 1;
  }
}

// The length of each section's text in a plain page: UTF-16 units of the
// JSON string. (A packed page takes the lengths as its texts are written.)
std::vector<std::size_t> plain_text_lengths(const Report& r) {
  std::vector<std::size_t> lengths;
  lengths.reserve(r.sections.size());
  std::string scratch;
  for (const Section& s : r.sections) {
    std::size_t units = 0;
    for_each_shown_piece(shown_source(r, s), [&](std::string_view piece) {
      if (!is_clean_utf8(piece)) {
        units += append_json_chars(scratch, piece, true);
        scratch.clear();
      } else {
        for (unsigned char c : piece)
          if (c != '\r' && (c < 0x80 || c >= 0xC0)) units += c >= 0xF0 ? 2 : 1;
      }
    });
    lengths.push_back(units);
  }
  return lengths;
}

// The page's data: sections as rows of
// [iteration, phase, target, kind, command, seconds, flags, line, start, end, offset, length,
//  status, message],
// their texts as one string (offsets in UTF-16 units) or, `packed`, as
// "text": null with the texts in a block of their own (offsets in bytes),
// and the charts.
// A chart's columns: x, then each series.
void write_chart_data(Page& p, const Chart& chart) {
  p.raw("[[");
  for (std::size_t i = 0; i < chart.x.size(); ++i) {
    if (i) p.raw(",");
    write_number(p, chart.x[i]);
  }
  p.raw("]");
  for (const std::vector<double>& series : chart.series) {
    p.raw(",[");
    for (std::size_t i = 0; i < series.size(); ++i) {
      if (i) p.raw(",");
      write_number(p, series[i]);
    }
    p.raw("]");
  }
  p.raw("]");
}

// The chart columns of a packed page: a line per file, the JSON array of
// its charts' columns, parsed only when one of its charts is drawn.
void write_chart_values(Page& p, const std::vector<SamplerFile>& files) {
  for (const SamplerFile& file : files) {
    p.raw("[");
    for (std::size_t c = 0; c < file.charts.size(); ++c) {
      if (c) p.raw(",");
      write_chart_data(p, file.charts[c]);
    }
    p.raw("]\n");
    p.flush_if_large();
  }
}

// The page's data as JSON. A `packed` page has, in place of each chart's
// "data", its number of "rows", and each file's "values", the line of its
// charts' columns in their block.
void write_data(Page& p, const Report& r, const std::string& name,
                const std::vector<SamplerFile>& files, const std::vector<SectionStatus>& states,
                const std::string& counters, const std::vector<std::size_t>& lengths, bool packed) {
  std::map<std::string, int> target_codes;
  std::vector<const std::string*> targets;
  for (const Section& s : r.sections) {
    if (target_codes.emplace(s.target, static_cast<int>(targets.size())).second)
      targets.push_back(&s.target);
  }
  p.raw("{\"name\":")
      .json(name)
      .raw(",\"complete\":")
      .raw(r.complete && !r.damaged() ? "true" : "false");
  p.raw(",\"config_only\":").raw(config_only_report(r) ? "true" : "false");
  p.raw(",\"targets\":[");
  for (std::size_t i = 0; i < targets.size(); ++i) p.raw(i ? "," : "").json(*targets[i]);
  p.raw("],\"kinds\":[");
  const SectionKind kinds[] = {SectionKind::kCommand,     SectionKind::kFileDump,
                               SectionKind::kStatsPreset, SectionKind::kDateHeader,
                               SectionKind::kErrorLog,    SectionKind::kPretend,
                               SectionKind::kLoose};
  for (std::size_t i = 0; i < 7; ++i) p.raw(i ? "," : "").json(kind_name(kinds[i]));
  p.raw("],\"iterations\":[");
  for (std::size_t i = 0; i < r.iterations.size(); ++i) {
    const Iteration& it = r.iterations[i];
    p.raw(i ? "," : "")
        .raw("[")
        .number(it.number)
        .raw(",")
        .raw(json_number_or_null(it.begin_epoch));
    p.raw(",").raw(json_number_or_null(it.end_epoch)).raw("]");
  }
  p.raw("],\n\"sections\":[");
  std::size_t offset = 0;
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    const Section& s = r.sections[i];
    std::string flags;
    const bool failed = states[i].status == Status::kFailed;
    for (const std::string& f : section_flags(s)) {
      if (failed && f == "empty") continue;  // failed says more
      flags += (flags.empty() ? "" : ",") + f;
    }
    if (failed) flags += flags.empty() ? "failed" : ",failed";
    int kind = 0;
    while (kind < 6 && kinds[kind] != s.kind) ++kind;
    p.raw(i ? ",\n[" : "\n[").number(s.iteration).raw(",").number(phase_code(s.phase)).raw(",");
    p.number(target_codes[s.target]).raw(",").number(kind).raw(",").json(s.command).raw(",");
    p.number(s.seconds).raw(",").json(flags).raw(",").number(static_cast<long long>(s.line));
    p.raw(",").number(s.start_epoch).raw(",").number(s.end_epoch).raw(",");
    p.number(static_cast<long long>(offset)).raw(",").number(static_cast<long long>(lengths[i]));
    p.raw(",").json(status_name(states[i].status)).raw(",").json(states[i].message).raw("]");
    offset += lengths[i];
    p.flush_if_large();
  }
  p.raw("],\n");
  const std::vector<long long> starts = sampling_starts(r);
  write_clock(p, r, starts, states);
  p.raw(",\n\"files\":[");
  for (std::size_t f = 0; f < files.size(); ++f) {
    const SamplerFile& file = files[f];
    const Section& s = r.sections[file.section];
    const FileTimes times = file_times(r, file, starts);
    p.raw(f ? ",\n{" : "\n{").raw("\"section\":").number(static_cast<long long>(file.section));
    p.raw(",\"file\":").json(s.command).raw(",\"target\":").json(s.target);
    p.raw(",\"iteration\":").number(s.iteration).raw(",\"kind\":").json(file.kind);
    write_file_times(p, times);
    p.raw(",\"charts\":[");
    for (std::size_t c = 0; c < file.charts.size(); ++c) {
      const Chart& chart = file.charts[c];
      p.raw(c ? ",{" : "{")
          .raw("\"title\":")
          .json(chart.title)
          .raw(",\"x_label\":")
          .json(chart.x_label);
      p.raw(",\"time\":").number(static_cast<long long>(times.chart_list[c]));
      p.raw(",\"unit\":").json(times.units[c]);
      p.raw(",\"names\":[");
      for (std::size_t n = 0; n < chart.names.size(); ++n) p.raw(n ? "," : "").json(chart.names[n]);
      p.raw("],");
      if (packed) {
        p.raw("\"rows\":").number(static_cast<long long>(chart.x.size())).raw("}");
      } else {
        p.raw("\"data\":");
        write_chart_data(p, chart);
        p.raw("}");
      }
    }
    p.raw("]");
    if (packed) p.raw(",\"values\":").number(static_cast<long long>(f));
    p.raw("}");
    p.flush_if_large();
  }
  p.raw("],\n\"changes_counters\":").json(counters);
  if (packed) {
    p.raw(",\n\"text\":null}");
    return;
  }
  p.raw(",\n\"text\":\"");
  for (const Section& s : r.sections) {
    for_each_shown_piece(shown_source(r, s), [&](std::string_view piece) {
      append_json_chars(p.out, piece, true);
      p.flush_if_large();
    });
  }
  p.raw("\"}");
}

// The texts of the sections one after another, as a packed page holds them;
// `lengths` gets each one's length in bytes.
void write_texts(Page& p, const Report& r, std::vector<std::size_t>& lengths) {
  lengths.reserve(r.sections.size());
  for (const Section& s : r.sections) {
    std::size_t bytes = 0;
    for_each_shown_piece(shown_source(r, s), [&](std::string_view piece) {
      const std::size_t before = p.out.size();
      append_packed_text(p.out, piece);
      bytes += p.out.size() - before;
      p.flush_if_large();
    });
    lengths.push_back(bytes);
  }
}

// A block of the page packed on a thread of its own, as base64 lines.
struct PackedBlock {
  std::stringstream lines;
  std::unique_ptr<Background> job;

  template <typename Write>
  void start(Write write) {
    job = std::make_unique<Background>([this, write] {
      Page packed{lines, {}, true};
      write(packed);
      packed.flush();
    });
  }
  void finish() {
    if (job) job->wait();
    job.reset();
  }
  // The block as a script element that the page's script unpacks.
  void write_to(Page& p, const char* id) {
    finish();
    p.raw("<script id=\"").raw(id).raw("\" type=\"application/octet-stream\">\n");
    p.flush();
    if (lines.tellp() > 0) p.stream << lines.rdbuf();
    p.raw("</script>\n");
  }
};

}  // namespace

void write_html(const Report& r, const std::string& source_name, std::ostream& stream) {
  Page p{stream, {}};
  // The Changes block is made, and a large report's texts packed, on
  // threads of their own while the sampler files are read.
  std::string changes, counters;  // counters: a long counter list, made when opened
  Background changing([&] { changes = changes_html(r, 1000, 20000, &counters); });
  // Texts with invalid UTF-8 may grow by a third when repaired: all fit.
  const bool packed = r.data.size() >= kPackFrom && r.data.size() <= kMaxPackBytes / 3;
  std::vector<SamplerFile> files;
  std::vector<SectionStatus> states;
  PackedBlock texts, values, data;
  std::vector<std::size_t> lengths;  // of the sections' texts in the page
  if (packed) texts.start([&](Page& text) { write_texts(text, r, lengths); });
  files = sampler_files(r);
  states = section_statuses(r);
  changing.wait();
  // Then the chart columns and the data of a packed page, beside the rest;
  // the data gives the texts' lengths, known once they are written.
  if (packed) {
    texts.finish();
    values.start([&](Page& out) { write_chart_values(out, files); });
    data.start([&](Page& out) {
      write_data(out, r, source_name, files, states, counters, lengths, true);
    });
  }
  p.raw("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>");
  p.text(source_name).raw(" - kestrel report</title>\n<style>\n");
  p.raw(embedded_asset("uPlot.min.css")).raw("\n").raw(embedded_asset("page.css"));
  p.raw("</style></head>\n<body data-errors=\"0\">\n<header><h1>").text(source_name);
  p.raw("</h1><p id=\"status\" data-complete=\"")
      .raw(r.complete && !r.damaged() ? "true" : "false");
  p.raw("\" class=\"")
      .raw(r.complete && !r.damaged() ? "ok" : "warn")
      .raw("\">")
      .text(status_line(r));
  p.raw(
      "</p><nav><a href=\"#verdict\">Verdict</a> <a href=\"#run-header\">Header</a> "
      "<a href=\"#index\">Index</a> <a href=\"#timelines\">Timelines</a> "
      "<a href=\"#charts\">Charts</a> <a href=\"#totals\">Totals</a> "
      "<a href=\"#problems\">Problems</a> <a href=\"#changes\">Changes</a></nav>"
      "<ul id=\"page-errors\"></ul></header>\n<main>\n");
  p.raw(verdict_html(make_verdict(r, files, states)));
  write_problems(p, r, files, states);
  p.raw(changes);
  write_header_table(p, r);
  p.raw(
      "<section id=\"index\"><h2>Sections</h2><input id=\"search\" type=\"search\" "
      "placeholder=\"Search target, command, kind or flag\" autocomplete=\"off\">"
      " <span id=\"index-count\"></span><div class=\"pager\" id=\"pager\"></div>"
      "<div class=\"table-box\"><table class=\"grid\" "
      "id=\"index-table\"><thead><tr><th>#</th><th>Iter</th><th>Phase</th>"
      "<th>Target</th><th>Kind</th><th>Command</th><th>Seconds</th><th>Flags</th><th>Line</th>"
      "</tr></thead><tbody></tbody></table></div></section>\n");
  p.raw("<section id=\"timelines\"><h2>Timelines</h2></section>\n");
  p.raw("<section id=\"charts\"><h2>Sampler charts</h2></section>\n");
  write_totals(p, r, states);
  p.raw(
      "</main>\n<div id=\"viewer\" hidden><div class=\"viewer-bar\"><span id=\"viewer-title\">"
      "</span><button id=\"viewer-close\" type=\"button\">Close</button></div>"
      "<p id=\"viewer-message\" hidden></p><pre id=\"viewer-text\"></pre></div>\n");
  if (packed) {
    values.write_to(p, "report-charts-packed");
    data.write_to(p, "report-data-packed");
    texts.write_to(p, "report-text-packed");
  } else {
    p.raw("<script id=\"report-data\" type=\"application/json\">");
    write_data(p, r, source_name, files, states, counters, plain_text_lengths(r), false);
    p.raw("</script>\n");
  }
  p.raw("<script>\n").raw(embedded_asset("uPlot.iife.min.js"));
  p.raw("\n</script>\n<script>\n")
      .raw(embedded_asset("page.js"))
      .raw("\n</script>\n</body></html>\n");
  p.flush();
}

}  // namespace report
