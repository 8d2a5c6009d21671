// The counter query over the Performance Data Helper (pdh.dll).
#include <windows.h>
// windows.h first: pdh.h builds on its types.
#include <pdh.h>
#include <pdhmsg.h>

#include <cstdio>

#include "platform/host_counters.h"

namespace platform::counters {

struct Query {
  PDH_HQUERY handle = nullptr;
  std::vector<PDH_HCOUNTER> counters;
};

namespace {

bool find(Query* query, int counter, PDH_HCOUNTER& handle, Status& status) {
  if (query == nullptr || counter < 0 || counter >= static_cast<int>(query->counters.size())) {
    status = static_cast<Status>(PDH_INVALID_HANDLE);
    return false;
  }
  handle = query->counters[counter];
  return true;
}

bool formatted(Query* query, int counter, DWORD format, PDH_FMT_COUNTERVALUE& value,
               Status& status) {
  PDH_HCOUNTER handle = nullptr;
  if (!find(query, counter, handle, status)) return false;
  status = static_cast<Status>(PdhGetFormattedCounterValue(handle, format, nullptr, &value));
  return status == ERROR_SUCCESS;
}

}  // namespace

Query* open_query(Status& status) {
  PDH_HQUERY handle = nullptr;
  status = static_cast<Status>(PdhOpenQueryA(nullptr, 0, &handle));
  if (status != ERROR_SUCCESS) return nullptr;
  Query* query = new Query();
  query->handle = handle;
  return query;
}

bool add_counter(Query* query, const std::string& path, int& counter, Status& status) {
  PDH_HCOUNTER handle = nullptr;
  if (query == nullptr) {
    status = static_cast<Status>(PDH_INVALID_HANDLE);
    return false;
  }
  status = static_cast<Status>(PdhAddCounterA(query->handle, path.c_str(), 0, &handle));
  if (status != ERROR_SUCCESS) return false;
  query->counters.push_back(handle);
  counter = static_cast<int>(query->counters.size()) - 1;
  return true;
}

bool expand_path(const std::string& wildcard, std::vector<std::string>& paths, Status& status) {
  // The list may grow between the size query and the read: ask again while
  // PDH says there is more.
  std::vector<char> buffer(1000);
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    status = static_cast<Status>(PdhExpandCounterPathA(wildcard.c_str(), buffer.data(), &size));
    if (static_cast<DWORD>(status) == PDH_MORE_DATA) {
      buffer.assign(static_cast<size_t>(size) + 1, '\0');
      continue;
    }
    if (status != ERROR_SUCCESS) return false;
    // A list of strings ended by an empty one; never read past the buffer.
    paths.clear();
    size_t at = 0;
    while (at < buffer.size() && buffer[at] != '\0') {
      size_t end = at;
      while (end < buffer.size() && buffer[end] != '\0') ++end;
      paths.emplace_back(buffer.data() + at, end - at);
      at = end + 1;
    }
    return true;
  }
  return false;
}

bool collect(Query* query, Status& status) {
  if (query == nullptr) {
    status = static_cast<Status>(PDH_INVALID_HANDLE);
    return false;
  }
  status = static_cast<Status>(PdhCollectQueryData(query->handle));
  return status == ERROR_SUCCESS;
}

bool read_int32(Query* query, int counter, std::int32_t& value, Status& status) {
  PDH_FMT_COUNTERVALUE formatted_value = {};
  if (!formatted(query, counter, PDH_FMT_LONG, formatted_value, status)) return false;
  value = static_cast<std::int32_t>(formatted_value.longValue);
  return true;
}

bool read_double(Query* query, int counter, double& value, Status& status) {
  PDH_FMT_COUNTERVALUE formatted_value = {};
  if (!formatted(query, counter, PDH_FMT_DOUBLE, formatted_value, status)) return false;
  value = formatted_value.doubleValue;
  return true;
}

void close_query(Query* query) {
  if (query == nullptr) return;
  PdhCloseQuery(query->handle);
  delete query;
}

bool legacy_system_paths(bool& legacy, Status& status) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) {
    status = static_cast<Status>(GetLastError());
    return false;
  }
  legacy = version.dwMajorVersion <= 4;
  status = 0;
  return true;
}

std::string counter_source(const std::string& path_or_name) {
  return path_or_name;
}

std::string describe_status(Status status) {
  char text[32];
  std::snprintf(text, sizeof text, "%#lx", static_cast<unsigned long>(status));
  return text;
}

}  // namespace platform::counters
