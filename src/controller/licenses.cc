#include "controller/licenses.h"

#include "controller/reply_checks.h"
#include "core/messages.h"
#include "exec/query.h"

namespace controller {

namespace {

struct ServiceWord {
  const char* word;
  int core::ServiceFlags::*counter;
};

// Counted after NFS unless the run is restricted to NFS, in this order.
constexpr ServiceWord kServiceWords[] = {
    {"cifs", &core::ServiceFlags::svc_cifs},
    {"fcp", &core::ServiceFlags::svc_fcp},
    {"dafs", &core::ServiceFlags::svc_dafs},
    {"iscsi", &core::ServiceFlags::svc_iscsi},
    {"replisync", &core::ServiceFlags::svc_replisync},
    {"zonepack", &core::ServiceFlags::svc_zonepack},
    {"vzone", &core::ServiceFlags::svc_zonepack},
    {"bs_merix_pri", &core::ServiceFlags::svc_backstow},
    {"bs_merix_sec", &core::ServiceFlags::svc_backstow},
    {"far_stash", &core::ServiceFlags::svc_farstash},
    {"a_dedupe", &core::ServiceFlags::svc_dedupe},
};

bool contains(const std::string& line, const char* word) {
  return line.find(word) != std::string::npos;
}

// A licence line names a licensed service when it holds the word and no "not".
int licensed(const std::string& line, const char* word) {
  if (!contains(line, word) || contains(line, "not")) return 0;
  core::debug_line("Found license", word);
  return 1;
}

}  // namespace

core::ServiceFlags count_licenses(const std::vector<std::string>& reply, bool nfs_restricted) {
  core::ServiceFlags flags;
  for (const std::string& line : reply) {
    // The remote caching of NFS is no licence of its own services.
    if (contains(line, "farstash_nfs") && !contains(line, "not")) {
      core::debug_line("Found license", "farstash_nfs");
      continue;
    }
    flags.svc_nfs += licensed(line, "nfs");
    if (nfs_restricted) continue;
    for (const ServiceWord& service : kServiceWords) {
      flags.*service.counter += licensed(line, service.word);
    }
    if (licensed(line, "cluster") || licensed(line, "cf")) flags.svc_cluster = 1;
  }
  if (nfs_restricted && flags.svc_nfs != 0) flags.nfs_only = 1;
  return flags;
}

bool assume_main_services(core::ServiceFlags& flags) {
  if (flags.svc_nfs + flags.svc_cifs + flags.svc_fcp + flags.svc_iscsi != 0) return false;
  flags.svc_backstow = 1;
  flags.svc_replisync = 1;
  flags.svc_iscsi = 1;
  flags.svc_dafs = 1;
  flags.svc_fcp = 1;
  flags.svc_cifs = 1;
  flags.svc_nfs = 1;
  flags.svc_farstash = 1;
  return true;
}

int cpu_class_from_sysconfig(const std::vector<std::string>& reply) {
  for (const std::string& line : reply) {
    if (contains(line, "Processors") && !line.empty() && line.back() == '1') return 1;
  }
  return 2;
}

std::vector<std::string> replication_off_volumes(const std::string& filer_name,
                                                 const std::vector<std::string>& reply) {
  std::vector<std::string> volumes;
  for (const std::string& line : reply) {
    if (!contains(line, "replisynced=off")) continue;
    std::vector<std::string> pieces = split_pieces(line, '.');
    if (pieces.size() < 3) continue;
    if (!screen_reply_name(filer_name, ReplyName::kVolume, pieces[2])) continue;
    volumes.push_back(pieces[2]);
  }
  return volumes;
}

void publish_services(core::Collection& collection) {
  const core::FilerTarget& filer = *collection.filer;
  core::CurrentServices& current = collection.services;
  current.flags = filer.services;
  current.cpu_class = filer.cpu_class;
  current.legacy_stats = filer.legacy_stats;
}

std::vector<std::string> safe_volume_list(const std::string& filer_name,
                                          const std::vector<std::string>& reply) {
  std::vector<std::string> volumes = replication_off_volumes(filer_name, reply);
  if (volumes.size() > kMaxSafeVolumes) {
    warn_once(core::format(
        "%s has more than %d volumes with replication off; qtree statistics "
        "are taken for the first %d only",
        filer_name.c_str(), static_cast<int>(kMaxSafeVolumes), static_cast<int>(kMaxSafeVolumes)));
    volumes.resize(kMaxSafeVolumes);
  }
  return volumes;
}

void rebuild_safe_volumes(const core::Collection& collection) {
  core::FilerTarget& filer = *collection.filer;
  core::debug_line("Rebuilding vrs exclusion list on", filer.name);
  filer.safe_volumes.clear();
  filer.safe_volumes = safe_volume_list(
      filer.name, exec::capture_filer_query(collection, "registry walk options.vols"));
  core::debug_line("--- Safe volume list ---");
  for (const std::string& volume : filer.safe_volumes) core::debug_line(volume);
}

void read_licenses(core::Collection& collection) {
  core::RunState& st = core::state();
  core::FilerTarget& filer = *collection.filer;
  if (!filer.licenses_read) {
    filer.services = core::ServiceFlags{};
    if (st.options.pretend) return;
    filer.services =
        count_licenses(exec::capture_filer_query(collection, "license"), st.options.mode == "NFS");
    if (assume_main_services(filer.services)) {
      core::progress("Failed to detect licensed services. Attempting all services.\n");
    }
    filer.cpu_class = cpu_class_from_sysconfig(exec::capture_filer_query(collection, "sysconfig"));
    filer.licenses_read = true;
  }
  publish_services(collection);
  if (collection.services.flags.svc_replisync != 0 && filer.vrs_rebuild) {
    rebuild_safe_volumes(collection);
  }
}

}  // namespace controller
