// A report read back: the parser, the sampler tables, all three outputs and
// the exports must take any bytes, and what they write must stay clean
// UTF-8; the outline reader of the index agrees with the whole-file reader;
// placed rows go forward in time and file name parts stay plain.
#include <sstream>

#include "fuzz_input.h"
#include "report/clock.h"
#include "report/export_tables.h"
#include "report/exports.h"
#include "report/output.h"
#include "report/report.h"
#include "report/summary.h"
#include "report/tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  report::Report r = report::parse_report(fuzz::text(data, size));
  for (const report::Section& s : r.sections) {
    fuzz::require(s.body_begin <= s.body_end && s.body_end <= r.lines.size(),
                  "section lines lie inside the report");
    fuzz::require(s.line >= 1 && s.line <= r.lines.size() + 1, "section line in range");
  }
  fuzz::require(r.complete || !r.looks_like_report || !r.stop_reason.empty(),
                "an incomplete report says where it stopped");
  // The outline behind the index finds what the whole-file reader finds.
  std::istringstream in(fuzz::text(data, size));
  report::Report outline = report::read_report_outline(in);
  fuzz::require(outline.sections.size() == r.sections.size(), "outline: same sections");
  fuzz::require(outline.line_count == r.line_count, "outline: same lines");
  fuzz::require(outline.problems.size() == r.problems.size(), "outline: same problems");
  fuzz::require(!r.looks_like_report || report::status_line(outline) == report::status_line(r),
                "outline: same status");
  for (std::size_t i = 0; i < r.sections.size() && i < outline.sections.size(); ++i) {
    fuzz::require(outline.sections[i].body_end == r.sections[i].body_end &&
                      outline.sections[i].empty == r.sections[i].empty,
                  "outline: same section bodies");
  }
  for (const report::SamplerFile& f : report::sampler_files(r)) {
    for (const report::Chart& c : f.charts) {
      fuzz::require(c.names.size() == c.series.size(), "a name per series");
      for (const auto& series : c.series)
        fuzz::require(series.size() == c.x.size(), "aligned series");
    }
  }
  const std::vector<long long> starts = report::sampling_starts(r);
  for (const report::SamplerFile& f : report::sampler_files(r)) {
    for (const report::ExportTable& t : report::export_tables(r, f, starts)) {
      double last = -1e300;
      for (const auto& time : t.times) {
        if (!time) continue;
        fuzz::require(*time > last, "placed rows go forward in time");
        last = *time;
      }
      std::string part = report::safe_name_part(t.target);
      fuzz::require(!part.empty() && part[0] != '.' && part.find('/') == std::string::npos &&
                        part.find("..") == std::string::npos,
                    "file name parts stay plain");
    }
  }
  std::ostringstream metrics;
  report::write_openmetrics(r, metrics);
  const std::string om = metrics.str();
  fuzz::require(report::is_clean_utf8(om), "clean OpenMetrics");
  fuzz::require(om.size() >= 6 && om.compare(om.size() - 6, 6, "# EOF\n") == 0,
                "OpenMetrics ends with # EOF");
  std::ostringstream index, json, html;
  report::write_index(r, index);
  report::write_json(r, json);
  report::write_html(r, "fuzz.out", html);
  fuzz::require(report::is_clean_utf8(index.str()), "clean index");
  fuzz::require(report::is_clean_utf8(json.str()), "clean JSON");
  fuzz::require(html.str().find("</script", html.str().find("report-data")) ==
                    html.str().find("</script>\n<script>"),
                "section text cannot end the data script");
  return 0;
}
