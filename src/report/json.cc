// The report as JSON for scripts: one object per section with its text,
// and the sampler files as charts.
#include <cmath>
#include <cstdio>

#include "report/json_text.h"
#include "report/markers.h"
#include "report/output.h"
#include "report/summary.h"
#include "report/tables.h"

namespace report {

namespace {

// Appends text to `out` and hands it to the stream in pieces, so a large
// report is never held twice.
struct Writer {
  std::ostream& stream;
  std::string out;

  void flush_if_large() {
    if (out.size() > (1u << 20)) flush();
  }
  void flush() {
    stream.write(out.data(), static_cast<std::streamsize>(out.size()));
    out.clear();
  }
  Writer& raw(std::string_view text) {
    out.append(text);
    return *this;
  }
  Writer& str(std::string_view text) {
    append_json_string(out, text);
    return *this;
  }
  Writer& key(const char* name) {
    out += '"';
    out += name;
    out += "\":";
    return *this;
  }
  Writer& num(long long value) {
    out += std::to_string(value);
    return *this;
  }
  Writer& boolean(bool value) {
    out += value ? "true" : "false";
    return *this;
  }
};

void write_number(Writer& w, double value) {
  w.raw(json_double(value));
}

void write_header(Writer& w, const Header& h) {
  w.key("header").raw("{").key("present").boolean(h.present).raw(",").key("version").str(h.version);
  w.raw(",").key("settings").raw("[");
  for (std::size_t i = 0; i < h.settings.size(); ++i) {
    const Setting& s = h.settings[i];
    w.raw(i ? "," : "").raw("{").key("key").str(s.key).raw(",").key("set").boolean(s.set);
    w.raw(",").key("value").str(s.value).raw("}");
  }
  w.raw("],").key("host_name").str(h.host_name).raw(",").key("host_os").str(h.host_os);
  w.raw(",").key("command_line").str(h.command_line).raw(",").key("samples").num(h.samples);
  w.raw(",").key("sample_interval").num(h.sample_interval).raw("}");
}

void write_iterations(Writer& w, const Report& r) {
  w.key("iterations").raw("[");
  for (std::size_t i = 0; i < r.iterations.size(); ++i) {
    const Iteration& it = r.iterations[i];
    w.raw(i ? "," : "").raw("{").key("number").num(it.number);
    w.raw(",")
        .key("begin")
        .str(it.begin_stamp)
        .raw(",")
        .key("begin_epoch")
        .raw(json_number_or_null(it.begin_epoch));
    w.raw(",")
        .key("end")
        .str(it.end_stamp)
        .raw(",")
        .key("end_epoch")
        .raw(json_number_or_null(it.end_epoch));
    w.raw(",").key("begin_line").num(static_cast<long long>(it.begin_line));
    w.raw(",").key("end_line").num(static_cast<long long>(it.end_line));
    w.raw(",").key("pretend_sleep_minutes").raw(json_number_or_null(it.pretend_sleep_minutes));
    w.raw("}");
  }
  w.raw("],").key("blocks").raw("[");
  for (std::size_t i = 0; i < r.blocks.size(); ++i) {
    const Block& b = r.blocks[i];
    w.raw(i ? "," : "")
        .raw("{")
        .key("iteration")
        .num(b.iteration)
        .raw(",")
        .key("phase")
        .str(b.phase);
    w.raw(",")
        .key("target")
        .str(b.target)
        .raw(",")
        .key("begin_line")
        .num(static_cast<long long>(b.begin_line));
    w.raw(",").key("end_line").num(static_cast<long long>(b.end_line)).raw("}");
  }
  w.raw("]");
}

void write_section(Writer& w, const Report& r, std::size_t index) {
  const Section& s = r.sections[index];
  w.raw("{")
      .key("index")
      .num(static_cast<long long>(index))
      .raw(",")
      .key("kind")
      .str(kind_name(s.kind));
  w.raw(",").key("iteration").num(s.iteration).raw(",").key("phase").str(s.phase);
  w.raw(",").key("target").str(s.target).raw(",").key("category").str(s.category);
  w.raw(",").key("title").str(s.title).raw(",").key("command").str(s.command);
  w.raw(",").key("line").num(static_cast<long long>(s.line));
  w.raw(",").key("seconds").raw(json_number_or_null(s.seconds));
  w.raw(",").key("start_epoch").raw(json_number_or_null(s.start_epoch));
  w.raw(",").key("end_epoch").raw(json_number_or_null(s.end_epoch));
  if (!s.time_stamp.empty()) w.raw(",").key("time").str(s.time_stamp);
  if (!s.begin_stamp.empty()) w.raw(",").key("begin_stamp").str(s.begin_stamp);
  if (!s.end_stamp.empty()) w.raw(",").key("end_stamp").str(s.end_stamp);
  w.raw(",").key("flags").raw("[");
  std::vector<std::string> flags = section_flags(s);
  for (std::size_t f = 0; f < flags.size(); ++f) w.raw(f ? "," : "").str(flags[f]);
  w.raw("],").key("text");
  if (s.kind == SectionKind::kPretend) {
    w.str(r.line(s.line - 1));
  } else {
    w.raw("\"");
    for_each_shown_piece(section_text(r, s),
                         [&](std::string_view piece) { append_json_chars(w.out, piece); });
    w.raw("\"");
  }
  w.raw("}");
}

void write_chart(Writer& w, const Chart& c) {
  w.raw("{").key("title").str(c.title).raw(",").key("x_label").str(c.x_label).raw(",").key("x").raw(
      "[");
  for (std::size_t i = 0; i < c.x.size(); ++i) {
    if (i) w.raw(",");
    write_number(w, c.x[i]);
  }
  w.raw("],").key("series").raw("[");
  for (std::size_t s = 0; s < c.series.size(); ++s) {
    w.raw(s ? "," : "").raw("{").key("name").str(c.names[s]).raw(",").key("values").raw("[");
    for (std::size_t i = 0; i < c.series[s].size(); ++i) {
      if (i) w.raw(",");
      write_number(w, c.series[s][i]);
    }
    w.raw("]}");
  }
  w.raw("]}");
}

void write_samplers(Writer& w, const Report& r) {
  w.key("sampler_files").raw("[");
  std::vector<SamplerFile> files = sampler_files(r);
  for (std::size_t f = 0; f < files.size(); ++f) {
    const SamplerFile& file = files[f];
    const Section& s = r.sections[file.section];
    w.raw(f ? "," : "").raw("{").key("section").num(static_cast<long long>(file.section));
    w.raw(",").key("file").str(s.command).raw(",").key("target").str(s.target);
    w.raw(",").key("iteration").num(s.iteration).raw(",").key("kind").str(file.kind);
    w.raw(",").key("problems").raw("[");
    for (std::size_t p = 0; p < file.problems.size(); ++p) {
      w.raw(p ? "," : "").raw("{").key("line").num(static_cast<long long>(file.problems[p].line));
      w.raw(",").key("message").str(file.problems[p].message).raw("}");
    }
    w.raw("],").key("charts").raw("[");
    for (std::size_t c = 0; c < file.charts.size(); ++c) {
      if (c) w.raw(",");
      write_chart(w, file.charts[c]);
    }
    w.raw("]}");
    w.flush_if_large();
  }
  w.raw("]");
}

void write_summary(Writer& w, const Report& r) {
  w.key("totals").raw("[");
  std::vector<TargetTotals> totals = totals_per_target(r);
  for (std::size_t i = 0; i < totals.size(); ++i) {
    const TargetTotals& t = totals[i];
    w.raw(i ? "," : "")
        .raw("{")
        .key("target")
        .str(t.target)
        .raw(",")
        .key("sections")
        .num(t.sections);
    w.raw(",").key("seconds").num(t.seconds).raw(",").key("excluded").num(t.excluded);
    w.raw(",").key("killed").num(t.killed).raw(",").key("empty").num(t.empty);
    w.raw(",").key("cut").num(t.cut).raw("}");
  }
  w.raw("],").key("slowest").raw("[");
  std::vector<std::size_t> slowest = slowest_sections(r, 10);
  for (std::size_t i = 0; i < slowest.size(); ++i)
    w.raw(i ? "," : "").num(static_cast<long long>(slowest[i]));
  w.raw("],").key("slow_commands").raw("[");
  for (std::size_t i = 0; i < r.slow_commands.size(); ++i) {
    const SlowCommand& c = r.slow_commands[i];
    w.raw(i ? "," : "")
        .raw("{")
        .key("target")
        .str(c.target)
        .raw(",")
        .key("iteration")
        .num(c.iteration);
    w.raw(",").key("seconds").num(c.seconds).raw(",").key("command").str(c.command).raw("}");
  }
  w.raw("]");
}

}  // namespace

void write_json(const Report& r, std::ostream& stream) {
  Writer w{stream, {}};
  w.raw("{")
      .key("complete")
      .boolean(r.complete && !r.damaged())
      .raw(",")
      .key("status")
      .str(status_line(r));
  w.raw(",").key("stop");
  if (r.stop_line) {
    w.raw("{")
        .key("line")
        .num(static_cast<long long>(r.stop_line))
        .raw(",")
        .key("reason")
        .str(r.stop_reason)
        .raw("}");
  } else {
    w.raw("null");
  }
  w.raw(",").key("lines").num(static_cast<long long>(r.line_count));
  w.raw(",").key("damaged").boolean(r.damaged());
  w.raw(",").key("total_running_seconds").raw(json_number_or_null(r.total_running_seconds));
  w.raw(",\n");
  write_header(w, r.header);
  w.raw(",\n");
  write_iterations(w, r);
  w.raw(",\n").key("sections").raw("[\n");
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    if (i) w.raw(",\n");
    write_section(w, r, i);
    w.flush_if_large();
  }
  w.raw("\n],\n");
  write_samplers(w, r);
  w.raw(",\n");
  write_summary(w, r);
  w.raw(",\n").key("problems").raw("[");
  for (std::size_t i = 0; i < r.problems.size(); ++i) {
    w.raw(i ? "," : "").raw("{").key("line").num(static_cast<long long>(r.problems[i].line));
    w.raw(",").key("message").str(r.problems[i].message);
    w.raw(",").key("structural").boolean(r.problems[i].structural).raw("}");
  }
  w.raw("]}\n");
  w.flush();
}

}  // namespace report
