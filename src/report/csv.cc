// CSV export: one file per sampler table, target and iteration, plus one
// row per section in sections.csv (RFC 4180: CRLF line ends, quoted fields
// where needed, UTF-8).
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "report/export_tables.h"
#include "report/exports.h"
#include "report/json_text.h"
#include "report/summary.h"
#include "report/tables.h"
#include "report/text.h"

namespace report {

namespace {

constexpr std::size_t kMaxNamePart = 60;

// Plain ASCII without a comma, quote, line end or blank at either end
// goes out as it is; anything else through csv_field.
void append_field(std::string& out, std::string_view text) {
  bool plain = text.empty() || (text.front() != ' ' && text.back() != ' ');
  for (std::size_t i = 0; plain && i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    plain = c >= 0x20 && c < 0x7f && c != ',' && c != '"';
  }
  if (plain) {
    out.append(text);
  } else {
    out += csv_field(text);
  }
}

void add_row(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    append_field(out, fields[i]);
  }
  out += "\r\n";
}

// A file in `folder` that is not there yet: never follows a link someone
// left there, and never takes the same name twice.
bool open_new(const std::filesystem::path& folder, const std::string& base,
              std::set<std::string>& used, std::ofstream& out, std::string& name,
              std::string& error) {
  name = base + ".csv";
  for (int n = 2; used.count(name); ++n) name = base + "-" + std::to_string(n) + ".csv";
  used.insert(name);
  std::filesystem::path path = folder / name;
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    error = path.string() + " is a link: not written through";
    return false;
  }
  out.open(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// Rows are gathered in `out` and written a megabyte at a time.
void write_when_full(std::ofstream& file, std::string& out) {
  if (out.size() <= (1u << 20)) return;
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  out.clear();
}

bool finish_file(std::ofstream& file, const std::string& out, const std::filesystem::path& folder,
                 const std::string& name, std::vector<std::string>& written, std::string& error) {
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) {
    error = "writing " + (folder / name).string() + " failed";
    return false;
  }
  written.push_back(name);
  return true;
}

bool write_table(const ExportTable& t, const std::filesystem::path& folder,
                 std::set<std::string>& used, std::vector<std::string>& written,
                 std::string& error) {
  std::string stem = t.file.substr(0, t.file.rfind('.'));
  std::string base = safe_name_part(t.target) + "_i" + std::to_string(t.iteration) + "_" +
                     safe_name_part(stem.empty() ? t.file : stem);
  if (!t.name.empty()) base += "_" + safe_name_part(t.name);
  std::ofstream file;
  std::string name;
  if (!open_new(folder, base, used, file, name, error)) return false;
  std::string out;
  std::vector<std::string> fields;
  fields.push_back(t.clock.anchored ? "time" : "elapsed_s");
  if (!t.instance_label.empty()) fields.push_back(t.instance_label);
  for (const ExportColumn& c : t.columns) fields.push_back(c.csv);
  add_row(out, fields);
  // Cells kept as text, per column: (series, sample) -> text.
  std::vector<std::map<std::pair<std::size_t, std::size_t>, const std::string*>> texts(
      t.columns.size());
  for (std::size_t c = 0; c < t.columns.size(); ++c)
    for (const Chart::Text& text : t.columns[c].chart->texts)
      texts[c][{text.series, text.sample}] = &text.text;
  for (std::size_t i = 0; i < t.samples(); ++i) {
    if (!t.times[i]) continue;
    const std::string time = t.clock.anchored ? iso_time(*t.times[i]) : json_double(*t.times[i]);
    for (std::size_t s = 0; s < t.instances.size(); ++s) {
      fields.clear();
      bool any = false;
      fields.push_back(time);
      if (!t.instance_label.empty()) fields.push_back(t.instances[s]);
      for (std::size_t c = 0; c < t.columns.size(); ++c) {
        double v = t.columns[c].chart->series[s][i];
        auto text = texts[c].empty() ? texts[c].end() : texts[c].find({s, i});
        if (std::isfinite(v)) {
          fields.push_back(json_double(v));
          any = true;
        } else if (text != texts[c].end()) {
          fields.push_back(*text->second);
          any = true;
        } else {
          fields.emplace_back();
        }
      }
      if (any) add_row(out, fields);
    }
    write_when_full(file, out);
  }
  return finish_file(file, out, folder, name, written, error);
}

bool write_sections(const Report& report, const std::map<std::size_t, std::string>& clocks,
                    const std::filesystem::path& folder, std::set<std::string>& used,
                    std::vector<std::string>& written, std::string& error) {
  std::ofstream file;
  std::string name;
  if (!open_new(folder, "sections", used, file, name, error)) return false;
  std::string out;
  add_row(out, {"iteration", "phase", "target", "kind", "command", "start_time", "seconds",
                "status", "line", "clock"});
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const Section& s = report.sections[i];
    auto clock = clocks.find(i);
    std::vector<std::string> flags = section_flags(s);
    std::string status;
    for (const std::string& f : flags) status += (status.empty() ? "" : ";") + f;
    add_row(out, {std::to_string(s.iteration), s.phase, s.target, kind_name(s.kind), s.command,
                  s.start_epoch >= 0 ? iso_time(static_cast<double>(s.start_epoch)) : "",
                  s.seconds >= 0 ? std::to_string(s.seconds) : "", status.empty() ? "ok" : status,
                  std::to_string(s.line), clock == clocks.end() ? "" : clock->second});
    write_when_full(file, out);
  }
  return finish_file(file, out, folder, name, written, error);
}

}  // namespace

