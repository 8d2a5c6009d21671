// The three outputs of kestrel-report: a text index, JSON for scripts and
// one self-contained HTML page.
#pragma once

#include <ostream>
#include <string>

#include "report/report.h"

namespace report {

void write_index(const Report& report, std::ostream& out);
void write_json(const Report& report, std::ostream& out);
void write_html(const Report& report, const std::string& source_name, std::ostream& out);

}  // namespace report
