// The exports of kestrel-report: CSV files in a folder and OpenMetrics text.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report/report.h"

namespace report {

// Writes one CSV per sampler table per target and iteration into `folder`
// (which must exist), plus sections.csv, written last, whose `clock` column
// tells how each exported file's rows were placed. File names are built from screened
// parts only. Returns false with `error` set when a file cannot be written;
// `written` gets the names of the files written.
bool write_csv_folder(const Report& report, const std::string& folder,
                      std::vector<std::string>& written, std::string& error);

// One CSV field: quoted when it holds a comma, a quote, a line end or
// leading/trailing blanks; invalid UTF-8 becomes U+FFFD.
std::string csv_field(std::string_view text);

// A file name part from report text: letters, digits, '.', '-', '_' only,
// never "." or "..", at most 60 bytes, never empty.
std::string safe_name_part(std::string_view text);

// The sampler tables as OpenMetrics text, ending with "# EOF".
void write_openmetrics(const Report& report, std::ostream& out);

// A label value escaped for OpenMetrics: valid UTF-8, '\\', '"' and line
// ends escaped, other control characters as U+FFFD.
std::string label_value(std::string_view text);

}  // namespace report
