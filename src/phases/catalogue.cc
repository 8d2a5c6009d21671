#include "phases/catalogue.h"

#include "core/state.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"

namespace phases {
namespace catalogue {

const char* const kReleaseStrings[kReleaseCount] = {
    "MERIX6.5",   "MERIX6.5.6", "MERIX7.0",   "MERIX7.0.1", "MERIX7.0.2", "MERIX7.0.3",
    "MERIX7.0.4", "MERIX7.0.5", "MERIX7.0.6", "MERIX7.0.7", "MERIX7.1",   "MERIX7.1.1",
    "MERIX7.1.2", "MERIX7.1.3", "MERIX7.2",   "MERIX7.2.1", "MERIX7.2.2", "MERIX7.2.3",
    "MERIX7.3",   "MERIX7.3.1", "MERIX7.3.2", "MERIX7.3.5", "MERIX8.0",   "MERIX8.0.1",
    "MERIX8.0.2", "MERIX8.1",   "MERIX8.1.1", "MERIX10.0",  "MERIX7.3.3",
};

namespace {

// The Release whose string equals `release` exactly, or -1.
int release_index(const std::string& release) {
  for (int i = 0; i < kReleaseCount; ++i) {
    if (release == kReleaseStrings[i]) return i;
  }
  return -1;
}

bool releases_hold(ReleaseSet set, int release) {
  if (set == kEveryRelease) return true;
  return release >= 0 && (set & release_bit(static_cast<Release>(release))) != 0;
}

unsigned services_present(const core::CurrentServices& services) {
  const core::ServiceFlags& f = services.flags;
  unsigned present = 0;
  if (f.svc_nfs != 0) present |= kNfs;
  if (f.svc_cifs != 0) present |= kCifs;
  if (f.svc_fcp != 0) present |= kFcp;
  if (f.svc_iscsi != 0) present |= kIscsi;
  if (f.svc_replisync != 0) present |= kReplisync;
  if (f.svc_zonepack != 0) present |= kZonepack;
  if (f.svc_backstow != 0) present |= kBackstow;
  if (f.svc_farstash != 0) present |= kFarstash;
  if (f.svc_dedupe != 0) present |= kDedupe;
  if (f.svc_cluster != 0) present |= kCluster;
  if (f.nfs_only == 1) present |= kNfsOnly;
  if (services.legacy_stats) present |= kLegacyStats;
  return present;
}

bool services_hold(const ServiceGate& gate, unsigned present) {
  if ((present & gate.all_of) != gate.all_of) return false;
  if (gate.any_of != 0 && (present & gate.any_of) == 0) return false;
  return (present & gate.none_of) == 0;
}

bool options_hold(unsigned gate, const core::RunOptions& options) {
  if ((gate & kUnlessModeGiven) != 0 && options.mode_given) return false;
  if ((gate & kUnlessZMode) != 0 && options.z_mode) return false;
  if ((gate & kCriticalOnly) != 0 && !options.critical_only) return false;
  return true;
}

CatalogueStep::Kind step_kind(Delivery delivery) {
  switch (delivery) {
    case kConfigList:
      return CatalogueStep::Kind::kConfigTemplate;
    case kPerfList:
      return CatalogueStep::Kind::kPerfTemplate;
    case kRun:
      break;
  }
  return CatalogueStep::Kind::kRun;
}

// Volume names come from the controller's registry and end up inside a
// quoted command line; only plain names are used.
bool fit_for_command_line(const std::string& volume) {
  if (volume.empty()) return false;
  for (char c : volume) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

void run_catalogue(core::Collection& collection, const Catalogue& catalogue) {
  core::RunState& st = core::state();
  const core::FilerTarget& filer = *collection.filer;
  for (const std::string& volume : filer.safe_volumes) {
    if (!fit_for_command_line(volume)) {
      exec::append_error_log("Skipping qtree stats of volume with unusable name on " + filer.name +
                             ": " + volume);
    }
  }
  perform_catalogue_steps(collection, select(catalogue, filer, collection.services, st.options),
                          exec::run_filer_command);
}

}  // namespace

std::vector<CatalogueStep> select(const Catalogue& catalogue, const core::FilerTarget& filer,
                                  const core::CurrentServices& services,
                                  const core::RunOptions& options) {
  std::vector<CatalogueStep> steps;
  const int release = release_index(filer.release);
  const unsigned present = services_present(services);

  auto issue_section_rows = [&](Section section) {
    for (const CatalogueGroup& group : catalogue.groups) {
      if (group.section != section) continue;
      // -y replaces the PERF rows by the section's critical ones.
      if (section == kPerf && options.critical_only && (group.options & kCriticalOnly) == 0) {
        continue;
      }
      if (!options_hold(group.options, options) || !services_hold(group.services, present)) {
        continue;
      }
      for (const ReleaseRows& rows : group.rows) {
        if (!releases_hold(rows.releases, release)) continue;
        for (const std::string& command : rows.commands) {
          steps.push_back({step_kind(group.delivery), command});
        }
      }
    }
  };

  if (!options.perf_only) {
    steps.push_back(
        {CatalogueStep::Kind::kSection, "CONFIG " + filer.name + " " + catalogue.phase_word});
    issue_section_rows(kConfig);
  }
  if (!options.config_only) {
    steps.push_back(
        {CatalogueStep::Kind::kSection, "PERF " + filer.name + " " + catalogue.phase_word});
    issue_section_rows(kPerf);
    if (!options.critical_only && services.flags.svc_replisync != 0 && filer.vrs_rebuild) {
      for (const std::string& volume : filer.safe_volumes) {
        if (!fit_for_command_line(volume)) continue;
        for (const std::string& command : catalogue.safe_volume_commands) {
          steps.push_back({CatalogueStep::Kind::kRun, command + volume});
        }
      }
    }
  }
  issue_section_rows(kAfterSections);
  return steps;
}

}  // namespace catalogue

std::vector<CatalogueStep> select_prestats_catalogue(const core::FilerTarget& filer,
                                                     const core::CurrentServices& services,
                                                     const core::RunOptions& options) {
  return catalogue::select(catalogue::prestats_catalogue(), filer, services, options);
}

std::vector<CatalogueStep> select_poststats_catalogue(const core::FilerTarget& filer,
                                                      const core::CurrentServices& services,
                                                      const core::RunOptions& options) {
  return catalogue::select(catalogue::poststats_catalogue(), filer, services, options);
}

void perform_catalogue_steps(core::Collection& collection, const std::vector<CatalogueStep>& steps,
                             FilerCommandRunner run_command) {
  for (const CatalogueStep& step : steps) {
    switch (step.kind) {
      case CatalogueStep::Kind::kSection:
        collection.section = step.text;
        break;
      case CatalogueStep::Kind::kRun:
        run_command(collection, step.text);
        break;
      case CatalogueStep::Kind::kConfigTemplate:
        collection.vzone_config_templates.push_back(step.text);
        break;
      case CatalogueStep::Kind::kPerfTemplate:
        collection.vzone_perf_templates.push_back(step.text);
        break;
    }
  }
}

void run_prestats_catalogue(core::Collection& collection) {
  catalogue::run_catalogue(collection, catalogue::prestats_catalogue());
}

void run_poststats_catalogue(core::Collection& collection) {
  catalogue::run_catalogue(collection, catalogue::poststats_catalogue());
}

}  // namespace phases
