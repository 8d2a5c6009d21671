// Licensed services of a controller, its processor class, and the volumes
// whose replication is switched off (the safe volume list).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/collection.h"
#include "core/state.h"

namespace controller {

// Most volumes kept in a controller's safe volume list.
constexpr std::size_t kMaxSafeVolumes = 256;

// The service counters of a "license" reply. A line counts for a service
// when it names it and holds no "not". With `nfs_restricted` (-M NFS) only
// NFS is counted, and nfs_only is set when it is licensed.
core::ServiceFlags count_licenses(const std::vector<std::string>& reply, bool nfs_restricted);

// When none of NFS, CIFS, FCP and iSCSI was found, marks the eight main
// services licensed and returns true.
bool assume_main_services(core::ServiceFlags& flags);

// 1 when a "sysconfig" reply shows a single processor, else 2.
int cpu_class_from_sysconfig(const std::vector<std::string>& reply);

// The volumes of a "registry walk options.vols" reply whose replication is
// off, in reply order (the third dotted piece of each "replisynced=off"
// line). Names a command line cannot carry are left out.
std::vector<std::string> replication_off_volumes(const std::string& filer_name,
                                                 const std::vector<std::string>& reply);

// The safe volume list of controller `filer_name` from its registry reply:
// the first kMaxSafeVolumes volumes with replication off; the user is told
// once when more were listed.
std::vector<std::string> safe_volume_list(const std::string& filer_name,
                                          const std::vector<std::string>& reply);

// Reads the collection's controller's licences once, then publishes them
// into the collection (and
// rebuilds the safe volume list when needed) on every call.
void read_licenses(core::Collection& collection);

// Copies the controller's services, cpu_class and legacy_stats into the
// collection's service set.
void publish_services(core::Collection& collection);

// Reads the collection's controller's safe volume list anew.
void rebuild_safe_volumes(const core::Collection& collection);

}  // namespace controller
