// JSON string literals from report text of any bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace report {

// Appends `text` as a quoted JSON string: invalid UTF-8 becomes U+FFFD,
// '\r' is left out. With `for_html` also '<', '>' and '&' are escaped so the
// literal can stand inside a <script> element. Returns the length of the
// string's value in UTF-16 code units.
std::size_t append_json_string(std::string& out, std::string_view text, bool for_html = false);

// The same without the quotes, for a string built from many pieces.
std::size_t append_json_chars(std::string& out, std::string_view text, bool for_html = false);

// A sample value as JSON: whole numbers without a fraction, others with ten
// significant digits, null for NaN and infinities.
std::string json_double(double value);

// A number, or null for the "unknown" value -1.
std::string json_number_or_null(long long value);

// Appends `text` as HTML character data (also safe in attribute values):
// valid UTF-8, markup characters escaped, control characters but line
// ends and tabs as '?'.
void append_html_text(std::string& out, std::string_view text);

}  // namespace report
