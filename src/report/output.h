// The three outputs of kestrel-report: a text index, JSON for scripts and
// one self-contained HTML page.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "report/report.h"

namespace report {

void write_index(const Report& report, std::ostream& out);

// The index of a report read from `in` twice, line by line: first for the
// figures, then for the rows, so memory does not grow with the report.
// Writes nothing when the input is no report; the report comes back
// without its sections, nothing when the input cannot be read (twice).
std::optional<Report> write_index_streaming(std::istream& in, std::ostream& out);
void write_json(const Report& report, std::ostream& out);
void write_html(const Report& report, const std::string& source_name, std::ostream& out);

}  // namespace report
