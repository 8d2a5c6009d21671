// Virtual controllers and virtual interfaces of a controller, found once at
// set-up from its "vzone status" and "vif status" replies.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/collection.h"
#include "core/state.h"

namespace controller {

// Most entries kept in each table.
constexpr std::size_t kMaxVzones = 100;
constexpr std::size_t kMaxVifs = 100;

// The virtual controller names of a "vzone status" reply, in reply order:
// the first word of each line, without the default "vzone0" (any line that
// mentions it), up to a "not licensed" or "zonepack license" notice.
std::vector<std::string> vzone_names(const std::vector<std::string>& reply);

// The root paths of a "vzone status -r" reply: the word after "Path:" on
// each line that holds "Path: " and "etc", from the line naming
// `first_name` on.
std::vector<std::string> vzone_root_paths(const std::vector<std::string>& reply,
                                          const std::string& first_name);

// Pairs the i-th name with the i-th root path. Pairs a command line cannot
// carry are left out, and at most kMaxVzones are kept; the user is told.
std::vector<core::VirtualController> pair_vzones(const std::string& filer_name,
                                                 const std::vector<std::string>& names,
                                                 const std::vector<std::string>& root_paths);

// The interface names of a "vif status" reply: the text before the first
// ':' of each "VIF Type" line that is not the "default:" line. Names a
// command line or file name cannot carry are left out, and at most kMaxVifs
// are kept; the user is told.
std::vector<std::string> vif_names(const std::string& filer_name,
                                   const std::vector<std::string>& reply);

// Fill the collection's controller's tables.
void discover_vzones(const core::Collection& collection);
void discover_vifs(const core::Collection& collection);

}  // namespace controller