std::string csv_field(std::string_view text) {
  std::string clean;
  append_utf8(clean, text);
  bool quote = clean.find_first_of(",\"\r\n") != std::string::npos ||
               (!clean.empty() && (clean.front() == ' ' || clean.back() == ' '));
  if (!quote) return clean;
  std::string out = "\"";
  for (char c : clean) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string safe_name_part(std::string_view text) {
  std::string out;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    bool keep = (c < 0x80 && std::isalnum(c)) || c == '-' || c == '_' || c == '.';
    char put = keep ? static_cast<char>(c) : '_';
    if (put == '_' && !out.empty() && out.back() == '_') continue;
    out += put;
    if (out.size() >= kMaxNamePart) break;
  }
  // No leading dot (hidden files, "." and ".."), no dot runs.
  for (std::size_t i = 0; i < out.size(); ++i)
    if (out[i] == '.' && (i == 0 || out[i - 1] == '.')) out[i] = '_';
  if (out.empty()) out = "_";
  return out;
}

bool write_csv_folder(const Report& report, const std::string& folder_name,
                      std::vector<std::string>& written, std::string& error) {
  std::filesystem::path folder(folder_name);
  std::set<std::string> used = {"sections.csv"};
  std::map<std::size_t, std::string> clocks;  // how each exported file's rows are placed
  const std::vector<long long> starts = sampling_starts(report);
  std::vector<std::string_view> lines;
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const Section& s = report.sections[i];
    if (s.kind != SectionKind::kFileDump) continue;
    lines.clear();
    for (std::size_t l = s.body_begin; l < s.body_end; ++l) lines.push_back(report.line(l));
    SamplerFile file = read_sampler_file(s.command, lines, s.body_begin + 1);
    if (file.charts.empty() || !exported(file, s)) continue;
    file.section = i;
    for (const ExportTable& t : export_tables(report, file, starts)) {
      if (!write_table(t, folder, used, written, error)) return false;
      clocks[i] =
          std::string(clock_source_name(t.clock.source)) + (t.clock.anchored ? "" : ", unanchored");
    }
  }
  used.erase("sections.csv");
  return write_sections(report, clocks, folder, used, written, error);
}

}  // namespace report
