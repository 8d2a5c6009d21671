#include "report/markers.h"

#include "report/text.h"

namespace report {

bool is_escaped_text(std::string_view line) {
  std::size_t slashes = 0;
  while (slashes < line.size() && line[slashes] == '\\') ++slashes;
  return slashes > 0 && starts_with(line.substr(slashes), kMarkerPrefix);
}

bool is_statistics_line(std::string_view line) {
  return starts_with(line, kStatisticsLine);
}

std::string shown_text(std::string_view text) {
  std::string out;
  for_each_shown_piece(text, [&](std::string_view piece) { out.append(piece); });
  return out;
}

// An escaped line starts with a backslash, so it never passes here.
std::optional<Marker> parse_marker(std::string_view line) {
  if (!starts_with(line, kFence) || line.size() < kFence.size() + 1 || line[kFence.size()] != ' ')
    return std::nullopt;
  std::string_view rest = line.substr(kFence.size() + 1);
  Marker marker;
  std::size_t fence = rest.find(" =-=-=-=-=-=");
  if (fence == std::string_view::npos) {
    marker.title = trim(rest);
    marker.whole = false;
    return marker;
  }
  marker.title = rest.substr(0, fence);
  std::string_view tail = rest.substr(fence + 1 + kFence.size());
  if (!tail.empty() && tail[0] == ' ') tail.remove_prefix(1);
  marker.tail = tail;
  if (trim(marker.title).empty()) marker.whole = false;
  return marker;
}

namespace {

bool is_phase(std::string_view word) {
  return word == "PRESTATS" || word == "POSTSTATS";
}

}  // namespace

Title classify_title(std::string_view title) {
  Title result;
  std::vector<std::string_view> words = split_words(title);
  if (words.size() == 3 && words[1] == "Iteration" && (words[0] == "BEGIN" || words[0] == "END")) {
    auto number = parse_integer(words[2]);
    if (number && *number >= 0 && *number < 1000000) {
      result.kind = words[0] == "BEGIN" ? TitleKind::kIterationBegin : TitleKind::kIterationEnd;
      result.iteration = static_cast<int>(*number);
    }
    return result;
  }
  if (words.size() == 2 && (words[0] == "BEGIN" || words[0] == "END") && is_phase(words[1])) {
    result.kind = words[0] == "BEGIN" ? TitleKind::kBlockBegin : TitleKind::kBlockEnd;
    result.phase = words[1];
    return result;
  }
  if (words.size() >= 3 && (words[0] == "CONFIG" || words[0] == "PERF") && is_phase(words.back())) {
    result.kind = TitleKind::kSection;
    result.category = words[0];
    result.phase = words.back();
    // The target keeps its own inner blanks: everything between the words.
    std::size_t from = words[1].data() - title.data();
    std::size_t to = words[words.size() - 2].data() + words[words.size() - 2].size() - title.data();
    result.target = title.substr(from, to - from);
  }
  return result;
}

}  // namespace report
