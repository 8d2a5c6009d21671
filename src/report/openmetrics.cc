// OpenMetrics export: one gauge family per sampler column, one series per
// target, iteration, capture and instance, timestamps from the clock.
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "report/export_tables.h"
#include "report/exports.h"
#include "report/json_text.h"
#include "report/tables.h"
#include "report/text.h"

namespace report {

namespace {

struct ColumnRef {
  std::size_t table, column;
};

std::string timestamp(double seconds) {
  if (seconds == std::floor(seconds)) return std::to_string(static_cast<long long>(seconds));
  char out[40];
  std::snprintf(out, sizeof out, "%.3f", seconds);
  return out;
}

void add_label(std::string& out, const char* name, std::string_view value) {
  if (out.size() > 1) out += ',';
  out += name;
  out += "=\"";
  out += label_value(value);
  out += '"';
}

}  // namespace

std::string label_value(std::string_view text) {
  std::string clean;
  append_utf8(clean, text);
  std::string out;
  for (char ch : clean) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7f) {
      out += "\xEF\xBF\xBD";  // U+FFFD
    } else {
      out += ch;
    }
  }
  return out;
}

void write_openmetrics(const Report& report, std::ostream& stream) {
  // All files are held, like the page's charts, so that each family comes
  // out whole, as the format asks.
  std::vector<SamplerFile> files = sampler_files(report);
  const std::vector<long long> starts = sampling_starts(report);
  std::vector<ExportTable> tables;
  for (const SamplerFile& file : files) {
    if (!exported(file, report.sections[file.section])) continue;
    for (ExportTable& t : export_tables(report, file, starts)) {
      if (t.clock.anchored) tables.push_back(std::move(t));  // no invented timestamps
    }
  }
  std::vector<std::string> family_order;
  std::unordered_map<std::string, std::vector<ColumnRef>> families;
  for (std::size_t t = 0; t < tables.size(); ++t) {
    for (std::size_t c = 0; c < tables[t].columns.size(); ++c) {
      auto [at, fresh] = families.try_emplace(tables[t].columns[c].metric);
      if (fresh) family_order.push_back(at->first);
      at->second.push_back({t, c});
    }
  }
  const std::string host = report.header.host_name;
  const std::string capture = capture_id(report);
  std::unordered_map<std::string, double> last_time;  // per series: times only go forward
  std::string out;
  auto flush = [&] {
    stream.write(out.data(), static_cast<std::streamsize>(out.size()));
    out.clear();
  };
  for (const std::string& name : family_order) {
    const std::vector<ColumnRef>& refs = families[name];
    const ExportColumn& first = tables[refs[0].table].columns[refs[0].column];
    out += "# TYPE " + name + " gauge\n";
    if (!first.unit.empty() && ends_with(name, "_" + first.unit))
      out += "# UNIT " + name + " " + first.unit + "\n";
    out += "# HELP " + name + " " + label_value(first.help) + "\n";
    for (const ColumnRef& ref : refs) {
      const ExportTable& t = tables[ref.table];
      const ExportColumn& c = t.columns[ref.column];
      for (std::size_t s = 0; s < t.instances.size(); ++s) {
        std::string labels = "{";
        add_label(labels, "target", t.target);
        add_label(labels, "iteration", std::to_string(t.iteration));
        add_label(labels, "host", host);
        add_label(labels, "capture", capture);
        if (!t.instance_label.empty()) add_label(labels, t.instance_label.c_str(), t.instances[s]);
        if (!c.label_name.empty()) add_label(labels, c.label_name.c_str(), c.label_value);
        labels += '}';
        auto [last, fresh] = last_time.try_emplace(name + labels, -INFINITY);
        const std::vector<double>& values = c.chart->series[s];
        for (std::size_t i = 0; i < t.samples(); ++i) {
          if (!t.times[i] || !std::isfinite(values[i]) || *t.times[i] <= last->second) continue;
          last->second = *t.times[i];
          out += name;
          out += labels;
          out += ' ';
          out += json_double(values[i]);
          out += ' ';
          out += timestamp(*t.times[i]);
          out += '\n';
        }
        if (out.size() > (1u << 20)) flush();
      }
    }
  }
  out += "# EOF\n";
  flush();
}

}  // namespace report
