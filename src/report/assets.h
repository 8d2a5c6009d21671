// Files compiled into the tool at build time: the chart library, the page's
// script and its style sheet (see embed.cmake).
#pragma once

#include <cstddef>
#include <string_view>

namespace report {

struct EmbeddedAsset {
  const char* name;
  const char* data;
  std::size_t size;
};

// The bytes of the embedded file with that name ("uPlot.iife.min.js",
// "page.js", ...), empty when there is none.
std::string_view embedded_asset(std::string_view name);

}  // namespace report
